#include "compressed/compressed_writer.h"

#include <optional>

#include "compressed/av_support.h"
#include "compressed/muxer.h"
#include "compressed/picture_encoder.h"
#include "compressed/sound_encoder.h"

namespace rw {

namespace {

struct Container {
    const char* muxer;
    const char* label;
};

const Container& ContainerOf(CompressedFormat format) {
    static const Container kContainers[] = {
        {"mp4", "MP4"}, {"webm", "WebM"}, {"matroska", "Matroska"}, {"mpeg", "MPEG-1 system"}};
    return kContainers[static_cast<int>(format)];
}

Error Refusal(const std::string& name, const std::string& why) {
    return Error{"cannot write \"" + name + "\": " + why};
}

std::optional<std::string> ShapeProblem(const StreamShape& s) {
    if (s.width < 1 || s.height < 1 || s.width > 65535 || s.height > 65535) {
        return "pictures of " + std::to_string(s.width) + " x " + std::to_string(s.height) +
               " cannot be written";
    }
    if (s.fpsNum < 1 || s.fpsDen < 1 || s.fpsNum > 1000000 || s.fpsDen > 1000000) {
        return "a picture rate of " + std::to_string(s.fpsNum) + "/" + std::to_string(s.fpsDen) +
               " cannot be written";
    }
    if (s.soundRate != 0 && (s.soundRate < 1000 || s.soundRate > 384000)) {
        return "sound at " + std::to_string(s.soundRate) + " Hz cannot be written";
    }
    if (s.soundRate != 0 && s.channels != 1 && s.channels != 2) {
        return "sound of " + std::to_string(s.channels) +
               " channels cannot be written (only mono or stereo)";
    }
    return std::nullopt;
}

// The settings with the format's defaults filled in, or why they cannot be used.
Expected<CompressedSettings> Resolve(const std::string& name, CompressedSettings settings) {
    const int format = static_cast<int>(settings.format);
    if (format < 0 || format > static_cast<int>(CompressedFormat::Mpg)) {
        return Refusal(name, "unknown compressed format " + std::to_string(format));
    }
    const CompressedFormatInfo& info = FormatInfo(settings.format);
    if (settings.scale == 0) settings.scale = info.defaultScale;
    if (settings.scale < 1 || settings.scale > 8) {
        return Refusal(name, "the scale must be 1 to 8, not " + std::to_string(settings.scale));
    }
    if (settings.quality == -1) {
        settings.quality = info.defaultQuality;
    } else if (info.defaultQuality < 0) {
        return Refusal(name, std::string(info.name) + " is lossless and takes no quality");
    } else if (settings.quality < info.bestQuality || settings.quality > info.worstQuality) {
        return Refusal(name, std::string("the ") + info.name + " quality must be " +
                                 std::to_string(info.bestQuality) + " to " +
                                 std::to_string(info.worstQuality) + ", not " +
                                 std::to_string(settings.quality));
    }
    if (settings.threads < 1) {
        return Refusal(name, "the number of threads must be at least 1, not " +
                                 std::to_string(settings.threads));
    }
    return settings;
}

}  // namespace

const CompressedFormatInfo& FormatInfo(CompressedFormat format) {
    static const CompressedFormatInfo kFormats[] = {
        {"mp4", ".mp4", "H.264 and AAC in MP4", 2, 18, 0, 51},
        {"webm", ".webm", "VP9 and Opus in WebM", 2, 25, 0, 63},
        {"mkv", ".mkv", "lossless FFV1 (RGB) and FLAC in Matroska", 1, -1, -1, -1},
        {"mpg", ".mpg", "MPEG-1 video and MP2 in an MPEG-1 system stream", 2, 3, 1, 31},
    };
    return kFormats[static_cast<int>(format)];
}

std::optional<CompressedFormat> FormatNamed(std::string_view name) {
    for (auto format : {CompressedFormat::Mp4, CompressedFormat::WebM, CompressedFormat::Mkv,
                        CompressedFormat::Mpg}) {
        if (name == FormatInfo(format).name) return format;
    }
    return std::nullopt;
}

Expected<void> FormatAvailable(CompressedFormat format) {
    av::KeepLogQuiet();
    const Container& container = ContainerOf(format);
    if (auto r = av::Muxer::Available(container.muxer, container.label); !r) return r;
    if (auto r = av::PictureEncoder::Encoder(format); !r) return r.error();
    if (auto r = av::SoundEncoder::Encoder(format); !r) return r.error();
    return {};
}

struct CompressedWriter::Parts {
    std::unique_ptr<av::Muxer> muxer;  // first, so that it outlives the encoders writing to it
    std::unique_ptr<av::PictureEncoder> pictures;
    std::unique_ptr<av::SoundEncoder> sound;  // none without sound
    std::optional<Error> failed;
    bool finished = false;
};

CompressedWriter::CompressedWriter(std::unique_ptr<Parts> parts) : m_parts(std::move(parts)) {}
CompressedWriter::~CompressedWriter() = default;

Expected<std::unique_ptr<CompressedWriter>> CompressedWriter::Open(
    int fd, std::string name, const StreamShape& shape, const CompressedSettings& requested) {
    av::KeepLogQuiet();
    if (auto problem = ShapeProblem(shape)) return Refusal(name, *problem);
    auto settings = Resolve(name, requested);
    if (!settings) return settings.error();
    const Container& container = ContainerOf(settings->format);
    auto parts = std::make_unique<Parts>();
    auto muxer = av::Muxer::Open(fd, name, container.muxer, container.label);
    if (!muxer) return muxer.error();
    parts->muxer = std::move(muxer).value();
    auto pictures = av::PictureEncoder::Open(*parts->muxer, shape, *settings);
    if (!pictures) return pictures.error();
    parts->pictures = std::move(pictures).value();
    if (shape.soundRate != 0) {
        auto sound = av::SoundEncoder::Open(*parts->muxer, shape, *settings);
        if (!sound) return sound.error();
        parts->sound = std::move(sound).value();
    }
    if (auto r = parts->muxer->WriteHeader(); !r) return r.error();
    return std::make_unique<CompressedWriter>(std::move(parts));
}

Expected<void> CompressedWriter::Keep(Expected<void> result) {
    if (!result) m_parts->failed = result.error();
    av::ForgetLastLine();
    return result;
}

Expected<void> CompressedWriter::Picture(std::span<const uint8_t> bgrBottomUp) {
    if (m_parts->failed) return *m_parts->failed;
    if (m_parts->finished) return Refusal(m_parts->muxer->Name(), "the file is already complete");
    return Keep(m_parts->pictures->Picture(bgrBottomUp));
}

Expected<void> CompressedWriter::Sound(std::span<const uint8_t> pcm) {
    if (m_parts->failed) return *m_parts->failed;
    if (m_parts->finished) return Refusal(m_parts->muxer->Name(), "the file is already complete");
    if (!m_parts->sound) {
        // A video without sound hands every frame an empty sound: nothing to write.
        if (pcm.empty()) return {};
        return Refusal(m_parts->muxer->Name(), "it was opened without sound");
    }
    return Keep(m_parts->sound->Sound(pcm));
}

Expected<void> CompressedWriter::Finish() {
    if (m_parts->failed) return *m_parts->failed;
    if (m_parts->finished) return Refusal(m_parts->muxer->Name(), "the file is already complete");
    m_parts->finished = true;
    if (auto r = m_parts->pictures->Finish(); !r) return Keep(r);
    if (m_parts->sound) {
        if (auto r = m_parts->sound->Finish(); !r) return Keep(r);
    }
    return Keep(m_parts->muxer->WriteTrailer());
}

}  // namespace rw
