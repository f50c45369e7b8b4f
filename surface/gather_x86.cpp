// The vector gathers of gather.h, AVX2 and AVX-512, each compiled for its
// instruction set alone (target attributes) and only called when the
// processor has it.
//
// A nearest-neighbour row that is magnified, or shrunk a little, takes each
// group of neighbouring pixels from a short window of its source row: a few
// plain loads of that window and a permutation do it. Where and how each
// group reads is planned once per copy, as the columns are the same in every
// row. Groups spread wider (a row shrunk more) are gathered pixel by pixel:
// on the processor measured (AMD Zen 4) the gather instructions were slower.
#include "surface/gather.h"

#include <immintrin.h>

#include <algorithm>

namespace mirel {

namespace {

#define MIREL_AVX2 __attribute__((target("avx2")))

MIREL_AVX2 inline __m256i load(const uint32_t* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }
MIREL_AVX2 inline void store(uint32_t* p, __m256i v) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v); }

} // namespace

void TColumnGather::Plan(size_t width, size_t group, uint8_t windows)
{
    const size_t groups = map_.size() / group;
    start_.resize(groups);
    kind_.resize(groups);
    lanes_.resize(groups * group);
    narrow_ = true;
    for (size_t g = 0; g < groups; ++g) {
        const uint32_t* m = map_.data() + g * group;
        const uint32_t lo = *std::min_element(m, m + group), hi = *std::max_element(m, m + group);
        uint8_t kind = 0;
        while (kind < windows && (hi - lo >= group << kind || width < group << kind))
            ++kind;
        // The window ends inside the row: moved back from its end when need be.
        const size_t span = kind < windows ? group << kind : group;
        const auto first = uint32_t(std::min<size_t>(lo, width - span));
        start_[g] = first;
        kind_[g] = kind;
        narrow_ = narrow_ && kind == 0;
        for (size_t i = 0; i < group; ++i)
            lanes_[g * group + i] = uint8_t(m[i] - first); // a spread group's are never read
    }
}

MIREL_AVX2 void TColumnGather::RowAvx2(uint32_t* d, const uint32_t* src, size_t from, size_t to, bool inPlace) const
{
    // The groups wholly inside [from, to); the columns before and after them
    // are gathered one by one. In place, left to right: each group's loads
    // come before its store.
    const size_t g0 = (from + 7) / 8, g1 = to / 8;
    if (g0 >= g1) {
        Plain(d, src, from, to, inPlace);
        return;
    }
    Plain(d, src, from, g0 * 8, inPlace);
    // Local copies: the stores to d could otherwise alias the members.
    const uint32_t* start = start_.data();
    const uint8_t* kind = kind_.data();
    const uint32_t* map = map_.data();
    const uint8_t* lanes = lanes_.data();
    const auto lanesOf = [lanes](size_t g) __attribute__((target("avx2"), always_inline)) {
        return _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(lanes + g * 8)));
    };
    if (narrow_) {
        // Magnified or mirrored rows, the common case: one window per group.
        for (size_t g = g0; g < g1; ++g) {
            store(d + g * 8, _mm256_permutevar8x32_epi32(load(src + start[g]), lanesOf(g)));
        }
    } else {
        const __m256i seven = _mm256_set1_epi32(7);
        for (size_t g = g0; g < g1; ++g) {
            const __m256i l = lanesOf(g);
            const uint32_t* w = src + start[g];
            if (kind[g] == 0) {
                store(d + g * 8, _mm256_permutevar8x32_epi32(load(w), l));
            } else if (kind[g] == 1) {
                const __m256i lo = _mm256_permutevar8x32_epi32(load(w), l);
                const __m256i hi = _mm256_permutevar8x32_epi32(load(w + 8), l);
                store(d + g * 8, _mm256_blendv_epi8(lo, hi, _mm256_cmpgt_epi32(l, seven)));
            } else {
                const uint32_t* m = map + g * 8;
                store(d + g * 8, _mm256_setr_epi32(int(src[m[0]]), int(src[m[1]]), int(src[m[2]]), int(src[m[3]]),
                                                   int(src[m[4]]), int(src[m[5]]), int(src[m[6]]), int(src[m[7]])));
            }
        }
    }
    Plain(d, src, g1 * 8, to, inPlace);
}

// AVX-512: sixteen columns at a time, from a window of sixteen (one load and
// a permutation), thirty-two (two loads and a permutation of both) or
// sixty-four (two such, blended): a row shrunk by up to four.
#define MIREL_AVX512 __attribute__((target("avx512f")))

MIREL_AVX512 void TColumnGather::RowAvx512(uint32_t* d, const uint32_t* src, size_t from, size_t to,
                                           bool inPlace) const
{
    // The masked forms with every lane kept: the plain ones trip GCC 12's
    // uninitialised-value warning in its own header.
    constexpr __mmask16 All = 0xFFFF;
    const size_t g0 = (from + 15) / 16, g1 = to / 16;
    if (g0 >= g1) {
        Plain(d, src, from, to, inPlace);
        return;
    }
    Plain(d, src, from, g0 * 16, inPlace);
    const uint32_t* start = start_.data();
    const uint8_t* kind = kind_.data();
    const uint32_t* map = map_.data();
    const uint8_t* lanes = lanes_.data();
    const auto at = [src](size_t column) __attribute__((target("avx512f"), always_inline)) {
        return _mm512_loadu_si512(src + column);
    };
    const auto lanesOf = [lanes](size_t g) __attribute__((target("avx512f"), always_inline)) {
        return _mm512_maskz_cvtepu8_epi32(All, _mm_loadu_si128(reinterpret_cast<const __m128i*>(lanes + g * 16)));
    };
    if (narrow_) { // magnified or mirrored rows, the common case
        for (size_t g = g0; g < g1; ++g)
            _mm512_storeu_si512(d + g * 16, _mm512_maskz_permutexvar_epi32(All, lanesOf(g), at(start[g])));
    } else {
        const __m512i beyond = _mm512_set1_epi32(32);
        for (size_t g = g0; g < g1; ++g) {
            const __m512i l = lanesOf(g);
            const size_t w = start[g];
            __m512i v;
            switch (kind[g]) {
            case 0:
                v = _mm512_maskz_permutexvar_epi32(All, l, at(w));
                break;
            case 1:
                v = _mm512_permutex2var_epi32(at(w), l, at(w + 16));
                break;
            case 2:
                v = _mm512_mask_blend_epi32(_mm512_test_epi32_mask(l, beyond),
                                            _mm512_permutex2var_epi32(at(w), l, at(w + 16)),
                                            _mm512_permutex2var_epi32(at(w + 32), l, at(w + 48)));
                break;
            default: // spread wider
                for (size_t i = g * 16; i < g * 16 + 16; ++i)
                    d[i] = src[map[i]];
                continue;
            }
            _mm512_storeu_si512(d + g * 16, v);
        }
    }
    Plain(d, src, g1 * 16, to, inPlace);
}

} // namespace mirel
