// A small, strict LCW unpacker for the synthesiser's tests, written apart from the project's reader
// so the two can be held against each other. It counts the commands it meets and refuses anything
// a well-formed stream must not contain.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace rw::synth::test {

enum LcwCommand { kRelative, kEnd, kLiteral, kShortAbsolute, kFill, kLongAbsolute, kCommandKinds };

struct LcwUnpacked {
    std::vector<uint8_t> data;
    std::array<size_t, kCommandKinds> commands{};
    size_t consumed = 0;         // bytes of input up to and including the end command
    size_t relativePast64K = 0;  // relative copies made once the output held 64 KiB or more
};

// Nothing when the stream breaks a rule: an operand or the end command missing from the input, or
// a copy from at or past the current output length.
inline std::optional<LcwUnpacked> UnpackLcwReference(std::span<const uint8_t> in) {
    LcwUnpacked r;
    std::vector<uint8_t>& out = r.data;
    size_t p = 0;
    auto need = [&](size_t n) { return in.size() - p >= n; };
    auto copy = [&](size_t source, size_t count) {
        if (count > 0 && source >= out.size()) return false;
        for (size_t k = 0; k < count; ++k) out.push_back(out[source + k]);
        return true;
    };
    while (true) {
        if (!need(1)) return std::nullopt;
        const uint8_t c = in[p++];
        if (c < 0x80) {
            if (!need(1)) return std::nullopt;
            const size_t distance = size_t{static_cast<uint8_t>(c & 0x0F)} * 256 + in[p++];
            const size_t source = ((out.size() & 0xFFFF) - distance) & 0xFFFF;
            if (out.size() >= 0x10000) ++r.relativePast64K;
            if (distance == 0 || !copy(source, size_t{static_cast<uint8_t>(c >> 4)} + 3)) {
                return std::nullopt;
            }
            ++r.commands[kRelative];
        } else if (c == 0x80) {
            ++r.commands[kEnd];
            r.consumed = p;
            return r;
        } else if (c < 0xC0) {
            const size_t n = c & 0x3F;
            if (!need(n)) return std::nullopt;
            out.insert(out.end(), in.begin() + static_cast<ptrdiff_t>(p),
                       in.begin() + static_cast<ptrdiff_t>(p + n));
            p += n;
            ++r.commands[kLiteral];
        } else if (c < 0xFE) {
            if (!need(2)) return std::nullopt;
            const size_t source = in[p] | (size_t{in[p + 1]} << 8);
            p += 2;
            if (!copy(source, size_t{static_cast<uint8_t>(c & 0x3F)} + 3)) return std::nullopt;
            ++r.commands[kShortAbsolute];
        } else if (c == 0xFE) {
            if (!need(3)) return std::nullopt;
            const size_t n = in[p] | (size_t{in[p + 1]} << 8);
            out.insert(out.end(), n, in[p + 2]);
            p += 3;
            ++r.commands[kFill];
        } else {
            if (!need(4)) return std::nullopt;
            const size_t n = in[p] | (size_t{in[p + 1]} << 8);
            const size_t source = in[p + 2] | (size_t{in[p + 3]} << 8);
            p += 4;
            if (!copy(source, n)) return std::nullopt;
            ++r.commands[kLongAbsolute];
        }
    }
}

}  // namespace rw::synth::test
