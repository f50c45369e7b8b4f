// Every style on ordinary and degenerate picture sizes, at several steps and
// across the progress range: no fault, no hang, no clip left behind, Image
// untouched, Display keeping its size. Run under the sanitizer build, this is
// also the check that no procedure reads or writes outside its bitmaps.
#include "effects/catalogue.h"

#include "frame_test_util.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace mirel::test {
namespace {

struct TSize {
    int32_t W, H;
    bool Large; // large pictures sample the progress range, small ones take all of it
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

TEST_P(AllStyles, DrawSanelyOnEverySizeStepAndProgress)
{
    const int style = GetParam();
    const TSize sizes[] = {{1, 1, false},   {2, 2, false},   {1, 999, false}, {999, 1, false},
                           {7, 3, false},   {45, 12, false}, {11, 11, false}, {3, 700, false},
                           {700, 3, false}, {801, 603, true}, {600, 800, true}};
    for (const TSize size : sizes) {
        TBitmap display(size.W, size.H), image(size.W, size.H), old(size.W, size.H, Old);
        FillCoordinates(image);
        const uint64_t before = Checksum(image);
        for (const uint32_t step : {1u, 4u, 37u, 100u})
            for (int32_t progress = 1; progress <= 99; progress += size.Large ? 7 : 1) {
                display.Assign(old);
                Effects[style].Proc(display, image, image.BoundsRect(), step, progress);
                const bool sane = !display.Canvas().HasClipRgn() && display.Width() == size.W &&
                                  display.Height() == size.H;
                ASSERT_TRUE(sane) << size.W << "x" << size.H << " step " << step << " progress " << progress;
            }
        EXPECT_EQ(Checksum(image), before) << size.W << "x" << size.H;
    }
}

INSTANTIATE_TEST_SUITE_P(Catalogue, AllStyles, ::testing::Range(1, MaxShowStyle + 1),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return "Style" + std::to_string(info.param);
                         });

} // namespace
} // namespace mirel::test
