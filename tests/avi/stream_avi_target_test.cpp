// The general AVI writer's files read back by the project's own AVI reader: the frame rate, the
// sound's rate and channels, every picture (rows padded to 4 bytes where the width needs it) and
// every sound chunk; and the formats it refuses.
#include "avi/stream_avi_target.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "avi/avi_reader.h"
#include "tests/support/memory_file.h"

namespace rw {
namespace {

struct Written {
    std::vector<uint8_t> file;
    std::vector<std::vector<uint8_t>> pictures;  // bottom row first
    std::vector<uint8_t> sound;
};

Written Write(const StreamFormat& format, size_t soundPerFrame) {
    Written w;
    MemoryOutputFile body;
    body.StartAt(kStreamAviHeaderBytes);
    StreamAviTarget target(body, format);
    EXPECT_TRUE(target.LeadingSound({}).ok());
    for (int32_t f = 0; f < format.frames; ++f) {
        std::vector<uint8_t> sound(soundPerFrame, static_cast<uint8_t>(f + 1));
        auto room = target.BeginFrame(f, sound);
        EXPECT_TRUE(room.ok());
        for (size_t i = 0; i < room->size(); ++i) (*room)[i] = static_cast<uint8_t>(i * 7 + f);
        w.pictures.emplace_back(room->begin(), room->end());
        if (format.soundRate > 0) {
            const size_t whole = sound.size() - sound.size() % (2 * format.channels);
            w.sound.insert(w.sound.end(), sound.begin(), sound.begin() + whole);
        }
        EXPECT_TRUE(target.EndFrame(f, false).ok());
    }
    MemoryOutputFile start;
    EXPECT_TRUE(target.Finish(start).ok());
    w.file = start.Data();
    w.file.insert(w.file.end(), body.Data().begin(), body.Data().end());
    return w;
}

TEST(StreamAviTarget, TheReaderFindsTheFormatPicturesAndSound) {
    struct Case {
        StreamFormat format;
        size_t soundPerFrame;
    };
    const std::vector<Case> cases = {
        {{.frames = 5, .width = 8, .height = 4, .framesPerSecond = 12, .soundRate = 22050}, 3676},
        {{.frames = 4,
          .width = 6,
          .height = 3,
          .framesPerSecond = 30,
          .soundRate = 44100,
          .channels = 2},
         5883},
        {{.frames = 3, .width = 5, .height = 2, .framesPerSecond = 15, .soundRate = 0}, 100},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.format.width) + " pixels wide");
        const Written w = Write(c.format, c.soundPerFrame);
        MemoryInputFile in(w.file);
        auto reader = AviReader::Open(in);
        ASSERT_TRUE(reader.ok()) << reader.error().message;
        const AviSourceInfo& info = reader->Info();
        EXPECT_EQ(info.rate / info.scale, static_cast<uint32_t>(c.format.framesPerSecond));
        EXPECT_EQ(info.width, c.format.width);
        EXPECT_EQ(info.bitsPerPixel, 24);
        ASSERT_EQ(info.videoChunks.size(), static_cast<size_t>(c.format.frames));
        EXPECT_EQ(info.hasSound, c.format.soundRate > 0);
        if (info.hasSound) {
            EXPECT_EQ(info.channels, c.format.channels);
            EXPECT_EQ(info.sampleRate, static_cast<uint32_t>(c.format.soundRate));
        }
        std::vector<uint8_t> sound;
        for (size_t i = 0; i < info.soundChunks.size(); ++i) {
            auto chunk = reader->ReadSound(i);
            ASSERT_TRUE(chunk.ok());
            sound.insert(sound.end(), chunk->begin(), chunk->end());
        }
        EXPECT_EQ(sound, w.sound);
        const size_t row = 3 * static_cast<size_t>(c.format.width);
        std::vector<uint8_t> topDown(row * static_cast<size_t>(c.format.height));
        for (size_t f = 0; f < w.pictures.size(); ++f) {
            ASSERT_TRUE(reader->ReadFrame(f, topDown).ok());
            for (size_t y = 0; y < static_cast<size_t>(c.format.height); ++y) {
                const size_t from = (static_cast<size_t>(c.format.height) - 1 - y) * row;
                EXPECT_TRUE(std::equal(topDown.begin() + y * row, topDown.begin() + (y + 1) * row,
                                       w.pictures[f].begin() + from))
                    << "frame " << f << " row " << y;
            }
        }
    }
}

TEST(StreamAviTarget, RefusesWhatAnAviFileCannotHold) {
    EXPECT_FALSE(CheckStreamAvi({.frames = 1000, .width = 640, .height = 400}));
    EXPECT_TRUE(CheckStreamAvi({.frames = 2000, .width = 1024, .height = 768}));
    EXPECT_TRUE(CheckStreamAvi({.frames = 0, .width = 640, .height = 400}));
}

}  // namespace
}  // namespace rw
