// The desktop program's decisions without its widgets: what a load shows or refuses, the questions
// after a run and what they start or end, and where an archive's video is converted to. A fake
// window records every call as a line of text, with the test's folder written as "D".
#include "convert/converter_session.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <thread>

#include "convert/archive_videos.h"
#include "convert/conversion_host.h"
#include "tests/support/scratch_folder.h"
#include "tests/support/tiny_vqa.h"
#include "tools/synth/mix_pack.h"

namespace rw::test {
namespace {

using Log = std::vector<std::string>;
using Bytes = std::vector<uint8_t>;

class FakeView final : public SessionView {
  public:
    explicit FakeView(std::string dir) : m_dir(std::move(dir)) {}

    void ShowMessage(const std::string& text, bool stopIcon) override {
        Add((stopIcon ? "stop: " : "box: ") + text);
    }
    bool AskYesNo(const std::string& question) override {
        Add("ask: " + question);
        if (answers.empty()) {
            ADD_FAILURE() << "unexpected question: " << question;
            return false;
        }
        const bool answer = answers.front();
        answers.pop_front();
        return answer;
    }
    std::string ChooseFile() override { return Pop(files, "file dialog"); }
    std::optional<size_t> ChooseArchiveVideo(const ArchiveContents& contents) override {
        Add("picker: " + std::to_string(contents.videos.size()) + " videos");
        if (picks.empty()) ADD_FAILURE() << "unexpected picker";
        const std::optional<size_t> pick = picks.empty() ? std::nullopt : picks.front();
        if (!picks.empty()) picks.pop_front();
        return pick;
    }
    std::string ChooseFolder(const std::string& title) override {
        return Pop(folders, "folder: " + title);
    }
    bool CanWriteIn(const std::string&) override { return writable; }
    void ShowFileName(const std::string& name) override { Add("name: " + name); }
    void ShowProperties(const PropertyTexts& t, const std::string& fileSize) override {
        Add("fields: " + t.frames + " " + t.width + "x" + t.height + " " + t.blockWidth + "x" +
            t.blockHeight + " " + t.videoLength + " " + t.outputSize + " / " + fileSize);
    }
    void ClearProgress() override { Add("clear progress"); }
    void ShowVideo(const VqaSource& video) override { Add("video: " + video.name); }
    void SetConverting(bool on) override { Add(on ? "converting" : "idle"); }
    void FocusConvert() override { Add("focus"); }
    void RunCompanion(const std::vector<std::string>& arguments) override {
        std::string line = "run:";
        for (const std::string& a : arguments) line += " [" + a + "]";
        Add(line);
    }
    void EndDialog(bool accepted) override { Add(accepted ? "end: accepted" : "end: rejected"); }

    Log log;
    std::deque<bool> answers;
    std::deque<std::string> files, folders;  // an empty string: Cancel
    std::deque<std::optional<size_t>> picks;
    bool writable = true;
    // Called with every line as it is added: the user acting while a box or program is open.
    std::function<void(const std::string&)> during;

