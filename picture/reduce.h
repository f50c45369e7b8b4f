// A picture reduced by a whole factor while it is decoded, so that a large
// picture shown small is never held at full size.
//
// Rows arrive one at a time, top down or bottom up, as the file stores them;
// each block of k x k pixels becomes one pixel, the average of the block with
// colours weighted by alpha. Rows the file never gives (an RLE bitmap's
// skipped lines) count as transparent. Blocks at the right and bottom edges
// may be partial: each averages only the pixels the picture has there.
#pragma once

#include "surface/bitmap.h"

#include <cstdint>
#include <vector>

namespace mirel::picture {

class TBlockReducer {
public:
    // out becomes the reduced picture, transparent until rows arrive.
    TBlockReducer(uint32_t width, uint32_t height, uint32_t k, TBitmap& out);

    // Adds row y (counted from the top) of straight 0xAARRGGBB pixels. Rows
    // come in one direction, each at most once.
    void Add(uint32_t y, const uint32_t* row);

    // Writes the last block row; call once, after the last Add.
    void Finish();

    // The memory a reducer takes besides its output, for a picture width
    // pixels across.
    static int64_t WorkingBytes(uint32_t width, uint32_t k);

private:
    void Emit();

    uint32_t Width, Height, K;
    TBitmap& Out;
    // For each reduced pixel of the current block row: the sums of alpha
    // and of each colour times alpha.
    std::vector<uint64_t> Sums;
    uint32_t Block = UINT32_MAX; // the block row being summed, if any
};

} // namespace mirel::picture
