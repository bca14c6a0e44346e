#include "vqa/picture_chunk.h"

#include <gtest/gtest.h>

#include "tests/support/bytes.h"
#include "tests/support/memory_file.h"

namespace rw {
namespace {

using Status = PictureChunkResult::Status;
using test::Bytes;
using test::Concat;
using test::Hex;
using test::PackLiterally;
using test::Text;
using test::U32Be;

// What a pointer table saw when it was handed over.
struct Seen {
    Bytes table;
    Bytes codebook;
    Bytes palette;
};

// (A sink that wants no tables must see the same walk; fuzz_picture_chunk compares the two.)
class RecordingSink final : public FrameImageSink {
  public:
    void OnPointerTable(std::span<const uint8_t> table, const VqaDecodeState& state) override {
        seen.push_back({Bytes(table.begin(), table.end()), state.codebook, state.palette});
    }

    std::vector<Seen> seen;
};

// A sub-chunk as a writer lays it out: identifier, big-endian size, data, a pad byte after odd
// data.
Bytes Sub(std::string_view id, const Bytes& data, bool pad = true) {
    Bytes out = Concat({Text(id), U32Be(static_cast<uint32_t>(data.size())), data});
    if (pad && data.size() % 2 == 1) out.push_back(0);
    return out;
}

Bytes Part(uint8_t n) {
    return Bytes(8, static_cast<uint8_t>(0x10 + n));
}

// ---- The walk ----

struct DispatchCase {
    const char* name;
    Bytes data;
    int images;  // expected afterwards, with the state:
    Bytes palette;
    Bytes codebook = {};
    Status status = Status::Ok;
};

const Bytes kColours = Hex("01 02 03 3F 3E 3D");
const Bytes kOdd = Hex("01 02 03");
const Bytes kNone;
const Bytes kBook = Hex("01 01 02 02 03 03 04 04");

TEST(WalkPictureChunk, ActsOnTheThirdLetterAfterUnpacking) {
    const DispatchCase cases[] = {
        // A pad byte follows odd-sized data (if it is there), ending the chunk or not; only one is
        // skipped, so a second 00 begins an identifier (here 00 'Q' 'T' '0': a pointer table).
        {"PadByteEndsTheChunk", Sub("CPL0", kOdd), 0, kOdd},
        {"PadByteSkipped", Concat({Sub("CPL0", kOdd), Sub("VPT0", kBook)}), 1, kOdd},
        {"PadByteMissing", Concat({Sub("CPL0", kOdd, false), Sub("VPT0", kBook)}), 1, kOdd},
        {"SecondPadByteBeginsAnIdentifier",
         Concat({Hex("00 00"), Text("QT0"), U32Be(2), Hex("01 02")}), 1, kNone},
        // Without the 'Z' the bytes stand as they are, even when they look packed.
        {"PlainFullCodebookNotUnpacked", Sub("CBF0", PackLiterally(kBook)), 0, kNone,
         PackLiterally(kBook)},
        {"FirstLettersPlayNoPart", Sub("XXLZ", PackLiterally(kColours)), 0, kColours},
        {"UnknownLetterNoEffect", Concat({Sub("ABCD", kBook), Sub("CPL0", kColours)}), 0, kColours},
        // Unpacked before the dispatch, whatever the third letter: bad data is damage.
        {"UnknownPackedBadData", Sub("XXQZ", Hex("00 01 80")), 0, kNone, kNone, Status::Damaged},
    };
    for (const DispatchCase& c : cases) {
        SCOPED_TRACE(c.name);
        VqaDecodeState state;
        RecordingSink sink;
        auto result = WalkPictureChunk(c.data, state, sink);
        EXPECT_EQ(result.status, c.status) << result.message;
        EXPECT_EQ(result.images, c.images);
        EXPECT_EQ(state.codebook, c.codebook);
        EXPECT_EQ(state.palette, c.palette);
    }
}

TEST(WalkPictureChunk, TwoPointerTablesGiveTwoImagesInOrder) {
    VqaDecodeState state;
    state.palette = Hex("01 01 01");
    RecordingSink sink;
    Bytes data = Concat({Sub("VPT0", Hex("0A 0B")), Sub("CPL0", Hex("02 02 02")),
                         Sub("VPTZ", PackLiterally(Hex("0C 0D")))});
    auto result = WalkPictureChunk(data, state, sink);
    ASSERT_EQ(result.status, Status::Ok) << result.message;
    EXPECT_EQ(result.images, 2);
    ASSERT_EQ(sink.seen.size(), 2u);
    EXPECT_EQ(sink.seen[0].table, Hex("0A 0B"));
    EXPECT_EQ(sink.seen[0].palette, Hex("01 01 01"));
    EXPECT_EQ(sink.seen[1].table, Hex("0C 0D"));
    EXPECT_EQ(sink.seen[1].palette, Hex("02 02 02"));
}

// Damage ends the walk with a message; a palette after it does not apply.
TEST(WalkPictureChunk, DamageEndsTheWalkWithAMessage) {
    for (const auto& [data, says] :
         {std::pair{Concat({Text("CBF0"), Hex("00 00")}), "runs past the end"},
          std::pair{Concat({Text("CBF0"), U32Be(0x100), kBook, Sub("CPL0", Hex("02 02 02"))}),
                    "declares 256 bytes"},
          std::pair{Concat({Sub("VPTZ", Hex("81 41 00 05 80")), Sub("CPL0", Hex("02 02 02"))}),
                    "'VPTZ'"}}) {
        VqaDecodeState state;
        state.palette = Hex("01 01 01");
        RecordingSink sink;
        auto result = WalkPictureChunk(data, state, sink);
        EXPECT_EQ(result.status, Status::Damaged) << says;
        EXPECT_NE(result.message.find(says), std::string::npos) << result.message;
        EXPECT_EQ(state.palette, Hex("01 01 01"));
        EXPECT_TRUE(sink.seen.empty());
    }
}

// ---- Codebook parts and the switch ----

// Runs one frame's chunk data and returns what its images saw.
std::vector<Seen> RunFrame(const Bytes& data, VqaDecodeState& state, Status expected = Status::Ok) {
    RecordingSink sink;
    auto result = WalkPictureChunk(data, state, sink);
    EXPECT_EQ(result.status, expected) << result.message;
    return sink.seen;
}

TEST(CodebookSwitch, EighthPartsFrameStillDrawsWithTheOldCodebook) {
    VqaDecodeState state;
    RunFrame(Sub("CBF0", kBook), state);
    Bytes assembled;
    for (uint8_t n = 0; n < 8; ++n) {
        auto seen = RunFrame(Concat({Sub("CBP0", Part(n)), Sub("VPT0", Hex("00 00"))}), state);
        assembled = Concat({assembled, Part(n)});
        ASSERT_EQ(seen.size(), 1u);
        EXPECT_EQ(seen[0].codebook, kBook) << "frame " << int{n};
    }
    EXPECT_EQ(state.codebook, assembled);
    EXPECT_EQ(state.partCount, 0);
    EXPECT_TRUE(state.pendingCodebook.empty());
    auto seen = RunFrame(Sub("VPT0", Hex("00 00")), state);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].codebook, assembled);
}

