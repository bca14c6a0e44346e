// The kind of file a conversion writes (--to) and the compressed formats' settings (--scale,
// --square-pixels, --quality).
#pragma once

#include <optional>
#include <span>
#include <string>

#include "compressed/compressed_writer.h"
#include "platform/expected.h"

namespace rw::cli {

struct OutputOptions {
    std::optional<CompressedFormat> format;  // --to FORMAT; none: the AVI file
    CompressedSettings settings;             // scale and quality 0 / -1: the format's default
    bool scaleGiven = false, squareGiven = false, qualityGiven = false;
};

// Takes args[i] when it is one of these options, with its value (i then points at the value).
// Nothing when args[i] is not one of them.
std::optional<Expected<void>> ParseOutputOption(std::span<const std::string> args, size_t& i,
                                                OutputOptions& options);
// Checks the values against the chosen format: a quality within its range, and none for mkv.
Expected<void> CheckOutputOptions(const OutputOptions& options);

// The lines --help shows for these options, with each format's defaults.
std::string OutputHelpText();

}  // namespace rw::cli
