// The project's file objects: buffered, bounds-checked, and every failure reported. A read that
// comes back short says so; a failed write is an error, never ignored.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "platform/expected.h"

namespace rw {

class InputFile {
  public:
    virtual ~InputFile() = default;

    // Moves the read position. A negative position fails; a position past the end succeeds, and
    // the reads that follow come back short.
    virtual Expected<void> Seek(int64_t position) = 0;
    virtual int64_t Position() const = 0;
    virtual Expected<int64_t> Length() = 0;
    // Reads up to out.size() bytes and returns how many were read: fewer only at the end of the
    // file.
    virtual Expected<size_t> Read(std::span<uint8_t> out) = 0;
    // The name used in messages.
    virtual const std::string& Name() const = 0;

    // Reads exactly out.size() bytes, or fails with a message that the file ends early.
    Expected<void> ReadExact(std::span<uint8_t> out);
};

class OutputFile {
  public:
    virtual ~OutputFile() = default;

    // Appends bytes at the end of the file.
    virtual Expected<void> Write(std::span<const uint8_t> data) = 0;
    // Bytes written so far: the position of the next byte.
    virtual int64_t Position() const = 0;
    virtual const std::string& Name() const = 0;

    Expected<void> WriteZeros(size_t count);

    // Writes out whatever the file still holds and lets it go; a failure is reported. Files that
    // hold nothing back have nothing to do.
    virtual Expected<void> Finish() { return {}; }

    // Room for `size` bytes at the end of the file, to be filled in place and then kept with
    // CommitReserved(size): the same bytes as one Write of them, without copying them first. The
    // room is valid until the next call on the file; bytes not committed are never written.
    virtual Expected<std::span<uint8_t>> Reserve(size_t size);
    virtual Expected<void> CommitReserved(size_t size);

  private:
    std::vector<uint8_t> m_reserved;  // the room, for files that cannot offer their own
};

// A file on disk opened for reading, with a read buffer.
class DiskInputFile final : public InputFile {
  public:
    DiskInputFile() = default;
    ~DiskInputFile() override;
    DiskInputFile(const DiskInputFile&) = delete;
    DiskInputFile& operator=(const DiskInputFile&) = delete;

    Expected<void> Open(const std::filesystem::path& path);
    // Opens `length` bytes of the file from `offset` on as a file of their own: positions count
    // from `offset`, and reads end where the range does. `name` is used in messages instead of
    // the path. Nothing is copied.
    Expected<void> OpenRange(const std::filesystem::path& path, int64_t offset, int64_t length,
                             std::string name);
    // Closing a file that is not open has no effect.
    void Close();
    bool IsOpen() const { return m_fd >= 0; }

    Expected<void> Seek(int64_t position) override;
    int64_t Position() const override { return m_position; }
    Expected<int64_t> Length() override;
    Expected<size_t> Read(std::span<uint8_t> out) override;
    const std::string& Name() const override { return m_name; }

  private:
    Expected<size_t> ReadRaw(int64_t at, std::span<uint8_t> out);

    int m_fd = -1;
    std::string m_name;
    int64_t m_position = 0;
    int64_t m_rangeOffset = 0;   // where position 0 lies in the file
    int64_t m_rangeLength = -1;  // bytes in the range; -1: the whole file
    std::vector<uint8_t> m_buffer;
    int64_t m_bufferStart = 0;  // file position of m_buffer[0]
    size_t m_bufferLength = 0;  // valid bytes in m_buffer
};

// A file on disk created (or truncated) for writing, with a write buffer. A full buffer is written
// by a helper thread while the next one fills, so producing the bytes and writing them overlap;
// the file's bytes are the same as with plain sequential writes. A write that fails there is
// reported by the next Write or by Close.
class DiskOutputFile final : public OutputFile {
  public:
    DiskOutputFile() = default;
    ~DiskOutputFile() override;
    DiskOutputFile(const DiskOutputFile&) = delete;
    DiskOutputFile& operator=(const DiskOutputFile&) = delete;

