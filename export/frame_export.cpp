#include "export/frame_export.h"

#include <stdlib.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "decode/frame_decoder.h"
#include "decode/frame_stream.h"
#include "decode/hc_frame_stream.h"
#include "platform/atomic_output.h"
#include "wav/wav_file.h"

namespace rw {
namespace fs = std::filesystem;
namespace {

ConversionOutcome Failed(std::string message) {
    ConversionOutcome o;
    o.status = ConversionOutcome::Status::Failed;
    o.message = std::move(message);
    return o;
}

Expected<void> WriteFile(const fs::path& path, std::span<const uint8_t> bytes) {
    DiskOutputFile file;
    if (auto r = file.Create(path, bytes.size() + 1); !r) return r;
    if (auto r = file.Write(bytes); !r) {
        file.Abandon();
        return r;
    }
    return file.Close();
}

// Encodes and writes the pictures on worker threads while the run draws the next ones; a few
// pictures wait at most. Without workers, each picture is written at once.
class PictureWriters {
  public:
    PictureWriters(const fs::path& staging, const VqaProperties& props, unsigned workers)
        : m_staging(staging), m_props(props) {
        for (unsigned i = 0; i < workers; ++i) m_threads.emplace_back([this] { Work(); });
    }
    ~PictureWriters() { static_cast<void>(Finish()); }

    // Queues the picture; the first failure of any picture so far.
    Expected<void> Add(int32_t frame, std::span<const uint8_t> picture) {
        Job job{frame, PictureToRgb(picture, m_props.width, m_props.height)};
        if (m_threads.empty()) return Write(job);
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return m_jobs.size() < 2 * m_threads.size() || m_failure; });
        if (m_failure) return *m_failure;
        m_jobs.push_back(std::move(job));
        m_changed.notify_all();
        return {};
    }

    // Waits until every queued picture is written; the first failure.
    Expected<void> Finish() {
        {
            std::lock_guard lock(m_mutex);
            m_closing = true;
        }
        m_changed.notify_all();
        for (std::thread& t : m_threads) t.join();
        m_threads.clear();
        std::lock_guard lock(m_mutex);
        if (m_failure) return *m_failure;
        return {};
    }

  private:
    struct Job {
        int32_t frame;
        RgbImage image;
    };

    Expected<void> Write(const Job& job) const {
        const fs::path path = m_staging / FrameFileName(job.frame, m_props.frames);
        auto png = EncodePng(job.image, PngEffort::Fast);
        if (!png) return Error{"Cannot write \"" + path.string() + "\": " + png.error().message};
        return WriteFile(path, *png);
    }

    void Work() {
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_changed.wait(lock, [this] { return !m_jobs.empty() || m_closing; });
            if (m_jobs.empty()) return;
            Job job = std::move(m_jobs.front());
            m_jobs.pop_front();
            m_changed.notify_all();
            if (m_failure) continue;  // the run is over: drop what waits
            lock.unlock();
            Expected<void> written = Write(job);
            lock.lock();
            if (!written && !m_failure) m_failure = written.error();
            m_changed.notify_all();
        }
    }

    fs::path m_staging;
    VqaProperties m_props;
    std::vector<std::thread> m_threads;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Job> m_jobs;
    std::optional<Error> m_failure;
    bool m_closing = false;
};

// Takes the stream's pictures and sound into the staging folder.
class ExportTarget final : public FrameTarget {
  public:
    ExportTarget(const fs::path& staging, const OpenedVideo& video)
        : m_staging(staging),
          m_props(video.props),
          m_format(StreamFormatOf(video)),
          m_sizeKnown(video.kind == PictureKind::EightBit),
          m_picture(m_format.PictureBytes()),
          m_pictures(staging, m_props, std::min(std::thread::hardware_concurrency(), 4u)) {}

    bool HasSound() const { return m_format.soundRate > 0; }

