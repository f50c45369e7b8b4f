#include "surface/gather.h"

#include <cstdlib>
#include <cstring>
#include <utility>

namespace mirel {

// Unrolled by four so that the loads of neighbouring pixels overlap.
void GatherRowScalar(uint32_t* __restrict d, const uint32_t* __restrict src, const uint32_t* __restrict map,
                     size_t count)
{
    size_t i = 0;
    for (; i + 4 <= count; i += 4) {
        const uint32_t a = src[map[i]], b = src[map[i + 1]], c = src[map[i + 2]], e = src[map[i + 3]];
        d[i] = a;
        d[i + 1] = b;
        d[i + 2] = c;
        d[i + 3] = e;
    }
    for (; i < count; ++i)
        d[i] = src[map[i]];
}

// Pixel by pixel, left to right: each read before the write that may reach it.
void GatherRowInPlace(uint32_t* d, const uint32_t* src, const uint32_t* map, size_t count)
{
    for (size_t i = 0; i < count; ++i)
        d[i] = src[map[i]];
}

namespace {

// The widest gather that runs here, within MIREL_KERNELS: 0 plain, 1 AVX2,
// 2 AVX-512.
[[maybe_unused]] int WidestGather()
{
#if MIREL_X86_GATHER
    static const int widest = [] {
        const char* env = std::getenv("MIREL_KERNELS");
        int cap = 2;
        if (env != nullptr && (std::strcmp(env, "scalar") == 0 || std::strcmp(env, "sse2") == 0))
            cap = 0;
        else if (env != nullptr && std::strcmp(env, "avx2") == 0)
            cap = 1;
        __builtin_cpu_init();
        if (cap >= 2 && __builtin_cpu_supports("avx512f"))
            return 2;
        return cap >= 1 && __builtin_cpu_supports("avx2") ? 1 : 0;
    }();
    return widest;
#else
    return 0;
#endif
}

} // namespace

TColumnGather::TColumnGather(std::vector<uint32_t> map, [[maybe_unused]] size_t width, bool plain)
    : map_(std::move(map))
{
#if MIREL_X86_GATHER
    if (plain || width < 16)
        return;
    if (WidestGather() == 2 && map_.size() >= 16) {
        level_ = TLevel::Avx512;
        Plan(width, 16, 3);
    } else if (WidestGather() >= 1 && map_.size() >= 8) {
        level_ = TLevel::Avx2;
        Plan(width, 8, 2);
    }
#else
    (void)plain;
#endif
}

void TColumnGather::Row(uint32_t* d, const uint32_t* src, size_t from, size_t to) const
{
    Gather(d, src, from, to, false);
}

void TColumnGather::RowInPlace(uint32_t* d, const uint32_t* src, size_t from, size_t to) const
{
    Gather(d, src, from, to, true);
}

void TColumnGather::Gather(uint32_t* d, const uint32_t* src, size_t from, size_t to, bool inPlace) const
{
#if MIREL_X86_GATHER
    if (level_ == TLevel::Avx512) {
        RowAvx512(d, src, from, to, inPlace);
        return;
    }
    if (level_ == TLevel::Avx2) {
        RowAvx2(d, src, from, to, inPlace);
        return;
    }
#endif
    Plain(d, src, from, to, inPlace);
}

void TColumnGather::Plain(uint32_t* d, const uint32_t* src, size_t from, size_t to, bool inPlace) const
{
    if (inPlace)
        GatherRowInPlace(d + from, src, map_.data() + from, to - from);
    else
        GatherRowScalar(d + from, src, map_.data() + from, to - from);
}

} // namespace mirel
