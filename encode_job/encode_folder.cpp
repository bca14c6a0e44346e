// A folder of PNG frames, in natural name order, with an optional WAV file: an encoder's source.
#include <algorithm>
#include <cctype>
#include <filesystem>

#include "encode/sound_input.h"
#include "encode_job/encode_job.h"
#include "platform/file.h"
#include "platform/file_names.h"
#include "png/png_image.h"
#include "wav/wav_file.h"

namespace rw {
namespace fs = std::filesystem;
namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// The files of the folder, named in messages by their path.
struct FrameFiles {
    std::string folder;
    ReadNamedFile read;

    std::string PathOf(const std::string& name) const { return (fs::path(folder) / name).string(); }

    Expected<RgbImage> LoadPng(const std::string& name) const {
        auto bytes = read(name);
        if (!bytes) return bytes.error();
        auto image = DecodePng(*bytes);
        if (!image) return Error{"\"" + PathOf(name) + "\": " + image.error().message};
        return image;
    }
};

// The PNG files one per frame, each read when the encoder asks for it; all of the first's size.
class PngFrames final : public EncodeFrames {
  public:
    PngFrames(FrameFiles files, std::vector<std::string> names, int32_t width, int32_t height)
        : m_files(std::move(files)), m_names(std::move(names)), m_width(width), m_height(height) {}
    int32_t Frames() const override { return static_cast<int32_t>(m_names.size()); }
    int32_t Width() const override { return m_width; }
    int32_t Height() const override { return m_height; }

    Expected<void> Read(int32_t frame, std::span<uint8_t> bgr) override {
        const std::string& name = m_names[static_cast<size_t>(frame)];
        auto image = m_files.LoadPng(name);
        if (!image) return image.error();
        if (image->width != m_width || image->height != m_height) {
            return Error{"\"" + m_files.PathOf(name) + "\" is " + std::to_string(image->width) +
                         "x" + std::to_string(image->height) + " pixels, the first frame " +
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
    FrameFiles m_files;
    std::vector<std::string> m_names;
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

// The sound of the first WAV file, and the note that says where it came from.
Expected<void> AddSound(const FrameFiles& files, const std::vector<std::string>& sounds,
                        EncodeSource& source) {
    auto bytes = files.read(sounds[0]);
    if (!bytes) return bytes.error();
    auto wav = DecodeWav(*bytes);
    const std::string path = "\"" + files.PathOf(sounds[0]) + "\": ";
    if (!wav) return Error{path + wav.error().message};
    const bool mono16 = wav->channels == 1 && wav->bitsPerSample == 16;
    const bool made = wav->rate != uint32_t(kEncodeSoundRate) || wav->channels != 1;
    auto sound = OpenEncodeSound(std::make_unique<WavBlocks>(std::move(*wav)), mono16);
    if (!sound) return Error{path + sound.error().message};
    std::string note = "sound from \"" + sounds[0] + "\"";
    if (sounds.size() > 1)
        note += " (the first of " + std::to_string(sounds.size()) + " .wav files)";
    if (made) note += ", made mono at 22050 Hz";
    source.notes.push_back(note);
    source.sound = std::move(*sound);
    return {};
}

}  // namespace

bool NaturalNameLess(std::string_view a, std::string_view b) {
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (!IsDigit(a[i]) || !IsDigit(b[j])) {
            if (a[i] != b[j])
                return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
            ++i, ++j;
            continue;
        }
        const size_t ai = i, bj = j;
        while (i < a.size() && IsDigit(a[i])) ++i;
        while (j < b.size() && IsDigit(b[j])) ++j;
        std::string_view x = a.substr(ai, i - ai), y = b.substr(bj, j - bj);
        const std::string_view fullX = x, fullY = y;
        while (x.size() > 1 && x[0] == '0') x.remove_prefix(1);
        while (y.size() > 1 && y[0] == '0') y.remove_prefix(1);
        if (x.size() != y.size()) return x.size() < y.size();
        if (x != y) return x < y;
        if (fullX.size() != fullY.size()) return fullX.size() < fullY.size();
    }
    return a.size() - i < b.size() - j;
}

Expected<EncodeSource> OpenFolderSource(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code typeError;
        if (it->is_regular_file(typeError)) names.push_back(it->path().filename().string());
    }
    if (ec) return Error{"Cannot read the folder \"" + folder + "\": " + ec.message()};
    return OpenFrameFiles(folder, std::move(names), [folder](const std::string& name) {
        return ReadWholeFile(fs::path(folder) / name);
    });
}

Expected<EncodeSource> OpenFrameFiles(const std::string& folder, std::vector<std::string> names,
                                      ReadNamedFile read) {
    std::vector<std::string> pictures, sounds;
    for (std::string& name : names) {
        if (HasFileExtension(name, ".png")) pictures.push_back(std::move(name));
        if (HasFileExtension(name, ".wav")) sounds.push_back(std::move(name));
    }
    if (pictures.empty()) return Error{"The folder \"" + folder + "\" holds no .png frames"};
    if (pictures.size() > size_t{kEncodeMaxFrames}) {
        return Error{"The folder \"" + folder + "\" holds " + std::to_string(pictures.size()) +
                     " frames; a VQA file holds at most " + std::to_string(kEncodeMaxFrames)};
    }
    std::sort(pictures.begin(), pictures.end(), NaturalNameLess);
    std::sort(sounds.begin(), sounds.end(), NaturalNameLess);
    const FrameFiles files{folder, std::move(read)};
    auto first = files.LoadPng(pictures[0]);
    if (!first) return first.error();
    if (auto why = CheckSourcePicture(first->width, first->height)) {
        return Error{"\"" + files.PathOf(pictures[0]) + "\": " + *why};
    }
    EncodeSource source;
    source.notes.push_back(std::to_string(pictures.size()) +
                           " PNG frames taken at 15 frames per second");
    source.frames =
        std::make_unique<PngFrames>(files, std::move(pictures), first->width, first->height);
    if (sounds.empty()) {
        source.notes.push_back("no .wav file: the film is silent");
        return source;
    }
    if (auto r = AddSound(files, sounds, source); !r) return r.error();
    return source;
}

}  // namespace rw
