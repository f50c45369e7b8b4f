// Scaled, mirrored and overlapping copies drawn by the surface itself (with
// the plain gather and with the fastest one) against pixman's own
// nearest-neighbour sampling: the same pixels, over random copies and over
// every style's frames.
#include "effects/catalogue.h"
#include "effects/random.h"
#include "surface/bitmap.h"
#include "surface/parallel.h"
#include "surface/region.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace mirel {
namespace {

// Puts the default drawing back, whatever a test leaves.
struct TDrawingGuard {
    ~TDrawingGuard()
    {
        SetScaledCopies(TScaledCopies::Fast);
        SetDrawingThreads(1);
    }
};

void Noise(TBitmap& bmp, std::mt19937& gen)
{
    for (int32_t y = 0; y < bmp.Height(); ++y)
        for (int32_t x = 0; x < bmp.Width(); ++x)
            bmp.SetPixel(x, y, uint32_t(gen()));
}

bool SamePixels(const TBitmap& a, const TBitmap& b)
{
    return std::memcmp(a.Bits(), b.Bits(), size_t(a.Width()) * size_t(a.Height()) * 4) == 0;
}

// Random copies: source and destination of odd sizes (some wide enough for
// the vector gather's windows, some narrower), magnified and shrunk up to
// fifty times on either axis, mirrored, reaching outside both bitmaps, with
// and without a clip region of a few rectangles, on one thread and on three,
// from another bitmap and onto the bitmap itself.
TEST(ScaledCopy, MatchesPixmanOverRandomCopies)
{
    TDrawingGuard guard;
    std::mt19937 gen(20261207);
    const auto between = [&](int32_t lo, int32_t hi) { return std::uniform_int_distribution<int32_t>(lo, hi)(gen); };
    const auto extent = [&](int32_t most) {
        const int32_t e = between(1, most);
        return between(0, 3) == 0 ? -e : e; // a quarter mirrored
    };
    for (int round = 0; round < 1500; ++round) {
        const bool wide = round % 3 == 0;
        const int32_t sw = between(1, wide ? 400 : 60), sh = between(1, 50);
        const int32_t dw = between(1, wide ? 300 : 70), dh = between(1, 50);
        const bool self = round % 4 == 0;
        TBitmap source(sw, sh), start(dw, dh);
        Noise(source, gen);
        Noise(start, gen);
        const TBitmap& from = self ? start : source;
        const int32_t x = between(-dw / 2, dw), y = between(-dh / 2, dh);
        const int32_t w = extent(wide ? 2 * dw : dw + dw / 2), h = extent(dh + dh / 2);
        const int32_t sx = between(-4, from.Width()), sy = between(-4, from.Height());
        const int32_t sxe = extent(from.Width() + 4), sye = extent(from.Height() + 4);
        TRegion clip;
        const bool clipped = round % 3 == 1; // a third of those onto the bitmap itself too
        for (int i = between(1, 4); clipped && i > 0; --i) {
            const int32_t l = between(-5, dw), t = between(-5, dh);
            UniteRgn(clip, CreateRectRgn(l, t, l + between(1, dw), t + between(1, dh)));
        }
        SetDrawingThreads(round % 5 == 0 ? 3 : 1);

        const auto draw = [&](TScaledCopies how, TBitmap& out) {
            SetScaledCopies(how);
            out.Assign(start);
            if (clipped)
                out.Canvas().SelectClipRgn(clip);
            out.Canvas().StretchBlt(x, y, w, h, self ? out.Canvas() : source.Canvas(), sx, sy, sxe, sye);
        };
        TBitmap want, got;
        draw(TScaledCopies::Pixman, want);
        for (const TScaledCopies how : {TScaledCopies::Scalar, TScaledCopies::Fast}) {
            draw(how, got);
            ASSERT_TRUE(SamePixels(got, want))
                << "round " << round << (how == TScaledCopies::Fast ? " fast" : " scalar") << ": " << x << "," << y
                << " " << w << "x" << h << " onto " << dw << "x" << dh << " from " << sx << "," << sy << " " << sxe
                << "x" << sye << " of " << from.Width() << "x" << from.Height() << (self ? " (itself)" : "")
                << (clipped ? " clipped" : "");
        }
    }
}

// Several copies drawn together, row by row or a group of rows at a time:
// the pixels of the same copies drawn one after another by pixman, and on a
// watched bitmap the same area noted as drawn. Copies from other bitmaps
// and from the bitmap itself (on their own rows, which are drawn together,
// or shifted, which are not), overlapping each other, mirrored, clipped, on
// one thread and on three.
TEST(ScaledCopy, CopiesDrawnTogetherAreTheCopiesInTurn)
{
    TDrawingGuard guard;
    std::mt19937 gen(20261208);
    const auto between = [&](int32_t lo, int32_t hi) { return std::uniform_int_distribution<int32_t>(lo, hi)(gen); };
    for (int round = 0; round < 600; ++round) {
        // A quarter tall enough to be drawn a group of rows at a time.
        const int32_t tallest = round % 4 == 0 ? 150 : 40;
        const int32_t w = between(1, 300), h = between(1, tallest);
        TBitmap sources[2] = {TBitmap(between(1, 300), between(1, tallest)), TBitmap(between(1, 300), between(1, 40))};
        TBitmap start(w, h);
        Noise(sources[0], gen);
        Noise(sources[1], gen);
        Noise(start, gen);
        const TBitmap& source = sources[0];
        const bool watched = round % 3 == 0, clipped = round % 2 == 1;
        TBitmap out;
        std::vector<TAreaCopy> copies;
        for (int i = between(1, 3); i > 0; --i) {
            const bool self = between(0, 2) == 0, ownRows = self && between(0, 3) != 0;
            const TBitmap& from = self ? out : sources[between(0, 1)];
            const int32_t fw = self ? w : from.Width(), fh = self ? h : from.Height();
            // Half the copies 1:1, as most of the effects' copies are.
            const bool unscaled = between(0, 1) == 0;
            const int32_t x = between(-w / 4, w), dw = between(1, w) * (!unscaled && between(0, 4) == 0 ? -1 : 1);
            const int32_t sx = between(-2, fw), sw = unscaled ? dw : between(1, fw) * (between(0, 4) == 0 ? -1 : 1);
            // Along the rows as the effects copy: most copies whole rows.
            const int32_t y = between(0, 2) == 0 ? between(-2, h) : 0, dh = y == 0 ? h : between(1, h);
            const int32_t sy = ownRows ? y : between(-2, fh), sh = ownRows || unscaled ? dh : between(1, fh);
            copies.push_back({Rect(x, y, x + dw, y + dh), &from.Canvas(), Rect(sx, sy, sx + sw, sy + sh)});
        }
        // A few rectangles, or columns down the whole bitmap (several boxes
        // on every row).
        TRegion clip;
        const bool columns = between(0, 1) == 0;
        for (int i = clipped ? between(1, 3) : 0; i > 0; --i) {
            const int32_t l = between(-5, w), t = columns ? -1 : between(-5, h);
            const int32_t r = l + between(1, columns ? w / 4 + 1 : w), b = columns ? h + 1 : t + between(1, h);
            UniteRgn(clip, CreateRectRgn(l, t, r, b));
        }
        SetDrawingThreads(round % 5 == 0 ? 3 : 1);
        const auto draw = [&](bool together) {
            SetScaledCopies(together ? TScaledCopies::Fast : TScaledCopies::Pixman);
            out.Assign(start);
            TDrawRecord record;
            if (watched) {
                record.Watch(out);
                record.Follow(source);
            }
            if (clipped)
                out.Canvas().SelectClipRgn(clip);
            if (together)
                out.Canvas().CopyAreas(copies);
            else
                for (const TAreaCopy& c : copies)
                    out.Canvas().CopyArea(c.Dest, *c.Source, c.SourceRect);
            out.Canvas().SelectClipRgn(nullptr);
            return record.Drawn();
        };
        const TRegion drawnInTurn = draw(false);
        TBitmap want;
        want.Assign(out);
        const TRegion drawn = draw(true);
        ASSERT_TRUE(SamePixels(out, want)) << "round " << round;
        ASSERT_TRUE(drawn == drawnInTurn) << "round " << round;
    }
}

// Every style's frames, on a picture of odd size, whoever draws the copies.
TEST(ScaledCopy, EveryStyleDrawsTheSameFramesWhoeverCopies)
{
    TDrawingGuard guard;
    constexpr int32_t W = 203, H = 117;
    std::mt19937 gen(7);
    TBitmap old(W, H), image(W, H);
    Noise(old, gen);
    Noise(image, gen);
    const auto frame = [&](TScaledCopies how, int style, int32_t progress, TBitmap& out) {
        SetScaledCopies(how);
        SetRandSeed(uint32_t(style * 1000 + progress));
        out.Assign(old);
        DrawEffectFrame(out, image, style, 4, progress);
    };
    TBitmap want, got;
    for (int style = 1; style <= MaxShowStyle; ++style)
        for (const int32_t progress : {1, 23, 50, 77, 99}) {
            frame(TScaledCopies::Pixman, style, progress, want);
            for (const TScaledCopies how : {TScaledCopies::Scalar, TScaledCopies::Fast}) {
                frame(how, style, progress, got);
                ASSERT_TRUE(SamePixels(got, want)) << "style " << style << " at " << progress;
            }
        }
}

} // namespace
} // namespace mirel
