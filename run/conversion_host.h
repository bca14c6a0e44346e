// Where a conversion worker reports to. The desktop session, the command line and the tests each
// provide one. All calls come from the worker's thread; an implementation that owns widgets must
// hand them to its own thread.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "run/progress.h"

namespace rw {

class ConversionHost {
  public:
    virtual ~ConversionHost() = default;

    // The progress of the run, at the top of each frame: the frame being converted, the percent
    // converted and, from the second report on, the times.
    virtual void ProgressChanged(const ProgressTexts& progress) = 0;
    // The seek to frame `frame` (counted from 0) failed at `position` (formed as a signed 32-bit
    // number, shown unsigned). The output stays open, without an index, until the host discards
    // it; ConversionFinished is not called.
    virtual void SeekFailed(uint32_t frame, uint32_t position) = 0;

    // The run completed but some frames were damaged or missing and repeat the previous picture;
    // called before ConversionFinished.
    virtual void ConcealedDamage(int32_t damagedFrames, const std::string& message) = 0;
    // The run is complete: both files are closed and the AVI file is in place. The worker touches
    // nothing of its own object after this call.
    virtual void ConversionFinished() = 0;
    // The run stopped for good: `message` names the file and the problem. Nothing is left behind.
    virtual void ConversionFailed(const std::string& message) = 0;

    // A picture of the frame being converted, a few times a second, for hosts that want them:
    // 3 bytes a pixel (blue, green, red), bottom row first, valid only during the call. It may
    // come from another of the run's threads.
    virtual bool WantsPictures() const { return false; }
    virtual void FramePicture(int32_t /*frame*/, std::span<const uint8_t> /*bgrBottomUp*/) {}
};

}  // namespace rw
