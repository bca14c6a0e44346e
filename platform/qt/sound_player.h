// The start-up sound: played asynchronously, never stopped by the program, silent when the file or
// an audio device is missing.
#pragma once

#include <QString>
#include <memory>
#include <vector>

class QSoundEffect;

namespace rw {

class SoundPlayer {
  public:
    virtual ~SoundPlayer() = default;
    // Starts playing the WAV file at `path` and returns at once.
    virtual void PlayAsync(const QString& path) = 0;
};

class QtSoundPlayer final : public SoundPlayer {
  public:
    QtSoundPlayer();
    ~QtSoundPlayer() override;
    void PlayAsync(const QString& path) override;

  private:
    std::unique_ptr<QSoundEffect> m_effect;
};

// Plays nothing; records what it was asked to play (tests).
class SilentSoundPlayer final : public SoundPlayer {
  public:
    void PlayAsync(const QString& path) override { m_played.push_back(path); }
    const std::vector<QString>& Played() const { return m_played; }

  private:
    std::vector<QString> m_played;
};

// Where the start-up sound is looked for: the name as it stands (relative to the working
// directory), then beside the executable. Empty when neither exists.
QString FindStartupSound(const QString& fileName, const QString& programDirectory);

}  // namespace rw