  private:
    void Add(std::string line) {
        for (size_t at; (at = line.find(m_dir)) != std::string::npos;)
            line.replace(at, m_dir.size(), "D");
        log.push_back(line);
        if (during) during(line);
    }
    std::string Pop(std::deque<std::string>& queue, const std::string& line) {
        Add(line);
        if (queue.empty()) {
            ADD_FAILURE() << "unexpected " << line;
            return {};
        }
        std::string pick = queue.front();
        queue.pop_front();
        return pick.empty() ? pick : m_dir + "/" + pick;
    }
    std::string m_dir;
};

// What a run reports goes nowhere: these tests only start runs and stop them.
class QuietHost final : public ConversionHost {
  public:
    std::string Path() const override { return session->Path(); }
    VqaProperties Properties() const override { return session->Properties(); }
    void ProgressChanged(const ProgressTexts&) override {}
    void SeekFailed(uint32_t, uint32_t) override {}
    void ConcealedDamage(int32_t, const std::string&) override {}
    void ConversionFinished() override { finished = true; }
    void ConversionFailed(const std::string&) override {}
    ConverterSession* session = nullptr;
    std::atomic<bool> finished{false};
};

Bytes Video(size_t frames) {
    TinyVqa v = TinyThreeFrames();
    v.frames.resize(frames);
    return BuildTinyVqa(v);
}

// Entries 1 to 3: a video of three frames, a text file and a video of two.
Bytes Archive() {
    return synth::PackMix({{0x100, Video(3)}, {0x200, {'t', 'x', 't'}}, {0x300, Video(2)}});
}

class SessionTest : public testing::Test {
  protected:
    SessionTest() : m_view(m_dir.Path().string()), m_session(m_view, m_host, nullptr, Companion()) {
        m_host.session = &m_session;
        m_dir.Put("good.vqa", Video(3));
        m_dir.Put("program/readme", {});
    }
    std::string Companion() const { return (m_dir / "program/Marrowgate.exe").string(); }
    std::string Full(const std::string& name) const { return (m_dir / name).string(); }
    // Loads a file through Load File and forgets what that showed.
    void Load(const std::string& name) {
        m_view.files.push_back(name);
        m_session.LoadFile();
        m_view.log.clear();
    }