// Parts count across frames that draw nothing; the switch waits for the next image, and takes
// every part, more than eight too.
TEST(CodebookSwitch, PartsCountAcrossFramesUntilTheNextImage) {
    VqaDecodeState state;
    Bytes parts;
    for (const auto& frame : {std::vector<uint8_t>{0, 1, 2}, {3, 4}, {5, 6, 7, 8}}) {
        Bytes data;
        for (uint8_t n : frame) {
            data = Concat({data, Sub("CBP0", Part(n))});
            parts = Concat({parts, Part(n)});
        }
        RunFrame(data, state);
    }
    EXPECT_TRUE(state.codebook.empty());
    RunFrame(Sub("VPT0", Hex("00 00")), state);
    EXPECT_EQ(state.partCount, 0);
    EXPECT_EQ(state.codebook, parts);
}

TEST(CodebookSwitch, FullCodebookLeavesPendingPartsAlone) {
    VqaDecodeState state;
    Bytes parts;
    for (uint8_t n = 0; n < 4; ++n) {
        RunFrame(Concat({Sub("CBP0", Part(n)), Sub("VPT0", Hex("00 00"))}), state);
        parts = Concat({parts, Part(n)});
    }
    RunFrame(Sub("CBFZ", PackLiterally(kBook)), state);
    EXPECT_EQ(state.codebook, kBook);
    EXPECT_EQ(state.partCount, 4);
    EXPECT_EQ(state.pendingCodebook, parts);
    for (uint8_t n = 4; n < 8; ++n) {
        auto seen = RunFrame(Concat({Sub("CBP0", Part(n)), Sub("VPT0", Hex("00 00"))}), state);
        EXPECT_EQ(seen[0].codebook, kBook);
        parts = Concat({parts, Part(n)});
    }
    EXPECT_EQ(state.codebook, parts);
}

