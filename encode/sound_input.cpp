#include "encode/sound_input.h"

#include <soxr.h>

#include <algorithm>
#include <cmath>
#include <string>

namespace rw {

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

ResampledSound::~ResampledSound() {
    if (m_soxr) soxr_delete(m_soxr);
}

Expected<void> ResampledSound::Refill() {
    m_ready.erase(m_ready.begin(), m_ready.begin() + static_cast<ptrdiff_t>(m_readyAt));
    m_readyAt = 0;
    m_in.clear();
    auto more = m_source->Next(m_in);
    if (!more) return more.error();
    const bool native = m_source->Rate() == uint32_t(kEncodeSoundRate);
    if (!native && !m_soxr) return Error{"the sound cannot be resampled to 22050 Hz"};
    if (native) {
        m_ready.insert(m_ready.end(), m_in.begin(), m_in.end());
        m_ended = !*more;
        return {};
    }
    // Room for the block at the new rate, and what the resampler still holds at the end.
    const size_t room = size_t(double(m_in.size()) * kEncodeSoundRate / m_source->Rate()) + 4096;
    const size_t before = m_ready.size();
    m_ready.resize(before + room);
    size_t done = 0;
    soxr_error_t error =
        soxr_process(m_soxr, *more ? m_in.data() : nullptr, *more ? m_in.size() : 0, nullptr,
                     &m_ready[before], room, &done);
    if (error) return Error{std::string("resampling the sound failed: ") + error};
    m_ready.resize(before + done);
    if (!*more && done == 0) m_ended = true;
    return {};
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
