// LCW decompression on arbitrary bytes: never reads outside the input or the output, never
// produces more than the limit, and on success returns exactly the bytes a plain byte-by-byte
// reading of the commands gives. CheckLcw gives the same length or the same message. The same
// bytes are unpacked in the back-counted form too, against its own plain reading.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "vqa/lcw.h"

namespace {

// Past 64 KiB, so copies that count positions in 16 bits are reached, and small enough to stay
// fast.
constexpr size_t kLimit = size_t{1} << 17;

// The commands executed one byte at a time, with every check spelt out; false on any breach.
// Back-counted: copy sources are counted back from the current length.
class PlainLcw {
  public:
    explicit PlainLcw(bool backCounted) : m_out(kLimit), m_back(backCounted) {}

    bool Run(std::span<const uint8_t> in) {
        m_length = 0;
        size_t p = 0;
        while (p < in.size()) {
            const uint8_t c = in[p];
            if (c < 0x80) {
                if (in.size() - p < 2) return false;
                const size_t distance = (size_t{c & 0x0Fu} << 8) | in[p + 1];
                const size_t source =
                    m_back ? Back(distance) : ((m_length & 0xFFFF) - distance) & 0xFFFF;
                if (!Copy(source, ((c >> 4) & 7u) + 3u)) return false;
                p += 2;
            } else if (c == 0x80) {
                return true;
            } else if (c < 0xC0) {
                const size_t n = c & 0x3Fu;
                if (in.size() - p - 1 < n) return false;
                for (size_t k = 0; k < n; ++k) {
                    if (!Put(in[p + 1 + k])) return false;
                }
                p += 1 + n;
            } else if (c < 0xFE) {
                if (in.size() - p < 3) return false;
                if (!Copy(Absolute(in[p + 1] | (size_t{in[p + 2]} << 8)), (c & 0x3Fu) + 3u)) {
                    return false;
                }
                p += 3;
            } else if (c == 0xFE) {
                if (in.size() - p < 4) return false;
                const size_t n = in[p + 1] | (size_t{in[p + 2]} << 8);
                for (size_t k = 0; k < n; ++k) {
                    if (!Put(in[p + 3])) return false;
                }
                p += 4;
            } else {
                if (in.size() - p < 5) return false;
                const size_t n = in[p + 1] | (size_t{in[p + 2]} << 8);
                if (n > 0 && !Copy(Absolute(in[p + 3] | (size_t{in[p + 4]} << 8)), n)) return false;
                p += 5;
            }
        }
        return false;
    }
    std::span<const uint8_t> Output() const { return std::span(m_out).first(m_length); }

  private:
    // A position counted back from the length; one before the start gives the length (no source).
    size_t Back(size_t value) const { return value > m_length ? m_length : m_length - value; }
    size_t Absolute(size_t position) const { return m_back ? Back(position) : position; }
    bool Put(uint8_t b) {
        if (m_length >= kLimit) return false;
        m_out[m_length++] = b;
        return true;
    }
    // Byte by byte, so a source range reaching the end repeats what this copy has just written.
    bool Copy(size_t source, size_t count) {
        if (source >= m_length) return false;
        for (size_t k = 0; k < count; ++k) {
            if (!Put(m_out[source + k])) return false;
        }
        return true;
    }

    std::vector<uint8_t> m_out;
    bool m_back;
    size_t m_length = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const uint8_t> input(data, size);
    auto fast = rw::DecompressLcw(input, kLimit);
    static PlainLcw plain(false);
    const bool plainOk = plain.Run(input);
    if (fast.ok() != plainOk) std::abort();
    if (fast.ok() &&
        !std::equal(fast->begin(), fast->end(), plain.Output().begin(), plain.Output().end())) {
        std::abort();
    }
    auto checked = rw::CheckLcw(input, kLimit);
    if (checked.ok() != fast.ok()) std::abort();
    if (checked.ok() && *checked != fast->size()) std::abort();
    if (!checked.ok() && checked.error().message != fast.error().message) std::abort();

    auto back = rw::DecompressLcwBackCounted(input, kLimit);
    static PlainLcw plainBack(true);
    if (back.ok() != plainBack.Run(input)) std::abort();
    if (back.ok() && !std::equal(back->begin(), back->end(), plainBack.Output().begin(),
                                 plainBack.Output().end())) {
        std::abort();
    }
    return 0;
}
