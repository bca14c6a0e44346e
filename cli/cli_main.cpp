// reelwright-cli: converts VQA videos into AVI files from a terminal, with the same conversion run
// as the desktop program. This file reads the command line and starts its mode; each mode lives
// in its own file (convert_mode, info_mode, export_mode, encode_mode, pack_mode).
#include <unistd.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "cli/cli_console.h"
#include "cli/cli_interrupt.h"
#include "cli/cli_options.h"
#include "cli/convert_mode.h"
#include "cli/encode_mode.h"
#include "cli/export_mode.h"
#include "cli/pack_mode.h"
#include "mix/mix_names.h"

#ifndef RW_VERSION
#define RW_VERSION "unknown"
#endif

namespace rw::cli {
namespace {

// The list of names given with --names (none when `path` is empty), the names left out of it said
// as warnings. False when it cannot be read.
bool LoadNames(const std::string& path, Console& console, std::optional<MixNameList>& names) {
    if (path.empty()) return true;
    auto list = ReadMixNameList(path);
    if (!list) {
        console.Err(std::string(kProgram) + ": " + list.error().message);
        return false;
    }
    for (const std::string& p : list->problems) {
        console.Err(std::string(kProgram) + ": warning: " + p);
    }
    names = std::move(*list);
    return true;
}

// Runs the mode the command line asks for; returns the exit status.
int RunMode(const CliOptions& options, Console& console) {
    if (options.mode == Mode::Encode) return RunEncodeCommand(options.encode, console);
    if (options.mode == Mode::Pack) return RunPackCommand(options.archive, options.inputs, console);
    std::optional<MixNameList> names;
    if (!LoadNames(options.namesList, console, names)) return kExitFailed;
    const MixNames* known = names ? &names->names : nullptr;
    if (options.mode == Mode::Frames || options.mode == Mode::Thumbnail) {
        return RunExport(options.exports, options.inputs.front(), console, known);
    }
    return RunConversions(options, console, known);
}

int Main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    const auto options = ParseArguments(args);
    if (!options) {
        std::fprintf(stderr, "%s: %s\nTry '%s --help'.\n", kProgram,
                     options.error().message.c_str(), kProgram);
        return kExitUsage;
    }
    if (options->help) {
        std::fputs(HelpText(options->mode).c_str(), stdout);
        return kExitOk;
    }
    if (options->version) {
        std::printf("%s %s\n", kProgram, RW_VERSION);
        return kExitOk;
    }
    for (const std::string& note : options->notes) {
        std::fprintf(stderr, "%s: note: %s\n", kProgram, note.c_str());
    }
    // Ctrl-C and SIGTERM stop every mode before its next frame or block (--info ends at once).
    if (options->mode != Mode::Info) InstallInterruptHandlers();
    Console console(isatty(STDERR_FILENO) == 1);
    return RunMode(*options, console);
}

}  // namespace
}  // namespace rw::cli

int main(int argc, char** argv) {
    return rw::cli::Main(argc, argv);
}
