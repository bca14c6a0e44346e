// reelwright-cli --pack: files packed into a MIX archive under their own names, as a new archive or
// a new version of an existing one.
#pragma once

#include <string>
#include <vector>

#include "cli/cli_console.h"
#include "mix/mix_writer.h"
#include "platform/expected.h"

namespace rw::cli {

struct PackPlan {
    std::vector<MixMember> members;  // the new archive's files, in the order they are stored
    std::vector<std::string> lines;  // what is added and replaced, one line each
};

// The files of the new version of `archive`: its entries kept in place, those whose ids the new
// files have replaced by them, the others added at the end. Refuses, naming the file, names that
// are not 8.3 names, files that are missing or not regular files, two files with one id, and an
// archive that cannot be read, is damaged or has the later games' layout.
Expected<PackPlan> PlanPack(const std::string& archive, const std::vector<std::string>& files);

// Packs `files` into `archive`; returns the exit status (0 done, 1 failed, 130 interrupted). The
// outcome and the progress go to `console`.
int RunPackCommand(const std::string& archive, const std::vector<std::string>& files,
                   Console& console);

}  // namespace rw::cli
