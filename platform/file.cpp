#include "platform/file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace rw {

Expected<void> InputFile::ReadExact(std::span<uint8_t> out) {
    auto got = Read(out);
    if (!got) return got.error();
    if (*got != out.size()) {
        return Error{"\"" + Name() + "\" ends early: " + std::to_string(out.size()) +
                     " bytes wanted at position " +
                     std::to_string(Position() - static_cast<int64_t>(*got)) + ", " +
                     std::to_string(*got) + " there"};
    }
    return {};
}

Expected<void> OutputFile::WriteZeros(size_t count) {
    static const uint8_t kZeros[4096] = {};
    while (count > 0) {
        size_t n = std::min(count, sizeof kZeros);
        if (auto r = Write(std::span<const uint8_t>(kZeros, n)); !r) return r;
        count -= n;
    }
    return {};
}

Expected<std::span<uint8_t>> OutputFile::Reserve(size_t size) {
    if (m_reserved.size() < size) m_reserved.resize(size);
    return std::span<uint8_t>(m_reserved.data(), size);
}

Expected<void> OutputFile::CommitReserved(size_t size) {
    if (size > m_reserved.size()) return Error{"\"" + Name() + "\": more bytes kept than reserved"};
    return Write(std::span<const uint8_t>(m_reserved.data(), size));
}

}  // namespace rw
