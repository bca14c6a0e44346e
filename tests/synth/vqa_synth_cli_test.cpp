// The vqa-synth command: its options reach the library, and bad use ends with a message.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
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

// Every option at once, each away from its default.
TEST_F(VqaSynthCli, WritesWhatTheLibrarySynthesises) {
    const fs::path out = m_dir / "out.vqa";
    ASSERT_EQ(Run("--frames 9 --size 160x100 --block 4x4 --rate 11025 --seed 5 --parts per-part "
                  "--no-compress --no-palette-change --no-unknown --no-pad -o " +
                  out.string()),
              0)
        << Slurp("err.txt");
    SynthOptions o;
    o.keepExpected = false;
    o.frames = 9;
    o.width = 160;
    o.height = 100;
    o.blockHeight = 4;
    o.soundRate = 11025;
    o.seed = 5;
    o.parts = CodebookParts::PerPart;
    o.compressCodebooks = o.compressPointerTables = false;
    o.paletteChanges = o.unknownSubChunks = o.padAfterSound = false;
    const std::string written = Slurp("out.vqa");
    EXPECT_TRUE(std::vector<uint8_t>(written.begin(), written.end()) == SynthesizeVqa(o).file);
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
