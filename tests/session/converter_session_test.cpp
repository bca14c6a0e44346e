// The desktop program's decisions without its widgets: what a load shows or refuses, what a run
// reports and when, the questions after a run and what they start or end, and where an archive's
// video goes. A fake window writes every call as a line (the test's folder as "D", the fixed texts
// by their names) and takes the user's answers and choices from one script; the calls posted to its
// thread run when the test drains them.
#include "session/converter_session.h"

#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <filesystem>
#include <functional>
#include <mutex>
#include <thread>

#include "decode/archive_videos.h"
#include "run/conversion_host.h"
#include "run/progress.h"
#include "tests/support/scratch_folder.h"
#include "tests/support/tiny_vqa.h"
#include "tools/synth/hc_synth.h"
#include "tools/synth/mix_pack.h"

namespace rw::test {
namespace {

using Bytes = std::vector<uint8_t>;
using Script = std::vector<std::string>;

class FakeView final : public SessionView {
  public:
    explicit FakeView(std::string dir) : m_dir(std::move(dir)) {}

    void ShowMessage(const std::string& text, bool stop) override {
        Add(stop ? "stop" : "box", text);
    }
    // Answers: "yes" or "no", a file in the test's folder, a row of the picker; "" cancels.
    bool AskYesNo(const std::string& question) override { return Reply("ask", question) == "yes"; }
    std::string ChooseFile() override { return InFolder(Reply("file dialog", "")); }
    std::optional<size_t> ChooseArchiveVideo(ArchiveContents& contents) override {
        const std::string row = Reply("picker", std::to_string(contents.videos.size()) + " videos");
        return row.empty() ? std::nullopt : std::optional<size_t>(std::stoul(row));
    }
    std::string ChooseFolder(const std::string& title) override {
        return InFolder(Reply("folder", title));
    }
    bool CanWriteIn(const std::string&) override { return writable; }
    void ShowFileName(const std::string& name) override { Add("name", name); }
    void ShowProperties(const PropertyTexts& t, const std::string& size) override {
        Add("fields", t.frames + " " + t.width + "x" + t.height + " " + t.blockWidth + "x" +
                          t.blockHeight + " " + t.videoLength + " " + t.outputSize + " " + size);
    }
    void ClearProgress() override { Add("clear progress", ""); }
    void ShowNote(const std::string& note, bool warning) override {
        Add(warning ? "warning" : "note", note);
    }
    void ShowOutputPath(const std::string& path) override { Add("output", path); }
    void ShowVideo(const VqaSource& video) override { Add("video", video.name); }
    void SetConverting(bool on) override { Add(on ? "converting" : "idle", ""); }
    void ShowProgress(const ProgressTexts& p) override {
        Add("progress",
            p.frame + " " + p.percent +
                (p.hasTimes ? " " + p.timeRemaining + " " + p.elapsedTime + " " + p.finishTime
                            : ""));
    }
    void ShowPicture(int32_t frame, std::span<const uint8_t> picture, int32_t width,
                     int32_t height) override {
        Add("picture", std::to_string(frame) + " " + std::to_string(width) + "x" +
                           std::to_string(height) + " " + std::to_string(picture.size()) +
                           " bytes");
    }
    void RunEnded(bool completed) override { Add("ended", completed ? "completed" : "failed"); }
    void FocusConvert() override { Add("focus", ""); }
    void RunCompanion(const std::vector<std::string>& arguments) override {
        std::string line;
        for (const std::string& a : arguments) line += "[" + a + "]";
        Add("run", line);
    }
    void EndDialog(bool accepted) override { Add("end", accepted ? "accepted" : "rejected"); }

    std::string log;
    std::deque<std::string> script;
    bool writable = true;
    std::function<void(const std::string& line)> during;  // the user acting meanwhile

