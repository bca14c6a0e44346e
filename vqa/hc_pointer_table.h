// High-colour pointer tables (VPTR, VPRZ unpacked): commands that skip blocks or draw codebook
// entries into them, in reading order.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace rw {

// A block that the table leaves as it was.
inline constexpr int32_t kKeepBlock = -1;

struct PointerTableResult {
    bool damaged = false;
    std::string damage;  // what was wrong, and at which byte of the table
};

// Runs the commands of `table` over `entries` (one per block, left to right, then row by row from
// the top, all kKeepBlock on entry), setting each drawn block to its entry number. Each command
// starts with a 16-bit little-endian word W; its top three bits select it:
//   000 skip W & 0x1FFF blocks          001 draw entry W & 0xFF ((W >> 8 & 0x1F) + 1) * 2 times
//   010 draw entry W & 0xFF, then ((W >> 8 & 0x1F) + 1) * 2 entries given one byte each
//   011 draw entry W & 0x1FFF once      101 draw entry W & 0x1FFF N times, N the next byte
// Damage (an unknown command, one that would pass the last block, an entry number at or past
// `codebookEntries`, a table ending inside a command) stops the table at that command, which draws
// nothing: every block from there on is kept. A table that ends early keeps the rest.
PointerTableResult DecodePointerTable(std::span<const uint8_t> table, int32_t codebookEntries,
                                      std::span<int32_t> entries);

}  // namespace rw