    Expected<void> StartSound() {
        if (m_format.soundRate <= 0) return {};
        if (!m_sizeKnown) return StartSoundOfUnknownLength();
        const SoundTrack track(m_props.soundRate);
        // The WAV file declares exactly the whole samples it will hold.
        const int64_t bytes = (int64_t{track.leadingOut} & ~int64_t{1}) +
                              int64_t{m_props.frames} * (int64_t{track.frameOut} & ~int64_t{1});
        if (bytes > kMaxWavData) return Error{"the sound is too long for a WAV file"};
        auto header =
            WavHeader(static_cast<uint32_t>(m_props.soundRate), static_cast<uint32_t>(bytes));
        if (!header) return header.error();
        if (auto r = m_wav.Create(m_staging / kSoundFileName); !r) return r;
        return m_wav.Write(*header);
    }

    // Everything written and closed; the first failure.
    Expected<void> Finish() {
        if (auto r = m_pictures.Finish(); !r) return r;
        if (!m_wav.IsOpen()) return {};
        if (m_sizeKnown) return m_wav.Close();
        // The header goes in last, through a second writer at the start of the file.
        if (m_soundBytes > kMaxWavData) return Error{"the sound is too long for a WAV file"};
        auto header = WavHeader(static_cast<uint32_t>(m_format.soundRate),
                                static_cast<uint32_t>(m_soundBytes),
                                static_cast<uint16_t>(m_format.channels));
        if (!header) return header.error();
        DiskOutputFile start;
        if (auto r = start.OpenSameFileAt(m_wav, 0, kWavHeaderSize); !r) return r;
        if (auto r = m_wav.Close(); !r) return r;
        if (auto r = start.Write(*header); !r) return r;
        return start.Close();
    }
    void Abandon() {
        static_cast<void>(m_pictures.Finish());
        m_wav.Abandon();
    }

    Expected<void> LeadingSound(std::span<const uint8_t> pcm) override { return Sound(pcm); }
    Expected<std::span<uint8_t>> BeginFrame(int32_t, std::span<const uint8_t> pcm) override {
        if (auto r = Sound(pcm); !r) return r.error();
        return std::span<uint8_t>(m_picture);
    }
    Expected<void> EndFrame(int32_t frame, bool) override {
        return m_pictures.Add(frame, m_picture);
    }

  private:
    // Room for the header, written once the sound's length is known (Finish).
    Expected<void> StartSoundOfUnknownLength() {
        if (auto r = m_wav.Create(m_staging / kSoundFileName); !r) return r;
        return m_wav.WriteZeros(kWavHeaderSize);
    }

    Expected<void> Sound(std::span<const uint8_t> pcm) {
        if (!m_wav.IsOpen()) return {};
        const size_t whole = m_sizeKnown ? pcm.size() & ~size_t{1}
                                         : pcm.size() - pcm.size() % (2 * m_format.channels);
        m_soundBytes += static_cast<int64_t>(whole);
        return m_wav.Write(pcm.first(whole));
    }

    fs::path m_staging;
    VqaProperties m_props;
    StreamFormat m_format;
    bool m_sizeKnown;  // 8-bit videos: the header is written first, with the length it will hold
    int64_t m_soundBytes = 0;
    DiskOutputFile m_wav;
    std::vector<uint8_t> m_picture;
    PictureWriters m_pictures;
};

// A hidden folder inside `folder`, on the same file system, removed with its contents unless
// Keep is called.
class StagingFolder {
  public:
    Expected<void> Create(const fs::path& folder) {
        std::string pattern = (folder / ".reelwright-export-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            return Error{"Cannot create a folder in \"" + folder.string() +
                         "\": " + std::generic_category().message(errno)};
        }
        m_path = pattern;
        return {};
    }
    ~StagingFolder() {
        std::error_code ec;
        if (!m_path.empty()) fs::remove_all(m_path, ec);
    }
    const fs::path& Path() const { return m_path; }

  private:
    fs::path m_path;
};

