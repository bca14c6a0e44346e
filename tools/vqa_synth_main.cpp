// vqa-synth: writes a synthesised VQA video (an animation with a tune) for tests and demos.
#include <charconv>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <string_view>

#include "platform/file.h"
#include "tools/synth/hc_synth.h"
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
        "  -h, --help            show this help\n"
        "\n"
        "High-colour (15-bit) videos, as the later games have them:\n"
        "  --high-colour         write a high-colour video (--size, --block, --frames, --seed and\n"
        "                        --no-unknown apply; --rate may go up to 48000)\n"
        "  --sound KIND          snd2 (IMA ADPCM, the default), snd2-stereo, snd0-8 (8-bit PCM),\n"
        "                        snd0-16 (16-bit stereo PCM), snd1 (not decodable) or none\n"
        "  --codebook-every N    frames drawn with each codebook (default 12)\n"
        "  --codebook-lcw FORM   ordinary, back-counted or alternate (default)\n"
        "  --min-entries N       pad every codebook to N entries (up to 8192)\n"
        "  --fps N               frame rate in the header, 0 to 255 (0 means 15; default 15)\n"
        "  --header-version N    2 or 3 (default 3)\n",
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

// What the command line asks for.
struct Request {
    rw::synth::SynthOptions options;
    rw::synth::HighColourSynthOptions high;
    bool highColour = false;
    std::string output;
};

// Walks the arguments; `next` hands out an option's value (false when none is left).
class ArgumentParser {
  public:
    ArgumentParser(int argc, char** argv) : m_argc(argc), m_argv(argv) {
        m_request.options.keepExpected = false;
        m_request.high.keepExpected = false;
    }

    // -1 to go on, or the exit code (0 after --help).
    int Parse() {
        for (m_i = 1; m_i < m_argc; ++m_i) {
            const std::string_view arg = m_argv[m_i];
            if (arg == "-h" || arg == "--help") {
                PrintHelp(stdout);
                return 0;
            }
            const int r = ParseShared(arg);
            if (r == kUnknown && ParseHighColour(arg) == kUnknown &&
                ParseEightBit(arg) == kUnknown) {
                return Usage("unknown option '" + std::string(arg) + "'");
            }
            if (!m_error.empty()) return Usage(m_error);
        }
        if (m_request.output.empty()) return Usage("no output file given (-o OUT.vqa)");
        return -1;
    }
    const Request& Result() const { return m_request; }

  private:
    static constexpr int kUnknown = 1000;

    bool Next(std::string_view& out) {
        if (m_i + 1 >= m_argc) return false;
        out = m_argv[++m_i];
        return true;
    }
    int Fail(const std::string& message) {
        m_error = message;
        return -1;
    }

    // Options both kinds of video take.
    int ParseShared(std::string_view arg) {
        auto& o = m_request.options;
        auto& h = m_request.high;
        std::string_view v;
        if (arg == "-o" || arg == "--output") {
            if (!Next(v)) return Fail("missing file name after " + std::string(arg));
            m_request.output = v;
        } else if (arg == "--frames") {
            if (!Next(v) || !ParseInt(v, o.frames)) return Fail("--frames needs a number");
            h.frames = o.frames;
        } else if (arg == "--size") {
            if (!Next(v) || !ParseSize(v, o.width, o.height)) {
                return Fail("--size needs WIDTHxHEIGHT, such as 320x156");
            }
            h.width = o.width, h.height = o.height;
        } else if (arg == "--block") {
            if (!Next(v) || !ParseSize(v, o.blockWidth, o.blockHeight)) {
                return Fail("--block needs WIDTHxHEIGHT, such as 4x2");
            }
            h.blockWidth = o.blockWidth, h.blockHeight = o.blockHeight;
        } else if (arg == "--rate") {
            if (!Next(v) || !ParseInt(v, o.soundRate)) return Fail("--rate needs a number");
            h.soundRate = o.soundRate;
        } else if (arg == "--seed") {
            int32_t seed = 0;
            if (!Next(v) || !ParseInt(v, seed) || seed < 0) {
                return Fail("--seed needs a number of 0 or more");
            }
            o.seed = h.seed = static_cast<uint32_t>(seed);
        } else if (arg == "--no-unknown") {
            o.unknownSubChunks = false;
            h.strayChunks = false;
        } else {
            return kUnknown;
        }
        return -1;
    }

