// A file that appears under its final name only when it is complete. It is written as a new file
// of a name of its own beside the final one ("name.avi.XXXXXX.part": created exclusively, never
// through a symbolic link, with the permissions of any new file), renamed over the final name by
// Commit, and removed by Discard or when the object goes without a Commit (a failure or a cancel).
#pragma once

#include <cstddef>
#include <filesystem>
#include <span>
#include <string>

#include "platform/disk_output_file.h"
#include "platform/expected.h"

namespace rw {

class AtomicOutput {
  public:
    AtomicOutput() = default;
    ~AtomicOutput() { Discard(); }
    AtomicOutput(const AtomicOutput&) = delete;
    AtomicOutput& operator=(const AtomicOutput&) = delete;

    // Creates the temporary beside `finalPath`. A missing folder is named as such.
    Expected<void> Create(const std::filesystem::path& finalPath, size_t bufferSize = 1 << 20);
    // The temporary file, open for writing.
    DiskOutputFile& File() { return m_file; }
    const std::string& TemporaryPath() const { return m_temporary; }

    // Closes the temporary and gives it the final name: replacing a file of that name, or, without
    // `replace`, never (not even one that appeared meanwhile: "... already exists").
    Expected<void> Commit(bool replace = true);
    // Closes and removes the temporary; nothing happens when there is none.
    void Discard();

  private:
    DiskOutputFile m_file;
    std::string m_final;
    std::string m_temporary;  // empty when there is nothing to commit or remove
};

// Writes `bytes` as the whole file `path`, through an AtomicOutput.
Expected<void> WriteFileAtomically(const std::filesystem::path& path,
                                   std::span<const uint8_t> bytes);

}  // namespace rw
