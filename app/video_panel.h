// The picture of the loaded video and its player, beside the properties: the first frame once a
// file is loaded, the frame being converted during a conversion, and Play/Pause with a position
// slider and the time. Decoding runs on a thread of its own (PlaybackSource); the sound, when
// there is a device, sets the pace.
#pragma once

#include <QElapsedTimer>
#include <QImage>
#include <QWidget>
#include <cstdint>
#include <deque>
#include <memory>
#include <span>

#include "playback/playback_source.h"

class QLabel;
class QPushButton;
class QSlider;
class QTimer;

namespace rw {

class AudioOutput;

// A picture at its true size, scaled up by the largest whole factor that fits, never smoothed,
// centred on black. It asks for at least the picture's true size, so that its window grows to
// show every row and column (scaled down only when it is still given less room).
class PictureView final : public QWidget {
  public:
    explicit PictureView(QWidget* parent = nullptr);
    void SetImage(const QImage& image);
    const QImage& Image() const { return m_image; }
    // Where the picture is drawn, in the widget's pixels.
    QRect PictureRect() const;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QImage m_image;
};

// A conversion's picture (blue, green, red, bottom row first) as an image.
QImage PictureImage(std::span<const uint8_t> bgrBottomUp, int width, int height);

class VideoPanel final : public QWidget {
    Q_OBJECT

  public:
    // `audio` may be null: the player is then silent. Not owned.
    explicit VideoPanel(AudioOutput* audio, QWidget* parent = nullptr);
    ~VideoPanel() override;

    // Opens the file for playing and shows its first frame as soon as it is decoded. False, with
    // the reason, when it cannot be played (the panel is then empty).
    bool Load(const QString& path, QString* problem = nullptr);
    // The same for a video that may lie inside an archive.
    bool Load(const VqaSource& source, QString* problem = nullptr);
    void Play();
    void Pause();
    bool IsPlaying() const { return m_playing; }
    // Shows frame `frame` (playing goes on from there when it was playing).
    void SeekTo(int frame);
    // While a conversion runs, playing stops, the controls rest and the converted frames are
    // shown; afterwards the player's own frame comes back.
    void SetConverting(bool converting);
    void ShowConvertedFrame(int frame, const QImage& image);

    int ShownFrame() const { return m_shownFrame; }
    PictureView* Picture() const { return m_picture; }
    QPushButton* PlayButton() const { return m_playButton; }
    QSlider* Slider() const { return m_slider; }
    QLabel* TimeLabel() const { return m_time; }

  signals:
    // A frame of the loaded video is on screen (also after a seek).
    void frameShown(int frame);
    // A converted frame is on screen.
    void convertedFrameShown(int frame);

  private:
    void Tick();
    void StartFrom(int frame);
    void StopSound();
    void TakeDecoded();
    void FeedSound();
    int ClockFrame() const;
    int LastFrame() const;
    void Show(const PlaybackFrame& frame);
    void UpdateControls();

    AudioOutput* m_audio;
    PictureView* m_picture;
    QPushButton* m_playButton;
    QSlider* m_slider;
    QLabel* m_time;
    QTimer* m_timer;

    std::unique_ptr<PlaybackSource> m_source;
    StreamFormat m_format;
    bool m_playing = false;
    bool m_converting = false;
    bool m_withSound = false;
    int m_shownFrame = -1;
    int m_startFrame = 0;   // the frame playing (or the seek) started at
    int m_waitingFor = -1;  // a frame asked for while paused, not yet shown
    std::deque<PlaybackFrame> m_decoded;
    SoundPlace m_soundStart;
    QByteArray m_soundQueue;  // decoded, not yet taken by the device
    int64_t m_startSample = 0;
    QElapsedTimer m_clock;  // silent playing
};

}  // namespace rw
