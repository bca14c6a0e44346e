#include "encode/sound_input.h"

#include <soxr.h>

#include <algorithm>
#include <cmath>
#include <string>

namespace rw {
namespace {

// At most this many input samples go to the resampler at once, so its output buffer stays small
// (under 100 000 samples at the lowest rate) however large the source's blocks are.
constexpr size_t kResampleSlice = 16384;

// The source's blocks with the converter's filler sample left out: the first rate / 2 samples are
// gathered and looked at before anything is passed on.
class WithoutConverterFiller final : public MonoBlocks {
  public:
    explicit WithoutConverterFiller(std::unique_ptr<MonoBlocks> source)
        : m_source(std::move(source)) {}
    uint32_t Rate() const override { return m_source->Rate(); }
    Expected<bool> Next(std::vector<float>& out) override {
        if (m_checked) return m_source->Next(out);
        const size_t leading = Rate() / 2;
        std::vector<float> first;
        bool more = true;
        while (more && first.size() < leading) {
            auto r = m_source->Next(first);
            if (!r) return r.error();
            more = *r;
        }
        m_checked = true;
        if (BeginsWithConverterFiller(first, Rate())) {
            first.erase(first.begin() + static_cast<ptrdiff_t>(leading - 1));
        }
        if (first.empty()) return more ? m_source->Next(out) : Expected<bool>(false);
        out.insert(out.end(), first.begin(), first.end());
        return true;
    }

  private:
    std::unique_ptr<MonoBlocks> m_source;
    bool m_checked = false;
};

}  // namespace

std::optional<std::string> CheckSoundRate(uint32_t rate) {
    if (rate >= kEncodeMinSoundRate && rate <= kEncodeMaxSoundRate) return std::nullopt;
    return "its sound has a rate of " + std::to_string(rate) + " Hz; the encoder takes " +
           std::to_string(kEncodeMinSoundRate) + " to " + std::to_string(kEncodeMaxSoundRate) +
           " Hz (resample it first, e.g. with \"ffmpeg -i IN -ar 22050 OUT\")";
}

bool BeginsWithConverterFiller(std::span<const float> sound, uint32_t rate) {
    const size_t leading = rate / 2, decoded = 2 * size_t(rate / 4);
    if (leading != decoded + 1 || leading < 2 || sound.size() < leading) return false;
    const float filler = sound[leading - 1];
    return filler == sound[leading - 2] || filler == 0;
}

Expected<std::unique_ptr<ResampledSound>> OpenEncodeSound(std::unique_ptr<MonoBlocks> source,
                                                          bool mayHoldFiller) {
    if (auto why = CheckSoundRate(source->Rate())) return Error{*why};
    if (mayHoldFiller) source = std::make_unique<WithoutConverterFiller>(std::move(source));
    auto sound = std::make_unique<ResampledSound>(std::move(source));
    if (!sound->Usable()) return Error{"its sound cannot be resampled to 22050 Hz"};
    return sound;
}

void MixToMono(std::span<const uint8_t> pcm, int32_t channels, int32_t bitsPerSample,
               std::vector<float>& out) {
    const size_t bytes = bitsPerSample == 8 ? 1 : 2;
    const size_t frame = bytes * static_cast<size_t>(std::max(1, channels));
    const size_t frames = pcm.size() / frame;
    out.reserve(out.size() + frames);
    for (size_t f = 0; f < frames; ++f) {
        float sum = 0;
        for (size_t c = 0; c < frame; c += bytes) {
            const uint8_t* p = &pcm[f * frame + c];
            sum += bytes == 1 ? (float(p[0]) - 128.0f) * 256.0f
                              : float(static_cast<int16_t>(uint16_t(p[0] | (p[1] << 8))));
        }
        out.push_back(sum / float(frame / bytes));
    }
}

ResampledSound::ResampledSound(std::unique_ptr<MonoBlocks> source) : m_source(std::move(source)) {
    if (m_source->Rate() != uint32_t(kEncodeSoundRate)) {
        soxr_error_t error = nullptr;
        const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
        m_soxr = soxr_create(double(m_source->Rate()), double(kEncodeSoundRate), 1, &error, nullptr,
                             &quality, nullptr);
        if (error) m_soxr = nullptr;
    }
}

bool ResampledSound::Usable() const {
    return m_soxr != nullptr || m_source->Rate() == uint32_t(kEncodeSoundRate);
}

ResampledSound::~ResampledSound() {
    if (m_soxr) soxr_delete(m_soxr);
}

Expected<void> ResampledSound::Refill() {
    m_ready.erase(m_ready.begin(), m_ready.begin() + static_cast<ptrdiff_t>(m_readyAt));
    m_readyAt = 0;
    if (m_inAt == m_in.size() && !m_sourceEnded) {
        m_in.clear();
        m_inAt = 0;
        auto more = m_source->Next(m_in);
        if (!more) return more.error();
        m_sourceEnded = !*more;
    }
    const size_t n = std::min(kResampleSlice, m_in.size() - m_inAt);
    const float* slice = m_in.data() + m_inAt;
    m_inAt += n;
    if (m_source->Rate() == uint32_t(kEncodeSoundRate)) {
        m_ready.insert(m_ready.end(), slice, slice + n);
        m_ended = n == 0 && m_sourceEnded;
        return {};
    }
    if (!m_soxr) return Error{"the sound cannot be resampled to 22050 Hz"};
    if (n == 0 && !m_sourceEnded) return {};  // an empty block
    // Room for the slice at the new rate, and what the resampler still holds at the end.
    const size_t room = n * size_t(kEncodeSoundRate) / m_source->Rate() + 4096;
    const size_t before = m_ready.size();
    m_ready.resize(before + room);
    size_t done = 0;
    soxr_error_t error =
        soxr_process(m_soxr, n ? slice : nullptr, n, nullptr, &m_ready[before], room, &done);
    if (error) return Error{std::string("resampling the sound failed: ") + error};
    m_ready.resize(before + done);
    if (n == 0 && done == 0) m_ended = true;
    return {};
}

Expected<double> ResampledSound::SecondsLeft() {
    size_t pending = m_in.size() - m_inAt;
    while (!m_sourceEnded) {
        m_in.clear();
        auto more = m_source->Next(m_in);
        if (!more) return more.error();
        m_sourceEnded = !*more;
        pending += m_in.size();
    }
    m_in.clear();
    m_inAt = 0;
    const double ready = double(m_ready.size() - m_readyAt) / kEncodeSoundRate;
    m_ready.clear();
    m_readyAt = 0;
    m_ended = true;
    return ready + double(pending) / double(m_source->Rate());
}

Expected<size_t> ResampledSound::Read(std::span<int16_t> out) {
    size_t filled = 0;
    while (filled < out.size()) {
        if (m_readyAt == m_ready.size()) {
            if (m_ended) break;
            if (auto r = Refill(); !r) return r.error();
            continue;
        }
        const float v = std::round(m_ready[m_readyAt++]);
        out[filled++] = static_cast<int16_t>(std::clamp(v, -32768.0f, 32767.0f));
    }
    return filled;
}

}  // namespace rw
