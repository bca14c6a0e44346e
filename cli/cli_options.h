// Command-line parsing for reelwright-cli: one table of options for every mode (cli_option_table),
// one parser, and the checks made before anything runs.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "cli/encode_mode.h"
#include "cli/export_mode.h"
#include "cli/output_options.h"
#include "platform/expected.h"

namespace rw::cli {

inline constexpr int kMaxJobs = 64;

// What a command line does: convert (the default), --info, --frames, --thumbnail, --encode or
// --pack. Each option is accepted in some of them.
enum class Mode { Convert, Info, Frames, Thumbnail, Encode, Pack };

struct CliOptions {
    Mode mode = Mode::Convert;
    bool help = false;
    bool version = false;
    bool json = false;                // --info as one JSON object a line
    int jobs = 1;                     // conversions running at once
    std::vector<std::string> inputs;  // files and folders, as given; --pack: the files to pack
    std::string outputDir;   // where every output goes; empty: beside its source (or outputFile)
    std::string outputFile;  // -o FILE.avi for the one video converted; empty: none
    std::string output;      // -o PATH as given: becomes outputFile or outputDir
    std::string namesList;   // --names: candidate names of archive entries; empty: none
    ExportOptions exports;   // --frames, --thumbnail and their options; its `force` (--force)
                             // goes with converting too
    OutputOptions target;    // --to and the compressed formats' options
    EncodeCommand encode;    // --encode INPUT and its options
    std::string archive;     // --pack ARCHIVE
    std::vector<std::string> notes;  // options given that have no effect in the mode
};

// Parses the arguments after the program name. An error names the offending argument, and an
// option given in a mode that does not use it names the mode. -o PATH names the output file when
// one loose video is converted (or encoded) and PATH, not an existing folder, has an extension
// (which must then be the mode's); otherwise it names the folder of every output, created if
// missing, as --output-dir does.
Expected<CliOptions> ParseArguments(std::span<const std::string> args);

struct ExpandedInputs {
    std::vector<std::string> files;   // VQA files to work on, in order
    std::vector<std::string> errors;  // one line each: a path that is missing, an empty folder
};
// A folder stands for the .vqa and .mix files directly in it (any case of the extension), sorted
// by name; anything else is taken as a file.
ExpandedInputs ExpandInputs(const std::vector<std::string>& inputs);

// What --help shows: every mode's options, or, for --encode and --pack, that mode's.
std::string HelpText(Mode mode = Mode::Convert);

}  // namespace rw::cli
