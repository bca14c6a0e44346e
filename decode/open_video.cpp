#include "decode/open_video.h"

#include <algorithm>
#include <utility>

#include "vqa/hc_chunks.h"
#include "vqa/vqa_header.h"

namespace rw {

std::string WithoutFileName(const std::string& why, const InputFile& file) {
    const std::string named = "\"" + file.Name() + "\": ";
    return why.starts_with(named) ? why.substr(named.size()) : why;
}

namespace {

// Opens the video's bytes and reads the header; `file` stays open at the end of the header. Ok for
// any header that could be read: the values are judged once the kind is known.
VqaInspection Inspect(DiskInputFile& file, const VqaSource& source) {
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
    result.status = VqaInspection::Status::Ok;
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

int32_t CountFramesBeyondEnd(std::span<const int32_t> frameIndex, int64_t fileSize) {
    int32_t beyond = 0;
    for (size_t f = 0; f < frameIndex.size(); ++f) {
        const int64_t start = int64_t{frameIndex[f]} + (f == 0 ? kLeadingSoundSkip : 0);
        if (start >= fileSize) ++beyond;
    }
    return beyond;
}

VqaInspection InspectVideo(const VqaSource& source, PropertiesCheck check) {
    DiskInputFile file;
    VqaInspection result = Inspect(file, source);
    if (result.status != VqaInspection::Status::Ok) return result;
    auto highColour = OpenHighColour(file);
    if (!highColour) {
        result.status = VqaInspection::Status::NotConvertible;
        result.reason = WithoutFileName(highColour.error().message, file);
        return result;
    }
    if (*highColour) {
        result.kind = PictureKind::HighColour;
        result.highColour = std::move(**highColour);
        for (const int64_t offset : result.highColour.frameIndex) {
            if (offset >= result.fileSize) ++result.framesBeyondEnd;
        }
        result.highColour.frameIndex.clear();
        return result;
    }
    // An 8-bit video is judged by `check`; a high-colour one by its own limits above.
    result.reason = check(result.properties);
    if (!result.reason.empty()) {
        result.status = VqaInspection::Status::NotConvertible;
        return result;
    }
    const auto index = ReadFrameIndex(file, result.properties.frames);
    result.framesBeyondEnd =
        index ? CountFramesBeyondEnd(*index, result.fileSize) : result.properties.frames;
    return result;
}

Expected<std::optional<HighColourVideo>> OpenHighColour(InputFile& file) {
    auto fields = ReadVqaHeaderFields(file);
    if (!fields) return std::optional<HighColourVideo>{};
    auto index = ReadHighColourFrameIndex(file, fields->frames);
    const FrameProbe probe =
        index && !index->empty() ? ProbeFrame(file, index->front()) : FrameProbe{};
    const PictureKindDecision decision = DecidePictureKind(*fields, probe.pointerTable);
    if (decision.kind != PictureKind::HighColour) return std::optional<HighColourVideo>{};
    // A version-2 header whose colour fields are 0, in a file whose pictures cannot be found,
    // is read as the 8-bit video it always was; version 3 or a 15-bit pointer table is not.
    if (!probe.pointerTable && fields->version != 3) return std::optional<HighColourVideo>{};
    HighColourVideo video;
    video.props = HighColourPropertiesOf(*fields);
    video.contradictsHeader = decision.contradictsHeader;
    if (auto r = CheckHighColourProperties(video.props, file.Name()); !r) return r.error();
    if (!index) return index.error();
    if (index->empty()) return Error{"\"" + file.Name() + "\": the video has no frames"};
    video.frameIndex = std::move(*index);
    video.firstSound = probe.sound;
    return std::optional<HighColourVideo>{std::move(video)};
}

Expected<OpenedVideo> OpenVideo(const VqaSource& source, PropertiesCheck check,
                                const std::string& verb) {
    OpenedVideo video;
    video.file = std::make_unique<DiskInputFile>();
    video.source = source;
    // The header and index are read first: what cannot be read is reported before values that
    // cannot be converted.
    const VqaInspection inspection = Inspect(*video.file, source);
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
    auto highColour = OpenHighColour(*video.file);
    if (!highColour)
        return Error{cannot + WithoutFileName(highColour.error().message, *video.file)};
    if (*highColour) {
        video.kind = PictureKind::HighColour;
        video.highColour = std::move(**highColour);
        return video;
    }
    auto index = ReadFrameIndex(*video.file, std::max(video.props.frames, 0));
    if (!index) return Error{cannot + index.error().message};
    if (std::string why = check(video.props); !why.empty()) return Error{cannot + why};
    video.frameIndex = std::move(*index);
    return video;
}

}  // namespace rw
