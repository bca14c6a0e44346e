#include "platform/disk_input_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/system_error.h"

namespace rw {
namespace {

constexpr size_t kReadBufferSize = 64 * 1024;

}  // namespace

DiskInputFile::~DiskInputFile() {
    Close();
}

Expected<void> DiskInputFile::Open(const std::filesystem::path& path) {
    Close();
    m_name = path.string();
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return SystemError("Cannot open", m_name, errno);
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        return SystemError("Cannot open", m_name, EISDIR);
    }
    m_fd = fd;
    m_position = 0;
    m_rangeOffset = 0;
    m_rangeLength = -1;
    m_bufferStart = 0;
    m_bufferLength = 0;
    m_buffer.resize(kReadBufferSize);
    return {};
}

Expected<void> DiskInputFile::OpenRange(const std::filesystem::path& path, int64_t offset,
                                        int64_t length, std::string name) {
    if (offset < 0 || length < 0 || length > INT64_MAX - offset) {
        return Error{"Cannot open \"" + name + "\": the byte range is not valid"};
    }
    if (auto r = Open(path); !r) return r;
    m_name = std::move(name);
    m_rangeOffset = offset;
    m_rangeLength = length;
    return {};
}

void DiskInputFile::Close() {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
    m_bufferLength = 0;
}

Expected<void> DiskInputFile::Seek(int64_t position) {
    if (m_fd < 0) return Error{"\"" + m_name + "\" is not open"};
    if (position < 0) {
        return Error{"Cannot seek in \"" + m_name + "\" to the negative position " +
                     std::to_string(position)};
    }
    m_position = position;
    return {};
}

Expected<int64_t> DiskInputFile::Length() {
    if (m_fd < 0) return Error{"\"" + m_name + "\" is not open"};
    struct stat st {};
    if (::fstat(m_fd, &st) != 0) return SystemError("Cannot read the length of", m_name, errno);
    if (m_rangeLength >= 0) {
        // A file that shrank since the range was chosen: only what is still there.
        return std::clamp<int64_t>(st.st_size - m_rangeOffset, 0, m_rangeLength);
    }
    return static_cast<int64_t>(st.st_size);
}

Expected<size_t> DiskInputFile::ReadRaw(int64_t at, std::span<uint8_t> out) {
    if (m_rangeLength >= 0) {
        // Positions count from the range's start; nothing past its end is read.
        if (at >= m_rangeLength) return size_t{0};
        out = out.first(static_cast<size_t>(
            std::min<int64_t>(static_cast<int64_t>(out.size()), m_rangeLength - at)));
        at += m_rangeOffset;
    }
    size_t total = 0;
    while (total < out.size()) {
        ssize_t n = ::pread(m_fd, out.data() + total, out.size() - total,
                            static_cast<off_t>(at + static_cast<int64_t>(total)));
        if (n < 0) {
            if (errno == EINTR) continue;
            return SystemError("Cannot read", m_name, errno);
        }
        if (n == 0) break;  // end of file
        total += static_cast<size_t>(n);
    }
    return total;
}

Expected<size_t> DiskInputFile::Read(std::span<uint8_t> out) {
    if (m_fd < 0) return Error{"\"" + m_name + "\" is not open"};
    size_t done = 0;
    while (done < out.size()) {
        // Serve from the buffer when the position lies inside it.
        if (m_position >= m_bufferStart &&
            m_position < m_bufferStart + static_cast<int64_t>(m_bufferLength)) {
            size_t offset = static_cast<size_t>(m_position - m_bufferStart);
            size_t n = std::min(out.size() - done, m_bufferLength - offset);
            std::memcpy(out.data() + done, m_buffer.data() + offset, n);
            done += n;
            m_position += static_cast<int64_t>(n);
            continue;
        }
        size_t want = out.size() - done;
        if (want >= m_buffer.size()) {
            // Large reads bypass the buffer.
            auto got = ReadRaw(m_position, out.subspan(done));
            if (!got) return got.error();
            done += *got;
            m_position += static_cast<int64_t>(*got);
            break;
        }
        auto got = ReadRaw(m_position, m_buffer);
        if (!got) return got.error();
        m_bufferStart = m_position;
        m_bufferLength = *got;
        if (*got == 0) break;  // end of file
    }
    return done;
}

Expected<std::vector<uint8_t>> ReadWholeFile(const std::filesystem::path& path) {
    DiskInputFile f;
    if (auto r = f.Open(path); !r) return r.error();
    auto len = f.Length();
    if (!len) return len.error();
    std::vector<uint8_t> data(static_cast<size_t>(*len));
    if (auto r = f.ReadExact(data); !r) return r.error();
    return data;
}

}  // namespace rw
