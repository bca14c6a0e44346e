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

// Picks through the real picker dialog, without running it modally.
class ScriptedArchivePicker final : public ArchivePicker {
  public:
    std::optional<size_t> PickVideo(const ArchiveContents& contents) override {
        ArchivePickerDlg dialog(contents);
        QStringList rows;
        for (int i = 0; i < dialog.List()->topLevelItemCount(); ++i) {
            QStringList cells;
            for (int c = 0; c < dialog.List()->columnCount(); ++c) {
                cells << dialog.List()->topLevelItem(i)->text(c);
            }
            rows << cells.join(QLatin1Char('|'));
        }
        shownRows.push_back(rows);
        if (picks.empty()) {
            ADD_FAILURE() << "unexpected archive picker";
            return std::nullopt;
        }
        const int row = picks.front();
        picks.pop_front();
        if (row < 0) return std::nullopt;
        dialog.SelectRow(row);
        return static_cast<size_t>(dialog.SelectedRow());
    }

    std::deque<int> picks;  // -1 means Cancel
    std::vector<QStringList> shownRows;
};

class ArchiveTest : public AppTest {
  public:
    void SetUp() override {
        AppTest::SetUp();
        m_services.archivePicker = &m_picker;
        m_services.canWriteIn = [this](const QString& folder) {
            return QDir(folder) != QDir(m_dir->path());
        };
        MakeDialog();
        QDir(m_dir->path()).mkdir(QStringLiteral("chosen"));
        // Entries 1 to 4: three videos and a text file.
        m_archive = Write(QStringLiteral("GAME.MIX"),
                          synth::PackMix({{0x100, SmallVideo(8, 64, 48).file},
                                          {0x200, {'t', 'x', 't'}},
                                          {0x300, SmallVideo(12, 80, 40).file},
                                          {0x400, SmallVideo(5, 32, 32).file}}));
    }
    void TearDown() override {
        EXPECT_TRUE(m_picker.picks.empty()) << "archive picks left over";
        AppTest::TearDown();
    }
    void LoadFromArchive(int row) {
        m_picker.picks.push_back(row);
        Load(m_archive);
    }

    ScriptedArchivePicker m_picker;
    QString m_archive;
};

TEST_F(ArchiveTest, PicksTheSecondVideoAndConvertsItIntoAChosenFolder) {
    m_files.folderPicks.push_back(PathOf(QStringLiteral("chosen")));
    LoadFromArchive(1);
    ASSERT_EQ(m_picker.shownRows.size(), 1u);
    EXPECT_EQ(m_picker.shownRows[0],
              (QStringList{QStringLiteral("1|00000100|0.02 MB|8|64|48|4x2|00:00|0.11 MB"),
                           QStringLiteral("3|00000300|0.03 MB|12|80|40|4x2|00:00|0.17 MB"),
                           QStringLiteral("4|00000400|0.01 MB|5|32|32|4x2|00:00|0.05 MB")}));
    EXPECT_EQ(m_dlg->FieldText(IDC_FILENAME), m_archive + QStringLiteral(" entry 3 (id 00000300)"));
    EXPECT_EQ(m_dlg->FieldText(IDC_NUMBER_OF_FRAMES), QStringLiteral("12"));
    EXPECT_EQ(m_dlg->FieldText(IDC_WIDTH), QStringLiteral("80"));

    m_boxes.Answer(kAskAnother, {false});
    m_dlg->OnOK();
    ASSERT_TRUE(WaitForCompletion());
    EXPECT_EQ(m_boxes.Texts(), QStringList{QString::fromLatin1(kAskAnother)});
    ASSERT_EQ(m_files.folderTitles.size(), 1);
    EXPECT_TRUE(m_files.folderTitles[0].contains(QStringLiteral("\"GAME.MIX\" cannot be written")));
    EXPECT_EQ(ReadAll(PathOf(QStringLiteral("chosen/GAME-0003-00000300.avi"))),
              AviInMemory(SmallVideo(12, 80, 40).file));
    EXPECT_EQ(QDir(PathOf(QStringLiteral("chosen"))).entryList(QDir::Files),
              QStringList{QStringLiteral("GAME-0003-00000300.avi")});
    EXPECT_EQ(QDir(m_dir->path()).entryList(QDir::Files), QStringList{QStringLiteral("GAME.MIX")});
}

}  // namespace
}  // namespace rw::test
