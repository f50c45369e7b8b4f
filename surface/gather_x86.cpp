// The AVX2 gather of gather.h, compiled for AVX2 alone (target attribute)
// and only called when the processor has it.
//
// Eight columns at a time. A nearest-neighbour row that is magnified, or
// shrunk by up to two, takes each group of eight pixels from a window of at
// most sixteen source pixels: one or two plain loads of that window and a
// permutation do it. Where and how each group reads is planned once per
// copy, as the columns are the same in every row. Groups spread wider (a row
// shrunk more) take eight plain loads: on the processor measured (AMD Zen 4)
// the gather instruction was slower than those.
#include "surface/gather.h"

#include <immintrin.h>

#include <algorithm>

namespace mirel {

namespace {

#define MIREL_AVX2 __attribute__((target("avx2")))

MIREL_AVX2 inline __m256i load(const uint32_t* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }
MIREL_AVX2 inline void store(uint32_t* p, __m256i v) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v); }

} // namespace

void TColumnGather::Plan(size_t width)
{
    const size_t groups = map_.size() / 8;
    start_.resize(groups);
    kind_.resize(groups);
    lanes_.resize(groups * 8);
    narrow_ = true;
    for (size_t g = 0; g < groups; ++g) {
        const uint32_t* m = map_.data() + g * 8;
        const uint32_t lo = *std::min_element(m, m + 8), hi = *std::max_element(m, m + 8);
        // The window ends inside the row: moved back from its end when need be.
        const auto first = uint32_t(std::min<size_t>(lo, width - 16));
        start_[g] = first;
        kind_[g] = hi - first < 8 ? 0 : hi - first < 16 ? 1 : 2;
        narrow_ = narrow_ && kind_[g] == 0;
        for (size_t i = 0; i < 8; ++i)
            lanes_[g * 8 + i] = m[i] - first;
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
    const auto* lanes = reinterpret_cast<const __m256i*>(lanes_.data());
    if (narrow_) {
        // Magnified or mirrored rows, the common case: one window per group.
        for (size_t g = g0; g < g1; ++g) {
            store(d + g * 8, _mm256_permutevar8x32_epi32(load(src + start[g]), _mm256_loadu_si256(lanes + g)));
        }
    } else {
        const __m256i seven = _mm256_set1_epi32(7);
        for (size_t g = g0; g < g1; ++g) {
            const __m256i l = _mm256_loadu_si256(lanes + g);
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

} // namespace mirel
