// Writing MIX archives of the first game's layout: a table of contents sorted by id (taken as a
// signed number, so the game can look names up by binary search), then the files back to back.
// The files are streamed from where they lie (loose files, or entries of another archive), so an
// archive of any size needs no more memory than a copy buffer.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/expected.h"
#include "platform/file_interface.h"

namespace rw {

inline constexpr size_t kMaxMixFiles = 0xFFFF;           // the count is a 16-bit number
inline constexpr int64_t kMaxMixDataBytes = 0xFFFFFFFF;  // offsets and lengths are 32-bit

// A file to store: its id and length, and where its bytes are read from.
struct MixMember {
    std::string name;  // names the file in messages
    uint32_t id = 0;
    int64_t length = 0;
    std::filesystem::path file;  // holds the bytes,
    int64_t offset = 0;          // from this offset on
};

// Fails, naming the files concerned, when the members do not fit an archive: none or more than
// 65535 of them, a length or all of them together past 32 bits, or two sharing an id.
Expected<void> CheckMixMembers(std::span<const MixMember> members);

// The header and table of contents for the members stored back to back in the order given
// (members already checked).
std::vector<uint8_t> MixTableBytes(std::span<const MixMember> members);

// Told about a write as it goes; may stop it.
class MixWriteObserver {
  public:
    virtual ~MixWriteObserver() = default;
    virtual void OnProgress(int64_t bytesDone, int64_t bytesTotal) = 0;
    virtual bool CancelRequested() { return false; }
};

// Opens a member's bytes as a file of their own (position 0 at its first byte).
using MixMemberOpener = std::function<Expected<std::unique_ptr<InputFile>>(const MixMember&)>;

// Checks the members, then writes the table and every member's bytes to `out`. A member whose
// source holds fewer bytes than its length fails the write, naming it. A cancel fails it with the
// message "interrupted".
Expected<void> WriteMixArchive(OutputFile& out, std::span<const MixMember> members,
                               const MixMemberOpener& open, MixWriteObserver* observer = nullptr);

// Writes the archive `path` from members on disk: into a new file of its own beside `path`
// (created exclusively, never through a link), renamed to `path` only when complete and removed on
// failure, so `path` holds either its old bytes or the whole new archive. A replaced archive's
// permissions are kept.
Expected<void> WriteMixArchiveFile(const std::filesystem::path& path,
                                   std::span<const MixMember> members,
                                   MixWriteObserver* observer = nullptr);

}  // namespace rw
