// A run of pixels copied from one row to another, tuned for the short runs
// that combs and shreds are made of.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace mirel {

// n pixels from src to dst, two buffers apart. Short runs, the slats of a
// comb, are moved by a pair of fixed-size copies that may overlap each other
// (inlined loads and stores) rather than through a call; longer ones by memcpy.
inline void CopyRun(uint32_t* dst, const uint32_t* src, size_t n)
{
    if (n >= 16) {
        std::memcpy(dst, src, n * 4);
    } else if (n >= 8) {
        std::memcpy(dst, src, 32);
        std::memcpy(dst + n - 8, src + n - 8, 32);
    } else if (n >= 4) {
        std::memcpy(dst, src, 16);
        std::memcpy(dst + n - 4, src + n - 4, 16);
    } else if (n >= 2) {
        std::memcpy(dst, src, 8);
        std::memcpy(dst + n - 2, src + n - 2, 8);
    } else if (n == 1) {
        *dst = *src;
    }
}

} // namespace mirel
