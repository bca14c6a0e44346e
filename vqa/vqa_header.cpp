#include "vqa/vqa_header.h"

#include <array>
#include <cstring>
#include <string_view>

#include "platform/byte_reader.h"

namespace rw {
namespace {

// The fields the converter reads end at offset 46 (the sound rate at 44..45).
constexpr int64_t kHeaderFieldsStart = 24;
constexpr int64_t kHeaderFieldsEnd = 46;

// The bytes read, up to the first NUL: the signatures are compared as NUL-terminated texts, so a
// NUL among them shortens the text and the comparison fails.
std::string_view AsText(std::span<const uint8_t> bytes) {
    std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return text.substr(0, text.find('\0'));
}

VqaHeaderResult Failure(VqaHeaderResult::Status status, std::string message) {
    VqaHeaderResult result;
    result.status = status;
    result.message = std::move(message);
    return result;
}

std::string Quoted(const std::string& name) {
    return "\"" + name + "\"";
}

}  // namespace

VqaHeaderResult ReadVqaHeader(const std::filesystem::path& path) {
    DiskInputFile file;
    if (auto opened = file.Open(path); !opened) {
        return Failure(VqaHeaderResult::Status::CannotOpen, opened.error().message);
    }
    return ReadVqaHeader(file);
}

VqaHeaderResult ReadVqaHeader(InputFile& file) {
    using Status = VqaHeaderResult::Status;
    const std::string& name = file.Name();

    // Fewer bytes than asked for only shorten the texts; a file under 16 bytes fails the check.
    std::array<uint8_t, 4> form{};
    std::array<uint8_t, 8> type{};
    if (auto r = file.Seek(0); !r) return Failure(Status::CannotOpen, r.error().message);
    auto gotForm = file.Read(form);
    if (!gotForm) return Failure(Status::CannotOpen, gotForm.error().message);
    if (auto r = file.Seek(8); !r) return Failure(Status::CannotOpen, r.error().message);
    auto gotType = file.Read(type);
    if (!gotType) return Failure(Status::CannotOpen, gotType.error().message);

    if (AsText(std::span(form).first(*gotForm)) != "FORM" ||
        AsText(std::span(type).first(*gotType)) != "WVQAVQHD") {
        return Failure(Status::NotVqa, Quoted(name) + " is not a VQA video");
    }

    std::array<uint8_t, kHeaderFieldsEnd - kHeaderFieldsStart> fields{};
    if (auto r = file.Seek(kHeaderFieldsStart); !r) {
        return Failure(Status::CannotOpen, r.error().message);
    }
    auto got = file.Read(fields);
    if (!got) return Failure(Status::CannotOpen, got.error().message);
    if (*got != fields.size()) {
        return Failure(Status::Truncated,
                       Quoted(name) + " ends inside the VQA header: it holds " +
                           std::to_string(kHeaderFieldsStart + static_cast<int64_t>(*got)) +
                           " bytes, the header needs " + std::to_string(kHeaderFieldsEnd));
    }

    ByteReader reader(fields);
    VqaHeaderResult result;
    result.status = Status::Ok;
    VqaProperties& p = result.properties;
    p.frames = *reader.U16Le();
    p.width = *reader.U16Le();
    p.height = *reader.U16Le();
    p.blockWidth = *reader.U8();
    p.blockHeight = *reader.U8();
    reader.Skip(12);
    p.soundRate = *reader.U16Le();
    return result;
}

Expected<VqaHeaderFields> ReadVqaHeaderFields(InputFile& file) {
    constexpr int64_t kStart = 20;
    std::array<uint8_t, 48 - kStart> raw{};
    if (auto r = file.Seek(kStart); !r) return r.error();
    auto got = file.Read(raw);
    if (!got) return got.error();
    if (*got != raw.size()) {
        return Error{Quoted(file.Name()) + " ends inside the VQA header: it holds " +
                     std::to_string(kStart + static_cast<int64_t>(*got)) +
                     " bytes, the header needs 48"};
    }
    ByteReader r(raw);
    VqaHeaderFields f;
    f.version = *r.U16Le();
    f.flags = *r.U16Le();
    f.frames = *r.U16Le();
    f.width = *r.U16Le();
    f.height = *r.U16Le();
    f.blockWidth = *r.U8();
    f.blockHeight = *r.U8();
    f.framesPerSecond = *r.U8();
    f.codebookParts = *r.U8();
    f.colours = *r.U16Le();
    f.maxCodebookEntries = *r.U16Le();
    r.Skip(6);
    f.soundRate = *r.U16Le();
    f.channels = *r.U8();
    f.soundBits = *r.U8();
    return f;
}

Expected<std::vector<int32_t>> ReadFrameIndex(InputFile& file, int32_t frames) {
    const std::string& name = file.Name();
    if (frames < 0) {
        return Error{"Cannot read the frame index of \"" + name + "\": " + std::to_string(frames) +
                     " frames"};
    }
    if (auto r = file.Seek(kFrameIndexOffset); !r) return r.error();

    std::vector<uint8_t> raw(static_cast<size_t>(frames) * 4);
    auto got = file.Read(raw);
    if (!got) return got.error();
    if (*got != raw.size()) {
        return Error{"\"" + name + "\" ends inside the frame index: " + std::to_string(frames) +
                     " entries need " + std::to_string(raw.size()) + " bytes from offset " +
                     std::to_string(kFrameIndexOffset) + ", the file holds " +
                     std::to_string(*got)};
    }

    std::vector<int32_t> offsets(static_cast<size_t>(frames));
    for (size_t i = 0; i < offsets.size(); ++i) {
        // Entries count 2-byte units; their top two bits are not part of the offset.
        uint32_t entry = ByteReader::LoadU32Le(raw.data() + 4 * i);
        offsets[i] = static_cast<int32_t>((entry & 0x3FFFFFFFu) * 2u);
    }
    return offsets;
}

}  // namespace rw
