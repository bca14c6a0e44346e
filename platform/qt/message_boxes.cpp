#include "platform/qt/message_boxes.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QMessageBox>

namespace rw {

QString ApplicationCaption() {
    return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
}

void QtMessageBoxes::ShowMessage(const QString& text, bool stopIcon) {
    QMessageBox box(stopIcon ? QMessageBox::Critical : QMessageBox::NoIcon, ApplicationCaption(),
                    text, QMessageBox::Ok, m_parent);
    box.exec();
}

bool QtMessageBoxes::AskYesNo(const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, ApplicationCaption(), text,
                    QMessageBox::Yes | QMessageBox::No, m_parent);
    return box.exec() == QMessageBox::Yes;
}

}  // namespace rw
