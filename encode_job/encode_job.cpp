#include "encode_job/encode_job.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <new>
#include <optional>

#include "avi/avi_reader.h"
#include "platform/atomic_output.h"
#include "platform/disk_input_file.h"
#include "platform/disk_output_file.h"
#include "platform/file.h"
#include "vqa/picture_chunk.h"

namespace rw {
namespace fs = std::filesystem;
namespace {

// An AVI file opened once and read by the pictures and the sound alike.
struct OpenAvi {
    std::unique_ptr<InputFile> file;
    std::optional<AviReader> reader;
};

// How many frames at 15 a second `chunks` frames at rate / scale a second last: the last one
// shown to its end. Counts past the VQA's limit come back as one more than the limit.
int64_t RetimedCount(size_t chunks, uint32_t rate, uint32_t scale) {
    const double frames = double(chunks) * 15.0 * double(scale) / double(rate);
    if (frames > double(kEncodeMaxFrames)) return int64_t{kEncodeMaxFrames} + 1;
    return static_cast<int64_t>((uint64_t(chunks) * 15 * scale + rate - 1) / rate);
}

// The AVI's frames at 15 per second: output frame f shows the source frame on screen at f / 15 s.
class AviFrames final : public EncodeFrames {
  public:
    explicit AviFrames(std::shared_ptr<OpenAvi> avi) : m_avi(std::move(avi)) {
        const AviSourceInfo& in = m_avi->reader->Info();
        m_count = RetimedCount(in.videoChunks.size(), in.rate, in.scale);
    }
    int32_t Frames() const override {
        return static_cast<int32_t>(std::min<int64_t>(m_count, INT32_MAX));
    }
    int64_t FullCount() const { return m_count; }
    int32_t Width() const override { return m_avi->reader->Info().width; }
    int32_t Height() const override { return m_avi->reader->Info().height; }

    Expected<void> Read(int32_t frame, std::span<uint8_t> bgr) override {
        const AviSourceInfo& in = m_avi->reader->Info();
        size_t source =
            static_cast<size_t>((uint64_t(frame) * in.rate) / (uint64_t{15} * in.scale));
        source = std::min(source, in.videoChunks.size() - 1);
        // An empty chunk repeats the picture before it.
        while (source > 0 && in.videoChunks[source].size == 0) --source;
        if (m_picture.empty()) m_picture.assign(size_t(in.width) * size_t(in.height) * 3, 0);
        if (source != m_shown) {
            if (auto r = m_avi->reader->ReadFrame(source, m_picture); !r) return r;
            m_shown = source;
        }
        std::copy(m_picture.begin(), m_picture.end(), bgr.begin());
        return {};
    }

  private:
    std::shared_ptr<OpenAvi> m_avi;
    int64_t m_count = 0;
    std::vector<uint8_t> m_picture;
    size_t m_shown = SIZE_MAX;
};

// The AVI's sound chunks mixed to mono, one chunk per block.
class AviSoundBlocks final : public MonoBlocks {
  public:
    explicit AviSoundBlocks(std::shared_ptr<OpenAvi> avi) : m_avi(std::move(avi)) {}
    uint32_t Rate() const override { return m_avi->reader->Info().sampleRate; }
    Expected<bool> Next(std::vector<float>& out) override {
        const AviSourceInfo& in = m_avi->reader->Info();
        if (m_next >= in.soundChunks.size()) return false;
        auto data = m_avi->reader->ReadSound(m_next++);
        if (!data) return data.error();
        MixToMono(*data, in.channels, in.bitsPerSample, out);
        return true;
    }

  private:
    std::shared_ptr<OpenAvi> m_avi;
    size_t m_next = 0;
};

std::string Rate(uint32_t rate, uint32_t scale) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3g", double(rate) / double(scale));
    return text;
}

// The output's temporary file beside it, created first and removed on every way out but one:
// Commit, which gives it the final name. Without `force` an existing file is never replaced,
// even one that appeared while encoding.
class TemporaryOutput {
  public:
    Expected<void> Create(const std::string& path) { return m_out.Create(path); }

    Expected<void> Commit(const std::vector<uint8_t>& bytes, bool force) {
        if (auto r = m_out.File().Write(bytes); !r) return r.error();
        auto done = m_out.Commit(force);
        if (!done && done.error().message.ends_with("already exists")) {
            return Error{done.error().message + "; give --force to replace it"};
        }
        return done;
    }

