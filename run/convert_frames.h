// The body of a run over a video's frames into a target: in one part for any target, or in two
// parts at once for an AVI file. The worker thread opens and closes the files around it; tests and
// fuzzing call it on files in memory.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/expected.h"
#include "platform/file.h"
#include "stream/conversion_observer.h"
#include "stream/conversion_outcome.h"
#include "stream/frame_target.h"
#include "vqa/vqa_properties.h"

namespace rw {

// Checks the header values before anything is written: frames, block sizes and the sizes the AVI
// header block must describe. Returns a message naming the problem, or an empty string.
std::string CheckConvertible(const VqaProperties& props);

// The message for pictures too large for memory.
ConversionOutcome OutOfMemory(int32_t width, int32_t height);
ConversionOutcome OutOfMemory(const VqaProperties& props);

// Writes the AVI header block, the leading sound (frame 0's offset + 8, R / 4 bytes, then 5520
// added to frame 0's offset), then per frame its sound chunk and one video chunk, then the index.
// `frameIndex` is the run's copy of the frame offsets (ReadFrameIndex).
ConversionOutcome ConvertFrames(InputFile& vqa, OutputFile& avi, const VqaProperties& props,
                                std::span<int32_t> frameIndex, ConversionObserver& observer);

class ConversionFiles;
struct HighColourVideo;

// A high-colour video into an ordinary AVI file of its own frame rate, sound rate and channels
// (StreamAviTarget), in one part: the movie chunks through a writer from `files` that starts after
// the header block, which `avi` (empty) writes last.
ConversionOutcome ConvertHighColour(InputFile& vqa, OutputFile& avi, const HighColourVideo& video,
                                    ConversionObserver& observer, ConversionFiles& files);

// Opens more files on the same input and output, for a run in parts.
class ConversionFiles {
  public:
    virtual ~ConversionFiles() = default;
    // Another reader of the input.
    virtual Expected<std::unique_ptr<InputFile>> OpenInputAgain() = 0;
    // Another writer of the output, whose first byte goes to `position` (Position() starts
    // there); Finish writes what it holds.
    virtual Expected<std::unique_ptr<OutputFile>> OpenOutputAt(int64_t position) = 0;
};

// The same file as ConvertFrames, made by two threads: this one converts the first part of the
// frames into `avi`, another the rest into a writer from `files`, so that each draws its pictures
// on the core that writes them. Progress counts the frames both have started and, as in one part,
// a complete run reports its last frame last and a failed seek of frame f reports frame f; a stop
// of either part stops both, and what happened first in the file is reported. Videos of fewer than
// two frames are converted in one part.
ConversionOutcome ConvertFramesInTwoParts(InputFile& vqa, OutputFile& avi,
                                          const VqaProperties& props, std::span<int32_t> frameIndex,
                                          ConversionObserver& observer, ConversionFiles& files);

}  // namespace rw
