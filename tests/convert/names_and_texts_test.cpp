#include <gtest/gtest.h>

#include "run/output_names.h"
#include "run/properties_text.h"
#include "tests/support/fixtures.h"
#include "tests/support/names.h"

namespace rw {
namespace {

using test::Props;

// The output names drop exactly three characters, whatever they are.
TEST(OutputNames, DropExactlyThreeCharacters) {
    const struct {
        const char *vqa, *avi, *mpg;
    } cases[] = {
        {"/videos/intro.vqa", "/videos/intro.avi", "/videos/intro.mpg"},
        {"/videos/INTRO.VQA", "/videos/INTRO.avi", "/videos/INTRO.mpg"},
        {"/videos/movie", "/videos/moavi", "/videos/mompg"},
        {"/d/x.vq", "/d/xavi", "/d/xmpg"},
        {"x.avi", "x.avi", "x.mpg"},
        {"ab", "avi", "mpg"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(AviPathFor(c.vqa), c.avi);
        EXPECT_EQ(MpegPathFor(c.vqa), c.mpg);
    }
}

TEST(PropertyTexts, AsTheDialogShowsThem) {
    const struct {
        VqaProperties props;
        const char *videoLength, *outputSize;
        int64_t estimate;
    } cases[] = {
        {Props(1800, 320, 200, 22050), "02:00", "334.74 MB", 351001006},
        {Props(1, 320, 200, 22050), "00:00", "0.21 MB", 217594},
        {Props(899, 320, 200, 22050), "00:59", "167.20 MB", 175316818},
        {Props(900, 320, 200, 22050), "01:00", "167.38 MB", 175511806},
        // Past the 32-bit range the estimate is still right.
        {Props(65535, 640, 400, 22050), "72:49", "48186.04 MB", 50526721186},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.props));
        const PropertyTexts t = FormatProperties(c.props);
        EXPECT_EQ(t.videoLength, c.videoLength);
        EXPECT_EQ(t.outputSize, c.outputSize);
        EXPECT_EQ(EstimatedOutputSize(c.props), c.estimate);
    }
}

}  // namespace
}  // namespace rw
