// A run in two parts at once: the calling thread converts the first frames into the output it is
// given; a second thread walks those frames for their codebook, palette and sound, then converts
// the rest into a writer of its own that starts where they end. Each part draws its pictures on
// the core that writes them.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <thread>
#include <vector>

#include "avi/avi_target.h"
#include "decode/frame_decoder.h"
#include "decode/frame_stream.h"
#include "run/convert_frames.h"

namespace rw {

class TwoPartRun {
  public:
    TwoPartRun(InputFile& vqa, OutputFile& avi, const VqaProperties& props,
               std::span<int32_t> frameIndex, ConversionObserver& observer, ConversionFiles& files);
    ~TwoPartRun();
    TwoPartRun(const TwoPartRun&) = delete;
    TwoPartRun& operator=(const TwoPartRun&) = delete;

    // The whole run; the same file and outcome as ConvertFrames. Progress counts the frames both
    // parts have started, and the last report of a complete run is the last frame. A stop of
    // either part stops both; what happened first in the file is reported.
    ConversionOutcome Run();

  private:
    // The first part, on this thread: frames [0, split).
    void FirstPart();
    // The second part, on its own thread: walks [0, split), then converts [split, frames).
    void SecondPart();
    bool WalkFirstFrames(std::optional<FrameDecoder>& decoder, size_t followFrom);
    bool ConvertSecondFrames(FrameDecoder& decoder);
    // Whether the second part goes on; a cancel or the first part's stop ends it.
    bool SecondMayGo();
    void StopBoth();
    // Reports the second part's progress as it signals it, until it has ended.
    void FollowSecondPart();
    void Report(int32_t frame);
    ConversionOutcome Combine();

    // The second part's pictures go to the observer only once the first part is done, so the
    // pictures shown follow the video forwards.
    class LaterPictures final : public ConversionObserver {
      public:
        LaterPictures(ConversionObserver& observer, const std::atomic<bool>& firstDone)
            : m_observer(observer), m_firstDone(firstDone) {}
        void OnFrameStart(int32_t) override {}
        bool CancelRequested() override { return false; }
        void OnFramePicture(int32_t frame, std::span<const uint8_t> picture) override;

      private:
        ConversionObserver& m_observer;
        const std::atomic<bool>& m_firstDone;
    };

    InputFile& m_vqa;
    OutputFile& m_avi;
    ConversionObserver& m_observer;
    ConversionFiles& m_files;
    std::span<int32_t> m_frameIndex;
    VqaProperties m_props;
    AviFormat m_format;
    size_t m_frames = 0;
    size_t m_split = 0;
    std::optional<VideoStart> m_start;
    std::unique_ptr<InputFile> m_vqa2;
    std::unique_ptr<OutputFile> m_avi2;
    AviPositions m_positions;
    int32_t m_reported = -1;  // the last frame reported to the observer
    std::atomic<bool> m_firstDone{false};
    LaterPictures m_laterPictures{m_observer, m_firstDone};

    // Each part's end: its outcome and its damaged frames.
    struct PartEnd {
        ConversionOutcome outcome;
        int32_t damaged = 0;
        int32_t firstDamaged = -1;
    };
    PartEnd m_first;
    bool m_firstStoppedByOther = false;
    PartEnd m_second;

    // Shared by both parts, under m_mutex.
    std::mutex m_mutex;
    std::condition_variable m_changed;  // the second part converted a frame or ended
    bool m_stop = false;                // either part asks the other to stop
    int32_t m_secondDone = 0;           // frames the second part has converted
    bool m_secondEnded = false;
    std::thread m_thread;
};

}  // namespace rw