  private:
    AtomicOutput m_out;
};

std::vector<std::string> PaddingNotes(const EncodeFrames& frames, const EncodeSettings& s) {
    const int32_t w = PadToBlocks(frames.Width(), s.blockWidth);
    const int32_t h = PadToBlocks(frames.Height(), s.blockHeight);
    if (w == frames.Width() && h == frames.Height()) return {};
    return {"pictures of " + std::to_string(frames.Width()) + "x" +
            std::to_string(frames.Height()) + " are padded to " + std::to_string(w) + "x" +
            std::to_string(h) + " (whole " + std::to_string(s.blockWidth) + "x" +
            std::to_string(s.blockHeight) + " blocks) with copies of the edge pixels"};
}

// The note for sound that goes on after the last picture, which the VQA file leaves out; nothing
// when at most a millisecond is left.
Expected<std::optional<std::string>> DroppedSoundNote(ResampledSound& sound) {
    auto left = sound.SecondsLeft();
    if (!left) return left.error();
    if (*left <= 0.001) return std::optional<std::string>();
    char text[96];
    std::snprintf(text, sizeof text, "the sound lasts %.2f s longer than the pictures", *left);
    return std::optional<std::string>(std::string(text) + "; that part is left out");
}

// The job after the checks of the output path: `memoryFor` tells what the memory was for when it
// runs out.
Expected<EncodeJobResult> Encode(const std::string& input, const EncodeJobOptions& options,
                                 EncodeObserver* observer, EncodeJobResult result,
                                 std::string& memoryFor) {
    const std::string cannot = "Cannot encode \"" + input + "\": ";
    TemporaryOutput output;
    if (auto r = output.Create(result.outputPath); !r) return Error{cannot + r.error().message};
    std::error_code ec;
    auto source = fs::is_directory(input, ec) ? OpenFolderSource(input) : OpenAviSource(input);
    if (!source) return source.error();
    memoryFor = "for pictures of " + std::to_string(source->frames->Width()) + "x" +
                std::to_string(source->frames->Height()) + " pixels";
    result.notes = source->notes;
    for (std::string& n : PaddingNotes(*source->frames, options.settings))
        result.notes.push_back(n);
    auto encoded =
        EncodeVqa(*source->frames, source->sound.get(), options.settings, observer, nullptr);
    if (!encoded) return Error{cannot + encoded.error().message};
    if (source->sound) {
        auto note = DroppedSoundNote(*source->sound);
        if (!note) return Error{cannot + note.error().message};
        if (*note) result.notes.push_back(**note);
    }
    if (auto r = output.Commit(encoded->file, options.force); !r) {
        return Error{cannot + r.error().message};
    }
    result.properties = encoded->properties;
    result.bytes = static_cast<int64_t>(encoded->file.size());
    return result;
}

}  // namespace

std::optional<std::string> CheckSourcePicture(int32_t width, int32_t height) {
    constexpr int32_t kMaxSide = 65535;
    const uint64_t blocks =
        uint64_t((int64_t{width} + 3) / 4) * uint64_t((int64_t{height} + 1) / 2);
    if (width >= 1 && height >= 1 && width <= kMaxSide && height <= kMaxSide &&
        2 * blocks <= kMaxSubChunkData) {
        return std::nullopt;
    }
    return "its pictures of " + std::to_string(width) + "x" + std::to_string(height) +
           " pixels cannot be encoded: a VQA file holds pictures of 1 to " +
           std::to_string(kMaxSide) + " pixels each way and at most " +
           std::to_string(kMaxSubChunkData * 4) + " pixels (8192x8192) in all";
}

std::string VqaPathFor(const std::string& input) {
    fs::path p(input);
    while (p.has_parent_path() && !p.has_filename() && p != p.root_path()) {
        p = p.parent_path();  // "folder/" -> "folder"
    }
    std::error_code ec;
    if (fs::is_directory(p, ec)) return p.string() + ".vqa";
    return p.replace_extension(".vqa").string();
}

Expected<EncodeSource> OpenAviSource(const std::string& path) {
    auto file = std::make_unique<DiskInputFile>();
    if (auto r = file->Open(path); !r) return r.error();
    return OpenAviSource(std::move(file));
}

Expected<EncodeSource> OpenAviSource(std::unique_ptr<InputFile> file) {
    auto avi = std::make_shared<OpenAvi>();
    avi->file = std::move(file);
    const std::string& path = avi->file->Name();
    auto reader = AviReader::Open(*avi->file);
    if (!reader) return reader.error();
    avi->reader.emplace(std::move(*reader));
    const AviSourceInfo& in = avi->reader->Info();
    if (auto why = CheckSourcePicture(in.width, in.height))
        return Error{"\"" + path + "\": " + *why};
    EncodeSource source;
    auto frames = std::make_unique<AviFrames>(avi);
    if (frames->FullCount() > kEncodeMaxFrames) {
        return Error{"\"" + path + "\" lasts more than " + std::to_string(kEncodeMaxFrames) +
                     " frames at 15 per second, the most a VQA file holds"};
    }
    if (uint64_t{in.rate} != uint64_t{15} * in.scale) {
        source.notes.push_back(Rate(in.rate, in.scale) + " frames per second retimed to 15: " +
                               std::to_string(in.videoChunks.size()) + " frames became " +
                               std::to_string(frames->Frames()));
    }
    source.frames = std::move(frames);
    if (!in.hasSound || in.soundChunks.empty()) {
        source.notes.push_back("no sound: the film is silent");
        return source;
    }
    const bool mono16 = in.channels == 1 && in.bitsPerSample == 16;
    auto sound = OpenEncodeSound(std::make_unique<AviSoundBlocks>(avi), mono16);
    if (!sound) return Error{"\"" + path + "\": " + sound.error().message};
    if (in.sampleRate != uint32_t(kEncodeSoundRate) || in.channels != 1) {
        source.notes.push_back("sound of " + std::to_string(in.channels) + " channel(s) at " +
                               std::to_string(in.sampleRate) + " Hz made mono at 22050 Hz");
    }
    source.sound = std::move(*sound);
    return source;
}

Expected<EncodeJobResult> RunEncodeJob(const std::string& input, const EncodeJobOptions& options,
                                       EncodeObserver* observer) {
    EncodeJobResult result;
    result.outputPath = options.output.empty() ? VqaPathFor(input) : options.output;
    const std::string cannot = "Cannot encode \"" + input + "\": ";
    std::error_code ec;
    if (fs::exists(result.outputPath, ec) && fs::equivalent(input, result.outputPath, ec)) {
        return Error{cannot + "the output \"" + result.outputPath + "\" is the input itself"};
    }
    if (!options.force && fs::exists(result.outputPath, ec)) {
        return Error{cannot + "\"" + result.outputPath +
                     "\" already exists; give --force to replace it"};
    }
    std::string memoryFor = "to read it";
    try {
        return Encode(input, options, observer, std::move(result), memoryFor);
    } catch (const std::bad_alloc&) {
        return Error{cannot + "there is not enough memory " + memoryFor};
    }
}

}  // namespace rw
