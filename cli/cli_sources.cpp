#include "cli/cli_sources.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>
#include <optional>
#include <system_error>

#include "mix/mix_archive.h"
#include "run/output_names.h"

namespace rw::cli {
namespace fs = std::filesystem;
namespace {

// The name under which two paths are compared: absolute and normalised, with symbolic links of
// the existing part resolved.
std::string Canonical(const std::string& path) {
    std::error_code ec;
    fs::path p = fs::weakly_canonical(fs::absolute(path, ec), ec);
    return ec ? fs::absolute(path).lexically_normal().string() : p.string();
}

constexpr size_t kProblemsShownPerArchive = 5;

std::string InFolder(const std::string& folder, const std::string& fileName) {
    return (fs::path(folder) / fileName).string();
}

void PlanArchive(const std::string& archive, const std::string& outputDir, const MixNames* names,
                 PlannedJobs& plan) {
    auto contents = ListArchiveVideos(archive, names);
    if (!contents) {
        plan.failures.push_back(contents.error().message);
        return;
    }
    // The first few of an archive's problems, and how many more there are.
    const std::vector<std::string>& problems = contents->problems;
    const size_t shown = std::min(problems.size(), kProblemsShownPerArchive);
    plan.failures.insert(plan.failures.end(), problems.begin(), problems.begin() + shown);
    if (problems.size() > shown) {
        plan.failures.push_back("\"" + archive + "\": " + std::to_string(problems.size() - shown) +
                                " more damaged entries skipped");
    }
    if (std::string line = OtherFilesLine(*contents); !line.empty()) plan.notes.push_back(line);
    const std::string folder =
        outputDir.empty() ? fs::path(archive).parent_path().string() : outputDir;
    for (const ArchiveVideo& video : contents->videos) {
        const std::string name = ArchiveOutputFileName(video);
        plan.jobs.push_back({video.source, folder.empty() ? name : InFolder(folder, name), video});
    }
}

}  // namespace

PlannedJobs PlanJobs(const std::vector<std::string>& files, const std::string& outputDir,
                     const MixNames* names) {
    PlannedJobs plan;
    for (const std::string& file : files) {
        if (HasMixExtension(file)) {
            PlanArchive(file, outputDir, names, plan);
            continue;
        }
        const std::string beside = OutputPathFor(file, ".avi");
        const std::string avi =
            outputDir.empty() ? beside : InFolder(outputDir, fs::path(beside).filename().string());
        plan.jobs.push_back({LooseSource(file), avi, std::nullopt});
    }
    return plan;
}

std::vector<std::string> FindOutputClashes(const std::vector<ConversionJob>& jobs) {
    std::vector<std::string> clashes;
    std::map<std::string, std::string> inputByName;  // canonical input file -> as given
    for (const ConversionJob& j : jobs)
        inputByName.emplace(Canonical(j.source.file), j.source.file);
    std::map<std::string, std::string> outputs;  // canonical AVI path -> the video writing it
    for (const ConversionJob& j : jobs) {
        const std::string key = Canonical(j.aviPath);
        auto [it, inserted] = outputs.emplace(key, j.source.name);
        if (!inserted) {
            clashes.push_back("\"" + it->second + "\" and \"" + j.source.name +
                              "\" would both write \"" + j.aviPath + "\"");
            continue;
        }
        auto input = inputByName.find(key);
        if (input != inputByName.end() && input->first != Canonical(j.source.file)) {
            clashes.push_back("the output \"" + j.aviPath + "\" of \"" + j.source.name +
                              "\" would replace the input \"" + input->second + "\"");
        }
    }
    return clashes;
}

bool HasExtension(const std::string& path, const std::string& extension) {
    if (path.size() < extension.size()) return false;
    return std::equal(extension.begin(), extension.end(), path.end() - extension.size(),
                      [](char a, char b) {
                          return std::tolower(static_cast<unsigned char>(a)) ==
                                 std::tolower(static_cast<unsigned char>(b));
                      });
}

std::string OutputPathFor(const std::string& vqaPath, const std::string& extension) {
    const bool vqa = HasExtension(vqaPath, ".vqa");
    return vqaPath.substr(0, vqaPath.size() - (vqa ? 4 : 0)) + extension;
}

std::optional<std::string> CheckNewOutput(const std::string& path, bool force) {
    std::error_code ec;
    const fs::path folder = fs::path(path).parent_path();
    if (!folder.empty() && fs::symlink_status(folder, ec).type() == fs::file_type::not_found) {
        return "the folder \"" + folder.string() + "\" does not exist";
    }
    if (!folder.empty() && !fs::is_directory(folder, ec)) {
        return "\"" + folder.string() + "\" is not a folder";
    }
    const fs::file_type type = fs::symlink_status(path, ec).type();
    if (type == fs::file_type::not_found) return std::nullopt;
    if (type == fs::file_type::directory) return "the output \"" + path + "\" is a folder";
    if (!force) return "\"" + path + "\" already exists; give --force to replace it";
    return std::nullopt;
}

Expected<void> PrepareOutputDir(const std::string& outputDir) {
    if (outputDir.empty()) return {};
    std::error_code ec;
    if (fs::is_directory(outputDir, ec)) return {};
    fs::create_directories(outputDir, ec);
    if (ec) return Error{"Cannot create the output folder \"" + outputDir + "\": " + ec.message()};
    return {};
}

}  // namespace rw::cli
