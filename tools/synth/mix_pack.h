// Builds MIX archives in memory for tests and benchmarks: files of any id packed back to back
// behind the product's table of contents, in the classic layout or the later one with a flags word
// and slack after the data.
#pragma once

#include <cstdint>
#include <vector>

namespace rw::synth {

struct MixFile {
    uint32_t id = 0;
    std::vector<uint8_t> bytes;
};

struct MixPackOptions {
    bool extended = false;  // the later layout: a zero, a flags word, then the classic header
    uint16_t flags = 0;     // of the later layout: 1 checksum follows, 2 encrypted table
    uint32_t slack = 0;     // extra bytes at the end of the data area
};

// The archive's bytes: the table sorted by id as a signed number, the files in the order given.
// Ids need not be unique.
std::vector<uint8_t> PackMix(const std::vector<MixFile>& files, const MixPackOptions& options = {});

}  // namespace rw::synth
