// Start-up and the window itself: resources, splash, About box, context menu, layout and keys.
#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QPixmap>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <algorithm>
#include <functional>
#include <tuple>

#include "app/about_dlg.h"
#include "app/control_ids.h"
#include "app/converter_app.h"
#include "app/dialog_units.h"
#include "app/resources.h"
#include "app/splash_dlg.h"
#include "tests/app/app_fixture.h"
#include "tests/support/names.h"

namespace rw::test {
namespace {

using test::PrintTo;

TEST(Resources, IconLoadsInEverySize) {
    for (int size : kIconSizes) {
        const QImage image(IconResource(size));
        ASSERT_FALSE(image.isNull()) << size;
        EXPECT_EQ(image.size(), QSize(size, size));
    }
}

TEST(StartupSound, LookedUpAsNamedThenBesideTheProgram) {
    QTemporaryDir dir;
    const QString program = dir.filePath(QStringLiteral("program"));
    const QString here = dir.filePath(QStringLiteral("intro.wav"));
    const QString beside = QDir(program).filePath(QStringLiteral("intro.wav"));
    QDir().mkpath(program);
    const QString saved = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    // Whether the sound is in the working folder, whether beside the program, and which is found.
    for (const auto& [inWorkingDir, besideProgram, expected] : {std::tuple{false, false, QString()},
                                                                {false, true, beside},
                                                                {true, true, here},
                                                                {true, false, here}}) {
        for (const auto& [path, there] : {std::pair{here, inWorkingDir}, {beside, besideProgram}}) {
            QFile::remove(path);
            if (there) QFile(path).open(QIODevice::WriteOnly);
        }
        EXPECT_EQ(
            QFileInfo(FindStartupSound(QStringLiteral("intro.wav"), program)).absoluteFilePath(),
            expected.isEmpty() ? QString() : QFileInfo(expected).absoluteFilePath())
            << inWorkingDir << besideProgram;
    }
    QDir::setCurrent(saved);
}

TEST(Splash, CentredOnThePrimaryScreen) {
    struct Case {
        QRect screen;
        QSize picture;
        QPoint expected;
    };
    const Case cases[] = {
        {{0, 0, 1024, 768}, {320, 201}, {352, 283}},
        {{0, 0, 321, 202}, {320, 201}, {0, 0}},
        // A primary screen right of another, or below it.
        {{1920, 0, 1920, 1080}, {320, 201}, {2720, 439}},
        {{0, 1080, 1024, 768}, {320, 201}, {352, 1363}},
    };
    for (const Case& c : cases) EXPECT_EQ(SplashPosition(c.screen, c.picture), c.expected);
}

// The picture carries no version of its own: the splash writes the program's over it, where the
// picture leaves room under its title.
TEST(Splash, ShowsTheProgramsVersion) {
    CSplashDlg splash(nullptr, 60000);
    ASSERT_NE(splash.Version(), nullptr);
    EXPECT_EQ(splash.Version()->text(), QStringLiteral("version ") + QStringLiteral(RW_VERSION));
    const QRect line = splash.Version()->geometry();
    const QImage picture = splash.Bitmap()->pixmap().toImage();
    ASSERT_TRUE(QRect(QPoint(0, 0), picture.size()).contains(line));
    int light = 0;  // pixels of the picture as light as the version's letters
    for (int y = line.top(); y <= line.bottom(); ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            const QColor c = picture.pixelColor(x, y);
            light += std::min({c.red(), c.green(), c.blue()}) >= 190;
        }
    }
    EXPECT_EQ(light, 0);
}

// A click of either button, Enter, Return and Escape each close the splash at once.
TEST(Splash, ClicksAndTheDialogKeysCloseItAtOnce) {
    const std::function<void(CSplashDlg&)> ways[] = {
        [](CSplashDlg& s) { QTest::mouseClick(s.Bitmap(), Qt::LeftButton); },
        [](CSplashDlg& s) { QTest::mouseClick(s.Bitmap(), Qt::RightButton); },
        [](CSplashDlg& s) { QTest::keyClick(&s, Qt::Key_Enter); },
        [](CSplashDlg& s) { QTest::keyClick(&s, Qt::Key_Return); },
        [](CSplashDlg& s) { QTest::keyClick(&s, Qt::Key_Escape); }};
    for (size_t way = 0; way < std::size(ways); ++way) {
        CSplashDlg splash(nullptr, 60000);
        QSignalSpy finished(&splash, &QDialog::finished);
        splash.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&splash));
        ways[way](splash);
        EXPECT_EQ(finished.count(), 1) << "way " << way;
        EXPECT_FALSE(splash.isVisible()) << "way " << way;
    }
}

