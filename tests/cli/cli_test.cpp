#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "cli/info_json.h"
#include "tests/support/avi_walk.h"
#include "tests/support/fixtures.h"
#include "tests/support/names.h"
#include "tests/support/scratch_folder.h"
#include "tools/synth/hc_synth.h"
#include "tools/synth/mix_pack.h"

namespace rw {
namespace {

using test::PrintTo;
namespace fs = std::filesystem;

// ---- JSON strings ----

TEST(JsonString, EscapesQuotesBackslashesAndControlCharacters) {
    for (const auto& [text, json] : {
             std::pair{"plain", "\"plain\""},
             std::pair{"a\"b\\c", "\"a\\\"b\\\\c\""},
             std::pair{"tab\there\nnew\x01\x7f", "\"tab\\u0009here\\u000anew\\u0001\\u007f\""},
             std::pair{"caf\xc3\xa9", "\"caf\xc3\xa9\""},
         }) {
        EXPECT_EQ(cli::JsonString(text), json) << text;
    }
}

// ---- The program ----

// reelwright-cli run in a scratch folder, stdout and stderr to pipes (not a terminal).
class CliProgram : public testing::Test {
  public:
    static std::vector<uint8_t> Video(int32_t frames = 6) {
        return test::SmallVideo(frames, 64, 32).file;
    }