  private:
    void Add(const std::string& call, std::string text) {
        for (const auto& [fixed, name] : {std::pair{kAskMpeg, "MPEG?"},
                                          {kAskAnother, "another?"},
                                          {kAskTerminate, "stop?"},
                                          {kRefuseLoad, "no load"},
                                          {kRefuseConvertRunning, "no convert: running"},
                                          {kRefuseConvertNoFile, "no convert: no file"}}) {
            if (text == fixed) text = name;
        }
        for (size_t at; (at = text.find(m_dir)) != std::string::npos;)
            text.replace(at, m_dir.size(), "D");
        const std::string line = text.empty() ? call : call + ": " + text;
        log += line + "\n";
        if (during) during(line);
    }
    std::string Reply(const std::string& call, const std::string& text) {
        Add(call, text);
        if (script.empty()) {
            ADD_FAILURE() << "unexpected " << call << " " << text;
            return {};
        }
        std::string reply = script.front();
        script.pop_front();
        return reply;
    }
    std::string InFolder(const std::string& name) const {
        return name.empty() ? name : m_dir + "/" + name;
    }
    std::string m_dir;
};

// The window's thread: what is posted to it from any thread runs when the test drains it.
class PostedCalls {
  public:
    PostCall Poster() {
        return [this](std::function<void()> call) {
            std::lock_guard lock(m_mutex);
            m_calls.push_back(std::move(call));
        };
    }
    // Runs what has been posted, and what that posts, in order.
    void Drain() {
        for (;;) {
            std::function<void()> call;
            {
                std::lock_guard lock(m_mutex);
                if (m_calls.empty()) return;
                call = std::move(m_calls.front());
                m_calls.pop_front();
            }
            call();
        }
    }

  private:
    std::mutex m_mutex;
    std::deque<std::function<void()>> m_calls;
};

// Time stands still: the times of the progress are fixed, and a run shows its first picture only.
class StillClock final : public ProgressClock {
  public:
    int64_t NowMilliseconds() override { return 0; }
    TimeOfDay LocalTimeOfDay() override { return {12, 0, 0}; }
};

Bytes Video(size_t frames) {
    TinyVqa v = TinyThreeFrames();
    v.frames.resize(frames);
    return BuildTinyVqa(v);
}

// A high-colour video whose header gives 4096 x 4096 pixels: its AVI file is too large for the
// 8-bit videos' layout, not for its own.
Bytes LargeHighColour() {
    Bytes b = synth::SynthesizeHighColourVqa({.frames = 45,
                                              .width = 32,
                                              .height = 16,
                                              .blockWidth = 4,
                                              .blockHeight = 2,
                                              .framesPerSecond = 12,
                                              .sound = synth::HighColourSoundKind::Snd2Stereo,
                                              .keepExpected = false})
                  .file;
    b[26] = b[28] = 0x00;
    b[27] = b[29] = 0x10;
    return b;
}

// A video of three frames whose file ends where the record of frame `frame` would start.
Bytes CutBefore(size_t frame) {
    Bytes b = Video(3);
    const size_t at = 70 + 4 * frame;
    const size_t entry = b[at] | b[at + 1] << 8 | b[at + 2] << 16;
    b.resize(2 * entry + (frame == 0 ? 5520 : 0));
    return b;
}

class SessionTest : public testing::Test {
  protected:
    SessionTest()
        : m_view(m_dir.Path().string()),
          m_session(m_view, m_posted.Poster(), &m_clock, Full("M.exe")) {
        m_dir.Put("good.vqa", Video(3));
        m_dir.Put("video.vqa", Video(2));
        m_dir.Put("notvqa.vqa", Text("RIFF0000WAVEfmt "));
        m_dir.Put("empty.vqa", Video(0));
        // Entries 1 to 3: a video of three frames, a text file and a video of two.
        m_dir.Put("GAME.MIX", synth::PackMix({{0x100, Video(3)}, {2, {'t'}}, {0x300, Video(2)}}));
        m_dir.Put("SOUNDS.MIX", synth::PackMix({{1, {'x'}}}));
        m_dir.Put("cut.vqa", CutBefore(2));
        m_dir.Put("cut0.vqa", CutBefore(0));
        m_dir.Put("CUT.MIX", synth::PackMix({{0x400, CutBefore(1)}, {0x500, Video(2)}}));
        m_dir.Put("hc.vqa", LargeHighColour());
        m_dir.Put("HC.MIX", synth::PackMix({{0x600, LargeHighColour()}}));
    }
    std::string Full(const std::string& name) const { return (m_dir / name).string(); }
    // What the window was told while `action` ran with the user's `script`.
    std::string Run(const Script& script, const std::function<void()>& action) {
        m_view.log.clear();
        m_view.script.assign(script.begin(), script.end());
        action();
        EXPECT_TRUE(m_view.script.empty()) << "left unanswered: " << m_view.script.front();
        return m_view.log;
    }
    void Load(const Script& script) {
        Run(script, [&] { m_session.LoadFile(); });
    }
    std::string Loaded() const {
        const std::string path = m_session.Path();
        return path.starts_with(m_dir.Path().string())
                   ? "D" + path.substr(m_dir.Path().string().size())
                   : path;
    }

