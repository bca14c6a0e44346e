// vqa-synth: writes a synthesised VQA video (an animation with a tune) for tests and demos.
#include <charconv>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <string_view>

#include "platform/file.h"
#include "tools/synth/vqa_synth.h"

namespace {

constexpr int kExitUsage = 2;
constexpr int kExitFailure = 1;

void PrintHelp(std::FILE* to) {
    std::fputs(
        "Usage: vqa-synth [options] -o OUT.vqa\n"
        "Writes a synthesised VQA video: an animation vector-quantised into codebooks, with a\n"
        "tune in IMA ADPCM.\n"
        "\n"
        "  -o, --output FILE     the file to write (required)\n"
        "  --frames N            number of frames, 1 to 65535 (default 45)\n"
        "  --size WxH            picture size in pixels (default 320x156)\n"
        "  --block WxH           block size in pixels (default 4x2)\n"
        "  --rate HZ             sound sample rate, 0 to 22050 (default 22050)\n"
        "  --seed N              seed for the animation and the tune (default 1)\n"
        "  --parts MODE          how later codebooks travel: none (full codebooks),\n"
        "                        per-part (eight parts compressed one by one) or split (one\n"
        "                        compressed stream cut into eight parts; the default)\n"
        "  --no-compress         store pointer tables and codebooks uncompressed\n"
        "  --no-palette-change   keep one palette throughout\n"
        "  --no-unknown          leave out the sub-chunks a reader must skip\n"
        "  --no-pad              no pad byte after odd-sized sound data\n"
        "  -h, --help            show this help\n",
        to);
}

bool ParseInt(std::string_view text, int32_t& value) {
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end;
}

bool ParseSize(std::string_view text, int32_t& w, int32_t& h) {
    const size_t x = text.find_first_of("xX");
    return x != std::string_view::npos && ParseInt(text.substr(0, x), w) &&
           ParseInt(text.substr(x + 1), h);
}

int Usage(const std::string& message) {
    std::fprintf(stderr, "vqa-synth: %s\nTry 'vqa-synth --help'.\n", message.c_str());
    return kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
    rw::synth::SynthOptions options;
    options.keepExpected = false;
    std::string output;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        auto value = [&](std::string_view& out) {
            if (i + 1 >= argc) return false;
            out = argv[++i];
            return true;
        };
        std::string_view v;
        if (arg == "-h" || arg == "--help") {
            PrintHelp(stdout);
            return 0;
        } else if (arg == "-o" || arg == "--output") {
            if (!value(v)) return Usage("missing file name after " + std::string(arg));
            output = v;
        } else if (arg == "--frames") {
            if (!value(v) || !ParseInt(v, options.frames)) {
                return Usage("--frames needs a number");
            }
        } else if (arg == "--size") {
            if (!value(v) || !ParseSize(v, options.width, options.height)) {
                return Usage("--size needs WIDTHxHEIGHT, such as 320x156");
            }
        } else if (arg == "--block") {
            if (!value(v) || !ParseSize(v, options.blockWidth, options.blockHeight)) {
                return Usage("--block needs WIDTHxHEIGHT, such as 4x2");
            }
        } else if (arg == "--rate") {
            if (!value(v) || !ParseInt(v, options.soundRate)) return Usage("--rate needs a number");
        } else if (arg == "--seed") {
            int32_t seed = 0;
            if (!value(v) || !ParseInt(v, seed) || seed < 0) {
                return Usage("--seed needs a number of 0 or more");
            }
            options.seed = static_cast<uint32_t>(seed);
        } else if (arg == "--parts") {
            if (!value(v) || !rw::synth::ParseCodebookParts(std::string(v), options.parts)) {
                return Usage("--parts needs none, per-part or split");
            }
        } else if (arg == "--no-compress") {
            options.compressPointerTables = false;
            options.compressCodebooks = false;
        } else if (arg == "--no-palette-change") {
            options.paletteChanges = false;
        } else if (arg == "--no-unknown") {
            options.unknownSubChunks = false;
        } else if (arg == "--no-pad") {
            options.padAfterSound = false;
        } else {
            return Usage("unknown option '" + std::string(arg) + "'");
        }
    }
    if (output.empty()) return Usage("no output file given (-o OUT.vqa)");

    rw::synth::SynthVideo video;
    try {
        video = rw::synth::SynthesizeVqa(options);
    } catch (const std::invalid_argument& e) {
        return Usage(e.what());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vqa-synth: cannot synthesise \"%s\": %s\n", output.c_str(), e.what());
        return kExitFailure;
    }

    rw::DiskOutputFile file;
    auto result = file.Create(output);
    if (result) result = file.Write(video.file);
    if (result) result = file.Close();
    if (!result) {
        file.Abandon();
        std::fprintf(stderr, "vqa-synth: %s\n", result.error().message.c_str());
        return kExitFailure;
    }
    std::printf("%s: %d frames, %dx%d, blocks %dx%d, %d Hz, %zu bytes\n", output.c_str(),
                options.frames, options.width, options.height, options.blockWidth,
                options.blockHeight, options.soundRate, video.file.size());
    return 0;
}