// Moves the finished files to their final names.
Expected<void> MoveIntoPlace(const fs::path& staging, const fs::path& folder, int32_t frames,
                             bool sound) {
    std::vector<std::string> names;
    for (int32_t f = 0; f < frames; ++f) names.push_back(FrameFileName(f, frames));
    if (sound) names.push_back(kSoundFileName);
    for (const std::string& name : names) {
        std::error_code ec;
        fs::rename(staging / name, folder / name, ec);
        if (ec) {
            return Error{"Cannot rename \"" + (staging / name).string() + "\" to \"" +
                         (folder / name).string() + "\": " + ec.message()};
        }
    }
    return {};
}

ConversionOutcome ExportInto(OpenedVideo& video, const fs::path& folder, const fs::path& staging,
                             ConversionObserver& observer) {
    ExportTarget writer(staging, video);
    if (auto r = writer.StartSound(); !r) return Failed(r.error().message);
    ConversionOutcome outcome = RunVideoFrames(video, writer, observer);
    if (outcome.status != ConversionOutcome::Status::Completed) {
        writer.Abandon();
        return outcome;
    }
    if (auto r = writer.Finish(); !r) return Failed(r.error().message);
    if (auto r = MoveIntoPlace(staging, folder, video.props.frames, writer.HasSound()); !r) {
        return Failed(r.error().message);
    }
    return outcome;
}

}  // namespace

std::string FrameFileName(int32_t frame, int32_t frames) {
    const size_t digits = std::max<size_t>(4, std::to_string(std::max(frames - 1, 0)).size());
    std::string number = std::to_string(frame);
    if (number.size() < digits) number.insert(0, digits - number.size(), '0');
    return "frame-" + number + ".png";
}

std::optional<std::string> CheckExportFolder(const fs::path& folder, bool replace) {
    std::error_code ec;
    const fs::file_status status = fs::status(folder, ec);
    if (!fs::exists(status)) return std::nullopt;
    if (!fs::is_directory(status)) {
        return "\"" + folder.string() + "\" exists and is not a folder";
    }
    if (!replace && !fs::is_empty(folder, ec)) {
        return "the folder \"" + folder.string() + "\" is not empty";
    }
    if (ec) return "Cannot read the folder \"" + folder.string() + "\": " + ec.message();
    return std::nullopt;
}

RgbImage PictureToRgb(std::span<const uint8_t> bgrBottomUp, int32_t width, int32_t height) {
    RgbImage image;
    image.width = width;
    image.height = height;
    const size_t w = static_cast<size_t>(std::max(width, 0));
    const size_t h = static_cast<size_t>(std::max(height, 0));
    image.pixels.resize(3 * w * h);
    if (bgrBottomUp.size() != image.pixels.size()) return image;  // black
    for (size_t y = 0; y < h; ++y) {
        const uint8_t* from = bgrBottomUp.data() + 3 * w * (h - 1 - y);
        uint8_t* to = image.pixels.data() + 3 * w * y;
        for (size_t x = 0; x < w; ++x) {
            to[3 * x] = from[3 * x + 2];
            to[3 * x + 1] = from[3 * x + 1];
            to[3 * x + 2] = from[3 * x];
        }
    }
    return image;
}

ConversionOutcome ExportFrames(const VqaSource& source, const fs::path& folder, bool replace,
                               ConversionObserver& observer) {
    auto video = OpenVideo(source);
    if (!video) return Failed(video.error().message);
    return ExportFrames(*video, folder, replace, observer);
}

ConversionOutcome ExportFrames(OpenedVideo& video, const fs::path& folder, bool replace,
                               ConversionObserver& observer) {
    const std::string& vqaPath = video.source.name;
    const std::string cannot = "Cannot export \"" + vqaPath + "\": ";
    if (auto why = CheckExportFolder(folder, replace)) return Failed(cannot + *why);

    std::error_code ec;
    const bool created = !fs::exists(folder, ec);
    if (created && !fs::create_directories(folder, ec)) {
        return Failed(cannot + "cannot create the folder \"" + folder.string() +
                      "\": " + ec.message());
    }
    ConversionOutcome outcome;
    {
        StagingFolder staging;
        if (auto r = staging.Create(folder); !r) {
            outcome = Failed(cannot + r.error().message);
        } else {
            outcome = ExportInto(video, folder, staging.Path(), observer);
        }
    }
    if (outcome.status != ConversionOutcome::Status::Completed && created) {
        fs::remove(folder, ec);  // only when empty
    }
    if (outcome.status == ConversionOutcome::Status::Failed &&
        outcome.message.rfind("Cannot ", 0) != 0) {
        outcome.message = cannot + outcome.message;
    }
    return outcome;
}

