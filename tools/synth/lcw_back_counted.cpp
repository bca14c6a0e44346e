#include "tools/synth/lcw_back_counted.h"

#include <algorithm>

namespace rw::synth {
namespace {

constexpr size_t kWindow = 65535;
constexpr size_t kMaxCount = 65535;
constexpr int kChainDepth = 48;
constexpr size_t kHashSize = size_t{1} << 16;

struct Match {
    size_t length = 0;
    size_t distance = 0;
};

class Packer {
  public:
    explicit Packer(std::span<const uint8_t> data)
        : m_data(data), m_head(kHashSize, -1), m_prev(data.size(), -1) {}

    std::vector<uint8_t> Run() {
        size_t pos = 0;
        while (pos < m_data.size()) {
            const size_t run = RunAt(pos);
            const Match m = BestMatch(pos);
            if (run >= 4 && run >= m.length) {
                Flush(pos);
                Put({0xFE, Lo(run), Hi(run), m_data[pos]});
                Advance(pos, run);
                m_literalFrom = pos;
            } else if (m.length >= 3) {
                Flush(pos);
                PutCopy(m);
                Advance(pos, m.length);
                m_literalFrom = pos;
            } else {
                Advance(pos, 1);
            }
        }
        Flush(pos);
        m_out.push_back(0x80);
        return std::move(m_out);
    }

  private:
    static uint8_t Lo(size_t v) { return static_cast<uint8_t>(v); }
    static uint8_t Hi(size_t v) { return static_cast<uint8_t>(v >> 8); }
    void Put(std::initializer_list<uint8_t> bytes) { m_out.insert(m_out.end(), bytes); }

    size_t Hash(size_t pos) const {
        return ((size_t{m_data[pos]} << 8) ^ (size_t{m_data[pos + 1]} << 4) ^ m_data[pos + 2] ^
                (size_t{m_data[pos + 2]} << 11)) &
               (kHashSize - 1);
    }
    void Advance(size_t& pos, size_t count) {
        for (size_t end = pos + count; pos < end; ++pos) {
            if (pos + 2 >= m_data.size()) continue;
            const size_t h = Hash(pos);
            m_prev[pos] = m_head[h];
            m_head[h] = static_cast<int64_t>(pos);
        }
    }
    size_t RunAt(size_t pos) const {
        size_t n = 1;
        while (pos + n < m_data.size() && n < kMaxCount && m_data[pos + n] == m_data[pos]) ++n;
        return n;
    }
    Match BestMatch(size_t pos) const {
        Match best;
        if (pos + 2 >= m_data.size()) return best;
        const size_t limit = std::min(m_data.size() - pos, kMaxCount);
        int64_t candidate = m_head[Hash(pos)];
        for (int depth = 0; candidate >= 0 && depth < kChainDepth; ++depth) {
            const auto from = static_cast<size_t>(candidate);
            if (pos - from > kWindow) break;
            size_t n = 0;
            while (n < limit && m_data[from + n] == m_data[pos + n]) ++n;
            if (n > best.length) best = {n, pos - from};
            candidate = m_prev[from];
        }
        return best;
    }
    void PutCopy(const Match& m) {
        if (m.distance <= 4095 && m.length <= 10) {
            Put({static_cast<uint8_t>(((m.length - 3) << 4) | (m.distance >> 8)), Lo(m.distance)});
        } else if (m.length <= 64) {
            Put({static_cast<uint8_t>(0xC0 | (m.length - 3)), Lo(m.distance), Hi(m.distance)});
        } else {
            Put({0xFF, Lo(m.length), Hi(m.length), Lo(m.distance), Hi(m.distance)});
        }
    }
    // Writes the bytes from the last command up to `pos` as literal runs of up to 63 bytes.
    void Flush(size_t pos) {
        while (m_literalFrom < pos) {
            const size_t n = std::min<size_t>(pos - m_literalFrom, 63);
            m_out.push_back(static_cast<uint8_t>(0x80 | n));
            m_out.insert(m_out.end(), m_data.begin() + static_cast<ptrdiff_t>(m_literalFrom),
                         m_data.begin() + static_cast<ptrdiff_t>(m_literalFrom + n));
            m_literalFrom += n;
        }
    }

    std::span<const uint8_t> m_data;
    std::vector<int64_t> m_head;
    std::vector<int64_t> m_prev;
    std::vector<uint8_t> m_out;
    size_t m_literalFrom = 0;
};

}  // namespace

std::vector<uint8_t> CompressLcwBackCounted(std::span<const uint8_t> data) {
    return Packer(data).Run();
}

}  // namespace rw::synth
