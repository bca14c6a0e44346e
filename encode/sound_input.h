// Sound on its way into a VQA file: PCM of any layout mixed down to mono, and resampled to
// 22050 Hz with libsoxr when it comes at another rate.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "encode/vqa_encoder.h"
#include "platform/expected.h"

struct soxr;

namespace rw {

// Interleaved PCM, 8-bit unsigned or 16-bit signed little-endian, mixed to one channel by the mean
// of the channels and appended to `out` (values in 16-bit units). A partial last frame is ignored.
void MixToMono(std::span<const uint8_t> pcm, int32_t channels, int32_t bitsPerSample,
               std::vector<float>& out);

// Mono sound at some rate, in blocks, front to back.
class MonoBlocks {
  public:
    virtual ~MonoBlocks() = default;
    virtual uint32_t Rate() const = 0;
    // Appends the next block to `out`; false at the end.
    virtual Expected<bool> Next(std::vector<float>& out) = 0;
};

// The blocks at 22050 Hz as 16-bit samples; rates other than 22050 pass through libsoxr.
class ResampledSound final : public EncodeSound {
  public:
    explicit ResampledSound(std::unique_ptr<MonoBlocks> source);
    ~ResampledSound() override;
    ResampledSound(const ResampledSound&) = delete;
    ResampledSound& operator=(const ResampledSound&) = delete;

    Expected<size_t> Read(std::span<int16_t> out) override;

  private:
    Expected<void> Refill();

    std::unique_ptr<MonoBlocks> m_source;
    soxr* m_soxr = nullptr;
    std::vector<float> m_in;
    std::vector<float> m_ready;
    size_t m_readyAt = 0;
    bool m_ended = false;
};

}  // namespace rw
