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

// ---- Memory files ----

Expected<void> MemoryInputFile::Seek(int64_t position) {
    if (position < 0) {
        return Error{"Cannot seek in \"" + m_name + "\" to the negative position " +
                     std::to_string(position)};
    }
    m_position = position;
    return {};
}

Expected<size_t> MemoryInputFile::Read(std::span<uint8_t> out) {
    if (m_position >= static_cast<int64_t>(m_data.size())) return size_t{0};
    size_t at = static_cast<size_t>(m_position);
    size_t n = std::min(out.size(), m_data.size() - at);
    if (n > 0) std::memcpy(out.data(), m_data.data() + at, n);
    m_position += static_cast<int64_t>(n);
    return n;
}

Expected<void> MemoryOutputFile::Write(std::span<const uint8_t> data) {
    if (m_failAfter >= 0 && m_position + static_cast<int64_t>(data.size()) > m_failAfter) {
        return Error{"Cannot write \"" + m_name + "\": " + std::strerror(ENOSPC)};
    }
    if (data.empty()) return {};
    if (!m_discard) m_data.insert(m_data.end(), data.begin(), data.end());
    m_position += static_cast<int64_t>(data.size());
    return {};
}

}  // namespace rw
