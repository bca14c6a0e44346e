// The body of one conversion, from the frame index to the AVI index, over any input and output
// file. The worker thread opens and closes the files around it; tests and fuzzing call it on files
// in memory.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/expected.h"
#include "platform/file.h"
#include "vqa/vqa_properties.h"

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

struct ConversionOutcome {
    enum class Status {
        Completed,   // the index is written; the output is a complete AVI file
        SeekFailed,  // the seek to a frame failed: the output holds the frames before it, no index
        Cancelled,   // stopped between frames on request
        Failed,      // a fatal error: message says what
    };
    Status status = Status::Completed;
    std::string message;        // Failed: the reason; Completed with damage: a summary
    int32_t damagedFrames = 0;  // frames that repeat the previous picture (damage, truncation)
    bool leadingSoundMissing = false;  // the sound before frame 0 lies past the end: silence
    uint32_t failedFrame = 0;          // SeekFailed: the frame number, from 0
    uint32_t failedPosition =
        0;  // SeekFailed: the position sought, formed as a signed 32-bit number
};

// Checks the header values before anything is written: frames, block sizes and the sizes the AVI
// header block must describe. Returns a message naming the problem, or an empty string.
std::string CheckConvertible(const VqaProperties& props);

// Writes the AVI header block, the leading sound (frame 0's offset + 8, R / 4 bytes, then 5520
// added to frame 0's offset), then per frame its sound chunk and one video chunk, then the index.
// `frameIndex` is the run's copy of the frame offsets (ReadFrameIndex).
ConversionOutcome ConvertFrames(InputFile& vqa, OutputFile& avi, const VqaProperties& props,
                                std::span<int32_t> frameIndex, ConversionObserver& observer);

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

namespace rw {

// A video's frames one after another for playing it: each frame's picture and sound exactly as
// the AVI file holds them (3 bytes a pixel, blue green red, bottom row first; 16-bit mono PCM).
class FrameReader {
  public:
    // `frameIndex` as ReadFrameIndex gives it; the reader keeps its own copy.
    FrameReader(InputFile& vqa, const VqaProperties& props, std::vector<int32_t> frameIndex);
    ~FrameReader();
    FrameReader(const FrameReader&) = delete;
    FrameReader& operator=(const FrameReader&) = delete;

    // Reads the leading sound (the sound before frame 0) into `sound`, and goes to frame 0.
    Expected<void> Start(std::vector<uint8_t>& sound);
    // Goes to frame `frame`: the frames before it are walked for their codebooks, palettes and
    // sound, without drawing them.
    Expected<void> Seek(int32_t frame);
    // Draws the next frame into `picture` and puts its sound chunk's bytes into `sound`; a
    // damaged frame repeats the previous picture. An error when the video cannot be read on.
    Expected<void> Next(std::vector<uint8_t>& picture, std::vector<uint8_t>& sound);
    // The frame Next reads.
    int32_t Position() const;

  private:
    struct State;
    std::unique_ptr<State> m_state;
};

}  // namespace rw
