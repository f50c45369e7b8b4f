// The widget paints straight from its frame and its background: what
// reaches the screen must be what the composed PaintBuffer shows, in every
// placement and background mode.
#include "view_test_util.h"

namespace mirel::test {
namespace {

constexpr uint32_t Back = 0xFF204060u;

struct TPaintCase {
    const char* Name;
    TBackgroundMode Mode;
    int BgSize;
    bool Center, Stretch, StretchFine;
};

class ViewDirectPaint : public ::testing::TestWithParam<TPaintCase> {};

TEST_P(ViewDirectPaint, ScreenEqualsTheComposedControl)
{
    const TPaintCase& c = GetParam();
    TTransitionView view;
    view.SetAutoSize(false);
    view.SetColor(QColor::fromRgb(Back));
    view.resize(300, 200);
    if (c.BgSize > 0)
        FillQuadrants(view.BgPicture(), c.BgSize, c.BgSize * 3 / 4);
    view.SetBgMode(c.Mode);
    view.SetCenter(c.Center);
    view.SetStretch(c.Stretch);
    view.SetStretchFine(c.StretchFine);
    FillQuadrants(view.Picture(), 120, 90);
    ShowExposed(view);
    view.SetThreaded(false);
    view.SetStep(100);
    view.Execute();

    const QImage shown = view.grab().toImage().convertToFormat(QImage::Format_RGB32);
    const TBitmap& composed = view.PaintBuffer();
    ASSERT_EQ(shown.width(), composed.Width());
    ASSERT_EQ(shown.height(), composed.Height());
    // The painter's scaling may place a stretched edge one pixel apart from
    // the surface's; everything else is identical.
    int differing = 0, picture = 0;
    for (int y = 0; y < shown.height(); ++y)
        for (int x = 0; x < shown.width(); ++x) {
            differing += (shown.pixel(x, y) | 0xFF000000u) != composed.Pixel(x, y);
            picture += (shown.pixel(x, y) | 0xFF000000u) == QuadBR;
        }
    EXPECT_GE(picture, 60 * 45); // the picture's quarter at least at its own size
    const int allowed = c.Stretch ? (shown.width() + shown.height()) * 2 : 0;
    EXPECT_LE(differing, allowed);
}

INSTANTIATE_TEST_SUITE_P(Modes, ViewDirectPaint,
                         ::testing::Values(TPaintCase{"Plain", bmNone, 0, false, false, false},
                                           TPaintCase{"Tiled", bmTiled, 64, false, false, false},
                                           TPaintCase{"StretchedBg", bmStretched, 64, true, false, false},
                                           TPaintCase{"CentredBg", bmCentered, 400, true, false, false},
                                           TPaintCase{"Stretch", bmTiled, 32, false, true, false},
                                           TPaintCase{"StretchFine", bmTiled, 32, false, true, true}),
                         [](const auto& info) { return std::string(info.param.Name); });

} // namespace
} // namespace mirel::test
