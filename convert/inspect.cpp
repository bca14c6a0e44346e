#include "convert/inspect.h"

#include "convert/convert_frames.h"
#include "platform/file.h"
#include "vqa/vqa_header.h"

namespace rw {

int32_t CountFramesBeyondEnd(std::span<const int32_t> frameIndex, int64_t fileSize) {
    int32_t beyond = 0;
    for (size_t f = 0; f < frameIndex.size(); ++f) {
        const int64_t start = int64_t{frameIndex[f]} + (f == 0 ? kLeadingSoundSkip : 0);
        if (start >= fileSize) ++beyond;
    }
    return beyond;
}

VqaInspection InspectVqaFile(const std::filesystem::path& path) {
    return InspectVqaFile(LooseSource(path.string()));
}

VqaInspection InspectVqaFile(const VqaSource& source) {
    VqaInspection result;
    DiskInputFile file;
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
    result.reason = CheckConvertible(header.properties);
    result.status =
        result.reason.empty() ? VqaInspection::Status::Ok : VqaInspection::Status::NotConvertible;
    if (result.status == VqaInspection::Status::Ok) {
        const auto index = ReadFrameIndex(file, header.properties.frames);
        result.framesBeyondEnd =
            index ? CountFramesBeyondEnd(*index, result.fileSize) : header.properties.frames;
    }
    return result;
}

}  // namespace rw
