// The command line's other outputs besides AVI files: every frame as a PNG picture with the sound
// as a WAV file (--frames), and one picture for file managers (--thumbnail).
#pragma once

#include <string>

#include "cli/cli_console.h"
#include "mix/mix_names.h"

namespace rw::cli {

inline constexpr int kDefaultThumbnailSize = 256;

struct ExportOptions {
    std::string framesFolder;  // --frames DIR
    std::string thumbnail;     // --thumbnail OUT.png
    std::string entry;         // --entry NAME|NUMBER: the video inside an archive
    int size = kDefaultThumbnailSize;
    bool force = false;
};

// Runs the mode for one file, or one entry of an archive (`names` name it in messages); returns the
// exit status (0, 1, or 130 when interrupted). The outcome and the progress go to `console`.
int RunExport(const ExportOptions& options, const std::string& input, Console& console,
              const MixNames* names = nullptr);

}  // namespace rw::cli
