#include "platform/qt/file_dialog.h"

#include <QFileDialog>
#include <QStringList>

namespace rw {

QString QtOpenFileDialog::GetOpenFileName(const QString& filter, const QString& defaultSuffix) {
    // No owner window, an empty initial name, only existing files.
    QFileDialog dialog(nullptr);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilter(filter);
    dialog.setDefaultSuffix(defaultSuffix);
    if (dialog.exec() != QDialog::Accepted) return {};
    const QStringList files = dialog.selectedFiles();
    return files.isEmpty() ? QString() : files.front();
}

QString QtOpenFileDialog::GetExistingFolder(const QString& title) {
    return QFileDialog::getExistingDirectory(nullptr, title);
}

}  // namespace rw
