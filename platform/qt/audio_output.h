// The player's sound output: a stream of 16-bit PCM at the video's own rate and channels
// (interleaved), written ahead and counted as it plays. Behind an interface, so tests put a fake
// device in its place.
#pragma once

#include <QByteArray>
#include <cstdint>
#include <memory>

class QAudioSink;
class QIODevice;

namespace rw {

class AudioOutput {
  public:
    virtual ~AudioOutput() = default;
    // Starts a new stream at `rate` samples a second of `channels` channels (1 or 2). False when
    // there is no audio device (or it cannot play that format): the player then plays silently,
    // timed by its own clock.
    virtual bool Start(int rate, int channels) = 0;
    // Bytes that can be written now without waiting.
    virtual int64_t BytesFree() = 0;
    // Queues sound; returns the bytes taken.
    virtual int64_t Write(const QByteArray& pcm) = 0;
    // Samples (of every channel) heard since Start.
    virtual int64_t SamplesPlayed() = 0;
    // Ends the stream; what was queued and not yet played is dropped.
    virtual void Stop() = 0;
};

// The system's default audio output through Qt Multimedia.
class QtAudioOutput final : public AudioOutput {
  public:
    QtAudioOutput();
    ~QtAudioOutput() override;
    bool Start(int rate, int channels) override;
    int64_t BytesFree() override;
    int64_t Write(const QByteArray& pcm) override;
    int64_t SamplesPlayed() override;
    void Stop() override;

  private:
    std::unique_ptr<QAudioSink> m_sink;
    QIODevice* m_device = nullptr;
    int m_rate = 0;
    int m_channels = 1;
};

}  // namespace rw
