// MIX archives in the window: loading one shows its videos in the picker, and the picked video
// converts into a folder the user chooses when the archive's folder cannot be written.
#include <QDir>
#include <QFileInfo>
#include <QPushButton>
#include <QTreeWidget>

#include "app/archive_picker_dlg.h"
#include "app/control_ids.h"
#include "mix/mix_names.h"
#include "tests/app/app_fixture.h"
#include "tests/support/fixtures.h"
#include "tools/synth/hc_synth.h"
#include "tools/synth/mix_pack.h"

namespace rw::test {
namespace {

// The rows of a picker dialog as shown: the cells of the visible columns.
QStringList Rows(const ArchivePickerDlg& dialog) {
    QStringList rows;
    for (int i = 0; i < dialog.List()->topLevelItemCount(); ++i) {
        QStringList cells;
        for (int c = 0; c < dialog.List()->columnCount(); ++c) {
            if (!dialog.List()->isColumnHidden(c)) cells << dialog.List()->topLevelItem(i)->text(c);
        }
        rows << cells.join(QLatin1Char('|'));
    }
    return rows;
}

// Shows the real picker dialog's rows without running it modally, and picks the row `pick`; with
// a file dialog, chooses a list of names first when none has been chosen yet.
class RowPicker final : public ArchivePicker {
  public:
    explicit RowPicker(int pick, OpenFileDialog* files = nullptr) : m_pick(pick), m_files(files) {}
    std::optional<size_t> PickVideo(ArchiveContents& contents) override {
        ArchivePickerDlg dialog(contents, nullptr, m_files, m_files ? &names : nullptr);
        if (m_files && names.list.empty()) dialog.NamesButton()->click();
        rows = Rows(dialog);
        dialog.SelectRow(m_pick);
        return static_cast<size_t>(dialog.SelectedRow());
    }
    QStringList rows;
    ArchiveNames names;  // kept from one pick to the next, as by the main dialog

  private:
    int m_pick;
    OpenFileDialog* m_files;
};

TEST_F(AppTest, AnArchivesVideoIsPickedAndConvertedIntoAChosenFolder) {
    RowPicker picker(1);
    m_services.archivePicker = &picker;
    m_services.canWriteIn = [this](const QString& folder) {
        return QDir(folder) != QDir(m_dir->path());
    };
    MakeDialog();
    QDir(m_dir->path()).mkdir(QStringLiteral("chosen"));
    // Entries 1 to 3: a video, a text file and a video.
    const QString archive =
        Write(QStringLiteral("GAME.MIX"),
              synth::PackMix({{0x100, SmallVideo(8, 64, 48).file},
                              {0x200, {'t', 'x', 't'}},
                              {0x300, SmallVideo(12, 80, 40).file},
                              {0x400, synth::SynthesizeHighColourVqa(
                                          {.frames = 24,
                                           .width = 32,
                                           .height = 16,
                                           .framesPerSecond = 12,
                                           .sound = synth::HighColourSoundKind::Snd2Stereo})
                                          .file}}));
    Load(archive);
    const QString eightBit =
        QStringLiteral("|8-bit palette|15 frames per second|IMA ADPCM, 22050 Hz, mono");
    EXPECT_EQ(
        picker.rows,
        (QStringList{"1|00000100|0.02 MB|8|64|48|4x2|00:00|0.11 MB" + eightBit,
                     "3|00000300|0.03 MB|12|80|40|4x2|00:00|0.17 MB" + eightBit,
                     "4|00000400|0.07 MB|24|32|16|4x4|00:02|0.25 MB|15-bit colour|12 frames per "
                     "second|IMA ADPCM, 22050 Hz, stereo"}));
    EXPECT_EQ(m_dlg->FieldText(IDC_FILENAME), archive + QStringLiteral(" entry 3 (id 00000300)"));
    EXPECT_EQ(m_dlg->FieldText(IDC_NUMBER_OF_FRAMES), QStringLiteral("12"));

    m_files.folderPicks.push_back(PathOf(QStringLiteral("chosen")));
    m_boxes.Answer(kAskAnother, {false});
    m_dlg->OnOK();
    ASSERT_TRUE(WaitForCompletion());
    EXPECT_EQ(m_dlg->FieldText(IDC_OUTPUT_PATH),
              PathOf(QStringLiteral("chosen/GAME-0003-00000300.avi")));
    EXPECT_EQ(ReadAll(PathOf(QStringLiteral("chosen/GAME-0003-00000300.avi"))),
              ConvertInMemory(SmallVideo(12, 80, 40).file).avi);
    EXPECT_EQ(QDir(m_dir->path()).entryList(QDir::Files), QStringList{QStringLiteral("GAME.MIX")});
}

// A list of names chosen in the picker names its rows, is kept for the next archive loaded, and
// gives the picked video's AVI file its name.
TEST_F(AppTest, NamesChosenInThePickerNameTheRowsAndTheAviFile) {
    RowPicker picker(0, &m_files);
    m_services.archivePicker = &picker;
    MakeDialog();
    Write(QStringLiteral("names.txt"), {'I', 'N', 'T', 'R', 'O', '.', 'V', 'Q', 'A', '\n'});
    const QString archive =
        Write(QStringLiteral("GAME.MIX"),
              synth::PackMix({{*MixNameId("INTRO.VQA"), SmallVideo(8, 64, 48).file},
                              {0x300, SmallVideo(12, 80, 40).file}}));
    m_files.picks.push_back(archive);  // Load File, then Names… in the picker
    m_files.picks.push_back(PathOf(QStringLiteral("names.txt")));
    m_dlg->OnLoadFile();
    const QString eightBit =
        QStringLiteral("|8-bit palette|15 frames per second|IMA ADPCM, 22050 Hz, mono|");
    EXPECT_EQ(picker.rows,
              (QStringList{"1|EBFD9604|0.02 MB|8|64|48|4x2|00:00|0.11 MB" + eightBit + "INTRO.VQA",
                           "2|00000300|0.03 MB|12|80|40|4x2|00:00|0.17 MB" + eightBit + "\u2014"}));
    EXPECT_EQ(m_dlg->FieldText(IDC_FILENAME),
              archive + QStringLiteral(" entry 1 (INTRO.VQA, id EBFD9604)"));
    m_boxes.Answer(kAskAnother, {false});
    m_dlg->OnOK();
    ASSERT_TRUE(WaitForCompletion());
    EXPECT_EQ(ReadAll(PathOf(QStringLiteral("INTRO.avi"))),
              ConvertInMemory(SmallVideo(8, 64, 48).file).avi);

    picker.rows.clear();
    Load(archive);  // the list is not asked for again
    EXPECT_EQ(m_files.calls, 3);
    EXPECT_EQ(picker.rows.size(), 2);
    EXPECT_TRUE(picker.rows.front().endsWith(QStringLiteral("|INTRO.VQA")));
}

}  // namespace
}  // namespace rw::test
