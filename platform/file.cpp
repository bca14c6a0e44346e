#include "platform/file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

namespace rw {
namespace {

constexpr size_t kReadBufferSize = 64 * 1024;

// Between buffers the helper thread keeps its processor for a moment before it sleeps: the next
// buffer usually comes within a fraction of a millisecond, and waking a sleeping thread costs
// more than that, notably on virtual machines. It does so only while the machine has a processor
// for every converting and writing thread of the process, so parallel conversions do not lose
// processor time to it.
constexpr auto kHelperSpin = std::chrono::milliseconds(1);
std::atomic<unsigned> g_runningHelpers{0};

bool HelperMaySpin() {
    const unsigned processors = std::max(1u, std::thread::hardware_concurrency());
    return processors >= 2 * g_runningHelpers.load(std::memory_order_relaxed);
}

inline void CpuRelax() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#elif defined(__aarch64__)
    asm volatile("yield");
#endif
}

Error SystemError(const std::string& what, const std::string& name, int err) {
    return Error{what + " \"" + name + "\": " + std::strerror(err)};
}

}  // namespace

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

// ---- DiskInputFile ----

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

// ---- DiskOutputFile ----

DiskOutputFile::~DiskOutputFile() {
    Abandon();
}

Expected<void> DiskOutputFile::Create(const std::filesystem::path& path, size_t bufferSize,
                                      bool writeBehind) {
    Abandon();
    m_name = path.string();
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return SystemError("Cannot create", m_name, errno);
    Start(fd, 0, bufferSize, writeBehind);
    return {};
}

Expected<void> DiskOutputFile::OpenAt(const std::filesystem::path& path, int64_t position,
                                      size_t bufferSize, bool writeBehind) {
    Abandon();
    m_name = path.string();
    int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) return SystemError("Cannot open", m_name, errno);
    if (position < 0 || ::lseek(fd, static_cast<off_t>(position), SEEK_SET) != position) {
        const int err = position < 0 ? EINVAL : errno;
        ::close(fd);
        return SystemError("Cannot write at position " + std::to_string(position) + " of", m_name,
                           err);
    }
    Start(fd, position, bufferSize, writeBehind);
    return {};
}

void DiskOutputFile::Start(int fd, int64_t position, size_t bufferSize, bool writeBehind) {
    m_fd = fd;
    m_position = position;
    m_buffer.assign(std::max<size_t>(bufferSize, 4096), 0);
    m_bufferLength = 0;
    m_writeBehind = writeBehind;
    m_failure.reset();
    m_failed.store(false);
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
        ssize_t n = ::write(m_fd, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return SystemError("Cannot write", m_name, errno);
        }
        if (n == 0) return SystemError("Cannot write", m_name, ENOSPC);
        done += static_cast<size_t>(n);
    }
    return {};
}

void DiskOutputFile::HelperLoop() {
    g_runningHelpers.fetch_add(1, std::memory_order_relaxed);
    std::unique_lock lock(m_mutex);
    for (;;) {
        if (!m_busy && !m_stop && HelperMaySpin()) {
            lock.unlock();
            const auto until = std::chrono::steady_clock::now() + kHelperSpin;
            while (!m_handedOver.load(std::memory_order_acquire) &&
                   std::chrono::steady_clock::now() < until) {
                CpuRelax();
            }
            lock.lock();
        }
        m_helperAsleep = true;
        m_changed.wait(lock, [this] { return m_busy || m_stop; });
        m_helperAsleep = false;
        if (m_stop) break;  // only Abandon stops a busy helper: those bytes are not wanted
        const std::span<const uint8_t> data(m_writing.data(), m_writingLength);
        const bool failedBefore = m_failure.has_value();
        lock.unlock();
        // After a failure nothing more is written: the file would have a gap.
        Expected<void> written = failedBefore ? Expected<void>{} : WriteRaw(data);
        lock.lock();
        if (!written && !m_failure) {
            m_failure = written.error();
            m_failed.store(true);
        }
        m_busy = false;
        m_handedOver.store(false, std::memory_order_relaxed);
        // A notification costs a system call; only a sleeping owner needs one.
        if (m_ownerAsleep) m_changed.notify_all();
    }
    g_runningHelpers.fetch_sub(1, std::memory_order_relaxed);
}

