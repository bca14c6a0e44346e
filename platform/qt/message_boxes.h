// Message boxes of the desktop program: a single OK button (optionally with a stop icon), or Yes
// and No. Every box carries the program's caption. Tests put a scripted fake in place of the real
// boxes.
#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <functional>

class QWidget;

namespace rw {

// The caption of every message box: the executable's file name without its extension.
QString ApplicationCaption();

// Where a box of `box` pixels goes so that it leaves `keep` uncovered, all in screen coordinates:
// centred on `window` when that leaves it, else left of it, right of it, below `window` or above
// it, the first of these that lies on `screen`; centred on `window` when none does.
QPoint BoxPositionClearOf(QRect keep, QSize box, QRect window, QRect screen);

class MessageBoxes {
  public:
    virtual ~MessageBoxes() = default;
    // A box with a single OK button; returns when it has been dismissed.
    virtual void ShowMessage(const QString& text, bool stopIcon = false) = 0;
    // A box with Yes and No; true for Yes.
    virtual bool AskYesNo(const QString& text) = 0;
    // Boxes leave the part of the screen `area` gives uncovered when they can (an empty function:
    // they go where the system puts them).
    virtual void KeepUncovered(std::function<QRect()> area) { (void)area; }
};

// The real boxes, modal to `parent` (may be null).
class QtMessageBoxes final : public MessageBoxes {
  public:
    explicit QtMessageBoxes(QWidget* parent = nullptr) : m_parent(parent) {}
    void SetParent(QWidget* parent) { m_parent = parent; }

    void ShowMessage(const QString& text, bool stopIcon = false) override;
    bool AskYesNo(const QString& text) override;
    void KeepUncovered(std::function<QRect()> area) override { m_keep = std::move(area); }

  private:
    int Run(bool question, const QString& text, bool stopIcon);

    QWidget* m_parent;
    std::function<QRect()> m_keep;
};

}  // namespace rw
