// CompressLcw, checked by an unpacker of the test's own.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tests/synth/lcw_reference.h"
#include "tools/synth/scene.h"
#include "tools/synth/vqa_synth.h"

namespace rw::synth {
namespace {

using test::UnpackLcwReference;

std::vector<uint8_t> Hex(std::initializer_list<int> bytes) {
    return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

// The unpacker itself must follow the format's worked examples, or nothing below means anything.
TEST(LcwReference, FollowsTheWorkedExamples) {
    struct Case {
        const char* name;
        std::vector<uint8_t> stream;
        std::vector<uint8_t> expected;
    };
    std::vector<uint8_t> wrapped(65535, 0x41);
    wrapped.insert(wrapped.end(), {0x42, 0x43, 0x41, 0x41, 0x41, 0x41});
    std::vector<uint8_t> wrapStream =
        Hex({0xFE, 0xFF, 0xFF, 0x41, 0x82, 0x42, 0x43, 0x10, 0x01, 0x80});
    const Case cases[] = {
        {"literal then relative", Hex({0x81, 0x41, 0x00, 0x01, 0x80}),
         Hex({0x41, 0x41, 0x41, 0x41})},
        {"relative distance 2", Hex({0x82, 0x41, 0x42, 0x10, 0x02, 0x80}),
         Hex({0x41, 0x42, 0x41, 0x42, 0x41, 0x42})},
        {"overlapping short absolute", Hex({0x83, 0x41, 0x42, 0x43, 0xC0, 0x01, 0x00, 0x80}),
         Hex({0x41, 0x42, 0x43, 0x42, 0x43, 0x42})},
        {"fill then long copy", Hex({0xFE, 0x05, 0x00, 0x5A, 0xFF, 0x02, 0x00, 0x03, 0x00, 0x80}),
         std::vector<uint8_t>(7, 0x5A)},
        {"end only", Hex({0x80}), {}},
        {"fill of 256", Hex({0xFE, 0x00, 0x01, 0x41, 0x80}), std::vector<uint8_t>(256, 0x41)},
        {"relative copy past 64 KiB wraps", wrapStream, wrapped},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto r = UnpackLcwReference(c.stream);
        ASSERT_TRUE(r.has_value());
        EXPECT_EQ(r->data, c.expected);
        EXPECT_EQ(r->consumed, c.stream.size());
    }
    EXPECT_FALSE(UnpackLcwReference(Hex({0x81, 0x41})).has_value()) << "no end command";
    EXPECT_FALSE(UnpackLcwReference(Hex({0xC0, 0x00, 0x00, 0x80})).has_value())
        << "copy from nothing";
}

std::vector<uint8_t> RandomBytes(size_t n, uint64_t seed, int range = 256) {
    Random random(seed);
    std::vector<uint8_t> v(n);
    for (auto& b : v) b = static_cast<uint8_t>(random.Below(range));
    return v;
}

// Runs, near repeats, far repeats and noise, in one buffer: every command pays off somewhere.
std::vector<uint8_t> Varied() {
    std::vector<uint8_t> v = RandomBytes(300, 1);
    v.insert(v.end(), 400, 0x0F);                       // long run
    v.insert(v.end(), v.begin() + 10, v.begin() + 40);  // medium repeat from far back
    for (int k = 0; k < 20; ++k) {                      // short repeats close by
        v.insert(v.end(), {1, 2, 3, 4, 5, static_cast<uint8_t>(k)});
    }
    const std::vector<uint8_t> head(v.begin(), v.begin() + 250);
    v.insert(v.end(), head.begin(), head.end());  // long repeat
    auto noise = RandomBytes(200, 2);
    v.insert(v.end(), noise.begin(), noise.end());
    return v;
}

std::vector<uint8_t> PointerTableLike() {
    // Low bytes mostly counting up, high bytes mostly solid markers: what VPTZ carries.
    std::vector<uint8_t> v(16000);
    Random random(9);
    for (size_t i = 0; i < 8000; ++i) v[i] = static_cast<uint8_t>(i / 3 + random.Below(2));
    for (size_t i = 8000; i < 16000; ++i) v[i] = random.Below(5) == 0 ? 0x03 : 0x0F;
    return v;
}

std::vector<uint8_t> LongerThan64K() {
    // 150000 bytes whose later parts repeat pieces of the first 64 KiB and of the recent past.
    std::vector<uint8_t> v = RandomBytes(20000, 3, 16);
    while (v.size() < 150000) {
        const size_t at = v.size();
        v.insert(v.end(), 50, static_cast<uint8_t>(at));
        for (size_t k = 0; k < 700; ++k) {
            const uint8_t b = v[(at * 7 + k) % std::min<size_t>(at, 60000)];
            v.push_back(b);
        }
        for (size_t k = 0; k < 9; ++k) v.push_back(static_cast<uint8_t>(k * 3 + at));
        for (size_t k = 0; k < 9; ++k) v.push_back(static_cast<uint8_t>(k * 3 + at));
        // An echo of what lies 300 bytes before the same place in the first 64 KiB: what a
        // relative copy reaches once the output is longer than that.
        if (at >= 0x10000) {
            for (size_t k = 0; k < 8; ++k) {
                const uint8_t b = v[((v.size() & 0xFFFF) - 300) & 0xFFFF];
                v.push_back(b);
            }
        }
    }
    return v;
}

TEST(CompressLcw, UnpacksToItsInput) {
    struct Case {
        const char* name;
        std::vector<uint8_t> data;
    };
    const std::string text =
        "It is a period of civil war. Rebel spaceships, striking from a hidden base, have won "
        "their first victory against the evil Galactic Empire. During the battle, rebel spies "
        "managed to steal secret plans to the Empire's ultimate weapon.";
    const Case cases[] = {
        {"empty", {}},
        {"one byte", {0x80}},
        {"two bytes", {0xFE, 0xFF}},
        {"three equal bytes", {7, 7, 7}},
        {"zeros 100000", std::vector<uint8_t>(100000, 0)},
        {"exactly 65535 equal", std::vector<uint8_t>(65535, 0x41)},
        {"65536 equal", std::vector<uint8_t>(65536, 0x41)},
        {"noise", RandomBytes(5000, 4)},
        {"text", std::vector<uint8_t>(text.begin(), text.end())},
        {"four-colour noise", RandomBytes(30000, 5, 4)},
        {"varied", Varied()},
        {"pointer table", PointerTableLike()},
        {"longer than 64 KiB", LongerThan64K()},
        {"64 KiB noise then repeats",
         [] {
             auto v = RandomBytes(65600, 6);
             v.insert(v.end(), v.begin() + 100, v.begin() + 5000);
             v.insert(v.end(), v.end() - 3000, v.end());
             return v;
         }()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<uint8_t> packed = CompressLcw(c.data);
        auto r = UnpackLcwReference(packed);
        ASSERT_TRUE(r.has_value()) << "stream breaks a rule";
        EXPECT_EQ(r->consumed, packed.size()) << "bytes after the end command";
        ASSERT_EQ(r->data.size(), c.data.size());
        EXPECT_TRUE(r->data == c.data);
    }
}

TEST(CompressLcw, UsesEveryCommandKind) {
    const std::vector<uint8_t> data = Varied();
    auto r = UnpackLcwReference(CompressLcw(data));
    ASSERT_TRUE(r.has_value());
    const char* names[] = {"relative copy",       "end",  "literal run",
                           "short absolute copy", "fill", "long absolute copy"};
    for (int k = 0; k < test::kCommandKinds; ++k) {
        EXPECT_GT(r->commands[static_cast<size_t>(k)], 0u) << names[k];
    }
    EXPECT_EQ(r->commands[test::kEnd], 1u);
}

TEST(CompressLcw, CopiesPastTheFirst64KReachBack) {
    // Past 64 KiB only wrapped relative copies and absolute copies into the first 64 KiB work; a
    // compressor counting distances from the true end would fail the unpacker above.
    const std::vector<uint8_t> data = LongerThan64K();
    auto r = UnpackLcwReference(CompressLcw(data));
    ASSERT_TRUE(r.has_value());
    EXPECT_TRUE(r->data == data);
    EXPECT_GT(r->relativePast64K, 0u);
}

TEST(CompressLcw, ActuallyCompresses) {
    struct Case {
        const char* name;
        std::vector<uint8_t> data;
        size_t atMost;
    };
    const Case cases[] = {
        {"zeros 100000: two fills", std::vector<uint8_t>(100000, 0), 10},
        {"pointer table", PointerTableLike(), 8000},
        {"noise costs one byte in 63 more", RandomBytes(6300, 7), 6300 + 100 + 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_LE(CompressLcw(c.data).size(), c.atMost);
    }
}

}  // namespace
}  // namespace rw::synth
