// A high-colour video's frames into a frame target, as RunFrames does for 8-bit videos: each
// frame's sound and its 24-bit picture, with damage concealed and counted, progress and cancel
// between frames.
#pragma once

#include <string>

#include "decode/open_video.h"
#include "platform/file.h"
#include "stream/conversion_observer.h"
#include "stream/conversion_outcome.h"
#include "stream/frame_target.h"

namespace rw {

// The stream's format: the header's frame rate, the file's own sound rate and channels; no sound
// when the video's sound is of a kind that is not decoded.
StreamFormat StreamFormatOf(const HighColourVideo& video);

// What the user is told once about the video before its frames: its sound that is not decoded, a
// header that says otherwise than its chunks. Empty when there is nothing to tell.
std::string HighColourNotice(const HighColourVideo& video);

// The frames of the video into `target`, from the first (the target's leading sound is empty: the
// sound ahead of the pictures comes with frame 0). A complete run comes with its damage summary.
ConversionOutcome RunHighColourFrames(InputFile& vqa, const HighColourVideo& video,
                                      FrameTarget& target, ConversionObserver& observer);

// Either kind of video: its stream's format, and its frames into `target` (RunFrames for 8-bit
// videos, RunHighColourFrames for high-colour ones).
StreamFormat StreamFormatOf(const OpenedVideo& video);
ConversionOutcome RunVideoFrames(OpenedVideo& video, FrameTarget& target,
                                 ConversionObserver& observer);

}  // namespace rw
