#include "convert/convert_frames.h"

#include <algorithm>
#include <new>
#include <optional>
#include <utility>
#include <vector>

#include "avi/avi_header.h"
#include "convert/avi_chunk_sink.h"
#include "convert/frame_converter.h"
#include "convert/two_part_run.h"

namespace rw {

std::string CheckConvertible(const VqaProperties& props) {
    if (props.frames <= 0) return "the video has no frames";
    if (props.width <= 0 || props.height <= 0) {
        return "the video has no picture (" + std::to_string(props.width) + " x " +
               std::to_string(props.height) + " pixels)";
    }
    if (props.blockWidth <= 0 || props.blockHeight <= 0) {
        return "the header gives a block size of " + std::to_string(props.blockWidth) + " x " +
               std::to_string(props.blockHeight) + " pixels";
    }
    if (props.soundRate < 0) return "the header gives a negative sound rate";
    if (auto why = CheckAviDescribable(props)) return *why;
    return {};
}

namespace {

ConversionOutcome ConvertFramesUnguarded(InputFile& vqa, OutputFile& avi,
                                         const VqaProperties& props, std::span<int32_t> frameIndex,
                                         ConversionObserver& observer) {
    const RunShape shape(props);
    auto start = StartRun(vqa, avi, shape, frameIndex);
    if (!start) return Fail(start.error().message);

    std::vector<uint32_t> soundPositions(shape.frames);
    std::vector<uint32_t> videoPositions(shape.frames);
    FrameConverter converter(shape, vqa, frameIndex, start->adpcm);
    converter.ShowPicturesTo(&observer);
    for (size_t f = 0; f < shape.frames; ++f) {
        if (observer.CancelRequested()) return Cancelled();
        observer.OnFrameStart(static_cast<int32_t>(f));
        if (!converter.Frame(f, &avi, soundPositions, videoPositions)) return converter.Outcome();
    }
    return FinishRun(avi, shape, *start, soundPositions, videoPositions, converter.Damaged(),
                     converter.FirstDamaged());
}

}  // namespace

ConversionOutcome ConvertFrames(InputFile& vqa, OutputFile& avi, const VqaProperties& props,
                                std::span<int32_t> frameIndex, ConversionObserver& observer) {
    // A picture takes 3 * width * height bytes, up to 2 GB for the largest video an AVI header
    // can describe, and a run may hold two (the room in the file for one that does not fit in the
    // write buffer, and a kept previous picture); a machine without that much memory ends the run
    // with a message instead of the program.
    try {
        return ConvertFramesUnguarded(vqa, avi, props, frameIndex, observer);
    } catch (const std::bad_alloc&) {
        return OutOfMemory(props);
    }
}

ConversionOutcome ConvertFramesInTwoParts(InputFile& vqa, OutputFile& avi,
                                          const VqaProperties& props, std::span<int32_t> frameIndex,
                                          ConversionObserver& observer, ConversionFiles& files) {
    if (props.frames < 2) return ConvertFrames(vqa, avi, props, frameIndex, observer);
    try {
        TwoPartRun run(vqa, avi, props, frameIndex, observer, files);
        return run.Run();
    } catch (const std::bad_alloc&) {
        return OutOfMemory(props);
    }
}

// ---- FrameReader ----

namespace {

// Takes the picture and the sound chunk of the frame a reader writes.
class FrameCatcher final : public AviChunkReceiver {
  public:
    Expected<void> OnSound(std::span<const uint8_t> pcm) override {
        if (sound != nullptr) sound->insert(sound->end(), pcm.begin(), pcm.end());
        return {};
    }
    Expected<void> OnPicture(int32_t, std::span<const uint8_t> bgr) override {
        if (picture != nullptr) picture->assign(bgr.begin(), bgr.end());
        return {};
    }
    std::vector<uint8_t>* picture = nullptr;
    std::vector<uint8_t>* sound = nullptr;
};

}  // namespace

struct FrameReader::State {
    State(InputFile& file, const VqaProperties& p, std::vector<int32_t> index)
        : vqa(file), shape(p), frameIndex(std::move(index)), sink(catcher, "player") {}

    InputFile& vqa;
    RunShape shape;
    std::vector<int32_t> frameIndex;
    FrameCatcher catcher;
    AviChunkSink sink;
    std::optional<RunStart> start;
    std::optional<FrameConverter> converter;
    std::vector<uint32_t> soundPositions;
    std::vector<uint32_t> videoPositions;
    size_t next = 0;

    Expected<void> Stopped() const {
        const ConversionOutcome& o = converter->Outcome();
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
    sound.clear();
    s.catcher.sound = &sound;
    auto start = StartRun(s.vqa, s.sink, s.shape, s.frameIndex);
    s.catcher.sound = nullptr;
    if (!start) return start.error();
    s.start = *start;
    s.soundPositions.assign(s.shape.frames, 0);
    s.videoPositions.assign(s.shape.frames, 0);
    return Seek(0);
}

Expected<void> FrameReader::Seek(int32_t frame) {
    State& s = *m_state;
    if (!s.start) return Error{"the video has not been started"};
    const size_t target = std::min(static_cast<size_t>(std::max(frame, 0)), s.shape.frames);
    // As the second part of a run: the frames long before the target are only skimmed, the last
    // few read in full; all of them again when none of those had a usable image.
    for (size_t followFrom : {target > kFollowedFrames ? target - kFollowedFrames : 0, size_t{0}}) {
        s.converter.emplace(s.shape, s.vqa, s.frameIndex, s.start->adpcm);
        for (size_t f = 0; f < target; ++f) {
            if (!s.converter->Frame(f, nullptr, s.soundPositions, s.videoPositions,
                                    f < followFrom)) {
                return s.Stopped();
            }
        }
        if (!s.converter->PictureUnknown()) break;
    }
    s.next = target;
    return {};
}

Expected<void> FrameReader::Next(std::vector<uint8_t>& picture, std::vector<uint8_t>& sound) {
    State& s = *m_state;
    if (!s.converter) return Error{"the video has not been started"};
    if (s.next >= s.shape.frames) return Error{"the video has no more frames"};
    sound.clear();
    s.sink.Rewind();
    s.catcher.picture = &picture;
    s.catcher.sound = &sound;
    const bool ok = s.converter->Frame(s.next, &s.sink, s.soundPositions, s.videoPositions);
    s.catcher.picture = nullptr;
    s.catcher.sound = nullptr;
    if (!ok) return s.Stopped();
    ++s.next;
    return {};
}

int32_t FrameReader::Position() const {
    return static_cast<int32_t>(m_state->next);
}

}  // namespace rw
