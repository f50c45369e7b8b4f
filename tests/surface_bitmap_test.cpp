#include "surface/bitmap.h"
#include "surface/parallel.h"
#include "surface/region.h"

#include "frame_test_util.h"
#include "same_bitmaps.h"

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace mirel {
namespace {

using test::FillCoordinates;
using test::SourceX;
using test::SourceY;

TEST(Bitmap, ResizeKeepsWhatFits)
{
    TBitmap bmp(4, 3);
    FillCoordinates(bmp);
    bmp.SetSize(6, 2, clWhite);
    EXPECT_EQ(bmp.Width(), 6);
    EXPECT_EQ(SourceX(bmp.Pixel(3, 1)), 3);
    EXPECT_EQ(SourceY(bmp.Pixel(3, 1)), 1);
    EXPECT_EQ(bmp.Pixel(5, 0), clWhite);
    EXPECT_EQ(bmp.BytesPerLine(), 24);
}

long ResidentKiB()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

// A large block let go is taken again by the next bitmap of its size, which
// still starts as asked: black is black, not the last bitmap's pixels.
TEST(Bitmap, ANewBitmapStartsFilledWhateverBlockItGets)
{
    for (const uint32_t fill : {0u, clBlack}) {
        {
            TBitmap frame(1920, 1080, 0xFF123456u);
        }
        const TBitmap next(1920, 1080, fill);
        EXPECT_EQ(next.Pixel(0, 0), fill);
        EXPECT_EQ(next.Pixel(1919, 1079), fill);
        EXPECT_EQ(next.Pixel(960, 540), fill);
    }
}

// A picture shown after a large one must not keep the large one's memory.
TEST(Bitmap, AssigningASmallerBitmapGivesTheLargeBlockBack)
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "large blocks come from the sanitizer's heap in this build";
#endif
    constexpr int32_t Side = 8000; // 256 MB
    TBitmap shown(Side, Side, 0xFF204060u);
    const long large = ResidentKiB();
    const TBitmap small(640, 480, 0xFF808080u);
    shown.Assign(small);
    const long after = ResidentKiB();
    EXPECT_EQ(shown.Width(), 640);
    EXPECT_EQ(shown.Pixel(639, 479), 0xFF808080u);
    EXPECT_LT(after, large - 200 * 1024) << "resident KiB with the large bitmap " << large << ", after " << after;
}

// Assign shares the pixels; whichever bitmap is then written, through any
// writing accessor, gets a copy first and the other keeps what it had.
TEST(Bitmap, AssignSharesPixelsUntilEitherIsWritten)
{
    const auto check = [](const char* how, auto&& write) {
        SCOPED_TRACE(how);
        TBitmap picture(37, 11);
        FillCoordinates(picture);
        const size_t before = TBitmap::PixelBytes();
        TBitmap copy;
        copy.Assign(picture);
        EXPECT_EQ(TBitmap::PixelBytes(), before) << "no new block for a shared copy";
        EXPECT_TRUE(copy.SharesPixels());
        EXPECT_EQ(copy.Pixel(36, 10), picture.Pixel(36, 10));
        write(copy);
        EXPECT_FALSE(copy.SharesPixels());
        EXPECT_FALSE(picture.SharesPixels());
        EXPECT_EQ(SourceX(picture.Pixel(3, 2)), 3) << "the original is untouched";
        EXPECT_EQ(SourceY(picture.Pixel(3, 2)), 2);
        EXPECT_EQ(copy.Pixel(3, 2), clWhite) << "the write went to the copy";
        EXPECT_EQ(SourceX(copy.Pixel(30, 9)), 30) << "and the rest of the copy is the original's";
    };
    check("SetPixel", [](TBitmap& b) { b.SetPixel(3, 2, clWhite); });
    check("PixelRow", [](TBitmap& b) { b.PixelRow(2)[3] = clWhite; });
    check("Bits", [](TBitmap& b) { reinterpret_cast<uint32_t*>(b.Bits())[2 * 37 + 3] = clWhite; });
    check("FillArea", [](TBitmap& b) {
        b.Canvas().BrushColor = clWhite;
        b.Canvas().FillArea({3, 2, 4, 3});
    });
    check("DrawBitmap", [](TBitmap& b) { b.Canvas().DrawBitmap(3, 2, TBitmap(1, 1, clWhite)); });
    check("DrawBitmapThrough", [](TBitmap& b) {
        TBitmap white(37, 11, clWhite);
        b.Canvas().DrawBitmapThrough(white, TRegion(TRect{3, 2, 4, 3}));
    });

    // The original written instead: the copy keeps the old pixels.
    TBitmap picture(5, 5, clBlack);
    TBitmap copy;
    copy.Assign(picture);
    picture.Fill(clWhite);
    EXPECT_EQ(copy.Pixel(4, 4), clBlack);
    EXPECT_EQ(picture.Pixel(4, 4), clWhite);

    // A bitmap with a block of its own of the same size copies into it.
    TBitmap frame(5, 5, clWhite);
    const uint8_t* block = frame.Bits();
    frame.Assign(copy);
    EXPECT_FALSE(frame.SharesPixels());
    EXPECT_EQ(frame.Bits(), block);
    EXPECT_EQ(frame.Pixel(2, 2), clBlack);
}

// A shared bitmap drawn on by several threads at once, and a shared bitmap
// copied onto itself, end as an unshared one would.
TEST(Bitmap, SharedPixelsDrawnInBandsAndOntoThemselves)
{
    const test::TDrawingThreads threads(3);
    constexpr int32_t W = 700, H = 400; // large enough to be split into bands
    TBitmap source(W, H);
    FillCoordinates(source);
    TBitmap want;
    want.SetSize(W, H);
    want.Canvas().DrawBitmap(0, 0, source);
    want.Canvas().CopyArea({10, 5, W - 10, H - 5}, want.Canvas(), {0, 0, W - 20, H - 10});
    want.Canvas().StretchBlt(0, 0, W / 2, H / 2, want.Canvas(), 0, 0, W, H);

    TBitmap got;
    got.Assign(source);
    got.Canvas().CopyArea({10, 5, W - 10, H - 5}, got.Canvas(), {0, 0, W - 20, H - 10});
    TBitmap again;
    again.Assign(got);
    again.Canvas().StretchBlt(0, 0, W / 2, H / 2, again.Canvas(), 0, 0, W, H);
    for (int32_t y = 0; y < H; ++y)
        for (int32_t x = 0; x < W; ++x)
            ASSERT_EQ(again.Pixel(x, y), want.Pixel(x, y)) << x << "," << y;
    EXPECT_EQ(SourceX(source.Pixel(W - 1, H - 1)), W - 1) << "the source is untouched";
}

// A bitmap over rows of a larger image draws there in place, as a bitmap of
// its own would draw, on one thread and three, and writes nothing around
// them; its rows are never lent: a bitmap that takes its pixels, and the
// bitmap itself once resized, have a copy.
TEST(Bitmap, ForeignRowsAreDrawnInPlaceAndNeverLent)
{
    constexpr int32_t W = 700, H = 300, Stride = W + 13, Left = 6, Top = 3;
    constexpr uint32_t Margin = 0xFF5A5A5Au;
    std::vector<uint32_t> window(size_t(Stride) * (H + 5), Margin);
    const auto marginsIntact = [&] {
        for (int32_t y = 0; y < H + 5; ++y)
            for (int32_t x = 0; x < Stride; ++x)
                if ((y < Top || y >= Top + H || x < Left || x >= Left + W) &&
                    window[size_t(y) * Stride + size_t(x)] != Margin)
                    return false;
        return true;
    };
    TBitmap source(W, H);
    FillCoordinates(source);
    // The same drawing onto either bitmap.
    const auto draw = [&](TBitmap& b) {
        b.Fill(0xFF102030u);
        b.Canvas().BrushColor = clWhite;
        b.Canvas().FillArea({5, 7, 300, 90});
        b.Canvas().CopyArea({20, 10, 420, 260}, source.Canvas(), {0, 0, 650, 280});          // squeezed
        b.Canvas().CopyArea({50, 40, 690, 290}, b.Canvas(), {0, 0, 640, 250});              // onto itself
        b.Canvas().StretchBlt(0, 0, W / 2, H / 2, b.Canvas(), W - 1, 0, -W, H);             // mirrored
        const TAreaCopy copies[] = {{{0, 0, 200, H}, &b.Canvas(), {100, 0, 500, H}},
                                    {{200, 0, W, H}, &source.Canvas(), {0, 0, 250, H}}};
        b.Canvas().CopyAreas(copies);
        b.Canvas().DrawBitmapThrough(source, TRegion(TRect{300, 100, 333, 290}));
    };
    for (const int threads : {1, 3}) {
        const test::TDrawingThreads use(threads);
        std::fill(window.begin(), window.end(), Margin);
        TBitmap own(W, H);
        draw(own);
        TBitmap onto(window.data() + Top * Stride + Left, W, H, Stride);
        draw(onto);
        EXPECT_EQ(onto.BytesPerLine(), Stride * 4);
        EXPECT_TRUE(test::SameBitmaps(onto, own)) << threads << " threads";
        EXPECT_TRUE(marginsIntact()) << threads << " threads";
    }

    TBitmap onto(window.data() + Top * Stride + Left, W, H, Stride);
    TBitmap twin, copy;
    twin.Share(onto);
    copy.Assign(onto);
    onto.Fill(clBlack);
    EXPECT_NE(twin.Pixel(100, 100), clBlack) << "a twin of foreign rows has a copy";
    EXPECT_NE(copy.Pixel(100, 100), clBlack) << "so has a bitmap assigned them";
    onto.Assign(source); // same size: into the rows
    EXPECT_EQ(window[size_t(Top + 5) * Stride + Left + 7], source.Pixel(7, 5));
    onto.SetSize(W, H + 1); // a block of its own, from the rows
    onto.Fill(clBlack);
    EXPECT_EQ(window[size_t(Top + 5) * Stride + Left + 7], source.Pixel(7, 5));
    EXPECT_TRUE(marginsIntact());
}

// Pixels shown from someone else's picture are read where they are and
// shared as a block of the bitmap's own would be; they are never written (a
// bitmap to be drawn on copies them first), and their owner is let go with
// the last bitmap that shows them.
TEST(Bitmap, ShownPixelsAreSharedReadOnlyAndTheirOwnerKeptWhileShown)
{
    constexpr int32_t W = 50, H = 40;
    auto picture = std::make_shared<std::vector<uint32_t>>(size_t(W) * H);
    for (int32_t y = 0; y < H; ++y)
        for (int32_t x = 0; x < W; ++x)
            (*picture)[size_t(y) * W + size_t(x)] = 0xFF000000u | uint32_t(y << 8 | x);
    const std::vector<uint32_t> before = *picture;
    const std::weak_ptr<std::vector<uint32_t>> alive = picture;

    auto shown = std::make_unique<TBitmap>();
    const uint32_t* pixels = picture->data();
    shown->ShowPixels(pixels, W, H, std::move(picture));
    EXPECT_EQ(shown->Pixel(W - 1, H - 1), 0xFF000000u | uint32_t((H - 1) << 8 | (W - 1)));

    TBitmap twin, drawn, own(W, H);
    twin.Share(*shown);
    drawn.Assign(*shown);
    EXPECT_EQ(std::as_const(twin).Bits(), std::as_const(*shown).Bits()) << "shared, not copied";
    EXPECT_EQ(std::as_const(drawn).Bits(), std::as_const(*shown).Bits());
    own.Assign(*shown); // a bitmap with a block of its size copies into it
    EXPECT_TRUE(test::SameBitmaps(own, *shown));

    // Drawn on, alone or not, each copies first.
    drawn.Canvas().BrushColor = clWhite;
    drawn.Canvas().FillArea({0, 0, W, H});
    shown->SetPixel(3, 4, clBlack);
    EXPECT_EQ(shown->Pixel(3, 4), clBlack);
    EXPECT_EQ(drawn.Pixel(3, 4), clWhite);
    EXPECT_EQ(twin.Pixel(3, 4), before[size_t(4) * W + 3]);
    ASSERT_FALSE(alive.expired());
    EXPECT_EQ(*alive.lock(), before) << "the shown pixels are never written";

    shown.reset();
    EXPECT_FALSE(alive.expired()) << "the twin still shows them";
    TBitmap grown;
    grown.Share(twin);
    grown.SetSize(W + 1, H);
    twin.SetSize(0, 0);
    EXPECT_TRUE(alive.expired());
    EXPECT_EQ(grown.Pixel(W - 1, H - 1), before[size_t(H - 1) * W + W - 1]);
}

// Copies of most of every row read on to the next row's run; none reads
// past its source's last row. The sources here end where their pixels end
// (a sanitizer build would catch a read beyond), one shown from a buffer of
// its size, one rows inside a wider buffer; every copy gives the pixels a
// copy pixel by pixel gives.
TEST(Bitmap, CopiesOfMostOfEveryRowStayInsideTheirSource)
{
    constexpr int32_t W = 160, H = 50, Stride = W + 24, Cut = W / 4;
    const auto colour = [](int32_t x, int32_t y) { return 0xFF000000u | uint32_t(y) << 12 | uint32_t(x); };
    auto picture = std::make_shared<std::vector<uint32_t>>(size_t(W) * H);
    std::vector<uint32_t> window(size_t(Stride) * (H - 1) + W);
    for (int32_t y = 0; y < H; ++y)
        for (int32_t x = 0; x < W; ++x)
            (*picture)[size_t(y) * W + size_t(x)] = window[size_t(y) * Stride + size_t(x)] = colour(x, y);
    TBitmap shown;
    const uint32_t* pixels = picture->data();
    shown.ShowPixels(pixels, W, H, std::move(picture));
    const TBitmap rows(window.data(), W, H, Stride);

    for (const TBitmap* source : {static_cast<const TBitmap*>(&shown), &rows}) {
        // Each draws onto black; expected(x, y) is the source pixel or black.
        const auto check = [&](const char* how, const auto& draw, const auto& expected) {
            TBitmap d(W, H, clBlack);
            draw(d);
            int wrong = 0;
            for (int32_t y = 0; y < H; ++y)
                for (int32_t x = 0; x < W; ++x)
                    wrong += d.Pixel(x, y) != expected(x, y);
            EXPECT_EQ(wrong, 0) << how << (source == &shown ? ", shown pixels" : ", rows in a buffer");
        };
        check(
            "a copy", [&](TBitmap& d) { d.Canvas().CopyArea({0, 0, W - Cut, H}, source->Canvas(), {Cut, 0, W, H}); },
            [&](int32_t x, int32_t y) { return x < W - Cut ? colour(x + Cut, y) : clBlack; });
        check(
            "copies side by side",
            [&](TBitmap& d) {
                const TAreaCopy copies[] = {{{0, 0, W - Cut, H}, &source->Canvas(), {Cut, 0, W, H}},
                                            {{W - Cut, 0, W, H}, &source->Canvas(), {0, 0, Cut, H}}};
                d.Canvas().CopyAreas(copies);
            },
            [&](int32_t x, int32_t y) { return x < W - Cut ? colour(x + Cut, y) : colour(x - (W - Cut), y); });
        check(
            "a copy through a region",
            [&](TBitmap& d) { d.Canvas().DrawBitmapThrough(*source, TRegion(TRect{Cut, 0, W, H})); },
            [&](int32_t x, int32_t y) { return x >= Cut ? colour(x, y) : clBlack; });
    }
}

TEST(Bitmap, RefusesImpossibleSizes)
{
    TBitmap bmp(2, 2);
    EXPECT_THROW(bmp.SetSize(-1, 5), TBitmapError);
    EXPECT_THROW(bmp.SetSize(TBitmap::MaxSide + 1, 1), TBitmapError);
    EXPECT_THROW(bmp.SetSize(1 << 15, 1 << 15), TBitmapError); // 2^30 pixels
    EXPECT_EQ(bmp.Width(), 2);                                   // unchanged
    EXPECT_NO_THROW(bmp.SetSize(0, 0));
    EXPECT_TRUE(bmp.Empty());
}

class CopyAreaTest : public ::testing::Test {
protected:
    TBitmap Src{40, 30};
    TBitmap Dst{40, 30, clBlack};
    void SetUp() override { FillCoordinates(Src); }
    bool Untouched(int x, int y) const { return Dst.Pixel(x, y) == clBlack; }
};

TEST_F(CopyAreaTest, OneToOneShiftsTheSourceWhenTheDestinationIsCut)
{
    Dst.Canvas().CopyArea(Rect(-3, -2, 7, 8), Src.Canvas(), Rect(0, 0, 10, 10));
    EXPECT_EQ(SourceX(Dst.Pixel(0, 0)), 3);
    EXPECT_EQ(SourceY(Dst.Pixel(0, 0)), 2);
    EXPECT_EQ(SourceX(Dst.Pixel(6, 7)), 9);
    EXPECT_TRUE(Untouched(7, 0));
    EXPECT_TRUE(Untouched(0, 8));
}

TEST_F(CopyAreaTest, SourceBeyondItsBitmapShrinksTheDestinationAlike)
{
    Dst.Canvas().CopyArea(Rect(0, 0, 10, 10), Src.Canvas(), Rect(-5, 0, 5, 10));
    EXPECT_TRUE(Untouched(4, 0));
    EXPECT_EQ(SourceX(Dst.Pixel(5, 0)), 0);
    EXPECT_EQ(SourceX(Dst.Pixel(9, 9)), 4);
}

TEST_F(CopyAreaTest, ScalesEachAxisOnItsOwn)
{
    Dst.Canvas().CopyArea(Rect(0, 0, 40, 10), Src.Canvas(), Rect(10, 10, 20, 20));
    for (int x = 0; x < 40; ++x) {
        EXPECT_EQ(SourceX(Dst.Pixel(x, 0)), 10 + x / 4) << x;
        EXPECT_EQ(SourceY(Dst.Pixel(x, 9)), 19) << x;
    }
    // Shrinking picks every other column.
    Dst.Canvas().CopyArea(Rect(0, 20, 10, 30), Src.Canvas(), Rect(0, 0, 20, 10));
    EXPECT_EQ(SourceX(Dst.Pixel(0, 20)), 0);
    EXPECT_EQ(SourceX(Dst.Pixel(9, 20)), 18);
}

TEST_F(CopyAreaTest, ScaleIsThatOfTheWholeDestination)
{
    // 10 columns over 40, only the last 20 of which are visible.
    Dst.Canvas().CopyArea(Rect(-20, 0, 20, 10), Src.Canvas(), Rect(0, 0, 10, 10));
    EXPECT_EQ(SourceX(Dst.Pixel(0, 0)), 5);
    EXPECT_EQ(SourceX(Dst.Pixel(19, 0)), 9);
}

TEST_F(CopyAreaTest, NegativeExtentMirrors)
{
    // Width -10 at x 9 covers columns 0 .. 9, right to left.
    Dst.Canvas().StretchBlt(9, 0, -10, 5, Src.Canvas(), 0, 0, 10, 5);
    for (int x = 0; x < 10; ++x)
        EXPECT_EQ(SourceX(Dst.Pixel(x, 0)), 9 - x) << x;
    EXPECT_TRUE(Untouched(10, 0));
    Dst.Canvas().StretchBlt(20, 14, 10, -5, Src.Canvas(), 0, 0, 10, 5);
    EXPECT_EQ(SourceY(Dst.Pixel(20, 10)), 4);
    EXPECT_EQ(SourceY(Dst.Pixel(20, 14)), 0);
}

TEST_F(CopyAreaTest, OverlappingCopyOnOneBitmapReadsTheSourceFirst)
{
    Src.Canvas().CopyArea(Rect(3, 0, 40, 30), Src.Canvas(), Rect(0, 0, 37, 30));
    for (int x = 3; x < 40; ++x)
        ASSERT_EQ(SourceX(Src.Pixel(x, 5)), x - 3) << x;
    Src.Canvas().CopyArea(Rect(0, 0, 40, 20), Src.Canvas(), Rect(0, 5, 40, 30)); // scaled, upwards
    EXPECT_EQ(SourceY(Src.Pixel(10, 0)), 5);
    EXPECT_EQ(SourceY(Src.Pixel(10, 19)), 29);
}

TEST_F(CopyAreaTest, HonoursTheClipRegionUntilItIsRemoved)
{
    TCanvas& c = Dst.Canvas();
    {
        TRegion clip = CreateRectRgn(0, 0, 20, 30);
        UniteRgn(clip, CreateRectRgn(30, 0, 35, 5));
        c.SelectClipRgn(clip);
    } // the canvas keeps its own copy
    c.DrawBitmap(0, 0, Src);
    EXPECT_FALSE(Untouched(19, 29));
    EXPECT_TRUE(Untouched(20, 0));
    EXPECT_FALSE(Untouched(34, 4));
    EXPECT_TRUE(Untouched(34, 5));

    c.BrushColor = clWhite;
    c.FillArea(Rect(-10, -10, 100, 100));
    EXPECT_EQ(Dst.Pixel(0, 0), clWhite);
    EXPECT_TRUE(Untouched(25, 0));

    c.SelectClipRgn(nullptr);
    EXPECT_FALSE(c.HasClipRgn());
    c.FillArea(Rect(25, 0, 26, 1));
    EXPECT_EQ(Dst.Pixel(25, 0), clWhite);
}

// A copy of a bitmap onto itself against the same copy from a twin of it (a
// plain copy between two bitmaps): moves in every direction, scaled up and
// down along either axis, mirrored, reaching outside the bitmap, through a
// clip region, and on several threads.
TEST(OverlappingCopy, GivesWhatACopyFromATwinGives)
{
    struct TCase {
        const char* Name;
        TRect Dest, Source;
    };
    const TCase cases[] = {
        {"right", Rect(7, 0, 61, 45), Rect(0, 0, 54, 45)},
        {"left", Rect(0, 0, 54, 45), Rect(7, 0, 61, 45)},
        {"down", Rect(0, 5, 61, 45), Rect(0, 0, 61, 40)},
        {"up", Rect(0, 0, 61, 40), Rect(0, 5, 61, 45)},
        {"down right", Rect(3, 2, 50, 40), Rect(0, 0, 47, 38)},
        {"up left", Rect(0, 0, 47, 38), Rect(3, 2, 50, 40)},
        {"down left", Rect(0, 4, 50, 44), Rect(9, 0, 59, 40)},
        {"up right", Rect(9, 0, 59, 40), Rect(0, 4, 50, 44)},
        {"in place", Rect(5, 5, 30, 30), Rect(5, 5, 30, 30)},
        {"squeezed right", Rect(20, 0, 61, 45), Rect(0, 0, 61, 45)},
        {"squeezed left", Rect(0, 0, 41, 45), Rect(0, 0, 61, 45)},
        {"squeezed down", Rect(0, 17, 61, 45), Rect(0, 0, 61, 45)},
        {"squeezed up", Rect(0, 0, 61, 28), Rect(0, 0, 61, 45)},
        {"stretched right and down", Rect(10, 8, 61, 45), Rect(0, 0, 30, 20)},
        {"stretched up", Rect(0, 0, 61, 40), Rect(0, 25, 61, 45)},
        {"squeezed both ways", Rect(13, 9, 50, 40), Rect(0, 0, 61, 45)},
        {"mirrored across", Rect(60, 0, -1, 45), Rect(0, 0, 61, 45)},
        {"mirrored upside down", Rect(0, 44, 61, -1), Rect(0, 0, 61, 45)},
        {"reaching outside", Rect(-20, -10, 70, 50), Rect(0, 0, 61, 45)},
        {"from beyond the edge", Rect(0, 0, 61, 45), Rect(-8, 6, 53, 51)},
    };
    TRegion clip = CreateRectRgn(2, 3, 30, 20);
    UniteRgn(clip, CreateRectRgn(35, 10, 50, 40));
    UniteRgn(clip, CreateRectRgn(10, 30, 20, 44));
    for (const TCase& c : cases)
        for (const bool clipped : {false, true})
            for (const int threads : {1, 3}) {
                SCOPED_TRACE(std::string(c.Name) + (clipped ? ", clipped" : "") + ", threads " +
                             std::to_string(threads));
                SetDrawingThreads(threads);
                TBitmap self(61, 45), twin(61, 45), want(61, 45);
                FillCoordinates(self);
                twin.Assign(self);
                want.Assign(self);
                if (clipped) {
                    self.Canvas().SelectClipRgn(clip);
                    want.Canvas().SelectClipRgn(clip);
                }
                want.Canvas().CopyArea(c.Dest, twin.Canvas(), c.Source);
                self.Canvas().CopyArea(c.Dest, self.Canvas(), c.Source);
                for (int32_t y = 0; y < 45; ++y)
                    for (int32_t x = 0; x < 61; ++x)
                        ASSERT_EQ(self.Pixel(x, y), want.Pixel(x, y)) << x << "," << y;
            }
    SetDrawingThreads(1);
}

// Drawing through a region gives, pixel for pixel, what a copy of the whole
// bitmap through the same region as the clip gives: combs of slats and
// columns, ragged bands, boxes reaching outside both bitmaps, a source
// smaller or larger than the canvas, a clip region of the canvas's own on
// top, and on several threads; the region handed over whole or as its boxes.
TEST(DrawBitmapThrough, GivesWhatACopyThroughTheClipGives)
{
    std::vector<TRect> comb, grid, ragged;
    for (int32_t x = -3; x < 70; x += 10)
        comb.push_back(Rect(x, -5, x + 5, 60));
    for (int32_t y = 0; y < 50; y += 7)
        for (int32_t x = 0; x < 70; x += 9)
            grid.push_back(Rect(x - 2, y - 2, x + 3, y + 3));
    for (int32_t y = 0; y < 50; ++y)
        ragged.push_back(Rect((y * 37) % 23, y, 61 - (y * 11) % 17, y + 1));
    TRegion crossed = UnionOfRects(comb);
    UniteRgn(crossed, CreateRectRgn(-10, 12, 90, 17));
    struct TCase {
        const char* Name;
        TRegion Through;
    };
    const TCase cases[] = {{"comb", UnionOfRects(comb)},   {"grid", UnionOfRects(grid)},
                           {"ragged", UnionOfRects(ragged)}, {"crossed", crossed},
                           {"everything", CreateRectRgn(-100, -100, 100, 100)},
                           {"nothing", TRegion()}};
    TRegion clip = CreateRectRgn(2, 3, 30, 20);
    UniteRgn(clip, CreateRectRgn(35, 10, 50, 40));
    const struct {
        int32_t W, H;
    } sources[] = {{61, 45}, {40, 50}, {70, 30}};
    for (const TCase& c : cases)
        for (const auto source : sources)
            for (const bool clipped : {false, true})
                for (const int threads : {1, 3}) {
                    SCOPED_TRACE(std::string(c.Name) + ", source " + std::to_string(source.W) + "x" +
                                 std::to_string(source.H) + (clipped ? ", clipped" : "") + ", threads " +
                                 std::to_string(threads));
                    SetDrawingThreads(threads);
                    TBitmap image(source.W, source.H), got(61, 45, clBlack), want(61, 45, clBlack);
                    TBitmap gotFromBoxes(61, 45, clBlack);
                    FillCoordinates(image);
                    TRegion wantClip = c.Through;
                    if (clipped) {
                        got.Canvas().SelectClipRgn(clip);
                        gotFromBoxes.Canvas().SelectClipRgn(clip);
                        CombineRgn(wantClip, wantClip, clip, RGN_AND);
                    }
                    want.Canvas().SelectClipRgn(wantClip);
                    want.Canvas().DrawBitmap(0, 0, image);
                    got.Canvas().DrawBitmapThrough(image, c.Through);
                    EXPECT_EQ(got.Canvas().HasClipRgn(), clipped);
                    // The same boxes handed over as they are, without the region.
                    int count = 0;
                    const pixman_box32_t* boxes = pixman_region32_rectangles(c.Through.Native(), &count);
                    DrawBitmapThrough(gotFromBoxes.Canvas(), image, boxes, size_t(count));
                    for (int32_t y = 0; y < 45; ++y)
                        for (int32_t x = 0; x < 61; ++x) {
                            ASSERT_EQ(got.Pixel(x, y), want.Pixel(x, y)) << x << "," << y;
                            ASSERT_EQ(gotFromBoxes.Pixel(x, y), want.Pixel(x, y)) << x << "," << y << " from boxes";
                        }
                }
    SetDrawingThreads(1);

    // A bitmap drawn through a region onto itself stays as it is.
    TBitmap self(20, 10);
    FillCoordinates(self);
    self.Canvas().DrawBitmapThrough(self, CreateRectRgn(0, 0, 20, 10));
    EXPECT_EQ(SourceX(self.Pixel(7, 3)), 7);
    EXPECT_EQ(SourceY(self.Pixel(7, 3)), 3);
}

TEST_F(CopyAreaTest, EmptyAndOffBitmapCopiesDrawNothing)
{
    TCanvas& c = Dst.Canvas();
    c.CopyArea(Rect(0, 0, 0, 10), Src.Canvas(), Rect(0, 0, 10, 10));
    c.CopyArea(Rect(0, 0, 10, 10), Src.Canvas(), Rect(5, 5, 5, 10));
    c.CopyArea(Rect(100, 100, 200, 200), Src.Canvas(), Rect(0, 0, 10, 10));
    c.CopyArea(Rect(0, 0, 10, 10), Src.Canvas(), Rect(50, 50, 60, 60));
    c.DrawBitmap(-1000, -1000, Src);
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x)
            ASSERT_TRUE(Untouched(x, y));
}

