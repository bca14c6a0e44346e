// AVI reading: any bytes either give a structure whose chunks all lie inside the file, with
// pictures and sound that read or are refused with a message, or are refused with a message.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "avi/avi_reader.h"
#include "platform/file.h"
#include "tests/support/memory_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    rw::MemoryInputFile file(std::span<const uint8_t>(data, size), "fuzz.avi");
    auto reader = rw::AviReader::Open(file);
    if (!reader) {
        if (reader.error().message.empty()) std::abort();
        return 0;
    }
    const rw::AviSourceInfo& info = reader->Info();
    if (info.width < 1 || info.height < 1 || info.width > rw::kAviMaxDimension ||
        info.height > rw::kAviMaxDimension || info.videoChunks.empty() || info.rate == 0 ||
        info.scale == 0) {
        std::abort();
    }
    for (const auto& list : {info.videoChunks, info.soundChunks}) {
        for (const rw::AviChunkRef& c : list) {
            if (c.offset < 0 || uint64_t(c.offset) + c.size > size) std::abort();
        }
    }
    // A picture larger than the whole input cannot be in it: not worth the memory.
    const size_t pictureBytes = size_t(info.width) * size_t(info.height) * 3;
    if (pictureBytes <= size) {
        std::vector<uint8_t> picture(pictureBytes);
        for (size_t f = 0; f < info.videoChunks.size() && f < 16; ++f) {
            auto r = reader->ReadFrame(f, picture);
            if (!r && r.error().message.empty()) std::abort();
        }
    }
    for (size_t c = 0; c < info.soundChunks.size() && c < 16; ++c) {
        auto sound = reader->ReadSound(c);
        if (sound && sound->size() != info.soundChunks[c].size) std::abort();
    }
    return 0;
}
