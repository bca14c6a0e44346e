#include "cli/pack_mode.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <unordered_map>

#include "cli/cli_console.h"
#include "cli/cli_interrupt.h"
#include "cli/cli_sources.h"
#include "mix/mix_archive.h"
#include "mix/mix_names.h"
#include "platform/file.h"

namespace rw::cli {
namespace fs = std::filesystem;
namespace {

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

// The progress line on a terminal, drawn by the command line's console (ten times a second at
// most); Ctrl+C stops the write.
class PackProgress final : public MixWriteObserver {
  public:
    explicit PackProgress(Console& console) : m_console(console) {}

    void OnProgress(int64_t done, int64_t total) override {
        char line[96];
        std::snprintf(line, sizeof line, "packing %3d%%  %lld of %lld MB",
                      static_cast<int>(total > 0 ? done * 100 / total : 100),
                      static_cast<long long>(done >> 20), static_cast<long long>(total >> 20));
        m_console.Progress(0, line, false);
    }
    bool CancelRequested() override { return Interrupted(); }
    void Clear() { m_console.Clear(); }

  private:
    Console& m_console;
};

// A file to add, stored under its own name.
Expected<MixMember> NewFile(const std::string& path) {
    const std::string cannot = "Cannot pack " + Quoted(path) + ": ";
    const std::string name = fs::path(path).filename().string();
    if (std::string why = MixFileNameProblem(name); !why.empty()) return Error{cannot + why};
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (!fs::exists(status)) return Error{cannot + (ec ? ec.message() : "no such file")};
    if (!fs::is_regular_file(status)) return Error{cannot + "it is not a regular file"};
    const uintmax_t size = fs::file_size(path, ec);
    if (ec) return Error{cannot + ec.message()};
    if (size > static_cast<uintmax_t>(kMaxMixDataBytes)) {
        return Error{cannot + "it holds " + std::to_string(size) + " bytes; an archive holds at " +
                     "most " + std::to_string(kMaxMixDataBytes)};
    }
    return MixMember{path, *MixNameId(name), static_cast<int64_t>(size), path, 0};
}

// The entries of an existing archive, in the order of their bytes.
Expected<std::vector<MixMember>> ExistingEntries(const std::string& archive) {
    const std::string cannot = "Cannot pack into " + Quoted(archive) + ": ";
    DiskInputFile file;
    if (auto r = file.Open(archive); !r) return r.error();
    auto table = ReadMixTable(file);
    if (!table) return table.error();
    if (table->layout != MixTable::Layout::Classic) {
        return Error{cannot +
                     "it has the layout of a later game, whose names have other ids; "
                     "only archives of the first game's layout can be written"};
    }
    if (!table->skipped.empty()) {
        return Error{cannot + "its table is damaged (" + table->skipped.front() + ")"};
    }
    std::vector<MixEntry> entries = table->entries;
    std::stable_sort(entries.begin(), entries.end(),
                     [](const MixEntry& a, const MixEntry& b) { return a.offset < b.offset; });
    std::vector<MixMember> members;
    for (const MixEntry& e : entries) {
        members.push_back(
            {archive + " entry " + std::to_string(e.number) + " (id " + MixIdText(e.id) + ")", e.id,
             e.length, archive, e.offset});
    }
    return members;
}

std::string Stored(const MixMember& file) {
    std::string name = fs::path(file.name).filename().string();
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return name + " (id " + MixIdText(file.id) + ")";
}

}  // namespace

Expected<PackPlan> PlanPack(const std::string& archive, const std::vector<std::string>& files) {
    std::vector<MixMember> added;
    for (const std::string& path : files) {
        auto file = NewFile(path);
        if (!file) return file.error();
        added.push_back(std::move(*file));
    }
    const std::string cannot = "Cannot pack into " + Quoted(archive) + ": ";
    if (auto r = CheckMixMembers(added); !r) return Error{cannot + r.error().message};
    PackPlan plan;
    std::vector<bool> placed(added.size(), false);
    std::unordered_map<uint32_t, size_t> byId;  // the ids are unique once checked
    for (size_t i = 0; i < added.size(); ++i) byId.emplace(added[i].id, i);
    std::error_code ec;
    if (fs::exists(archive, ec)) {
        auto existing = ExistingEntries(archive);
        if (!existing) return existing.error();
        for (MixMember& entry : *existing) {
            const auto found = byId.find(entry.id);
            if (found == byId.end()) {
                plan.members.push_back(std::move(entry));
                continue;
            }
            placed[found->second] = true;
            const auto same = added.begin() + static_cast<ptrdiff_t>(found->second);
            plan.lines.push_back("Replaced " + Stored(*same) + " with " + Quoted(same->name));
            plan.members.push_back(*same);
        }
    }
    for (size_t i = 0; i < added.size(); ++i) {
        if (placed[i]) continue;
        plan.lines.push_back("Added " + Quoted(added[i].name) + " as " + Stored(added[i]));
        plan.members.push_back(added[i]);
    }
    if (auto r = CheckMixMembers(plan.members); !r) return Error{cannot + r.error().message};
    return plan;
}

int RunPackCommand(const std::string& archive, const std::vector<std::string>& files,
                   Console& console) {
    const std::string prefix = std::string(kProgram) + ": ";
    auto plan = PlanPack(archive, files);
    if (!plan) {
        console.Err(prefix + plan.error().message + "; nothing was written");
        return 1;
    }
    // An existing archive is updated (--pack replaces it by design); its folder must exist.
    if (auto why = CheckNewOutput(archive, true)) {
        console.Err(prefix + "Cannot write " + Quoted(archive) + ": " + *why +
                    "; nothing was written");
        return 1;
    }
    PackProgress progress(console);
    auto written = WriteMixArchiveFile(archive, plan->members, &progress);
    progress.Clear();
    if (!written) {
        const bool stopped = Interrupted();
        console.Err(prefix + (stopped ? "interrupted" : written.error().message) + "; " +
                    Quoted(archive) + " was left as it was");
        return stopped ? InterruptedExitStatus() : 1;
    }
    for (const std::string& line : plan->lines) console.Out(line);
    int64_t bytes = 0;
    for (const MixMember& m : plan->members) bytes += m.length;
    console.Out("Wrote " + Quoted(archive) + ": " + std::to_string(plan->members.size()) +
                " files, " + std::to_string(bytes) + " bytes of data");
    return 0;
}

}  // namespace rw::cli
