// Convert and Exit: the refusals, a whole run into the AVI file, the seek failure, a fatal run and
// Exit during a conversion.
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTest>

#include "app/control_ids.h"
#include "tests/app/app_fixture.h"

namespace rw::test {
namespace {

using ConvertTest = AppTest;

synth::SynthOptions Small(int frames = 12) {
    synth::SynthOptions o;
    o.frames = frames;
    o.width = 64;
    o.height = 48;
    return o;
}

std::vector<uint8_t> ExpectedAvi(const QString& vqaPath) {
    return AviInMemory(ReadAll(vqaPath));
}

TEST_F(ConvertTest, ConvertsIntoTheAviBesideTheFileAndShowsTheLastProgress) {
    const QString vqa = WriteSynth(QStringLiteral("clip.vqa"), Small(12));
    Load(vqa);
    m_boxes.Answer(kAskAnother, {false});
    m_dlg->OnOK();
    EXPECT_TRUE(m_dlg->IsConverting());
    ASSERT_TRUE(WaitForCompletion());

    // The completion step asked only its last question (no companion), then ended the dialog.
    EXPECT_EQ(m_boxes.Texts(), QStringList{QString::fromLatin1(kAskAnother)});
    EXPECT_EQ(m_finished, std::vector<int>{QDialog::Accepted});
    EXPECT_FALSE(m_dlg->IsConverting());
    EXPECT_TRUE(m_recorder.runs.empty());

    const QString avi = PathOf(QStringLiteral("clip.avi"));
    EXPECT_EQ(ReadAll(avi), ExpectedAvi(vqa)) << "the AVI differs from the core's conversion";
    EXPECT_EQ(TemporaryFiles(), 0);

    EXPECT_EQ(m_dlg->FieldText(IDC_CONVERTING_FRAME), QStringLiteral("12"));
    EXPECT_EQ(m_dlg->FieldText(IDC_PERCENT_CONVERTED), QStringLiteral("100.00%"));
    const QRegularExpression mmss(QStringLiteral("^\\d\\d:\\d\\d$"));
    EXPECT_TRUE(mmss.match(m_dlg->FieldText(IDC_TIME_REMAINING)).hasMatch());
    EXPECT_TRUE(mmss.match(m_dlg->FieldText(IDC_ELAPSED_TIME)).hasMatch());
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d$"))
                    .match(m_dlg->FieldText(IDC_FINISH_TIME))
                    .hasMatch());
}

// A frame index entry whose position is negative as a signed 32-bit number: frame 1 cannot be
// sought. 0x3FFFFFFF * 2 + 8 = 0x80000006.
QString WriteSeekFailure(AppTest& t, const QString& name) {
    synth::SynthOptions o = Small(4);
    o.keepExpected = false;
    std::vector<uint8_t> bytes = synth::SynthesizeVqa(o).file;
    for (int i = 0; i < 4; ++i) bytes[74 + static_cast<size_t>(i)] = 0xFF;
    return t.Write(name, bytes);
}

class SeekFailureTest : public AppTest {
  protected:
    void Fail() {
        Load(WriteSeekFailure(*this, QStringLiteral("seek.vqa")));
        m_dlg->OnOK();
        ASSERT_TRUE(WaitFor([&] { return m_boxes.Count() >= 2; }));
        // The frame from 0 and the position sought, as unsigned numbers.
        EXPECT_EQ(m_boxes.Texts(),
                  (QStringList{QStringLiteral("1"), QStringLiteral("2147483654")}));
        // The progress was updated for the frame before its seek: frame 2 of 4.
        EXPECT_TRUE(WaitFor([&] { return m_dlg->FieldText(IDC_CONVERTING_FRAME) == "2"; }));
        m_boxes.shown.clear();
    }
};

TEST_F(SeekFailureTest, ConvertAndLoadKeepRefusing) {
    Fail();
    m_dlg->OnOK();
    m_dlg->OnLoadFile();
    EXPECT_EQ(m_boxes.Texts(),
              (QStringList{QStringLiteral("Already converting this file!"),
                           QStringLiteral("You can't load a VQA-file while you convert another "
                                          "one.")}));
    EXPECT_TRUE(m_dlg->IsConverting());
    EXPECT_EQ(m_files.calls, 1);
    // The window going away discards the unfinished output too.
    m_dlg.reset();
    EXPECT_EQ(TemporaryFiles(), 0);
}

TEST_F(SeekFailureTest, ExitAsksAndDeletesThePartialOutput) {
    Fail();
    EXPECT_EQ(TemporaryFiles(), 1);
    m_boxes.Answer(kAskTerminate, {false, true});
    m_dlg->OnCancel();  // No: nothing changes
    EXPECT_TRUE(m_dlg->IsConverting());
    EXPECT_TRUE(m_finished.empty());
    EXPECT_EQ(TemporaryFiles(), 1);
    m_dlg->OnCancel();  // Yes
    EXPECT_EQ(m_boxes.Texts(), (QStringList{QString::fromLatin1(kAskTerminate),
                                            QString::fromLatin1(kAskTerminate)}));
    EXPECT_FALSE(m_dlg->IsConverting());
    EXPECT_EQ(m_finished, std::vector<int>{QDialog::Rejected});
    EXPECT_EQ(TemporaryFiles(), 0);
    EXPECT_FALSE(QFileInfo::exists(PathOf(QStringLiteral("seek.avi"))));
}

TEST_F(ConvertTest, ExitDuringAConversionStopsItAndDeletesThePartialAvi) {
    SlowClock clock;
    m_services.clock = &clock;
    MakeDialog();
    synth::SynthOptions o = Small(400);
    o.width = 32;
    o.height = 32;
    Load(WriteSynth(QStringLiteral("long.vqa"), o));
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

TEST_F(ConvertTest, AFatalRunShowsItsMessageAndLeavesTheDialogUsable) {
    const QString vqa = WriteSynth(QStringLiteral("fatal.vqa"), Small(6));
    Load(vqa);
    const std::vector<uint8_t> bytes = ReadAll(vqa);
    ASSERT_TRUE(QFile::remove(vqa));  // gone between Load and Convert
    m_dlg->OnOK();
    ASSERT_TRUE(WaitFor([&] { return m_failures == 1; }));
    ASSERT_EQ(m_boxes.Count(), 1);
    EXPECT_TRUE(m_boxes.shown[0].stopIcon);
    EXPECT_TRUE(m_boxes.shown[0].text.contains(vqa)) << m_boxes.shown[0].text.toStdString();
    EXPECT_FALSE(m_dlg->IsConverting());
    EXPECT_FALSE(m_dlg->IsClosed());
    EXPECT_EQ(m_dlg->FieldText(IDC_FILENAME), vqa);
    EXPECT_FALSE(QFileInfo::exists(PathOf(QStringLiteral("fatal.avi"))));
    EXPECT_EQ(TemporaryFiles(), 0);

    // Idle again with the file still loaded: the next Convert runs.
    Write(QStringLiteral("fatal.vqa"), bytes);
    m_boxes.Answer(kAskAnother, {false});
    m_dlg->OnOK();
    ASSERT_TRUE(WaitForCompletion());
    EXPECT_EQ(ReadAll(PathOf(QStringLiteral("fatal.avi"))), ExpectedAvi(vqa));
}

TEST_F(ConvertTest, ConcealedDamageIsReportedBeforeTheCompletionQuestions) {
    synth::SynthOptions o = Small(10);
    o.keepExpected = false;
    std::vector<uint8_t> bytes = synth::SynthesizeVqa(o).file;
    bytes.resize(bytes.size() * 2 / 3);  // the last frames are missing
    const QString vqa = Write(QStringLiteral("cut.vqa"), bytes);
    Load(vqa);
    m_boxes.Answer(kAskAnother, {true});
    m_files.picks.push_back(vqa);  // the same file again
    m_dlg->OnOK();
    ASSERT_TRUE(WaitForCompletion());
    ASSERT_EQ(m_boxes.Count(), 2);
    EXPECT_FALSE(m_boxes.shown[0].question);
    EXPECT_TRUE(m_boxes.shown[0].text.contains(vqa)) << m_boxes.shown[0].text.toStdString();
    EXPECT_EQ(m_boxes.shown[1].text, QString::fromLatin1(kAskAnother));
    EXPECT_TRUE(QFileInfo::exists(PathOf(QStringLiteral("cut.avi"))));
    EXPECT_FALSE(m_dlg->IsClosed());
    EXPECT_EQ(m_dlg->FieldText(IDC_FILENAME), vqa);
}

// The run ends while the Exit question is open (its event loop running): the completion waits
// for the answer instead of opening its questions over it.
class FinishDuringExitQuestionTest : public AppTest {
  protected:
    QString Start() {
        m_services.clock = &m_clock;
        MakeDialog();
        const QString vqa = WriteSynth(QStringLiteral("race.vqa"), Small(20));
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
