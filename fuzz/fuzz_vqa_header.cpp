// The container check, the six header values, the frame index and everything derived from the
// header before a conversion starts: the refusal check, the AVI layout and header block, and the
// property texts.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "avi/avi_header.h"
#include "run/avi_format_of.h"
#include "run/convert_frames.h"
#include "run/properties_text.h"
#include "platform/file.h"
#include "tests/support/memory_file.h"
#include "vqa/vqa_header.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const uint8_t> bytes(data, size);
    const rw::VqaHeaderResult header = rw::ReadVqaHeader(bytes);
    if (header.status != rw::VqaHeaderResult::Status::Ok) {
        if (header.status != rw::VqaHeaderResult::Status::NotVqa && header.message.empty()) {
            std::abort();
        }
        return 0;
    }
    if (size < 46) std::abort();  // a file that ends inside the header is never Ok
    const rw::VqaProperties& props = header.properties;

    rw::MemoryInputFile file(bytes, "fuzz.vqa");
    auto index = rw::ReadFrameIndex(file, props.frames);
    if (index.ok()) {
        if (index->size() != static_cast<size_t>(props.frames)) std::abort();
        if (props.frames > 0 && 70 + 4 * static_cast<size_t>(props.frames) > size) std::abort();
        for (int32_t offset : *index) {
            if (offset < 0 || offset % 2 != 0) std::abort();
        }
    }

    (void)rw::FormatProperties(props);
    const std::string why = rw::CheckConvertible(props);
    if (why.empty()) {
        const rw::AviFormat format = rw::AviFormatOf(props);
        const rw::AviLayout layout = rw::ComputeAviLayout(format);
        if (layout.riffSize > INT32_MAX || layout.fileLength != layout.riffSize + 8) std::abort();
        if (rw::BuildAviHeader(format).size() != rw::kAviBuiltHeaderSize) std::abort();
        rw::MemoryOutputFile out("fuzz.avi");
        if (!rw::WriteAviHeader(out, format).ok() || out.Data().size() != rw::kAviHeaderBlockSize) {
            std::abort();
        }
    }
    return 0;
}
