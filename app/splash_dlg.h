// The splash screen: a borderless picture centred on the screen, closed by its timer, a mouse
// click, Enter or Esc.
#pragma once

#include <QDialog>
#include <QPoint>
#include <QSize>
#include <QString>

class QLabel;

namespace rw {

inline constexpr int kSplashMilliseconds = 5400;

// Top-left corner of a picture of `picture` pixels centred on a screen of the given geometry (in
// desktop coordinates: a screen beside another does not start at 0, 0); the halves truncate.
QPoint SplashPosition(QRect screen, QSize picture);

// The line under the title: "version " and the program's version.
QString SplashVersionText();

class CSplashDlg : public QDialog {
    Q_OBJECT

  public:
    explicit CSplashDlg(QWidget* parent = nullptr, int milliseconds = kSplashMilliseconds);

    // The picture control (id 1022).
    QLabel* Bitmap() const { return m_bitmap; }
    // The version line over the picture.
    QLabel* Version() const { return m_version; }

  protected:
    void timerEvent(QTimerEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    bool OnInitDialog(int milliseconds);

    QLabel* m_bitmap = nullptr;
    QLabel* m_version = nullptr;
    int m_timerId = 0;
};

}  // namespace rw
