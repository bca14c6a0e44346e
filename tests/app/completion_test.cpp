// The MPEG companion after a run: the argument list it receives, and Exit while it runs.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include "app/control_ids.h"
#include "platform/qt/process_runner.h"
#include "tests/app/app_fixture.h"

namespace rw::test {
namespace {

synth::SynthOptions Small() {
    synth::SynthOptions o;
    o.frames = 6;
    o.width = 32;
    o.height = 32;
    return o;
}

class CompletionTest : public AppTest {
  protected:
    // Converts `vqa` and waits for the end of the completion step.
    // `laterPicks` answer the file dialog of "convert another".
    void ConvertAndComplete(const QString& vqa, std::initializer_list<QString> laterPicks = {}) {
        Load(vqa);
        m_files.picks.insert(m_files.picks.end(), laterPicks.begin(), laterPicks.end());
        m_dlg->OnOK();
        ASSERT_TRUE(WaitForCompletion());
    }
    // Puts the recording stand-in into the program directory as the companion.
    QString PlaceCompanion() {
        const QString tool = PathOf(QStringLiteral("program/Marrowgate.exe"));
        EXPECT_TRUE(QFile::copy(QStringLiteral(RW_FAKE_COMPANION), tool));
        QFile(tool).setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                   QFileDevice::ExeOwner);
        return tool;
    }
    QStringList CompanionArguments() const {
        const std::vector<uint8_t> raw = ReadAll(PathOf(QStringLiteral("program/companion-args")));
        QStringList args;
        QByteArray current;
        for (uint8_t b : raw) {
            if (b == 0) {
                args << QFile::decodeName(current);
                current.clear();
            } else {
                current.append(static_cast<char>(b));
            }
        }
        return args;
    }
};

TEST_F(CompletionTest, CompanionReceivesExactlyItsArgumentList) {
    PosixProcessRunner runner;
    m_services.processes = &runner;
    MakeDialog();
    const QString tool = PlaceCompanion();
    // Spaces and quote characters in the path arrive as they are.
    ASSERT_TRUE(QDir(m_dir->path()).mkpath(QStringLiteral("my videos/it's \"one\"")));
    const QString vqa = WriteSynth(QStringLiteral("my videos/it's \"one\"/clip one.vqa"), Small());
    m_boxes.Answer(kAskMpeg, {true});
    m_boxes.Answer(kAskAnother, {false});
    ConvertAndComplete(vqa);

    EXPECT_TRUE(runner.LastStarted());
    const QString base = vqa.left(vqa.size() - 3);
    EXPECT_EQ(CompanionArguments(),
              (QStringList{tool, QStringLiteral("Reelwright"), base + QStringLiteral("avi"),
                           base + QStringLiteral("mpg")}));
    EXPECT_EQ(m_boxes.Texts(),
              (QStringList{QString::fromLatin1(kAskMpeg), QString::fromLatin1(kAskAnother)}));
    // The AVI is complete and closed when the companion starts.
    EXPECT_TRUE(QFileInfo::exists(base + QStringLiteral("avi")));
    EXPECT_EQ(m_finished, std::vector<int>{QDialog::Accepted});
}

TEST(ProcessRunner, AFileThatIsNoProgramIsNotStarted) {
    QTemporaryDir dir;
    const QString tool = dir.filePath(QStringLiteral("Marrowgate.exe"));
    QFile f(tool);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("not a program");
    f.close();
    PosixProcessRunner runner;
    runner.RunAndWait(tool, {tool});
    EXPECT_FALSE(runner.LastStarted());
}

TEST_F(CompletionTest, ExitWhileTheCompanionRunsLeavesItRunning) {
    PosixProcessRunner runner;
    m_services.processes = &runner;
    MakeDialog();
    PlaceCompanion();
    Write(QStringLiteral("program/hold"), {});
    const QString args = PathOf(QStringLiteral("program/companion-args"));
    m_boxes.Answer(kAskMpeg, {true});
    // Once the companion has started, the user presses Exit in the still responsive window.
    std::function<void()> exitWhenStarted = [&] {
        if (QFileInfo::exists(args)) {
            m_dlg->OnCancel();
        } else {
            QTimer::singleShot(5, m_dlg.get(), exitWhenStarted);
        }
    };
    m_boxes.whileOpen = [&](const QString& text) {
        if (text == QString::fromLatin1(kAskMpeg))
            QTimer::singleShot(0, m_dlg.get(), exitWhenStarted);
    };
    ConvertAndComplete(WriteSynth(QStringLiteral("a.vqa"), Small()));

    EXPECT_EQ(m_finished, std::vector<int>{QDialog::Rejected});
    EXPECT_EQ(m_boxes.Texts(), QStringList{QString::fromLatin1(kAskMpeg)});  // no more questions
    EXPECT_FALSE(QFileInfo::exists(PathOf(QStringLiteral("program/done"))));
    // The companion goes on and finishes its work.
    Write(QStringLiteral("program/release"), {});
    EXPECT_TRUE(WaitFor([&] { return QFileInfo::exists(PathOf(QStringLiteral("program/done"))); }));
}

}  // namespace
}  // namespace rw::test
