#include "run/two_part_run.h"

#include <algorithm>
#include <new>
#include <string>
#include <system_error>
#include <utility>

#include "run/avi_format_of.h"

namespace rw {
void TwoPartRun::LaterPictures::OnFramePicture(int32_t frame, std::span<const uint8_t> picture) {
    if (m_firstDone.load()) m_observer.OnFramePicture(frame, picture);
}

TwoPartRun::TwoPartRun(InputFile& vqa, OutputFile& avi, const VqaProperties& props,
                       std::span<int32_t> frameIndex, ConversionObserver& observer,
                       ConversionFiles& files)
    : m_vqa(vqa),
      m_avi(avi),
      m_observer(observer),
      m_files(files),
      m_frameIndex(frameIndex),
      m_props(props),
      m_format(AviFormatOf(props)),
      m_frames(static_cast<size_t>(std::max(props.frames, 0))),
      // The second part also reads the first part's frames, so it takes a little less.
      m_split(std::clamp<size_t>(m_frames * 9 / 16, 1, std::max<size_t>(m_frames, 2) - 1)),
      m_positions(m_frames) {}

TwoPartRun::~TwoPartRun() {
    if (m_thread.joinable()) {
        StopBoth();
        m_thread.join();
    }
}

ConversionOutcome TwoPartRun::Run() {
    if (std::string why = CheckConvertible(m_props); !why.empty()) return Fail(why);
    if (m_frameIndex.size() < m_frames) {
        return Fail("the frame index is shorter than the frame count");
    }
    auto start = StartVideo(m_vqa, m_props, m_frameIndex);
    if (!start) return Fail(start.error().message);
    m_start = std::move(*start);
    AviTarget first(m_avi, m_format, m_positions);
    if (auto r = first.LeadingSound(m_start->leadingSound); !r) return Fail(r.error().message);
    auto vqa2 = m_files.OpenInputAgain();
    if (!vqa2) return Fail(vqa2.error().message);
    m_vqa2 = std::move(*vqa2);
    auto avi2 = m_files.OpenOutputAt(AviFramePosition(ComputeAviLayout(m_format), m_split));
    if (!avi2) return Fail(avi2.error().message);
    m_avi2 = std::move(*avi2);

    try {
        m_thread = std::thread([this] { SecondPart(); });
    } catch (const std::system_error& e) {
        return Fail(std::string("cannot start a second thread: ") + e.what());
    }
    FirstPart();
    FollowSecondPart();
    m_thread.join();

    ConversionOutcome outcome = Combine();
    // The frame being converted when the seek failed is the one shown, as in a run in one part.
    if (outcome.status == ConversionOutcome::Status::SeekFailed &&
        static_cast<int32_t>(outcome.failedFrame) != m_reported) {
        m_observer.OnFrameStart(static_cast<int32_t>(outcome.failedFrame));
    }
    return outcome;
}

void TwoPartRun::Report(int32_t frame) {
    if (frame <= m_reported) return;
    m_reported = frame;
    m_observer.OnFrameStart(frame);
}

void TwoPartRun::StopBoth() {
    std::lock_guard lock(m_mutex);
    m_stop = true;
}

void TwoPartRun::FirstPart() {
    try {
        FrameDecoder decoder(m_props, m_vqa, m_frameIndex, m_start->adpcm);
        AviTarget avi(m_avi, m_format, m_positions);
        WatchedTarget target(avi, &m_observer);
        for (size_t f = 0; f < m_split; ++f) {
            if (m_observer.CancelRequested()) {
                m_first.outcome = Cancelled();
                break;
            }
            int32_t secondDone = 0;
            {
                std::lock_guard lock(m_mutex);
                m_firstStoppedByOther = m_stop;
                secondDone = m_secondDone;
            }
            if (m_firstStoppedByOther) break;
            Report(static_cast<int32_t>(f) + secondDone);
            if (!decoder.Frame(f, &target)) {
                m_first.outcome = decoder.Outcome();
                break;
            }
        }
        m_first.damaged = decoder.Damaged();
        m_first.firstDamaged = decoder.FirstDamaged();
    } catch (const std::bad_alloc&) {
        m_first.outcome = OutOfMemory(m_props);
    }
    if (m_first.outcome.status != ConversionOutcome::Status::Completed) StopBoth();
    m_firstDone.store(true);
}

void TwoPartRun::FollowSecondPart() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        const int32_t frame =
            std::min(static_cast<int32_t>(m_split) + m_secondDone, m_props.frames - 1);
        if (!m_stop && frame > m_reported) {
            lock.unlock();
            Report(frame);
            lock.lock();
            continue;
        }
        if (m_secondEnded) return;
        m_changed.wait(lock);
    }
}

