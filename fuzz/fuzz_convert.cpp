// A whole conversion of an in-memory VQA file into an in-memory AVI file. A few KB of frame index
// can point every frame at one large record, so the harness caps the picture size and the frame
// count. A completed run must give a consistent AVI file of exactly the length its header
// declares; any other end must say why. The same run in two parts must end the same way, and when
// it completes, with the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "avi/avi_header.h"
#include "run/avi_format_of.h"
#include "run/convert_frames.h"
#include "platform/file.h"
#include "tests/support/avi_walk.h"
#include "tests/support/memory_file.h"
#include "tests/support/memory_files.h"
#include "vqa/vqa_header.h"

namespace {

constexpr int64_t kMaxPixels = int64_t{1} << 14;
constexpr int32_t kMaxFrames = 48;
// Outputs up to this size are kept and walked; larger ones are only counted.
constexpr int64_t kMaxKeptOutput = int64_t{4} << 20;

class QuietObserver final : public rw::ConversionObserver {
  public:
    explicit QuietObserver(bool inOrder = true) : m_inOrder(inOrder) {}
    void OnFrameStart(int32_t frame) override {
        if (m_inOrder && frame != m_next++) std::abort();  // frames in order, each once
        if (frame < 0) std::abort();
    }
    bool CancelRequested() override { return false; }

  private:
    bool m_inOrder;
    int32_t m_next = 0;
};

// The run in two parts from the same input: it must end as `one` did, with the same bytes.
void CheckTwoParts(std::span<const uint8_t> bytes, const rw::VqaProperties& props,
                   const rw::ConversionOutcome& one, const std::vector<uint8_t>& oneBytes) {
    rw::MemoryInputFile vqa(bytes, "fuzz.vqa");
    auto index = rw::ReadFrameIndex(vqa, props.frames);
    if (!index) std::abort();
    rw::MemoryOutputFile avi("fuzz.avi");
    rw::test::MemoryFiles files(bytes);
    QuietObserver observer(false);
    const rw::ConversionOutcome two =
        rw::ConvertFramesInTwoParts(vqa, avi, props, *index, observer, files);
    if (two.status != one.status) std::abort();
    using Status = rw::ConversionOutcome::Status;
    if (two.status == Status::SeekFailed &&
        (two.failedFrame != one.failedFrame || two.failedPosition != one.failedPosition)) {
        std::abort();
    }
    if (two.status != Status::Completed) return;
    std::vector<uint8_t> whole = avi.Data();
    whole.insert(whole.end(), files.second.Data().begin(), files.second.Data().end());
    if (whole != oneBytes || two.damagedFrames != one.damagedFrames || two.message != one.message) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const uint8_t> bytes(data, size);
    const rw::VqaHeaderResult header = rw::ReadVqaHeader(bytes);
    if (header.status != rw::VqaHeaderResult::Status::Ok) return 0;
    const rw::VqaProperties& props = header.properties;
    if (int64_t{props.width} * props.height > kMaxPixels || props.frames > kMaxFrames) return 0;

    rw::MemoryInputFile vqa(bytes, "fuzz.vqa");
    auto index = rw::ReadFrameIndex(vqa, props.frames);
    if (!index) return 0;

    const bool refused = !rw::CheckConvertible(props).empty();
    const int64_t expected = refused ? 0 : rw::ComputeAviLayout(rw::AviFormatOf(props)).fileLength;
    rw::MemoryOutputFile avi("fuzz.avi");
    avi.DiscardData(expected > kMaxKeptOutput);
    QuietObserver observer;
    const rw::ConversionOutcome outcome = rw::ConvertFrames(vqa, avi, props, *index, observer);

    using Status = rw::ConversionOutcome::Status;
    if (!avi.Data().empty() && outcome.status != Status::Failed) {
        CheckTwoParts(bytes, props, outcome, avi.Data());
    }
    switch (outcome.status) {
        case Status::Completed: {
            if (refused || avi.Position() != expected) std::abort();
            if (avi.Data().empty()) break;  // only counted
            const rw::test::AviWalk walk = rw::test::WalkAvi(avi.Data());
            if (!walk.problem.empty()) std::abort();
            if (walk.frames != static_cast<uint32_t>(props.frames) ||
                walk.videoFrames.size() != static_cast<size_t>(props.frames) ||
                walk.index.size() != 2 * static_cast<size_t>(props.frames) + 1) {
                std::abort();
            }
            break;
        }
        case Status::Failed:
            if (outcome.message.empty()) std::abort();
            break;
        case Status::SeekFailed:
            if (refused || outcome.failedFrame >= static_cast<uint32_t>(props.frames)) std::abort();
            break;
        case Status::Cancelled:
            std::abort();  // nobody asked
    }
    return 0;
}
