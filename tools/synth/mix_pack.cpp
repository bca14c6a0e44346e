#include "tools/synth/mix_pack.h"

#include <algorithm>
#include <cctype>
#include <stdexcept>

namespace rw::synth {
namespace {

void Put(std::vector<uint8_t>& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

}  // namespace

std::vector<uint8_t> PackMix(const std::vector<MixFile>& files, const MixPackOptions& options) {
    if (files.size() > 0xFFFF) throw std::invalid_argument("a MIX archive holds 65535 files");
    struct Placed {
        uint32_t id, offset, length;
    };
    std::vector<Placed> table;
    uint64_t offset = 0;
    for (const MixFile& f : files) {
        table.push_back(
            {f.id, static_cast<uint32_t>(offset), static_cast<uint32_t>(f.bytes.size())});
        offset += f.bytes.size();
    }
    const uint64_t dataSize = offset + options.slack;
    if (dataSize > 0xFFFFFFFFu) throw std::invalid_argument("a MIX archive holds 4 GiB of data");
    std::sort(table.begin(), table.end(), [](const Placed& a, const Placed& b) {
        return static_cast<int32_t>(a.id) < static_cast<int32_t>(b.id);
    });
    std::vector<uint8_t> out;
    if (options.extended) {
        Put(out, 0, 2);
        Put(out, options.flags, 2);
    }
    Put(out, static_cast<uint32_t>(files.size()), 2);
    Put(out, static_cast<uint32_t>(dataSize), 4);
    for (const Placed& p : table) {
        Put(out, p.id, 4);
        Put(out, p.offset, 4);
        Put(out, p.length, 4);
    }
    for (const MixFile& f : files) out.insert(out.end(), f.bytes.begin(), f.bytes.end());
    out.resize(out.size() + options.slack, 0);
    if (options.extended && (options.flags & 1) != 0) out.resize(out.size() + 20, 0);
    return out;
}

uint32_t MixIdForName(const std::string& name) {
    uint32_t hash = 2166136261u;
    for (unsigned char c : name) {
        hash ^= static_cast<uint8_t>(std::toupper(c));
        hash *= 16777619u;
    }
    return hash;
}

}  // namespace rw::synth
