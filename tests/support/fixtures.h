// Shortcuts several test areas share: video properties from a few numbers, an observer that
// neither reports nor cancels, a whole conversion in memory, and small synthesised videos (without
// their expected pictures and sound).
#pragma once

#include <cstdint>
#include <map>
#include <tuple>
#include <vector>

#include "run/convert_frames.h"
#include "tests/support/memory_file.h"
#include "tools/synth/vqa_synth.h"
#include "vqa/vqa_header.h"
#include "vqa/vqa_properties.h"

namespace rw::test {

// Properties of a video of 4 x 2 blocks.
inline VqaProperties Props(int32_t frames, int32_t width, int32_t height, int32_t rate) {
    return {frames, height, width, 4, 2, rate};
}

class NullObserver final : public ConversionObserver {
  public:
    void OnFrameStart(int32_t) override {}
    bool CancelRequested() override { return false; }
};

struct InMemory {
    ConversionOutcome outcome;
    std::vector<uint8_t> avi;
};
// The file "clip.vqa" converted in one part to "clip.avi", both kept in memory.
inline InMemory ConvertInMemory(std::span<const uint8_t> vqa) {
    InMemory r;
    MemoryInputFile in(vqa, "clip.vqa");
    const VqaHeaderResult header = ReadVqaHeader(in);
    auto index = ReadFrameIndex(in, header.properties.frames);
    if (header.status != VqaHeaderResult::Status::Ok || !index) {
        r.outcome = {ConversionOutcome::Status::Failed, "cannot read the header or the index"};
        return r;
    }
    MemoryOutputFile out("clip.avi");
    NullObserver quiet;
    r.outcome = ConvertFrames(in, out, header.properties, *index, quiet);
    r.avi = out.Data();
    return r;
}

// The synthesiser's default video at that shape (and sound rate), without its expected pictures
// and sound.
inline synth::SynthOptions SmallOptions(int32_t frames, int32_t width, int32_t height,
                                        int32_t rate = 22050) {
    return {.frames = frames,
            .width = width,
            .height = height,
            .soundRate = rate,
            .keepExpected = false};
}

// Made once per shape and kept: synthesising takes a while under the sanitizers.
inline const synth::SynthVideo& SmallVideo(int32_t frames, int32_t width, int32_t height) {
    static std::map<std::tuple<int32_t, int32_t, int32_t>, synth::SynthVideo> made;
    const auto key = std::make_tuple(frames, width, height);
    if (auto it = made.find(key); it != made.end()) return it->second;
    return made.emplace(key, synth::SynthesizeVqa(SmallOptions(frames, width, height)))
        .first->second;
}

}  // namespace rw::test
