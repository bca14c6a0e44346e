#include "convert/convert_frames.h"

#include <new>
#include <vector>

#include "avi/avi_header.h"
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

}  // namespace rw
