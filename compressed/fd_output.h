// FFmpeg's output through a file descriptor the caller opened: writes at a tracked position with
// pwrite, seeks by moving that position (internal to compressed/).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/expected.h"

struct AVIOContext;

namespace rw::av {

class FdOutput {
  public:
    // `fd` must be an empty regular file.
    static Expected<std::unique_ptr<FdOutput>> Open(int fd, const std::string& name);
    explicit FdOutput(int fd) : m_fd(fd) {}
    ~FdOutput();
    FdOutput(const FdOutput&) = delete;
    FdOutput& operator=(const FdOutput&) = delete;

    AVIOContext* Context() const { return m_io; }
    // The error of the last failed write or seek, or 0.
    int SystemError() const { return m_errno; }

  private:
    static int Write(void* opaque, uint8_t* data, int size);
    static int64_t Seek(void* opaque, int64_t offset, int whence);

    int m_fd;
    int64_t m_position = 0;
    int64_t m_end = 0;
    int m_errno = 0;
    AVIOContext* m_io = nullptr;
};

}  // namespace rw::av
