// WAV reading: any bytes either decode to whole sample frames of a supported format or are refused
// with a message; decoded sound written again as mono reads back the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "wav/wav_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto sound = rw::DecodeWav(std::span<const uint8_t>(data, size));
    if (!sound) {
        if (sound.error().message.empty()) std::abort();
        return 0;
    }
    if (sound->rate == 0 || (sound->channels != 1 && sound->channels != 2) ||
        (sound->bitsPerSample != 8 && sound->bitsPerSample != 16) ||
        sound->samples.size() % sound->channels != 0 ||
        sound->samples.size() * sound->bitsPerSample / 8 > size) {
        std::abort();
    }
    if (sound->rate > 0x3FFFFFFF) return 0;  // a rate a 16-bit mono file cannot state
    std::vector<int16_t> left;
    for (size_t i = 0; i < sound->samples.size(); i += sound->channels) {
        left.push_back(sound->samples[i]);
    }
    auto file = rw::EncodeWav(left, sound->rate);
    if (!file) std::abort();
    auto back = rw::DecodeWav(*file);
    if (!back || back->rate != sound->rate || back->channels != 1 || back->samples != left) {
        std::abort();
    }
    return 0;
}
