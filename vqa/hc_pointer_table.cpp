#include "vqa/hc_pointer_table.h"

#include <algorithm>

#include "platform/byte_reader.h"

namespace rw {
namespace {

// Commands go on past the end of a row at the start of the next one (reading order): blocks are
// one sequence, so no command loses blocks at a row end.
class TableRun {
  public:
    TableRun(std::span<const uint8_t> table, int32_t codebookEntries, std::span<int32_t> entries)
        : m_in(table), m_limit(codebookEntries), m_entries(entries) {}

    PointerTableResult Run() {
        while (m_in.Remaining() > 0) {
            m_commandAt = m_in.Position();
            if (!Step()) return m_result;
        }
        return m_result;
    }

  private:
    bool Step() {
        auto word = m_in.U16Le();
        if (!word) return Fail("the table ends inside a command");
        const uint32_t w = *word;
        const uint32_t low8 = w & 0xFF, low13 = w & 0x1FFF;
        const size_t pairs = (((w >> 8) & 0x1F) + 1) * 2;
        switch (w >> 13) {
            case 0:
                return Skip(low13);
            case 1:
                return Repeat(low8, pairs);
            case 2:
                return List(low8, pairs);
            case 3:
                return Repeat(low13, 1);
            case 5: {
                auto n = m_in.U8();
                if (!n) return Fail("the table ends inside a command");
                return Repeat(low13, *n);
            }
            default:
                return Fail("unknown command " + std::to_string(w >> 13));
        }
    }

    bool Fits(size_t count) {
        if (count <= m_entries.size() - m_block) return true;
        return Fail("the command passes the last block");
    }
    bool InCodebook(uint32_t entry) {
        if (entry < static_cast<uint32_t>(m_limit)) return true;
        return Fail("entry " + std::to_string(entry) + " is past the codebook's " +
                    std::to_string(m_limit));
    }
    bool Skip(size_t count) {
        if (!Fits(count)) return false;
        m_block += count;
        return true;
    }
    bool Repeat(uint32_t entry, size_t count) {
        if (count == 0) return true;
        if (!Fits(count) || !InCodebook(entry)) return false;
        std::fill_n(m_entries.begin() + static_cast<ptrdiff_t>(m_block), count,
                    static_cast<int32_t>(entry));
        m_block += count;
        return true;
    }
    bool List(uint32_t first, size_t further) {
        auto bytes = m_in.Bytes(further);
        if (!bytes) return Fail("the table ends inside a command");
        if (!Fits(1 + further) || !InCodebook(first)) return false;
        for (uint8_t b : *bytes) {
            if (!InCodebook(b)) return false;
        }
        m_entries[m_block++] = static_cast<int32_t>(first);
        for (uint8_t b : *bytes) m_entries[m_block++] = b;
        return true;
    }
    bool Fail(const std::string& what) {
        m_result.damaged = true;
        m_result.damage = "pointer table damaged at byte " + std::to_string(m_commandAt) + ": " +
                          what + " (block " + std::to_string(m_block) + " of " +
                          std::to_string(m_entries.size()) + ")";
        return false;
    }

    ByteReader m_in;
    int32_t m_limit;
    std::span<int32_t> m_entries;
    size_t m_block = 0;
    size_t m_commandAt = 0;
    PointerTableResult m_result;
};

}  // namespace

PointerTableResult DecodePointerTable(std::span<const uint8_t> table, int32_t codebookEntries,
                                      std::span<int32_t> entries) {
    return TableRun(table, codebookEntries, entries).Run();
}

}  // namespace rw