// One packed stream cut into eight pieces, as the original tools write codebook parts: the first
// piece has no end command and later pieces copy from bytes unpacked by earlier ones.
TEST(CodebookSwitch, OneStreamCutIntoPartsIsUnpackedJoined) {
    Bytes first16 = Hex("03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F 10 11 12");
    Bytes stream = Concat({Hex("90"), first16, Hex("FF 30 00 00 00 80")});  // 16 + 48 bytes
    Bytes expected;
    for (int i = 0; i < 4; ++i) expected = Concat({expected, first16});

    VqaDecodeState state;
    RunFrame(Sub("CBF0", kBook), state);
    for (size_t n = 0; n < 8; ++n) {
        size_t from = n * 3, to = std::min<size_t>(from + 3, stream.size());
        Bytes piece(stream.begin() + static_cast<ptrdiff_t>(from),
                    stream.begin() + static_cast<ptrdiff_t>(to));
        auto seen = RunFrame(Concat({Sub("CBPZ", piece), Sub("VPT0", Hex("00 00"))}), state);
        EXPECT_EQ(seen[0].codebook, kBook) << "frame " << n;
    }
    EXPECT_EQ(state.codebook, expected);
    EXPECT_EQ(state.partCount, 0);
    EXPECT_TRUE(state.pendingCompressed.empty());
}

TEST(CodebookSwitch, PartsThatUnpackNeitherWayKeepTheOldCodebook) {
    VqaDecodeState state;
    RunFrame(Sub("CBF0", kBook), state);
    const uint64_t generation = state.codebookGeneration;
    Bytes data;
    for (int n = 0; n < 8; ++n) data = Concat({data, Sub("CBPZ", Hex("00 01"))});
    RecordingSink sink;
    auto result = WalkPictureChunk(Concat({data, Sub("VPT0", Hex("00 00")), Sub("CPL0", kColours)}),
                                   state, sink);
    EXPECT_EQ(result.status, Status::Damaged);
    EXPECT_NE(result.message.find("codebook parts"), std::string::npos) << result.message;
    EXPECT_EQ(result.images, 1);  // the image went out before the switch failed
    EXPECT_EQ(state.codebook, kBook);
    EXPECT_EQ(state.codebookGeneration, generation);
    EXPECT_EQ(state.partCount, 0);
    EXPECT_TRUE(state.pendingCompressed.empty());
    EXPECT_TRUE(state.palette.empty());  // the walk stopped at the damage
}

// ---- Reading the chunk from the file ----

const Bytes kChunkData = Concat({Sub("CPL0", kColours), Sub("VPT0", Hex("00 00"))});
const uint32_t kChunkSize = static_cast<uint32_t>(kChunkData.size());

// A chunk read whole leaves the file just after it (a byte follows each such chunk here).
TEST(ReadPictureChunk, ReadsOrRefuses) {
    const struct {
        const char* name;
        Bytes file;
        Status status;
        int images;
    } cases[] = {
        {"NoPad", Concat({Text("VQFR"), U32Be(kChunkSize), kChunkData}), Status::Ok, 1},
        {"PadFirst", Concat({Hex("00"), Text("VQFR"), U32Be(kChunkSize), kChunkData}), Status::Ok,
         1},
        {"IdentifierNotCompared", Concat({Text("JUNK"), U32Be(kChunkSize), kChunkData}), Status::Ok,
         1},
        {"SizeZero", Concat({Text("VQFR"), U32Be(0)}), Status::Ok, 0},
        {"SizePastEnd", Concat({Text("VQFR"), U32Be(kChunkSize + 1), kChunkData}),
         Status::Truncated, 0},
        {"HeaderCut", Concat({Hex("00"), Text("VQFR"), Hex("00 00")}), Status::Truncated, 0},
        {"DamagedSubChunk",
         Concat({Text("VQFR"), U32Be(12), Text("VPTZ"), U32Be(4), Hex("00 01 02 80")}),
         Status::Damaged, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes bytes = c.status == Status::Ok ? Concat({c.file, Hex("77")}) : c.file;
        MemoryInputFile file(bytes, "movie.vqa");
        VqaDecodeState state;
        RecordingSink sink;
        auto result = ReadPictureChunk(file, state, sink);
        EXPECT_EQ(result.status, c.status) << result.message;
        EXPECT_EQ(result.images, c.images);
        if (c.status == Status::Ok) {
            EXPECT_EQ(file.Position(), static_cast<int64_t>(bytes.size() - 1));
        } else {
            EXPECT_NE(result.message.find("movie.vqa"), std::string::npos) << result.message;
        }
        if (c.status == Status::Truncated) {
            EXPECT_TRUE(state.palette.empty());  // nothing applied
            EXPECT_TRUE(sink.seen.empty());
        }
    }
}

}  // namespace
}  // namespace rw
