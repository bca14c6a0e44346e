// Message boxes of the desktop program: a single OK button (optionally with a stop icon), or Yes
// and No. Every box carries the program's caption. Tests put a scripted fake in place of the real
// boxes.
#pragma once

#include <QString>

class QWidget;

namespace rw {

// The caption of every message box: the executable's file name without its extension.
QString ApplicationCaption();

class MessageBoxes {
  public:
    virtual ~MessageBoxes() = default;
    // A box with a single OK button; returns when it has been dismissed.
    virtual void ShowMessage(const QString& text, bool stopIcon = false) = 0;
    // A box with Yes and No; true for Yes.
    virtual bool AskYesNo(const QString& text) = 0;
};

// The real boxes, modal to `parent` (may be null).
class QtMessageBoxes final : public MessageBoxes {
  public:
    explicit QtMessageBoxes(QWidget* parent = nullptr) : m_parent(parent) {}
    void SetParent(QWidget* parent) { m_parent = parent; }

    void ShowMessage(const QString& text, bool stopIcon = false) override;
    bool AskYesNo(const QString& text) override;

  private:
    QWidget* m_parent;
};

}  // namespace rw
