// reelwright-cli --encode: AVI files and folders of PNG frames made into VQA videos.
#pragma once

#include <string>

#include "cli/cli_console.h"
#include "encode_job/encode_job.h"

namespace rw::cli {

struct EncodeCommand {
    std::string input;
    EncodeJobOptions options;
    std::string outputDir;  // -o DIR: the folder options.output is in, created if missing
};

// Encodes; returns the exit status (0 done, 1 failed, 130 interrupted). The outcome and the
// progress go to `console`.
int RunEncodeCommand(const EncodeCommand& command, Console& console);

}  // namespace rw::cli
