// reelwright-cli --encode: AVI files and folders of PNG frames made into VQA videos.
#pragma once

#include <span>
#include <string>

#include "encode_job/encode_job.h"
#include "platform/expected.h"

namespace rw::cli {

struct EncodeCommand {
    std::string input;
    EncodeJobOptions options;
    std::string outputDir;  // -o DIR: the folder options.output is in, created if missing
};

// True when the arguments ask for encoding (--encode anywhere before "--").
bool IsEncodeCommand(std::span<const std::string> args);
// Parses an encoding command line; an error names the offending argument. -o PATH names the VQA
// file when PATH has an extension (which must be .vqa) and is not an existing folder; otherwise the
// folder the input's VQA file is written into, created if missing.
Expected<EncodeCommand> ParseEncodeArguments(std::span<const std::string> args);
// Runs it; returns the exit status (0 done, 1 failed, 2 usage error, 130 interrupted).
int RunEncodeCommand(std::span<const std::string> args);
// The options' lines for --help.
std::string EncodeHelpText();

}  // namespace rw::cli
