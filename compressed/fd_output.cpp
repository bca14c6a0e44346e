#include "compressed/fd_output.h"

extern "C" {
#include <libavformat/avio.h>
#include <libavutil/error.h>
#include <libavutil/mem.h>
}

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

namespace rw::av {

namespace {
constexpr int kBufferSize = 64 * 1024;
}

Expected<std::unique_ptr<FdOutput>> FdOutput::Open(int fd, const std::string& name) {
    struct stat st {};
    if (fstat(fd, &st) != 0) {
        return Error{"cannot write \"" + name + "\": " + std::strerror(errno)};
    }
    if (!S_ISREG(st.st_mode) || st.st_size != 0) {
        return Error{"cannot write \"" + name + "\": it is not a new, empty file"};
    }
    auto out = std::make_unique<FdOutput>(fd);
    auto* buffer = static_cast<unsigned char*>(av_malloc(kBufferSize));
    if (buffer != nullptr) {
        out->m_io = avio_alloc_context(buffer, kBufferSize, 1, out.get(), nullptr, &FdOutput::Write,
                                       &FdOutput::Seek);
    }
    if (out->m_io == nullptr) {
        av_free(buffer);
        return Error{"cannot write \"" + name + "\": out of memory"};
    }
    return out;
}

FdOutput::~FdOutput() {
    if (m_io != nullptr) {
        av_freep(&m_io->buffer);
        avio_context_free(&m_io);
    }
}

int FdOutput::Write(void* opaque, uint8_t* data, int size) {
    auto* self = static_cast<FdOutput*>(opaque);
    int done = 0;
    while (done < size) {
        const ssize_t n = pwrite(self->m_fd, data + done, static_cast<size_t>(size - done),
                                 static_cast<off_t>(self->m_position));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            self->m_errno = n < 0 ? errno : ENOSPC;
            return AVERROR(self->m_errno);
        }
        done += static_cast<int>(n);
        self->m_position += n;
        self->m_end = std::max(self->m_end, self->m_position);
    }
    return size;
}

int64_t FdOutput::Seek(void* opaque, int64_t offset, int whence) {
    auto* self = static_cast<FdOutput*>(opaque);
    whence &= ~AVSEEK_FORCE;
    if (whence == AVSEEK_SIZE) return self->m_end;
    int64_t base = 0;
    if (whence == SEEK_CUR) base = self->m_position;
    if (whence == SEEK_END) base = self->m_end;
    if (whence != SEEK_SET && whence != SEEK_CUR && whence != SEEK_END) return AVERROR(EINVAL);
    if (offset < -base || offset > std::numeric_limits<int64_t>::max() - base) {
        return AVERROR(EINVAL);
    }
    self->m_position = base + offset;
    return self->m_position;
}

}  // namespace rw::av
