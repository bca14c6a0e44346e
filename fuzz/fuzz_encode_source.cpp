// The encoder's sources, with the product's bounds on picture size and sound rate: any bytes
// either open as a source whose first frames and sound blocks read (or fail with a message), or
// are refused with a message. Byte 0 says what the rest is: even, an AVI file; odd, a folder of
// files one after another, each a name length byte, the name, a 32-bit little-endian size and the
// bytes (cut short at the end of the input).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "encode_job/encode_job.h"
#include "tests/support/memory_file.h"

namespace {

using Files = std::map<std::string, std::vector<uint8_t>>;

Files SplitFolder(std::span<const uint8_t> in) {
    Files files;
    size_t at = 0;
    while (at < in.size()) {
        const size_t nameLength = in[at++];
        const std::string name(in.begin() + ptrdiff_t(std::min(at, in.size())),
                               in.begin() + ptrdiff_t(std::min(at + nameLength, in.size())));
        at = std::min(at + nameLength, in.size());
        uint32_t size = 0;
        for (int i = 0; i < 4 && at < in.size(); ++i) size |= uint32_t(in[at++]) << (8 * i);
        const size_t end = std::min<size_t>(at + size, in.size());
        files[name].assign(in.begin() + ptrdiff_t(at), in.begin() + ptrdiff_t(end));
        at = end;
    }
    return files;
}

rw::Expected<rw::EncodeSource> Open(std::span<const uint8_t> in, bool folder,
                                    std::shared_ptr<const Files> files) {
    if (!folder) {
        return rw::OpenAviSource(std::make_unique<rw::MemoryInputFile>(in, "fuzz.avi"));
    }
    std::vector<std::string> names;
    for (const auto& [name, bytes] : *files) names.push_back(name);
    return rw::OpenFrameFiles("fuzz", names, [files](const std::string& name) {
        return rw::Expected<std::vector<uint8_t>>(files->at(name));
    });
}

void FailWithoutMessage(const rw::Error& error) {
    if (error.message.empty()) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const bool folder = data[0] % 2 == 1;
    const std::span<const uint8_t> in(data + 1, size - 1);
    auto files = std::make_shared<const Files>(folder ? SplitFolder(in) : Files{});
    auto source = Open(in, folder, files);
    if (!source) return FailWithoutMessage(source.error()), 0;
    rw::EncodeFrames& frames = *source->frames;
    if (frames.Frames() < 1 || frames.Frames() > rw::kEncodeMaxFrames ||
        rw::CheckSourcePicture(frames.Width(), frames.Height())) {
        std::abort();
    }
    std::vector<uint8_t> picture(size_t(frames.Width()) * size_t(frames.Height()) * 3);
    for (int32_t f = 0; f < std::min(frames.Frames(), 4); ++f) {
        auto r = frames.Read(f, picture);
        if (!r) return FailWithoutMessage(r.error()), 0;
    }
    if (!source->sound) return 0;
    std::vector<int16_t> block(rw::kEncodeLeadingSamples);
    for (int b = 0; b < 3; ++b) {
        auto got = source->sound->Read(block);
        if (!got) return FailWithoutMessage(got.error()), 0;
        if (*got > block.size()) std::abort();
    }
    auto left = source->sound->SecondsLeft();
    if (!left) return FailWithoutMessage(left.error()), 0;
    if (!(*left >= 0)) std::abort();
    return 0;
}