TEST(Splash, OtherKeysLeaveItOpenAndItsTimerClosesIt) {
    CSplashDlg splash(nullptr, 50);
    QSignalSpy finished(&splash, &QDialog::finished);
    splash.show();
    QTest::keyClick(&splash, Qt::Key_A);
    EXPECT_EQ(finished.count(), 0);
    EXPECT_TRUE(finished.wait(30000));
    EXPECT_EQ(finished.count(), 1);
}

// --help and --version answer and end, whatever else the line holds; one file is loaded; other
// lines are refused with a hint.
TEST(CommandLine, AnswersHelpAndVersionAndTakesOneFile) {
    using Action = CommandLine::Action;
    const QString version = QStringLiteral("reelwright " RW_VERSION "\n");
    const QString hint = QStringLiteral("\nTry 'reelwright --help' for more information.\n");
    struct Case {
        QStringList arguments;
        Action action;
        QString file;
        QString text;
        bool part = false;  // `text` is a line of the help text
    };
    const Case cases[] = {
        {{}, Action::Run, {}, {}},
        {{"movie.vqa"}, Action::Run, "movie.vqa", {}},
        {{"--", "--help"}, Action::Run, "--help", {}},
        {{"--version"}, Action::Print, {}, version},
        {{"-v"}, Action::Print, {}, version},
        {{"movie.vqa", "--version"}, Action::Print, {}, version},
        {{"--help"},
         Action::Print,
         {},
         "  -v, --version  Show the program's version and end.",
         true},
        {{"-h"}, Action::Print, {}, "  file           A VQA video to load, or a MIX archive", true},
        // Before the window system has taken its own options out of the line.
        {{"-platform", "xcb", "--help"},
         Action::Print,
         {},
         "Usage: reelwright [options] [file]\n",
         true},
        {{"--bogus"}, Action::Refuse, {}, "reelwright: Unknown option 'bogus'." + hint},
        {{"a.vqa", "b.vqa"},
         Action::Refuse,
         {},
         "reelwright: Only one file can be opened at a time." + hint},
    };
    for (const Case& c : cases) {
        const CommandLine line = ParseCommandLine(QStringList{"reelwright"} + c.arguments);
        const std::string what = c.arguments.join(' ').toStdString();
        EXPECT_EQ(line.action, c.action) << what;
        EXPECT_EQ(line.file, c.file) << what;
        if (c.part) {
            EXPECT_TRUE(line.text.contains(c.text)) << what << "\n" << line.text.toStdString();
        } else {
            EXPECT_EQ(line.text, c.text) << what;
        }
    }
}

TEST(About, CarriesTheProgramsLinesAndIcon) {
    CAboutDlg about;
    EXPECT_EQ(about.windowTitle(), QStringLiteral("About Reelwright"));
    QStringList texts;
    bool icon = false;
    for (QLabel* label : about.findChildren<QLabel*>()) {
        if (!label->text().isEmpty()) texts << label->text();
        if (!label->pixmap().isNull()) icon = true;
    }
    // The contact line names the README where an installed copy has it.
    EXPECT_TRUE(texts.contains(AboutContactLine()));
    EXPECT_TRUE(ReadmePath().is_absolute());
    EXPECT_TRUE(AboutContactLine().endsWith(QStringLiteral("/share/doc/reelwright/README.md")))
        << AboutContactLine().toStdString();
    EXPECT_TRUE(icon);
    const auto buttons = about.findChildren<QPushButton*>();
    ASSERT_EQ(buttons.size(), 1);
    EXPECT_TRUE(buttons[0]->isDefault());
}

// Counts the About box instead of opening it.
class CountingDlg final : public CConverterDlg {
  public:
    using CConverterDlg::CConverterDlg;
    int aboutBoxes = 0;

  protected:
    void RunAboutBox() override { ++aboutBoxes; }
};

using WindowTest = AppTest;

TEST_F(WindowTest, TheAboutEntryAndItsSystemCommandsOpenTheAboutBox) {
    CountingDlg dlg(m_services);
    for (unsigned id = 0x0010; id <= 0x001F; ++id) dlg.OnSysCommand(id);
    for (unsigned id : {0x0000u, 0x0020u, 0xF060u, 0xF120u}) dlg.OnSysCommand(id);
    EXPECT_EQ(dlg.aboutBoxes, 16);
    std::unique_ptr<QMenu> menu = dlg.CreateSystemMenu();
    const QList<QAction*> actions = menu->actions();
    ASSERT_EQ(actions.size(), 2);  // a separator, then the entry
    EXPECT_EQ(actions[1]->text(), QStringLiteral("&About reelwright..."));
    actions[1]->trigger();
    EXPECT_EQ(dlg.aboutBoxes, 17);
}

