// The vqa-synth command: its options reach the library, and bad use ends with a message.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/support/scratch_folder.h"
#include "tools/synth/vqa_synth.h"

namespace rw::synth {
namespace {

namespace fs = std::filesystem;

class VqaSynthCli : public ::testing::Test {
  protected:
    // Runs vqa-synth with `args` and returns its exit code; its output goes to a file in m_dir.
    int Run(const std::string& args) {
        const std::string command = std::string(RW_BINARY_DIR) + "/bin/vqa-synth " + args + " >" +
                                    (m_dir / "out.txt").string() + " 2>" +
                                    (m_dir / "err.txt").string();
        const int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string Slurp(const std::string& name) { return m_dir.Text(name); }

    rw::test::ScratchFolder m_dir;
};

TEST_F(VqaSynthCli, WritesWhatTheLibrarySynthesises) {
    struct Case {
        const char* args;
        void (*change)(SynthOptions&);
    };
    const Case cases[] = {
        {"--frames 9 --size 160x100 --block 4x4 --rate 11025 --seed 5 --parts per-part",
         [](SynthOptions& o) {
             o.frames = 9;
             o.width = 160;
             o.height = 100;
             o.blockHeight = 4;
             o.soundRate = 11025;
             o.seed = 5;
             o.parts = CodebookParts::PerPart;
         }},
        {"--frames 3 --parts none --no-compress --no-palette-change --no-unknown --no-pad",
         [](SynthOptions& o) {
             o.frames = 3;
             o.parts = CodebookParts::None;
             o.compressCodebooks = o.compressPointerTables = false;
             o.paletteChanges = false;
             o.unknownSubChunks = false;
             o.padAfterSound = false;
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        const fs::path out = m_dir / "out.vqa";
        ASSERT_EQ(Run(std::string(c.args) + " -o " + out.string()), 0) << Slurp("err.txt");
        SynthOptions o;
        o.keepExpected = false;
        c.change(o);
        const std::string written = Slurp("out.vqa");
        const std::vector<uint8_t> expected = SynthesizeVqa(o).file;
        EXPECT_TRUE(std::vector<uint8_t>(written.begin(), written.end()) == expected);
    }
}

TEST_F(VqaSynthCli, RefusesBadUse) {
    struct Case {
        const char* args;
        int exitCode;
        const char* message;  // part of what it prints on stderr
    };
    const Case cases[] = {
        {"--frames 3", 2, "no output file"},
        {"--frames x -o a.vqa", 2, "--frames needs a number"},
        {"--frames 0 -o a.vqa", 2, "frames must be"},
        {"--parts some -o a.vqa", 2, "--parts needs"},
        {"--bogus -o a.vqa", 2, "unknown option '--bogus'"},
        {"-o /nonexistent-dir/a.vqa", 1, "/nonexistent-dir/a.vqa"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        EXPECT_EQ(Run(c.args), c.exitCode);
        EXPECT_NE(Slurp("err.txt").find(c.message), std::string::npos) << Slurp("err.txt");
    }
}

}  // namespace
}  // namespace rw::synth
