#include "effects/random.h"

#include <atomic>

namespace mirel {

namespace {
std::atomic<uint32_t> seed{0};
// The seed of the innermost TRandomScope on this thread, if any.
thread_local uint32_t* scoped = nullptr;

uint32_t Advance(uint32_t value) { return value * 134775813u + 1u; }
} // namespace

int32_t Random(int32_t n)
{
    uint32_t next;
    if (scoped) {
        next = *scoped = Advance(*scoped);
    } else {
        next = Advance(seed.load(std::memory_order_relaxed));
        seed.store(next, std::memory_order_relaxed);
    }
    if (n <= 0)
        return 0;
    return int32_t((uint64_t{next} * uint64_t(n)) >> 32);
}

uint32_t RandSeed() { return scoped ? *scoped : seed.load(std::memory_order_relaxed); }

void SetRandSeed(uint32_t value)
{
    if (scoped)
        *scoped = value;
    else
        seed.store(value, std::memory_order_relaxed);
}

TRandomScope::TRandomScope(uint32_t value) : seed_(value), outer_(scoped) { scoped = &seed_; }

TRandomScope::~TRandomScope() { scoped = outer_; }

} // namespace mirel