Expected<void> DiskOutputFile::HandOff() {
    if (m_bufferLength == 0) return {};
    if (!m_writeBehind) {
        // Written here and now; the buffer is free again at once.
        auto written = WriteRaw(std::span<const uint8_t>(m_buffer.data(), m_bufferLength));
        if (!written) {
            std::lock_guard lock(m_mutex);
            if (!m_failure) m_failure = written.error();
            m_failed.store(true);
            return written;
        }
        m_bufferLength = 0;
        return {};
    }
    std::unique_lock lock(m_mutex);
    WaitUntilWritten(lock);
    if (m_failure) return *m_failure;
    if (!m_helper.joinable()) {
        m_stop = false;
        m_helper = std::thread(&DiskOutputFile::HelperLoop, this);
    }
    if (m_writing.size() != m_buffer.size()) m_writing.resize(m_buffer.size());
    std::swap(m_buffer, m_writing);
    m_writingLength = m_bufferLength;
    m_bufferLength = 0;
    m_busy = true;
    m_handedOver.store(true, std::memory_order_release);
    const bool wake = m_helperAsleep;
    lock.unlock();
    if (wake) m_changed.notify_all();
    return {};
}

void DiskOutputFile::WaitUntilWritten(std::unique_lock<std::mutex>& lock) {
    m_ownerAsleep = true;
    m_changed.wait(lock, [this] { return !m_busy; });
    m_ownerAsleep = false;
}

Expected<void> DiskOutputFile::Drain() {
    if (auto r = HandOff(); !r) return r;
    std::unique_lock lock(m_mutex);
    WaitUntilWritten(lock);
    if (m_failure) return *m_failure;
    return {};
}

void DiskOutputFile::StopHelper() {
    if (!m_helper.joinable()) return;
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_changed.notify_all();
    m_helper.join();
    m_stop = false;
    m_busy = false;
    m_handedOver.store(false);
}

Expected<void> DiskOutputFile::Write(std::span<const uint8_t> data) {
    m_reservedInBuffer = false;
    if (m_fd < 0) return Error{"\"" + m_name + "\" is not open for writing"};
    if (m_failed.load(std::memory_order_relaxed)) {
        std::lock_guard lock(m_mutex);
        return *m_failure;
    }
    if (data.empty()) return {};
    const size_t room = m_buffer.size() - m_bufferLength;
    if (data.size() <= room) {
        std::memcpy(m_buffer.data() + m_bufferLength, data.data(), data.size());
        m_bufferLength += data.size();
    } else if (data.size() >= m_buffer.size()) {
        // Larger than a buffer: everything before it goes first, then it is written directly.
        if (auto r = Drain(); !r) return r;
        if (auto r = WriteRaw(data); !r) return r;
    } else {
        // Fill the buffer, hand it over, and start the next one with the rest.
        std::memcpy(m_buffer.data() + m_bufferLength, data.data(), room);
        m_bufferLength += room;
        if (auto r = HandOff(); !r) return r;
        std::memcpy(m_buffer.data(), data.data() + room, data.size() - room);
        m_bufferLength = data.size() - room;
    }
    m_position += static_cast<int64_t>(data.size());
    return {};
}

Expected<std::span<uint8_t>> DiskOutputFile::Reserve(size_t size) {
    m_reservedInBuffer = false;
    if (m_fd < 0) return Error{"\"" + m_name + "\" is not open for writing"};
    if (m_failed.load(std::memory_order_relaxed)) {
        std::lock_guard lock(m_mutex);
        return *m_failure;
    }
    // Room larger than a buffer comes from the base class and is written on commit.
    if (size > m_buffer.size()) return OutputFile::Reserve(size);
    if (size > m_buffer.size() - m_bufferLength) {
        if (auto r = HandOff(); !r) return r.error();
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
    auto written = Drain();
    StopHelper();
    int rc = ::close(m_fd);
    int err = errno;
    m_fd = -1;
    m_bufferLength = 0;
    if (!written) return written;
    if (rc != 0) return SystemError("Cannot finish writing", m_name, err);
    return {};
}

void DiskOutputFile::Abandon() {
    StopHelper();
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
    m_bufferLength = 0;
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
