#include "platform/qt/message_boxes.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QMessageBox>
#include <QScreen>
#include <QShowEvent>
#include <algorithm>

namespace rw {

QString ApplicationCaption() {
    return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
}

QPoint BoxPositionClearOf(QRect keep, QSize box, QRect window, QRect screen) {
    constexpr int kGap = 12;  // room for the box's frame
    const QPoint centred = window.center() - QPoint(box.width() / 2, box.height() / 2);
    const QPoint candidates[] = {
        centred,
        {keep.left() - kGap - box.width(), centred.y()},
        {keep.right() + 1 + kGap, centred.y()},
        {centred.x(), window.bottom() + 1 + kGap},
        {centred.x(), window.top() - kGap - box.height()},
    };
    for (QPoint at : candidates) {
        // Slid along the side it is on to lie on the screen, where the screen is large enough.
        at.setX(std::clamp(at.x(), screen.left(),
                           std::max(screen.left(), screen.right() + 1 - box.width())));
        at.setY(std::clamp(at.y(), screen.top(),
                           std::max(screen.top(), screen.bottom() + 1 - box.height())));
        const QRect placed(at, box);
        if (screen.contains(placed) && !placed.intersects(keep)) return at;
    }
    return centred;
}

namespace {

// A box that moves itself clear of an area once it knows its size.
class PlacedBox final : public QMessageBox {
  public:
    PlacedBox(Icon icon, const QString& text, StandardButtons buttons, QWidget* parent,
              const std::function<QRect()>& keep)
        : QMessageBox(icon, ApplicationCaption(), text, buttons, parent), m_keep(keep) {}

  protected:
    void showEvent(QShowEvent* event) override {
        QMessageBox::showEvent(event);
        const QWidget* window = parentWidget() ? parentWidget()->window() : nullptr;
        if (!m_keep || window == nullptr || window->screen() == nullptr) return;
        const QRect keep = m_keep();
        if (keep.isEmpty()) return;
        move(BoxPositionClearOf(keep, size(), window->frameGeometry(),
                                window->screen()->availableGeometry()));
    }

  private:
    std::function<QRect()> m_keep;
};

}  // namespace

int QtMessageBoxes::Run(bool question, const QString& text, bool stopIcon) {
    PlacedBox box(stopIcon ? QMessageBox::Critical : QMessageBox::NoIcon, text,
                  question ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok, m_parent,
                  m_keep);
    return box.exec();
}

void QtMessageBoxes::ShowMessage(const QString& text, bool stopIcon) {
    Run(false, text, stopIcon);
}

bool QtMessageBoxes::AskYesNo(const QString& text) {
    return Run(true, text, false) == QMessageBox::Yes;
}

}  // namespace rw
