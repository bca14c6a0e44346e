// Encodes pictures and sound into a VQA video at 15 frames per second: per group of eight frames
// a codebook of the group's blocks (trained when they do not all fit), the first sent whole in
// frame 0 and each later one compressed once and cut into eight parts sent during the group
// before; pointer tables always compressed; palettes uncompressed, a new one for each group the
// current one draws clearly worse; sound as mono IMA ADPCM at 22050 Hz with a half-second leading
// chunk in frame 0's record.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/expected.h"
#include "vqa/vqa_properties.h"

namespace rw {

inline constexpr int32_t kEncodeSoundRate = 22050;
inline constexpr int32_t kEncodeLeadingSamples = 2 * (kEncodeSoundRate / 4);       // 11024
inline constexpr int32_t kEncodeFrameSamples = 2 * ((kEncodeSoundRate / 15) / 2);  // 1470
inline constexpr int32_t kEncodeMaxFrames = 65535;
inline constexpr unsigned kEncodeMaxThreads = 8;

struct EncodeSettings {
    int32_t blockWidth = 4;
    int32_t blockHeight = 2;
    // Quality against speed: 1 fastest, 2 the default, 3 best.
    int32_t effort = 2;
    // Groups quantised side by side, each on a thread of its own holding its eight frames in
    // memory, with one more read ahead; 0: one per processor, at most kEncodeMaxThreads.
    unsigned threads = 0;
};

// Pictures at 15 frames per second, each width * height pixels of blue, green, red, top row first.
class EncodeFrames {
  public:
    virtual ~EncodeFrames() = default;
    virtual int32_t Frames() const = 0;
    virtual int32_t Width() const = 0;
    virtual int32_t Height() const = 0;
    // Frames are asked for in increasing order.
    virtual Expected<void> Read(int32_t frame, std::span<uint8_t> bgr) = 0;
};

// Mono 16-bit sound at 22050 Hz, read front to back.
class EncodeSound {
  public:
    virtual ~EncodeSound() = default;
    // Fills `out`; fewer samples only at the end of the sound.
    virtual Expected<size_t> Read(std::span<int16_t> out) = 0;
};

class EncodeObserver {
  public:
    virtual ~EncodeObserver() = default;
    virtual void OnFrameDone(int32_t frame, int32_t frames) = 0;
    // Asked before every frame, and from the quantising threads between rounds of training.
    virtual bool CancelRequested() = 0;
};

// What a reader of the file will see, kept for tests and benchmarks.
struct EncodeRecord {
    std::vector<std::vector<uint8_t>> images;     // per frame: blue, green, red, top row first
    std::vector<int16_t> sound;                   // every decoded sample, leading sound first
    std::vector<std::vector<uint8_t>> codebooks;  // per group, the codebook it is drawn with
};

struct EncodedVqa {
    std::vector<uint8_t> file;
    VqaProperties properties;
    int32_t palettes = 0;  // palettes sent
};

// The picture size the blocks cover: `size` rounded up to whole blocks.
int32_t PadToBlocks(int32_t size, int32_t block);

// Why a video of these dimensions cannot become a VQA file, or nothing when it can.
std::optional<std::string> CheckEncodable(int32_t width, int32_t height, int32_t frames,
                                          const EncodeSettings& settings);

// Pictures smaller than the padded size are widened with copies of their right column and bottom
// row. Sound shorter than the video is followed by silence; without `sound` the film is silent.
// Stops with an error "cancelled" when the observer asks.
Expected<EncodedVqa> EncodeVqa(EncodeFrames& frames, EncodeSound* sound,
                               const EncodeSettings& settings, EncodeObserver* observer,
                               EncodeRecord* record = nullptr);

}  // namespace rw
