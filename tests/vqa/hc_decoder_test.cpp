// The frame decoder on hand-made files of 2 x 2 pixels in blocks of 1 x 1: the chunk walk, damage,
// and what it tells once.
#include "vqa/hc_decoder.h"

#include <gtest/gtest.h>

#include "tests/support/bytes.h"
#include "tests/support/memory_file.h"
#include "tests/support/tiny_vqa.h"
#include "vqa/hc_chunks.h"

namespace rw {
namespace {

using test::Bytes;
using test::Hex;

// Red, green, blue, white.
const Bytes kCodebook = Hex("88 00 7C E0 03 1F 00 FF 7F 80");
// Blocks 0 to 3 drawn with entries 0 to 3: a list (0, then 1 and 2), then entry 3 once.
const Bytes kDrawAll = Hex("00 40 01 02 03 60");

const Bytes kRed = Hex("00 00 FF"), kGreen = Hex("00 FF 00"), kBlue = Hex("FF 00 00"),
            kWhite = Hex("FF FF FF"), kBlack = Hex("00 00 00");

// Top row a b, bottom row c d, as the decoder holds them: bottom row first.
Bytes Picture(const Bytes& a, const Bytes& b, const Bytes& c, const Bytes& d) {
    return test::Concat({c, d, a, b});
}

Bytes Sub(const std::string& id, const Bytes& data) {
    Bytes b;
    test::AppendChunk(b, id, data);
    return b;
}

// A file whose frames are the given top-level chunks (already laid out), after a header of
// `version`, colours and codebook parts, a stray chunk and the frame index.
struct HandMade {
    Bytes file;
    std::vector<int64_t> offsets;
};

HandMade Build(const std::vector<Bytes>& frames, bool highColourHeader = true) {
    HandMade m;
    m.file = Hex("464F524D 00000000 57565141 56514844 0000002A");
    const Bytes fields = highColourHeader ? Hex("0300 0000 0000 0200 0200 01 01 0F 00 0000 0400")
                                          : Hex("0200 0000 0000 0200 0200 01 01 0F 08 0001 0400");
    m.file.insert(m.file.end(), fields.begin(), fields.end());
    m.file.resize(20 + 42, 0);
    test::PutLe(m.file, 24, static_cast<uint32_t>(frames.size()), 2);
    test::PutLe(m.file, 44, 22050, 2);
    m.file[46] = 1;
    m.file[47] = 16;
    test::AppendChunk(m.file, "CINF", Hex("01 02 03"));
    test::AppendChunk(m.file, "FINF", Bytes(frames.size() * 4, 0));
    const size_t index = m.file.size() - frames.size() * 4;
    for (size_t f = 0; f < frames.size(); ++f) {
        m.offsets.push_back(static_cast<int64_t>(m.file.size()));
        test::PutLe(m.file, index + 4 * f, static_cast<uint32_t>(m.file.size() / 2), 4);
        m.file.insert(m.file.end(), frames[f].begin(), frames[f].end());
    }
    return m;
}

Bytes Vqfr(const Bytes& inner) {
    return Sub("VQFR", inner);
}

// A frame as decoded, with a copy of the picture it showed.
struct Decoded {
    HighColourFrame frame;
    Bytes picture;
};

std::vector<Decoded> DecodeAll(const HandMade& m, bool highColourHeader = true) {
    MemoryInputFile file(m.file, "clip.vqa");
    auto offsets = ReadHighColourFrameIndex(file, static_cast<int32_t>(m.offsets.size()));
    EXPECT_TRUE(offsets.ok() && *offsets == m.offsets);
    HighColourProperties p{static_cast<int32_t>(m.offsets.size()), 2, 2, 1, 1};
    p.headerSaysHighColour = highColourHeader;
    HighColourDecoder decoder(p);
    std::vector<Decoded> frames(m.offsets.size());
    for (size_t f = 0; f < frames.size(); ++f) {
        decoder.DecodeFrame(file, m.offsets[f], frames[f].frame);
        frames[f].picture.assign(frames[f].frame.picture.begin(), frames[f].frame.picture.end());
    }
    return frames;
}

TEST(HighColourDecoder, ADamagedTableKeepsWhatItDrewAndTheRestOfThePicture) {
    const HandMade m = Build({
        Vqfr(test::Concat({Sub("CBFZ", kCodebook), Sub("VPTR", Hex("02 00 00 60"))})),
        Vqfr(Sub("VPTR", kDrawAll)),
        Vqfr(Sub("VPTR", Hex("01 60 01 80 02 60"))),  // green in block 0, then command 100
        Vqfr(Sub("VPTR", Hex("02 00 00 60"))),        // skip 2, red in block 2
    });
    const auto frames = DecodeAll(m);
    const Bytes expected[] = {
        Picture(kBlack, kBlack, kRed, kBlack), Picture(kRed, kGreen, kBlue, kWhite),
        Picture(kGreen, kGreen, kBlue, kWhite), Picture(kGreen, kGreen, kRed, kWhite)};
    for (size_t f = 0; f < frames.size(); ++f) {
        EXPECT_EQ(frames[f].picture, expected[f]) << f;
        EXPECT_EQ(frames[f].frame.damaged, f == 2) << f << ": " << frames[f].frame.damage;
    }
    EXPECT_NE(frames[2].frame.damage.find("unknown command 4"), std::string::npos)
        << frames[2].frame.damage;
}

// Sound, a stray chunk, a codebook container that does not count its last pad byte and a
// picture container that does; the sound of both frames, in file order.
TEST(HighColourDecoder, WalksEveryChunkUpToThePictureChunk) {
    const Bytes odd = Sub("MRK0", Hex("41"));  // 9 bytes and a pad
    Bytes vqfl = Sub("VQFL", test::Concat({Sub("CBFZ", kCodebook), odd}));
    test::PutLe(vqfl, 4, 0x1B000000u, 4);  // 27: without the pad
    const HandMade m = Build({
        test::Concat({Sub("SND2", Hex("74 37 07")), Sub("CAP0", Hex("43")), vqfl,
                      Vqfr(test::Concat({Sub("VPTR", kDrawAll), odd}))}),
        test::Concat({Sub("SND0", Hex("01 00 02 00")), Sub("SND2", Hex("F8")),
                      Vqfr(Sub("VPRZ", Hex("84 02 00 03 60 80")))}),
    });
    const auto frames = DecodeAll(m);
    ImaAdpcmState state;
    const Bytes first = DecodeImaAdpcm(Hex("74 37 07"), state);
    const Bytes second = test::Concat({Hex("01 00 02 00"), DecodeImaAdpcm(Hex("F8"), state)});
    EXPECT_EQ(frames[0].frame.sound, first);
    EXPECT_EQ(frames[1].frame.sound, second);
    EXPECT_EQ(frames[0].picture, Picture(kRed, kGreen, kBlue, kWhite));
    EXPECT_EQ(frames[1].picture, Picture(kRed, kGreen, kWhite, kWhite));
    for (const auto& f : frames) EXPECT_FALSE(f.frame.damaged) << f.frame.damage;
}

TEST(HighColourDecoder, DamagedChunksDamageTheFrameOnly) {
    Bytes tooLarge = Sub("SND2", Hex("00 00"));
    test::PutLe(tooLarge, 4, 0x00FFFFFFu, 4);
    const struct {
        const char* name;
        Bytes frame;
        const char* message;
    } cases[] = {
        {"ChunkPastTheEnd", test::Concat({Sub("SND0", Hex("05 00")), tooLarge}),
         "past the end of the file"},
        {"NoPointerTable", Vqfr(Sub("MRK0", Hex("00"))), "holds no pointer table"},
        {"EightBitTable", Vqfr(Sub("VPTZ", Hex("80"))), "8-bit pointer table"},
        {"SubChunkPastItsContainer", Vqfr(test::Cut(Sub("VPTR", kDrawAll), 12)), "declares 6"},
        {"CodebookDamaged", Vqfr(Sub("CBFZ", Hex("00 00 01 80"))), "cannot be unpacked"},
        {"NoPictureChunk", Sub("SND0", Hex("05 00")), "no whole chunk header"},
    };
    for (const auto& c : cases) {
        const HandMade m =
            Build({Vqfr(test::Concat({Sub("CBFZ", kCodebook), Sub("VPTR", kDrawAll)})), c.frame});
        const auto frames = DecodeAll(m);
        EXPECT_FALSE(frames[0].frame.damaged) << c.name;
        EXPECT_TRUE(frames[1].frame.damaged) << c.name;
        EXPECT_NE(frames[1].frame.damage.find(c.message), std::string::npos)
            << c.name << ": " << frames[1].frame.damage;
        EXPECT_EQ(frames[1].picture, Picture(kRed, kGreen, kBlue, kWhite)) << c.name;
    }
}

TEST(HighColourDecoder, TellsOnceOfSnd1AndOfChunksThatContradictTheHeader) {
    const Bytes frame = test::Concat({Sub("SND1", Hex("11 22")), Vqfr(Sub("VPTR", Hex("")))});
    const HandMade m = Build({frame, frame}, false);
    const auto frames = DecodeAll(m, false);
    EXPECT_TRUE(frames[0].frame.soundNotDecoded);
    EXPECT_TRUE(frames[0].frame.contradictsHeader);
    EXPECT_FALSE(frames[1].frame.soundNotDecoded);
    EXPECT_FALSE(frames[1].frame.contradictsHeader);
    for (const auto& f : frames) {
        EXPECT_TRUE(f.frame.sound.empty());
        EXPECT_FALSE(f.frame.damaged) << f.frame.damage;
    }
}

TEST(HighColourChunks, SubChunksAreReadWhileAWholeHeaderFits) {
    const struct {
        const char* name;
        Bytes container;
        std::vector<size_t> sizes;
        bool damaged;
    } cases[] = {
        {"PadThenNext", Hex("41414141 00000001 78 00 42424242 00000002 797A"), {1, 2}, false},
        {"LastPadNotCounted", Hex("41414141 00000001 78"), {1}, false},
        {"LastPadCounted", Hex("41414141 00000001 78 00"), {1}, false},
        {"MissingPad", Hex("41414141 00000001 78 42424242 00000000"), {1, 0}, false},
        {"ShortTail", Hex("41414141 00000000 42424242 000000"), {0}, false},
        {"PastTheContainer", Hex("41414141 00000000 42424242 00000009 00"), {0}, true},
    };
    for (const auto& c : cases) {
        const SubChunkList list = ReadSubChunks(c.container);
        std::vector<size_t> sizes;
        for (const SubChunk& sub : list.chunks) sizes.push_back(sub.data.size());
        EXPECT_EQ(sizes, c.sizes) << c.name;
        EXPECT_EQ(!list.damage.empty(), c.damaged) << c.name << ": " << list.damage;
    }
}

// The first frame's pointer table decides, whatever the header says; without one, the header.
TEST(HighColourDecoder, TheFirstPictureChunkDecidesTheKind) {
    const struct {
        const char* name;
        bool highColourHeader;
        Bytes firstFrame;
        PictureKind kind;
        bool told;
    } cases[] = {
        {"HighColourAsTheHeaderSays", true, Vqfr(Sub("VPRZ", Hex("80"))), PictureKind::HighColour,
         false},
        {"HighColourUnderAnEightBitHeader", false,
         test::Concat({Sub("SND2", Hex("00")), Vqfr(Sub("VPTR", Hex("")))}),
         PictureKind::HighColour, true},
        {"EightBitUnderAHighColourHeader", true, Vqfr(Sub("VPTZ", Hex("80"))),
         PictureKind::EightBit, true},
        {"NoTableTheHeaderDecides", false, Vqfr(Sub("CBFZ", kCodebook)), PictureKind::EightBit,
         false},
        {"NoPictureChunk", true, Sub("SND2", Hex("00")), PictureKind::HighColour, false},
    };
    for (const auto& c : cases) {
        const HandMade m = Build({c.firstFrame}, c.highColourHeader);
        MemoryInputFile file(m.file);
        auto fields = ReadVqaHeaderFields(file);
        ASSERT_TRUE(fields.ok());
        const PictureKindDecision d = DecideVideoKind(file, *fields);
        EXPECT_EQ(d.kind, c.kind) << c.name;
        EXPECT_EQ(d.contradictsHeader, c.told) << c.name;
    }
}

// The first sound chunk before the picture chunk names the video's sound.
TEST(HighColourDecoder, TheFirstSoundChunkNamesTheSound) {
    using S = SoundChunkKind;
    const std::pair<Bytes, S> cases[] = {
        {Vqfr(Sub("VPTR", Hex(""))), S::None},
        {test::Concat({Sub("CAP0", Hex("00")), Sub("SND0", Hex("00")), Sub("SND2", Hex("00")),
                       Vqfr(Sub("VPTR", Hex("")))}),
         S::Pcm},
        {test::Concat({Sub("SND1", Hex("00")), Vqfr(Sub("VPTR", Hex("")))}), S::Unsupported},
        {test::Concat({Sub("SND2", Hex("00")), Vqfr(Sub("VPTR", Hex("")))}), S::ImaAdpcm},
        {test::Concat({Vqfr(Sub("VPTR", Hex(""))), Sub("SND2", Hex("00"))}), S::None},
    };
    for (const auto& [frame, sound] : cases) {
        const HandMade m = Build({frame});
        MemoryInputFile file(m.file);
        const FrameProbe probe = ProbeFrame(file, m.offsets[0]);
        EXPECT_EQ(probe.sound, sound);
        EXPECT_EQ(probe.pointerTable, PictureKind::HighColour);
    }
}

TEST(HighColourDecoder, TheFrameIndexIsFoundAfterOtherChunks) {
    HandMade m = Build({Vqfr(Sub("VPTR", Hex("")))});
    MemoryInputFile file(m.file, "clip.vqa");
    EXPECT_FALSE(ReadHighColourFrameIndex(file, 2).ok());  // one entry for two frames
    m.file[62 + 11 + 1] = 'X';                             // FINF becomes FXNF
    MemoryInputFile renamed(m.file, "clip.vqa");
    auto missing = ReadHighColourFrameIndex(renamed, 1);
    ASSERT_FALSE(missing.ok());
    EXPECT_NE(missing.error().message.find("\"clip.vqa\""), std::string::npos);
}

}  // namespace
}  // namespace rw
