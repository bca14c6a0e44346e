// A folder of PNG frames, in name order, with an optional WAV file: an encoder's source.
#include <algorithm>
#include <cctype>
#include <filesystem>

#include "convert/encode_job.h"
#include "encode/sound_input.h"
#include "platform/file.h"
#include "png/png_image.h"
#include "wav/wav_file.h"

namespace rw {
namespace fs = std::filesystem;
namespace {

std::string LowerExtension(const fs::path& path) {
    std::string ext = path.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext;
}

Expected<RgbImage> LoadPng(const fs::path& path) {
    auto bytes = ReadWholeFile(path);
    if (!bytes) return bytes.error();
    auto image = DecodePng(*bytes);
    if (!image) return Error{"\"" + path.string() + "\": " + image.error().message};
    return image;
}

// The PNG files one per frame, each read when the encoder asks for it; all of the first's size.
class PngFrames final : public EncodeFrames {
  public:
    PngFrames(std::vector<fs::path> files, int32_t width, int32_t height)
        : m_files(std::move(files)), m_width(width), m_height(height) {}
    int32_t Frames() const override { return static_cast<int32_t>(m_files.size()); }
    int32_t Width() const override { return m_width; }
    int32_t Height() const override { return m_height; }

    Expected<void> Read(int32_t frame, std::span<uint8_t> bgr) override {
        const fs::path& path = m_files[static_cast<size_t>(frame)];
        auto image = LoadPng(path);
        if (!image) return image.error();
        if (image->width != m_width || image->height != m_height) {
            return Error{"\"" + path.string() + "\" is " + std::to_string(image->width) + "x" +
                         std::to_string(image->height) + " pixels, the first frame " +
                         std::to_string(m_width) + "x" + std::to_string(m_height)};
        }
        for (size_t i = 0; i + 2 < image->pixels.size(); i += 3) {
            bgr[i] = image->pixels[i + 2];
            bgr[i + 1] = image->pixels[i + 1];
            bgr[i + 2] = image->pixels[i];
        }
        return {};
    }

  private:
    std::vector<fs::path> m_files;
    int32_t m_width, m_height;
};

// A WAV file's samples mixed to mono, in blocks of a second or so.
class WavBlocks final : public MonoBlocks {
  public:
    explicit WavBlocks(WavSound sound) : m_sound(std::move(sound)) {}
    uint32_t Rate() const override { return m_sound.rate; }
    Expected<bool> Next(std::vector<float>& out) override {
        const size_t channels = std::max<size_t>(1, m_sound.channels);
        const size_t frames = m_sound.samples.size() / channels;
        if (m_at >= frames) return false;
        const size_t end = std::min(frames, m_at + 65536);
        for (; m_at < end; ++m_at) {
            float sum = 0;
            for (size_t c = 0; c < channels; ++c) sum += m_sound.samples[m_at * channels + c];
            out.push_back(sum / float(channels));
        }
        return true;
    }

  private:
    WavSound m_sound;
    size_t m_at = 0;
};

}  // namespace

Expected<EncodeSource> OpenFolderSource(const std::string& folder) {
    std::vector<fs::path> pictures, sounds;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code typeError;
        if (!it->is_regular_file(typeError)) continue;
        const std::string ext = LowerExtension(it->path());
        if (ext == ".png") pictures.push_back(it->path());
        if (ext == ".wav") sounds.push_back(it->path());
    }
    if (ec) return Error{"Cannot read the folder \"" + folder + "\": " + ec.message()};
    if (pictures.empty()) return Error{"The folder \"" + folder + "\" holds no .png frames"};
    if (pictures.size() > size_t{kEncodeMaxFrames}) {
        return Error{"The folder \"" + folder + "\" holds " + std::to_string(pictures.size()) +
                     " frames; a VQA file holds at most " + std::to_string(kEncodeMaxFrames)};
    }
    std::sort(pictures.begin(), pictures.end());
    std::sort(sounds.begin(), sounds.end());
    auto first = LoadPng(pictures[0]);
    if (!first) return first.error();
    EncodeSource source;
    source.notes.push_back(std::to_string(pictures.size()) +
                           " PNG frames taken at 15 frames per second");
    source.frames = std::make_unique<PngFrames>(std::move(pictures), first->width, first->height);
    if (sounds.empty()) {
        source.notes.push_back("no .wav file: the film is silent");
        return source;
    }
    auto bytes = ReadWholeFile(sounds[0]);
    if (!bytes) return bytes.error();
    auto wav = DecodeWav(*bytes);
    if (!wav) return Error{"\"" + sounds[0].string() + "\": " + wav.error().message};
    // The sound of this project's AVI files (and of their frames exported as a folder) holds one
    // pad sample after the half second of leading sound that no VQA sample stands for.
    const size_t padded = size_t(kEncodeLeadingSamples) + 1 +
                          size_t(kEncodeFrameSamples) * size_t(source.frames->Frames());
    if (wav->rate == uint32_t(kEncodeSoundRate) && wav->channels == 1 &&
        wav->samples.size() == padded) {
        wav->samples.erase(wav->samples.begin() + kEncodeLeadingSamples);
    }
    std::string note = "sound from \"" + sounds[0].filename().string() + "\"";
    if (sounds.size() > 1)
        note += " (the first of " + std::to_string(sounds.size()) + " .wav files)";
    if (wav->rate != uint32_t(kEncodeSoundRate) || wav->channels != 1) {
        note += ", made mono at 22050 Hz";
    }
    source.notes.push_back(note);
    source.sound = std::make_unique<ResampledSound>(std::make_unique<WavBlocks>(std::move(*wav)));
    return source;
}

}  // namespace rw
