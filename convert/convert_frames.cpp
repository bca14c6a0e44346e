#include "convert/convert_frames.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <new>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "avi/avi_chunks.h"
#include "avi/avi_header.h"
#include "convert/avi_chunk_sink.h"
#include "vqa/ima_adpcm.h"
#include "vqa/picture_chunk.h"
#include "vqa/render.h"

namespace rw {
namespace {

// A frame's seek position is formed as a signed 32-bit number: offset plus 8, wrapping.
int32_t Add32(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

ConversionOutcome Fail(std::string message) {
    ConversionOutcome o;
    o.status = ConversionOutcome::Status::Failed;
    o.message = std::move(message);
    return o;
}

// Draws each pointer table of a frame straight into the frame's video chunk; the last one drawn
// wins. A frame without a usable image repeats the previous picture, which is kept as the last
// good pointer table and the renderer that drew it: of two renderers, each change of codebook or
// palette prepares the one that did not draw that picture, so it can be drawn again as it was.
class PictureSink final : public FrameImageSink {
  public:
    explicit PictureSink(const VqaProperties& props) : m_props(props) {}

    // The room the frame's image goes to; none for a frame that is only read, whose tables still
    // count for what later frames repeat, unless it is skimmed: its tables are then only checked,
    // and what later frames would repeat is no longer known (PictureUnknown) until a frame that
    // is not skimmed has an image.
    void BeginFrame(std::span<uint8_t> target, bool skim) {
        m_target = target;
        m_skim = skim;
        m_images = 0;
    }

    bool WantsPointerTables() const override { return !m_skim; }
    void OnPointerTableSkipped() override { ++m_images; }

    void OnPointerTable(std::span<const uint8_t> pointerTable,
                        const VqaDecodeState& state) override {
        if (!m_renderers[m_current].IsPreparedFor(state, m_props)) {
            if (m_hasLast && m_lastRenderer == m_current) m_current ^= 1;
            m_renderers[m_current].Prepare(state, m_props);
        }
        if (!m_target.empty()) m_renderers[m_current].Draw(pointerTable, m_props, m_target);
        m_drawnTable.assign(pointerTable.begin(), pointerTable.end());
        m_drawnRenderer = m_current;
        ++m_images;
    }

    int Images() const { return m_images; }
    bool PictureUnknown() const { return m_pictureUnknown; }

    // The frame's image is good: it is the picture later frames may repeat.
    void KeepFrame() {
        if (m_images == 0) return;
        m_pictureUnknown = m_skim;
        m_hasLast = !m_skim;
        if (m_skim) return;
        std::swap(m_lastTable, m_drawnTable);
        m_lastRenderer = m_drawnRenderer;
    }

    // The frame has no usable image: the previous picture (black before the first) goes instead.
    void RepeatPrevious() {
        if (m_hasLast) {
            m_renderers[m_lastRenderer].Draw(m_lastTable, m_props, m_target);
        } else {
            std::memset(m_target.data(), 0, m_target.size());
        }
    }

  private:
    const VqaProperties& m_props;
    std::array<FrameRenderer, 2> m_renderers;  // keep codebooks expanded into colours
    size_t m_current = 0;                      // the renderer new tables are drawn with
    std::span<uint8_t> m_target;
    bool m_skim = false;
    int m_images = 0;
    std::vector<uint8_t> m_drawnTable;  // the last table drawn in this frame...
    size_t m_drawnRenderer = 0;         // ...and its renderer
    std::vector<uint8_t> m_lastTable;   // the last good frame's table...
    size_t m_lastRenderer = 0;          // ...and its renderer, which stays prepared for it
    bool m_hasLast = false;             // else the previous picture is black
    bool m_pictureUnknown = false;
};

// Reads exactly out.size() bytes at `position`. False when the position cannot be reached or the
// file ends first: the caller then uses none of the bytes.
enum class ReadResult { Ok, Short, Error };
ReadResult ReadAt(InputFile& file, std::span<uint8_t> out, std::string& error) {
    auto got = file.Read(out);
    if (!got) {
        error = got.error().message;
        return ReadResult::Error;
    }
    return *got == out.size() ? ReadResult::Ok : ReadResult::Short;
}

std::string DamageSummary(int32_t damaged, int32_t firstDamaged, bool leadingSoundMissing) {
    std::string text;
    if (damaged > 0) {
        text = std::to_string(damaged) + (damaged == 1 ? " frame was" : " frames were") +
               " damaged or missing (the first is frame " + std::to_string(firstDamaged + 1) +
               "); they repeat the previous picture";
    }
    if (leadingSoundMissing) {
        if (!text.empty()) text += "; ";
        text += "the sound before the first frame is missing and was replaced by silence";
    }
    return text;
}

}  // namespace

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

// The sizes every part of a run shares.
struct RunShape {
    VqaProperties props;
    AviLayout layout;
    size_t frames = 0;
    int32_t rate = 0;
    int32_t leadingIn = 0;       // ADPCM bytes before the first frame
    int32_t frameIn = 0;         // ADPCM bytes per frame
    int32_t frameSoundSize = 0;  // bytes of each frame's sound chunk
    size_t pictureBytes = 0;

