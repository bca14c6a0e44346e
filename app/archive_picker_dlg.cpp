#include "app/archive_picker_dlg.h"

#include <QDialogButtonBox>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "run/properties_text.h"

namespace rw {
namespace {

QString Text(const std::string& s) {
    return QString::fromStdString(s);
}

// What the list does not show: entries that are not videos and entries left out as damaged.
QString NoteFor(const ArchiveContents& contents) {
    QStringList lines;
    if (contents.otherFiles > 0) {
        lines << (contents.otherFiles == 1
                      ? QStringLiteral("1 other file in the archive is not a VQA video.")
                      : QStringLiteral("%1 other files in the archive are not VQA videos.")
                            .arg(contents.otherFiles));
    }
    for (const std::string& problem : contents.problems) lines << Text(problem);
    return lines.join(QLatin1Char('\n'));
}

}  // namespace

ArchivePickerDlg::ArchivePickerDlg(const ArchiveContents& contents, QWidget* parent)
    : QDialog(parent) {
    const QString archive = QFileInfo(QString::fromStdString(contents.archive)).fileName();
    setWindowTitle(QStringLiteral("Videos in %1").arg(archive));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Choose the video to load:"), this));

    m_list = new QTreeWidget(this);
    m_list->setRootIsDecorated(false);
    m_list->setAllColumnsShowFocus(true);
    m_list->setHeaderLabels({QStringLiteral("Entry"), QStringLiteral("Id"),
                             QStringLiteral("Filesize"), QStringLiteral("Frames"),
                             QStringLiteral("Width"), QStringLiteral("Height"),
                             QStringLiteral("Blocks"), QStringLiteral("Length (mm.ss)"),
                             QStringLiteral("Outputfilesize")});
    for (const ArchiveVideo& video : contents.videos) {
        const PropertyTexts t = FormatProperties(video.properties);
        auto* item = new QTreeWidgetItem(m_list);
        item->setText(0, QString::number(video.entry.number));
        item->setText(1, Text(MixIdText(video.entry.id)));
        item->setText(2, Text(FormatFileSize(video.entry.length)));
        item->setText(3, Text(t.frames));
        item->setText(4, Text(t.width));
        item->setText(5, Text(t.height));
        item->setText(6, Text(t.blockWidth + "x" + t.blockHeight));
        item->setText(7, Text(t.videoLength));
        item->setText(8, Text(t.outputSize));
    }
    m_list->header()->resizeSections(QHeaderView::ResizeToContents);
    layout->addWidget(m_list);

    if (const QString note = NoteFor(contents); !note.isEmpty()) {
        auto* label = new QLabel(note, this);
        label->setTextFormat(Qt::PlainText);
        label->setWordWrap(true);
        layout->addWidget(label);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("Load"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_list, &QTreeWidget::itemDoubleClicked, this, &QDialog::accept);
    connect(m_list, &QTreeWidget::currentItemChanged, this, [buttons](QTreeWidgetItem* current) {
        buttons->button(QDialogButtonBox::Ok)->setEnabled(current != nullptr);
    });
    layout->addWidget(buttons);
    SelectRow(0);
    buttons->button(QDialogButtonBox::Ok)->setEnabled(SelectedRow() >= 0);
    resize(640, 320);
}

int ArchivePickerDlg::SelectedRow() const {
    QTreeWidgetItem* item = m_list->currentItem();
    return item ? m_list->indexOfTopLevelItem(item) : -1;
}

void ArchivePickerDlg::SelectRow(int row) {
    if (QTreeWidgetItem* item = m_list->topLevelItem(row)) m_list->setCurrentItem(item);
}

std::optional<size_t> QtArchivePicker::PickVideo(const ArchiveContents& contents) {
    ArchivePickerDlg dialog(contents, m_parent);
    if (dialog.exec() != QDialog::Accepted || dialog.SelectedRow() < 0) return std::nullopt;
    return static_cast<size_t>(dialog.SelectedRow());
}

}  // namespace rw
