// A video's frames into a target, from the first to the last, with progress, cancel and the
// pictures drawn shown to an observer between frames.
#pragma once

#include <cstdint>
#include <span>

#include "platform/file.h"
#include "stream/conversion_observer.h"
#include "stream/conversion_outcome.h"
#include "stream/frame_target.h"
#include "vqa/vqa_properties.h"

namespace rw {

// The frames of the video into `target`, in order: the leading sound, then every frame, checking
// for a cancel and reporting progress and pictures between frames. `frameIndex` is the run's copy
// of the frame offsets (ReadFrameIndex). A complete run comes with its damage summary.
ConversionOutcome RunFrames(InputFile& vqa, const VqaProperties& props,
                            std::span<int32_t> frameIndex, FrameTarget& target,
                            ConversionObserver& observer);

// Hands each frame's drawn picture to a watcher before the target keeps it.
class WatchedTarget final : public FrameTarget {
  public:
    WatchedTarget(FrameTarget& target, ConversionObserver* watcher)
        : m_target(target), m_watcher(watcher) {}

    Expected<void> LeadingSound(std::span<const uint8_t> pcm) override;
    Expected<std::span<uint8_t>> BeginFrame(int32_t frame, std::span<const uint8_t> sound) override;
    Expected<void> EndFrame(int32_t frame, bool damaged) override;

  private:
    FrameTarget& m_target;
    ConversionObserver* m_watcher;
    std::span<uint8_t> m_room;
};

}  // namespace rw
