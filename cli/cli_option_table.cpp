#include "cli/cli_option_table.h"

#include <charconv>
#include <cstdio>
#include <optional>

namespace rw::cli {
namespace {

constexpr int kMaxThumbnailSize = 4096;
constexpr ModeSet kEncode = Modes(Mode::Encode);
constexpr ModeSet kPack = Modes(Mode::Pack);
constexpr ModeSet kConvert = Modes(Mode::Convert);
// Where a conversion's options have always been taken without effect (scripts pass them along).
constexpr ModeSet kQuietly = Modes(Mode::Info) | kExporting;

std::optional<int> Number(const std::string& text) {
    int value = 0;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || ptr != end) return std::nullopt;
    return value;
}

// ---- Converting, --info, --frames and --thumbnail ----

Expected<void> TakeJobs(CliOptions& o, const std::string& text) {
    const auto jobs = Number(text);
    if (!jobs || *jobs < 1 || *jobs > kMaxJobs) {
        return Error{"--jobs wants a number from 1 to " + std::to_string(kMaxJobs) + ", not \"" +
                     text + "\""};
    }
    o.jobs = *jobs;
    return {};
}

Expected<void> TakeFormat(CliOptions& o, const std::string& name) {
    if (name == "avi") {
        o.target.format.reset();
        return {};
    }
    const auto format = FormatNamed(name);
    if (!format) return Error{"--to wants avi, mp4, webm, mkv or mpg, not \"" + name + "\""};
    o.target.format = *format;
    o.target.settings.format = *format;
    return {};
}

Expected<void> TakeScale(CliOptions& o, const std::string& text) {
    const auto scale = Number(text);
    if (!scale || *scale < 1 || *scale > 8) {
        return Error{"--scale wants a number from 1 to 8, not \"" + text + "\""};
    }
    o.target.settings.scale = *scale;
    return {};
}

Expected<void> TakeQuality(CliOptions& o, const std::string& text) {
    const auto quality = Number(text);
    if (!quality) return Error{"--quality wants a number, not \"" + text + "\""};
    o.target.settings.quality = *quality;
    return {};
}

Expected<void> TakeSize(CliOptions& o, const std::string& text) {
    const auto size = Number(text);
    if (!size || *size < 1 || *size > kMaxThumbnailSize) {
        return Error{"--size wants a number of pixels from 1 to " +
                     std::to_string(kMaxThumbnailSize) + ", not \"" + text + "\""};
    }
    o.exports.size = *size;
    return {};
}

std::string FormatsHelp() {
    std::string text;
    for (CompressedFormat f : {CompressedFormat::Mp4, CompressedFormat::WebM, CompressedFormat::Mkv,
                               CompressedFormat::Mpg}) {
        const CompressedFormatInfo& info = FormatInfo(f);
        std::string quality = info.defaultQuality < 0
                                  ? std::string("lossless")
                                  : "quality " + std::to_string(info.defaultQuality) + " (" +
                                        std::to_string(info.bestQuality) + " best .. " +
                                        std::to_string(info.worstQuality) + ")";
        char line[240];
        std::snprintf(line, sizeof line,
                      "                   %-5s%s\n                        scale %d, %s\n",
                      info.name, info.contents, info.defaultScale, quality.c_str());
        text += line;
    }
    return text + "                 FILE.vqa then becomes FILE.mp4 and so on\n";
}

// ---- --encode ----

Expected<void> TakeEncodeInput(CliOptions& o, const std::string& input) {
    if (!o.encode.input.empty()) return Error{"--encode takes one AVI file or folder"};
    o.encode.input = input;
    return {};
}

Expected<void> TakeBlock(CliOptions& o, const std::string& text) {
    EncodeSettings& s = o.encode.options.settings;
    if (text == "4x2") {
        s.blockHeight = 2;
    } else if (text == "4x4") {
        s.blockHeight = 4;
    } else {
        return Error{"--block wants 4x2 or 4x4, not \"" + text + "\""};
    }
    s.blockWidth = 4;
    return {};
}

Expected<void> TakeEffort(CliOptions& o, const std::string& text) {
    int32_t& effort = o.encode.options.settings.effort;
    if (text == "fast") {
        effort = 1;
    } else if (text == "normal") {
        effort = 2;
    } else if (text == "best") {
        effort = 3;
    } else {
        return Error{"--quality wants fast, normal or best, not \"" + text + "\""};
    }
    return {};
}

// ---- --pack ----

Expected<void> TakeArchive(CliOptions& o, const std::string& archive) {
    if (!o.archive.empty()) return Error{"unknown option or extra argument \"--pack\" with --pack"};
    o.archive = archive;
    return {};
}

#define RW_SET(field, value)                                  \
    [](CliOptions& o, const std::string&) -> Expected<void> { \
        o.field = value;                                      \
        return {};                                            \
    }
#define RW_COPY(field)                                          \
    [](CliOptions& o, const std::string& v) -> Expected<void> { \
        o.field = v;                                            \
        return {};                                              \
    }

// Converting and its modes first, then --encode's and --pack's.
const Option kOptions[] = {
    {.names = {"--info"},
     .modes = Modes(Mode::Info),
     .selectsMode = true,
     .take = RW_SET(mode, Mode::Info),
     .help = "  --info         show each video's properties and estimated output size (for an\n"
             "                 archive, the entry, id and size of each video); convert nothing\n"},
    {.names = {"--json"},
     .modes = Modes(Mode::Info),
     .take = RW_SET(json, true),
     .help = "  --json         with --info: one JSON object a line for each video (path, entry,\n"
             "                 frames, size, block size, frame rate, sound rate, channels and\n"
             "                 kind, colour depth, length, file size, estimated output size and\n"
             "                 damage found), or its path and error\n"},
    {.names = {"-o"},
     .wants = "a path",
     .emptyIsMissing = true,
     .modes = kConvert,
     .refusal = "-o goes with converting and --encode; --frames and --thumbnail name their own "
                "output",
     .refusedIn = kExporting,
     .ignoredIn = Modes(Mode::Info),
     .take = RW_COPY(output),
     .help = "  -o PATH        one FILE.vqa converted: a PATH with an extension names the AVI\n"
             "                 file and must end in .avi; otherwise (an existing folder, a name\n"
             "                 without an extension, several inputs, a folder or an archive)\n"
             "                 PATH is the folder of every output, as --output-dir\n"},
    {.names = {"--output-dir"},
     .wants = "a folder",
     .emptyIsMissing = true,
     .modes = kConvert,
     .ignoredIn = kQuietly,
     .take = RW_COPY(outputDir),
     .help = "  --output-dir DIR\n"
             "                 write every output into DIR (created when the first output is\n"
             "                 written) instead of beside its source\n"},
    {.names = {"-j", "--jobs"},
     .wants = "a number",
     .modes = kConvert,
     .ignoredIn = kQuietly,
     .take = TakeJobs,
     .help = "  -j, --jobs N   convert N files at once (1 to 64; default 1; also -jN, --jobs=N)\n"},
    {.names = {"--names"},
     .wants = "a file",
     .emptyIsMissing = true,
     .modes = kConverting,
     .take = RW_COPY(namesList),
     .help = "  --names LIST   a text file of candidate names of archive entries, one a line (#\n"
             "                 starts a comment): an entry whose id matches a name is shown and\n"
             "                 converted under that name (INTRO.VQA becomes INTRO.avi)\n"},
    {.names = {"--to"},
     .wants = "a value",
     .modes = kConvert,
     .refusal = "--to cannot be used with --frames or --thumbnail",
     .refusedIn = kExporting,
     .ignoredIn = Modes(Mode::Info),
     .take = TakeFormat,
     .help = "  --to FORMAT    the kind of file written: avi (the default; uncompressed) or\n",
     .moreHelp = FormatsHelp},
    {.names = {"--scale"},
     .wants = "a value",
     .modes = kConvert,
     .ignoredIn = kQuietly,
     .take = TakeScale,
     .help = "  --scale N      enlarge the pictures N times (1 to 8; default as above)\n"},
    {.names = {"--square-pixels"},
     .modes = kConvert,
     .ignoredIn = kQuietly,
     .take = RW_SET(target.settings.squarePixels, true),
     .help = "  --square-pixels\n"
             "                 square pixels (by default 5:6, so 320 x 200 shows at 4:3)\n"},
    {.names = {"--quality"},
     .wants = "a value",
     .modes = kConvert,
     .ignoredIn = kQuietly,
     .take = TakeQuality,
     .help = "  --quality Q    the encoder's quality, lower is better (default as above)\n"
             "                 (--scale, --square-pixels and --quality leave AVI files alone)\n"},
    {.names = {"--frames"},
     .wants = "a path",
     .emptyIsMissing = true,
     .modes = Modes(Mode::Frames),
     .selectsMode = true,
     .take = RW_COPY(exports.framesFolder),
     .help = "  --frames DIR   write every frame as DIR/frame-0000.png onwards (8-bit palette\n"
             "                 pictures, the AVI's pixels) and the sound as DIR/sound.wav (16-bit\n"
             "                 mono at the video's own rate); one FILE.vqa; DIR must be empty or\n"
             "                 missing unless --force is given\n"},
    {.names = {"--force"},
     .modes = kConvert | kExporting,
     .take = RW_SET(exports.force, true),
     .help =
         "  --force        replace existing outputs: the AVI files of a conversion, the\n"
         "                 --thumbnail picture, the --encode output; with --frames, write into\n"
         "                 a folder that holds files, replacing files of the same names.\n"
         "                 Without it an existing output is kept, reported, and the exit\n"
         "                 status is 1\n"},
    {.names = {"--thumbnail"},
     .wants = "a path",
     .emptyIsMissing = true,
     .modes = Modes(Mode::Thumbnail),
     .selectsMode = true,
     .take = RW_COPY(exports.thumbnail),
     .help = "  --thumbnail OUT.png\n"
             "                 write one representative frame as a PNG picture; one FILE.vqa\n"},
    {.names = {"--size"},
     .wants = "a number",
     .modes = Modes(Mode::Thumbnail),
     .take = TakeSize,
     .help = "  --size N       with --thumbnail: scale the picture down to fit N x N pixels\n"
             "                 (default 256)\n"},
    {.names = {"--entry"},
     .wants = "a path",
     .emptyIsMissing = true,
     .modes = kExporting,
     .take = RW_COPY(exports.entry),
     .help = "  --entry E      with --frames or --thumbnail and an ARCHIVE.mix in place of\n"
             "                 FILE.vqa: the video inside it, by its entry number or its name\n"},
    {.names = {"-h", "--help"},
     .modes = kEveryMode,
     .take = RW_SET(help, true),
     .help = "  -h, --help     show this help\n"},
    {.names = {"--version"},
     .modes = kEveryMode,
     .take = RW_SET(version, true),
     .help = "  --version      show the version\n"},
    {.names = {"--encode"},
     .wants = "a value",
     .modes = kEncode,
     .selectsMode = true,
     .take = TakeEncodeInput,
     .help = "  --encode INPUT     the AVI file or folder to encode\n"},
    {.names = {"-o", "--output"},
     .wants = "a value",
     .modes = kEncode,
     .take = RW_COPY(encode.options.output),
     .help = "  -o, --output PATH  write PATH (ending in .vqa) instead; a PATH that is an\n"
             "                     existing folder or has no extension is a folder (created\n"
             "                     if missing) to write the VQA file into\n"},
    {.names = {"--force"},
     .modes = kEncode,
     .take = RW_SET(encode.options.force, true),
     .help = "  --force            replace an existing output file (never replaced otherwise)\n"},
    {.names = {"--block"},
     .wants = "a value",
     .modes = kEncode,
     .take = TakeBlock,
     .help = "  --block WxH        block size, 4x2 (default) or 4x4 (smaller files, coarser "
             "pictures)\n"},
    {.names = {"--quality"},
     .wants = "a value",
     .modes = kEncode,
     .take = TakeEffort,
     .help =
         "  --quality Q        fast, normal (default) or best: more time for better pictures\n"},
    {.names = {"--pack"},
     .wants = "an archive and at least one file",
     .modes = kPack,
     .selectsMode = true,
     .take = TakeArchive},
};

#undef RW_SET
#undef RW_COPY

}  // namespace

std::span<const Option> OptionTable() {
    return kOptions;
}

const Option* FindOption(const std::string& name, ModeSet family) {
    for (const Option& option : OptionTable()) {
        if ((option.modes & family) == 0) continue;
        for (const char* n : option.names) {
            if (n != nullptr && name == n) return &option;
        }
    }
    return nullptr;
}

const char* ModeOption(Mode mode) {
    for (const Option& option : kOptions) {
        if (option.selectsMode && option.modes == Modes(mode)) return option.names[0];
    }
    return "converting";
}

}  // namespace rw::cli
