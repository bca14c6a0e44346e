// The command line's other outputs besides AVI files: every frame as a PNG picture with the sound
// as a WAV file (--frames), and one picture for file managers (--thumbnail).
#pragma once

#include <atomic>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "mix/mix_names.h"
#include "platform/expected.h"

namespace rw::cli {

inline constexpr int kDefaultThumbnailSize = 256;

struct ExportOptions {
    std::string framesFolder;  // --frames DIR
    std::string thumbnail;     // --thumbnail OUT.png
    std::string entry;         // --entry NAME|NUMBER: the video inside an archive
    int size = kDefaultThumbnailSize;
    bool sizeGiven = false;
    bool force = false;
    bool Any() const { return !framesFolder.empty() || !thumbnail.empty(); }
};

// Takes args[i] when it is one of these options, with its value (i then points at the value).
// Nothing when args[i] is not one of them.
std::optional<Expected<void>> ParseExportOption(std::span<const std::string> args, size_t& i,
                                                ExportOptions& options);
// Checks the options together with the inputs: one mode, one VQA file.
Expected<void> CheckExportOptions(const ExportOptions& options,
                                  const std::vector<std::string>& inputs, bool info);

// Runs the mode for one file, or one entry of an archive (`names` name it in messages); returns the
// exit status (0, 1, or 130 when interrupted).
int RunExport(const ExportOptions& options, const std::string& input,
              const std::atomic<bool>& interrupted, const MixNames* names = nullptr);

// The lines --help shows for these options.
std::string ExportHelpText();

}  // namespace rw::cli
