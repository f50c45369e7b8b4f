#include "effects/random.h"

#include <atomic>

namespace mirel {

namespace {
std::atomic<uint32_t> seed{0};
}

int32_t Random(int32_t n)
{
    const uint32_t next = seed.load(std::memory_order_relaxed) * 134775813u + 1u;
    seed.store(next, std::memory_order_relaxed);
    if (n <= 0)
        return 0;
    return int32_t((uint64_t{next} * uint64_t(n)) >> 32);
}

uint32_t RandSeed() { return seed.load(std::memory_order_relaxed); }

void SetRandSeed(uint32_t value) { seed.store(value, std::memory_order_relaxed); }

} // namespace mirel