    ScratchFolder m_dir;
    FakeView m_view;
    QuietHost m_host;
    ConverterSession m_session;
};

// ---- Load File: every outcome, with a good video loaded before -------------------------------

struct LoadCase {
    const char* name;
    Bytes (*bytes)();                           // null: no such file
    const char* pick;                           // the file dialog's answer; "" is Cancel
    std::vector<std::optional<size_t>> videos;  // the archive picker's answers
    Log log;                                    // after the file dialog
    const char* loaded;                         // the loaded file afterwards
};

Bytes NotVqa() {
    Bytes b = Video(1);
    std::copy_n("WAVEfmt ", 8, b.begin() + 8);
    return b;
}

const LoadCase kLoads[] = {
    {"Video",
     [] { return Video(2); },
     "new.vqa",
     {},
     {"name: D/new.vqa", "fields: 2 4x4 4x2 00:00 0.00 MB / 0.01 MB", "video: D/new.vqa", "focus"},
     "D/new.vqa"},
    // The name stands in its field while the stop box is open; then the program ends.
    {"NotAVqaFileEndsTheProgram",
     NotVqa,
     "new.vqa",
     {},
     {"name: D/new.vqa", "stop: The file \"D/new.vqa\" is no VQA-Videofile!\nTerminating Program!.",
      "end: rejected"},
     "D/good.vqa"},
    {"Missing",
     nullptr,
     "new.vqa",
     {},
     {"stop: Cannot open \"D/new.vqa\": No such file or directory", "focus"},
     "D/good.vqa"},
    {"EndsInsideTheHeader",
     [] {
         TinyVqa v = TinyThreeFrames();
         v.cutAt = 30;
         return BuildTinyVqa(v);
     },
     "new.vqa",
     {},
     {"stop: \"D/new.vqa\" ends inside the VQA header: it holds 30 bytes, the header needs 46",
      "focus"},
     "D/good.vqa"},
    {"NoFrames",
     [] { return Video(0); },
     "new.vqa",
     {},
     {"stop: The file \"D/new.vqa\" cannot be converted:\nthe video has no frames", "focus"},
     "D/good.vqa"},
    {"Cancelled", nullptr, "", {}, {"focus"}, "D/good.vqa"},
    {"ArchiveVideo",
     Archive,
     "GAME.MIX",
     {1},
     {"picker: 2 videos", "name: D/GAME.MIX entry 3 (id 00000300)",
      "fields: 2 4x4 4x2 00:00 0.00 MB / 0.01 MB", "video: D/GAME.MIX entry 3 (id 00000300)",
      "focus"},
     "D/GAME.MIX entry 3 (id 00000300)"},
    {"ArchivePickerCancelled",
     Archive,
     "GAME.MIX",
     {std::nullopt},
     {"picker: 2 videos", "focus"},
     "D/good.vqa"},
    {"ArchiveWithoutVideos",
     [] {
         return synth::PackMix({{1, {'x'}}});
     },
     "SOUNDS.MIX",
     {},
     {"stop: The archive \"D/SOUNDS.MIX\" holds no VQA videos.", "focus"},
     "D/good.vqa"},
    {"EncryptedArchive",
     [] {
         return synth::PackMix({{1, Video(1)}}, {true, 2, 0});
     },
     "LATER.MIX",
     {},
     {"stop: Cannot read \"D/LATER.MIX\": the archive's table of contents is encrypted; extract "
      "its files with an archive tool first",
      "focus"},
     "D/good.vqa"},
};

class LoadTest : public SessionTest, public testing::WithParamInterface<LoadCase> {};

TEST_P(LoadTest, ShowsOrRefusesTheChosenFile) {
    const LoadCase& c = GetParam();
    Load("good.vqa");
    if (c.bytes) m_dir.Put(c.pick, c.bytes());
    m_view.files.push_back(c.pick);
    m_view.picks.assign(c.videos.begin(), c.videos.end());
    m_session.LoadFile();
    Log expected{"file dialog"};
    expected.insert(expected.end(), c.log.begin(), c.log.end());
    EXPECT_EQ(m_view.log, expected);
    std::string loaded = m_session.Path();
    EXPECT_EQ(loaded.replace(0, m_dir.Path().string().size(), "D"), c.loaded);
}

INSTANTIATE_TEST_SUITE_P(Files, LoadTest, testing::ValuesIn(kLoads),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- After a complete run ---------------------------------------------------------------------

struct CompletionCase {
    const char* name;
    bool companion;                  // the companion program is there
    std::vector<bool> answers;       // in the order asked
    std::vector<std::string> picks;  // of the file dialog after "another one?"
    bool exitWhileCompanionRuns = false;
    Log log;
};

const std::string kMpeg = std::string("ask: ") + kAskMpeg;
const std::string kAnother = std::string("ask: ") + kAskAnother;
const std::string kRun = "run: [D/program/Marrowgate.exe] [Reelwright] [D/good.avi] [D/good.mpg]";

const CompletionCase kCompletions[] = {
    {"NoCompanionNoMore", false, {false}, {}, false, {kAnother, "end: accepted"}},
    {"CompanionStarted", true, {true, false}, {}, false, {kMpeg, kRun, kAnother, "end: accepted"}},
    {"CompanionDeclined", true, {false, false}, {}, false, {kMpeg, kAnother, "end: accepted"}},
    {"ExitWhileTheCompanionRuns", true, {true}, {}, true, {kMpeg, kRun, "end: rejected"}},
    {"AnotherVideo",
     false,
     {true},
     {"new.vqa"},
     false,
     {kAnother, "clear progress", "file dialog", "name: D/new.vqa",
      "fields: 3 4x4 4x2 00:00 0.00 MB / 0.01 MB", "video: D/new.vqa", "focus"}},
    {"AnotherVideoCancelled",
     false,
     {true},
     {""},
     false,
     {kAnother, "clear progress", "file dialog", "focus", "end: rejected"}},
    {"AnotherThatIsNoVideoEndsOnce",
     false,
     {true},
     {"bad.vqa"},
     false,
     {kAnother, "clear progress", "file dialog", "name: D/bad.vqa",
      "stop: The file \"D/bad.vqa\" is no VQA-Videofile!\nTerminating Program!.", "end: rejected"}},
};

class CompletionTest : public SessionTest, public testing::WithParamInterface<CompletionCase> {};

TEST_P(CompletionTest, AsksAndStartsInOrder) {
    const CompletionCase& c = GetParam();
    if (c.companion) m_dir.Put("program/Marrowgate.exe", {});
    m_dir.Put("new.vqa", Video(3));
    m_dir.Put("bad.vqa", NotVqa());
    Load("good.vqa");
    m_view.answers.assign(c.answers.begin(), c.answers.end());
    m_view.files.assign(c.picks.begin(), c.picks.end());
    m_view.during = [&](const std::string& line) {
        if (c.exitWhileCompanionRuns && line.starts_with("run:")) m_session.Exit();
    };
    m_session.Finished();
    EXPECT_EQ(m_view.log, c.log);
    EXPECT_FALSE(m_session.IsCompleting());
}

INSTANTIATE_TEST_SUITE_P(Answers, CompletionTest, testing::ValuesIn(kCompletions),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SessionTest, ARunGoesFromConvertToTheQuestionsWithTheAviInPlace) {
    Load("good.vqa");
    m_view.answers = {false};
    m_session.Convert();
    for (int i = 0; i < 3000 && !m_host.finished; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    m_session.Finished();
    EXPECT_EQ(m_view.log, (Log{"converting", "idle", kAnother, "end: accepted"}));
    EXPECT_TRUE(m_dir.Get("good.avi").has_value());
    EXPECT_FALSE(m_session.IsConverting());
}

// ---- Refusals ---------------------------------------------------------------------------------

TEST_F(SessionTest, RefusesWhatCannotBeDoneNow) {
    m_session.Convert();
    m_dir.Put("program/Marrowgate.exe", {});
    Load("good.vqa");
    // The user presses Convert, Load File and drops a file while a question after the run is open.
    m_view.answers = {false, false};
    m_view.during = [&](const std::string& line) {
        if (line != kMpeg) return;
        m_session.Convert();
        m_session.LoadFile();
        m_session.OpenFile(Full("good.vqa"));
    };
    m_session.Finished();
    const std::string busy = std::string("box: ") + kRefuseLoad;
    EXPECT_EQ(m_view.log, (Log{kMpeg, std::string("box: ") + kRefuseConvertRunning, busy, busy,
                               kAnother, "end: accepted"}));
    m_view.log.clear();
    m_session.Exit();  // the window has gone: nothing more
    EXPECT_EQ(m_view.log, Log{});
}

TEST_F(SessionTest, ConvertWithoutAFileIsRefused) {
    m_session.Convert();
    EXPECT_EQ(m_view.log, Log{std::string("box: ") + kRefuseConvertNoFile});
    EXPECT_FALSE(m_session.IsConverting());
}

// ---- Where an archive's video goes -----------------------------------------------------------

TEST_F(SessionTest, AReadOnlyArchiveFolderAsksForAFolderOncePerSession) {
    m_dir.Put("GAME.MIX", Archive());
    m_view.writable = false;
    m_view.picks = {0};
    Load("GAME.MIX");
    m_view.folders = {"", "chosen"};
    m_session.Convert();  // cancelled: nothing starts
    EXPECT_FALSE(m_session.IsConverting());
    m_session.Convert();
    m_session.Abandon();
    const std::string title =
        "folder: The folder of \"GAME.MIX\" cannot be written: choose a folder for the AVI files";
    EXPECT_EQ(m_view.log, (Log{title, title, "converting"}));
    m_view.picks = {1};
    Load("GAME.MIX");
    m_session.Convert();  // the same folder, unasked
    m_session.Abandon();
    EXPECT_EQ(m_view.log, Log{"converting"});
    EXPECT_EQ(m_session.AviPath(), Full("chosen/GAME-0003-00000300.avi"));
}

TEST_F(SessionTest, AWritableArchiveFolderTakesTheAviBesideTheArchive) {
    m_dir.Put("GAME.MIX", Archive());
    m_view.picks = {1};
    Load("GAME.MIX");
    m_session.Convert();
    m_session.Abandon();
    EXPECT_EQ(m_view.log, Log{"converting"});
    EXPECT_EQ(m_session.AviPath(), Full("GAME-0003-00000300.avi"));
}

}  // namespace
}  // namespace rw::test
