// A whole conversion of an in-memory VQA file into an in-memory AVI file. A few KB of frame index
// can point every frame at one large record, so the harness caps the picture size and the frame
// count. A completed run must give a consistent AVI file of exactly the length its header
// declares; any other end must say why.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "avi/avi_header.h"
#include "convert/convert_frames.h"
#include "platform/file.h"
#include "tests/support/avi_walk.h"
#include "vqa/vqa_header.h"

namespace {

constexpr int64_t kMaxPixels = int64_t{1} << 14;
constexpr int32_t kMaxFrames = 48;
// Outputs up to this size are kept and walked; larger ones are only counted.
constexpr int64_t kMaxKeptOutput = int64_t{4} << 20;

class QuietObserver final : public rw::ConversionObserver {
  public:
    void OnFrameStart(int32_t frame) override {
        if (frame != m_next++) std::abort();  // frames in order, each once
    }
    bool CancelRequested() override { return false; }

  private:
    int32_t m_next = 0;
};

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
    const int64_t expected = refused ? 0 : rw::ComputeAviLayout(props).fileLength;
    rw::MemoryOutputFile avi("fuzz.avi");
    avi.DiscardData(expected > kMaxKeptOutput);
    QuietObserver observer;
    const rw::ConversionOutcome outcome = rw::ConvertFrames(vqa, avi, props, *index, observer);

    using Status = rw::ConversionOutcome::Status;
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
