// Writing a MIX archive from a list of names and sizes: the writer refuses names that share an id,
// and otherwise its archive reads back exactly as written: every file once, at its id, with its
// bytes, the table sorted by signed id and the data area's size in the header.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "mix/mix_archive.h"
#include "mix/mix_names.h"
#include "mix/mix_writer.h"
#include "tests/support/memory_file.h"

namespace {

// Each file: a byte whose low four bits give the name's length, the name, and a 16-bit size.
std::vector<rw::MixMember> MembersOf(std::span<const uint8_t> in) {
    std::vector<rw::MixMember> members;
    size_t at = 0;
    while (at < in.size()) {
        const size_t length = in[at++] & 0x0F;
        if (in.size() - at < length + 2) break;
        std::string name(reinterpret_cast<const char*>(in.data() + at), length);
        at += length;
        const int64_t size = in[at] | in[at + 1] << 8;
        at += 2;
        if (auto id = rw::MixNameId(name)) members.push_back({name, *id, size, {}, 0});
    }
    return members;
}

// The bytes of the member at `index`: a pattern of its own.
std::vector<uint8_t> Content(size_t index, int64_t size) {
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(index * 31 + i);
    return bytes;
}

void CheckReadBack(const std::vector<rw::MixMember>& members,
                   const std::vector<std::vector<uint8_t>>& contents,
                   const std::vector<uint8_t>& archive) {
    auto table = rw::ParseMixTable(archive, static_cast<int64_t>(archive.size()), "fuzz.mix");
    if (!table || table->layout != rw::MixTable::Layout::Classic || !table->skipped.empty() ||
        table->declaredEntries != members.size() || table->entries.size() != members.size()) {
        std::abort();
    }
    std::map<uint32_t, size_t> byId;
    for (size_t i = 0; i < members.size(); ++i) byId[members[i].id] = i;
    int64_t dataSize = 0;
    for (size_t k = 0; k < table->entries.size(); ++k) {
        const rw::MixEntry& e = table->entries[k];
        if (k > 0 && static_cast<int32_t>(table->entries[k - 1].id) >= static_cast<int32_t>(e.id))
            std::abort();
        const std::vector<uint8_t>& want = contents[byId.at(e.id)];
        if (e.length != static_cast<int64_t>(want.size()) ||
            !std::equal(want.begin(), want.end(), archive.begin() + e.offset)) {
            std::abort();
        }
        dataSize += e.length;
    }
    const uint32_t field =
        archive[2] | archive[3] << 8 | archive[4] << 16 | static_cast<uint32_t>(archive[5]) << 24;
    if (field != dataSize || archive.size() != 6 + 12 * members.size() + dataSize) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<rw::MixMember> members = MembersOf({data, size});
    std::vector<std::vector<uint8_t>> contents;
    std::map<std::string, size_t> indexOf;
    for (const rw::MixMember& m : members) {
        indexOf[m.name] = contents.size();
        contents.push_back(Content(contents.size(), m.length));
    }
    bool sharedId = false;
    std::map<uint32_t, int> ids;
    for (const rw::MixMember& m : members) sharedId |= ++ids[m.id] > 1;

    rw::MemoryOutputFile out("fuzz.mix");
    auto written = rw::WriteMixArchive(
        out, members, [&](const rw::MixMember& m) -> rw::Expected<std::unique_ptr<rw::InputFile>> {
            return std::unique_ptr<rw::InputFile>(
                std::make_unique<rw::MemoryInputFile>(contents[indexOf.at(m.name)], m.name));
        });
    if (sharedId || members.empty()) {
        const char* why = sharedId ? "have the same id" : "at least one file";
        if (written || written.error().message.find(why) == std::string::npos) std::abort();
        return 0;
    }
    if (!written) std::abort();
    CheckReadBack(members, contents, out.Data());
    return 0;
}