    explicit RunShape(const VqaProperties& p)
        : props(p),
          layout(ComputeAviLayout(p)),
          frames(static_cast<size_t>(std::max(p.frames, 0))),
          rate(p.soundRate),
          leadingIn(p.soundRate / 4),
          frameIn((p.soundRate / 15) / 2),
          frameSoundSize(static_cast<int32_t>(layout.frameSoundDeclared)),
          pictureBytes(static_cast<size_t>(layout.videoFrameBytes)) {}

    // Where frame f's sound chunk starts: after the 524-byte header block and the leading sound
    // chunk, every frame takes the same room.
    int64_t FramePosition(size_t f) const {
        return 524 + 8 + layout.leadingSoundBytes +
               static_cast<int64_t>(f) * (16 + layout.frameSoundWritten + layout.videoFrameBytes);
    }
};

ConversionOutcome SeekFailure(uint32_t frame, uint32_t position, int32_t damaged) {
    ConversionOutcome o;
    o.status = ConversionOutcome::Status::SeekFailed;
    o.failedFrame = frame;
    o.failedPosition = position;
    o.damagedFrames = damaged;
    return o;
}

ConversionOutcome Cancelled() {
    ConversionOutcome o;
    o.status = ConversionOutcome::Status::Cancelled;
    return o;
}

// Takes the frames of a run in order, with its own codebook, palette and sound state: frames it
// writes go to an output file, frames it only reads carry the state forward (a part of a run that
// starts later walks the frames before it that way).
class FrameConverter {
  public:
    FrameConverter(const RunShape& shape, InputFile& vqa, std::span<const int32_t> frameIndex,
                   const ImaAdpcmState& adpcm)
        : m_shape(shape),
          m_vqa(vqa),
          m_frameIndex(frameIndex),
          m_adpcm(adpcm),
          m_sink(shape.props),
          m_soundIn(static_cast<size_t>(shape.frameIn)),
          m_soundOut(4 * m_soundIn.size()) {}

