#include "tests/support/memory_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace rw {

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

VqaHeaderResult ReadVqaHeader(std::span<const uint8_t> bytes) {
    MemoryInputFile file(bytes);
    return ReadVqaHeader(file);
}

}  // namespace rw
