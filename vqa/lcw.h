// LCW decompression: literal runs, fills and copies from earlier output, ended by the command 0x80.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "platform/expected.h"

namespace rw {

// Largest output a single stream may produce unless the caller asks for less.
inline constexpr size_t kLcwDefaultMaxOutput = size_t{64} << 20;

// Unpacks one LCW stream. Reading is bounded by `input` (the payload the caller knows): a stream
// without an end command inside it, a copy from at or past the current output length, or output
// beyond `maxOutput` is an error, never an out-of-bounds access. Source positions are 16-bit:
// relative copies count back from the low 16 bits of the output length, absolute copies reach
// only the first 65536 bytes. Copies run byte by byte, so overlapping copies repeat their output.
Expected<std::vector<uint8_t>> DecompressLcw(std::span<const uint8_t> input,
                                             size_t maxOutput = kLcwDefaultMaxOutput);

// The variant for outputs larger than 64 KiB: every copy takes its source counted back from the
// current output length, with no 16-bit wrap. Absolute copies read from (length - P) for their
// two-byte position P, relative copies from (length - distance). Literal runs, fills and the end
// command are as in DecompressLcw, and so are the limits and the errors: a source before the start
// of the output is damage.
Expected<std::vector<uint8_t>> DecompressLcwBackCounted(std::span<const uint8_t> input,
                                                        size_t maxOutput = kLcwDefaultMaxOutput);

// What DecompressLcw would say of `input` without unpacking it: the unpacked length, or the same
// error. For callers that must know a stream is whole but have no use for its bytes.
Expected<size_t> CheckLcw(std::span<const uint8_t> input, size_t maxOutput = kLcwDefaultMaxOutput);

}  // namespace rw
