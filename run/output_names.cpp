#include "run/output_names.h"

namespace rw {
namespace {

// Exactly three characters go, whatever they are; a shorter path loses all of them.
std::string WithoutLastThree(const std::string& path) {
    return path.substr(0, path.size() >= 3 ? path.size() - 3 : 0);
}

}  // namespace

std::string AviPathFor(const std::string& vqaPath) {
    return WithoutLastThree(vqaPath) + "avi";
}

std::string MpegPathFor(const std::string& vqaPath) {
    return WithoutLastThree(vqaPath) + "mpg";
}

std::string PathWithLastThree(const std::string& vqaPath, const std::string& extension) {
    return WithoutLastThree(vqaPath) + extension;
}

}  // namespace rw
