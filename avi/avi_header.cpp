#include "avi/avi_header.h"

#include <array>
#include <cstring>
#include <limits>

#include "platform/byte_reader.h"

namespace rw {
namespace {

constexpr int32_t kDeclaredSoundRate = 22050;  // the sound stream always declares 22050 Hz
constexpr int32_t kImageSizeField = 115200;    // the bitmap header's image size, whatever W and H
constexpr int64_t kLargestDeclared = std::numeric_limits<int32_t>::max();

void PutId(uint8_t* block, size_t offset, const char (&id)[5]) {
    std::memcpy(block + offset, id, 4);
}
void Put32(uint8_t* block, size_t offset, int64_t value) {
    StoreU32Le(block + offset, static_cast<uint32_t>(value));
}
void Put16(uint8_t* block, size_t offset, uint16_t value) {
    StoreU16Le(block + offset, value);
}

}  // namespace

AviLayout ComputeAviLayout(const AviFormat& format) {
    const int64_t f = format.frames;
    const int64_t w = format.width;
    const int64_t h = format.height;
    const int64_t r = format.soundRate;
    AviLayout l;
    l.videoFrameBytes = 3 * w * h;
    l.frameSoundDeclared = (2 * r) / 15;
    // Every frame's sound chunk holds what it declares: the decoded block, filled to S.
    l.frameSoundWritten = l.frameSoundDeclared;
    l.leadingSoundBytes = r;
    l.riffSize = f * (l.videoFrameBytes + 48 + l.frameSoundDeclared) + r + 548;
    l.movieListSize = f * (l.videoFrameBytes + 16 + l.frameSoundDeclared) + r + 12;
    l.soundStreamLength = (int64_t{kDeclaredSoundRate} * f) / 15 + 11025;
    l.fileLength = l.riffSize + 8;
    return l;
}

std::optional<std::string> CheckAviDescribable(const AviFormat& format) {
    if (format.frames < 0 || format.width < 0 || format.height < 0 || format.soundRate < 0) {
        return std::string("the header gives a negative frame count, image size or sound rate");
    }
    const AviLayout l = ComputeAviLayout(format);
    // The RIFF size is the largest declared value; every chunk offset in the index lies below it.
    if (l.riffSize > kLargestDeclared || l.soundStreamLength > kLargestDeclared) {
        return "the video is too large for an AVI file: it would take " +
               std::to_string(l.fileLength) + " bytes, and an AVI header describes at most " +
               std::to_string(kLargestDeclared) + " bytes";
    }
    return std::nullopt;
}

std::vector<uint8_t> BuildAviHeader(const AviFormat& format) {
    const AviLayout l = ComputeAviLayout(format);
    std::vector<uint8_t> out(kAviBuiltHeaderSize, 0);
    uint8_t* b = out.data();
    PutId(b, 0, "RIFF");
    Put32(b, 4, l.riffSize);
    PutId(b, 8, "AVI ");
    PutId(b, 12, "LIST");
    Put32(b, 16, 492);
    PutId(b, 20, "hdrl");
    PutId(b, 24, "avih");
    Put32(b, 28, 56);
    Put32(b, 32, 66666);  // microseconds per frame
    Put32(b, 44, 0x10);   // the file has an index
    Put32(b, 48, format.frames);
    Put32(b, 56, 2);  // streams
    Put32(b, 64, format.width);
    Put32(b, 68, format.height);
    Put32(b, 72, 1000);   // time scale
    Put32(b, 76, 15000);  // rate
    Put32(b, 84, format.frames);
    PutId(b, 88, "LIST");
    Put32(b, 92, 116);
    PutId(b, 96, "strl");
    PutId(b, 100, "strh");
    Put32(b, 104, 56);
    PutId(b, 108, "vids");
    PutId(b, 112, "DIB ");
    Put32(b, 128, 1000);   // scale
    Put32(b, 132, 15000);  // rate
    Put32(b, 140, format.frames);
    Put32(b, 148, 0xFFFFFFFF);  // quality
    PutId(b, 164, "strf");
    return out;
}

Expected<void> WriteAviHeader(OutputFile& file, const AviFormat& format) {
    if (file.Position() != 0) {
        return Error{"Cannot write the AVI header of \"" + file.Name() +
                     "\": the file is not empty"};
    }
    const AviLayout l = ComputeAviLayout(format);
    std::array<uint8_t, kAviHeaderBlockSize> block{};
    const std::vector<uint8_t> built = BuildAviHeader(format);
    std::memcpy(block.data(), built.data(), built.size());
    uint8_t* b = block.data();
    // Video format: a bitmap information header, rows stored bottom row first.
    Put32(b, 168, 40);
    Put32(b, 172, 40);
    Put32(b, 176, format.width);
    Put32(b, 180, format.height);
    Put16(b, 184, 1);   // planes
    Put16(b, 186, 24);  // bits per pixel
    Put32(b, 192, kImageSizeField);
    // Sound stream list.
    PutId(b, 212, "LIST");
    Put32(b, 216, 92);
    PutId(b, 220, "strl");
    PutId(b, 224, "strh");
    Put32(b, 228, 56);
    PutId(b, 232, "auds");
    Put32(b, 252, 1);  // scale
    Put32(b, 256, kDeclaredSoundRate);
    Put32(b, 264, l.soundStreamLength);
    Put32(b, 272, 0xFFFFFFFF);  // quality
    Put32(b, 276, 4);           // sample size
    PutId(b, 288, "strf");
    Put32(b, 292, 16);
    Put16(b, 296, 1);  // PCM
    Put16(b, 298, 1);  // mono
    Put32(b, 300, kDeclaredSoundRate);
    Put32(b, 304, 44100);  // average bytes per second
    Put16(b, 308, 2);      // block alignment
    Put16(b, 310, 16);     // bits per sample
    // Filler up to 512, then the head of the movie list.
    PutId(b, 312, "JUNK");
    Put32(b, 316, 191);
    PutId(b, 512, "LIST");
    Put32(b, 516, l.movieListSize);
    PutId(b, 520, "movi");
    return file.Write(block);
}

}  // namespace rw
