#include "app/splash_dlg.h"

#include <QFont>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>
#include <QScreen>
#include <QTimerEvent>

#include "app/control_ids.h"
#include "app/resources.h"

namespace rw {

QString SplashVersionText() {
    return QStringLiteral("version " RW_VERSION);
}

QPoint SplashPosition(QRect screen, QSize picture) {
    return {screen.x() + (screen.width() - picture.width()) / 2,
            screen.y() + (screen.height() - picture.height()) / 2};
}

CSplashDlg::CSplashDlg(QWidget* parent, int milliseconds) : QDialog(parent) {
    setWindowFlags(Qt::SplashScreen | Qt::FramelessWindowHint);
    m_bitmap = new QLabel(this);
    m_bitmap->setObjectName(QStringLiteral("control%1").arg(IDC_SPLASH_BITMAP));
    m_bitmap->setPixmap(QPixmap(QString::fromLatin1(kSplashResource)));
    m_bitmap->setContentsMargins(0, 0, 0, 0);
    // The version line under the title is written over the picture, from the program's version.
    m_version = new QLabel(SplashVersionText(), m_bitmap);
    m_version->setObjectName(QStringLiteral("version"));
    m_version->setTextFormat(Qt::PlainText);
    m_version->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(11);
    m_version->setFont(font);
    m_version->setStyleSheet(QStringLiteral("color: rgb(255, 246, 220); background: transparent;"));
    OnInitDialog(milliseconds);
}

bool CSplashDlg::OnInitDialog(int milliseconds) {
    // The control takes the picture's own size; the window takes the control's.
    const QSize picture = m_bitmap->pixmap().size();
    m_bitmap->setGeometry(QRect(QPoint(0, 0), picture));
    m_version->setGeometry(0, 104, picture.width(), 16);
    QRect screen(QPoint(0, 0), picture);
    if (const QScreen* s = QGuiApplication::primaryScreen()) screen = s->geometry();
    setFixedSize(picture);
    move(SplashPosition(screen, picture));
    m_timerId = startTimer(milliseconds);
    return true;
}

void CSplashDlg::timerEvent(QTimerEvent* event) {
    if (event->timerId() == m_timerId) {
        killTimer(m_timerId);
        m_timerId = 0;
        done(0);
        return;
    }
    QDialog::timerEvent(event);
}

void CSplashDlg::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton || event->button() == Qt::RightButton) {
        done(0);
        return;
    }
    QDialog::mousePressEvent(event);
}

void CSplashDlg::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Escape:
            done(0);
            return;
        default:
            QDialog::keyPressEvent(event);
    }
}

}  // namespace rw
