#include "platform/qt/audio_output.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QMediaDevices>
#include <algorithm>

namespace rw {

QtAudioOutput::QtAudioOutput() = default;

QtAudioOutput::~QtAudioOutput() {
    Stop();
}

bool QtAudioOutput::Start(int rate, int channels) {
    Stop();
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull() || rate <= 0 || channels < 1 || channels > 2) return false;
    QAudioFormat format;
    format.setSampleRate(rate);
    format.setChannelCount(channels);
    format.setSampleFormat(QAudioFormat::Int16);
    if (!device.isFormatSupported(format)) return false;
    m_sink = std::make_unique<QAudioSink>(device, format);
    m_sink->setBufferSize(rate / 2 * channels);  // a quarter of a second of 16-bit samples
    m_device = m_sink->start();
    if (m_device == nullptr) {
        m_sink.reset();
        return false;
    }
    m_rate = rate;
    m_channels = channels;
    return true;
}

int64_t QtAudioOutput::BytesFree() {
    return m_sink ? m_sink->bytesFree() : 0;
}

int64_t QtAudioOutput::Write(const QByteArray& pcm) {
    return m_device ? std::max<int64_t>(m_device->write(pcm), 0) : 0;
}

int64_t QtAudioOutput::SamplesPlayed() {
    if (!m_sink) return 0;
    // What the device has taken, less what still waits in its buffer.
    const int64_t taken = m_sink->processedUSecs() * m_rate / 1000000;
    const int64_t waiting = (m_sink->bufferSize() - m_sink->bytesFree()) / (2 * m_channels);
    return std::max<int64_t>(taken - waiting, 0);
}

void QtAudioOutput::Stop() {
    if (m_sink) m_sink->stop();
    m_sink.reset();
    m_device = nullptr;
}

}  // namespace rw
