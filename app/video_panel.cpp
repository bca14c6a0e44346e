#include "app/video_panel.h"

#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QProxyStyle>
#include <QPushButton>
#include <QSlider>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "platform/qt/audio_output.h"

namespace rw {
namespace {

constexpr int kTickMilliseconds = 10;
constexpr size_t kMaxDecoded = 32;  // frames taken from the decoder ahead of the picture

// A click on the slider's groove moves it to the place clicked, not a page towards it.
class ClickToPlaceStyle final : public QProxyStyle {
  public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* data) const override {
        if (hint == SH_Slider_AbsoluteSetButtons) return Qt::LeftButton;
        return QProxyStyle::styleHint(hint, option, widget, data);
    }
};

QString Clock(int64_t seconds) {
    return QStringLiteral("%1:%2")
        .arg(seconds / 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

}  // namespace

// ---- PictureView ----

PictureView::PictureView(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void PictureView::SetImage(const QImage& image) {
    const bool resized = image.size() != m_image.size();
    m_image = image;
    if (resized) updateGeometry();
    update();
}

QRect PictureView::PictureRect() const {
    if (m_image.isNull()) return {};
    const int iw = m_image.width(), ih = m_image.height();
    const int factor = std::min(width() / iw, height() / ih);
    QSize size(iw * factor, ih * factor);
    if (factor < 1) size = m_image.size().scaled(this->size(), Qt::KeepAspectRatio);
    return QRect(QPoint((width() - size.width()) / 2, (height() - size.height()) / 2), size);
}

QSize PictureView::sizeHint() const {
    return m_image.isNull() ? QSize(320, 200) : m_image.size();
}

QSize PictureView::minimumSizeHint() const {
    return m_image.isNull() ? QSize(0, 0) : m_image.size();
}

void PictureView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    if (m_image.isNull()) return;
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawImage(PictureRect(), m_image);
}

QImage PictureImage(std::span<const uint8_t> bgrBottomUp, int width, int height) {
    const qsizetype row = 3 * qsizetype{width};
    if (width <= 0 || height <= 0 || bgrBottomUp.size() != size_t(row * height)) return {};
    const QImage view(bgrBottomUp.data(), width, height, row, QImage::Format_BGR888);
    return view.mirrored(false, true).convertToFormat(QImage::Format_RGB32);
}

// ---- VideoPanel ----

VideoPanel::VideoPanel(AudioOutput* audio, QWidget* parent)
    : QWidget(parent),
      m_audio(audio),
      m_picture(new PictureView(this)),
      m_playButton(new QPushButton(QStringLiteral("Play"), this)),
      m_slider(new QSlider(Qt::Horizontal, this)),
      m_time(new QLabel(this)),
      m_timer(new QTimer(this)) {
    setObjectName(QStringLiteral("videoPanel"));
    m_picture->setObjectName(QStringLiteral("videoPicture"));
    m_playButton->setObjectName(QStringLiteral("videoPlay"));
    m_slider->setObjectName(QStringLiteral("videoPosition"));
    m_time->setObjectName(QStringLiteral("videoTime"));
    m_playButton->setAutoDefault(false);
    m_playButton->setFocusPolicy(Qt::TabFocus);
    m_slider->setFocusPolicy(Qt::TabFocus);
    m_time->setTextFormat(Qt::PlainText);
    // A child made after the slider, so that it goes after the slider.
    auto* style = new ClickToPlaceStyle;
    style->setParent(this);
    m_slider->setStyle(style);

    auto* bar = new QHBoxLayout;
    bar->setContentsMargins(0, 0, 0, 0);
    bar->addWidget(m_playButton);
    bar->addWidget(m_slider, 1);
    bar->addWidget(m_time);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->addWidget(m_picture, 1);
    column->addLayout(bar);

    m_timer->setInterval(kTickMilliseconds);
    connect(m_timer, &QTimer::timeout, this, [this] { Tick(); });
    connect(m_playButton, &QPushButton::clicked, this, [this] { m_playing ? Pause() : Play(); });
    connect(m_slider, &QSlider::valueChanged, this, [this](int value) {
        if (value != m_shownFrame && value != m_waitingFor) SeekTo(value);
    });
    UpdateControls();
}

VideoPanel::~VideoPanel() {
    StopSound();
}

bool VideoPanel::Load(const QString& path, QString* problem) {
    return Load(LooseSource(QFile::encodeName(path).toStdString()), problem);
}

bool VideoPanel::Load(const VqaSource& video, QString* problem) {
    Pause();
    auto source = std::make_unique<PlaybackSource>();
    auto opened = source->Open(video);
    m_decoded.clear();
    m_shownFrame = -1;
    m_waitingFor = -1;
    if (!opened) {
        m_source.reset();
        m_format = {};
        m_picture->SetImage({});
        if (problem) *problem = QString::fromStdString(opened.error().message);
        UpdateControls();
        return false;
    }
    m_source = std::move(source);
    m_format = m_source->Format();
    m_waitingFor = 0;
    m_startFrame = 0;
    m_timer->start();
    UpdateControls();
    return true;
}

void VideoPanel::Play() {
    if (!m_source || m_converting || m_playing) return;
    int from = std::max(m_waitingFor >= 0 ? m_waitingFor : m_shownFrame, 0);
    if (from >= LastFrame()) from = 0;  // at the end: from the start again
    m_playing = true;
    StartFrom(from);
    UpdateControls();
}

void VideoPanel::Pause() {
    if (!m_playing) return;
    m_playing = false;
    StopSound();
    m_decoded.clear();
    m_timer->stop();
    UpdateControls();
}

void VideoPanel::SeekTo(int frame) {
    if (!m_source || m_converting) return;
    frame = std::clamp(frame, 0, std::max(LastFrame(), 0));
    if (m_playing) {
        StartFrom(frame);
        return;
    }
    m_decoded.clear();
    m_waitingFor = frame;
    m_startFrame = frame;
    m_source->Restart(frame);
    m_timer->start();
}

void VideoPanel::SetConverting(bool converting) {
    if (converting == m_converting) return;
    Pause();
    m_converting = converting;
    if (!converting && m_source) SeekTo(std::max(m_shownFrame, 0));
    UpdateControls();
}

void VideoPanel::ShowConvertedFrame(int frame, const QImage& image) {
    if (!m_converting || image.isNull()) return;
    m_picture->SetImage(image);
    emit convertedFrameShown(frame);
}

// Starts playing at `frame`: the sound from the place that plays with it, the pictures from it.
void VideoPanel::StartFrom(int frame) {
    StopSound();
    m_decoded.clear();
    m_startFrame = frame;
    m_waitingFor = -1;
    m_soundStart = m_source->SoundPlaceOf(frame);
    m_startSample = int64_t{frame} * m_format.soundRate / m_format.framesPerSecond;
    m_withSound = m_format.soundRate > 0 && m_audio != nullptr &&
                  m_audio->Start(m_format.soundRate, m_format.channels);
    if (m_withSound && m_soundStart.chunk < 0) {
        const auto& leading = m_source->LeadingSound();
        const size_t from =
            std::min<size_t>(static_cast<size_t>(m_soundStart.byte), leading.size());
        m_soundQueue.append(reinterpret_cast<const char*>(leading.data()) + from,
                            static_cast<qsizetype>(leading.size() - from));
    }
    m_source->Restart(m_withSound ? std::clamp(m_soundStart.chunk, 0, frame) : frame);
    m_clock.start();
    m_timer->start();
}

void VideoPanel::StopSound() {
    if (m_withSound && m_audio) m_audio->Stop();
    m_withSound = false;
    m_soundQueue.clear();
}

// Takes what the decoder has ready; the sound of each frame goes to the queue for the device.
void VideoPanel::TakeDecoded() {
    while (m_decoded.size() < kMaxDecoded) {
        std::optional<PlaybackFrame> frame = m_source->Take();
        if (!frame) break;
        if (m_withSound && frame->frame >= m_soundStart.chunk) {
            const size_t skip =
                frame->frame == m_soundStart.chunk
                    ? std::min<size_t>(static_cast<size_t>(m_soundStart.byte), frame->sound.size())
                    : 0;
            m_soundQueue.append(reinterpret_cast<const char*>(frame->sound.data()) + skip,
                                static_cast<qsizetype>(frame->sound.size() - skip));
        }
        if (frame->frame >= m_startFrame) m_decoded.push_back(std::move(*frame));
    }
}

void VideoPanel::FeedSound() {
    if (!m_withSound || m_soundQueue.isEmpty()) return;
    const int64_t room = std::min<int64_t>(m_audio->BytesFree(), m_soundQueue.size());
    if (room <= 0) return;
    const int64_t taken = m_audio->Write(m_soundQueue.first(room));
    m_soundQueue.remove(0, taken);
}

// The frame the clock has reached: by the sound heard when there is sound, by time otherwise.
int VideoPanel::ClockFrame() const {
    if (m_withSound) return m_source->FrameAtSample(m_startSample + m_audio->SamplesPlayed());
    return m_startFrame + static_cast<int>(m_clock.elapsed() * m_format.framesPerSecond / 1000);
}

void VideoPanel::Tick() {
    if (!m_source) return;
    if (!m_playing) {
        // A frame asked for while paused: shown as soon as it is decoded.
        while (auto frame = m_source->Take()) {
            if (frame->frame != m_waitingFor) continue;
            m_waitingFor = -1;
            Show(*frame);
            m_timer->stop();
            return;
        }
        if (m_source->Ended()) m_timer->stop();
        return;
    }
    TakeDecoded();
    FeedSound();
    const int due = ClockFrame();
    std::optional<PlaybackFrame> latest;
    while (!m_decoded.empty() && m_decoded.front().frame <= due) {
        latest = std::move(m_decoded.front());
        m_decoded.pop_front();
    }
    if (latest) Show(*latest);
    const bool lastShown = m_shownFrame >= LastFrame();
    if (lastShown || (m_decoded.empty() && m_source->Ended())) Pause();
}

// The last frame that can be shown: a file cut short holds fewer than its header gives.
int VideoPanel::LastFrame() const {
    return m_source ? m_source->PlayableFrames() - 1 : -1;
}

void VideoPanel::Show(const PlaybackFrame& frame) {
    if (!m_converting)
        m_picture->SetImage(PictureImage(frame.picture, m_format.width, m_format.height));
    m_shownFrame = frame.frame;
    UpdateControls();
    emit frameShown(frame.frame);
}

void VideoPanel::UpdateControls() {
    const bool loaded = m_source != nullptr;
    m_playButton->setText(m_playing ? QStringLiteral("Pause") : QStringLiteral("Play"));
    m_playButton->setEnabled(loaded && !m_converting);
    m_slider->setEnabled(loaded && !m_converting);
    {
        const QSignalBlocker block(m_slider);
        m_slider->setRange(0, std::max(m_format.frames - 1, 0));
        m_slider->setValue(std::max(m_shownFrame, 0));
    }
    // The time once the shown frame has played: the last frame shows the whole length.
    const int64_t fps = std::max(m_format.framesPerSecond, 1);
    const int64_t position = loaded ? (std::max(m_shownFrame, 0) + 1) / fps : 0;
    // Whole seconds, as the properties give the video's length.
    const int64_t length = loaded ? m_format.frames / fps : 0;
    m_time->setText(Clock(position) + QStringLiteral(" of ") + Clock(length));
}

}  // namespace rw
