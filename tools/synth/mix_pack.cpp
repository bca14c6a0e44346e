#include "tools/synth/mix_pack.h"

#include <stdexcept>
#include <string>

#include "mix/mix_writer.h"

namespace rw::synth {
namespace {

void Put(std::vector<uint8_t>& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

}  // namespace

std::vector<uint8_t> PackMix(const std::vector<MixFile>& files, const MixPackOptions& options) {
    std::vector<MixMember> members;
    uint64_t dataSize = options.slack;
    for (const MixFile& f : files) {
        members.push_back({"file " + std::to_string(members.size() + 1),
                           f.id,
                           static_cast<int64_t>(f.bytes.size()),
                           {},
                           0});
        dataSize += f.bytes.size();
    }
    if (files.size() > kMaxMixFiles) throw std::invalid_argument("a MIX archive holds 65535 files");
    if (dataSize > uint64_t{kMaxMixDataBytes}) {
        throw std::invalid_argument("a MIX archive holds 4 GiB of data");
    }
    std::vector<uint8_t> out;
    if (options.extended) {
        Put(out, 0, 2);
        Put(out, options.flags, 2);
    }
    const size_t sizeField = out.size() + 2;
    const std::vector<uint8_t> table = MixTableBytes(members);
    out.insert(out.end(), table.begin(), table.end());
    for (int i = 0; i < 4; ++i) out[sizeField + i] = static_cast<uint8_t>(dataSize >> (8 * i));
    for (const MixFile& f : files) out.insert(out.end(), f.bytes.begin(), f.bytes.end());
    out.resize(out.size() + options.slack, 0);
    if (options.extended && (options.flags & 1) != 0) out.resize(out.size() + 20, 0);
    return out;
}

}  // namespace rw::synth
