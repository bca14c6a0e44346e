// The project's file objects: buffered, bounds-checked, and every failure reported. A read that
// comes back short says so; a failed write is an error, never ignored. These are the interfaces
// the readers and writers work on; the files on disk and in memory implement them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
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

}  // namespace rw
