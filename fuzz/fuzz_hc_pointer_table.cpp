// High-colour pointer tables on arbitrary bytes.
//
// Input: the codebook's size (16-bit little-endian, up to 8192 entries), the number of blocks
// (16-bit little-endian), then the table. Every block ends either kept or drawn with an entry
// inside the codebook; damage always says where; and what a table drew before a cut or a damaged
// command stays.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "platform/byte_reader.h"
#include "vqa/hc_pointer_table.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    rw::ByteReader in(std::span<const uint8_t>(data, size));
    auto entries = in.U16Le();
    auto blocks = in.U16Le();
    if (!blocks) return 0;
    const int32_t codebook = std::min<int32_t>(*entries, 8192);
    const std::span<const uint8_t> table = std::span<const uint8_t>(data, size).subspan(4);

    std::vector<int32_t> drawn(*blocks, rw::kKeepBlock);
    const rw::PointerTableResult result = rw::DecodePointerTable(table, codebook, drawn);
    if (result.damaged == result.damage.empty()) std::abort();
    for (int32_t e : drawn) {
        if (e != rw::kKeepBlock && (e < 0 || e >= codebook)) std::abort();
    }

    // Commands never go back, so the table's first half (which may end inside a command: damage
    // there) draws nothing that the whole table does not draw the same way.
    std::vector<int32_t> half(*blocks, rw::kKeepBlock);
    (void)rw::DecodePointerTable(table.first(table.size() / 2), codebook, half);
    for (size_t b = 0; b < half.size(); ++b) {
        if (half[b] != rw::kKeepBlock && half[b] != drawn[b]) std::abort();
    }
    return 0;
}
