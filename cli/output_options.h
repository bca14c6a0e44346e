// The kind of file a conversion writes (--to) and the compressed formats' settings (--scale,
// --square-pixels, --quality).
#pragma once

#include <optional>

#include "compressed/compressed_writer.h"

namespace rw::cli {

struct OutputOptions {
    std::optional<CompressedFormat> format;  // --to FORMAT; none: the AVI file
    CompressedSettings settings;             // scale and quality 0 / -1: the format's default
};

}  // namespace rw::cli
