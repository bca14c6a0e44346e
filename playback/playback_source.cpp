#include "playback/playback_source.h"

#include <algorithm>
#include <chrono>
#include <utility>

#include "decode/frame_decoder.h"
#include "decode/open_video.h"
#include "playback/frame_reader.h"

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
    std::optional<FrameReader> frames;
};

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
    const std::string& path = source.name;
    StopThread();
    auto video = OpenVideo(source);
    if (!video) return video.error();
    if (video->kind == PictureKind::HighColour) {
        return Error{"Cannot play \"" + path +
                     "\": the player does not play high-colour (15-bit) videos yet; they can be "
                     "converted and exported"};
    }
    auto reader = std::make_unique<Reader>();
    reader->video = std::move(*video);
    reader->frames.emplace(*reader->video.file, reader->video.props, reader->video.frameIndex);
    std::vector<uint8_t> leading;
    if (auto r = reader->frames->Start(leading); !r) {
        return Error{"Cannot play \"" + path + "\": " + r.error().message};
    }
    m_props = reader->video.props;
    const Expected<int64_t> length = reader->video.file->Length();
    m_playable =
        m_props.frames - (length ? CountFramesBeyondEnd(reader->video.frameIndex, *length) : 0);
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
    FrameReader& reader = *m_reader->frames;
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
