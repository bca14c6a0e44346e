#include "tools/synth/mix_pack.h"

#include <stdexcept>
#include <string>
#include <utility>

#include "mix/mix_writer.h"
#include "platform/byte_writer.h"

namespace rw::synth {

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
    ByteWriter out;
    if (options.extended) {
        out.U16Le(0);
        out.U16Le(options.flags);
    }
    const size_t sizeField = out.Size() + 2;
    out.Data(MixTableBytes(members));
    out.PutU32LeAt(sizeField, static_cast<uint32_t>(dataSize));
    for (const MixFile& f : files) out.Data(f.bytes);
    out.Zeros(options.slack);
    if (options.extended && (options.flags & 1) != 0) out.Zeros(20);
    return std::move(out.bytes);
}

}  // namespace rw::synth