bool TwoPartRun::SecondMayGo() {
    bool stop = false;
    {
        std::lock_guard lock(m_mutex);
        stop = m_stop;
    }
    if (!stop && !m_observer.CancelRequested()) return true;
    m_second.outcome = Cancelled();
    StopBoth();
    return false;
}

bool TwoPartRun::WalkFirstFrames(std::optional<FrameDecoder>& decoder, size_t followFrom) {
    decoder.emplace(m_props, *m_vqa2, m_frameIndex, m_start->adpcm);
    for (size_t f = 0; f < m_split; ++f) {
        if (!SecondMayGo()) return false;
        if (!decoder->Frame(f, nullptr, f < followFrom)) {
            m_second.outcome = decoder->Outcome();
            StopBoth();
            return false;
        }
    }
    return true;
}

bool TwoPartRun::ConvertSecondFrames(FrameDecoder& decoder) {
    AviTarget avi(*m_avi2, m_format, m_positions);
    WatchedTarget target(avi, &m_laterPictures);
    for (size_t f = m_split; f < m_frames; ++f) {
        if (!SecondMayGo()) return false;
        if (!decoder.Frame(f, &target)) {
            m_second.outcome = decoder.Outcome();
            StopBoth();
            return false;
        }
        {
            std::lock_guard lock(m_mutex);
            ++m_secondDone;
        }
        m_changed.notify_one();
    }
    return true;
}

void TwoPartRun::SecondPart() {
    try {
        std::optional<FrameDecoder> decoder;
        // Frames before `followFrom` are only skimmed. When none of the last frames before the
        // split had a usable image, the picture the next frames may repeat lies further back, so
        // every frame is read again in full.
        bool going =
            WalkFirstFrames(decoder, m_split > kFollowedFrames ? m_split - kFollowedFrames : 0);
        if (going && decoder->PictureUnknown()) going = WalkFirstFrames(decoder, 0);
        if (going) ConvertSecondFrames(*decoder);
        if (decoder) {
            m_second.damaged = decoder->Damaged();
            m_second.firstDamaged = decoder->FirstDamaged();
        }
    } catch (const std::bad_alloc&) {
        m_second.outcome = OutOfMemory(m_props);
        StopBoth();
    }
    {
        std::lock_guard lock(m_mutex);
        m_secondEnded = true;
    }
    m_changed.notify_one();
}

ConversionOutcome TwoPartRun::Combine() {
    if (m_first.outcome.status != ConversionOutcome::Status::Completed) return m_first.outcome;
    if (m_firstStoppedByOther || m_second.outcome.status != ConversionOutcome::Status::Completed) {
        m_second.outcome.damagedFrames += m_first.damaged;
        return m_second.outcome;
    }
    const int32_t damaged = m_first.damaged + m_second.damaged;
    const int32_t firstOne = m_first.damaged > 0 ? m_first.firstDamaged : m_second.firstDamaged;
    ConversionOutcome done;
    done.damagedFrames = damaged;
    done.leadingSoundMissing = m_start->leadingSoundMissing;
    done.message = DamageSummary(damaged, firstOne, m_start->leadingSoundMissing);
    AviTarget last(*m_avi2, m_format, m_positions);
    if (auto r = last.WriteIndex(); !r) return Fail(r.error().message);
    if (auto r = m_avi2->Finish(); !r) return Fail(r.error().message);
    return done;
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

}  // namespace rw
