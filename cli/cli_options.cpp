#include "cli/cli_options.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <map>
#include <system_error>

#include "cli/cli_sources.h"
#include "cli/encode_mode.h"
#include "cli/pack_mode.h"
#include "mix/mix_archive.h"

namespace rw::cli {
namespace fs = std::filesystem;
namespace {

Expected<int> ParseJobs(const std::string& text) {
    int value = 0;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || ptr != end || value < 1 || value > kMaxJobs) {
        return Error{"--jobs wants a number from 1 to " + std::to_string(kMaxJobs) + ", not \"" +
                     text + "\""};
    }
    return value;
}

bool HasVqaExtension(const fs::path& path) {
    std::string ext = path.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext == ".vqa" || HasMixExtension(path);
}

// -o PATH made into the output file or the output folder (see ParseArguments); `extension` is the
// one a conversion writes.
Expected<void> ResolveOutput(CliOptions& o, const std::string& extension) {
    if (o.output.empty()) return {};
    if (o.exports.Any()) {
        return Error{
            "-o goes with converting and --encode; --frames and --thumbnail name their "
            "own output"};
    }
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

}  // namespace

Expected<CliOptions> ParseArguments(std::span<const std::string> args) {
    CliOptions o;
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (optionsEnded || a.empty() || a[0] != '-' || a == "-") {
            o.inputs.push_back(a);
        } else if (a == "--") {
            optionsEnded = true;
        } else if (a == "-h" || a == "--help") {
            o.help = true;
        } else if (a == "--version") {
            o.version = true;
        } else if (a == "--info") {
            o.info = true;
        } else if (a == "--json") {
            o.json = true;
        } else if (a == "-j" || a == "--jobs") {
            if (i + 1 >= args.size()) return Error{a + " wants a number"};
            auto jobs = ParseJobs(args[++i]);
            if (!jobs) return jobs.error();
            o.jobs = *jobs;
        } else if (a == "-o") {
            if (i + 1 >= args.size() || args[i + 1].empty()) return Error{a + " wants a path"};
            o.output = args[++i];
        } else if (a == "--output-dir") {
            if (i + 1 >= args.size() || args[i + 1].empty()) return Error{a + " wants a folder"};
            o.outputDir = args[++i];
        } else if (a.rfind("--output-dir=", 0) == 0 && a.size() > 13) {
            o.outputDir = a.substr(13);
        } else if (a == "--names") {
            if (i + 1 >= args.size() || args[i + 1].empty()) return Error{a + " wants a file"};
            o.namesList = args[++i];
        } else if (a.rfind("--names=", 0) == 0 && a.size() > 8) {
            o.namesList = a.substr(8);
        } else if (a.size() > 2 && a.rfind("-j", 0) == 0 && a[2] != '-') {
            auto jobs = ParseJobs(a.substr(a[2] == '=' ? 3 : 2));
            if (!jobs) return jobs.error();
            o.jobs = *jobs;
        } else if (a.rfind("--jobs=", 0) == 0) {
            auto jobs = ParseJobs(a.substr(7));
            if (!jobs) return jobs.error();
            o.jobs = *jobs;
        } else if (auto taken = ParseExportOption(args, i, o.exports)) {
            if (!*taken) return taken->error();
        } else if (auto given = ParseOutputOption(args, i, o.target)) {
            if (!*given) return given->error();
        } else {
            return Error{"unknown option \"" + a + "\""};
        }
    }
    if (!o.help && !o.version && o.inputs.empty()) return Error{"no VQA file or folder given"};
    if (o.json && !o.info) return Error{"--json goes with --info"};
    if (!o.help && !o.version) {
        if (o.target.format && o.exports.Any()) {
            return Error{"--to cannot be used with --frames or --thumbnail"};
        }
        if (auto r = CheckOutputOptions(o.target); !r) return r.error();
        if (auto r = CheckExportOptions(o.exports, o.inputs, o.info); !r) return r.error();
        const std::string extension =
            o.target.format ? FormatInfo(*o.target.format).extension : ".avi";
        if (auto r = ResolveOutput(o, extension); !r) return r.error();
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

std::string HelpText() {
    return "Usage: reelwright-cli [options] FILE.vqa|ARCHIVE.mix|FOLDER...\n"
           "       reelwright-cli --frames DIR [--force] FILE.vqa\n"
           "       reelwright-cli --thumbnail OUT.png [--size N] FILE.vqa\n"
           "Converts VQA videos into uncompressed AVI files. Each FILE.vqa becomes FILE.avi "
           "beside\n"
           "it (a name not ending in .vqa gets .avi added: intro becomes intro.avi). An existing\n"
           "output is never replaced unless --force is given. Every VQA video inside\n"
           "a MIX archive is converted into ARCHIVE-NNNN-IIIIIIII.avi beside the archive (NNNN:\n"
           "the entry's number, counted from 1; IIIIIIII: its id in hexadecimal); entries that\n"
           "are not VQA videos are skipped. A FOLDER stands for the .vqa and .mix files in it.\n"
           "\n"
           "  --info         show each video's properties and estimated output size (for an\n"
           "                 archive, the entry, id and size of each video); convert nothing\n"
           "  --json         with --info: one JSON object a line for each video (path, entry,\n"
           "                 frames, size, block size, frame rate, sound rate, channels and\n"
           "                 kind, colour depth, length, file size, estimated output size and\n"
           "                 damage found), or its path and error\n"
           "  -o PATH        one FILE.vqa converted: a PATH with an extension names the AVI\n"
           "                 file and must end in .avi; otherwise (an existing folder, a name\n"
           "                 without an extension, several inputs, a folder or an archive)\n"
           "                 PATH is the folder of every output, as --output-dir\n"
           "  --output-dir DIR\n"
           "                 write every output into DIR (created when the first output is\n"
           "                 written) instead of beside its source\n"
           "  -j, --jobs N   convert N files at once (1 to 64; default 1; also -jN, --jobs=N)\n"
           "  --names LIST   a text file of candidate names of archive entries, one a line (#\n"
           "                 starts a comment): an entry whose id matches a name is shown and\n"
           "                 converted under that name (INTRO.VQA becomes INTRO.avi)\n" +
           OutputHelpText() + ExportHelpText() +
           "  -h, --help     show this help\n"
           "  --version      show the version\n"
           "\n"
           "A file is written under its final name only when it is complete. Frames are counted\n"
           "from 1 in every message. Exit status: 0 when every file converted, 1 when any failed\n"
           "or its output existed already, 2 for a usage error, 130 when interrupted (Ctrl-C),\n"
           "143 when terminated (SIGTERM).\n" +
           EncodeHelpText() + PackHelpText();
}

}  // namespace rw::cli
