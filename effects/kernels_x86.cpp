// SSE2 and AVX2 versions of the kernels in kernels.h, in intrinsics, so that
// they come out the same at -O2 and -O3 and whatever the vectoriser does.
// SSE2 is part of every x86-64 processor; the AVX2 functions are compiled
// for it alone (target attribute) and only called when the processor says it
// has it. Each leaves its last few pixels to the scalar reference.
#include "effects/kernels.h"

#include <immintrin.h>

#define MIREL_AVX2 __attribute__((target("avx2")))

namespace mirel::kernels {

namespace {

// v div 100 for every v up to 100 * 255, in 16-bit lanes: the high half of
// v * 5243, shifted by 3. Exact over that range (checked below at compile time).
constexpr bool Div100IsExact()
{
    for (uint32_t v = 0; v <= 100 * 255; ++v)
        if (((v * 5243u) >> 16) >> 3 != v / 100)
            return false;
    return true;
}
static_assert(Div100IsExact());

// One blended half: eight 16-bit channels, keep and take per lane.
inline __m128i BlendHalf(__m128i d, __m128i s, __m128i keep, __m128i take, __m128i magic)
{
    const __m128i v = _mm_add_epi16(_mm_mullo_epi16(d, keep), _mm_mullo_epi16(s, take));
    return _mm_srli_epi16(_mm_mulhi_epu16(v, magic), 3);
}

MIREL_AVX2 inline __m256i BlendHalf(__m256i d, __m256i s, __m256i keep, __m256i take, __m256i magic)
{
    const __m256i v = _mm256_add_epi16(_mm256_mullo_epi16(d, keep), _mm256_mullo_epi16(s, take));
    return _mm256_srli_epi16(_mm256_mulhi_epu16(v, magic), 3);
}

// Four pixels: unpacked to 16-bit lanes blue, green, red, fourth; the fourth
// weighted 100 : 0.
inline void Blend4(uint32_t* d, const uint32_t* a, const uint32_t* s, __m128i keep, __m128i take, __m128i magic)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i dv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a));
    const __m128i sv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
    const __m128i lo = BlendHalf(_mm_unpacklo_epi8(dv, zero), _mm_unpacklo_epi8(sv, zero), keep, take, magic);
    const __m128i hi = BlendHalf(_mm_unpackhi_epi8(dv, zero), _mm_unpackhi_epi8(sv, zero), keep, take, magic);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm_packus_epi16(lo, hi));
}

// The lane offsets 0, step, 2 step, ... of a 16.16 accumulator.
inline __m128i Ramp4(uint32_t step)
{
    return _mm_setr_epi32(0, int(step), int(2 * step), int(3 * step));
}

// Source offsets of four pixels: (top - (b >> 16)) * width + (a >> 16).
// Both factors are below 32768, so one signed 16-bit multiply-add makes the
// product (the high halves of the lanes are 0).
inline __m128i Offsets4(__m128i a, __m128i b, __m128i top, __m128i width)
{
    const __m128i row = _mm_sub_epi32(top, _mm_srli_epi32(b, 16));
    return _mm_add_epi32(_mm_madd_epi16(row, width), _mm_srli_epi32(a, 16));
}

// Source offsets of eight pixels, as Offsets4.
MIREL_AVX2 inline __m256i Offsets8(__m256i a, __m256i b, __m256i top, __m256i width)
{
    const __m256i row = _mm256_sub_epi32(top, _mm256_srli_epi32(b, 16));
    return _mm256_add_epi32(_mm256_madd_epi16(row, width), _mm256_srli_epi32(a, 16));
}

// Asks for the source lines of the pixels at the offsets in lanes 0 and
// 2 (and 4 and 6) of at. Every second lane measured best: asking for every
// one cost more than it brought, every fourth left too many lines unasked
// at steep angles. Nothing is read, so the offsets may lie anywhere; the
// addresses are made as integers.
template <int Lanes>
inline void Prefetch(const uint32_t* src, const uint32_t (&at)[Lanes])
{
    const auto base = reinterpret_cast<uintptr_t>(src);
    for (int lane = 0; lane < Lanes; lane += 2)
        _mm_prefetch(reinterpret_cast<const char*>(base + uintptr_t(at[lane]) * 4), _MM_HINT_T0);
}

} // namespace

void BlendRowSse2(uint32_t* d, const uint32_t* a, const uint32_t* s, size_t count, uint32_t percent)
{
    const auto k = short(100 - percent), t = short(percent);
    const __m128i keep = _mm_setr_epi16(k, k, k, 100, k, k, k, 100);
    const __m128i take = _mm_setr_epi16(t, t, t, 0, t, t, t, 0);
    const __m128i magic = _mm_set1_epi16(5243);
    size_t i = 0;
    for (; i + 8 <= count; i += 8) {
        Blend4(d + i, a + i, s + i, keep, take, magic);
        Blend4(d + i + 4, a + i + 4, s + i + 4, keep, take, magic);
    }
    for (; i + 4 <= count; i += 4)
        Blend4(d + i, a + i, s + i, keep, take, magic);
    BlendRowScalar(d + i, a + i, s + i, count - i, percent);
}