// A record of a bitmap's drawing holds exactly the pixels its canvas wrote:
// scaled, cut and mirrored copies, copies through a region or its boxes,
// fills, each with and without a clip region, and pixels the caller computes
// in an area the canvas lets it draw. Writes past the canvas, reads
// and copies of the bitmap onto itself are noted as such.
TEST(DrawRecord, HoldsWhatTheCanvasDrewAndNotesEverythingElse)
{
    TBitmap image(50, 40);
    FillCoordinates(image);
    TRegion clip = CreateRectRgn(5, 5, 25, 30);
    UniteRgn(clip, CreateRectRgn(30, 0, 45, 12));
    const auto drawings = std::vector<void (*)(TCanvas&, const TBitmap&)>{
        [](TCanvas& c, const TBitmap& i) { c.CopyArea(Rect(-5, 3, 30, 20), i.Canvas(), Rect(0, 0, 50, 40)); },
        [](TCanvas& c, const TBitmap& i) { c.StretchBlt(44, 39, -20, -15, i.Canvas(), 45, 30, 20, 30); },
        [](TCanvas& c, const TBitmap& i) { c.CopyArea(Rect(10, 10, 40, 40), i.Canvas(), Rect(30, 30, 60, 60)); },
        [](TCanvas& c, const TBitmap& i) {
            TRegion shape = CreateRoundRectRgn(3, 2, 40, 38, 20, 20);
            UniteRgn(shape, CreateRectRgn(44, 0, 80, 5));
            c.DrawBitmapThrough(i, shape);
        },
        [](TCanvas& c, const TBitmap& i) {
            const TRegion shape = CreateRoundRectRgn(-3, 2, 40, 38, 20, 20);
            int count = 0;
            const pixman_box32_t* boxes = pixman_region32_rectangles(shape.Native(), &count);
            DrawBitmapThrough(c, i, boxes, size_t(count));
        },
        [](TCanvas& c, const TBitmap&) { c.FillArea(Rect(20, -4, 48, 8)); },
        [](TCanvas& c, const TBitmap&) { // pixels of its own, in an area past the bitmap's edge
            const TRegion shape = CreateRoundRectRgn(-6, 4, 30, 50, 30, 30);
            TBitmap& b = c.Bitmap();
            c.DrawArea([&] { return shape; }, [&] {
                for (int32_t y = 0; y < b.Height(); ++y)
                    for (int32_t x = 0; x < b.Width(); ++x)
                        if (shape.Contains(x, y))
                            b.PixelRow(y)[x] = uint32_t(x * y);
            });
        },
    };
    for (size_t d = 0; d < drawings.size(); ++d)
        for (const bool clipped : {false, true}) {
            TBitmap bitmap(48, 36, 0x12345678u);
            bitmap.Canvas().BrushColor = 0xFFFFFFFFu;
            if (clipped)
                bitmap.Canvas().SelectClipRgn(clip);
            TDrawRecord record;
            record.Watch(bitmap);
            drawings[d](bitmap.Canvas(), image);
            EXPECT_FALSE(record.Read() || record.WrittenOtherwise()) << d;
            const TRegion& drawn = record.Drawn();
            for (int32_t y = 0; y < bitmap.Height(); ++y)
                for (int32_t x = 0; x < bitmap.Width(); ++x)
                    ASSERT_EQ(bitmap.Pixel(x, y) != 0x12345678u, drawn.Contains(x, y))
                        << "drawing " << d << (clipped ? ", clipped" : "") << ", pixel " << x << "," << y;
        }

    TBitmap bitmap(20, 10), other(20, 10);
    TDrawRecord record;
    const auto noted = [&](auto&& what) {
        record.Watch(bitmap);
        what();
        return std::pair{record.Read(), record.WrittenOtherwise()};
    };
    using TNoted = std::pair<bool, bool>;
    EXPECT_EQ(noted([&] { bitmap.PixelRow(3)[4] = 0; }), TNoted(false, true));
    EXPECT_EQ(noted([&] { bitmap.Fill(0); }), TNoted(false, true));
    EXPECT_EQ(noted([&] { bitmap.Assign(other); }), TNoted(false, true));
    EXPECT_EQ(noted([&] { bitmap.SetSize(5, 5); }), TNoted(false, true));
    EXPECT_EQ(noted([&] { (void)std::as_const(bitmap).Pixel(1, 1); }), TNoted(true, false));
    EXPECT_EQ(noted([&] { other.Assign(bitmap); }), TNoted(true, false));
    EXPECT_EQ(noted([&] { other.Canvas().DrawBitmap(0, 0, bitmap); }), TNoted(true, false));
    EXPECT_EQ(noted([&] { bitmap.Canvas().CopyArea(Rect(1, 0, 5, 5), bitmap.Canvas(), Rect(0, 0, 4, 5)); }),
              TNoted(true, false));
    EXPECT_EQ(noted([&] { (void)bitmap.Width(); }), TNoted(false, false));

    // Following a source: a copy of it 1:1 writes only what is not in place
    // yet, whatever else was drawn meanwhile, and the pixels come out the same.
    {
        TBitmap source(20, 10), watched(20, 10, clBlack), plain(20, 10, clBlack);
        FillCoordinates(source);
        record.Watch(watched);
        record.Follow(source);
        const auto both = [&](auto&& draw) {
            record.Clear();
            draw(watched.Canvas());
            draw(plain.Canvas());
            EXPECT_TRUE(test::SameBitmaps(watched, plain));
            return record.Written();
        };
        EXPECT_EQ(both([&](TCanvas& c) { c.CopyArea(Rect(0, 0, 8, 10), source.Canvas(), Rect(0, 0, 8, 10)); }),
                  CreateRectRgn(0, 0, 8, 10));
        EXPECT_EQ(both([&](TCanvas& c) { c.DrawBitmapThrough(source, CreateRectRgn(0, 0, 12, 10)); }),
                  CreateRectRgn(8, 0, 12, 10));
        EXPECT_EQ(both([&](TCanvas& c) { c.CopyArea(Rect(2, 2, 6, 6), source.Canvas(), Rect(3, 2, 7, 6)); }),
                  CreateRectRgn(2, 2, 6, 6)); // moved, not in place
        EXPECT_EQ(both([&](TCanvas& c) { c.FillArea(Rect(10, 0, 14, 4)); }), CreateRectRgn(10, 0, 14, 4));
        TRegion again = CreateRectRgn(2, 2, 6, 6);
        UniteRgn(again, CreateRectRgn(10, 0, 12, 4));
        UniteRgn(again, CreateRectRgn(12, 0, 16, 10));
        EXPECT_EQ(both([&](TCanvas& c) { c.CopyArea(Rect(0, 0, 16, 10), source.Canvas(), Rect(0, 0, 16, 10)); }),
                  again);
        EXPECT_EQ(record.Drawn(), CreateRectRgn(0, 0, 16, 10));
    }

    // A record stops watching a bitmap that ends, and a bitmap has one record.
    {
        TBitmap brief(4, 4);
        record.Watch(brief);
    }
    EXPECT_EQ(record.Watched(), nullptr);
    TDrawRecord second;
    record.Watch(bitmap);
    second.Watch(bitmap);
    EXPECT_EQ(record.Watched(), nullptr);
    bitmap.Fill(0);
    EXPECT_TRUE(second.WrittenOtherwise());
}

} // namespace
} // namespace mirel
