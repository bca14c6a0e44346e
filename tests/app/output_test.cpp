// The Output choice: AVI at the start; another kind is written beside the video with the same
// completion, and the companion (which makes its MPEG file from an AVI file) is not offered then.
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include "app/control_ids.h"
#include "tests/app/app_fixture.h"

namespace rw::test {
namespace {

TEST_F(AppTest, AnotherOutputIsWrittenBesideTheVideoWithoutTheCompanionQuestion) {
    const auto* choice = qobject_cast<QComboBox*>(m_dlg->Control(IDC_OUTPUT_KIND));
    ASSERT_NE(choice, nullptr);
    QStringList items;
    for (int i = 0; i < choice->count(); ++i) items << choice->itemText(i);
    EXPECT_EQ(items, (QStringList{"AVI", "MP4", "WebM", "MKV", "MPEG"}));
    EXPECT_EQ(choice->currentText(), QStringLiteral("AVI"));

    ASSERT_TRUE(QFile::copy(QStringLiteral(RW_FAKE_COMPANION),
                            PathOf(QStringLiteral("program/Marrowgate.exe"))));
    const QString vqa = WriteSynth(QStringLiteral("clip.vqa"), SmallOptions(12, 64, 48));
    Load(vqa);
    const_cast<QComboBox*>(choice)->setCurrentIndex(choice->findText(QStringLiteral("MKV")));
    QString shown;
    m_boxes.whileOpen = [&](const QString&) { shown = m_dlg->FieldText(IDC_OUTPUT_PATH); };
    m_boxes.Answer(kAskAnother, {false});
    m_dlg->OnOK();
    EXPECT_FALSE(choice->isEnabled());
    ASSERT_TRUE(WaitForCompletion());

    EXPECT_EQ(m_boxes.Texts(), QStringList{QString::fromLatin1(kAskAnother)});
    EXPECT_EQ(shown, PathOf(QStringLiteral("clip.mkv")));
    EXPECT_GT(QFileInfo(PathOf(QStringLiteral("clip.mkv"))).size(), 0);
    EXPECT_FALSE(QFileInfo::exists(PathOf(QStringLiteral("clip.avi"))));
    EXPECT_EQ(TemporaryFiles(), 0);
}

}  // namespace
}  // namespace rw::test
