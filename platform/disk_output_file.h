// Writing a file on disk, optionally with a helper thread that writes behind (write_behind.cpp).
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "platform/file_interface.h"

namespace rw {

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

    // Creates the file, truncating an existing one. With `writeBehind`, a helper thread writes
    // full buffers and keeps its processor busy for a moment between them: ask for it only with
    // a processor to spare. Without, the calling thread writes them.
    Expected<void> Create(const std::filesystem::path& path, size_t bufferSize = 1 << 20,
                          bool writeBehind = true);
    // Creates a new file of a name of its own beside `finalPath` ("name.avi" gives
    // "name.avi.XXXXXX.part"): exclusively, never through a symbolic link, and never an existing
    // file. Name() is the name it got.
    Expected<void> CreateUniqueBeside(const std::filesystem::path& finalPath,
                                      size_t bufferSize = 1 << 20, bool writeBehind = true);
    // Another writer of the file `other` has open (the same file, whatever its name is by now),
    // writing from `position` on (Position() starts there) and leaving the bytes before and after
    // alone.
    Expected<void> OpenSameFileAt(const DiskOutputFile& other, int64_t position,
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
    int64_t m_diskPosition = 0;     // where the next bytes handed to the disk go
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

}  // namespace rw
