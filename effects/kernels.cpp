// The scalar reference kernels and the choice among the versions.
#include "effects/kernels.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace mirel {

namespace kernels {

// Plain on purpose: this is the definition the fast versions are held to.
void BlendRowScalar(uint32_t* d, const uint32_t* a, const uint32_t* s, size_t count, uint32_t percent)
{
    // Byte by byte: blue, green, red and the fourth byte in memory order.
    auto* db = reinterpret_cast<uint8_t*>(d);
    const auto* ab = reinterpret_cast<const uint8_t*>(a);
    const auto* sb = reinterpret_cast<const uint8_t*>(s);
    const uint32_t keep = 100 - percent, take = percent;
    for (size_t i = 0; i < count * 4; ++i)
        db[i] = i % 4 != 3 ? uint8_t((ab[i] * keep + sb[i] * take) / 100) : ab[i];
}

void RotateSpanScalar(uint32_t* d, size_t count, const uint32_t* src, uint32_t width, uint32_t top, uint32_t a,
                      uint32_t b, uint32_t stepA, uint32_t stepB, uint32_t, uint32_t)
{
    for (size_t x = 0; x < count; ++x) {
        d[x] = src[size_t(top - (b >> 16)) * width + (a >> 16)];
        a += stepA;
        b += stepB;
    }
}

} // namespace kernels

namespace {

constexpr TKernels ScalarKernels{TKernelLevel::Scalar, kernels::BlendRowScalar, kernels::RotateSpanScalar};
#if MIREL_X86_KERNELS
constexpr TKernels Sse2Kernels{TKernelLevel::Sse2, kernels::BlendRowSse2, kernels::RotateSpanSse2};
constexpr TKernels Avx2Kernels{TKernelLevel::Avx2, kernels::BlendRowAvx2, kernels::RotateSpanAvx2};
#endif

// MIREL_KERNELS caps the level; unset or unknown leaves the best.
TKernelLevel LevelFromEnvironment(TKernelLevel best)
{
    const char* env = std::getenv("MIREL_KERNELS");
    if (env == nullptr)
        return best;
    for (const TKernelLevel level : {TKernelLevel::Scalar, TKernelLevel::Sse2, TKernelLevel::Avx2})
        if (std::strcmp(env, KernelLevelName(level)) == 0)
            return level < best ? level : best;
    return best;
}

std::atomic<const TKernels*>& Active()
{
    static std::atomic<const TKernels*> active{KernelsOf(LevelFromEnvironment(BestKernelLevel()))};
    return active;
}

} // namespace

const TKernels* KernelsOf(TKernelLevel level)
{
    switch (level) {
    case TKernelLevel::Scalar:
        return &ScalarKernels;
#if MIREL_X86_KERNELS
    case TKernelLevel::Sse2:
        return &Sse2Kernels;
    case TKernelLevel::Avx2:
        __builtin_cpu_init(); // may run before the constructors that would do it
        return __builtin_cpu_supports("avx2") ? &Avx2Kernels : nullptr;
#endif
    default:
        return nullptr;
    }
}

TKernelLevel BestKernelLevel()
{
    for (const TKernelLevel level : {TKernelLevel::Avx2, TKernelLevel::Sse2})
        if (KernelsOf(level) != nullptr)
            return level;
    return TKernelLevel::Scalar;
}

const TKernels& Kernels() { return *Active().load(std::memory_order_relaxed); }

void SetKernelLevel(TKernelLevel level)
{
    for (int l = int(level); l >= 0; --l)
        if (const TKernels* k = KernelsOf(TKernelLevel(l))) {
            Active().store(k, std::memory_order_relaxed);
            return;
        }
}

const char* KernelLevelName(TKernelLevel level)
{
    switch (level) {
    case TKernelLevel::Scalar:
        return "scalar";
    case TKernelLevel::Sse2:
        return "sse2";
    case TKernelLevel::Avx2:
        return "avx2";
    }
    return "?";
}

} // namespace mirel
