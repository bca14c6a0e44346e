#include <gtest/gtest.h>

#include "convert/output_names.h"
#include "convert/properties_text.h"
#include "tests/support/fixtures.h"
#include "tests/support/names.h"

namespace rw {
namespace {

using test::PrintTo;

using test::Props;

struct NameCase {
    const char* vqa;
    const char* avi;
    const char* mpg;
};
void PrintTo(const NameCase& c, std::ostream* os) {
    *os << c.vqa;
}
class OutputNames : public testing::TestWithParam<NameCase> {};

TEST_P(OutputNames, DropExactlyThreeCharacters) {
    EXPECT_EQ(AviPathFor(GetParam().vqa), GetParam().avi);
    EXPECT_EQ(MpegPathFor(GetParam().vqa), GetParam().mpg);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, OutputNames,
    testing::Values(NameCase{"/videos/intro.vqa", "/videos/intro.avi", "/videos/intro.mpg"},
                    NameCase{"/videos/INTRO.VQA", "/videos/INTRO.avi", "/videos/INTRO.mpg"},
                    NameCase{"/videos/movie", "/videos/moavi", "/videos/mompg"},
                    NameCase{"/d/x.vq", "/d/xavi", "/d/xmpg"}, NameCase{"x.avi", "x.avi", "x.mpg"},
                    NameCase{"ab", "avi", "mpg"}));

struct PropertiesCase {
    VqaProperties props;
    const char* videoLength;
    const char* outputSize;
    int64_t estimate;
};
void PrintTo(const PropertiesCase& c, std::ostream* os) {
    PrintTo(c.props, os);
}
class PropertyTextsTest : public testing::TestWithParam<PropertiesCase> {};

TEST_P(PropertyTextsTest, AsTheDialogShowsThem) {
    const auto& c = GetParam();
    const PropertyTexts t = FormatProperties(c.props);
    EXPECT_EQ(t.videoLength, c.videoLength);
    EXPECT_EQ(t.outputSize, c.outputSize);
    EXPECT_EQ(EstimatedOutputSize(c.props), c.estimate);
}

INSTANTIATE_TEST_SUITE_P(
    WorkedExamples, PropertyTextsTest,
    testing::Values(PropertiesCase{Props(1800, 320, 200, 22050), "02:00", "334.74 MB", 351001006},
                    PropertiesCase{Props(1, 320, 200, 22050), "00:00", "0.21 MB", 217594},
                    PropertiesCase{Props(899, 320, 200, 22050), "00:59", "167.20 MB", 175316818},
                    PropertiesCase{Props(900, 320, 200, 22050), "01:00", "167.38 MB", 175511806},
                    // Past the 32-bit range the estimate is still right.
                    PropertiesCase{Props(65535, 640, 400, 22050), "72:49", "48186.04 MB",
                                   50526721186}));

}  // namespace
}  // namespace rw
