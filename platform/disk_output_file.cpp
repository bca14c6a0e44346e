#include "platform/disk_output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <random>

#include "platform/system_error.h"

namespace rw {

DiskOutputFile::~DiskOutputFile() {
    Abandon();
}

Expected<void> DiskOutputFile::Create(const std::filesystem::path& path, size_t bufferSize) {
    Abandon();
    m_name = path.string();
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return SystemError("Cannot create", m_name, errno);
    Start(fd, 0, bufferSize);
    return {};
}

Expected<void> DiskOutputFile::CreateUniqueBeside(const std::filesystem::path& finalPath,
                                                  size_t bufferSize) {
    Abandon();
    static constexpr char kLetters[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::random_device random;
    std::uniform_int_distribution<size_t> pick(0, sizeof kLetters - 2);
    int err = EEXIST;
    for (int attempt = 0; attempt < 100 && err == EEXIST; ++attempt) {
        std::string name = finalPath.string() + ".";
        for (int i = 0; i < 6; ++i) name += kLetters[pick(random)];
        name += ".part";
        const int fd =
            ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0) {
            m_name = name;
            Start(fd, 0, bufferSize);
            return {};
        }
        err = errno;
    }
    m_name = finalPath.string() + ".part";
    return SystemError("Cannot create a temporary file beside", finalPath.string(), err);
}

Expected<void> DiskOutputFile::OpenSameFileAt(const DiskOutputFile& other, int64_t position,
                                              size_t bufferSize) {
    Abandon();
    m_name = other.m_name;
    if (other.m_fd < 0) return Error{"\"" + m_name + "\" is not open for writing"};
    if (position < 0) {
        return SystemError("Cannot write at position " + std::to_string(position) + " of", m_name,
                           EINVAL);
    }
    const int fd = ::fcntl(other.m_fd, F_DUPFD_CLOEXEC, 0);
    if (fd < 0) return SystemError("Cannot open", m_name, errno);
    Start(fd, position, bufferSize);
    return {};
}

void DiskOutputFile::Start(int fd, int64_t position, size_t bufferSize) {
    m_fd = fd;
    m_position = position;
    m_diskPosition = position;
    m_buffer.assign(std::max<size_t>(bufferSize, 4096), 0);
    m_bufferLength = 0;
    m_failure.reset();
}

void DiskOutputFile::Preallocate(int64_t length) {
#if defined(__linux__)
    // fallocate itself, not posix_fallocate: where the file system cannot reserve space, the
    // latter writes zeros over the whole length first.
    if (m_fd >= 0 && length > 0) (void)::fallocate(m_fd, 0, 0, static_cast<off_t>(length));
#else
    (void)length;
#endif
}

Expected<void> DiskOutputFile::WriteRaw(std::span<const uint8_t> data) {
    size_t done = 0;
    while (done < data.size()) {
        // At its own position: another writer of the same file may share the file offset.
        ssize_t n = ::pwrite(m_fd, data.data() + done, data.size() - done,
                             static_cast<off_t>(m_diskPosition));
        if (n < 0 && errno == ESPIPE) n = ::write(m_fd, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return SystemError("Cannot write", m_name, errno);
        }
        if (n == 0) return SystemError("Cannot write", m_name, ENOSPC);
        done += static_cast<size_t>(n);
        m_diskPosition += n;
    }
    return {};
}

Expected<void> DiskOutputFile::WriteOut(std::span<const uint8_t> data) {
    if (m_failure) return *m_failure;
    if (auto r = WriteRaw(data); !r) {
        m_failure = r.error();  // nothing more is written: the file would have a gap
        return r;
    }
    return {};
}

Expected<void> DiskOutputFile::Flush() {
    if (auto r = WriteOut(std::span<const uint8_t>(m_buffer.data(), m_bufferLength)); !r) return r;
    m_bufferLength = 0;
    return {};
}

Expected<void> DiskOutputFile::Writable() {
    m_reservedInBuffer = false;
    if (m_fd < 0) return Error{"\"" + m_name + "\" is not open for writing"};
    if (m_failure) return *m_failure;
    return {};
}

Expected<void> DiskOutputFile::Write(std::span<const uint8_t> data) {
    if (auto r = Writable(); !r) return r;
    if (data.empty()) return {};
    const size_t room = m_buffer.size() - m_bufferLength;
    if (data.size() <= room) {
        std::memcpy(m_buffer.data() + m_bufferLength, data.data(), data.size());
        m_bufferLength += data.size();
    } else if (data.size() >= m_buffer.size()) {
        // Larger than a buffer: everything before it goes first, then it is written directly.
        if (auto r = Flush(); !r) return r;
        if (auto r = WriteOut(data); !r) return r;
    } else {
        // Fill the buffer, write it, and start the next one with the rest.
        std::memcpy(m_buffer.data() + m_bufferLength, data.data(), room);
        m_bufferLength += room;
        if (auto r = Flush(); !r) return r;
        std::memcpy(m_buffer.data(), data.data() + room, data.size() - room);
        m_bufferLength = data.size() - room;
    }
    m_position += static_cast<int64_t>(data.size());
    return {};
}

Expected<std::span<uint8_t>> DiskOutputFile::Reserve(size_t size) {
    if (auto r = Writable(); !r) return r.error();
    // Room larger than a buffer comes from the base class and is written on commit.
    if (size > m_buffer.size()) return OutputFile::Reserve(size);
    if (size > m_buffer.size() - m_bufferLength) {
        if (auto r = Flush(); !r) return r.error();
    }
    m_reservedInBuffer = true;
    return std::span<uint8_t>(m_buffer.data() + m_bufferLength, size);
}

Expected<void> DiskOutputFile::CommitReserved(size_t size) {
    if (!m_reservedInBuffer) return OutputFile::CommitReserved(size);
    m_reservedInBuffer = false;
    if (size > m_buffer.size() - m_bufferLength) {
        return Error{"\"" + m_name + "\": more bytes kept than reserved"};
    }
    m_bufferLength += size;
    m_position += static_cast<int64_t>(size);
    return {};
}

Expected<void> DiskOutputFile::Close() {
    if (m_fd < 0) return {};
    auto written = Flush();
    int rc = ::close(m_fd);
    int err = errno;
    m_fd = -1;
    m_bufferLength = 0;
    if (!written) return written;
    if (rc != 0) return SystemError("Cannot finish writing", m_name, err);
    return {};
}

void DiskOutputFile::Abandon() {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
    m_bufferLength = 0;
}

}  // namespace rw
