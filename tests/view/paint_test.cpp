// Painting: the background modes and the placement of the frame, read from
// the composed PaintBuffer (and once from the widget's own output).
#include "view_test_util.h"

#include <QImage>
#include <QPixmap>

namespace mirel::test {
namespace {

constexpr uint32_t Back = 0xFF123456u;

uint32_t Pattern(int32_t x, int32_t y) { return 0xFF00007Fu | uint32_t(x) << 16 | uint32_t(y) << 8; }

void AssignPattern(TPicture& picture, int32_t w, int32_t h)
{
    TBitmap b(w, h);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x)
            b.SetPixel(x, y, Pattern(x, y));
    picture.Assign(b);
}

class ViewPaint : public ::testing::Test {
protected:
    void SetUp() override
    {
        view_.SetAutoSize(false);
        view_.SetColor(QColor::fromRgb(Back));
        view_.resize(200, 100);
        ShowExposed(view_);
    }

    const TBitmap& Painted()
    {
        view_.repaint();
        return view_.PaintBuffer();
    }

    // Shows the picture at once, as the last frame of a one-frame transition.
    void ShowPicture()
    {
        view_.SetThreaded(false);
        view_.SetStep(100);
        view_.SetDelay(0);
        view_.Execute();
        ASSERT_FALSE(view_.Busy());
    }

    TTransitionView view_;
};

TEST_F(ViewPaint, PlainColourWithoutPictures)
{
    const TBitmap& b = Painted();
    ASSERT_EQ(b.Width(), 200);
    ASSERT_EQ(b.Height(), 100);
    EXPECT_TRUE(AllPixels(b, b.BoundsRect(), Back));

    // A background picture without a mode shows nothing of itself.
    AssignPattern(view_.BgPicture(), 64, 64);
    view_.SetBgMode(bmNone);
    EXPECT_TRUE(AllPixels(Painted(), b.BoundsRect(), Back));
}

// 64 x 64 gives 2 rows of 4 tiles, cut at the edges; 3 x 5 tiles are many.
class ViewPaintTiled : public ViewPaint, public ::testing::WithParamInterface<std::pair<int, int>> {};

TEST_P(ViewPaintTiled, RepeatsTheTileFromTheCorner)
{
    const auto [tw, th] = GetParam();
    AssignPattern(view_.BgPicture(), tw, th);
    const TBitmap& b = Painted();
    for (int32_t y = 0; y < b.Height(); ++y)
        for (int32_t x = 0; x < b.Width(); ++x)
            ASSERT_EQ(b.Pixel(x, y), Pattern(x % tw, y % th)) << x << "," << y;
}

INSTANTIATE_TEST_SUITE_P(Sizes, ViewPaintTiled,
                         ::testing::Values(std::pair{64, 64}, std::pair{3, 5}, std::pair{250, 7},
                                           std::pair{1, 1}));

TEST_F(ViewPaint, StretchedBackgroundTakesTheControlsShape)
{
    TPicture bg;
    FillQuadrants(bg, 2, 2);
    view_.SetBgPicture(&bg);
    view_.SetBgMode(bmStretched);
    const TBitmap& b = Painted();
    EXPECT_TRUE(AllPixels(b, {0, 0, 100, 50}, QuadTL));
    EXPECT_TRUE(AllPixels(b, {100, 0, 200, 50}, QuadTR));
    EXPECT_TRUE(AllPixels(b, {0, 50, 100, 100}, QuadBL));
    EXPECT_TRUE(AllPixels(b, {100, 50, 200, 100}, QuadBR));
}

TEST_F(ViewPaint, CentredBackgroundLargerOrSmallerThanTheControl)
{
    view_.SetBgMode(bmCentered);
    AssignPattern(view_.BgPicture(), 300, 200);
    const TBitmap& large = Painted();
    EXPECT_EQ(large.Pixel(0, 0), Pattern(50, 50));
    EXPECT_EQ(large.Pixel(199, 99), Pattern(249, 149));

    AssignPattern(view_.BgPicture(), 50, 50);
    const TBitmap& small = Painted();
    EXPECT_EQ(small.Pixel(75, 25), Pattern(0, 0));
    EXPECT_EQ(small.Pixel(124, 74), Pattern(49, 49));
    EXPECT_EQ(small.Pixel(74, 25), Back);
    EXPECT_EQ(small.Pixel(125, 74), Back);
}

TEST_F(ViewPaint, DisplayAtItsOwnSizeOrCentred)
{
    view_.resize(800, 600);
    FillQuadrants(view_.Picture(), 400, 300);
    ShowPicture();
    const TBitmap& plain = Painted();
    EXPECT_TRUE(AllPixels(plain, {0, 0, 200, 150}, QuadTL));
    EXPECT_TRUE(AllPixels(plain, {200, 150, 400, 300}, QuadBR));
    EXPECT_TRUE(AllPixels(plain, {400, 0, 800, 600}, Back));
    EXPECT_TRUE(AllPixels(plain, {0, 300, 400, 600}, Back));

    view_.SetCenter(true);
    const TBitmap& centred = Painted();
    EXPECT_TRUE(AllPixels(centred, {200, 150, 400, 300}, QuadTL));
    EXPECT_TRUE(AllPixels(centred, {400, 300, 600, 450}, QuadBR));
    EXPECT_TRUE(AllPixels(centred, {0, 0, 800, 150}, Back));
    EXPECT_TRUE(AllPixels(centred, {600, 150, 800, 450}, Back));

    // What reached the widget is what was composed.
    const QImage shown = view_.grab().toImage();
    EXPECT_EQ(shown.pixel(300, 200) | 0xFF000000u, QuadTL);
    EXPECT_EQ(shown.pixel(100, 100) | 0xFF000000u, Back);
}

TEST_F(ViewPaint, DisplayStretchedWithAndWithoutItsAspect)
{
    view_.resize(1000, 500);
    FillQuadrants(view_.Picture(), 400, 300);
    ShowPicture();
    view_.SetStretch(true);
    const TBitmap& full = Painted();
    EXPECT_TRUE(AllPixels(full, {0, 0, 500, 250}, QuadTL));
    EXPECT_TRUE(AllPixels(full, {500, 0, 1000, 250}, QuadTR));
    EXPECT_TRUE(AllPixels(full, {0, 250, 500, 500}, QuadBL));
    EXPECT_TRUE(AllPixels(full, {500, 250, 1000, 500}, QuadBR));

    // (166, 0, 833, 500), with the background left and right.
    view_.SetStretchFine(true);
    const TBitmap& fine = Painted();
    EXPECT_TRUE(AllPixels(fine, {0, 0, 166, 500}, Back));
    EXPECT_TRUE(AllPixels(fine, {833, 0, 1000, 500}, Back));
    EXPECT_TRUE(AllPixels(fine, {168, 0, 498, 248}, QuadTL));
    EXPECT_TRUE(AllPixels(fine, {502, 252, 832, 500}, QuadBR));
}

TEST_F(ViewPaint, ClearedDisplayShowsTheBackgroundAlone)
{
    FillQuadrants(view_.Picture(), 50, 40);
    ShowPicture();
    EXPECT_EQ(Painted().Pixel(10, 10), QuadTL);
    view_.Clear();
    EXPECT_TRUE(AllPixels(Painted(), {0, 0, 200, 100}, Back));
}

} // namespace
} // namespace mirel::test
