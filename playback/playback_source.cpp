#include "playback/playback_source.h"

#include <algorithm>
#include <chrono>
#include <utility>

#include "decode/frame_decoder.h"
#include "decode/hc_frame_stream.h"
#include "decode/open_video.h"
#include "playback/frame_reader.h"
#include "playback/hc_frame_reader.h"

namespace rw {

SoundPlace SoundPlaceOfFrame(const VqaProperties& props, int32_t frame) {
    const SoundTrack track(props.soundRate);
    // The whole samples of each frame's sound (FrameReader).
    const int64_t leading = track.leadingOut & ~int64_t{1};
    const int64_t perFrame = track.frameOut & ~int64_t{1};
    // Frame n shows from n / 15 s: that many bytes of 16-bit sound.
    const int64_t at = 2 * (int64_t{frame} * props.soundRate / kFramesPerSecond);
    if (at < leading || perFrame <= 0) return {-1, std::min(at, leading)};
    const int64_t into = at - leading;
    const int64_t chunk = std::min<int64_t>(into / perFrame, props.frames);
    return {static_cast<int32_t>(chunk), into - chunk * perFrame};
}

int32_t FrameAtSample(const VqaProperties& props, int64_t samples) {
    if (props.soundRate <= 0) return 0;
    const int64_t frame = samples * kFramesPerSecond / props.soundRate;
    return static_cast<int32_t>(std::clamp<int64_t>(frame, 0, std::max(props.frames - 1, 0)));
}

struct PlaybackSource::Reader {
    OpenedVideo video;
    std::unique_ptr<VideoFrameReader> frames;
};

namespace {

// Starts an 8-bit video's reader: its leading sound and the frames beyond the end of a file cut
// short.
Expected<void> StartEightBit(OpenedVideo& video, std::unique_ptr<VideoFrameReader>& frames,
                             std::vector<uint8_t>& leading, int32_t& playable) {
    auto reader = std::make_unique<FrameReader>(*video.file, video.props, video.frameIndex);
    if (auto r = reader->Start(leading); !r) return r;
    const Expected<int64_t> length = video.file->Length();
    playable = video.props.frames - (length ? CountFramesBeyondEnd(video.frameIndex, *length) : 0);
    frames = std::move(reader);
    return {};
}

// Starts a high-colour video's reader; `soundStarts` gets the sound bytes before each frame.
Expected<void> StartHighColour(OpenedVideo& video, std::unique_ptr<VideoFrameReader>& frames,
                               std::vector<int64_t>& soundStarts, int32_t& playable) {
    auto reader = std::make_unique<HighColourFrameReader>(*video.file, video.highColour);
    if (auto r = reader->Start(); !r) return r;
    soundStarts.assign(1, 0);
    for (const int64_t bytes : reader->FrameSoundBytes())
        soundStarts.push_back(soundStarts.back() + bytes);
    const Expected<int64_t> length = video.file->Length();
    const auto& index = video.highColour.frameIndex;
    playable = static_cast<int32_t>(std::count_if(
        index.begin(), index.begin() + (static_cast<ptrdiff_t>(soundStarts.size()) - 1),
        [&](int64_t offset) { return !length || offset < *length; }));
    frames = std::move(reader);
    return {};
}

}  // namespace

PlaybackSource::PlaybackSource(size_t ahead) : m_ahead(std::max<size_t>(ahead, 1)) {}

PlaybackSource::~PlaybackSource() {
    StopThread();
}

void PlaybackSource::StopThread() {
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_changed.notify_all();
    if (m_thread.joinable()) m_thread.join();
}

Expected<void> PlaybackSource::Open(const std::string& path) {
    return Open(LooseSource(path));
}

Expected<void> PlaybackSource::Open(const VqaSource& source) {
    StopThread();
    auto video = OpenVideo(source);
    if (!video) return video.error();
    auto reader = std::make_unique<Reader>();
    reader->video = std::move(*video);
    OpenedVideo& opened = reader->video;
    std::vector<uint8_t> leading;
    std::vector<int64_t> soundStarts;
    int32_t playable = 0;
    const Expected<void> started =
        opened.kind == PictureKind::HighColour
            ? StartHighColour(opened, reader->frames, soundStarts, playable)
            : StartEightBit(opened, reader->frames, leading, playable);
    if (!started) return Error{"Cannot play \"" + source.name + "\": " + started.error().message};
    m_props = opened.props;
    m_format = StreamFormatOf(opened);
    m_playable = playable;
    m_soundStarts = std::move(soundStarts);
    m_leadingSound = std::move(leading);
    m_reader = std::move(reader);
    {
        std::lock_guard lock(m_mutex);
        m_ready.clear();
        m_restartAt.reset();
        m_ended = false;
        m_problem.clear();
        m_stop = false;
        ++m_generation;
    }
    m_thread = std::thread([this] { Loop(); });
    return {};
}

SoundPlace PlaybackSource::SoundPlaceOf(int32_t frame) const {
    if (m_soundStarts.empty()) return SoundPlaceOfFrame(m_props, frame);
    // Frame n shows from n / fps s: that many samples of every channel.
    const int64_t at =
        int64_t{2} * m_format.channels *
        (int64_t{std::max(frame, 0)} * m_format.soundRate / std::max(m_format.framesPerSecond, 1));
    const auto after = std::upper_bound(m_soundStarts.begin(), m_soundStarts.end() - 1, at);
    const auto chunk = std::max<ptrdiff_t>(after - m_soundStarts.begin() - 1, 0);
    const int64_t end = m_soundStarts[static_cast<size_t>(chunk) + 1];
    return {static_cast<int32_t>(chunk),
            std::min(at, end) - m_soundStarts[static_cast<size_t>(chunk)]};
}

int32_t PlaybackSource::FrameAtSample(int64_t samples) const {
    if (m_soundStarts.empty()) return rw::FrameAtSample(m_props, samples);
    if (m_format.soundRate <= 0) return 0;
    const int64_t frame = samples * m_format.framesPerSecond / m_format.soundRate;
    return static_cast<int32_t>(std::clamp<int64_t>(frame, 0, std::max(m_format.frames - 1, 0)));
}

void PlaybackSource::Restart(int32_t frame) {
    {
        std::lock_guard lock(m_mutex);
        m_ready.clear();
        m_restartAt = frame;
        m_ended = false;
        m_problem.clear();
        ++m_generation;
    }
    m_changed.notify_all();
}

std::optional<PlaybackFrame> PlaybackSource::Take() {
    std::lock_guard lock(m_mutex);
    if (m_ready.empty()) return std::nullopt;
    PlaybackFrame f = std::move(m_ready.front());
    m_ready.pop_front();
    m_changed.notify_all();
    return f;
}

std::optional<PlaybackFrame> PlaybackSource::TakeWaiting(int milliseconds) {
    std::unique_lock lock(m_mutex);
    m_changed.wait_for(lock, std::chrono::milliseconds(milliseconds),
                       [this] { return !m_ready.empty() || m_ended; });
    if (m_ready.empty()) return std::nullopt;
    PlaybackFrame f = std::move(m_ready.front());
    m_ready.pop_front();
    m_changed.notify_all();
    return f;
}

bool PlaybackSource::Ended() const {
    std::lock_guard lock(m_mutex);
    return m_ended && m_ready.empty();
}

std::string PlaybackSource::Problem() const {
    std::lock_guard lock(m_mutex);
    return m_problem;
}

void PlaybackSource::Loop() {
    VideoFrameReader& reader = *m_reader->frames;
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] {
            return m_stop || m_restartAt || (!m_ended && m_ready.size() < m_ahead);
        });
        if (m_stop) return;
        const uint64_t generation = m_generation;
        const std::optional<int32_t> restart = std::exchange(m_restartAt, std::nullopt);
        lock.unlock();
        // The file is read without the lock, so Take and Restart never wait for it.
        Expected<void> step;
        PlaybackFrame frame;
        if (restart) {
            step = reader.Seek(*restart);
        } else if (reader.Position() >= m_playable) {
            step = Error{""};
        } else {
            frame.frame = reader.Position();
            step = reader.Next(frame.picture, frame.sound);
        }
        lock.lock();
        if (generation != m_generation) continue;  // restarted meanwhile
        if (!step) {
            m_ended = true;
            m_problem = step.error().message;
        } else if (!restart) {
            m_ready.push_back(std::move(frame));
        }
        m_changed.notify_all();
    }
}

}  // namespace rw
