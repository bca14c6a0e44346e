#include "decode/frame_stream.h"

#include "decode/frame_decoder.h"
#include "decode/open_video.h"

namespace rw {

Expected<void> WatchedTarget::LeadingSound(std::span<const uint8_t> pcm) {
    return m_target.LeadingSound(pcm);
}

Expected<std::span<uint8_t>> WatchedTarget::BeginFrame(int32_t frame,
                                                       std::span<const uint8_t> sound) {
    auto room = m_target.BeginFrame(frame, sound);
    if (room) m_room = *room;
    return room;
}

Expected<void> WatchedTarget::EndFrame(int32_t frame, bool damaged) {
    if (m_watcher != nullptr) m_watcher->OnFramePicture(frame, m_room);
    return m_target.EndFrame(frame, damaged);
}

ConversionOutcome RunFrames(InputFile& vqa, const VqaProperties& props,
                            std::span<int32_t> frameIndex, FrameTarget& target,
                            ConversionObserver& observer) {
    if (std::string why = CheckDecodable(props); !why.empty()) return Fail(why);
    const auto frames = static_cast<size_t>(props.frames);
    if (frameIndex.size() < frames) return Fail("the frame index is shorter than the frame count");
    auto start = StartVideo(vqa, props, frameIndex);
    if (!start) return Fail(start.error().message);
    if (auto r = target.LeadingSound(start->leadingSound); !r) return Fail(r.error().message);

    WatchedTarget watched(target, &observer);
    FrameDecoder decoder(props, vqa, frameIndex, start->adpcm);
    for (size_t f = 0; f < frames; ++f) {
        if (observer.CancelRequested()) return Cancelled();
        observer.OnFrameStart(static_cast<int32_t>(f));
        if (!decoder.Frame(f, &watched)) return decoder.Outcome();
    }
    ConversionOutcome done;
    done.damagedFrames = decoder.Damaged();
    done.leadingSoundMissing = start->leadingSoundMissing;
    done.message =
        DamageSummary(decoder.Damaged(), decoder.FirstDamaged(), start->leadingSoundMissing);
    return done;
}

}  // namespace rw
