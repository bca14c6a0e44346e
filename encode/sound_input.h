// Sound on its way into a VQA file: PCM of any layout mixed down to mono, and resampled to
// 22050 Hz with libsoxr when it comes at another rate.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "encode/vqa_encoder.h"
#include "platform/expected.h"

struct soxr;

namespace rw {

// Interleaved PCM, 8-bit unsigned or 16-bit signed little-endian, mixed to one channel by the mean
// of the channels and appended to `out` (values in 16-bit units). A partial last frame is ignored.
void MixToMono(std::span<const uint8_t> pcm, int32_t channels, int32_t bitsPerSample,
               std::vector<float>& out);

// The sound rates the encoder takes. Below them there is hardly any sound to keep (and the
// resampler would make tens of output samples from each one); above them no recording is made.
inline constexpr uint32_t kEncodeMinSoundRate = 4000;
inline constexpr uint32_t kEncodeMaxSoundRate = 384000;

// Why sound at `rate` samples a second cannot be encoded, or nothing when it can.
std::optional<std::string> CheckSoundRate(uint32_t rate);

// This project's converter begins its sound (in AVI files and in the WAV file of a frame export)
// with a leading block of rate / 2 samples, of which a VQA reader decodes 2 * (rate / 4). At rates
// where that leaves one sample over (22050 Hz: 11025 samples, 11024 decoded) the last sample of
// the block is filler that no VQA sample stands for: a repeat of the sample before it (0 in files
// of earlier versions). True when mono 16-bit `sound` at `rate` begins that way: it holds at least
// rate / 2 samples and the last of them equals the one before it or is 0. Sound of other origins
// matches now and then; it then loses one sample (45 microseconds at 22050 Hz), which nobody hears,
// where a missed filler would shift the sound by a sample more on every round trip.
bool BeginsWithConverterFiller(std::span<const float> sound, uint32_t rate);

// Mono sound at some rate, in blocks, front to back.
class MonoBlocks {
  public:
    virtual ~MonoBlocks() = default;
    virtual uint32_t Rate() const = 0;
    // Appends the next block to `out`; false at the end (nothing appended).
    virtual Expected<bool> Next(std::vector<float>& out) = 0;
};

// The blocks at 22050 Hz as 16-bit samples; rates other than 22050 pass through libsoxr, fed
// in slices of a bounded length whatever the size of the source's blocks.
class ResampledSound final : public EncodeSound {
  public:
    explicit ResampledSound(std::unique_ptr<MonoBlocks> source);
    bool Usable() const;  // false: the resampler could not be set up
    ~ResampledSound() override;
    ResampledSound(const ResampledSound&) = delete;
    ResampledSound& operator=(const ResampledSound&) = delete;

    Expected<size_t> Read(std::span<int16_t> out) override;
    // How long the sound goes on after what has been read, in seconds. Reads the source to its
    // end (without resampling it): nothing can be read after this.
    Expected<double> SecondsLeft();

  private:
    Expected<void> Refill();

    std::unique_ptr<MonoBlocks> m_source;
    soxr* m_soxr = nullptr;
    std::vector<float> m_in;
    size_t m_inAt = 0;  // the first sample of m_in not yet resampled
    bool m_sourceEnded = false;
    std::vector<float> m_ready;
    size_t m_readyAt = 0;
    bool m_ended = false;
};

// The sound the encoder reads from `source`: checked against the rates above, without the
// converter's filler sample when `mayHoldFiller` (mono 16-bit sources) and it begins with one,
// resampled to 22050 Hz. Errors say what is wrong with the sound, for the caller to name the file.
Expected<std::unique_ptr<ResampledSound>> OpenEncodeSound(std::unique_ptr<MonoBlocks> source,
                                                          bool mayHoldFiller);

}  // namespace rw
