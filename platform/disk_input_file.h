// Reading a file on disk.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "platform/file_interface.h"

namespace rw {

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

// Reads a whole (small) file; used by tests and tools.
Expected<std::vector<uint8_t>> ReadWholeFile(const std::filesystem::path& path);

}  // namespace rw
