// The MPEG companion after a run: the argument list it receives, Exit while it runs, and a file of
// its name that is no program.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include "app/control_ids.h"
#include "platform/qt/process_runner.h"
#include "tests/app/app_fixture.h"

namespace rw::test {
namespace {

// The arguments the recording stand-in received.
QStringList CompanionArguments(const QString& file) {
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) return {};
    QStringList args;
    for (const QByteArray& a : f.readAll().split('\0')) args << QFile::decodeName(a);
    args.removeLast();  // after the last NUL
    return args;
}

// The companion gets exactly its argument list (spaces and quotes in the path arrive as they are)
// once the AVI file is in place, and Exit while it runs ends the window without stopping it.
TEST_F(AppTest, TheCompanionGetsItsArgumentListAndOutlivesExit) {
    PosixProcessRunner runner;
    m_services.processes = &runner;
    MakeDialog();
    const QString tool = PathOf(QStringLiteral("program/Marrowgate.exe"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(RW_FAKE_COMPANION), tool));
    QFile(tool).setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                               QFileDevice::ExeOwner);
    Write(QStringLiteral("program/hold"), {});
    ASSERT_TRUE(QDir(m_dir->path()).mkpath(QStringLiteral("my videos/it's \"one\"")));
    const QString vqa =
        WriteSynth(QStringLiteral("my videos/it's \"one\"/clip one.vqa"), SmallOptions(6, 32, 32));
    const QString base = vqa.left(vqa.size() - 3);
    const QString args = PathOf(QStringLiteral("program/companion-args"));
    bool aviInPlace = false;
    // Once the companion has started, the user presses Exit in the still responsive window.
    std::function<void()> exitWhenStarted = [&] {
        if (!QFileInfo::exists(args)) {
            QTimer::singleShot(5, m_dlg.get(), exitWhenStarted);
            return;
        }
        aviInPlace = QFileInfo::exists(base + QStringLiteral("avi"));
        m_dlg->OnCancel();
    };
    m_boxes.whileOpen = [&](const QString& text) {
        if (text == QString::fromLatin1(kAskMpeg))
            QTimer::singleShot(0, m_dlg.get(), exitWhenStarted);
    };
    m_boxes.Answer(kAskMpeg, {true});
    Load(vqa);
    m_dlg->OnOK();
    ASSERT_TRUE(WaitForCompletion());

    EXPECT_TRUE(runner.LastStarted());
    EXPECT_EQ(CompanionArguments(args),
              (QStringList{tool, QStringLiteral("Reelwright"), base + QStringLiteral("avi"),
                           base + QStringLiteral("mpg")}));
    EXPECT_TRUE(aviInPlace);
    EXPECT_EQ(m_finished, std::vector<int>{QDialog::Rejected});
    EXPECT_EQ(m_boxes.Texts(), QStringList{QString::fromLatin1(kAskMpeg)});  // no more questions
    EXPECT_FALSE(QFileInfo::exists(PathOf(QStringLiteral("program/done"))));
    // The companion goes on and finishes its work.
    Write(QStringLiteral("program/release"), {});
    EXPECT_TRUE(WaitFor([&] { return QFileInfo::exists(PathOf(QStringLiteral("program/done"))); }));
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

}  // namespace
}  // namespace rw::test
