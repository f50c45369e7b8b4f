// The fast kernels against the scalar reference: each one directly, over odd
// widths and misaligned rows, and every style's frames drawn both ways.
#include "effects/catalogue.h"
#include "effects/fade_pivot_speckle.h"
#include "effects/kernels.h"
#include "effects/random.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <numbers>
#include <random>
#include <string>
#include <vector>

namespace mirel::test {
namespace {

// The levels besides the scalar one that this build and processor run.
std::vector<TKernelLevel> FastLevels()
{
    std::vector<TKernelLevel> levels;
    for (const TKernelLevel level : {TKernelLevel::Sse2, TKernelLevel::Avx2})
        if (KernelsOf(level) != nullptr)
            levels.push_back(level);
    return levels;
}

// Puts the kernels in use back as they were.
struct TLevelGuard {
    TKernelLevel Saved = Kernels().Level;
    ~TLevelGuard() { SetKernelLevel(Saved); }
};

std::vector<uint32_t> Noise(size_t count, uint32_t seed)
{
    std::mt19937 gen(seed);
    std::vector<uint32_t> v(count);
    for (uint32_t& p : v)
        p = uint32_t(gen());
    return v;
}

TEST(Kernels, ScalarAlwaysExistsAndTheBestIsInUseUnlessCapped)
{
    ASSERT_NE(KernelsOf(TKernelLevel::Scalar), nullptr);
    const char* env = std::getenv("MIREL_KERNELS");
    if (env == nullptr) {
        EXPECT_EQ(Kernels().Level, BestKernelLevel());
    } else if (std::strcmp(env, "scalar") == 0) {
        EXPECT_EQ(Kernels().Level, TKernelLevel::Scalar);
    }
    TLevelGuard guard;
    SetKernelLevel(TKernelLevel::Avx2); // falls back to the best that exists
    EXPECT_EQ(Kernels().Level, BestKernelLevel());
}

// Rows of every width up to 70 starting at every offset within 32 bytes,
// for percents at and between the ends, blended in place and from a third
// row: the same bytes as the reference, and nothing written beyond the row.
TEST(Kernels, BlendRowMatchesTheReferenceAtEveryWidthAndAlignment)
{
    constexpr size_t Room = 96;
    const std::vector<uint32_t> src = Noise(Room, 1), dst = Noise(Room, 2), from = Noise(Room, 3);
    for (const TKernelLevel level : FastLevels()) {
        SCOPED_TRACE(KernelLevelName(level));
        const TKernels& fast = *KernelsOf(level);
        for (const bool inPlace : {true, false})
            for (const uint32_t percent : {0u, 1u, 33u, 50u, 99u, 100u})
                for (size_t offset = 0; offset < 8; ++offset)
                    for (size_t count = 0; count <= 70; ++count) {
                        std::vector<uint32_t> want = dst, got = dst;
                        const uint32_t* a = from.data() + (offset + count) % 8;
                        kernels::BlendRowScalar(want.data() + offset, inPlace ? want.data() + offset : a,
                                                src.data() + offset, count, percent);
                        fast.BlendRow(got.data() + offset, inPlace ? got.data() + offset : a, src.data() + offset,
                                      count, percent);
                        ASSERT_EQ(got, want) << "percent " << percent << ", offset " << offset << ", count "
                                             << count << (inPlace ? ", in place" : "");
                    }
    }
}

// Every percent over a row holding every pair of byte values.
TEST(Kernels, BlendRowMatchesTheReferenceForEveryByteAndPercent)
{
    std::vector<uint32_t> src(65536), dst(src.size());
    for (uint32_t i = 0; i < 65536; ++i) { // pixel i pairs i >> 8 with i & 0xFF in every byte
        src[i] = (i & 0xFF) * 0x01010101u;
        dst[i] = (i >> 8) * 0x01010101u;
    }
    for (const TKernelLevel level : FastLevels()) {
        SCOPED_TRACE(KernelLevelName(level));
        for (uint32_t percent = 0; percent <= 100; ++percent) {
            std::vector<uint32_t> want = dst, got = dst;
            kernels::BlendRowScalar(want.data(), want.data(), src.data(), src.size(), percent);
            KernelsOf(level)->BlendRow(got.data(), got.data(), src.data(), src.size(), percent);
            ASSERT_EQ(got, want) << "percent " << percent;
        }
    }
}

// Rotated spans straight through the kernel: every start within a small
// picture, steps of every sign and size, lengths that stay inside it, and
// rows ahead anywhere, even outside it.
TEST(Kernels, RotateSpanMatchesTheReference)
{
    constexpr uint32_t W = 37, H = 29;
    const std::vector<uint32_t> src = Noise(W * H, 3);
    std::mt19937 gen(4);
    for (const TKernelLevel level : FastLevels()) {
        SCOPED_TRACE(KernelLevelName(level));
        for (int trial = 0; trial < 4000; ++trial) {
            const uint32_t sx = gen() % W, sy = gen() % H;
            const uint32_t a = sx << 16 | (gen() & 0xFFFF), b = sy << 16 | (gen() & 0xFFFF);
            const auto stepA = uint32_t(int32_t(gen() % 131072) - 65536);
            const auto stepB = uint32_t(int32_t(gen() % 131072) - 65536);
            // The longest span that stays inside the picture.
            size_t count = 0;
            for (uint32_t ta = a, tb = b; count < 40 && (ta >> 16) < W && (tb >> 16) < H; ta += stepA, tb += stepB)
                ++count;
            const size_t offset = gen() % 8;
            std::vector<uint32_t> want(48, 0xDEADBEEF), got = want;
            const uint32_t aheadA = gen(), aheadB = gen();
            kernels::RotateSpanScalar(want.data() + offset, count, src.data(), W, H - 1, a, b, stepA, stepB, 0, 0);
            KernelsOf(level)->RotateSpan(got.data() + offset, count, src.data(), W, H - 1, a, b, stepA, stepB,
                                         aheadA, aheadB);
            ASSERT_EQ(got, want) << "trial " << trial << ", count " << count;
        }
    }
}

// The whole rotation, spans found by RotateBitmap, at odd sizes, every
// pivot corner and angles across both quadrants.
TEST(Kernels, RotateBitmapMatchesTheReference)
{
    TLevelGuard guard;
    for (const auto& [w, h] : {std::pair{1, 1}, {3, 2}, {13, 7}, {61, 97}, {250, 33}}) {
        TBitmap src(w, h);
        const std::vector<uint32_t> noise = Noise(size_t(w) * size_t(h), uint32_t(w * h));
        std::memcpy(src.Bits(), noise.data(), noise.size() * 4);
        for (const auto& [px, py] : {std::pair{-1, -1}, {-1, h}, {w, -1}, {w, h}})
            for (int percent = -99; percent <= 99; percent += 7) {
                const long double angle = percent * std::numbers::pi_v<long double> / 200;
                SetKernelLevel(TKernelLevel::Scalar);
                TBitmap want(w, h, 0x11223344u);
                RotateBitmap(want, src, px, py, angle);
                for (const TKernelLevel level : FastLevels()) {
                    SetKernelLevel(level);
                    TBitmap got(w, h, 0x11223344u);
                    RotateBitmap(got, src, px, py, angle);
                    ASSERT_EQ(std::memcmp(got.Bits(), want.Bits(), size_t(w) * size_t(h) * 4), 0)
                        << KernelLevelName(level) << " " << w << "x" << h << " pivot " << px << "," << py
                        << " at " << percent;
                }
            }
    }
}

// Every style, drawn with the scalar kernels and with each fast level, gives
// the same frames on a picture of odd size.
TEST(Kernels, EveryStyleDrawsTheSameFramesWithEveryLevel)
{
    TLevelGuard guard;
    constexpr int32_t W = 203, H = 117;
    TBitmap old(W, H), image(W, H);
    const std::vector<uint32_t> a = Noise(size_t(W) * H, 5), b = Noise(size_t(W) * H, 6);
    std::memcpy(old.Bits(), a.data(), a.size() * 4);
    std::memcpy(image.Bits(), b.data(), b.size() * 4);
    const auto frame = [&](TKernelLevel level, int style, int32_t progress, TBitmap& out) {
        SetKernelLevel(level);
        SetRandSeed(uint32_t(style * 1000 + progress));
        out.Assign(old);
        DrawEffectFrame(out, image, style, 4, progress);
    };
    TBitmap want, got;
    for (int style = 1; style <= MaxShowStyle; ++style)
        for (const int32_t progress : {1, 23, 50, 77, 99})
            for (const TKernelLevel level : FastLevels()) {
                frame(TKernelLevel::Scalar, style, progress, want);
                frame(level, style, progress, got);
                ASSERT_EQ(std::memcmp(got.Bits(), want.Bits(), size_t(W) * H * 4), 0)
                    << "style " << style << " at " << progress << " with " << KernelLevelName(level);
            }
}

} // namespace
} // namespace mirel::test
