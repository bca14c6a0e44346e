// Decoding for the player: a thread of its own reads the video's frames a little ahead of what is
// shown, and starts again at any frame on request. Also the arithmetic of the player's clock: the
// sound, as the AVI file holds it (the leading sound, then one chunk per frame), runs from the
// start, and frame n is shown from n / 15 seconds on (a high-colour video: n / its frame rate).
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "decode/video_source.h"
#include "platform/expected.h"
#include "stream/frame_target.h"
#include "vqa/vqa_properties.h"

namespace rw {

struct PlaybackFrame {
    int32_t frame = 0;
    std::vector<uint8_t> picture;  // blue, green, red; bottom row first
    std::vector<uint8_t> sound;    // 16-bit PCM, channels interleaved: the frame's sound chunk
};

// Where the sound stands at frame `frame`: the chunk (-1 for the leading sound) and the byte in it
// that plays when the frame is first shown, for a video of `props` (sound rate > 0).
struct SoundPlace {
    int32_t chunk = -1;
    int64_t byte = 0;
};
SoundPlace SoundPlaceOfFrame(const VqaProperties& props, int32_t frame);
// The frame shown once `samples` samples of sound have played from the start of the video.
int32_t FrameAtSample(const VqaProperties& props, int64_t samples);

class PlaybackSource {
  public:
    // Keeps up to `ahead` decoded frames waiting.
    explicit PlaybackSource(size_t ahead = 24);
    ~PlaybackSource();
    PlaybackSource(const PlaybackSource&) = delete;
    PlaybackSource& operator=(const PlaybackSource&) = delete;

    // Opens the video and starts decoding from frame 0. The message names the file and the
    // problem.
    Expected<void> Open(const std::string& path);
    // The same for a video that may lie inside an archive.
    Expected<void> Open(const VqaSource& source);
    // Frames, picture size, frame rate, sound rate and channels of what the source hands out.
    const StreamFormat& Format() const { return m_format; }
    // Where the sound stands when frame `frame` is first shown (SoundPlaceOfFrame for 8-bit
    // videos; a high-colour video's frames bring sound of their own lengths).
    SoundPlace SoundPlaceOf(int32_t frame) const;
    // The frame shown once `samples` samples (of every channel) have played from the start.
    int32_t FrameAtSample(int64_t samples) const;
    // The frames before those that start beyond the end of a file cut short: decoding ends there.
    int32_t PlayableFrames() const { return m_playable; }
    // The sound before frame 0's chunk.
    const std::vector<uint8_t>& LeadingSound() const { return m_leadingSound; }

    // Drops what waits and decodes from `frame` on (the frames before it are walked, not drawn).
    void Restart(int32_t frame);
    // The next decoded frame, if one is ready.
    std::optional<PlaybackFrame> Take();
    // Waits up to `milliseconds` for the next frame (tests and the first picture).
    std::optional<PlaybackFrame> TakeWaiting(int milliseconds);
    // True once decoding has stopped for good since the last restart: the last frame is out, or
    // the video cannot be read on (Problem says why).
    bool Ended() const;
    std::string Problem() const;

  private:
    struct Reader;
    void Loop();
    void StopThread();

    size_t m_ahead;
    VqaProperties m_props;
    StreamFormat m_format;
    std::vector<int64_t> m_soundStarts;  // a high-colour video's: the sound bytes before each frame
    int32_t m_playable = 0;
    std::vector<uint8_t> m_leadingSound;
    std::unique_ptr<Reader> m_reader;

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<PlaybackFrame> m_ready;
    std::optional<int32_t> m_restartAt;
    uint64_t m_generation = 0;  // bumped by every restart: frames of an older one are dropped
    bool m_ended = false;
    std::string m_problem;
    bool m_stop = false;
    std::thread m_thread;
};

}  // namespace rw
