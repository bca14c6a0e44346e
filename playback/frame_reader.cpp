#include "playback/frame_reader.h"

#include <algorithm>
#include <optional>
#include <string>
#include <utility>

#include "decode/frame_decoder.h"
#include "decode/open_video.h"
#include "stream/frame_target.h"

namespace rw {
namespace {

// Whole 16-bit samples: a chunk of odd size ends in half a sample, which is left out.
std::span<const uint8_t> WholeSamples(std::span<const uint8_t> pcm) {
    return pcm.first(pcm.size() & ~size_t{1});
}

// Keeps the picture and the sound of the frame being read.
class FrameCatcher final : public FrameTarget {
  public:
    explicit FrameCatcher(size_t pictureBytes) : m_pictureBytes(pictureBytes) {}

    Expected<void> LeadingSound(std::span<const uint8_t> pcm) override {
        const auto whole = WholeSamples(pcm);
        sound->assign(whole.begin(), whole.end());
        return {};
    }
    Expected<std::span<uint8_t>> BeginFrame(int32_t, std::span<const uint8_t> pcm) override {
        const auto whole = WholeSamples(pcm);
        sound->assign(whole.begin(), whole.end());
        picture->resize(m_pictureBytes);
        return std::span<uint8_t>(*picture);
    }
    Expected<void> EndFrame(int32_t, bool) override { return {}; }

    std::vector<uint8_t>* picture = nullptr;
    std::vector<uint8_t>* sound = nullptr;

  private:
    size_t m_pictureBytes;
};

}  // namespace

struct FrameReader::State {
    State(InputFile& file, const VqaProperties& p, std::vector<int32_t> index)
        : vqa(file),
          props(p),
          frames(static_cast<size_t>(std::max(p.frames, 0))),
          frameIndex(std::move(index)),
          catcher(StreamFormatOf(p).PictureBytes()) {}

    InputFile& vqa;
    VqaProperties props;
    size_t frames;
    std::vector<int32_t> frameIndex;
    FrameCatcher catcher;
    std::optional<VideoStart> start;
    std::optional<FrameDecoder> decoder;
    size_t next = 0;

    Expected<void> Stopped() const {
        const ConversionOutcome& o = decoder->Outcome();
        if (o.status == ConversionOutcome::Status::SeekFailed) {
            return Error{"the seek to frame " + std::to_string(o.failedFrame) + " failed"};
        }
        return Error{o.message};
    }
};

FrameReader::FrameReader(InputFile& vqa, const VqaProperties& props,
                         std::vector<int32_t> frameIndex)
    : m_state(std::make_unique<State>(vqa, props, std::move(frameIndex))) {}

FrameReader::~FrameReader() = default;

Expected<void> FrameReader::Start(std::vector<uint8_t>& sound) {
    State& s = *m_state;
    if (std::string why = CheckDecodable(s.props); !why.empty()) return Error{why};
    if (s.frameIndex.size() < s.frames) {
        return Error{"the frame index is shorter than the frame count"};
    }
    auto start = StartVideo(s.vqa, s.props, s.frameIndex);
    if (!start) return start.error();
    s.start = std::move(*start);
    s.catcher.sound = &sound;
    static_cast<void>(s.catcher.LeadingSound(s.start->leadingSound));
    return Seek(0);
}

Expected<void> FrameReader::Seek(int32_t frame) {
    State& s = *m_state;
    if (!s.start) return Error{"the video has not been started"};
    const size_t target = std::min(static_cast<size_t>(std::max(frame, 0)), s.frames);
    // As the second part of a run: the frames long before the target are only skimmed, the last
    // few read in full; all of them again when none of those had a usable image.
    for (size_t followFrom : {target > kFollowedFrames ? target - kFollowedFrames : 0, size_t{0}}) {
        s.decoder.emplace(s.props, s.vqa, s.frameIndex, s.start->adpcm);
        for (size_t f = 0; f < target; ++f) {
            if (!s.decoder->Frame(f, nullptr, f < followFrom)) return s.Stopped();
        }
        if (!s.decoder->PictureUnknown()) break;
    }
    s.next = target;
    return {};
}

Expected<void> FrameReader::Next(std::vector<uint8_t>& picture, std::vector<uint8_t>& sound) {
    State& s = *m_state;
    if (!s.decoder) return Error{"the video has not been started"};
    if (s.next >= s.frames) return Error{"the video has no more frames"};
    s.catcher.picture = &picture;
    s.catcher.sound = &sound;
    if (!s.decoder->Frame(s.next, &s.catcher)) return s.Stopped();
    ++s.next;
    return {};
}

int32_t FrameReader::Position() const {
    return static_cast<int32_t>(m_state->next);
}

}  // namespace rw
