#include "run/inspect.h"

#include "avi/stream_avi_target.h"
#include "decode/hc_frame_stream.h"
#include "run/convert_frames.h"

namespace rw {

VqaInspection InspectVqaFile(const VqaSource& source) {
    VqaInspection inspection = InspectVideo(source, CheckConvertible);
    if (inspection.status != VqaInspection::Status::Ok ||
        inspection.kind != PictureKind::HighColour) {
        return inspection;
    }
    // A high-colour video becomes an ordinary AVI file, with limits of its own.
    if (auto why = CheckStreamAvi(StreamFormatOf(inspection.highColour))) {
        inspection.status = VqaInspection::Status::NotConvertible;
        inspection.reason = *why;
    }
    return inspection;
}

VqaInspection InspectVqaFile(const std::filesystem::path& path) {
    return InspectVqaFile(LooseSource(path.string()));
}

}  // namespace rw
