// The one table of reelwright-cli's options: each option's names, whether it takes a value, the
// modes that accept it, its lines in --help, and how it is taken into the parsed command line.
#pragma once

#include <array>
#include <span>
#include <string>

#include "cli/cli_options.h"

namespace rw::cli {

using ModeSet = unsigned;
constexpr ModeSet Modes(Mode mode) {
    return 1u << static_cast<unsigned>(mode);
}
constexpr ModeSet kConverting =
    Modes(Mode::Convert) | Modes(Mode::Info) | Modes(Mode::Frames) | Modes(Mode::Thumbnail);
constexpr ModeSet kExporting = Modes(Mode::Frames) | Modes(Mode::Thumbnail);
constexpr ModeSet kEveryMode = kConverting | Modes(Mode::Encode) | Modes(Mode::Pack);

struct Option {
    std::array<const char*, 2> names{};  // one or two spellings ("-j", "--jobs")
    // What its value is, for "--size wants a number"; null for an option without a value. A value
    // follows as the next argument or after "=" ("--jobs=2"), and right after a one-letter name
    // ("-j2").
    const char* wants = nullptr;
    bool emptyIsMissing = false;  // an empty value is refused as a missing one
    ModeSet modes = 0;            // the modes that accept it
    bool selectsMode = false;     // giving it chooses its mode (--info, --frames, --encode...)
    // The refusal in `refusedIn` (modes of its family that do not accept it); null: the usual
    // "--json goes with --info" or "--force does not go with --info".
    const char* refusal = nullptr;
    ModeSet refusedIn = 0;
    // Modes of its family that take it without using it (a note says so), as they always have.
    ModeSet ignoredIn = 0;
    Expected<void> (*take)(CliOptions& options, const std::string& value) = nullptr;
    const char* help = nullptr;           // its lines in --help; null: none
    std::string (*moreHelp)() = nullptr;  // lines made when --help is shown, after `help`
};

// Every option, in the order --help shows them.
std::span<const Option> OptionTable();

// The option spelled `name` that is accepted in one of `family`'s modes; null when there is none.
const Option* FindOption(const std::string& name, ModeSet family);

// The option of `mode` that chooses it ("--info"), for messages.
const char* ModeOption(Mode mode);

}  // namespace rw::cli
