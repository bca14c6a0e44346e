#include "decode/open_video.h"

#include <algorithm>
#include <utility>

#include "vqa/vqa_header.h"

namespace rw {
namespace {

std::string CheckNothing(const VqaProperties&) {
    return {};
}

// Opens the video's bytes and reads the header; `file` stays open at the end of the header.
VqaInspection Inspect(DiskInputFile& file, const VqaSource& source, PropertiesCheck check) {
    VqaInspection result;
    Expected<void> opened = OpenSource(file, source);
    Expected<int64_t> length = opened ? file.Length() : Expected<int64_t>(opened.error());
    if (!length) {
        result.reason = length.error().message;
        return result;
    }
    result.fileSize = *length;
    const VqaHeaderResult header = ReadVqaHeader(file);
    switch (header.status) {
        case VqaHeaderResult::Status::Ok:
            break;
        case VqaHeaderResult::Status::NotVqa:
            result.status = VqaInspection::Status::NotVqa;
            return result;
        case VqaHeaderResult::Status::CannotOpen:
        case VqaHeaderResult::Status::Truncated:
            result.reason = header.message;
            return result;
    }
    result.properties = header.properties;
    result.reason = check(header.properties);
    result.status =
        result.reason.empty() ? VqaInspection::Status::Ok : VqaInspection::Status::NotConvertible;
    return result;
}

}  // namespace

std::string CheckDecodable(const VqaProperties& props) {
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
    return {};
}

VqaInspection InspectVideo(const VqaSource& source, PropertiesCheck check) {
    DiskInputFile file;
    return Inspect(file, source, check);
}

Expected<OpenedVideo> OpenVideo(const VqaSource& source, PropertiesCheck check,
                                const std::string& verb) {
    OpenedVideo video;
    video.file = std::make_unique<DiskInputFile>();
    video.source = source;
    // The header and index are read first: what cannot be read is reported before values that
    // cannot be converted.
    const VqaInspection inspection = Inspect(*video.file, source, CheckNothing);
    const std::string cannot = "Cannot " + verb + " \"" + source.name + "\": ";
    switch (inspection.status) {
        case VqaInspection::Status::Ok:
            break;
        case VqaInspection::Status::NotVqa:
            return Error{"\"" + source.name + "\" is not a VQA video"};
        case VqaInspection::Status::CannotRead:
            return Error{inspection.reason.empty() ? "Cannot read \"" + source.name + "\""
                                                   : inspection.reason};
        case VqaInspection::Status::NotConvertible:
            return Error{cannot + inspection.reason};
    }
    video.props = inspection.properties;
    auto index = ReadFrameIndex(*video.file, std::max(video.props.frames, 0));
    if (!index) return Error{cannot + index.error().message};
    if (std::string why = check(video.props); !why.empty()) return Error{cannot + why};
    video.frameIndex = std::move(*index);
    return video;
}

}  // namespace rw
