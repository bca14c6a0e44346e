#include "wav/wav_file.h"

#include <cstring>
#include <optional>
#include <string>

#include "platform/byte_reader.h"

namespace rw {
namespace {

constexpr uint16_t kFormatPcm = 1;
constexpr uint16_t kFormatExtensible = 0xFFFE;

bool IdIs(std::span<const uint8_t> id, const char (&name)[5]) {
    return std::memcmp(id.data(), name, 4) == 0;
}

struct Format {
    uint16_t channels = 0;
    uint32_t rate = 0;
    uint16_t bits = 0;
};

Expected<Format> ReadFormat(std::span<const uint8_t> body) {
    ByteReader r(body);
    const auto tag = r.U16Le();
    const auto channels = r.U16Le();
    const auto rate = r.U32Le();
    const bool skipped = r.Skip(6);  // bytes a second, block alignment
    const auto bits = r.U16Le();
    if (!tag || !channels || !rate || !skipped || !bits) {
        return Error{"the WAV file's format chunk is too short"};
    }
    uint16_t format = *tag;
    if (format == kFormatExtensible) {
        // cbSize, valid bits, channel mask, then the sub-format GUID whose first two bytes name it.
        const bool skippedExt = r.Skip(8);
        const auto sub = r.U16Le();
        if (!skippedExt || !sub) return Error{"the WAV file's extended format chunk is too short"};
        format = *sub;
    }
    if (format != kFormatPcm) {
        return Error{"the WAV file holds compressed sound (format " + std::to_string(format) +
                     "); only PCM can be read"};
    }
    if (*channels != 1 && *channels != 2) {
        return Error{"the WAV file has " + std::to_string(*channels) +
                     " channels; only mono and stereo can be read"};
    }
    if (*bits != 8 && *bits != 16) {
        return Error{"the WAV file has " + std::to_string(*bits) +
                     "-bit samples; only 8 and 16 bits can be read"};
    }
    if (*rate == 0) return Error{"the WAV file states a sound rate of 0 Hz"};
    return Format{*channels, *rate, *bits};
}

std::vector<int16_t> ReadSamples(std::span<const uint8_t> data, const Format& format) {
    const size_t frameBytes = size_t{format.channels} * (format.bits / 8);
    const size_t frames = data.size() / frameBytes;  // a partial last frame is dropped
    std::vector<int16_t> samples(frames * format.channels);
    if (format.bits == 8) {
        for (size_t i = 0; i < samples.size(); ++i) {
            samples[i] = static_cast<int16_t>((int{data[i]} - 128) * 256);
        }
    } else {
        for (size_t i = 0; i < samples.size(); ++i) {
            samples[i] = static_cast<int16_t>(data[2 * i] | (data[2 * i + 1] << 8));
        }
    }
    return samples;
}

}  // namespace

Expected<std::array<uint8_t, kWavHeaderSize>> WavHeader(uint32_t rate, uint32_t dataBytes,
                                                        uint16_t channels) {
    if (dataBytes > kMaxWavData) {
        return Error{"the sound is too long for a WAV file (" + std::to_string(dataBytes) +
                     " bytes)"};
    }
    if (channels != 1 && channels != 2) {
        return Error{"a WAV file of this program holds one or two channels"};
    }
    if (rate == 0 || rate > 0x7FFFFFFFu / (2u * channels)) {
        return Error{"a WAV file cannot state a sound rate of " + std::to_string(rate) + " Hz"};
    }
    std::array<uint8_t, kWavHeaderSize> h{};
    std::memcpy(h.data(), "RIFF", 4);
    StoreU32Le(h.data() + 4, 36 + dataBytes + (dataBytes & 1));
    std::memcpy(h.data() + 8, "WAVEfmt ", 8);
    StoreU32Le(h.data() + 16, 16);
    StoreU16Le(h.data() + 20, kFormatPcm);
    StoreU16Le(h.data() + 22, channels);
    StoreU32Le(h.data() + 24, rate);                 // samples a second
    StoreU32Le(h.data() + 28, rate * 2 * channels);  // bytes a second
    StoreU16Le(h.data() + 32, 2 * channels);         // bytes a sample of every channel
    StoreU16Le(h.data() + 34, 16);                   // bits a sample
    std::memcpy(h.data() + 36, "data", 4);
    StoreU32Le(h.data() + 40, dataBytes);
    return h;
}

Expected<std::vector<uint8_t>> EncodeWav(std::span<const int16_t> samples, uint32_t rate) {
    if (samples.size() > kMaxWavData / 2) {
        return Error{"the sound is too long for a WAV file"};
    }
    auto header = WavHeader(rate, static_cast<uint32_t>(2 * samples.size()));
    if (!header) return header.error();
    std::vector<uint8_t> file(header->begin(), header->end());
    file.resize(kWavHeaderSize + 2 * samples.size());
    for (size_t i = 0; i < samples.size(); ++i) {
        StoreU16Le(file.data() + kWavHeaderSize + 2 * i, static_cast<uint16_t>(samples[i]));
    }
    return file;
}

Expected<WavSound> DecodeWav(std::span<const uint8_t> file) {
    ByteReader r(file);
    const auto riff = r.Bytes(4);
    const bool skipped = r.Skip(4);
    const auto wave = r.Bytes(4);
    if (!riff || !skipped || !wave || !IdIs(*riff, "RIFF") || !IdIs(*wave, "WAVE")) {
        return Error{"not a WAV file (no RIFF WAVE header)"};
    }
    std::optional<Format> format;
    while (r.Remaining() >= 8) {
        const auto id = r.Bytes(4);
        const uint32_t size = *r.U32Le();
        const size_t available = std::min<size_t>(size, r.Remaining());
        const auto body = *r.Bytes(available);
        if (IdIs(*id, "fmt ")) {
            auto f = ReadFormat(body);
            if (!f) return f.error();
            format = *f;
        } else if (IdIs(*id, "data")) {
            if (!format) return Error{"the WAV file's sound comes before its format chunk"};
            WavSound sound;
            sound.rate = format->rate;
            sound.channels = format->channels;
            sound.bitsPerSample = format->bits;
            sound.samples = ReadSamples(body, *format);
            return sound;
        }
        // Chunks are padded to an even size.
        if (available < size || !r.Skip(size & 1)) break;
    }
    return Error{format ? "the WAV file holds no sound data" : "the WAV file has no format chunk"};
}

}  // namespace rw
