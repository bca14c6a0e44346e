#include "cli/output_options.h"

#include <charconv>
#include <cstdio>
#include <utility>

namespace rw::cli {
namespace {

constexpr CompressedFormat kFormats[] = {CompressedFormat::Mp4, CompressedFormat::WebM,
                                         CompressedFormat::Mkv, CompressedFormat::Mpg};

std::optional<int> Number(const std::string& text) {
    int value = 0;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || ptr != end) return std::nullopt;
    return value;
}

Expected<void> TakeFormat(const std::string& name, OutputOptions& options) {
    if (name == "avi") {
        options.format.reset();
        return {};
    }
    const auto format = FormatNamed(name);
    if (!format) return Error{"--to wants avi, mp4, webm, mkv or mpg, not \"" + name + "\""};
    options.format = *format;
    options.settings.format = *format;
    return {};
}

Expected<void> TakeScale(const std::string& text, OutputOptions& options) {
    const auto scale = Number(text);
    if (!scale || *scale < 1 || *scale > 8) {
        return Error{"--scale wants a number from 1 to 8, not \"" + text + "\""};
    }
    options.settings.scale = *scale;
    options.scaleGiven = true;
    return {};
}

Expected<void> TakeQuality(const std::string& text, OutputOptions& options) {
    const auto quality = Number(text);
    if (!quality) return Error{"--quality wants a number, not \"" + text + "\""};
    options.settings.quality = *quality;
    options.qualityGiven = true;
    return {};
}

}  // namespace

std::optional<Expected<void>> ParseOutputOption(std::span<const std::string> args, size_t& i,
                                                OutputOptions& options) {
    const std::string& a = args[i];
    if (a == "--square-pixels") {
        options.settings.squarePixels = true;
        options.squareGiven = true;
        return Expected<void>{};
    }
    using Taker = Expected<void> (*)(const std::string&, OutputOptions&);
    const std::pair<const char*, Taker> valued[] = {
        {"--to", TakeFormat}, {"--scale", TakeScale}, {"--quality", TakeQuality}};
    for (const auto& [name, take] : valued) {
        const std::string option = name;
        if (a == option) {
            if (i + 1 >= args.size()) return Expected<void>{Error{a + " wants a value"}};
            return take(args[++i], options);
        }
        if (a.rfind(option + "=", 0) == 0) return take(a.substr(option.size() + 1), options);
    }
    return std::nullopt;
}

Expected<void> CheckOutputOptions(const OutputOptions& options) {
    if (!options.format || !options.qualityGiven) return {};
    const CompressedFormatInfo& info = FormatInfo(*options.format);
    const int q = options.settings.quality;
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

std::string OutputHelpText() {
    std::string text =
        "  --to FORMAT    the kind of file written: avi (the default; uncompressed) or\n";
    for (CompressedFormat f : kFormats) {
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
    return text +
           "                 FILE.vqa then becomes FILE.mp4 and so on\n"
           "  --scale N      enlarge the pictures N times (1 to 8; default as above)\n"
           "  --square-pixels\n"
           "                 square pixels (by default 5:6, so 320 x 200 shows at 4:3)\n"
           "  --quality Q    the encoder's quality, lower is better (default as above)\n"
           "                 (--scale, --square-pixels and --quality leave AVI files alone)\n";
}

}  // namespace rw::cli
