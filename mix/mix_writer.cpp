#include "mix/mix_writer.h"

#include <algorithm>
#include <system_error>
#include <utility>

#include "mix/mix_archive.h"
#include "platform/atomic_output.h"
#include "platform/byte_writer.h"
#include "platform/file.h"

namespace rw {
namespace {

constexpr size_t kCopyChunk = 1 << 20;

std::string Quoted(const std::string& name) {
    return "\"" + name + "\"";
}

// Copies the member's `length` bytes from `in` to `out`, reporting progress from `done` on.
Expected<void> CopyMember(InputFile& in, OutputFile& out, const MixMember& member, int64_t& done,
                          int64_t total, MixWriteObserver* observer) {
    for (int64_t left = member.length; left > 0;) {
        if (observer && observer->CancelRequested()) return Error{"interrupted"};
        const size_t chunk = static_cast<size_t>(std::min<int64_t>(left, kCopyChunk));
        auto room = out.Reserve(chunk);
        if (!room) return room.error();
        auto got = in.Read(*room);
        if (!got) return got.error();
        if (*got == 0) {
            return Error{"Cannot pack " + Quoted(member.name) + ": it holds " +
                         std::to_string(member.length - left) + " bytes instead of " +
                         std::to_string(member.length) + " (was it changed?)"};
        }
        if (auto r = out.CommitReserved(*got); !r) return r.error();
        left -= static_cast<int64_t>(*got);
        done += static_cast<int64_t>(*got);
        if (observer) observer->OnProgress(done, total);
    }
    return {};
}

Expected<std::unique_ptr<InputFile>> OpenOnDisk(const MixMember& member) {
    auto file = std::make_unique<DiskInputFile>();
    if (auto r = file->OpenRange(member.file, member.offset, member.length, member.name); !r) {
        return r.error();
    }
    return std::unique_ptr<InputFile>(std::move(file));
}

}  // namespace

Expected<void> CheckMixMembers(std::span<const MixMember> members) {
    // A count of zero would mark the later games' layout.
    if (members.empty()) return Error{"an archive holds at least one file"};
    if (members.size() > kMaxMixFiles) {
        return Error{"an archive holds at most " + std::to_string(kMaxMixFiles) + " files, not " +
                     std::to_string(members.size())};
    }
    int64_t total = 0;
    for (const MixMember& m : members) {
        if (m.length < 0 || m.length > kMaxMixDataBytes - total) {
            return Error{Quoted(m.name) + " takes the files past " +
                         std::to_string(kMaxMixDataBytes) + " bytes, the most an archive holds"};
        }
        total += m.length;
    }
    std::vector<size_t> byId(members.size());
    for (size_t i = 0; i < byId.size(); ++i) byId[i] = i;
    std::stable_sort(byId.begin(), byId.end(),
                     [&](size_t a, size_t b) { return members[a].id < members[b].id; });
    for (size_t k = 1; k < byId.size(); ++k) {
        const MixMember& a = members[byId[k - 1]];
        const MixMember& b = members[byId[k]];
        if (a.id == b.id) {
            return Error{Quoted(a.name) + " and " + Quoted(b.name) + " have the same id (" +
                         MixIdText(a.id) + "); an archive cannot hold both"};
        }
    }
    return {};
}

std::vector<uint8_t> MixTableBytes(std::span<const MixMember> members) {
    struct Placed {
        uint32_t id, offset, length;
    };
    std::vector<Placed> table;
    table.reserve(members.size());
    uint32_t offset = 0;  // the members fit 32 bits together (CheckMixMembers)
    for (const MixMember& m : members) {
        table.push_back({m.id, offset, static_cast<uint32_t>(m.length)});
        offset += static_cast<uint32_t>(m.length);
    }
    std::sort(table.begin(), table.end(), [](const Placed& a, const Placed& b) {
        return static_cast<int32_t>(a.id) < static_cast<int32_t>(b.id);
    });
    ByteWriter out;
    out.bytes.reserve(6 + 12 * table.size());
    out.U16Le(static_cast<uint32_t>(members.size()));
    out.U32Le(offset);
    for (const Placed& p : table) {
        out.U32Le(p.id);
        out.U32Le(p.offset);
        out.U32Le(p.length);
    }
    return std::move(out.bytes);
}

Expected<void> WriteMixArchive(OutputFile& out, std::span<const MixMember> members,
                               const MixMemberOpener& open, MixWriteObserver* observer) {
    if (auto r = CheckMixMembers(members); !r) return r;
    if (auto r = out.Write(MixTableBytes(members)); !r) return r;
    int64_t total = 0;
    for (const MixMember& m : members) total += m.length;
    int64_t done = 0;
    for (const MixMember& m : members) {
        auto in = open(m);
        if (!in) return in.error();
        if (auto r = CopyMember(**in, out, m, done, total, observer); !r) return r;
    }
    return out.Finish();
}

Expected<void> WriteMixArchiveFile(const std::filesystem::path& path,
                                   std::span<const MixMember> members, MixWriteObserver* observer) {
    if (auto r = CheckMixMembers(members); !r) {
        return Error{"Cannot write " + Quoted(path.string()) + ": " + r.error().message};
    }
    AtomicOutput out;
    if (auto r = out.Create(path); !r) return r;
    auto written = WriteMixArchive(out.File(), members, OpenOnDisk, observer);
    if (!written) return written;
    // A new version of an archive keeps the old one's permissions.
    std::error_code ec;
    const auto old = std::filesystem::status(path, ec);
    if (!ec && std::filesystem::exists(old)) {
        std::filesystem::permissions(out.TemporaryPath(), old.permissions(), ec);
    }
    if (auto r = out.Commit(); !r) {
        written = Error{"Cannot write " + Quoted(path.string()) + ": " + r.error().message};
    }
    return written;
}

}  // namespace rw
