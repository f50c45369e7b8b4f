// Drawing work split into horizontal bands on a few threads.
//
// Regions are built once, on the caller's thread; only the pixel work of one
// drawing operation (a copy, a blend, a rotation) is spread, band by band,
// and the operation returns when every band is done. Bands never share a
// destination row, so a frame comes out the same, pixel for pixel, whatever
// the number of threads, and no random number is drawn differently.
#pragma once

#include <cstdint>
#include <functional>

namespace mirel {

// How many threads drawing operations may use (1, the default: all on the
// calling thread). Call it while nothing draws.
void SetDrawingThreads(int threads);
int DrawingThreads();

// Runs body(bandTop, bandBottom) over the rows [top, bottom) cut into bands,
// on up to DrawingThreads() threads when the work (pixels) is large enough
// to pay for it, otherwise at once on this thread. body may only write rows
// of its own band. While another thread's banded operation runs, this one
// runs on its own thread alone.
void ForEachBand(int32_t top, int32_t bottom, int64_t pixels, const std::function<void(int32_t, int32_t)>& body);

} // namespace mirel