    // Frame f. With `avi`, its chunks are written there and their positions kept; without, it
    // is only read, and `skim` leaves its pointer tables unpacked (see PictureSink). False when
    // the run cannot go on: Outcome() says why.
    bool Frame(size_t f, OutputFile* avi, std::span<uint32_t> soundPositions,
               std::span<uint32_t> videoPositions, bool skim = false) {
        const int32_t position = Add32(m_frameIndex[f], 8);
        if (!m_vqa.Seek(position)) {
            m_outcome =
                SeekFailure(static_cast<uint32_t>(f), static_cast<uint32_t>(position), m_damaged);
            return false;
        }

        // The frame's sound. A short read is silence and leaves the decoder where it was.
        const ReadResult got = ReadAt(m_vqa, m_soundIn, m_error);
        if (got == ReadResult::Error) return Stop(m_error);
        std::span<const uint8_t> sound;
        if (got == ReadResult::Ok) {
            DecodeImaAdpcmInto(m_soundIn, m_adpcm, m_soundOut);
            sound = m_soundOut;
        }
        std::optional<VideoChunkRoom> video;
        if (avi != nullptr) {
            auto soundPosition =
                WriteSoundChunk(*avi, m_shape.frameSoundSize, sound, m_shape.frameSoundSize);
            if (!soundPosition) return Stop(soundPosition.error().message);
            soundPositions[f] = *soundPosition;

            // The picture is drawn in place.
            auto room = BeginVideoChunk(*avi, m_shape.pictureBytes);
            if (!room) return Stop(room.error().message);
            video = *room;
        }

        // A frame without an image repeats the previous one; a damaged or missing one does too,
        // and is counted.
        m_sink.BeginFrame(video ? video->image : std::span<uint8_t>{}, skim && !video);
        bool frameDamaged = got != ReadResult::Ok;
        if (!frameDamaged) {
            const PictureChunkResult result = ReadPictureChunk(m_vqa, m_state, m_sink);
            switch (result.status) {
                case PictureChunkResult::Status::Ok:
                    m_sink.KeepFrame();
                    break;
                case PictureChunkResult::Status::Damaged:
                case PictureChunkResult::Status::Truncated:
                    frameDamaged = true;
                    break;
                case PictureChunkResult::Status::IoError:
                    return Stop(result.message);
            }
        }
        if (!video) return true;
        if (frameDamaged) {
            if (m_damaged++ == 0) m_firstDamaged = static_cast<int32_t>(f);
        }
        if (frameDamaged || m_sink.Images() == 0) m_sink.RepeatPrevious();
        if (m_watcher != nullptr) m_watcher->OnFramePicture(static_cast<int32_t>(f), video->image);
        if (auto end = EndVideoChunk(*avi, *video); !end) return Stop(end.error().message);
        videoPositions[f] = video->position;
        return true;
    }

    // Shows each written frame's picture to `watcher`.
    void ShowPicturesTo(ConversionObserver* watcher) { m_watcher = watcher; }
    const ConversionOutcome& Outcome() const { return m_outcome; }
    // After skimmed frames: the picture a next frame would repeat is not known.
    bool PictureUnknown() const { return m_sink.PictureUnknown(); }
    int32_t Damaged() const { return m_damaged; }
    int32_t FirstDamaged() const { return m_firstDamaged; }

  private:
    bool Stop(std::string message) {
        m_outcome = Fail(std::move(message));
        return false;
    }

