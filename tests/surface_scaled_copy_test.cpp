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
        const bool clipped = round % 2 == 1;
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
