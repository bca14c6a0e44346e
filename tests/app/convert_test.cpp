// The window around a run: the loaded file's fields, a whole run into the AVI file, a run that
// stays after a seek failure, Exit during a run, and a run that ends while the Exit question is
// open.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTest>

#include "app/control_ids.h"
#include "app/elided_label.h"
#include "tests/app/app_fixture.h"

namespace rw::test {
namespace {

using ConvertTest = AppTest;

std::vector<uint8_t> ExpectedAvi(const QString& vqaPath) {
    return ConvertInMemory(ReadAll(vqaPath)).avi;
}

constexpr int kProgressFields[] = {IDC_CONVERTING_FRAME, IDC_PERCENT_CONVERTED, IDC_TIME_REMAINING,
                                   IDC_ELAPSED_TIME, IDC_FINISH_TIME};

// Load File fills every field and moves the focus to Convert; the run's last progress stands while
// "another one?" is open, and is cleared for the next file.
TEST_F(ConvertTest, ShowsTheFileConvertsItAndClearsTheProgressForTheNext) {
    const QString vqa = WriteSynth(QStringLiteral("clip.vqa"), SmallOptions(12, 64, 48));
    m_dlg->Control(IDC_LOAD_FILE)->setFocus();
    Load(vqa);
    EXPECT_EQ(m_files.lastFilter,
              QStringLiteral("C&C VQA-Videodateien (*.vqa);;C&C MIX-Archive (*.mix *.MIX)"));
    EXPECT_EQ(m_files.lastSuffix, QStringLiteral("vqa"));
    EXPECT_EQ(m_dlg->focusWidget(), m_dlg->Control(IDOK));
    QStringList fields;
    for (int id : {IDC_FILENAME, IDC_NUMBER_OF_FRAMES, IDC_WIDTH, IDC_HEIGHT, IDC_BLOCK_WIDTH,
                   IDC_BLOCK_HEIGHT, IDC_VIDEO_LENGTH, IDC_OUTPUT_FILESIZE, IDC_FILESIZE}) {
        fields << m_dlg->FieldText(id);
    }
    EXPECT_EQ(fields,
              (QStringList{vqa, "12", "64", "48", "4", "2", "00:00", "0.16 MB", "0.03 MB"}));

    QStringList progress;
    m_boxes.whileOpen = [&](const QString&) {
        for (int id : kProgressFields) progress << m_dlg->FieldText(id);
        progress << m_dlg->FieldText(IDC_OUTPUT_PATH);
    };
    m_boxes.Answer(kAskAnother, {true});
    m_files.picks.push_back(QString());  // no other file: the window ends
    m_dlg->OnOK();
    EXPECT_TRUE(m_dlg->IsConverting());
    ASSERT_TRUE(WaitForCompletion());
    EXPECT_EQ(m_boxes.Texts(), QStringList{QString::fromLatin1(kAskAnother)});
    EXPECT_EQ(m_finished, std::vector<int>{QDialog::Rejected});
    EXPECT_FALSE(m_dlg->IsConverting());
    EXPECT_EQ(ReadAll(PathOf(QStringLiteral("clip.avi"))), ExpectedAvi(vqa));
    EXPECT_EQ(TemporaryFiles(), 0);

    // Frame, percent, remaining, elapsed and finish time, and where the AVI file went.
    EXPECT_EQ(progress.takeLast(), PathOf(QStringLiteral("clip.avi")));
    EXPECT_TRUE(QRegularExpression(
                    QStringLiteral("^12 100.00% \\d\\d:\\d\\d \\d\\d:\\d\\d \\d\\d:\\d\\d:\\d\\d$"))
                    .match(progress.join(QLatin1Char(' ')))
                    .hasMatch())
        << progress.join(QLatin1Char(' ')).toStdString();
    for (int id : kProgressFields) EXPECT_EQ(m_dlg->FieldText(id), QString()) << id;
    EXPECT_EQ(m_dlg->FieldText(IDC_OUTPUT_PATH), QString());
}

// A path too long for its field shows its start and its file name, and all of it as a tooltip.
TEST_F(ConvertTest, ALongPathIsShortenedInItsMiddle) {
    const QString folder =
        QString(60, QLatin1Char('f')) + QLatin1Char('/') + QString(60, QLatin1Char('g'));
    ASSERT_TRUE(QDir(m_dir->path()).mkpath(folder));
    const QString vqa =
        WriteSynth(folder + QStringLiteral("/the clip.vqa"), SmallOptions(2, 64, 48));
    Load(vqa);
    const auto* field = dynamic_cast<const ElidedLabel*>(m_dlg->Control(IDC_FILENAME));
    ASSERT_NE(field, nullptr);
    EXPECT_EQ(field->text(), vqa);
    EXPECT_EQ(field->toolTip(), vqa);
    const QString shown = field->ShownText();
    EXPECT_TRUE(shown.startsWith(vqa.left(4))) << shown.toStdString();
    EXPECT_TRUE(shown.endsWith(QStringLiteral("the clip.vqa"))) << shown.toStdString();
    EXPECT_TRUE(shown.contains(QChar(0x2026))) << shown.toStdString();
    EXPECT_LE(field->fontMetrics().horizontalAdvance(shown), field->contentsRect().width());
}

// A frame index entry whose position is negative as a signed 32-bit number: frame 1 cannot be
// sought. 0x3FFFFFFF * 2 + 8 = 0x80000006.
QString WriteSeekFailure(AppTest& t, const QString& name) {
    std::vector<uint8_t> bytes = SmallVideo(4, 64, 48).file;
    for (int i = 0; i < 4; ++i) bytes[74 + static_cast<size_t>(i)] = 0xFF;
    return t.Write(name, bytes);
}

// After the seek failure's two boxes the run stays until Exit or the window goes, and Convert and
// Load File are refused meanwhile.
TEST_F(ConvertTest, ASeekFailureKeepsTheRunUntilTheWindowGoes) {
    Load(WriteSeekFailure(*this, QStringLiteral("seek.vqa")));
    m_dlg->OnOK();
    ASSERT_TRUE(WaitFor([&] { return m_boxes.Count() >= 2; }));
    // The progress was updated for the frame before its seek: frame 2 of 4.
    EXPECT_TRUE(WaitFor([&] { return m_dlg->FieldText(IDC_CONVERTING_FRAME) == "2"; }));
    m_boxes.shown.clear();
    m_boxes.Answer(kAskTerminate, {false});
    m_dlg->OnOK();
    m_dlg->OnLoadFile();
    m_dlg->OnCancel();
    EXPECT_EQ(m_boxes.Texts(),
              (QStringList{QString::fromLatin1(kRefuseConvertRunning),
                           QString::fromLatin1(kRefuseLoad), QString::fromLatin1(kAskTerminate)}));
    EXPECT_TRUE(m_dlg->IsConverting());
    EXPECT_TRUE(m_finished.empty());
    EXPECT_EQ(m_files.calls, 1);
    EXPECT_EQ(TemporaryFiles(), 1);
    m_dlg.reset();
    EXPECT_EQ(TemporaryFiles(), 0);
}

TEST_F(ConvertTest, ExitDuringAConversionStopsItAndDeletesThePartialAvi) {
    SlowClock clock;
    m_services.clock = &clock;
    MakeDialog();
    Load(WriteSynth(QStringLiteral("long.vqa"), SmallOptions(400, 32, 32)));
    // An AVI of that name from earlier is not the run's output and stays.
    Write(QStringLiteral("long.avi"), std::vector<uint8_t>{1, 2, 3});
    m_dlg->OnOK();
    ASSERT_TRUE(WaitFor([&] { return !m_dlg->FieldText(IDC_CONVERTING_FRAME).isEmpty(); }));
    m_dlg->OnOK();  // a second Convert is refused
    EXPECT_EQ(m_boxes.Texts(), QStringList{QStringLiteral("Already converting this file!")});
    m_boxes.Answer(kAskTerminate, {true});
    m_dlg->OnCancel();
    EXPECT_FALSE(m_dlg->IsConverting());
    EXPECT_EQ(m_finished, std::vector<int>{QDialog::Rejected});
    EXPECT_EQ(TemporaryFiles(), 0);
    EXPECT_EQ(ReadAll(PathOf(QStringLiteral("long.avi"))), (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(m_completions, 0);
    // Calls the worker made before it stopped are dropped with the ended dialog.
    QTest::qWait(0);
    EXPECT_EQ(m_boxes.Count(), 2);
}

// The run ends while the Exit question is open (its event loop running): the completion waits
// for the answer instead of opening its questions over it.
class FinishDuringExitQuestionTest : public AppTest {
  protected:
    QString Start() {
        m_services.clock = &m_clock;
        MakeDialog();
        const QString vqa = WriteSynth(QStringLiteral("race.vqa"), SmallOptions(20, 64, 48));
        Load(vqa);
        m_dlg->OnOK();
        EXPECT_TRUE(WaitFor([&] { return !m_dlg->FieldText(IDC_CONVERTING_FRAME).isEmpty(); }));
        m_boxes.whileOpen = [&](const QString& text) {
            if (text != QString::fromLatin1(kAskTerminate)) return;
            // Like a real box: the event loop runs until well after the run has finished.
            EXPECT_TRUE(
                WaitFor([&] { return QFileInfo::exists(PathOf(QStringLiteral("race.avi"))); }));
            QTest::qWait(100);
            // The progress fields kept up with the run meanwhile.
            EXPECT_EQ(m_dlg->FieldText(IDC_CONVERTING_FRAME), QStringLiteral("20"));
            EXPECT_EQ(m_dlg->FieldText(IDC_PERCENT_CONVERTED), QStringLiteral("100.00%"));
        };
        return vqa;
    }
    SlowClock m_clock;
};

TEST_F(FinishDuringExitQuestionTest, NoGoesOnToTheCompletionQuestions) {
    Start();
    m_boxes.Answer(kAskTerminate, {false});
    m_boxes.Answer(kAskAnother, {false});
    m_dlg->OnCancel();
    ASSERT_TRUE(WaitForCompletion());
    EXPECT_EQ(m_boxes.maxOpen, 1);
    EXPECT_EQ(m_boxes.Texts(),
              (QStringList{QString::fromLatin1(kAskTerminate), QString::fromLatin1(kAskAnother)}));
    EXPECT_EQ(m_finished, std::vector<int>{QDialog::Accepted});
}

TEST_F(FinishDuringExitQuestionTest, YesEndsTheDialogAndKeepsTheCompleteAvi) {
    const QString vqa = Start();
    m_boxes.Answer(kAskTerminate, {true});
    m_dlg->OnCancel();
    QTest::qWait(0);
    EXPECT_EQ(m_boxes.maxOpen, 1);
    EXPECT_EQ(m_boxes.Texts(), QStringList{QString::fromLatin1(kAskTerminate)});
    EXPECT_EQ(m_finished, std::vector<int>{QDialog::Rejected});
    EXPECT_EQ(m_completions, 0);
    EXPECT_EQ(ReadAll(PathOf(QStringLiteral("race.avi"))), ExpectedAvi(vqa));
}

}  // namespace
}  // namespace rw::test
