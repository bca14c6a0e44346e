// LCW compression: the inverse of vqa/lcw.h, greedy with a hash chain over three-byte prefixes.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace rw {

// An LCW stream that unpacks to `data`, ended by 0x80. Uses literal runs, fills, relative copies
// and short and long absolute copies as they pay off; past 64 KiB of output only the first
// 64 KiB can be copied from, and the stream respects that.
std::vector<uint8_t> CompressLcw(std::span<const uint8_t> data);

}  // namespace rw
