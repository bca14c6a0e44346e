#include "cli/cli_options.h"

#include <algorithm>
#include <filesystem>
#include <optional>
#include <system_error>

#include "cli/cli_option_table.h"
#include "cli/cli_sources.h"
#include "mix/mix_archive.h"
#include "platform/file_names.h"

namespace rw::cli {
namespace fs = std::filesystem;
namespace {

constexpr ModeSet kEncodeFamily = Modes(Mode::Encode);
constexpr ModeSet kPackFamily = Modes(Mode::Pack);

bool HasVqaExtension(const fs::path& path) {
    return HasFileExtension(path, ".vqa") || HasMixExtension(path);
}

// An option as given: its line of the table and its spelling ("-j" for "-j2").
struct Given {
    const Option* option = nullptr;
    std::string name;
    std::optional<std::string> value;  // given in the same argument ("--jobs=2", "-j2")
};

// The option an argument names in `family`'s modes, with the value it carries.
Given Recognise(const std::string& a, ModeSet family) {
    if (const Option* o = FindOption(a, family)) return {o, a, std::nullopt};
    if (const size_t eq = a.find('='); eq != std::string::npos) {
        const std::string name = a.substr(0, eq);
        if (const Option* o = FindOption(name, family); o && o->wants) {
            return {o, name, a.substr(eq + 1)};
        }
    }
    if (a.size() > 2 && a[1] != '-') {  // "-j2"
        const std::string name = a.substr(0, 2);
        if (const Option* o = FindOption(name, family); o && o->wants)
            return {o, name, a.substr(2)};
    }
    return {};
}

// The modes of a command line: --encode's or --pack's (given before "--"), or the others'.
ModeSet FamilyOf(std::span<const std::string> args) {
    for (ModeSet family : {kEncodeFamily, kPackFamily}) {
        for (const std::string& a : args) {
            if (a == "--") break;
            const Given given = Recognise(a, family);
            if (given.option && given.option->selectsMode) return family;
        }
    }
    return kConverting;
}

// Takes args[i], an option, with its value (i then points at the value).
Expected<void> TakeOption(std::span<const std::string> args, size_t& i, ModeSet family,
                          CliOptions& o, std::vector<Given>& taken) {
    const std::string& a = args[i];
    Given given = Recognise(a, family);
    if (!given.option) {
        if (family == kConverting) return Error{"unknown option \"" + a + "\""};
        return Error{"unknown option or extra argument \"" + a + "\" with " +
                     ModeOption(family == kEncodeFamily ? Mode::Encode : Mode::Pack)};
    }
    const Option& option = *given.option;
    std::string value;
    if (option.wants != nullptr) {
        if (given.value) {
            value = *given.value;
        } else if (i + 1 < args.size()) {
            value = args[++i];
        } else {
            return Error{given.name + " wants " + option.wants};
        }
        if (value.empty() && option.emptyIsMissing) {
            return Error{given.name + " wants " + option.wants};
        }
    }
    if (auto r = option.take(o, value); !r) return r;
    taken.push_back(std::move(given));
    return {};
}

// Why an option is refused in `mode`: "--size goes with --thumbnail", "--force does not go with
// --info".
std::string Refusal(const Given& given, Mode mode) {
    const Option& option = *given.option;
    if (option.refusal != nullptr && (option.refusedIn & Modes(mode)) != 0) return option.refusal;
    if ((option.modes & Modes(Mode::Convert)) != 0) {
        return given.name + " does not go with " + ModeOption(mode);
    }
    std::string with;
    for (Mode m : {Mode::Info, Mode::Frames, Mode::Thumbnail}) {
        if ((option.modes & Modes(m)) == 0) continue;
        with += (with.empty() ? "" : " or ") + std::string(ModeOption(m));
    }
    return given.name + " goes with " + with;
}

// The quality checked against the chosen format: within its range, and none for mkv.
Expected<void> CheckOutputOptions(const OutputOptions& options) {
    const int q = options.settings.quality;
    if (!options.format || q == CompressedSettings{}.quality) return {};
    const CompressedFormatInfo& info = FormatInfo(*options.format);
    if (info.defaultQuality < 0) {
        return Error{std::string("--quality does not apply to ") + info.name +
                     ", which is lossless"};
    }
    if (q < info.bestQuality || q > info.worstQuality) {
        return Error{std::string("--quality for ") + info.name + " wants a number from " +
                     std::to_string(info.bestQuality) + " to " + std::to_string(info.worstQuality) +
                     ", not " + std::to_string(q)};
    }
    return {};
}

// The mode the options choose: converting, --info, --frames or --thumbnail.
Expected<Mode> ChooseMode(const std::vector<Given>& taken) {
    ModeSet chosen = 0;
    for (const Given& g : taken) {
        if (g.option->selectsMode) chosen |= g.option->modes;
    }
    if ((chosen & kExporting) == kExporting) {
        return Error{"--frames and --thumbnail cannot be used together"};
    }
    if ((chosen & Modes(Mode::Info)) != 0 && (chosen & kExporting) != 0) {
        return Error{"--info cannot be used with --frames or --thumbnail"};
    }
    for (Mode m : {Mode::Info, Mode::Frames, Mode::Thumbnail}) {
        if ((chosen & Modes(m)) != 0) return m;
    }
    return Mode::Convert;
}

// -o PATH made into the output file or the output folder (see ParseArguments); `extension` is the
// one a conversion writes.
Expected<void> ResolveOutput(CliOptions& o, const std::string& extension) {
    if (o.output.empty()) return {};
    if (!o.outputDir.empty()) return Error{"-o and --output-dir cannot be used together"};
    std::error_code ec;
    const bool oneOutput =
        o.inputs.size() == 1 && !fs::is_directory(o.inputs[0], ec) && !HasMixExtension(o.inputs[0]);
    if (!oneOutput || fs::is_directory(o.output, ec) || fs::path(o.output).extension().empty()) {
        o.outputDir = o.output;
        return {};
    }
    if (!HasExtension(o.output, extension)) {
        return Error{"-o \"" + o.output + "\": a conversion writes a " + extension +
                     " file; give a name ending in " + extension + ", or a folder"};
    }
    o.outputFile = o.output;
    return {};
}

// The checks of converting, --info, --frames and --thumbnail once every option is taken.
Expected<void> CheckConverting(CliOptions& o, const std::vector<Given>& taken) {
    if (o.inputs.empty()) return Error{"no VQA file or folder given"};
    auto mode = ChooseMode(taken);
    if (!mode) return mode.error();
    o.mode = *mode;
    for (const Given& g : taken) {
        if ((g.option->modes & Modes(o.mode)) != 0) continue;
        if ((g.option->ignoredIn & Modes(o.mode)) == 0) return Error{Refusal(g, o.mode)};
        o.notes.push_back(g.name + " has no effect with " + ModeOption(o.mode));
    }
    if (auto r = CheckOutputOptions(o.target); !r) return r.error();
    if (o.mode == Mode::Thumbnail && !HasExtension(o.exports.thumbnail, ".png")) {
        return Error{"--thumbnail writes a PNG picture: give a name ending in .png, not \"" +
                     o.exports.thumbnail + "\""};
    }
    if ((o.mode == Mode::Frames || o.mode == Mode::Thumbnail) && o.inputs.size() != 1) {
        return Error{std::string(ModeOption(o.mode)) + " wants exactly one VQA file"};
    }
    return ResolveOutput(o, o.target.format ? FormatInfo(*o.target.format).extension : ".avi");
}

// --encode's -o PATH made into the output file, or a folder and the file in it.
Expected<void> CheckEncoding(EncodeCommand& c) {
    if (c.input.empty()) return Error{"--encode wants an AVI file or a folder of PNG frames"};
    const std::string& path = c.options.output;
    std::error_code ec;
    if (path.empty()) return {};
    if (fs::is_directory(path, ec) || fs::path(path).extension().empty()) {
        c.outputDir = path;
        c.options.output = (fs::path(path) / fs::path(VqaPathFor(c.input)).filename()).string();
        return {};
    }
    if (!HasExtension(path, ".vqa")) {
        return Error{"-o \"" + path +
                     "\": --encode writes a .vqa file; give a name ending in .vqa, or a folder"};
    }
    return {};
}

}  // namespace

Expected<CliOptions> ParseArguments(std::span<const std::string> args) {
    const ModeSet family = FamilyOf(args);
    CliOptions o;
    std::vector<Given> taken;
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool positional = optionsEnded || a.empty() || a[0] != '-' || a == "-";
        if (family != kEncodeFamily && positional) {
            o.inputs.push_back(a);
        } else if (family != kEncodeFamily && a == "--") {
            optionsEnded = true;
        } else if (auto r = TakeOption(args, i, family, o, taken); !r) {
            return r.error();
        }
    }
    if (family == kEncodeFamily) o.mode = Mode::Encode;
    if (family == kPackFamily) o.mode = Mode::Pack;
    if (o.help || o.version) return o;
    if (family == kEncodeFamily) {
        if (auto r = CheckEncoding(o.encode); !r) return r.error();
    } else if (family == kPackFamily) {
        if (o.archive.empty() || o.inputs.empty()) {
            return Error{"--pack wants an archive and at least one file"};
        }
    } else if (auto r = CheckConverting(o, taken); !r) {
        return r.error();
    }
    return o;
}

