#include "run/convert_frames.h"

#include <algorithm>
#include <new>
#include <utility>
#include <vector>

#include "avi/avi_header.h"
#include "avi/avi_target.h"
#include "avi/stream_avi_target.h"
#include "decode/frame_decoder.h"
#include "decode/frame_stream.h"
#include "decode/hc_frame_stream.h"
#include "decode/open_video.h"
#include "run/avi_format_of.h"

namespace rw {

std::string CheckConvertible(const VqaProperties& props) {
    if (std::string why = CheckDecodable(props); !why.empty()) return why;
    if (auto why = CheckAviDescribable(AviFormatOf(props))) return *why;
    return {};
}

ConversionOutcome OutOfMemory(int32_t width, int32_t height) {
    const int64_t picture = 3 * int64_t{width} * height;
    return Fail("there is not enough memory for pictures of " + std::to_string(width) + " x " +
                std::to_string(height) + " pixels (" + std::to_string(picture) + " bytes each)");
}

ConversionOutcome OutOfMemory(const VqaProperties& props) {
    return OutOfMemory(props.width, props.height);
}

namespace {

ConversionOutcome ConvertFramesUnguarded(InputFile& vqa, OutputFile& avi,
                                         const VqaProperties& props, std::span<int32_t> frameIndex,
                                         ConversionObserver& observer) {
    if (std::string why = CheckConvertible(props); !why.empty()) return Fail(why);
    AviPositions positions(static_cast<size_t>(props.frames));
    AviTarget target(avi, AviFormatOf(props), positions);
    ConversionOutcome outcome = RunFrames(vqa, props, frameIndex, target, observer);
    if (!outcome.Completed()) return outcome;
    if (auto r = target.WriteIndex(); !r) return Fail(r.error().message);
    return outcome;
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

namespace {

ConversionOutcome ConvertHighColourUnguarded(InputFile& vqa, OutputFile& avi,
                                             const HighColourVideo& video,
                                             ConversionObserver& observer, ConversionFiles& files) {
    const StreamFormat format = StreamFormatOf(video);
    if (auto why = CheckStreamAvi(format)) return Fail(*why);
    auto body = files.OpenOutputAt(kStreamAviHeaderBytes);
    if (!body) return Fail(body.error().message);
    StreamAviTarget target(**body, format);
    ConversionOutcome outcome = RunHighColourFrames(vqa, video, target, observer);
    if (!outcome.Completed()) return outcome;
    if (auto r = target.Finish(avi); !r) return Fail(r.error().message);
    outcome.notice = HighColourNotice(video);
    return outcome;
}

}  // namespace

ConversionOutcome ConvertHighColour(InputFile& vqa, OutputFile& avi, const HighColourVideo& video,
                                    ConversionObserver& observer, ConversionFiles& files) {
    try {
        return ConvertHighColourUnguarded(vqa, avi, video, observer, files);
    } catch (const std::bad_alloc&) {
        return OutOfMemory(video.props.width, video.props.height);
    }
}

}  // namespace rw
