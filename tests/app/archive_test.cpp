// MIX archives in the window: loading one shows its videos in the picker, and the picked video
// converts into a folder the user chooses when the archive's folder cannot be written.
#include <QDir>
#include <QFileInfo>
#include <QTreeWidget>

#include "app/archive_picker_dlg.h"
#include "app/control_ids.h"
#include "tests/app/app_fixture.h"
#include "tests/support/fixtures.h"
#include "tools/synth/mix_pack.h"

namespace rw::test {
namespace {

// Shows the real picker dialog's rows without running it modally, and picks the second row.
class SecondRowPicker final : public ArchivePicker {
  public:
    std::optional<size_t> PickVideo(const ArchiveContents& contents) override {
        ArchivePickerDlg dialog(contents);
        for (int i = 0; i < dialog.List()->topLevelItemCount(); ++i) {
            QStringList cells;
            for (int c = 0; c < dialog.List()->columnCount(); ++c) {
                cells << dialog.List()->topLevelItem(i)->text(c);
            }
            rows << cells.join(QLatin1Char('|'));
        }
        dialog.SelectRow(1);
        return static_cast<size_t>(dialog.SelectedRow());
    }
    QStringList rows;
};

TEST_F(AppTest, AnArchivesVideoIsPickedAndConvertedIntoAChosenFolder) {
    SecondRowPicker picker;
    m_services.archivePicker = &picker;
    m_services.canWriteIn = [this](const QString& folder) {
        return QDir(folder) != QDir(m_dir->path());
    };
    MakeDialog();
    QDir(m_dir->path()).mkdir(QStringLiteral("chosen"));
    // Entries 1 to 3: a video, a text file and a video.
    const QString archive =
        Write(QStringLiteral("GAME.MIX"), synth::PackMix({{0x100, SmallVideo(8, 64, 48).file},
                                                          {0x200, {'t', 'x', 't'}},
                                                          {0x300, SmallVideo(12, 80, 40).file}}));
    Load(archive);
    EXPECT_EQ(picker.rows, (QStringList{"1|00000100|0.02 MB|8|64|48|4x2|00:00|0.11 MB",
                                        "3|00000300|0.03 MB|12|80|40|4x2|00:00|0.17 MB"}));
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

}  // namespace
}  // namespace rw::test
