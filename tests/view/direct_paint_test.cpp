// The widget paints straight from its frame and its background: what
// reaches the screen must be what the composed PaintBuffer shows, in every
// placement and background mode.
#include "view_test_util.h"

#include "tests/frame_test_util.h"

#include "effects/random.h"

#include <QPaintEvent>
#include <QScreen>

namespace mirel::test {
namespace {

constexpr uint32_t Back = 0xFF204060u;

struct TPaintCase {
    const char* Name;
    TBackgroundMode Mode;
    int BgSize;
    bool Center, Stretch, StretchFine;
};

// A 300 x 200 control on Back, with a background picture of bgSize (none
// at 0) in mode, placed as asked.
void Configure(TTransitionView& view, TBackgroundMode mode, int bgSize, bool center, bool stretch)
{
    view.SetAutoSize(false);
    view.SetColor(QColor::fromRgb(Back));
    view.resize(300, 200);
    if (bgSize > 0)
        FillQuadrants(view.BgPicture(), bgSize, bgSize * 3 / 4);
    view.SetBgMode(mode);
    view.SetCenter(center);
    view.SetStretch(stretch);
}

class ViewDirectPaint : public ::testing::TestWithParam<TPaintCase> {
protected:
    // The case's control on screen, showing the quadrants (120 x 90) after
    // a transition of one step.
    void ShowQuadrants(TTransitionView& view) const
    {
        const TPaintCase& c = GetParam();
        Configure(view, c.Mode, c.BgSize, c.Center, c.Stretch);
        view.SetStretchFine(c.StretchFine);
        FillQuadrants(view.Picture(), 120, 90);
        ShowExposed(view);
        view.SetThreaded(false);
        view.SetStep(100);
        view.Execute();
    }
};

TEST_P(ViewDirectPaint, ScreenEqualsTheComposedControl)
{
    const TPaintCase& c = GetParam();
    TTransitionView view;
    ShowQuadrants(view);

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

// A frame drawn over the last one is painted only where it changed: what
// reaches the screen after each frame is the whole control freshly painted,
// in each placement, for reveals, a shape, a stretch of the whole frame and
// a style that draws every frame whole.
TEST_P(ViewDirectPaint, FramesPaintedInPartLeaveTheScreenWhole)
{
#if defined(__SANITIZE_THREAD__)
    // Qt scales the frame onto the screen on threads of its own, whose
    // hand-over ThreadSanitizer cannot see in the uninstrumented Qt.
    if (GetParam().Stretch)
        GTEST_SKIP() << "the screen of a stretched frame is read across Qt's own threads";
#endif
    TTransitionView view;
    ShowQuadrants(view);
    TBitmap next(120, 90);
    FillCoordinates(next);
    view.SetManual(true);
    for (const int style : {5, 23, 51, 86, 16, 118}) {
        view.Picture().Assign(next);
        view.SetStyle(style);
        view.Execute();
        for (const int progress : {10, 30, 31, 60, 45, 97}) {
            view.SetProgress(progress);
            const QImage screen =
                view.screen()->grabWindow(view.winId()).toImage().convertToFormat(QImage::Format_RGB32);
            const QImage painted = view.grab().toImage().convertToFormat(QImage::Format_RGB32);
            ASSERT_EQ(screen.size(), view.size());
            ASSERT_EQ(screen, painted) << "style " << style << ", progress " << progress;
        }
        view.Stop();
        next.Assign(view.Display());
        next.Canvas().BrushColor = 0xFF000000u | uint32_t(style) << 16;
        next.Canvas().FillArea({0, 0, 30, 90});
    }
}

// A transition starts from what the control showed: its old screen is the
// composed control cut at the new picture's place, Color beyond the control.
// The capture goes straight into the old screen, without a bitmap of the
// control's size, unless the frame is stretched.
struct TStartCase {
    const char* Name;
    TBackgroundMode Mode;
    int BgSize;
    bool Center, Stretch;
    int32_t NewW, NewH;
    bool Bare;
};

class ViewTransitionStart : public ::testing::TestWithParam<TStartCase> {};

TEST_P(ViewTransitionStart, OldScreenIsTheShownControlAtTheNewPlace)
{
    const TStartCase& c = GetParam();
    const auto configure = [&](TTransitionView& view) { Configure(view, c.Mode, c.BgSize, c.Center, c.Stretch); };
    TTransitionView view;
    configure(view);
    view.SetOverDraw(!c.Bare);
    FillQuadrants(view.Picture(), 120, 90);
    ShowExposed(view);
    view.SetThreaded(false);
    view.SetStep(100);
    view.Execute();

    // The control as shown (over-drawing off: the background alone, as an
    // unpainted control composes it), inside a margin of Color, so that a
    // place reaching beyond the control can be cut from it too.
    constexpr int32_t M = 400;
    TBitmap shown(300 + 2 * M, 200 + 2 * M, Back);
    TTransitionView empty;
    configure(empty);
    shown.Canvas().DrawBitmap(M, M, c.Bare ? empty.PaintBuffer() : view.PaintBuffer());
    TRect place{0, 0, c.NewW, c.NewH};
    if (c.Center)
        OffsetRect(place, (300 - c.NewW) / 2, (200 - c.NewH) / 2);
    const TRect source = c.Stretch ? TRect{0, 0, 300, 200} : place;
    TBitmap expected(c.NewW, c.NewH);
    expected.Canvas().CopyArea(expected.BoundsRect(), shown.Canvas(),
                               {source.Left + M, source.Top + M, source.Right + M, source.Bottom + M});

    TBitmap captured;
    view.OnStart = [&](QObject*, TBitmap&, TBitmap& screen) { captured.Assign(screen); };
    Fill(view.Picture(), c.NewW, c.NewH, 0xFF808080u);
    view.SetManual(true);
    view.Execute();
    ASSERT_TRUE(view.Busy());
    EXPECT_TRUE(SameBitmaps(captured, expected));
    view.Stop();
}

INSTANTIATE_TEST_SUITE_P(
    Modes, ViewTransitionStart,
    ::testing::Values(TStartCase{"Plain", bmNone, 0, false, false, 200, 150, false},
                      TStartCase{"LargerThanTheControl", bmNone, 0, false, false, 500, 260, false},
                      TStartCase{"Tiled", bmTiled, 64, false, false, 80, 60, false},
                      TStartCase{"CentredOnCentredBg", bmCentered, 400, true, false, 160, 120, false},
                      TStartCase{"CentredLargerOnTiles", bmTiled, 48, true, false, 420, 330, false},
                      TStartCase{"CentredSmallerBare", bmStretched, 64, true, false, 90, 70, true},
                      TStartCase{"Stretched", bmTiled, 32, false, true, 150, 100, false}),
    [](const auto& info) { return std::string(info.param.Name); });

// A transition holds four bitmaps at the picture's size: the picture, its
// copy for the transition, the old screen and the frame. A control that
// follows the picture's size (AutoSize) adds none of the control's size.
// A transition owns only the bitmaps it draws: the transition's copy of the
// picture shares its pixels, the old screen shares the frame on show when
// that frame covers it, and the last frame shares the picture.
TEST(ViewTransitionMemory, ATransitionOwnsOnlyTheBitmapsItDrawsOn)
{
    for (const bool threaded : {false, true}) {
        TTransitionView view;
        FillQuadrants(view.Picture(), 100, 80);
        ShowExposed(view);
        view.SetThreaded(false);
        view.SetStep(100);
        view.Execute();

        constexpr int32_t W = 1600, H = 1200;
        constexpr size_t Picture = size_t(W) * H * 4;
        FillQuadrants(view.Picture(), W, H);
        ASSERT_EQ(view.width(), W);
        size_t before = TBitmap::PixelBytes();
        TBitmap::ResetPeakPixelBytes();
        view.SetThreaded(threaded);
        view.SetStep(10);
        view.SetDelay(1);
        view.Execute();
        ASSERT_TRUE(WaitUntil([&] { return !view.Busy(); }));
        // Beside the picture held before: the old screen and the frame, and
        // for a moment the old frame (100 x 80) as the frame grows.
        EXPECT_LE(TBitmap::PeakPixelBytes() - before, 2 * Picture + 100 * 80 * 4) << "threaded " << threaded;
        // Afterwards the frame is the picture.
        EXPECT_LE(TBitmap::PixelBytes(), before) << "threaded " << threaded;

        // A picture of the same size after it: the old screen is the frame
        // on show, and the transition draws on no bitmap of its own: its
        // frames are drawn where they are painted (the reveal over the last
        // one there, the fade composed). First the window system's answer
        // to the window's growth (a repaint of the whole window, which
        // would build the rest of a transition into Display).
        ASSERT_TRUE(WaitUntil([&] { return view.windowHandle()->size() == QSize(W, H); }));
        view.repaint();
        for (const int style : {5, 118}) {
            view.SetStyle(style);
            FillQuadrants(view.Picture(), W, H);
            before = TBitmap::PixelBytes();
            TBitmap::ResetPeakPixelBytes();
            view.Execute();
            ASSERT_TRUE(WaitUntil([&] { return !view.Busy(); }));
            EXPECT_EQ(TBitmap::PeakPixelBytes() - before, 0u)
                << "threaded " << threaded << ", style " << style;
        }
    }
}

// A 200 x 150 control at (37, 21) in a 260 x 190 window of Back, and a
// widget of the style sheet overStyle stacked over part of it, at (150, 100)
// in the window, 60 x 50, hidden until shown.
struct TControlInWindow {
    QWidget Window;
    TTransitionView View{&Window};
    QWidget Over{&Window};

    explicit TControlInWindow(const char* overStyle)
    {
        Window.resize(260, 190);
        Window.setStyleSheet("background: #204060");
        View.SetAutoSize(false);
        View.setGeometry(37, 21, 200, 150);
        Over.setGeometry(150, 100, 60, 50);
        Over.setStyleSheet(overStyle);
        Over.hide();
        Over.raise();
    }
};

// The area of every paint event a widget gets, united, since last cleared.
struct TPaintedArea : QObject {
    QRegion Area;
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            Area += static_cast<QPaintEvent*>(event)->region();
        return false;
    }
};

// Ends the transition at hand, shows old again at once and leaves the control
// to be stepped by hand, four percent a step.
void ShowAgainStepByHand(TTransitionView& view, const TBitmap& old)
{
    view.Stop();
    view.Picture().Assign(old);
    view.SetStep(100);
    view.SetManual(false);
    view.SetStyle(1);
    view.Execute();
    view.SetStep(4);
    view.SetManual(true);
}

// The styles with a compose form, with no frame handler, are composed
// by the paint straight where it paints: in a window, at the control's place
// there, under a sibling that covers part of it, from pictures with alpha
// or without, each frame on screen is the frame the style draws, and
// Display is that frame when asked for. Composed that way, the frames take
// no bitmap of their own.
TEST(ViewComposedFrames, FramesComposedWherePaintedAreTheStyleFrames)
{
    for (const bool covered : {false, true})
        for (const uint32_t alpha : {0xFF000000u, 0x80000000u}) {
            TControlInWindow scene("background: #ff00ff");
            QWidget& window = scene.Window;
            TTransitionView& view = scene.View;
            scene.Over.setVisible(covered);
            TBitmap old(200, 150), image(200, 150);
            FillCoordinates(image);
            FillOtherColours(old, image);
            for (int32_t y = 0; y < 150; ++y)
                for (int32_t x = 0; x < 200; ++x)
                    image.SetPixel(x, y, (image.Pixel(x, y) & 0xFFFFFF) | alpha);
            view.Picture().Assign(old);
            ShowExposed(window);
            view.SetThreaded(false);
            view.SetStep(100);
            view.Execute();
            view.SetManual(true);
            const std::string where = std::string(covered ? "covered" : "uncovered") +
                                      (alpha == 0xFF000000u ? ", new picture opaque" : ", with alpha");
            for (const int style : {3, 13, 47, 118, 121, 128, 131, 134}) {
                view.Picture().Assign(image);
                view.SetStyle(style);
                const size_t before = TBitmap::PixelBytes();
                view.Execute();
                for (const int progress : {1, 37, 99}) {
                    view.SetProgress(progress);
                    // (Asked for below, Display takes the frame.)
                    if (progress == 1) {
                        EXPECT_EQ(TBitmap::PixelBytes(), before) << where << ", style " << style;
                    }
                    const QImage screen = window.screen()->grabWindow(window.winId()).toImage();
                    TBitmap want;
                    want.Assign(old);
                    DrawEffectFrame(want, image, style, 100, progress);
                    int wrong = 0;
                    for (int32_t y = 0; y < 150; ++y)
                        for (int32_t x = 0; x < 200; ++x) {
                            const bool under =
                                covered && x + 37 >= 150 && x + 37 < 210 && y + 21 >= 100 && y + 21 < 150;
                            const uint32_t shown = screen.pixel(x + 37, y + 21) | 0xFF000000u;
                            wrong += shown != (under ? 0xFFFF00FFu : want.Pixel(x, y) | 0xFF000000u);
                        }
                    EXPECT_EQ(wrong, 0) << where << ", style " << style << ", progress " << progress;
                    EXPECT_EQ(screen.pixel(20, 10) | 0xFF000000u, 0xFF204060u) << where;
                    // Rendered into an image (as the Quick item renders it),
                    // the frame's pixels are there as they are, as the
                    // painter draws them there.
                    for (const QImage::Format format : {QImage::Format_RGB32, QImage::Format_ARGB32_Premultiplied}) {
                        QImage rendered(200, 150, format);
                        view.render(&rendered);
                        int differ = 0;
                        for (int32_t y = 0; y < 150; ++y) {
                            const auto* row = reinterpret_cast<const uint32_t*>(rendered.constScanLine(y));
                            for (int32_t x = 0; x < 200; ++x)
                                differ += row[x] != want.Pixel(x, y);
                        }
                        EXPECT_EQ(differ, 0) << where << ", style " << style << ", format " << format;
                    }
                    EXPECT_TRUE(SameBitmaps(view.Display(), want)) << where << ", style " << style;
                }
                ShowAgainStepByHand(view, old);
            }
        }
}

// The other styles are drawn by the paint too, each frame over the one
// before where the window's backing store keeps it, with no bitmap of their
// own: the screen shows each style's frame whatever
// the order of the progress values and when the style changes on the way.
// Where the control shares its area with a translucent widget over it, or a
// part of it is painted again between frames, the frames are still the
// style's (drawn into Display from then on), and the widget over it is
// drawn once over each.
TEST(ViewScreenFrames, FramesDrawnOverTheLastWherePaintedAreTheStyleFrames)
{
    enum TCase { Alone, Overlaid, Repainted };
    for (const TCase c : {Alone, Overlaid, Repainted}) {
        TControlInWindow scene("background: rgba(255, 0, 255, 128)");
        QWidget& window = scene.Window;
        TTransitionView& view = scene.View;
        const QWidget& glass = scene.Over;
        scene.Over.setVisible(c == Overlaid);
        TBitmap old(200, 150), image(200, 150);
        FillCoordinates(image);
        FillOtherColours(old, image);
        view.Picture().Assign(old);
        ShowExposed(window);
        view.SetThreaded(false);
        view.SetStep(100);
        view.Execute();
        view.SetStep(4);
        view.SetManual(true);
        const char* name = c == Alone ? "alone" : c == Overlaid ? "overlaid" : "repainted";
        // A reveal, blocks, the random squares (which reseed the generator),
        // travelling rectangles, an uneven shred (drawn by chance: drawn
        // again for Display from the same numbers) and a sweep that has a
        // compose form (drawn over the last frame all the same, where only
        // its sides change), and a pivot (its turned picture an area it
        // computes itself, the old picture put back around it). On the way, a shred whose frames are too ragged
        // to follow, composed where it is painted, and (repainted) composed
        // again from the same numbers.
        TPaintedArea painted;
        view.installEventFilter(&painted);
        for (const int style : {5, 60, 127, 145, 65, 13, 119}) {
            view.Picture().Assign(image);
            view.SetStyle(style);
            const size_t before = TBitmap::PixelBytes();
            view.Execute();
            // Through the last frame (the new picture) and back.
            const std::pair<int, int> frames[] = {{style, 10}, {style, 35}, {style, 20},  {style, 60}, {78, 70},
                                                  {style, 80}, {style, 99}, {style, 100}, {style, 40}};
            for (const auto& [shown, progress] : frames) {
                if (c == Repainted && progress == 20)
                    view.repaint(50, 40, 30, 30);
                view.SetStyle(shown);
                const uint32_t seed = RandSeed(); // the shred's frame draws from here
                painted.Area = QRegion();
                view.SetProgress(progress);
                if (c == Alone && (((style == 5 || style == 13) && (progress == 20 || progress == 60)) ||
                                   (style == 5 && progress == 100))) {
                    // Over a last frame drawn over the one before: what
                    // changed is painted, not the whole (at the end, what
                    // the reveal had not shown yet).
                    EXPECT_FALSE((QRegion(view.rect()) - painted.Area).isEmpty())
                        << "style " << style << ", progress " << progress;
                }
                if (c == Repainted && shown == 78)
                    view.repaint();
                if (c == Alone) {
                    EXPECT_EQ(TBitmap::PixelBytes(), before) << name << ", style " << style;
                }
                TBitmap want;
                want.Assign(old);
                {
                    // The shred drew its numbers once, wherever it drew.
                    const uint32_t after = RandSeed();
                    const TRandomScope scope(seed);
                    DrawEffectFrame(want, image, shown, 4, progress);
                    EXPECT_EQ(after, scope.Seed()) << name << ", style " << style;
                }
                const QImage screen = window.screen()->grabWindow(window.winId()).toImage();
                int wrong = 0;
                for (int32_t y = 0; y < 150; ++y)
                    for (int32_t x = 0; x < 200; ++x) {
                        const QRgb on = screen.pixel(x + 37, y + 21) | 0xFF000000u, frame = want.Pixel(x, y) | 0xFF000000u;
                        if (c == Overlaid && glass.geometry().contains(x + 37, y + 21)) {
                            // Half magenta over the frame, once.
                            const auto near = [](int a, int b) { return std::abs(a - b) <= 3; };
                            wrong += !near(qRed(on), (255 + qRed(frame)) / 2) || !near(qGreen(on), qGreen(frame) / 2) ||
                                     !near(qBlue(on), (255 + qBlue(frame)) / 2);
                        } else {
                            wrong += on != frame;
                        }
                    }
                EXPECT_EQ(wrong, 0) << name << ", style " << style << " showing " << shown << ", progress "
                                    << progress;
                if (progress == 99) {
                    EXPECT_TRUE(SameBitmaps(view.Display(), want)) << name << ", style " << style;
                }
            }
            ShowAgainStepByHand(view, old);
        }
    }
}

// A transition that ends on screen leaves its picture there, and the next
// one, from that picture, draws its first frame over it. The screen shows
// every frame the style draws: after a transition that ended on its last
// frame, one stopped on a frame after passing through its last, and one
// whose picture was painted again before the next began.
TEST(ViewScreenFrames, TheNextTransitionStartsFromThePictureOnScreen)
{
    TControlInWindow scene("");
    QWidget& window = scene.Window;
    TTransitionView& view = scene.View;
    TBitmap pictures[3] = {TBitmap(200, 150), TBitmap(200, 150), TBitmap(200, 150)};
    FillCoordinates(pictures[0]);
    FillOtherColours(pictures[1], pictures[0]);
    pictures[2].Assign(pictures[0]);
    pictures[2].Canvas().BrushColor = 0xFF00FF00u;
    pictures[2].Canvas().FillArea(Rect(20, 20, 180, 130));
    view.Picture().Assign(pictures[0]);
    ShowExposed(window);
    view.SetThreaded(false);
    view.SetStep(100);
    view.Execute();
    view.SetStyle(5);
    view.SetManual(true);
    view.SetStep(4);
    const auto wrongOnScreen = [&](const TBitmap& want) {
        const QImage screen = window.screen()->grabWindow(window.winId()).toImage();
        int wrong = 0;
        for (int32_t y = 0; y < 150; ++y)
            for (int32_t x = 0; x < 200; ++x)
                wrong += (screen.pixel(x + 37, y + 21) | 0xFF000000u) != (want.Pixel(x, y) | 0xFF000000u);
        return wrong;
    };
    const std::vector<int> toTheEnd{8, 52, 100}, backFromIt{8, 100, 40};
    for (const auto& [to, progresses, repaint] :
         {std::tuple{1, toTheEnd, false}, {2, toTheEnd, false}, {0, backFromIt, false}, {1, toTheEnd, false},
          {2, toTheEnd, true}, {0, toTheEnd, false}}) {
        TBitmap from;
        from.Assign(view.Display());
        from.OwnPixels();
        view.Picture().Assign(pictures[to]);
        if (repaint)
            view.repaint();
        view.Execute();
        for (const int progress : progresses) {
            view.SetProgress(progress);
            TBitmap want;
            want.Assign(from);
            DrawEffectFrame(want, pictures[to], 5, 4, progress);
            EXPECT_EQ(wrongOnScreen(want), 0) << "to " << to << ", progress " << progress;
        }
        view.Stop();
    }

    // Cleared, with its picture, the control keeps none of the pixels the
    // last transition left on screen.
    {
        TBitmap last(200, 150);
        FillOtherColours(last, pictures[1]);
        view.Picture().Assign(last);
        view.Execute();
        view.SetProgress(52);
        view.SetProgress(100);
        view.Stop();
    }
    const size_t before = TBitmap::PixelBytes();
    view.Picture().Clear();
    view.clear();
    EXPECT_EQ(TBitmap::PixelBytes() + 200 * 150 * 4, before);
}

} // namespace
} // namespace mirel::test