void RotateSpanSse2(uint32_t* d, size_t count, const uint32_t* src, uint32_t width, uint32_t top, uint32_t a,
                    uint32_t b, uint32_t stepA, uint32_t stepB, uint32_t aheadA, uint32_t aheadB)
{
    // SSE2 has no gather: the offsets are computed four at a time, the
    // loads stay one by one.
    size_t x = 0;
    if (count >= 4) {
        __m128i va = _mm_add_epi32(_mm_set1_epi32(int(a)), Ramp4(stepA));
        __m128i vb = _mm_add_epi32(_mm_set1_epi32(int(b)), Ramp4(stepB));
        const __m128i stepA4 = _mm_set1_epi32(int(4 * stepA)), stepB4 = _mm_set1_epi32(int(4 * stepB));
        const __m128i vtop = _mm_set1_epi32(int(top)), vwidth = _mm_set1_epi32(int(width));
        const __m128i vaheadA = _mm_set1_epi32(int(aheadA)), vaheadB = _mm_set1_epi32(int(aheadB));
        for (; x + 4 <= count; x += 4) {
            alignas(16) uint32_t ahead[4];
            _mm_store_si128(reinterpret_cast<__m128i*>(ahead),
                            Offsets4(_mm_add_epi32(va, vaheadA), _mm_add_epi32(vb, vaheadB), vtop, vwidth));
            Prefetch(src, ahead);
            alignas(16) uint32_t at[4];
            _mm_store_si128(reinterpret_cast<__m128i*>(at), Offsets4(va, vb, vtop, vwidth));
            const __m128i px = _mm_setr_epi32(int(src[at[0]]), int(src[at[1]]), int(src[at[2]]), int(src[at[3]]));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d + x), px);
            va = _mm_add_epi32(va, stepA4);
            vb = _mm_add_epi32(vb, stepB4);
        }
    }
    RotateSpanScalar(d + x, count - x, src, width, top, a + uint32_t(x) * stepA, b + uint32_t(x) * stepB, stepA,
                     stepB, aheadA, aheadB);
}

MIREL_AVX2 void BlendRowAvx2(uint32_t* d, const uint32_t* a, const uint32_t* s, size_t count, uint32_t percent)
{
    const auto k = short(100 - percent), t = short(percent);
    const __m256i keep = _mm256_setr_epi16(k, k, k, 100, k, k, k, 100, k, k, k, 100, k, k, k, 100);
    const __m256i take = _mm256_setr_epi16(t, t, t, 0, t, t, t, 0, t, t, t, 0, t, t, t, 0);
    const __m256i magic = _mm256_set1_epi16(5243);
    const __m256i zero = _mm256_setzero_si256();
    size_t i = 0;
    // Unpacking and packing both work within 128-bit lanes, so the pixels
    // come back in their order.
    for (; i + 8 <= count; i += 8) {
        const __m256i dv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(a + i));
        const __m256i sv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + i));
        const __m256i lo =
            BlendHalf(_mm256_unpacklo_epi8(dv, zero), _mm256_unpacklo_epi8(sv, zero), keep, take, magic);
        const __m256i hi =
            BlendHalf(_mm256_unpackhi_epi8(dv, zero), _mm256_unpackhi_epi8(sv, zero), keep, take, magic);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + i), _mm256_packus_epi16(lo, hi));
    }
    BlendRowSse2(d + i, a + i, s + i, count - i, percent);
}

MIREL_AVX2 void RotateSpanAvx2(uint32_t* d, size_t count, const uint32_t* src, uint32_t width, uint32_t top,
                               uint32_t a, uint32_t b, uint32_t stepA, uint32_t stepB, uint32_t aheadA,
                               uint32_t aheadB)
{
    size_t x = 0;
    if (count >= 8) {
        const __m256i lanes = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
        __m256i va = _mm256_add_epi32(_mm256_set1_epi32(int(a)), _mm256_mullo_epi32(_mm256_set1_epi32(int(stepA)), lanes));
        __m256i vb = _mm256_add_epi32(_mm256_set1_epi32(int(b)), _mm256_mullo_epi32(_mm256_set1_epi32(int(stepB)), lanes));
        const __m256i stepA8 = _mm256_set1_epi32(int(8 * stepA)), stepB8 = _mm256_set1_epi32(int(8 * stepB));
        const __m256i vtop = _mm256_set1_epi32(int(top)), vwidth = _mm256_set1_epi32(int(width));
        const __m256i vaheadA = _mm256_set1_epi32(int(aheadA)), vaheadB = _mm256_set1_epi32(int(aheadB));
        const int* base = reinterpret_cast<const int*>(src);
        for (; x + 8 <= count; x += 8) {
            alignas(32) uint32_t ahead[8];
            _mm256_store_si256(reinterpret_cast<__m256i*>(ahead),
                               Offsets8(_mm256_add_epi32(va, vaheadA), _mm256_add_epi32(vb, vaheadB), vtop, vwidth));
            Prefetch(src, ahead);
            const __m256i at = Offsets8(va, vb, vtop, vwidth);
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + x), _mm256_i32gather_epi32(base, at, 4));
            va = _mm256_add_epi32(va, stepA8);
            vb = _mm256_add_epi32(vb, stepB8);
        }
    }
    RotateSpanSse2(d + x, count - x, src, width, top, a + uint32_t(x) * stepA, b + uint32_t(x) * stepB, stepA,
                   stepB, aheadA, aheadB);
}

} // namespace mirel::kernels
