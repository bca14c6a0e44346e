#include "vqa/hc_codebook.h"

#include <algorithm>
#include <string>

#include "vqa/hc_properties.h"
#include "vqa/lcw.h"

namespace rw {

Expected<void> DecodeHighColourCodebook(std::span<const uint8_t> cbfz, int32_t blockWidth,
                                        int32_t blockHeight, HighColourCodebook& codebook) {
    if (blockWidth < 1 || blockHeight < 1) return Error{"a codebook for blocks of no size"};
    const size_t pixels = static_cast<size_t>(blockWidth) * static_cast<size_t>(blockHeight);
    // Output beyond the entries a table can reach is refused, within LCW's own limit.
    const size_t maxOutput =
        std::min(pixels * 2 * static_cast<size_t>(kMaxHighColourEntries), kLcwDefaultMaxOutput);
    const bool backCounted = !cbfz.empty() && cbfz[0] == 0;
    auto raw = backCounted ? DecompressLcwBackCounted(cbfz.subspan(1), maxOutput)
                           : DecompressLcw(cbfz, maxOutput);
    if (!raw) return Error{"the codebook cannot be unpacked: " + raw.error().message};
    const size_t entries = raw->size() / (pixels * 2);
    if (entries == 0) {
        return Error{"the codebook holds " + std::to_string(raw->size()) +
                     " bytes, not one whole entry"};
    }
    codebook.entries = static_cast<int32_t>(entries);
    codebook.entryBytes = pixels * 3;
    codebook.bgr.resize(entries * pixels * 3);
    const uint8_t* in = raw->data();
    uint8_t* out = codebook.bgr.data();
    for (size_t i = 0; i < entries * pixels; ++i, in += 2, out += 3) {
        HighColourToBgr(static_cast<uint16_t>(in[0] | (in[1] << 8)), out);
    }
    return {};
}

}  // namespace rw
