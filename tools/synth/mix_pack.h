// Builds MIX archives for tests, benchmarks and demos: files packed back to back behind a table of
// contents, in the classic layout or the later one with a flags word.
#pragma once

#include <cstdint>
#include <string>
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
std::vector<uint8_t> PackMix(const std::vector<MixFile>& files, const MixPackOptions& options = {});

// A stand-in id for a file name (FNV-1a of the name in capitals): not the game's, but stable.
uint32_t MixIdForName(const std::string& name);

}  // namespace rw::synth
