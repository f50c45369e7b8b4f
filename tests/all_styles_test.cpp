// Every style, at the ends and the middle of a transition, on ordinary and
// degenerate picture sizes: no fault, no clip left behind, Image untouched.
// Run under the sanitizer build, this is also the check that no procedure
// reads or writes outside its bitmaps.
#include "effects/catalogue.h"
#include "effects/random.h"
#include "frame_test_util.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace mirel::test {
namespace {

struct TSize {
    int32_t W, H;
};

uint64_t Checksum(const TBitmap& bmp)
{
    uint64_t sum = 1469598103934665603ull;
    for (int32_t y = 0; y < bmp.Height(); ++y)
        for (int32_t x = 0; x < bmp.Width(); ++x)
            sum = (sum ^ bmp.Pixel(x, y)) * 1099511628211ull;
    return sum;
}

class AllStyles : public ::testing::TestWithParam<int> {};

TEST_P(AllStyles, DrawsSanelyOnEverySize)
{
    const int style = GetParam();
    const std::vector<TSize> sizes = {{800, 600}, {1, 1}, {3, 700}, {700, 3}, {11, 11}, {2, 2}, {7, 3}};
    for (const TSize size : sizes)
        for (const uint32_t step : {1u, 4u, 100u})
            for (const int32_t progress : {1, 2, 50, 98, 99}) {
                SCOPED_TRACE(std::to_string(size.W) + "x" + std::to_string(size.H) + " step " +
                             std::to_string(step) + " progress " + std::to_string(progress));
                TBitmap display(size.W, size.H, Old), image(size.W, size.H);
                FillCoordinates(image);
                const uint64_t before = Checksum(image);
                Effects[style].Proc(display, image, image.BoundsRect(), step, progress);
                EXPECT_FALSE(display.Canvas().HasClipRgn());
                EXPECT_EQ(Checksum(image), before);
                EXPECT_EQ(display.Width(), size.W);
                EXPECT_EQ(display.Height(), size.H);
            }
}

INSTANTIATE_TEST_SUITE_P(Catalogue, AllStyles, ::testing::Range(1, MaxShowStyle + 1),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return "Style" + std::to_string(info.param);
                         });

} // namespace
} // namespace mirel::test
