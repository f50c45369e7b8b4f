// Bars and criss-cross reveals, drawn from a black old picture to a white new
// one. Most cases are described as the bars the frame should show: for row
// bands (bars along x) and column bands (bars along y), the even bars (at 0,
// 10, 20, ...) and the odd bars (at 5, 15, 25, ...) each span a stretch of
// their axis.
#include "effects/bars.h"
#include "frame_test_util.h"
#include "same_bitmaps.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace mirel::test {
namespace {

struct TSpan {
    int32_t From = 0, To = 0; // [From, To) along the bars; {} for no bars
};
constexpr TSpan None{};

// Every tenth bar from offset on, 5 pixels thick, spanning span.
TRegion Comb(bool rows, int32_t offset, TSpan span, int32_t across)
{
    std::vector<TRect> rects;
    for (int32_t c = offset; c < across; c += 10)
        rects.push_back(rows ? Rect(span.From, c, span.To, c + 5) : Rect(c, span.From, c + 5, span.To));
    return UnionOfRects(rects);
}

// Pixels where the frame and the expected region disagree, with the first one.
::testing::AssertionResult ShowsExactly(const TFrame& f, const TRegion& expected)
{
    int64_t wrong = 0;
    std::string first;
    for (int32_t y = 0; y < f.Display.Height(); ++y)
        for (int32_t x = 0; x < f.Display.Width(); ++x)
            if (f.IsNew(x, y) != expected.Contains(x, y) && wrong++ == 0) {
                std::ostringstream where;
                where << "(" << x << ", " << y << ") is " << (f.IsNew(x, y) ? "new" : "old");
                first = where.str();
            }
    if (wrong == 0)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << wrong << " pixels wrong, first " << first;
}

struct TBarsCase {
    const char* What;
    int Style;
    int32_t Progress;
    TSpan EvenRows, OddRows, EvenColumns, OddColumns;
};

// 800 x 600 at Step 4: Band 36, PW = 8 * Progress, PH = 6 * Progress.
TEST(Bars, FramesOn800x600)
{
    constexpr TSpan Across{0, 800}, Down{0, 600};
    const TBarsCase cases[] = {
        {"60 snaps the even bars full", 60, 48, Across, None, None, None},
        {"60 second phase, odd bars from the right", 60, 52, Across, {768, 800}, None, None},
        {"60 first phase", 60, 20, {480, 800}, None, None, None},
        {"60 at 1: bars 2 PW long", 60, 1, {784, 800}, None, None, None},
        {"61 at 1", 61, 1, {0, 16}, None, None, None},
        {"62 at 1", 62, 1, {0, 16}, None, None, None},
        {"63 at 1", 63, 1, {784, 800}, None, None, None},
        {"61 first phase", 61, 20, {0, 320}, None, None, None},
        {"62 odd bars from the right", 62, 52, Across, {768, 800}, None, None},
        {"63 odd bars from the left", 63, 52, Across, {0, 32}, None, None},
        {"64 two interleaved combs", 64, 50, {400, 800}, {0, 400}, None, None},
        {"64 is never snapped", 64, 96, {32, 800}, {0, 768}, None, None},
        {"71 from the bottom", 71, 25, None, None, {300, 600}, None},
        {"71 snaps", 71, 48, None, None, Down, None},
        {"72 from the top", 72, 25, None, None, {0, 300}, None},
        {"73 odd bars from the bottom", 73, 52, None, None, Down, {576, 600}},
        {"74 odd bars from the top", 74, 52, None, None, Down, {0, 24}},
        {"75 both ways at once", 75, 50, None, None, {300, 600}, {0, 300}},
        {"86 from bottom right", 86, 25, {400, 800}, None, {300, 600}, None},
        {"89 from top left", 89, 25, {0, 400}, None, {0, 300}, None},
        {"90 bounce, second phase", 90, 60, Across, {640, 800}, Down, {480, 600}},
        {"93 bounce, second phase", 93, 60, Across, {0, 160}, Down, {0, 120}},
        {"94 even rows only, columns both ways", 94, 90, {80, 800}, None, {60, 600}, {0, 540}},
        {"96 rows both ways, columns from the bottom", 96, 50, {400, 800}, {0, 400}, {300, 600}, None},
        {"98 from all sides", 98, 50, {400, 800}, {0, 400}, {300, 600}, {0, 300}},
    };
    for (const TBarsCase& t : cases) {
        SCOPED_TRACE(t.What);
        TRegion expected = Comb(true, 0, t.EvenRows, 600);
        UniteRgn(expected, Comb(true, 5, t.OddRows, 600));
        UniteRgn(expected, Comb(false, 0, t.EvenColumns, 800));
        UniteRgn(expected, Comb(false, 5, t.OddColumns, 800));
        EXPECT_TRUE(ShowsExactly(TFrame(800, 600, t.Style, t.Progress), expected));
    }
}

// 99 at 25: bars from the right and bottom (x >= 400, y >= 300) against bars
// from the left and top (x < 400, y < 300) meet only in two quarters, where
// an even row band crosses an even column band.
TEST(Bars, Style99ShowsSquaresInTwoQuarters)
{
    std::vector<TRect> squares;
    for (int32_t y = 0; y < 600; y += 10)
        for (int32_t x = 0; x < 800; x += 10)
            if ((x >= 400) == (y < 300))
                squares.push_back(Rect(x, y, x + 5, y + 5));
    EXPECT_TRUE(ShowsExactly(TFrame(800, 600, 99, 25), UnionOfRects(squares)));
}

// The last band position is below the picture's last full period; its bars
// still cover the rows left over at the bottom, in both phases.
TEST(Bars, LeftoverRowsAtTheBottomAreABar)
{
    for (const int32_t progress : {48, 52}) {
        SCOPED_TRACE(progress);
        const TFrame f(800, 603, 60, progress);
        for (int32_t y = 600; y < 603; ++y)
            EXPECT_TRUE(f.IsNew(0, y) && f.IsNew(799, y)) << y;
    }
}

// The grids are copied row by row unless the canvas needs their region: a
// clip region is selected, or a record watches what is drawn. All three ways
// draw the same pixels, and the record sees exactly those.
TEST(Bars, GridsDrawnRowByRowAreTheirRegion)
{
    std::vector<int> styles{99};
    for (int style = 71; style <= 98; ++style)
        if (style <= 75 || style >= 86)
            styles.push_back(style);
    for (const auto& [w, h] : {std::pair{320, 240}, {203, 117}})
        for (const int style : styles)
            for (const int32_t progress : {1, 13, 25, 48, 52, 77, 96}) {
                SCOPED_TRACE(testing::Message() << style << " at " << progress << ", " << w << "x" << h);
                const TFrame rows(w, h, style, progress);
                TBitmap clipped(w, h, Old), watched(w, h, Old);
                clipped.Canvas().SelectClipRgn(TRegion(clipped.BoundsRect()));
                DrawEffectFrame(clipped, rows.Image, style, 4, progress);
                TDrawRecord record;
                record.Watch(watched);
                DrawEffectFrame(watched, rows.Image, style, 4, progress);
                EXPECT_FALSE(record.Read() || record.WrittenOtherwise());
                EXPECT_TRUE(SameBitmaps(rows.Display, clipped));
                EXPECT_TRUE(SameBitmaps(rows.Display, watched));
                EXPECT_EQ(record.Drawn(), rows.NewArea());
            }
}

TEST(BarsRegion, EdgesOfThePhases)
{
    const TRegion picture = CreateRectRgn(0, 0, 800, 600);
    const auto inPicture = [&](TRegion g) {
        CombineRgn(g, g, picture, RGN_AND);
        return g;
    };
    const TRegion evenFull = Comb(true, 0, {0, 800}, 600);
    TRegion evenFullOddOne = evenFull;
    UniteRgn(evenFullOddOne, Comb(true, 5, {0, 1}, 600));

    // An extent of exactly the width is still the first phase; one more is
    // the second, whose group no snap completes.
    EXPECT_EQ(inPicture(BarsRegion(800, 0, 800, 600, 0, 2, 0)), evenFull);
    EXPECT_EQ(inPicture(BarsRegion(801, 0, 800, 600, 36, 2, 0)), evenFullOddOne);
    EXPECT_EQ(inPicture(BarsRegion(765, 0, 800, 600, 36, 2, 0)), evenFull);
    EXPECT_EQ(inPicture(BarsRegion(764, 0, 800, 600, 36, 2, 0)), Comb(true, 0, {0, 764}, 600));
    // Kind 3 grows both groups at once: beyond the side, both are complete.
    EXPECT_EQ(inPicture(BarsRegion(900, 900, 800, 600, 0, 3, 3)), picture);
}

TEST(BarsRegion, NoBarsGiveAnEmptyRegion)
{
    struct TCase {
        int32_t HorzExtent, VertExtent, Width, Height, HorzKind, VertKind;
    };
    const TCase cases[] = {
        {400, 300, 800, 600, 0, 0},   // no kinds
        {900, 700, 800, 600, 0, 0},   // no kinds, whatever the extents
        {400, 300, 800, 600, 6, -1},  // unknown kinds
        {0, 0, 800, 600, 1, 2},       // nothing travelled yet
        {0, 0, 0, 0, 1, 1},           // no picture
    };
    for (const TCase& t : cases)
        EXPECT_TRUE(BarsRegion(t.HorzExtent, t.VertExtent, t.Width, t.Height, 0, t.HorzKind, t.VertKind).IsEmpty())
            << t.HorzExtent << " " << t.HorzKind << " " << t.VertKind;
    // A tiny picture whose bars have not travelled yet keeps the old picture.
    EXPECT_TRUE(TFrame(11, 11, 60, 1).NewArea().IsEmpty());
}

} // namespace
} // namespace mirel::test
