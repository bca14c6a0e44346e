// Outputs other than the AVI file: a maker gives a frame target that writes a whole file into an
// open, empty file of the run's own (renamed to its final name once complete). The front ends
// pass one to the conversion worker; the worker itself knows only the AVI file.
#pragma once

#include <memory>
#include <string>

#include "platform/expected.h"
#include "stream/frame_target.h"

namespace rw {

// A frame target that completes its file when the run is over.
class FileTarget : public FrameTarget {
  public:
    // Writes what is left; the file is complete afterwards. Nothing may follow.
    virtual Expected<void> Finish() = 0;
};

class OutputMaker {
  public:
    virtual ~OutputMaker() = default;
    // The extension of the files made, without the dot ("mp4").
    virtual std::string Extension() const = 0;
    // A target writing frames of `format` into `fd` (named `name` in messages), using at most
    // `processors` threads. The target never closes `fd`.
    virtual Expected<std::unique_ptr<FileTarget>> Open(int fd, const std::string& name,
                                                       const StreamFormat& format,
                                                       unsigned processors) const = 0;
};

}  // namespace rw
