// The process-wide pseudo-random generator shared by the show (style choice)
// and the random effects.
//
// One 32-bit seed, 0 at process start and never taken from the clock, so that
// a run is reproducible: a fresh process drawing Random(150) + 1 six times
// gets 1, 5, 130, 31, 41, 101. Each draw advances the seed by
// seed := seed * 134775813 + 1 (mod 2^32) and returns the high 32 bits of the
// 64-bit product seed * n, a number in 0 .. n - 1.
//
// The show and the effects draw from it on different threads without a lock,
// by design: they never draw at the same time, since the show picks the next
// style only after stopping the running transition. The seed is an atomic
// with relaxed order so that such use is defined behaviour, not a data race.
//
// A thread may instead draw from a seed of its own for a while: as long as a
// TRandomScope lives on a thread, Random, RandSeed and SetRandSeed on that
// thread use the scope's seed and leave the shared one alone, and other
// threads still see the shared seed (or their own scope's). Hosts that must
// draw the same frame whatever was drawn before, and on several threads at
// once (video editors), render each frame inside a scope seeded for that
// frame. Scopes nest; the innermost one is in use.
#pragma once

#include <cstdint>

namespace mirel {

// A number in 0 .. n - 1; 0 when n <= 0, the seed advancing all the same.
int32_t Random(int32_t n);

uint32_t RandSeed();
void SetRandSeed(uint32_t seed);

class TRandomScope {
public:
    explicit TRandomScope(uint32_t seed);
    ~TRandomScope();
    TRandomScope(const TRandomScope&) = delete;
    TRandomScope& operator=(const TRandomScope&) = delete;

    uint32_t Seed() const { return seed_; }

private:
    uint32_t seed_;
    uint32_t* outer_;
};

} // namespace mirel
