// A whole high-colour video, decoded frame by frame: the header fields, the frame index found by
// walking the chunks, and every frame's chunk walk, codebooks, pointer tables and sound.
//
// Input: the file's bytes. Whatever they hold, the picture keeps its size, the sound comes in
// whole samples of every channel, every damaged frame says why, and each notice comes at most once.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "tests/support/memory_file.h"
#include "vqa/hc_chunks.h"
#include "vqa/hc_decoder.h"

namespace {

// Keeps each run quick.
constexpr int64_t kMaxPixels = int64_t{1} << 16;
constexpr size_t kMaxFrames = 48;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    rw::MemoryInputFile file(std::span<const uint8_t>(data, size), "fuzz.vqa");
    auto fields = rw::ReadVqaHeaderFields(file);
    if (!fields) return 0;
    const rw::HighColourProperties props = rw::HighColourPropertiesOf(*fields);
    if (!rw::CheckHighColourProperties(props, file.Name())) return 0;
    if (int64_t{props.width} * props.height > kMaxPixels) return 0;
    auto offsets = rw::ReadHighColourFrameIndex(file, props.frames);
    if (!offsets) {
        if (offsets.error().message.empty()) std::abort();
        return 0;
    }

    rw::HighColourDecoder decoder(props);
    const size_t pictureBytes =
        static_cast<size_t>(props.width) * static_cast<size_t>(props.height) * 3;
    const size_t sampleBytes = 2 * static_cast<size_t>(props.channels);
    int kindNotices = 0, soundNotices = 0;
    for (size_t f = 0; f < std::min(offsets->size(), kMaxFrames); ++f) {
        rw::HighColourFrame frame;
        decoder.DecodeFrame(file, (*offsets)[f], frame);
        if (frame.picture.size() != pictureBytes) std::abort();
        if (frame.sound.size() % sampleBytes != 0) std::abort();
        if (frame.damaged == frame.damage.empty()) std::abort();
        kindNotices += frame.contradictsHeader;
        soundNotices += frame.soundNotDecoded;
        const auto& book = decoder.Codebook();
        if (book.entries > rw::kMaxHighColourEntries ||
            book.bgr.size() != static_cast<size_t>(book.entries) * book.entryBytes) {
            std::abort();
        }
    }
    if (kindNotices > 1 || soundNotices > 1) std::abort();
    return 0;
}