namespace {

// Picks the representative frame while the run draws the frames, and stops the run once it has.
class FramePicker final : public FrameTarget, public ConversionObserver {
  public:
    FramePicker(const VqaProperties& props, ConversionObserver& outer)
        : m_props(props),
          m_outer(outer),
          m_from(props.frames / 10),
          m_room(StreamFormatOf(props).PictureBytes()) {}

    Expected<void> LeadingSound(std::span<const uint8_t>) override { return {}; }
    Expected<std::span<uint8_t>> BeginFrame(int32_t, std::span<const uint8_t>) override {
        return std::span<uint8_t>(m_room);
    }
    Expected<void> EndFrame(int32_t frame, bool) override {
        const std::span<const uint8_t> picture = m_room;
        if (frame < m_from || m_chosen) return {};
        // Brightness: the share of pixels that are not dark, in parts of 1024.
        size_t lit = 0;
        for (size_t p = 0; p + 2 < picture.size(); p += 3) {
            lit += (picture[p] * 29u + picture[p + 1] * 150u + picture[p + 2] * 77u) >> 8 > 32;
        }
        const size_t pixels = std::max<size_t>(picture.size() / 3, 1);
        const size_t share = lit * 1024 / pixels;
        if (!m_best || share > m_bestShare) {
            m_best = PictureToRgb(picture, m_props.width, m_props.height);
            m_bestShare = share;
        }
        m_chosen = share >= 1024 / 4;  // a quarter of the picture lit
        return {};
    }

    void OnFrameStart(int32_t frame) override { m_outer.OnFrameStart(frame); }
    bool CancelRequested() override { return m_chosen || m_outer.CancelRequested(); }

    bool Chosen() const { return m_chosen; }
    std::optional<RgbImage>& Best() { return m_best; }

  private:
    VqaProperties m_props;
    ConversionObserver& m_outer;
    int32_t m_from;
    bool m_chosen = false;
    std::vector<uint8_t> m_room;
    std::optional<RgbImage> m_best;
    size_t m_bestShare = 0;
};

}  // namespace

Expected<RgbImage> RepresentativeFrame(const VqaSource& source, ConversionObserver& observer) {
    const std::string& vqaPath = source.name;
    auto video = OpenVideo(source);
    if (!video) return video.error();
    FramePicker picker(video->props, observer);
    const ConversionOutcome outcome = RunVideoFrames(*video, picker, picker);
    // A run stopped because the frame was found, or that ended, has a picture; a seek failure
    // past the frames drawn keeps the best of them.
    if (picker.Best() && (picker.Chosen() || !observer.CancelRequested())) {
        return std::move(*picker.Best());
    }
    if (outcome.status == ConversionOutcome::Status::Failed) {
        return Error{"Cannot read \"" + vqaPath + "\": " + outcome.message};
    }
    if (outcome.status == ConversionOutcome::Status::Cancelled) {
        return Error{"\"" + vqaPath + "\": interrupted"};
    }
    return Error{"Cannot read \"" + vqaPath + "\": the seek to frame " +
                 std::to_string(outcome.failedFrame) + " failed before any picture"};
}

Expected<void> WritePngFile(const fs::path& path, const RgbImage& image, PngEffort effort) {
    auto png = EncodePng(image, effort);
    if (!png) return Error{"Cannot write \"" + path.string() + "\": " + png.error().message};
    return WriteFileAtomically(path, *png);
}

}  // namespace rw
