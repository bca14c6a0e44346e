#include "platform/qt/sound_player.h"

#include <QDir>
#include <QFileInfo>
#include <QSoundEffect>
#include <QUrl>

namespace rw {

QtSoundPlayer::QtSoundPlayer() = default;
QtSoundPlayer::~QtSoundPlayer() = default;

void QtSoundPlayer::PlayAsync(const QString& path) {
    if (path.isEmpty() || !QFileInfo(path).isFile()) return;
    // Created on first use so that a program that never plays a sound never opens audio.
    if (!m_effect) m_effect = std::make_unique<QSoundEffect>();
    m_effect->setSource(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()));
    m_effect->play();  // plays once the file is loaded; a missing device stays silent
}

QString FindStartupSound(const QString& fileName, const QString& programDirectory) {
    if (QFileInfo(fileName).isFile()) return QFileInfo(fileName).absoluteFilePath();
    if (!programDirectory.isEmpty()) {
        const QString beside = QDir(programDirectory).filePath(fileName);
        if (QFileInfo(beside).isFile()) return beside;
    }
    return {};
}

}  // namespace rw