    int ParseEightBit(std::string_view arg) {
        auto& o = m_request.options;
        std::string_view v;
        if (arg == "--parts") {
            if (!Next(v) || !rw::synth::ParseCodebookParts(std::string(v), o.parts)) {
                return Fail("--parts needs none, per-part or split");
            }
        } else if (arg == "--no-compress") {
            o.compressPointerTables = false;
            o.compressCodebooks = false;
        } else if (arg == "--no-palette-change") {
            o.paletteChanges = false;
        } else if (arg == "--no-pad") {
            o.padAfterSound = false;
        } else {
            return kUnknown;
        }
        return -1;
    }

    int ParseHighColour(std::string_view arg) {
        auto& h = m_request.high;
        std::string_view v;
        int32_t n = 0;
        if (arg == "--high-colour") {
            m_request.highColour = true;
        } else if (arg == "--sound") {
            if (!Next(v) || !rw::synth::ParseHighColourSound(std::string(v), h.sound)) {
                return Fail("--sound needs snd2, snd2-stereo, snd0-8, snd0-16, snd1 or none");
            }
        } else if (arg == "--codebook-every") {
            if (!Next(v) || !ParseInt(v, h.codebookEvery))
                return Fail(std::string(arg) + " needs a number");
        } else if (arg == "--codebook-lcw") {
            if (!Next(v) || !ParseLcw(v, h.codebookLcw)) {
                return Fail("--codebook-lcw needs ordinary, back-counted or alternate");
            }
        } else if (arg == "--min-entries") {
            if (!Next(v) || !ParseInt(v, h.minCodebookEntries))
                return Fail(std::string(arg) + " needs a number");
        } else if (arg == "--fps") {
            if (!Next(v) || !ParseInt(v, h.framesPerSecond)) return Fail("--fps needs a number");
        } else if (arg == "--header-version") {
            if (!Next(v) || !ParseInt(v, n) || (n != 2 && n != 3)) {
                return Fail("--header-version needs 2 or 3");
            }
            h.version = static_cast<uint16_t>(n);
        } else {
            return kUnknown;
        }
        return -1;
    }

    static bool ParseLcw(std::string_view text, rw::synth::CodebookLcw& lcw) {
        using L = rw::synth::CodebookLcw;
        if (text == "ordinary") return lcw = L::Ordinary, true;
        if (text == "back-counted") return lcw = L::BackCounted, true;
        if (text == "alternate") return lcw = L::Alternate, true;
        return false;
    }

    int m_argc;
    char** m_argv;
    int m_i = 1;
    Request m_request;
    std::string m_error;
};

// The file's bytes and the line that describes it.
std::pair<std::vector<uint8_t>, std::string> Synthesise(const Request& r) {
    char line[256];
    if (!r.highColour) {
        const auto& o = r.options;
        rw::synth::SynthVideo video = rw::synth::SynthesizeVqa(o);
        std::snprintf(line, sizeof line, "%s: %d frames, %dx%d, blocks %dx%d, %d Hz, %zu bytes\n",
                      r.output.c_str(), o.frames, o.width, o.height, o.blockWidth, o.blockHeight,
                      o.soundRate, video.file.size());
        return {std::move(video.file), line};
    }
    const auto& h = r.high;
    rw::synth::HighColourSynthVideo video = rw::synth::SynthesizeHighColourVqa(h);
    std::snprintf(line, sizeof line,
                  "%s: %d high-colour frames, %dx%d, blocks %dx%d, %d Hz, %zu bytes\n",
                  r.output.c_str(), h.frames, h.width, h.height, h.blockWidth, h.blockHeight,
                  h.soundRate, video.file.size());
    return {std::move(video.file), line};
}

}  // namespace

int main(int argc, char** argv) {
    ArgumentParser parser(argc, argv);
    if (const int code = parser.Parse(); code >= 0) return code;
    const Request& request = parser.Result();
    const std::string& output = request.output;

    std::pair<std::vector<uint8_t>, std::string> made;
    try {
        made = Synthesise(request);
    } catch (const std::invalid_argument& e) {
        return Usage(e.what());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vqa-synth: cannot synthesise \"%s\": %s\n", output.c_str(), e.what());
        return kExitFailure;
    }

    rw::DiskOutputFile file;
    auto result = file.Create(output);
    if (result) result = file.Write(made.first);
    if (result) result = file.Close();
    if (!result) {
        file.Abandon();
        std::fprintf(stderr, "vqa-synth: %s\n", result.error().message.c_str());
        return kExitFailure;
    }
    std::fputs(made.second.c_str(), stdout);
    return 0;
}
