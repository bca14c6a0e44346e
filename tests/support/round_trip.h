// A VQA file the encoder wrote, converted back by the project's own converter in memory and read
// through the AVI reader: the pictures as the converter drew them and the sound as it decoded it.
// Shared by the encoder's tests and its benchmark.
#pragma once

#include <cmath>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "avi/avi_reader.h"
#include "encode/sound_input.h"
#include "tests/support/fixtures.h"

namespace rw::test {

struct RoundTrip {
    std::string problem;  // empty when the file converted without complaint
    VqaProperties properties;
    ConversionOutcome outcome;
    std::vector<uint8_t> avi;
    std::vector<std::vector<uint8_t>> frames;  // blue, green, red, top row first
    std::vector<float> sound;                  // mono, the converter's pad sample left out
};

inline RoundTrip ConvertBack(std::span<const uint8_t> vqa) {
    RoundTrip t;
    t.properties = ReadVqaHeader(vqa).properties;
    InMemory converted = ConvertInMemory(vqa);
    t.outcome = converted.outcome;
    if (t.outcome.status != ConversionOutcome::Status::Completed || t.outcome.damagedFrames != 0 ||
        t.outcome.leadingSoundMissing || !t.outcome.message.empty()) {
        return t.problem = "conversion reported: " + t.outcome.message, t;
    }
    t.avi = std::move(converted.avi);
    MemoryInputFile aviIn(t.avi, "encoded.avi");
    auto reader = AviReader::Open(aviIn);
    if (!reader) return t.problem = reader.error().message, t;
    const AviSourceInfo& info = reader->Info();
    for (size_t f = 0; f < info.videoChunks.size(); ++f) {
        t.frames.emplace_back(size_t(info.width) * size_t(info.height) * 3);
        if (auto r = reader->ReadFrame(f, t.frames.back()); !r) return t.problem = "frame", t;
    }
    for (size_t c = 0; c < info.soundChunks.size(); ++c) {
        auto data = reader->ReadSound(c);
        if (!data) return t.problem = "sound", t;
        MixToMono(*data, info.channels, info.bitsPerSample, t.sound);
        if (c == 0 && info.leadingSoundPadded) t.sound.pop_back();
    }
    return t;
}

// Peak signal to noise ratio of two pictures in decibels (99 when they are equal).
inline double Psnr(std::span<const uint8_t> a, std::span<const uint8_t> b) {
    double error = 0;
    for (size_t i = 0; i < a.size(); ++i) error += (double(a[i]) - b[i]) * (double(a[i]) - b[i]);
    if (error == 0) return 99;
    return 10 * std::log10(255.0 * 255.0 * double(a.size()) / error);
}

}  // namespace rw::test