    test::ScratchFolder m_dir;
};

// A long video is converted in two parts when it is the only file, in one when files are
// converted side by side: the bytes are those of a conversion in memory either way.
TEST_F(CliProgram, LongVideosGiveTheSameBytesInOneOrTwoParts) {
    const std::vector<uint8_t> video = Video(100);
    const std::vector<uint8_t> expected = test::ConvertInMemory(video).avi;
    m_dir.Put("one/long.vqa", video);
    m_dir.Put("two/a.vqa", video);
    m_dir.Put("two/b.vqa", video);
    EXPECT_EQ(m_dir.Run({"one/long.vqa"}).status, 0);
    EXPECT_EQ(m_dir.Run({"--jobs", "2", "two"}).status, 0);
    for (const char* avi : {"one/long.avi", "two/a.avi", "two/b.avi"}) {
        EXPECT_EQ(m_dir.Get(avi), expected) << avi;
    }
}

// A high-colour video of 40 frames of 64 x 32 with sound at 22050 Hz.
std::vector<uint8_t> HighColour(synth::HighColourSoundKind sound, int32_t fps) {
    return synth::SynthesizeHighColourVqa({.frames = 40,
                                           .width = 64,
                                           .height = 32,
                                           .soundRate = 22050,
                                           .framesPerSecond = fps,
                                           .sound = sound,
                                           .keepExpected = false})
        .file;
}

// The properties of each file that can be read and of each video in an archive, a blank line
// between two; a file that fails says so on stderr only.
TEST_F(CliProgram, InfoShowsThePropertiesAndConvertsNothing) {
    m_dir.Put("clip.vqa", Video(18));
    m_dir.Put("hc.vqa", HighColour(synth::HighColourSoundKind::Snd1, 0));
    m_dir.Put("MOVIES.MIX",
              synth::PackMix({{0x10, Video(6)},
                              {0x20, {'x'}},
                              {0x30, HighColour(synth::HighColourSoundKind::Snd2Stereo, 20)}}));
    const test::CliRun r = m_dir.Run({"--info", "clip.vqa", "gone.vqa", "hc.vqa", "MOVIES.MIX"});
    EXPECT_EQ(r.status, 1);
    std::string out = r.out;  // with the folder's path as "DIR"
    const std::string dir = m_dir.Path().string();
    for (size_t at; (at = out.find(dir)) != std::string::npos;) out.replace(at, dir.size(), "DIR");
    EXPECT_EQ(out,
              "Filename             DIR/clip.vqa\n"
              "Number of Frames     18\n"
              "Width                64\n"
              "Height               32\n"
              "Blockwidth           4\n"
              "Blockheight          2\n"
              "Colour depth         8-bit palette\n"
              "Frame rate           15 frames per second\n"
              "Sound                IMA ADPCM, 22050 Hz, mono\n"
              "Filesize             0.03 MB\n"
              "Videolength (mm.ss)  00:01\n"
              "Outputfilesize       0.18 MB\n"
              "\n"
              "Filename             DIR/hc.vqa\n"
              "Number of Frames     40\n"
              "Width                64\n"
              "Height               32\n"
              "Blockwidth           4\n"
              "Blockheight          4\n"
              "Colour depth         15-bit colour\n"
              "Frame rate           15 frames per second\n"
              "Sound                SND1, not supported (converted without sound)\n"
              "Filesize             0.11 MB\n"
              "Videolength (mm.ss)  00:02\n"
              "Outputfilesize       0.37 MB\n"
              "\n"
              "Filename             DIR/MOVIES.MIX entry 1 (id 00000010)\n"
              "Entry                1\n"
              "Id                   00000010\n"
              "Number of Frames     6\n"
              "Width                64\n"
              "Height               32\n"
              "Blockwidth           4\n"
              "Blockheight          2\n"
              "Colour depth         8-bit palette\n"
              "Frame rate           15 frames per second\n"
              "Sound                IMA ADPCM, 22050 Hz, mono\n"
              "Filesize             0.02 MB\n"
              "Videolength (mm.ss)  00:00\n"
              "Outputfilesize       0.07 MB\n"
              "\n"
              "Filename             DIR/MOVIES.MIX entry 3 (id 00000030)\n"
              "Entry                3\n"
              "Id                   00000030\n"
              "Number of Frames     40\n"
              "Width                64\n"
              "Height               32\n"
              "Blockwidth           4\n"
              "Blockheight          4\n"
              "Colour depth         15-bit colour\n"
              "Frame rate           20 frames per second\n"
              "Sound                IMA ADPCM, 22050 Hz, stereo\n"
              "Filesize             0.13 MB\n"
              "Videolength (mm.ss)  00:02\n"
              "Outputfilesize       0.45 MB\n");
    EXPECT_EQ(r.err,
              "reelwright-cli: \"MOVIES.MIX\": 1 entry that is not a VQA video skipped\n"
              "reelwright-cli: Cannot open \"gone.vqa\": No such file or directory\n");
    EXPECT_EQ(m_dir.Listing(), (std::vector<std::string>{"MOVIES.MIX", "clip.vqa", "hc.vqa"}));
}

// --info --json: one object a line for each video of either kind, the failed file's path and
// error among them, names escaped.
TEST_F(CliProgram, InfoAsJsonIsOneObjectALine) {
    m_dir.Put("clip \"1\".vqa", Video(18));
    // The synthesiser's pictures may round differently with another compiler: its size is read.
    const std::vector<uint8_t> hc = HighColour(synth::HighColourSoundKind::Snd2Stereo, 20);
    m_dir.Put("MOVIES.MIX", synth::PackMix({{0x10, Video(6)}, {0x30, hc}}));
    const test::CliRun r =
        m_dir.Run({"--info", "--json", "clip \"1\".vqa", "gone.vqa", "MOVIES.MIX"});
    EXPECT_EQ(r.status, 1);
    std::string out = r.out;
    const std::string dir = m_dir.Path().string();
    for (size_t at; (at = out.find(dir)) != std::string::npos;) out.replace(at, dir.size(), "DIR");
    EXPECT_EQ(
        out,
        "{\"path\":\"DIR/clip \\\"1\\\".vqa\",\"entry\":null,\"frames\":18,\"width\":64,"
        "\"height\":32,\"block_width\":4,\"block_height\":2,\"frame_rate\":15,"
        "\"sound_rate\":22050,\"sound_channels\":1,\"sound_kind\":\"ima-adpcm\","
        "\"colour_depth\":\"8-bit palette\",\"length_seconds\":1.2,\"file_size\":35300,"
        "\"estimated_output_size\":186982,\"damage\":[]}\n"
        "{\"path\":\"DIR/gone.vqa\",\"error\":\"Cannot open \\\"gone.vqa\\\": No such file or "
        "directory\"}\n"
        "{\"path\":\"DIR/MOVIES.MIX\",\"entry\":{\"number\":1,\"id\":\"00000010\","
        "\"name\":null},\"frames\":6,\"width\":64,\"height\":32,\"block_width\":4,"
        "\"block_height\":2,\"frame_rate\":15,\"sound_rate\":22050,\"sound_channels\":1,"
        "\"sound_kind\":\"ima-adpcm\",\"colour_depth\":\"8-bit palette\","
        "\"length_seconds\":0.4,\"file_size\":16696,\"estimated_output_size\":77398,"
        "\"damage\":[]}\n"
        "{\"path\":\"DIR/MOVIES.MIX\",\"entry\":{\"number\":2,\"id\":\"00000030\","
        "\"name\":null},\"frames\":40,\"width\":64,\"height\":32,\"block_width\":4,"
        "\"block_height\":4,\"frame_rate\":20,\"sound_rate\":22050,\"sound_channels\":2,"
        "\"sound_kind\":\"ima-adpcm\",\"colour_depth\":\"15-bit colour\","
        "\"length_seconds\":2,\"file_size\":" +
            std::to_string(hc.size()) +
            ",\"estimated_output_size\":468514,"
            "\"damage\":[]}\n");
}

// A file cut short: --info counts the frames that start beyond its end.
TEST_F(CliProgram, InfoCountsTheFramesBeyondTheEndOfAFileCutShort) {
    std::vector<uint8_t> video = Video(18);
    video.resize(2 *
                 (video[70 + 4 * 12] | video[70 + 4 * 12 + 1] << 8 | video[70 + 4 * 12 + 2] << 16));
    m_dir.Put("cut.vqa", video);
    const test::CliRun r = m_dir.Run({"--info", "cut.vqa"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("Outputfilesize       0.18 MB\nFrames beyond end    6"), std::string::npos)
        << r.out;
}

// Two files converted side by side on a terminal: one line shows both while both run, and each
// file's last progress says its last frame.
TEST_F(CliProgram, ProgressOfFilesSideBySideIsReadable) {
    const auto& video = test::SmallVideo(600, 64, 32).file;
    m_dir.Put("a.vqa", video);
    m_dir.Put("b.vqa", video);
    const std::string said = m_dir.RunOnATerminal({"--jobs", "2", "a.vqa", "b.vqa"});
    // Every repaint shows each file that is still running (none is painted over by the other),
    // and each file's last progress is its last frame.
    const std::string tags[2] = {"[1/2]", "[2/2]"};
    bool running[2] = {false, false};
    std::string last[2];
    for (size_t at = 0; (at = said.find("\r\033[K", at)) != std::string::npos;) {
        at += 4;
        const std::string line = said.substr(at, said.find_first_of("\r\n", at) - at);
        if (line.rfind("Converted \"", 0) == 0) {
            running[line.find("\"b.vqa\"") != std::string::npos] = false;
            continue;
        }
        for (int i = 0; i < 2; ++i) {
            const size_t p = line.find(tags[i]);
            EXPECT_TRUE(p != std::string::npos || !running[i]) << line << "\n" << said;
            if (p == std::string::npos) continue;
            last[i] = line.substr(p, line.find("  |", p) - p);
            running[i] = last[i].find("frame 600/600") == std::string::npos;
        }
    }
    EXPECT_EQ(last[0].rfind("[1/2] frame 600/600  100.00%", 0), 0u) << last[0];
    EXPECT_EQ(last[1].rfind("[2/2] frame 600/600  100.00%", 0), 0u) << last[1];
}

// A failure is one line on stderr naming the input and the problem, exit status 1, nothing left
// behind, and the other files still converted, with no progress line (stderr is not a terminal):
// an input that cannot be opened, a folder without videos (the hostile inputs run through the
// program in their own test).
TEST_F(CliProgram, AFailureSaysWhyAndTheOtherFilesAreConverted) {
    m_dir.Put("good.vqa", Video());
    fs::create_directory(m_dir / "nothing");
    const test::CliRun r = m_dir.Run({"gone.vqa", "nothing", "good.vqa"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "reelwright-cli: The folder \"nothing\" holds no .vqa or .mix files\n"
              "reelwright-cli: Cannot open \"gone.vqa\": No such file or directory\n");
    EXPECT_EQ(r.out, "Converted \"good.vqa\" to \"good.avi\"\n");
    EXPECT_EQ(m_dir.Listing(), (std::vector<std::string>{"good.avi", "good.vqa", "nothing"}));
    EXPECT_EQ(test::WalkAvi(m_dir.Get("good.avi").value_or(test::Bytes{})).problem, "");
}

TEST_F(CliProgram, OutputsTwoInputsWouldShareAreRefusedBeforeAnythingStarts) {
    for (const char* name : {"a.vqa", "a.VQA", "b.vqa", "d/b.vqa", "d/M.MIX", "e/M.MIX"}) {
        const bool mix = std::string_view(name).ends_with(".MIX");
        m_dir.Put(name, mix ? synth::PackMix({{1, Video()}}) : Video());
    }
    const auto before = m_dir.Listing();
    using Args = std::vector<std::string>;
    for (const auto& [args, says] : {
             std::pair{Args{"b.vqa", "a.vqa", "a.VQA"}, "would both write \"a.avi\""},
             std::pair{Args{"--jobs", "2", "b.vqa", "./b.vqa"}, "would both write"},
             std::pair{Args{"b.vqa", "."}, "would both write"},
             // Outputs of one folder: loose files by name, archive entries by archive name.
             std::pair{Args{"-o", "out", "b.vqa", "d/b.vqa"}, "would both write \"out/b.avi\""},
             std::pair{Args{"--output-dir=out", "d", "e/M.MIX"}, "would both write \"out/M-"},
         }) {
        const test::CliRun r = m_dir.Run(args);
        EXPECT_EQ(r.status, 2) << testing::PrintToString(args);
        EXPECT_NE(r.err.find(says), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("nothing was converted"), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(m_dir.Listing(), before);
    }
}

}  // namespace
}  // namespace rw
