// reelwright-cli --pack: files packed into a MIX archive under their own names, as a new archive or
// a new version of an existing one.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "mix/mix_writer.h"
#include "platform/expected.h"

namespace rw::cli {

// True when the arguments ask for packing (--pack anywhere before "--").
bool IsPackCommand(std::span<const std::string> args);

struct PackPlan {
    std::vector<MixMember> members;  // the new archive's files, in the order they are stored
    std::vector<std::string> lines;  // what is added and replaced, one line each
};

// The files of the new version of `archive`: its entries kept in place, those whose ids the new
// files have replaced by them, the others added at the end. Refuses, naming the file, names that
// are not 8.3 names, files that are missing or not regular files, two files with one id, and an
// archive that cannot be read, is damaged or has the later games' layout.
Expected<PackPlan> PlanPack(const std::string& archive, const std::vector<std::string>& files);

// Parses and runs a packing command line; returns the exit status (0 done, 1 failed, 2 usage
// error, 130 interrupted).
int RunPackCommand(std::span<const std::string> args);
// The lines --help shows.
std::string PackHelpText();

}  // namespace rw::cli
