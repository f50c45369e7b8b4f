// The per-pixel loops of the effects: the fade's blend and the pivots'
// rotation, one row (or one span of a row) at a time.
//
// Each kernel has one plain scalar version, the reference, and faster ones
// beside it (kernels_x86.cpp: SSE2, the x86-64 baseline, and AVX2 where the
// processor has it). Every version gives the same pixels as the reference;
// the tests hold them to that over odd widths and alignments, and render
// every style both ways.
//
// The best version the processor runs is chosen once, at the first frame.
// The environment variable MIREL_KERNELS=scalar (or sse2) caps the choice
// for testing, and so does SetKernelLevel; the CMake option
// MIREL_SCALAR_KERNELS builds the scalar versions alone.
#pragma once

#include <cstddef>
#include <cstdint>

namespace mirel {

enum class TKernelLevel : int { Scalar = 0, Sse2 = 1, Avx2 = 2 };

struct TKernels {
    TKernelLevel Level;

    // count pixels of a blended towards s by percent (0 .. 100) into d: blue,
    // green and red each become (a * (100 - percent) + s * percent) div 100,
    // the fourth byte is a's. a may be d (a blend in place); otherwise no two
    // of them overlap.
    void (*BlendRow)(uint32_t* d, const uint32_t* a, const uint32_t* s, size_t count, uint32_t percent);

    // count pixels of a rotated row: pixel x is src[(top - (b >> 16)) * width
    // + (a >> 16)] for the 16.16 accumulators a + x * stepA and b + x * stepB
    // (unsigned 32-bit sums). The caller guarantees that every one of them
    // lies inside src (a >> 16 < width, b >> 16 <= top) and that width and
    // top + 1 are below 32768.
    // aheadA and aheadB take a and b to the same pixel of a row a few rows
    // further on, whose source the faster versions fetch into the cache
    // while this row is drawn: a slanted row reads a new source row every few
    // pixels, too many streams for the processor to foresee. Only a hint:
    // it never changes a pixel, and nothing there is read.
    void (*RotateSpan)(uint32_t* d, size_t count, const uint32_t* src, uint32_t width, uint32_t top, uint32_t a,
                       uint32_t b, uint32_t stepA, uint32_t stepB, uint32_t aheadA, uint32_t aheadB);
};

// The kernels in use.
const TKernels& Kernels();

// The kernels of one level, or nullptr when this build or this processor
// lacks it. The scalar ones always exist.
const TKernels* KernelsOf(TKernelLevel level);

// The best level this build and processor run, whatever MIREL_KERNELS says.
TKernelLevel BestKernelLevel();

// Uses level, or the best below it that exists. Call it while nothing draws.
void SetKernelLevel(TKernelLevel level);

const char* KernelLevelName(TKernelLevel level);

namespace kernels {
// The versions themselves, for the table above.
void BlendRowScalar(uint32_t* d, const uint32_t* a, const uint32_t* s, size_t count, uint32_t percent);
void RotateSpanScalar(uint32_t* d, size_t count, const uint32_t* src, uint32_t width, uint32_t top, uint32_t a,
                      uint32_t b, uint32_t stepA, uint32_t stepB, uint32_t aheadA,
                      uint32_t aheadB);
#if MIREL_X86_KERNELS
void BlendRowSse2(uint32_t* d, const uint32_t* a, const uint32_t* s, size_t count, uint32_t percent);
void RotateSpanSse2(uint32_t* d, size_t count, const uint32_t* src, uint32_t width, uint32_t top, uint32_t a,
                    uint32_t b, uint32_t stepA, uint32_t stepB, uint32_t aheadA,
                    uint32_t aheadB);
void BlendRowAvx2(uint32_t* d, const uint32_t* a, const uint32_t* s, size_t count, uint32_t percent);
void RotateSpanAvx2(uint32_t* d, size_t count, const uint32_t* src, uint32_t width, uint32_t top, uint32_t a,
                    uint32_t b, uint32_t stepA, uint32_t stepB, uint32_t aheadA,
                    uint32_t aheadB);
#endif
} // namespace kernels

} // namespace mirel
