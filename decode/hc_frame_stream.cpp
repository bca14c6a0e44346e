#include "decode/hc_frame_stream.h"

#include <algorithm>
#include <cstring>

#include "decode/frame_decoder.h"
#include "decode/frame_stream.h"
#include "vqa/hc_decoder.h"

namespace rw {

StreamFormat StreamFormatOf(const HighColourVideo& video) {
    const HighColourProperties& p = video.props;
    StreamFormat format;
    format.frames = p.frames;
    format.width = p.width;
    format.height = p.height;
    format.framesPerSecond = p.framesPerSecond;
    const bool silent = video.firstSound == SoundChunkKind::Unsupported;
    format.soundRate = silent ? 0 : std::max(p.soundRate, 0);
    format.channels = p.channels;
    return format;
}

std::string HighColourNotice(const HighColourVideo& video) {
    std::string notice;
    if (video.contradictsHeader) {
        notice =
            "its header says 8-bit palette colour, but its pictures are 15-bit colour and "
            "are decoded as such";
    }
    if (video.firstSound == SoundChunkKind::Unsupported) {
        if (!notice.empty()) notice += "; ";
        notice +=
            "its sound is in a compression (SND1) that is not supported: the video is "
            "converted without sound";
    }
    return notice;
}

namespace {

// `first` counts from 0; messages count frames from 1, as the 8-bit videos' do.
std::string HighColourDamageSummary(int32_t damaged, int32_t first, const std::string& what) {
    if (damaged == 0) return {};
    return std::to_string(damaged) + (damaged == 1 ? " frame was" : " frames were") +
           " damaged (the first is frame " + std::to_string(first + 1) + ": " + what +
           "); they show what could be drawn";
}

}  // namespace

ConversionOutcome RunHighColourFrames(InputFile& vqa, const HighColourVideo& video,
                                      FrameTarget& target, ConversionObserver& observer) {
    const StreamFormat format = StreamFormatOf(video);
    if (auto r = target.LeadingSound({}); !r) return Fail(r.error().message);
    WatchedTarget watched(target, &observer);
    HighColourDecoder decoder(video.props);
    HighColourFrame frame;
    int32_t damaged = 0;
    int32_t firstDamaged = -1;
    std::string firstDamage;
    const auto frames = std::min(static_cast<size_t>(video.props.frames), video.frameIndex.size());
    for (size_t f = 0; f < frames; ++f) {
        if (observer.CancelRequested()) return Cancelled();
        const auto number = static_cast<int32_t>(f);
        observer.OnFrameStart(number);
        frame.sound.clear();
        decoder.DecodeFrame(vqa, video.frameIndex[f], frame);
        const std::span<const uint8_t> sound = format.soundRate > 0
                                                   ? std::span<const uint8_t>(frame.sound)
                                                   : std::span<const uint8_t>{};
        auto room = watched.BeginFrame(number, sound);
        if (!room) return Fail(room.error().message);
        std::memcpy(room->data(), frame.picture.data(),
                    std::min(room->size(), frame.picture.size()));
        if (frame.damaged && damaged++ == 0) {
            firstDamaged = number;
            firstDamage = WithoutFileName(frame.damage, vqa);  // told under the video's name
        }
        if (auto r = watched.EndFrame(number, frame.damaged); !r) return Fail(r.error().message);
    }
    ConversionOutcome done;
    done.damagedFrames = damaged;
    done.message = HighColourDamageSummary(damaged, firstDamaged, firstDamage);
    return done;
}

StreamFormat StreamFormatOf(const OpenedVideo& video) {
    if (video.kind == PictureKind::HighColour) return StreamFormatOf(video.highColour);
    return StreamFormatOf(video.props);
}

ConversionOutcome RunVideoFrames(OpenedVideo& video, FrameTarget& target,
                                 ConversionObserver& observer) {
    if (video.kind == PictureKind::HighColour) {
        return RunHighColourFrames(*video.file, video.highColour, target, observer);
    }
    return RunFrames(*video.file, video.props, video.frameIndex, target, observer);
}

}  // namespace rw
