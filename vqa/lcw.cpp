#include "vqa/lcw.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <type_traits>

namespace rw {
namespace {

// Room kept past the end of the output, so short copies can move whole 16-byte pieces and let the
// excess fall into bytes that later commands overwrite.
constexpr size_t kSlack = 64;

// Copies `count` bytes in 16-byte pieces; may write up to 15 bytes past the count.
inline void CopyPieces(uint8_t* dst, const uint8_t* src, size_t count) {
    for (size_t i = 0; i < count; i += 16) std::memcpy(dst + i, src + i, 16);
}

// Moves 16 bytes, all read before any is written, so the ranges may overlap.
inline void Copy16(uint8_t* dst, const uint8_t* src) {
    uint8_t piece[16];
    std::memcpy(piece, src, 16);
    std::memcpy(dst, piece, 16);
}

// Writes `count` bytes of `value` in 16-byte pieces; may write up to 15 bytes past the count.
inline void FillPieces(uint8_t* dst, uint8_t value, size_t count) {
    for (size_t i = 0; i < count; i += 16) std::memset(dst + i, value, 16);
}

// Appends `count` bytes read from `source` onward, byte by byte in effect: when the source range
// reaches the current end, the bytes the copy has just written are read again, which repeats the
// last (end - source) bytes as a pattern. Requires source < end and room for count bytes plus the
// slack.
inline void CopyFromOutput(uint8_t* base, size_t end, size_t source, size_t count) {
    uint8_t* dst = base + end;
    const uint8_t* src = base + source;
    const size_t distance = end - source;
    if (distance >= 16) {
        // Each piece reads only bytes before its own destination, all of them final by then.
        if (count <= 64 || distance < count) {
            CopyPieces(dst, src, count);
        } else {
            std::memcpy(dst, src, count);
        }
        return;
    }
    if (distance == 1) {
        std::memset(dst, *src, count);
        return;
    }
    // The output from `source` on is periodic with period `distance`; copying whole periods from
    // `source` keeps each chunk clear of its own destination, and every chunk doubles what can be
    // copied next.
    size_t done = 0;
    while (done < count) {
        size_t chunk = std::min(count - done, distance + done);
        std::memcpy(dst + done, src, chunk);
        done += chunk;
    }
}

// The output is kept in a vector whose size runs ahead of the bytes produced (`length`), so that
// each command needs one capacity check; it is cut to `length` at the end. Growth is geometric.
class LcwOutput {
  public:
    explicit LcwOutput(size_t maxOutput, size_t inputSize) : m_max(maxOutput) {
        size_t guess = std::min<size_t>(std::max<size_t>(inputSize * 4, 4096), m_max);
        m_buffer.resize(guess + kSlack);
    }

    size_t Length() const { return m_length; }
    uint8_t* Data() { return m_buffer.data(); }

    // Makes room for `count` more bytes plus the slack; false when that would pass the limit.
    bool Reserve(size_t count) {
        if (count > m_max - m_length) return false;
        size_t needed = m_length + count + kSlack;
        if (needed > m_buffer.size()) Grow(needed);
        return true;
    }
    void SetLength(size_t length) { m_length = length; }

    // The length below which any command may add `count` bytes plus the slack without a check
    // of its own, growing the buffer when it runs short; 0 (no length is below it) when the limit
    // leaves no such room.
    size_t RoomBelow(size_t count) {
        if (count > m_max - m_length) return 0;
        if (m_length + count + kSlack > m_buffer.size()) Grow(m_length + count + kSlack);
        return std::min(m_buffer.size() - kSlack, m_max) - count + 1;
    }

    // The commands of the checked path, after Reserve(count).
    void Copy(size_t source, size_t count) {
        CopyFromOutput(m_buffer.data(), m_length, source, count);
        m_length += count;
    }
    // `in` holds at least 64 bytes from `src` on when `inputHasPieces`.
    void Literal(const uint8_t* src, size_t count, bool inputHasPieces) {
        if (inputHasPieces) {
            CopyPieces(m_buffer.data() + m_length, src, count);
        } else {
            std::memcpy(m_buffer.data() + m_length, src, count);
        }
        m_length += count;
    }
    void Fill(uint8_t value, size_t count) {
        std::memset(m_buffer.data() + m_length, value, count);
        m_length += count;
    }

    std::vector<uint8_t> Take() && {
        m_buffer.resize(m_length);
        return std::move(m_buffer);
    }

  private:
    void Grow(size_t needed) { m_buffer.resize(std::max(needed, m_buffer.size() * 2)); }

    std::vector<uint8_t> m_buffer;
    size_t m_length = 0;
    size_t m_max;
};

// Counts the bytes a stream unpacks to without producing them: the same commands, the same
// checks and the same limit, for callers that only need to know that a stream is whole.
class LcwCounter {
  public:
    explicit LcwCounter(size_t maxOutput) : m_max(maxOutput) {}