    const RunShape& m_shape;
    InputFile& m_vqa;
    std::span<const int32_t> m_frameIndex;
    ImaAdpcmState m_adpcm;
    VqaDecodeState m_state;
    PictureSink m_sink;
    std::vector<uint8_t> m_soundIn;
    std::vector<uint8_t> m_soundOut;
    std::string m_error;
    ConversionOutcome m_outcome;
    int32_t m_damaged = 0;
    int32_t m_firstDamaged = -1;
    ConversionObserver* m_watcher = nullptr;
};

// What the start of a run leaves for its frames.
struct RunStart {
    uint32_t leadingPosition = 0;
    bool leadingSoundMissing = false;
    ImaAdpcmState adpcm;  // after the leading sound
};

// Checks the run, writes the AVI header block and the leading sound: R / 4 bytes from frame 0's
// offset + 8, written as an R-byte chunk; then 5520 is added to frame 0's offset.
Expected<RunStart> StartRun(InputFile& vqa, OutputFile& avi, const RunShape& shape,
                            std::span<int32_t> frameIndex) {
    if (std::string why = CheckConvertible(shape.props); !why.empty()) return Error{why};
    if (frameIndex.size() < shape.frames) {
        return Error{"the frame index is shorter than the frame count"};
    }
    if (auto w = WriteAviHeader(avi, shape.props); !w) return w.error();

    RunStart start;
    std::vector<uint8_t> soundIn(static_cast<size_t>(shape.leadingIn));
    std::vector<uint8_t> soundOut(4 * soundIn.size());
    std::span<const uint8_t> leadingSound;
    std::string error;
    ReadResult got = ReadResult::Short;
    if (vqa.Seek(Add32(frameIndex[0], 8))) got = ReadAt(vqa, soundIn, error);
    if (got == ReadResult::Error) return Error{error};
    if (got == ReadResult::Ok) {
        DecodeImaAdpcmInto(soundIn, start.adpcm, soundOut);
        leadingSound = soundOut;
    } else {
        start.leadingSoundMissing = true;
    }
    auto leadingPosition = WriteSoundChunk(avi, shape.rate, leadingSound, shape.rate);
    if (!leadingPosition) return leadingPosition.error();
    start.leadingPosition = *leadingPosition;
    frameIndex[0] = Add32(frameIndex[0], kLeadingSoundSkip);
    return start;
}

// Writes the index after the last frame and checks the file's length.
ConversionOutcome FinishRun(OutputFile& avi, const RunShape& shape, const RunStart& start,
                            std::span<const uint32_t> soundPositions,
                            std::span<const uint32_t> videoPositions, int32_t damaged,
                            int32_t firstDamaged) {
    if (auto w = WriteIndexChunk(avi, start.leadingPosition, soundPositions, videoPositions,
                                 shape.props);
        !w) {
        return Fail(w.error().message);
    }
    if (avi.Position() != shape.layout.fileLength) {
        return Fail("the AVI file came out " + std::to_string(avi.Position()) +
                    " bytes long instead of the " + std::to_string(shape.layout.fileLength) +
                    " its header declares");
    }
    ConversionOutcome o;
    o.damagedFrames = damaged;
    o.leadingSoundMissing = start.leadingSoundMissing;
    o.message = DamageSummary(damaged, firstDamaged, start.leadingSoundMissing);
    return o;
}

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

ConversionOutcome OutOfMemory(const VqaProperties& props) {
    const int64_t picture = ComputeAviLayout(props).videoFrameBytes;
    return Fail("there is not enough memory for pictures of " + std::to_string(props.width) +
                " x " + std::to_string(props.height) + " pixels (" + std::to_string(picture) +
                " bytes each)");
}

// The second part reads the frames before its own in full only from this many frames before them:
// enough to find the picture its first frame may repeat, in all but damaged files.
constexpr size_t kFollowedFrames = 4;

// The second part's pictures go to the observer only once the first part is done, so the
// pictures shown follow the video forwards.
class LaterPictures final : public ConversionObserver {
  public:
    LaterPictures(ConversionObserver& observer, const std::atomic<bool>& firstDone)
        : m_observer(observer), m_firstDone(firstDone) {}
    void OnFrameStart(int32_t) override {}
    bool CancelRequested() override { return false; }
    void OnFramePicture(int32_t frame, std::span<const uint8_t> picture) override {
        if (m_firstDone.load()) m_observer.OnFramePicture(frame, picture);
    }

