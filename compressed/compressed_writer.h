// Compressed video files written through FFmpeg's libraries: MP4 (H.264 + AAC), WebM (VP9 + Opus),
// Matroska (lossless FFV1 in RGB + FLAC) and MPEG-1 program streams (MPEG-1 video + MP2). Pictures
// come as 24-bit BGR rows, bottom row first; sound as 16-bit PCM. Pictures are enlarged by whole
// numbers (nearest neighbour, never smoothed) and, unless square pixels are asked for, carry a 5:6
// sample aspect ratio, so a 320 x 200 picture shows at 4:3. YUV outputs are BT.601, limited range.
// MPEG-1 knows only a few picture rates: 15 pictures a second are written as 30, each one twice.
//
// The quality knob, per format (-1 takes the default; bench/compressed_bench measures them):
//
//   format  video                    knob                        default  range
//   mp4     H.264 (libx264), 4:2:0   x264 CRF, lower is better   18       0 .. 51
//   webm    VP9 (libvpx-vp9), 4:2:0  VP9 CRF, lower is better    25       0 .. 63
//   mkv     FFV1, RGB, lossless      none (always bit-exact)     -        -
//   mpg     MPEG-1, 4:2:0            quantiser, lower is better  3        1 .. 31
//
// The default scale is 2 for the lossy formats (4:2:0 colour then loses nothing of a pixel's own
// colour) and 1 for mkv. Sound: AAC 64 kbit/s per channel and FLAC at the video's own rate; Opus
// 48 kbit/s per channel at 48 kHz (resampled); MP2 64 kbit/s per channel at the video's own rate
// where MPEG audio has it (16000, 22050, 24000, 32000, 44100, 48000 Hz), else the next one up.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/expected.h"

namespace rw {

enum class CompressedFormat { Mp4, WebM, Mkv, Mpg };

struct CompressedSettings {
    CompressedFormat format = CompressedFormat::Mp4;
    int scale = 0;              // 1 to 8; 0: the format's default
    bool squarePixels = false;  // 1:1 instead of 5:6
    int quality = -1;           // -1: the format's default; see the table above
    int threads = 1;            // the processors the encoders share (H.264 runs 1.5 threads each)
};

struct StreamShape {
    int width = 0, height = 0;
    int fpsNum = 15, fpsDen = 1;
    int soundRate = 0;  // 0: no sound
    int channels = 1;   // 1 or 2
};

// What a format is and takes, for help texts and checks.
struct CompressedFormatInfo {
    const char* name;       // "mp4"
    const char* extension;  // ".mp4"
    const char* contents;   // "H.264 and AAC in MP4"
    int defaultScale;
    int defaultQuality;  // -1 for a format without a quality knob
    int bestQuality, worstQuality;
};
const CompressedFormatInfo& FormatInfo(CompressedFormat format);
// The format whose name (FormatInfo's `name`) is `name`, if any.
std::optional<CompressedFormat> FormatNamed(std::string_view name);
// Whether this system's FFmpeg can write the format, or a message naming what it lacks ("this
// system's FFmpeg has no H.264 encoder (libx264)").
Expected<void> FormatAvailable(CompressedFormat format);

class CompressedWriter {
  public:
    // Writes into `fd`, an open, empty, seekable regular file the caller created (and renames when
    // the run completes), named `name` in messages. The writer never opens a path itself and does
    // not close `fd`.
    static Expected<std::unique_ptr<CompressedWriter>> Open(int fd, std::string name,
                                                            const StreamShape& shape,
                                                            const CompressedSettings& settings);
    struct Parts;
    explicit CompressedWriter(std::unique_ptr<Parts> parts);  // through Open
    ~CompressedWriter();
    CompressedWriter(const CompressedWriter&) = delete;
    CompressedWriter& operator=(const CompressedWriter&) = delete;

    // One picture: width * height * 3 bytes of blue, green, red, bottom row first.
    Expected<void> Picture(std::span<const uint8_t> bgrBottomUp);
    // Sound: 16-bit signed little-endian samples, channels interleaved, any amount at a time.
    Expected<void> Sound(std::span<const uint8_t> pcm);
    // Flushes the encoders and completes the file. Nothing may follow.
    Expected<void> Finish();

  private:
    Expected<void> Keep(Expected<void> result);

    std::unique_ptr<Parts> m_parts;
};

}  // namespace rw