    size_t Length() const { return m_length; }
    bool Reserve(size_t count) const { return count <= m_max - m_length; }
    void Copy(size_t /*source*/, size_t count) { m_length += count; }
    void Literal(const uint8_t* /*src*/, size_t count, bool /*inputHasPieces*/) {
        m_length += count;
    }
    void Fill(uint8_t /*value*/, size_t count) { m_length += count; }

  private:
    size_t m_length = 0;
    size_t m_max;
};

// The commands that make up nearly all of a stream (relative and short absolute copies, literal
// runs, fills this short) produce at most this many bytes...
constexpr size_t kCommonMaxCount = 64;
// ...and read at most this many bytes of input: the command byte and a 63-byte literal run taken
// as four 16-byte pieces.
constexpr size_t kCommonMaxRead = 1 + 64;

// Runs the common commands from `pos` on while at least kCommonMaxRead bytes of input and room
// for kCommonMaxCount bytes of output (up to the limit, plus the slack) remain, so none of them
// needs a bounds check of its own. Stops at the first command it does not handle (the end, long
// fills and long copies, and any copy from a position not yet unpacked) and returns its position,
// for the checked path to take on with every test and message.
// Kept out of line: inlined into the checked loop, it ran about 10 % slower on pointer tables.
[[gnu::noinline]] size_t UnpackCommonCommands(const uint8_t* in, size_t inSize, size_t pos,
                                              LcwOutput& out) {
    if (inSize - pos < kCommonMaxRead) return pos;
    const size_t lastPos = inSize - kCommonMaxRead;
    const size_t lengthBelow = out.RoomBelow(kCommonMaxCount);
    uint8_t* const base = out.Data();
    size_t length = out.Length();

    while (pos <= lastPos && length < lengthBelow) {
        const uint8_t command = in[pos];
        uint8_t* const dst = base + length;
        if (command < 0x80) {
            const size_t count = static_cast<size_t>((command >> 4) & 0x07) + 3;
            const size_t distance = (static_cast<size_t>(command & 0x0F) << 8) | in[pos + 1];
            const size_t source = ((length & 0xFFFF) - distance) & 0xFFFF;
            if (source >= length) break;
            // One piece is enough when the copy does not reach into its own output.
            if (length - source >= count) {
                Copy16(dst, base + source);
            } else {
                CopyFromOutput(base, length, source, count);
            }
            length += count;
            pos += 2;
        } else if (command < 0xC0) {
            const size_t count = command & 0x3F;
            if (count == 0) break;
            Copy16(dst, in + pos + 1);
            if (count > 16) CopyPieces(dst + 16, in + pos + 17, count - 16);
            length += count;
            pos += 1 + count;
        } else if (command < 0xFE) {
            const size_t count = static_cast<size_t>(command & 0x3F) + 3;
            const size_t source = in[pos + 1] | (static_cast<size_t>(in[pos + 2]) << 8);
            if (source >= length) break;
            CopyFromOutput(base, length, source, count);
            length += count;
            pos += 3;
        } else if (command == 0xFE) {
            const size_t count = in[pos + 1] | (static_cast<size_t>(in[pos + 2]) << 8);
            if (count > kCommonMaxCount) break;
            FillPieces(dst, in[pos + 3], count);
            length += count;
            pos += 4;
        } else {
            break;
        }
    }
    out.SetLength(length);
    return pos;
}

Error Fail(const std::string& what, size_t at) {
    return Error{"LCW data is damaged at byte " + std::to_string(at) + ": " + what};
}

Error CopyFails(size_t at, size_t source, size_t length) {
    return Fail("a copy reads from position " + std::to_string(source) + " but only " +
                    std::to_string(length) + " bytes are unpacked",
                at);
}

Error TooLong(size_t at, size_t maxOutput) {
    return Fail("the unpacked data would exceed " + std::to_string(maxOutput) + " bytes", at);
}

// Where copies take their source: the 8-bit files' 16-bit positions, or positions counted back from
// the current end of the output (for outputs past 64 KiB).
enum class CopySources { Ordinary, BackCounted };

// Turns `value` bytes back from `length` into a position; false (and `value` kept) when that would
// lie before the start of the output, or at its end.
inline bool CountBack(size_t& value, size_t length) {
    if (value == 0 || value > length) return false;
    value = length - value;
    return true;
}

Error BackFails(size_t at, size_t back, size_t length) {
    return Fail("a copy reads from " + std::to_string(back) + " bytes back but only " +
                    std::to_string(length) + " bytes are unpacked",
                at);
}

// Runs the commands of `input` into `out` (an LcwOutput or an LcwCounter) up to the end command.
template <CopySources kSources = CopySources::Ordinary, typename Output>
Expected<void> RunLcw(std::span<const uint8_t> input, size_t maxOutput, Output& out) {
    constexpr bool kBack = kSources == CopySources::BackCounted;
    const uint8_t* in = input.data();
    const size_t inSize = input.size();
    size_t pos = 0;

    while (pos < inSize) {
        if constexpr (std::is_same_v<Output, LcwOutput> && !kBack) {
            pos = UnpackCommonCommands(in, inSize, pos, out);
        }
        // The command at `pos` (if any) is taken with every check, one command at a time.
        if (pos >= inSize) break;
        const size_t at = pos;
        const uint8_t command = in[pos];

        if ((command & 0x80) == 0) {
            // Relative copy: 3..10 bytes from up to 4095 bytes back, counted in 16 bits.
            if (inSize - pos < 2) break;
            size_t count = static_cast<size_t>((command >> 4) & 0x07) + 3;
            size_t distance = (static_cast<size_t>(command & 0x0F) << 8) | in[pos + 1];
            pos += 2;
            size_t length = out.Length();
            size_t source = kBack ? distance : ((length & 0xFFFF) - distance) & 0xFFFF;
            if (kBack && !CountBack(source, length)) return BackFails(at, distance, length);
            if (source >= length) return CopyFails(at, source, length);
            if (!out.Reserve(count)) return TooLong(at, maxOutput);
            out.Copy(source, count);
        } else if ((command & 0x40) == 0) {
            // 0x80 ends the stream; 0x81..0xBF is a literal run of 1..63 bytes.
            size_t count = command & 0x3F;
            if (count == 0) return {};
            if (inSize - pos - 1 < count) break;
            if (!out.Reserve(count)) return TooLong(at, maxOutput);
            out.Literal(in + pos + 1, count, inSize - pos - 1 >= 64);
            pos += 1 + count;
        } else if (command < 0xFE) {
            // Short absolute copy: 3..64 bytes from a 16-bit position.
            if (inSize - pos < 3) break;
            size_t count = static_cast<size_t>(command & 0x3F) + 3;
            size_t source = in[pos + 1] | (static_cast<size_t>(in[pos + 2]) << 8);
            pos += 3;
            size_t length = out.Length();
            if (kBack && !CountBack(source, length)) return BackFails(at, source, length);
            if (source >= length) return CopyFails(at, source, length);
            if (!out.Reserve(count)) return TooLong(at, maxOutput);
            out.Copy(source, count);
        } else if (command == 0xFE) {
            // Fill: a 16-bit count of one value.
            if (inSize - pos < 4) break;
            size_t count = in[pos + 1] | (static_cast<size_t>(in[pos + 2]) << 8);
            uint8_t value = in[pos + 3];
            pos += 4;
            if (!out.Reserve(count)) return TooLong(at, maxOutput);
            out.Fill(value, count);
        } else {
            // Long absolute copy: a 16-bit count from a 16-bit position.
            if (inSize - pos < 5) break;
            size_t count = in[pos + 1] | (static_cast<size_t>(in[pos + 2]) << 8);
            size_t source = in[pos + 3] | (static_cast<size_t>(in[pos + 4]) << 8);
            pos += 5;
            if (count == 0) continue;
            size_t length = out.Length();
            if (kBack && !CountBack(source, length)) return BackFails(at, source, length);
            if (source >= length) return CopyFails(at, source, length);
            if (!out.Reserve(count)) return TooLong(at, maxOutput);
            out.Copy(source, count);
        }
    }
    if (pos < inSize) return Fail("the command's operands run past the end of the data", pos);
    return Error{"LCW data is damaged: it ends after " + std::to_string(inSize) +
                 " bytes without an end command"};
}

}  // namespace

Expected<std::vector<uint8_t>> DecompressLcw(std::span<const uint8_t> input, size_t maxOutput) {
    LcwOutput out(maxOutput, input.size());
    if (auto r = RunLcw(input, maxOutput, out); !r) return r.error();
    return std::move(out).Take();
}

Expected<std::vector<uint8_t>> DecompressLcwBackCounted(std::span<const uint8_t> input,
                                                        size_t maxOutput) {
    LcwOutput out(maxOutput, input.size());
    if (auto r = RunLcw<CopySources::BackCounted>(input, maxOutput, out); !r) return r.error();
    return std::move(out).Take();
}

Expected<size_t> CheckLcw(std::span<const uint8_t> input, size_t maxOutput) {
    LcwCounter counter(maxOutput);
    if (auto r = RunLcw(input, maxOutput, counter); !r) return r.error();
    return counter.Length();
}

}  // namespace rw
