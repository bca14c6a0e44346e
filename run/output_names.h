// Names of the files a conversion writes, derived from the loaded path. The extension itself is
// not looked at: exactly three characters are dropped.
#pragma once

#include <string>

namespace rw {

// The path without its last three characters, followed by "avi" ("intro.vqa" -> "intro.avi",
// "movie" -> "moavi").
std::string AviPathFor(const std::string& vqaPath);
// The same with "mpg", for the MPEG companion.
std::string MpegPathFor(const std::string& vqaPath);
// The same with `extension` ("mp4": "intro.vqa" -> "intro.mp4", "intro.avi" -> "intro.mp4").
std::string PathWithLastThree(const std::string& vqaPath, const std::string& extension);

}  // namespace rw
