// A one-line text field that shows a text too long for it with its middle left out ("…"), and the
// whole text as its tooltip: long paths keep their start and their file name.
#pragma once

#include <QLabel>
#include <QString>

namespace rw {

class ElidedLabel final : public QLabel {
  public:
    explicit ElidedLabel(QWidget* parent = nullptr);
    // The text as drawn: the whole text when it fits, else its start and end around "…".
    QString ShownText() const;

  protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace rw