    // Creates the file, truncating an existing one. Without `writeBehind`, full buffers are
    // written by the calling thread instead of a helper.
    Expected<void> Create(const std::filesystem::path& path, size_t bufferSize = 1 << 20,
                          bool writeBehind = true);
    // Opens an existing file to write from `position` on (Position() starts there), leaving the
    // bytes before and after alone.
    Expected<void> OpenAt(const std::filesystem::path& path, int64_t position,
                          size_t bufferSize = 1 << 20, bool writeBehind = true);
    // Tells the file system the file will grow to `length` bytes, so it can set the space aside
    // at once instead of page by page as the writes come. Only a hint: a file system that cannot,
    // or a disk without the room, is left for the writes themselves to report.
    void Preallocate(int64_t length);
    // Writes what is buffered and closes the file; reports a failure of either.
    Expected<void> Close();
    Expected<void> Finish() override { return Close(); }
    // Closes without caring about buffered bytes (used before the file is removed). Closing a
    // file that is not open has no effect.
    void Abandon();
    bool IsOpen() const { return m_fd >= 0; }

    Expected<void> Write(std::span<const uint8_t> data) override;
    // Room inside the write buffer, when the size fits in one.
    Expected<std::span<uint8_t>> Reserve(size_t size) override;
    Expected<void> CommitReserved(size_t size) override;
    int64_t Position() const override { return m_position; }
    const std::string& Name() const override { return m_name; }

  private:
    // Hands the filled buffer to the helper thread (or, without write-behind, writes it) and
    // takes the other one to fill.
    Expected<void> HandOff();
    // Waits until the helper thread has written everything handed to it; its first failure.
    Expected<void> Drain();
    // Waits until the helper has written what it was handed (m_mutex held).
    void WaitUntilWritten(std::unique_lock<std::mutex>& lock);
    void StopHelper();
    void HelperLoop();
    Expected<void> WriteRaw(std::span<const uint8_t> data);
    void Start(int fd, int64_t position, size_t bufferSize, bool writeBehind);

    int m_fd = -1;
    std::string m_name;
    int64_t m_position = 0;
    std::vector<uint8_t> m_buffer;  // being filled by Write
    size_t m_bufferLength = 0;
    bool m_writeBehind = true;
    bool m_reservedInBuffer = false;  // the last Reserve gave room inside m_buffer

    // Shared with the helper thread, under m_mutex.
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<uint8_t> m_writing;  // handed over, written by the helper
    size_t m_writingLength = 0;
    bool m_busy = false;  // m_writing holds bytes not yet written
    bool m_stop = false;
    bool m_helperAsleep = false;            // the helper waits on m_changed
    bool m_ownerAsleep = false;             // the writing thread waits on m_changed
    std::atomic<bool> m_handedOver{false};  // m_busy, for the helper to watch without the lock
    std::optional<Error> m_failure;         // the helper's first failed write
    std::atomic<bool> m_failed{false};      // m_failure is set; read by Write without the lock
    std::thread m_helper;
};

// An input file held in memory (tests and fuzzing).
class MemoryInputFile final : public InputFile {
  public:
    explicit MemoryInputFile(std::span<const uint8_t> data, std::string name = "memory")
        : m_data(data), m_name(std::move(name)) {}

    Expected<void> Seek(int64_t position) override;
    int64_t Position() const override { return m_position; }
    Expected<int64_t> Length() override { return static_cast<int64_t>(m_data.size()); }
    Expected<size_t> Read(std::span<uint8_t> out) override;
    const std::string& Name() const override { return m_name; }

  private:
    std::span<const uint8_t> m_data;
    std::string m_name;
    int64_t m_position = 0;
};

// An output file held in memory, optionally failing once it would pass a size limit (tests).
class MemoryOutputFile final : public OutputFile {
  public:
    explicit MemoryOutputFile(std::string name = "memory", int64_t failAfter = -1)
        : m_name(std::move(name)), m_failAfter(failAfter) {}

    Expected<void> Write(std::span<const uint8_t> data) override;
    int64_t Position() const override { return m_position; }
    const std::string& Name() const override { return m_name; }

    const std::vector<uint8_t>& Data() const { return m_data; }
    // Makes the file stand for the part of a larger one from `position` on (before any write).
    void StartAt(int64_t position) { m_position = position; }
    // Keeps only the count of bytes, not the bytes (fuzzing a whole conversion).
    void DiscardData(bool discard) { m_discard = discard; }

  private:
    std::vector<uint8_t> m_data;
    std::string m_name;
    int64_t m_failAfter;
    int64_t m_position = 0;
    bool m_discard = false;
};

// Reads a whole (small) file; used by tests and tools.
Expected<std::vector<uint8_t>> ReadWholeFile(const std::filesystem::path& path);

}  // namespace rw
