#include "run/inspect.h"

#include "run/convert_frames.h"

namespace rw {

VqaInspection InspectVqaFile(const VqaSource& source) {
    return InspectVideo(source, CheckConvertible);
}

VqaInspection InspectVqaFile(const std::filesystem::path& path) {
    return InspectVqaFile(LooseSource(path.string()));
}

}  // namespace rw