TEST_F(WindowTest, InitialisationSetsTheIconAndPlaysTheSoundBesideTheProgram) {
    QFile(PathOf(QStringLiteral("program/intro.wav"))).open(QIODevice::WriteOnly);
    EXPECT_TRUE(m_dlg->OnInitDialog());
    EXPECT_FALSE(m_dlg->windowIcon().isNull());
    EXPECT_FALSE(m_dlg->OnQueryDragIcon().isNull());
    ASSERT_EQ(m_sound.Played().size(), 1u);
    EXPECT_EQ(m_sound.Played()[0], PathOf(QStringLiteral("program/intro.wav")));
    EXPECT_FALSE(m_dlg->IsConverting());
}

TEST_F(WindowTest, ButtonsInTabOrderWithConvertAsDefault) {
    auto* load = qobject_cast<QPushButton*>(m_dlg->Control(IDC_LOAD_FILE));
    auto* convert = qobject_cast<QPushButton*>(m_dlg->Control(IDOK));
    auto* exit = qobject_cast<QPushButton*>(m_dlg->Control(IDCANCEL));
    ASSERT_TRUE(load && convert && exit);
    EXPECT_EQ(load->text(), QStringLiteral("Load File"));
    EXPECT_EQ(convert->text(), QStringLiteral("Convert"));
    EXPECT_EQ(exit->text(), QStringLiteral("Exit"));
    // The first tab stop has the focus at start-up, so Enter opens the file dialog; a button
    // with the focus is the one Enter presses, as with Convert later.
    EXPECT_EQ(m_dlg->focusWidget(), load);
    EXPECT_TRUE(load->isDefault());
    EXPECT_EQ(load->nextInFocusChain(), convert);
    EXPECT_EQ(convert->nextInFocusChain(), exit);
    // Left to right along one row, below both group boxes.
    EXPECT_LT(load->x(), convert->x());
    EXPECT_LT(convert->x(), exit->x());
    EXPECT_EQ(load->y(), exit->y());
    for (QGroupBox* box : m_dlg->findChildren<QGroupBox*>()) {
        EXPECT_LT(box->geometry().bottom(), load->y());
    }
}

TEST(DialogUnits, ConvertWithTheFontsBaseUnits) {
    struct Case {
        QRect units;
        DialogBaseUnits base;
        QRect pixels;
    };
    const Case cases[] = {
        {{0, 0, 373, 135}, {6, 13}, {0, 0, 560, 219}},  // (373*6+2)/4, (135*13+4)/8
        {{71, 115, 50, 14}, {6, 13}, {107, 187, 75, 23}},
        {{4, 8, 4, 8}, {8, 16}, {8, 16, 8, 16}},
        {{1, 1, 1, 1}, {1, 1}, {0, 0, 0, 0}},
    };
    for (const Case& c : cases) EXPECT_EQ(DialogUnitsToPixels(c.units, c.base), c.pixels);
}

TEST_F(WindowTest, LayoutScalesWithTheFont) {
    QFont small = m_dlg->font();
    small.setPixelSize(10);
    m_dlg->setFont(small);
    QCoreApplication::processEvents();
    const QRect before = m_dlg->Control(IDC_OUTPUT_FILESIZE)->geometry();
    const QSize dialogBefore = m_dlg->size();
    QFont large = small;
    large.setPixelSize(20);
    m_dlg->setFont(large);
    QCoreApplication::processEvents();
    const QRect after = m_dlg->Control(IDC_OUTPUT_FILESIZE)->geometry();
    EXPECT_GT(after.x(), before.x() * 3 / 2);
    EXPECT_GT(after.y(), before.y() * 3 / 2);
    EXPECT_GT(m_dlg->width(), dialogBefore.width() * 3 / 2);
}

TEST_F(WindowTest, EnterActsAsConvertAndEscapeAsExit) {
    m_dlg->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(m_dlg.get()));
    m_dlg->Control(IDOK)->setFocus();
    QTest::keyClick(m_dlg.get(), Qt::Key_Return);
    EXPECT_EQ(m_boxes.Texts(), QStringList{QString::fromLatin1(kRefuseConvertNoFile)});
    QTest::keyClick(m_dlg.get(), Qt::Key_Escape);
    EXPECT_EQ(m_finished, std::vector<int>{QDialog::Rejected});
}

TEST_F(WindowTest, ClosingTheWindowActsAsExit) {
    m_dlg->close();
    EXPECT_EQ(m_finished, std::vector<int>{QDialog::Rejected});
    EXPECT_EQ(m_boxes.Count(), 0);
}

}  // namespace
}  // namespace rw::test
