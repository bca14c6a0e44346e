// A video's frames as PNG pictures and its sound as a WAV file, in a folder, and a thumbnail: the
// pictures and the samples every other output holds, taken from the frame stream.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "decode/open_video.h"
#include "png/png_image.h"
#include "stream/conversion_observer.h"
#include "stream/conversion_outcome.h"
#include "vqa/vqa_properties.h"

namespace rw {

// "frame-0000.png" onwards: at least four digits, as many as the last frame's number needs.
std::string FrameFileName(int32_t frame, int32_t frames);
inline constexpr const char* kSoundFileName = "sound.wav";

// Why the frames cannot go to `folder`: it is something other than a folder, or it holds files
// and `replace` is not set. Nothing when they can (a missing folder is created by the export).
std::optional<std::string> CheckExportFolder(const std::filesystem::path& folder, bool replace);

// A conversion picture (blue, green, red, bottom row first) as RGB, top row first.
RgbImage PictureToRgb(std::span<const uint8_t> bgrBottomUp, int32_t width, int32_t height);

// Writes every frame of the video as `folder`/frame-NNNN.png (8-bit palette pictures, exact) and
// its sound as `folder`/sound.wav: 16-bit mono PCM declared at the video's own sound rate, the
// samples of every sound chunk of the AVI file in order (a chunk of odd size ends in half a
// sample, which is left out; no sound file for a video without sound). Everything is written into a
// hidden folder inside `folder` and moved to its final name only once all is complete; a failure or
// a cancel leaves nothing behind (and removes `folder` if the export created it). Existing files of
// the same names are replaced only with `replace` (CheckExportFolder). A failure's message names
// the file and the problem; damage is concealed and summed up as in a conversion.
// The video may lie inside an archive; messages use its name.
ConversionOutcome ExportFrames(const VqaSource& source, const std::filesystem::path& folder,
                               bool replace, ConversionObserver& observer);
// The same for a video opened already.
ConversionOutcome ExportFrames(OpenedVideo& video, const std::filesystem::path& folder,
                               bool replace, ConversionObserver& observer);
inline ConversionOutcome ExportFrames(const std::string& vqaPath,
                                      const std::filesystem::path& folder, bool replace,
                                      ConversionObserver& observer) {
    return ExportFrames(LooseSource(vqaPath), folder, replace, observer);
}

}  // namespace rw

namespace rw {

// A frame that shows what the video is: from a tenth of the way in, the first frame that is not
// mostly dark (a black first frame or fade-in is passed over); the brightest frame when every
// frame from there on is dark. Damage is concealed as in a conversion. The video may lie inside
// an archive.
Expected<RgbImage> RepresentativeFrame(const VqaSource& source, ConversionObserver& observer);

// Writes a PNG picture under `path` through a temporary file in the same folder, so the name
// only ever holds a complete picture.
Expected<void> WritePngFile(const std::filesystem::path& path, const RgbImage& image,
                            PngEffort effort);

}  // namespace rw
