// LCW compression: greedy, with a hash chain over three-byte prefixes.
#include "encode/lcw_compress.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace rw {
namespace {

constexpr size_t kWindow = 65536;  // copies reach only the first 64 KiB of output
constexpr size_t kMaxRelDistance = 4095;
constexpr size_t kMaxRelCount = 10;
constexpr size_t kMaxShortCount = 64;
constexpr size_t kMaxLongCount = 65535;  // also the longest fill
constexpr size_t kMaxLiteralRun = 63;
constexpr int kChainDepth = 24;
constexpr int kHashBits = 15;

uint32_t Hash3(const uint8_t* p) {
    uint32_t v = uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16);
    return (v * 2654435761u) >> (32 - kHashBits);
}

// The 12-bit distance a relative copy needs at output length `at` to read from `source`, or 0 when
// it cannot: the source is counted from the low 16 bits of the output length.
size_t RelativeDistance(size_t at, size_t source) {
    size_t d = ((at & 0xFFFF) - source) & 0xFFFF;
    return (d >= 1 && d <= kMaxRelDistance) ? d : 0;
}

class LcwWriter {
  public:
    explicit LcwWriter(std::span<const uint8_t> data) : m_data(data) {}

    void Literal(size_t at) {
        if (m_literalCount == 0) m_literalStart = at;
        if (++m_literalCount == kMaxLiteralRun) FlushLiterals();
    }
    void FlushLiterals() {
        if (m_literalCount == 0) return;
        m_out.push_back(static_cast<uint8_t>(0x80 | m_literalCount));
        m_out.insert(m_out.end(), m_data.begin() + static_cast<ptrdiff_t>(m_literalStart),
                     m_data.begin() + static_cast<ptrdiff_t>(m_literalStart + m_literalCount));
        m_literalCount = 0;
    }
    void Fill(size_t count, uint8_t value) {
        FlushLiterals();
        m_out.insert(m_out.end(),
                     {0xFE, static_cast<uint8_t>(count), static_cast<uint8_t>(count >> 8), value});
    }
    void Relative(size_t count, size_t distance) {
        FlushLiterals();
        m_out.push_back(static_cast<uint8_t>(((count - 3) << 4) | (distance >> 8)));
        m_out.push_back(static_cast<uint8_t>(distance));
    }
    void ShortAbsolute(size_t count, size_t source) {
        FlushLiterals();
        m_out.insert(m_out.end(),
                     {static_cast<uint8_t>(0xC0 | (count - 3)), static_cast<uint8_t>(source),
                      static_cast<uint8_t>(source >> 8)});
    }
    void LongAbsolute(size_t count, size_t source) {
        FlushLiterals();
        m_out.insert(m_out.end(),
                     {0xFF, static_cast<uint8_t>(count), static_cast<uint8_t>(count >> 8),
                      static_cast<uint8_t>(source), static_cast<uint8_t>(source >> 8)});
    }
    std::vector<uint8_t> Finish() {
        FlushLiterals();
        m_out.push_back(0x80);
        return std::move(m_out);
    }

  private:
    std::span<const uint8_t> m_data;
    std::vector<uint8_t> m_out;
    size_t m_literalStart = 0;
    size_t m_literalCount = 0;
};

// One way to cover the bytes at the current position.
struct Choice {
    enum Kind { None, Fill, Relative, ShortAbsolute, LongAbsolute } kind = None;
    size_t count = 0;
    size_t arg = 0;  // distance or source position
    long Saving() const {
        static constexpr long kCost[] = {0, 4, 2, 3, 5};
        return kind == None ? 0 : static_cast<long>(count) - kCost[kind];
    }
};

}  // namespace

std::vector<uint8_t> CompressLcw(std::span<const uint8_t> data) {
    const size_t size = data.size();
    LcwWriter writer(data);
    std::vector<int32_t> head(size_t{1} << kHashBits, -1);
    std::vector<int32_t> chain(std::min(size, kWindow), -1);

    size_t inserted = 0;  // positions below this are in the hash chain
    auto insertUpTo = [&](size_t end) {
        end = std::min({end, kWindow, size >= 2 ? size - 2 : 0});
        for (; inserted < end; ++inserted) {
            uint32_t h = Hash3(&data[inserted]);
            chain[inserted] = head[h];
            head[h] = static_cast<int32_t>(inserted);
        }
    };

    size_t at = 0;
    while (at < size) {
        insertUpTo(at);
        const size_t remaining = size - at;
        Choice best;

        size_t run = 1;
        while (run < remaining && run < kMaxLongCount && data[at + run] == data[at]) ++run;
        if (run >= 5) best = Choice{Choice::Fill, run, data[at]};

        if (remaining >= 3) {
            int depth = kChainDepth;
            for (int32_t cand = head[Hash3(&data[at])]; cand >= 0 && depth-- > 0;
                 cand = chain[static_cast<size_t>(cand)]) {
                const auto source = static_cast<size_t>(cand);
                const size_t limit = std::min(remaining, kMaxLongCount);
                size_t len = 0;
                while (len < limit && data[source + len] == data[at + len]) ++len;
                if (len < 3) continue;
                Choice c;
                if (size_t d = RelativeDistance(at, source); d != 0) {
                    c = Choice{Choice::Relative, std::min(len, kMaxRelCount), d};
                }
                Choice a = len <= kMaxShortCount ? Choice{Choice::ShortAbsolute, len, source}
                                                 : Choice{Choice::LongAbsolute, len, source};
                if (a.Saving() > c.Saving()) c = a;
                if (c.Saving() > best.Saving()) best = c;
            }
        }

        if (best.Saving() <= 0) {
            writer.Literal(at);
            ++at;
            continue;
        }
        switch (best.kind) {
            case Choice::Fill:
                writer.Fill(best.count, data[at]);
                break;
            case Choice::Relative:
                writer.Relative(best.count, best.arg);
                break;
            case Choice::ShortAbsolute:
                writer.ShortAbsolute(best.count, best.arg);
                break;
            case Choice::LongAbsolute:
                writer.LongAbsolute(best.count, best.arg);
                break;
            case Choice::None:
                break;
        }
        at += best.count;
    }
    return writer.Finish();
}

}  // namespace rw
