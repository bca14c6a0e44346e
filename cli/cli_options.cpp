#include "cli/cli_options.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <map>
#include <system_error>

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
        } else if (a == "-j" || a == "--jobs") {
            if (i + 1 >= args.size()) return Error{a + " wants a number"};
            auto jobs = ParseJobs(args[++i]);
            if (!jobs) return jobs.error();
            o.jobs = *jobs;
        } else if (a == "-o" || a == "--output-dir") {
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
        } else if (auto given = ParseOutputOption(args, i, o.output)) {
            if (!*given) return given->error();
        } else {
            return Error{"unknown option \"" + a + "\""};
        }
    }
    if (!o.help && !o.version && o.inputs.empty()) return Error{"no VQA file or folder given"};
    if (!o.help && !o.version) {
        if (o.output.format && o.exports.Any()) {
            return Error{"--to cannot be used with --frames or --thumbnail"};
        }
        if (o.output.format && o.exports.force) {  // --force with --to replaces outputs
            o.output.force = true;
            o.exports.force = false;
        }
        if (auto r = CheckOutputOptions(o.output); !r) return r.error();
        if (auto r = CheckExportOptions(o.exports, o.inputs, o.info); !r) return r.error();
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
           "it (the path without its last three characters, plus \"avi\"). Every VQA video inside\n"
           "a MIX archive is converted into ARCHIVE-NNNN-IIIIIIII.avi beside the archive (NNNN:\n"
           "the entry's number, counted from 1; IIIIIIII: its id in hexadecimal); entries that\n"
           "are not VQA videos are skipped. A FOLDER stands for the .vqa and .mix files in it.\n"
           "\n"
           "  --info         show each video's properties and estimated output size (for an\n"
           "                 archive, the entry, id and size of each video); convert nothing\n"
           "  -o, --output-dir DIR\n"
           "                 write every output into DIR (created if missing) instead of\n"
           "                 beside its source\n"
           "  -j, --jobs N   convert N files at once (1 to 64; default 1; also -jN, --jobs=N)\n"
           "  --names LIST   a text file of candidate names of archive entries, one a line (#\n"
           "                 starts a comment): an entry whose id matches a name is shown and\n"
           "                 converted under that name (INTRO.VQA becomes INTRO.avi)\n" +
           OutputHelpText() + ExportHelpText() +
           "  -h, --help     show this help\n"
           "  --version      show the version\n"
           "\n"
           "A file is written under its final name only when it is complete. Frames are counted\n"
           "from 1 in every message. Exit status: 0 when every file converted, 1 when any failed,\n"
           "2 for a usage error, 130 when interrupted.\n" +
           EncodeHelpText() + PackHelpText();
}

}  // namespace rw::cli
