// Command-line parsing for reelwright-cli, and the checks made before any conversion starts.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "cli/export_mode.h"
#include "cli/output_options.h"
#include "platform/expected.h"

namespace rw::cli {

inline constexpr int kMaxJobs = 64;

struct CliOptions {
    bool help = false;
    bool version = false;
    bool info = false;                // print the properties instead of converting
    bool json = false;                // --info as one JSON object a line
    int jobs = 1;                     // conversions running at once
    std::vector<std::string> inputs;  // files and folders, as given
    std::string outputDir;   // where every output goes; empty: beside its source (or outputFile)
    std::string outputFile;  // -o FILE.avi for the one video converted; empty: none
    std::string output;      // -o PATH as given: becomes outputFile or outputDir
    std::string namesList;   // --names: candidate names of archive entries; empty: none
    ExportOptions exports;   // --frames, --thumbnail and their options; its `force` (--force)
                             // goes with converting too
    OutputOptions target;    // --to and the compressed formats' options
};

// Parses the arguments after the program name. An error names the offending argument. -o PATH
// names the output file when one loose video is converted and PATH, not an existing folder, has an
// extension (which must then be .avi); otherwise it names the folder of every output, created if
// missing, as --output-dir does.
Expected<CliOptions> ParseArguments(std::span<const std::string> args);

struct ExpandedInputs {
    std::vector<std::string> files;   // VQA files to work on, in order
    std::vector<std::string> errors;  // one line each: a path that is missing, an empty folder
};
// A folder stands for the .vqa and .mix files directly in it (any case of the extension), sorted
// by name; anything else is taken as a file.
ExpandedInputs ExpandInputs(const std::vector<std::string>& inputs);

std::string HelpText();

}  // namespace rw::cli
