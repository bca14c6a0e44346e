#include "app/archive_picker_dlg.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "platform/qt/file_dialog.h"
#include "run/properties_text.h"

namespace rw {
namespace {

constexpr int kNameColumn = 12;
constexpr size_t kProblemsShown = 3;

QString Text(const std::string& s) {
    return QString::fromStdString(s);
}

// A path as the file system gives it.
QString NativeText(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(path));
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

ArchivePickerDlg::ArchivePickerDlg(ArchiveContents& contents, QWidget* parent,
                                   OpenFileDialog* files, ArchiveNames* names)
    : QDialog(parent), m_contents(contents), m_files(files), m_names(names) {
    const QString archive = QFileInfo(QString::fromStdString(contents.archive)).fileName();
    setWindowTitle(QStringLiteral("Videos in %1").arg(archive));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Choose the video to load:"), this));

    m_list = new QTreeWidget(this);
    m_list->setRootIsDecorated(false);
    m_list->setAllColumnsShowFocus(true);
    m_list->setHeaderLabels(
        {QStringLiteral("Entry"), QStringLiteral("Id"), QStringLiteral("Filesize"),
         QStringLiteral("Frames"), QStringLiteral("Width"), QStringLiteral("Height"),
         QStringLiteral("Blocks"), QStringLiteral("Length (mm.ss)"),
         QStringLiteral("Outputfilesize"), QStringLiteral("Colour depth"),
         QStringLiteral("Frame rate"), QStringLiteral("Sound"), QStringLiteral("Name")});
    layout->addWidget(m_list);

    if (const QString note = NoteFor(contents); !note.isEmpty()) {
        auto* label = new QLabel(note, this);
        label->setTextFormat(Qt::PlainText);
        label->setWordWrap(true);
        layout->addWidget(label);
    }
    m_namesNote = new QLabel(this);
    m_namesNote->setTextFormat(Qt::PlainText);
    m_namesNote->setWordWrap(true);
    m_namesNote->hide();
    layout->addWidget(m_namesNote);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("Load"));
    if (m_files && m_names) {
        m_namesButton =
            buttons->addButton(QStringLiteral("Names\u2026"), QDialogButtonBox::ActionRole);
        connect(m_namesButton, &QPushButton::clicked, this, &ArchivePickerDlg::ChooseNames);
    }
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_list, &QTreeWidget::itemDoubleClicked, this, &QDialog::accept);
    connect(m_list, &QTreeWidget::currentItemChanged, this, [buttons](QTreeWidgetItem* current) {
        buttons->button(QDialogButtonBox::Ok)->setEnabled(current != nullptr);
    });
    layout->addWidget(buttons);
    if (m_names && !m_names->list.empty()) {
        ApplyNames();
        ShowNamesNote(QStringLiteral("Names from %1.").arg(NativeText(m_names->list)));
    } else {
        FillRows();
    }
    SelectRow(0);
    buttons->button(QDialogButtonBox::Ok)->setEnabled(SelectedRow() >= 0);
    resize(880, 320);  // room for the colour depth, frame rate and sound
}

void ArchivePickerDlg::FillRows() {
    const int selected = SelectedRow();
    m_list->clear();
    for (const ArchiveVideo& video : m_contents.videos) {
        const PropertyTexts t = FormatProperties(video.properties, video.kind, video.highColour);
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
        item->setText(kNameColumn,
                      video.name.empty() ? QStringLiteral("\u2014") : Text(video.name));
        item->setText(9, Text(t.colourDepth));
        item->setText(10, Text(t.frameRate));
        item->setText(11, Text(t.sound));
    }
    // The names show once a list has been chosen.
    m_list->setColumnHidden(kNameColumn, !(m_names && !m_names->list.empty()));
    m_list->header()->resizeSections(QHeaderView::ResizeToContents);
    SelectRow(std::max(selected, 0));
}

void ArchivePickerDlg::ApplyNames() {
    NameArchiveVideos(m_contents, m_names->names);
    FillRows();
}

void ArchivePickerDlg::ShowNamesNote(const QString& text) {
    m_namesNote->setText(text);
    m_namesNote->setVisible(!text.isEmpty());
}

void ArchivePickerDlg::ChooseNames() {
    const QString path = m_files->GetOpenFileName(
        QStringLiteral("Lists of names (*.txt);;All files (*)"), QStringLiteral("txt"));
    if (path.isEmpty()) return;
    const std::string file = QFile::encodeName(path).toStdString();
    auto list = ReadMixNameList(file);
    if (!list) {
        ShowNamesNote(Text(list.error().message));
        return;
    }
    m_names->list = file;
    m_names->names = std::move(list->names);
    ApplyNames();
    QStringList lines{QStringLiteral("Names from %1.").arg(NativeText(file))};
    const size_t shown = std::min<size_t>(list->problems.size(), kProblemsShown);
    for (size_t i = 0; i < shown; ++i) lines << Text(list->problems[i]);
    if (list->problems.size() > shown) {
        lines << QStringLiteral("%1 more names left out.").arg(list->problems.size() - shown);
    }
    ShowNamesNote(lines.join(QLatin1Char('\n')));
}

int ArchivePickerDlg::SelectedRow() const {
    QTreeWidgetItem* item = m_list->currentItem();
    return item ? m_list->indexOfTopLevelItem(item) : -1;
}

void ArchivePickerDlg::SelectRow(int row) {
    if (QTreeWidgetItem* item = m_list->topLevelItem(row)) m_list->setCurrentItem(item);
}

std::optional<size_t> QtArchivePicker::PickVideo(ArchiveContents& contents) {
    ArchivePickerDlg dialog(contents, m_parent, m_files, m_names);
    if (dialog.exec() != QDialog::Accepted || dialog.SelectedRow() < 0) return std::nullopt;
    return static_cast<size_t>(dialog.SelectedRow());
}

}  // namespace rw
