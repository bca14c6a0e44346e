// Load File: the file dialog, the property fields, and every way a chosen file can be refused.
#include <QFile>
#include <QPushButton>

#include "app/control_ids.h"
#include "tests/app/app_fixture.h"
#include "tests/support/names.h"

namespace rw::test {
namespace {

using test::PrintTo;

struct LoadCase {
    const char* name;
    int frames, width, height, blockWidth, blockHeight, soundRate;
    qint64 fileLength;  // the file is padded to this length
    const char* frames1002;
    const char* length1012;
    const char* output1013;
    const char* size1011;
};

// Lengths at 15 frames per second, the estimate E / 2^20 and the file size / 2^20 (the rounding
// cases are checked where the texts are made).
const LoadCase kLoadCases[] = {
    {"1800 frames of 320x200 at 22050 Hz", 1800, 320, 200, 4, 2, 22050, 10000000, "1800", "02:00",
     "334.74 MB", "9.54 MB"},
    {"640x400 with 4x4 blocks, no sound", 30, 640, 400, 4, 4, 0, 70000, "30", "00:02", "21.97 MB",
     "0.07 MB"},
};

class LoadFieldsTest : public AppTest, public ::testing::WithParamInterface<LoadCase> {};

TEST_P(LoadFieldsTest, ShowsEveryFieldOfTheLoadedFile) {
    const LoadCase& c = GetParam();
    std::vector<uint8_t> bytes =
        HeaderOnlyVqa(c.frames, c.width, c.height, c.blockWidth, c.blockHeight, c.soundRate);
    bytes.resize(static_cast<size_t>(c.fileLength), 0);
    const QString path = Write(QStringLiteral("video.vqa"), bytes);

    m_dlg->Control(IDC_LOAD_FILE)->setFocus();
    Load(path);

    EXPECT_EQ(m_boxes.Count(), 0) << m_boxes.Texts().join(QStringLiteral(" | ")).toStdString();
    EXPECT_EQ(m_dlg->FieldText(IDC_FILENAME), path);  // the full path, not only the name
    EXPECT_EQ(m_dlg->FieldText(IDC_NUMBER_OF_FRAMES), QString::fromLatin1(c.frames1002));
    EXPECT_EQ(m_dlg->FieldText(IDC_WIDTH), QString::number(c.width));
    EXPECT_EQ(m_dlg->FieldText(IDC_HEIGHT), QString::number(c.height));
    EXPECT_EQ(m_dlg->FieldText(IDC_BLOCK_WIDTH), QString::number(c.blockWidth));
    EXPECT_EQ(m_dlg->FieldText(IDC_BLOCK_HEIGHT), QString::number(c.blockHeight));
    EXPECT_EQ(m_dlg->FieldText(IDC_VIDEO_LENGTH), QString::fromLatin1(c.length1012));
    EXPECT_EQ(m_dlg->FieldText(IDC_OUTPUT_FILESIZE), QString::fromLatin1(c.output1013));
    EXPECT_EQ(m_dlg->FieldText(IDC_FILESIZE), QString::fromLatin1(c.size1011));
    for (int id : {IDC_CONVERTING_FRAME, IDC_TIME_REMAINING, IDC_ELAPSED_TIME, IDC_FINISH_TIME,
                   IDC_PERCENT_CONVERTED}) {
        EXPECT_EQ(m_dlg->FieldText(id), QString()) << "progress field " << id;
    }
    EXPECT_EQ(m_dlg->Path(), QFile::encodeName(path).toStdString());
    EXPECT_EQ(m_dlg->Properties().soundRate, c.soundRate);
    EXPECT_EQ(m_dlg->focusWidget(), m_dlg->Control(IDOK));
}

INSTANTIATE_TEST_SUITE_P(Texts, LoadFieldsTest, ::testing::ValuesIn(kLoadCases),
                         [](const auto& info) {
                             std::string n = info.param.name;
                             for (char& ch : n)
                                 if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
                             return n;
                         });

using LoadTest = AppTest;

TEST_F(LoadTest, AsksForVqaFilesWithTheirDefaultExtensionThenMixArchives) {
    m_files.picks.push_back(QString());
    m_dlg->OnLoadFile();
    EXPECT_EQ(m_files.calls, 1);
    EXPECT_EQ(m_files.lastFilter,
              QStringLiteral("C&C VQA-Videodateien (*.vqa);;C&C MIX-Archive (*.mix *.MIX)"));
    EXPECT_EQ(m_files.lastSuffix, QStringLiteral("vqa"));
}

TEST_F(LoadTest, CancelledFileDialogChangesNothingAndFocusesConvert) {
    const QString first = Write(QStringLiteral("a.vqa"), HeaderOnlyVqa(45, 320, 156, 4, 2, 22050));
    Load(first);
    m_dlg->Control(IDC_LOAD_FILE)->setFocus();
    m_files.picks.push_back(QString());
    m_dlg->OnLoadFile();
    EXPECT_EQ(m_dlg->FieldText(IDC_FILENAME), first);
    EXPECT_EQ(m_dlg->FieldText(IDC_NUMBER_OF_FRAMES), QStringLiteral("45"));
    EXPECT_EQ(m_dlg->Path(), QFile::encodeName(first).toStdString());
    EXPECT_EQ(m_dlg->focusWidget(), m_dlg->Control(IDOK));
    EXPECT_EQ(m_boxes.Count(), 0);
}

// A file that is not a VQA video (here another kind of FORM file; which files are not VQA videos
// the header check decides): the stop message, then the dialog ends without the Exit question.
TEST_F(LoadTest, NotAVqaFileShowsTheStopMessageAndEndsTheDialog) {
    std::vector<uint8_t> bytes = HeaderOnlyVqa(1, 8, 8, 4, 2, 0);
    std::copy_n("WAVEfmt ", 8, bytes.begin() + 8);
    const QString path = Write(QStringLiteral("clip.vqa"), bytes);
    QString shownWithTheBox;
    m_boxes.whileOpen = [&](const QString&) { shownWithTheBox = m_dlg->FieldText(IDC_FILENAME); };
    Load(path);
    ASSERT_EQ(m_boxes.Count(), 1);
    EXPECT_FALSE(m_boxes.shown[0].question);
    EXPECT_TRUE(m_boxes.shown[0].stopIcon);
    EXPECT_EQ(m_boxes.shown[0].text, QStringLiteral("The file \"") + path +
                                         QStringLiteral("\" is no VQA-Videofile!\nTerminating "
                                                        "Program!."));
    EXPECT_EQ(m_finished, std::vector<int>{QDialog::Rejected});
    EXPECT_TRUE(m_dlg->IsClosed());
    // The path was shown before the stop box.
    EXPECT_EQ(shownWithTheBox, path);
}

// Files that pass the dialog but cannot be used: a message naming the file, the loaded file and
// its fields kept, the program still running. One case for each way the load is refused: the file
// cannot be opened, its header is cut short, its header cannot be converted.
struct RefusedCase {
    const char* name;
    std::function<QString(AppTest&, const QString& dir)> make;  // returns the path to pick
    const char* expectedInMessage;
};

class RefusedLoadTest : public AppTest, public ::testing::WithParamInterface<RefusedCase> {
  protected:
    QString Dir() const { return m_dir->path(); }
    QString Make(const RefusedCase& c) { return c.make(*this, Dir()); }
};

TEST_P(RefusedLoadTest, KeepsThePreviousFileAndReportsTheProblem) {
    const QString first =
        Write(QStringLiteral("good.vqa"), HeaderOnlyVqa(45, 320, 156, 4, 2, 22050));
    Load(first);
    const QString bad = Make(GetParam());
    m_dlg->Control(IDC_LOAD_FILE)->setFocus();
    Load(bad);

    ASSERT_EQ(m_boxes.Count(), 1);
    EXPECT_TRUE(m_boxes.shown[0].stopIcon);
    EXPECT_TRUE(m_boxes.shown[0].text.contains(bad)) << m_boxes.shown[0].text.toStdString();
    EXPECT_TRUE(m_boxes.shown[0].text.contains(QString::fromLatin1(GetParam().expectedInMessage)))
        << m_boxes.shown[0].text.toStdString();
    EXPECT_FALSE(m_dlg->IsClosed());
    EXPECT_EQ(m_dlg->Path(), QFile::encodeName(first).toStdString());
    EXPECT_EQ(m_dlg->FieldText(IDC_FILENAME), first);
    EXPECT_EQ(m_dlg->FieldText(IDC_NUMBER_OF_FRAMES), QStringLiteral("45"));
    EXPECT_EQ(m_dlg->FieldText(IDC_WIDTH), QStringLiteral("320"));
    EXPECT_EQ(m_dlg->FieldText(IDC_FILESIZE), QStringLiteral("0.00 MB"));
    EXPECT_EQ(m_dlg->focusWidget(), m_dlg->Control(IDOK));
}

INSTANTIATE_TEST_SUITE_P(
    Files, RefusedLoadTest,
    ::testing::Values(RefusedCase{"vanished",
                                  [](AppTest&, const QString& dir) {
                                      return dir + QStringLiteral("/gone.vqa");
                                  },
                                  ""},
                      RefusedCase{"ends_inside_the_header",
                                  [](AppTest& t, const QString&) {
                                      std::vector<uint8_t> b =
                                          HeaderOnlyVqa(45, 320, 156, 4, 2, 22050);
                                      b.resize(30);
                                      return t.Write(QStringLiteral("short.vqa"), b);
                                  },
                                  ""},
                      RefusedCase{"no_frames",
                                  [](AppTest& t, const QString&) {
                                      return t.Write(QStringLiteral("none.vqa"),
                                                     HeaderOnlyVqa(0, 320, 156, 4, 2, 22050));
                                  },
                                  "cannot be converted"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace rw::test
