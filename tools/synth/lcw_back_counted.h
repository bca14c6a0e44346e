// LCW compression in the back-counted form of high-colour codebooks: every copy names its source
// as a distance back from the current end of the output, so copies reach past the first 64 KiB.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace rw::synth {

// A back-counted LCW stream that unpacks to `data`, ended by 0x80 (without the leading 0 byte a
// CBFZ sub-chunk puts before it). Greedy, with a hash chain over three-byte prefixes; uses every
// command: literal runs, fills, relative copies (up to 4095 back), short and long copies (up to
// 65535 back).
std::vector<uint8_t> CompressLcwBackCounted(std::span<const uint8_t> data);

}  // namespace rw::synth