ExpandedInputs ExpandInputs(const std::vector<std::string>& inputs) {
    ExpandedInputs out;
    for (const std::string& input : inputs) {
        std::error_code ec;
        if (!fs::is_directory(input, ec)) {
            out.files.push_back(input);  // a missing file is reported when it is opened
            continue;
        }
        std::vector<std::string> found;
        for (fs::directory_iterator it(input, ec), end; !ec && it != end; it.increment(ec)) {
            std::error_code typeError;
            if (it->is_regular_file(typeError) && HasVqaExtension(it->path())) {
                found.push_back(it->path().string());
            }
        }
        if (ec) {
            out.errors.push_back("Cannot read the folder \"" + input + "\": " + ec.message());
            continue;
        }
        if (found.empty()) {
            out.errors.push_back("The folder \"" + input + "\" holds no .vqa or .mix files");
            continue;
        }
        std::sort(found.begin(), found.end());
        out.files.insert(out.files.end(), found.begin(), found.end());
    }
    return out;
}

namespace {

constexpr const char* kConvertUsage =
    "Usage: reelwright-cli [options] FILE.vqa|ARCHIVE.mix|FOLDER...\n"
    "       reelwright-cli --frames DIR [--force] FILE.vqa\n"
    "       reelwright-cli --thumbnail OUT.png [--size N] FILE.vqa\n"
    "Converts VQA videos into uncompressed AVI files. Each FILE.vqa becomes FILE.avi beside\n"
    "it (a name not ending in .vqa gets .avi added: intro becomes intro.avi). An existing\n"
    "output is never replaced unless --force is given. Every VQA video inside\n"
    "a MIX archive is converted into ARCHIVE-NNNN-IIIIIIII.avi beside the archive (NNNN:\n"
    "the entry's number, counted from 1; IIIIIIII: its id in hexadecimal); entries that\n"
    "are not VQA videos are skipped. A FOLDER stands for the .vqa and .mix files in it.\n"
    "\n";
constexpr const char* kConvertEnd =
    "\n"
    "A file is written under its final name only when it is complete. Frames are counted\n"
    "from 1 in every message. Exit status: 0 when every file converted, 1 when any failed\n"
    "or its output existed already, 2 for a usage error, 130 when interrupted (Ctrl-C),\n"
    "143 when terminated (SIGTERM). A conversion's option has no effect with --info,\n"
    "--frames or --thumbnail (a note says so); other options out of their mode are usage\n"
    "errors. An option's value may follow it after = as well (--frames=DIR).\n";
constexpr const char* kEncodeUsage =
    "Usage: reelwright-cli --encode INPUT [-o FILE.vqa] [--force] [--block 4x2|4x4]\n"
    "                      [--quality fast|normal|best]\n"
    "Encodes an uncompressed AVI file, or a folder of PNG frames with an optional WAV file,\n"
    "into a VQA video at 15 frames per second with mono 22050 Hz sound. The frames are\n"
    "taken in natural name order, numbers compared as numbers: frame2.png comes before\n"
    "frame10.png, as ffmpeg's %d names them (\"ffmpeg -i in.mp4 dir/frame%d.png\").\n"
    "INPUT movie.avi becomes movie.vqa beside it; a FOLDER becomes FOLDER.vqa.\n"
    "\n";
constexpr const char* kPackUsage =
    "Usage: reelwright-cli --pack ARCHIVE.MIX FILE...\n"
    "Packs the files into a MIX archive of the first game's layout under their own names\n"
    "(8.3 names in any case; the game finds them by the id made from the name). A new\n"
    "ARCHIVE.MIX is created when it does not exist. An existing one gets a new version:\n"
    "entries of the same names are replaced, new names added, and every other entry kept\n"
    "byte for byte. The archive is replaced only once the new version is complete.\n";

// The help lines of the options of one part of --help: converting and its modes, or --encode.
std::string OptionsHelp(ModeSet part) {
    std::string text;
    for (const Option& option : OptionTable()) {
        const ModeSet in = (option.modes & kConverting) != 0 ? kConverting : option.modes;
        if (in != part || option.help == nullptr) continue;
        text += option.help;
        if (option.moreHelp != nullptr) text += option.moreHelp();
    }
    return text;
}

}  // namespace

std::string HelpText(Mode mode) {
    const std::string encoding = kEncodeUsage + OptionsHelp(kEncodeFamily);
    if (mode == Mode::Encode) return encoding;
    if (mode == Mode::Pack) return kPackUsage;
    return kConvertUsage + OptionsHelp(kConverting) + kConvertEnd + "\n" + encoding + "\n" +
           kPackUsage;
}

}  // namespace rw::cli
