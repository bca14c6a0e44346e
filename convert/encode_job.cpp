#include "convert/encode_job.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>

#include "avi/avi_reader.h"
#include "encode/sound_input.h"
#include "platform/disk_input_file.h"
#include "platform/disk_output_file.h"
#include "platform/file.h"

namespace rw {
namespace fs = std::filesystem;
namespace {

// An AVI file opened once and read by the pictures and the sound alike.
struct OpenAvi {
    DiskInputFile file;
    std::optional<AviReader> reader;
};

// The AVI's frames at 15 per second: output frame f shows the source frame on screen at f / 15 s.
class AviFrames final : public EncodeFrames {
  public:
    explicit AviFrames(std::shared_ptr<OpenAvi> avi) : m_avi(std::move(avi)) {
        const AviSourceInfo& in = m_avi->reader->Info();
        const auto n = static_cast<uint64_t>(in.videoChunks.size());
        m_count = static_cast<int64_t>((n * 15 * in.scale + in.rate - 1) / in.rate);
        m_picture.assign(size_t(in.width) * size_t(in.height) * 3, 0);
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
        auto data = m_avi->reader->ReadSound(m_next);
        if (!data) return data.error();
        const size_t before = out.size();
        MixToMono(*data, in.channels, in.bitsPerSample, out);
        // The converter's leading chunk ends in one pad sample that no VQA sample stands for.
        if (m_next == 0 && in.leadingSoundPadded && out.size() > before) out.pop_back();
        ++m_next;
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

// Writes `bytes` to a temporary file beside `path` and gives it the final name; without `force`
// an existing file is never replaced, even one that appeared while encoding.
Expected<void> WriteOutput(const std::string& path, const std::vector<uint8_t>& bytes, bool force) {
    DiskOutputFile out;
    if (auto r = out.CreateUniqueBeside(path); !r) return r.error();
    const std::string temporary = out.Name();
    auto fail = [&](const std::string& why) {
        out.Abandon();
        std::error_code ec;
        fs::remove(temporary, ec);
        return Error{why};
    };
    if (auto r = out.Write(bytes); !r) return fail(r.error().message);
    if (auto r = out.Close(); !r) return fail(r.error().message);
    if (force) {
        std::error_code ec;
        fs::rename(temporary, path, ec);
        if (ec) {
            return fail("Cannot rename \"" + temporary + "\" to \"" + path + "\": " + ec.message());
        }
        return {};
    }
    if (::link(temporary.c_str(), path.c_str()) != 0) {
        const int error = errno;
        return fail(error == EEXIST ? "\"" + path + "\" already exists; give --force to replace it"
                                    : "Cannot create \"" + path + "\": " + std::strerror(error));
    }
    std::error_code ec;
    fs::remove(temporary, ec);
    return {};
}

std::vector<std::string> PaddingNotes(const EncodeFrames& frames, const EncodeSettings& s) {
    const int32_t w = PadToBlocks(frames.Width(), s.blockWidth);
    const int32_t h = PadToBlocks(frames.Height(), s.blockHeight);
    if (w == frames.Width() && h == frames.Height()) return {};
    return {"pictures of " + std::to_string(frames.Width()) + "x" +
            std::to_string(frames.Height()) + " are padded to " + std::to_string(w) + "x" +
            std::to_string(h) + " (whole " + std::to_string(s.blockWidth) + "x" +
            std::to_string(s.blockHeight) + " blocks) with copies of the edge pixels"};
}

}  // namespace

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
    auto avi = std::make_shared<OpenAvi>();
    if (auto r = avi->file.Open(path); !r) return r.error();
    auto reader = AviReader::Open(avi->file);
    if (!reader) return reader.error();
    avi->reader.emplace(std::move(*reader));
    const AviSourceInfo& in = avi->reader->Info();
    EncodeSource source;
    auto frames = std::make_unique<AviFrames>(avi);
    if (frames->FullCount() > kEncodeMaxFrames) {
        return Error{"\"" + path + "\" lasts " + std::to_string(frames->FullCount()) +
                     " frames at 15 per second; a VQA file holds at most " +
                     std::to_string(kEncodeMaxFrames)};
    }
    if (uint64_t{in.rate} != uint64_t{15} * in.scale) {
        source.notes.push_back(Rate(in.rate, in.scale) + " frames per second retimed to 15: " +
                               std::to_string(in.videoChunks.size()) + " frames became " +
                               std::to_string(frames->Frames()));
    }
    source.frames = std::move(frames);
    if (!in.hasSound || in.soundChunks.empty()) {
        source.notes.push_back("no sound: the film is silent");
    } else {
        if (in.sampleRate != uint32_t(kEncodeSoundRate) || in.channels != 1) {
            source.notes.push_back("sound of " + std::to_string(in.channels) + " channel(s) at " +
                                   std::to_string(in.sampleRate) + " Hz made mono at 22050 Hz");
        }
        source.sound = std::make_unique<ResampledSound>(std::make_unique<AviSoundBlocks>(avi));
    }
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
    const bool folder = fs::is_directory(input, ec);
    auto source = folder ? OpenFolderSource(input) : OpenAviSource(input);
    if (!source) return source.error();
    result.notes = source->notes;
    for (std::string& n : PaddingNotes(*source->frames, options.settings))
        result.notes.push_back(n);
    auto encoded =
        EncodeVqa(*source->frames, source->sound.get(), options.settings, observer, nullptr);
    if (!encoded) return Error{cannot + encoded.error().message};
    if (auto r = WriteOutput(result.outputPath, encoded->file, options.force); !r) {
        return Error{cannot + r.error().message};
    }
    result.properties = encoded->properties;
    result.bytes = static_cast<int64_t>(encoded->file.size());
    return result;
}

}  // namespace rw
