// What watches a run over a video's frames: progress, cancel, and the pictures drawn.
#pragma once

#include <cstdint>
#include <span>

namespace rw {

class ConversionObserver {
  public:
    virtual ~ConversionObserver() = default;
    // Called at the top of every frame, before anything of it is read (progress texts).
    virtual void OnFrameStart(int32_t frame) = 0;
    // Checked between frames: true stops the run (cancel). A run in two parts checks it from both
    // of its threads.
    virtual bool CancelRequested() = 0;
    // Each written frame's picture (3 bytes a pixel, blue, green, red, bottom row first), valid
    // only during the call; in a run in two parts, from either part's thread.
    virtual void OnFramePicture(int32_t /*frame*/, std::span<const uint8_t> /*bgrBottomUp*/) {}
};

}  // namespace rw
