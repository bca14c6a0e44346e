// Writing a file on disk through a write buffer.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/file_interface.h"

namespace rw {

// A file on disk created (or truncated) for writing, with a write buffer. After a failed write,
// every later Write, Reserve and Close reports that failure.
class DiskOutputFile final : public OutputFile {
  public:
    DiskOutputFile() = default;
    ~DiskOutputFile() override;
    DiskOutputFile(const DiskOutputFile&) = delete;
    DiskOutputFile& operator=(const DiskOutputFile&) = delete;

    // Creates the file, truncating an existing one.
    Expected<void> Create(const std::filesystem::path& path, size_t bufferSize = 1 << 20);
    // Creates a new file of a name of its own beside `finalPath` ("name.avi" gives
    // "name.avi.XXXXXX.part"): exclusively, never through a symbolic link, and never an existing
    // file. Name() is the name it got.
    Expected<void> CreateUniqueBeside(const std::filesystem::path& finalPath,
                                      size_t bufferSize = 1 << 20);
    // Another writer of the file `other` has open (the same file, whatever its name is by now),
    // writing from `position` on (Position() starts there) and leaving the bytes before and after
    // alone.
    Expected<void> OpenSameFileAt(const DiskOutputFile& other, int64_t position,
                                  size_t bufferSize = 1 << 20);
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
    // The open file, for a writer that writes it itself (nothing may be buffered here then).
    int Descriptor() const { return m_fd; }

    Expected<void> Write(std::span<const uint8_t> data) override;
    // Room inside the write buffer, when the size fits in one.
    Expected<std::span<uint8_t>> Reserve(size_t size) override;
    Expected<void> CommitReserved(size_t size) override;
    int64_t Position() const override { return m_position; }
    const std::string& Name() const override { return m_name; }

  private:
    // Forgets the last Reserve; an error when the file is not open or a write has failed.
    Expected<void> Writable();
    // Writes the filled buffer and empties it.
    Expected<void> Flush();
    // Writes `data` at the disk position; the first failure is kept and stops all later writes.
    Expected<void> WriteOut(std::span<const uint8_t> data);
    Expected<void> WriteRaw(std::span<const uint8_t> data);
    void Start(int fd, int64_t position, size_t bufferSize);

    int m_fd = -1;
    std::string m_name;
    int64_t m_position = 0;
    int64_t m_diskPosition = 0;     // where the next bytes handed to the disk go
    std::vector<uint8_t> m_buffer;  // being filled by Write
    size_t m_bufferLength = 0;
    bool m_reservedInBuffer = false;  // the last Reserve gave room inside m_buffer
    std::optional<Error> m_failure;   // the first failed write
};

}  // namespace rw
