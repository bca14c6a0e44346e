// The MPEG companion after a run: the argument list it receives, Exit while it runs, and a file of
// its name that is no program.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include "app/control_ids.h"
#include "platform/qt/message_boxes.h"
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

// Real boxes over the real window: the questions after a run leave the final figures in sight,
// and the line under them names the output.
TEST_F(AppTest, TheQuestionsAfterARunLeaveItsFiguresInSight) {
    QtMessageBoxes boxes;
    m_services.messages = &boxes;
    MakeDialog();
    boxes.SetParent(m_dlg.get());
    Load(WriteSynth(QStringLiteral("clip.vqa"), SmallOptions(6, 64, 48)));
    QStringList covered;  // the figures a box covers
    QString output;
    int questions = 0;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || !box->isVisible()) return;
        ++questions;
        for (int id : {IDC_CONVERTING_FRAME, IDC_PERCENT_CONVERTED, IDC_ELAPSED_TIME,
                       IDC_FINISH_TIME, IDC_TIME_REMAINING, IDC_OUTPUT_PATH}) {
            const QWidget* field = m_dlg->Control(id);
            if (box->frameGeometry().intersects(
                    QRect(field->mapToGlobal(QPoint(0, 0)), field->size()))) {
                covered << QString::number(id);
            }
        }
        output = m_dlg->FieldText(IDC_OUTPUT_PATH);
        box->button(QMessageBox::No)->click();
    });
    answer.start(20);
    m_dlg->OnOK();
    ASSERT_TRUE(WaitForCompletion());
    EXPECT_EQ(questions, 1);
    EXPECT_EQ(covered, QStringList());
    EXPECT_EQ(output, PathOf(QStringLiteral("clip.avi")));
    m_dlg.reset();  // before the boxes it uses go
}

// Centred on the window when that leaves the area free, else beside it, below or above the
// window, on the screen.
TEST(MessageBoxPlace, ClearOfTheAreaAndOnTheScreen) {
    const QRect screen(0, 0, 1280, 800);
    const QRect window(100, 100, 900, 230), keep(400, 107, 290, 170);  // centre 549, 214
    const QRect right = window.translated(200, 0), low = window.translated(0, 500);
    struct Case {
        QRect window, keep;
        QSize box;
        QPoint expected;
    };
    const Case cases[] = {
        {window, QRect(100, 107, 100, 50), {300, 120}, {399, 154}},  // the centre is free
        {window, keep, {300, 120}, {88, 154}},                       // left of it
        {window, keep, {400, 120}, {0, 154}},                        // slid onto the screen
        {window, keep, {450, 120}, {702, 154}},                      // right of it
        {right, keep.translated(200, 0), {620, 120}, {439, 342}},    // below the window
        {low, keep.translated(0, 500), {620, 120}, {239, 468}},      // above it
        {window, keep, {1300, 120}, {-101, 154}},                    // nowhere: centred
    };
    for (const Case& c : cases) {
        EXPECT_EQ(BoxPositionClearOf(c.keep, c.box, c.window, screen), c.expected)
            << c.box.width() << " " << c.window.x() << "," << c.window.y();
    }
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