  private:
    ConversionObserver& m_observer;
    const std::atomic<bool>& m_firstDone;
};

// The run in two parts: this thread converts the first frames into `avi`; a second thread walks
// those frames for their codebook, palette and sound, then converts the rest into a file of its
// own that starts where they end. Each part draws its pictures on the core that writes them. The
// second part stops when the first stops, and the other way round; the first part's end wins,
// since it comes first in the file.
ConversionOutcome ConvertInTwoPartsUnguarded(InputFile& vqa, OutputFile& avi,
                                             const VqaProperties& props,
                                             std::span<int32_t> frameIndex,
                                             ConversionObserver& observer, ConversionFiles& files) {
    const RunShape shape(props);
    auto start = StartRun(vqa, avi, shape, frameIndex);
    if (!start) return Fail(start.error().message);
    // The second part also reads the first part's frames, so it takes a little less.
    const size_t split = std::clamp<size_t>(shape.frames * 9 / 16, 1, shape.frames - 1);

    auto vqa2 = files.OpenInputAgain();
    if (!vqa2) return Fail(vqa2.error().message);
    auto avi2 = files.OpenOutputAt(shape.FramePosition(split));
    if (!avi2) return Fail(avi2.error().message);

    std::vector<uint32_t> soundPositions(shape.frames);
    std::vector<uint32_t> videoPositions(shape.frames);
    std::atomic<bool> stop{false};       // either part asks the other to stop
    std::atomic<int32_t> secondDone{0};  // frames the second part has converted
    std::atomic<bool> firstDone{false};
    LaterPictures laterPictures(observer, firstDone);
    std::mutex mutex;
    std::condition_variable secondEnded;
    bool secondFinished = false;
    ConversionOutcome second;
    int32_t secondDamaged = 0;
    int32_t secondFirstDamaged = -1;

    std::thread worker;
    auto secondPart = [&] {
        try {
            std::optional<FrameConverter> converter;
            // Reads the first part's frames for their codebook, palette and sound; those before
            // `followFrom` are only skimmed.
            auto walk = [&](size_t followFrom) {
                converter.emplace(shape, **vqa2, frameIndex, start->adpcm);
                for (size_t f = 0; f < split; ++f) {
                    if (stop.load()) {
                        second = Cancelled();
                        return false;
                    }
                    if (!converter->Frame(f, nullptr, soundPositions, videoPositions,
                                          f < followFrom)) {
                        second = converter->Outcome();
                        stop.store(true);
                        return false;
                    }
                }
                return true;
            };
            bool going = walk(split > kFollowedFrames ? split - kFollowedFrames : 0);
            // None of the last frames before the split had a usable image: the picture the next
            // frames may repeat lies further back, so every frame is read again in full.
            if (going && converter->PictureUnknown()) going = walk(0);
            if (converter) converter->ShowPicturesTo(&laterPictures);
            for (size_t f = split; going && f < shape.frames; ++f) {
                if (stop.load()) {
                    second = Cancelled();
                    going = false;
                } else if (!converter->Frame(f, avi2->get(), soundPositions, videoPositions)) {
                    second = converter->Outcome();
                    stop.store(true);
                    going = false;
                } else {
                    secondDone.fetch_add(1);
                }
            }
            if (converter) {
                secondDamaged = converter->Damaged();
                secondFirstDamaged = converter->FirstDamaged();
            }
        } catch (const std::bad_alloc&) {
            second = OutOfMemory(props);
            stop.store(true);
        }
        std::lock_guard lock(mutex);
        secondFinished = true;
        secondEnded.notify_all();
    };
    try {
        worker = std::thread(secondPart);
    } catch (const std::system_error& e) {
        return Fail(std::string("cannot start a second thread: ") + e.what());
    }

    ConversionOutcome first;
    bool firstStoppedByOther = false;
    int32_t firstDamaged = 0;
    int32_t firstFirstDamaged = -1;
    try {
        FrameConverter converter(shape, vqa, frameIndex, start->adpcm);
        converter.ShowPicturesTo(&observer);
        for (size_t f = 0; f < split; ++f) {
            if (observer.CancelRequested()) {
                first = Cancelled();
                break;
            }
            if (stop.load()) {
                firstStoppedByOther = true;
                break;
            }
            observer.OnFrameStart(static_cast<int32_t>(f) + secondDone.load());
            if (!converter.Frame(f, &avi, soundPositions, videoPositions)) {
                first = converter.Outcome();
                break;
            }
        }
        firstDamaged = converter.Damaged();
        firstFirstDamaged = converter.FirstDamaged();
    } catch (const std::bad_alloc&) {
        first = OutOfMemory(props);
    }
    if (first.status != ConversionOutcome::Status::Completed) stop.store(true);
    firstDone.store(true);

    // Progress and cancelling go on while the second part finishes.
    {
        std::unique_lock lock(mutex);
        int32_t shown = -1;
        while (!secondFinished) {
            const int32_t done = secondDone.load();
            if (done != shown && !stop.load()) {
                shown = done;
                lock.unlock();
                observer.OnFrameStart(
                    std::min(static_cast<int32_t>(split) + done, props.frames - 1));
                lock.lock();
            }
            if (observer.CancelRequested()) stop.store(true);
            secondEnded.wait_for(lock, std::chrono::milliseconds(5));
        }
    }
    worker.join();

    if (first.status != ConversionOutcome::Status::Completed) return first;
    if (firstStoppedByOther || second.status != ConversionOutcome::Status::Completed) {
        second.damagedFrames += firstDamaged;
        return second;
    }
    const int32_t damaged = firstDamaged + secondDamaged;
    const int32_t firstOne = firstDamaged > 0 ? firstFirstDamaged : secondFirstDamaged;
    ConversionOutcome done =
        FinishRun(**avi2, shape, *start, soundPositions, videoPositions, damaged, firstOne);
    if (done.status == ConversionOutcome::Status::Completed) {
        if (auto r = (*avi2)->Finish(); !r) return Fail(r.error().message);
    }
    return done;
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
        return ConvertInTwoPartsUnguarded(vqa, avi, props, frameIndex, observer, files);
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