    // Drains what the window's thread is given until the window has been told `line` (with its
    // newline); false after 30 s.
    bool DrainUntil(const std::string& line) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (m_view.log.find(line) == std::string::npos) {
            if (std::chrono::steady_clock::now() > end) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            m_posted.Drain();
        }
        m_posted.Drain();
        return true;
    }

    ScratchFolder m_dir;
    FakeView m_view;
    PostedCalls m_posted;
    StillClock m_clock;
    ConverterSession m_session;
};

// ---- Load File, with a video loaded before ---------------------------------------------------

struct LoadCase {
    const char* name;
    Script script;
    const char* log;  // after the file dialog
};

const LoadCase kLoads[] = {
    {"Video",
     {"video.vqa"},
     "name: D/video.vqa\nfields: 2 4x4 4x2 00:00 0.00 MB 0.01 MB\nnote\nvideo: "
     "D/video.vqa\nfocus\n"},
    // A file cut short: its frames that start beyond the end (frame 0 where its record follows
    // the leading sound), and in an archive those beyond the end of the entry.
    {"CutShort",
     {"cut.vqa"},
     "name: D/cut.vqa\nfields: 3 4x4 4x2 00:00 0.00 MB 0.01 MB\nwarning: 1 of the 3 frames lies "
     "beyond the end of the file.\nvideo: D/cut.vqa\nfocus\n"},
    {"CutBeforeTheFirstFrame",
     {"cut0.vqa"},
     "name: D/cut0.vqa\nfields: 3 4x4 4x2 00:00 0.00 MB 0.01 MB\nwarning: No frame lies inside the "
     "file: it is cut short.\nvideo: D/cut0.vqa\nfocus\n"},
    {"ArchiveVideoCutShort",
     {"CUT.MIX", "0"},
     "picker: 2 videos\nname: D/CUT.MIX entry 1 (id 00000400)\nfields: 3 4x4 4x2 00:00 0.00 MB "
     "0.01 MB\nwarning: 2 of the 3 frames lie beyond the end of the file.\nvideo: D/CUT.MIX entry "
     "1 "
     "(id 00000400)\nfocus\n"},
    // The name stands in its field while the stop box is open; then the program ends.
    {"NotAVqaFileEndsTheProgram",
     {"notvqa.vqa"},
     "name: D/notvqa.vqa\nstop: The file \"D/notvqa.vqa\" is no VQA-Videofile!\nTerminating "
     "Program!.\nend: rejected\n"},
    {"Missing",
     {"gone.vqa"},
     "stop: Cannot open \"D/gone.vqa\": No such file or directory\nfocus\n"},
    {"NoFrames",
     {"empty.vqa"},
     "stop: The file \"D/empty.vqa\" cannot be converted:\nthe video has no frames\nfocus\n"},
    {"Cancelled", {""}, "focus\n"},
    {"ArchiveVideo",
     {"GAME.MIX", "1"},
     "picker: 2 videos\nname: D/GAME.MIX entry 3 (id 00000300)\nfields: 2 4x4 4x2 00:00 0.00 MB "
     "0.01 MB\nnote\nvideo: D/GAME.MIX entry 3 (id 00000300)\nfocus\n"},
    // Judged by its own kind's limits; its colour depth, frame rate and sound in the note.
    {"HighColour",
     {"hc.vqa"},
     "name: D/hc.vqa\nfields: 45 4096x4096 4x2 00:03 2160.36 MB 0.12 MB\nnote: 15-bit colour\n12 "
     "frames per second\nSound: IMA ADPCM, "
     "22050 Hz, stereo\nvideo: D/hc.vqa\nfocus\n"},
    {"ArchiveHighColour",
     {"HC.MIX", "0"},
     "picker: 1 videos\nname: D/HC.MIX entry 1 (id 00000600)\nfields: 45 4096x4096 4x2 00:03 "
     "2160.36 MB 0.12 MB\nnote: 15-bit colour\n12 "
     "frames per second\nSound: IMA ADPCM, 22050 Hz, stereo\nvideo: D/HC.MIX entry 1 (id "
     "00000600)\nfocus\n"},
    {"ArchivePickerCancelled", {"GAME.MIX", ""}, "picker: 2 videos\nfocus\n"},
    {"ArchiveWithoutVideos",
     {"SOUNDS.MIX"},
     "stop: The archive \"D/SOUNDS.MIX\" holds no VQA videos.\nfocus\n"},
};

class LoadTest : public SessionTest, public testing::WithParamInterface<LoadCase> {};

// A load that shows a video makes it the loaded file; any other keeps the one before.
TEST_P(LoadTest, ShowsOrRefusesTheChosenFile) {
    Load({"good.vqa"});
    const std::string log = Run(GetParam().script, [&] { m_session.LoadFile(); });
    EXPECT_EQ(log, std::string("file dialog\n") + GetParam().log);
    const size_t video = log.find("video: ");
    EXPECT_EQ(Loaded(), video == std::string::npos
                            ? "D/good.vqa"
                            : log.substr(video + 7, log.find('\n', video) - video - 7));
}

INSTANTIATE_TEST_SUITE_P(Files, LoadTest, testing::ValuesIn(kLoads),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- After a complete run ---------------------------------------------------------------------

struct CompletionCase {
    const char* name;
    bool companion;  // the companion program is there
    Script script;
    const char* log;
    bool exitWhileTheCompanionRuns = false;
};

const CompletionCase kCompletions[] = {
    {"NoCompanion", false, {"no"}, "output: D/good.avi\nask: another?\nend: accepted\n"},
    {"CompanionStarted",
     true,
     {"yes", "no"},
     "output: D/good.avi\nask: MPEG?\nrun: [D/M.exe][Reelwright][D/good.avi][D/good.mpg]\nask: "
     "another?\nend: "
     "accepted\n"},
    {"CompanionDeclined",
     true,
     {"no", "no"},
     "output: D/good.avi\nask: MPEG?\nask: another?\nend: accepted\n"},
    {"ExitWhileTheCompanionRuns",
     true,
     {"yes"},
     "output: D/good.avi\nask: MPEG?\nrun: [D/M.exe][Reelwright][D/good.avi][D/good.mpg]\nend: "
     "rejected\n",
     true},
    {"AnotherVideo",
     false,
     {"yes", "video.vqa"},
     "output: D/good.avi\nask: another?\nclear progress\nfile dialog\nname: D/video.vqa\nfields: 2 "
     "4x4 4x2 00:00 0.00 "
     "MB 0.01 MB\nnote\nvideo: D/video.vqa\nfocus\n"},
    {"AnotherCancelled",
     false,
     {"yes", ""},
     "output: D/good.avi\nask: another?\nclear progress\nfile dialog\nfocus\nend: rejected\n"},
    {"AnotherThatIsNoVideoEndsOnce",
     false,
     {"yes", "notvqa.vqa"},
     "output: D/good.avi\nask: another?\nclear progress\nfile dialog\nname: D/notvqa.vqa\nstop: "
     "The file "
     "\"D/notvqa.vqa\" is no VQA-Videofile!\nTerminating Program!.\nend: rejected\n"},
};

class CompletionTest : public SessionTest, public testing::WithParamInterface<CompletionCase> {};

TEST_P(CompletionTest, AsksAndStartsInOrder) {
    const CompletionCase& c = GetParam();
    if (c.companion) m_dir.Put("M.exe", {});
    Load({"good.vqa"});
    m_view.during = [&](const std::string& line) {
        if (c.exitWhileTheCompanionRuns && line.starts_with("run:")) m_session.Exit();
    };
    EXPECT_EQ(Run(c.script, [&] { m_session.Finished(); }), c.log);
    EXPECT_FALSE(m_session.IsCompleting());
}

INSTANTIATE_TEST_SUITE_P(Answers, CompletionTest, testing::ValuesIn(kCompletions),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- What a run reports, on the window's thread ------------------------------------------------

struct RunCase {
    const char* name;
    const char* file;
    Script script;
    const char* log;      // after Convert, until its last line
    bool running;         // the run stays until Exit or the window goes
    bool remove = false;  // the file goes between Load and Convert
};

const RunCase kRuns[] = {
    {"Complete",
     "good.vqa",
     {"no"},
     "converting\nprogress: 1  33.33%\npicture: 0 4x4 48 bytes\nprogress: 2  66.67% 00:00 00:00 "
     "12:00:00\nprogress: 3 100.00% 00:00 00:00 12:00:00\nidle\noutput: D/good.avi\nask: "
     "another?\nend: accepted\nended: completed\n",
     false},
    // The frame from 0 and the position sought (negative as a signed 32-bit number) in two boxes.
    {"SeekFailed",
     "seek.vqa",
     {},
     "converting\nprogress: 1  33.33%\npicture: 0 4x4 48 bytes\nprogress: 2  66.67% 00:00 00:00 "
     "12:00:00\nbox: 1\nbox: 2147483654\n",
     true},
    // Damaged frames are told before the questions.
    {"Damaged",
     "cut.vqa",
     {"no"},
     "converting\nprogress: 1  33.33%\npicture: 0 4x4 48 bytes\nprogress: 2  66.67% 00:00 00:00 "
     "12:00:00\nprogress: 3 100.00% 00:00 00:00 12:00:00\nbox: \"D/cut.vqa\": 1 frame was damaged "
     "or missing (the first is frame 3); they repeat the previous picture\nidle\noutput: "
     "D/cut.avi\nask: another?\nend: accepted\nended: completed\n",
     false},
    {"Failed",
     "gone.vqa",
     {},
     "converting\nidle\nstop: Cannot open \"D/gone.vqa\": No such file or directory\nended: "
     "failed\n",
     false,
     true},
};

class RunTest : public SessionTest, public testing::WithParamInterface<RunCase> {};

TEST_P(RunTest, ShowsWhatTheRunReportsInOrder) {
    const RunCase& c = GetParam();
    Bytes seek = Video(3);
    for (size_t i = 74; i < 78; ++i) seek[i] = 0xFF;  // 0x3FFFFFFF * 2 + 8 = 0x80000006
    m_dir.Put("seek.vqa", seek);
    m_dir.Put("gone.vqa", Video(3));
    Load({c.file});
    if (c.remove) std::filesystem::remove(Full(c.file));
    const std::string log = c.log;
    const std::string lastLine = log.substr(log.rfind('\n', log.size() - 2) + 1);
    EXPECT_EQ(Run(c.script,
                  [&] {
                      m_session.Convert();
                      EXPECT_TRUE(DrainUntil(lastLine));
                  }),
              c.log);
    EXPECT_EQ(m_session.IsConverting(), c.running);
}

INSTANTIATE_TEST_SUITE_P(Runs, RunTest, testing::ValuesIn(kRuns),
                         [](const auto& info) { return std::string(info.param.name); });

// The boxes and the end of a run wait while the window is busy with a box or dialog of its own;
// the progress does not. Reports that arrive after the window has ended are dropped.
TEST_F(SessionTest, ReportsWaitForTheWindowsOwnDialogsAndGoWithTheWindow) {
    Load({"good.vqa"});
    ProgressTexts progress;
    progress.frame = "2";
    progress.percent = "50.00%";
    m_view.during = [&](const std::string& line) {
        if (line != "file dialog") return;
        m_session.Host().ConcealedDamage(1, "late");
        m_session.Host().ProgressChanged(progress);
        m_posted.Drain();
    };
    EXPECT_EQ(Run({""},
                  [&] {
                      m_session.LoadFile();
                      m_posted.Drain();
                  }),
              "file dialog\nprogress: 2 50.00%\nfocus\nbox: late\n");
    m_view.during = nullptr;
    EXPECT_EQ(Run({"notvqa.vqa"},
                  [&] {
                      m_session.LoadFile();
                      m_session.Host().ConversionFailed("gone");
                      m_posted.Drain();
                  }),
              "file dialog\nname: D/notvqa.vqa\nstop: The file \"D/notvqa.vqa\" is no "
              "VQA-Videofile!\nTerminating Program!.\nend: rejected\n");
}

// ---- Refusals ---------------------------------------------------------------------------------

TEST_F(SessionTest, RefusesWhatCannotBeDoneNow) {
    EXPECT_EQ(Run({}, [&] { m_session.Convert(); }), "box: no convert: no file\n");
    m_dir.Put("M.exe", {});
    Load({"good.vqa"});
    // Convert, Load File and a dropped file while a question after the run is open.
    m_view.during = [&](const std::string& line) {
        if (line != "ask: MPEG?") return;
        m_session.Convert();
        m_session.LoadFile();
        m_session.OpenFile(Full("video.vqa"));
    };
    EXPECT_EQ(Run({"no", "no"}, [&] { m_session.Finished(); }),
              "output: D/good.avi\nask: MPEG?\nbox: no convert: running\nbox: no load\nbox: no "
              "load\nask: "
              "another?\nend: accepted\n");
    EXPECT_EQ(Run({}, [&] { m_session.Exit(); }), "");  // the window has gone: nothing more
}

// ---- Where an archive's video goes -----------------------------------------------------------

TEST_F(SessionTest, BesideTheArchiveOrInAFolderChosenOncePerSession) {
    Load({"GAME.MIX", "1"});
    EXPECT_EQ(Run({}, [&] { m_session.Convert(); }), "converting\n");
    m_session.Abandon();
    EXPECT_EQ(m_session.AviPath(), Full("GAME-0003-00000300.avi"));

    m_view.writable = false;
    const std::string folder =
        "folder: The folder of \"GAME.MIX\" cannot be written: choose a folder for the AVI files\n";
    EXPECT_EQ(Run({""}, [&] { m_session.Convert(); }), folder);  // cancelled: no run
    EXPECT_EQ(Run({"chosen"}, [&] { m_session.Convert(); }), folder + "converting\n");
    m_session.Abandon();
    Load({"GAME.MIX", "0"});
    EXPECT_EQ(Run({}, [&] { m_session.Convert(); }), "converting\n");
    m_session.Abandon();
    EXPECT_EQ(m_session.AviPath(), Full("chosen/GAME-0002-00000100.avi"));
    Load({"good.vqa"});  // a loose file goes beside itself again
    EXPECT_EQ(m_session.AviPath(), Full("good.avi"));
}

}  // namespace
}  // namespace rw::test
