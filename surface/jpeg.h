// JPEG decoding into a TBitmap (libjpeg-turbo).
#pragma once

#include "surface/bitmap.h"

#include <mirel/errors.h>

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace mirel {

// TDecodeError (mirel/errors.h): a picture that cannot be read or decoded.

// Pictures larger than this are refused before any pixel memory is taken.
constexpr int64_t MaxPicturePixels = 100'000'000;

// A progressive JPEG may spread its picture over this many scans at most.
// Every scan costs a pass over all the blocks it covers, so a file of many
// (possibly empty) scans would cost time in proportion to scans x pixels;
// real encoders write about ten.
constexpr int MaxJpegScans = 100;

// Decodes a JPEG held in memory into out (resized to the picture), upright
// as its Exif orientation says. Baseline and progressive, colour, grey and
// CMYK pictures all come out as opaque 32-bit colour. A file cut short or
// with damaged data is refused (it would decode with made-up grey blocks).
// Throws TDecodeError; out is left unchanged on failure.
void DecodeJpeg(const uint8_t* data, size_t size, TBitmap& out);

// The same, decoded at the smallest scale of 1/2, 1/4 or 1/8 whose upright
// picture still covers fitWidth x fitHeight (full size when either is 0),
// straight into the bitmap's rows. A memoryBudget above 0 bounds what
// decoding takes besides the picture (a progressive file's coefficients);
// a file that needs more is refused with WorkingMemoryMessage. Memory that
// runs out is reported as "out of memory". With acceptTruncated, a file cut
// short after its first scan (progressive) or its first row of blocks
// (sequential) is decoded with what it has, the rest mid grey (0x808080:
// blocks without data); a file cut sooner is refused all the same.
void DecodeJpeg(const uint8_t* data, size_t size, TBitmap& out, int32_t fitWidth, int32_t fitHeight,
                int64_t memoryBudget = 0, bool acceptTruncated = false);

// The largest power of two k up to most (1, 2, 4, ...) by which a width x
// height picture, each side divided by k and rounded up, still covers
// fitWidth x fitHeight: the DCT scale of DecodeJpeg, and the factor a
// decoder that reduces by averaging k x k blocks takes. 1 when either of
// fitWidth and fitHeight is 0.
int CoveringReduction(int64_t width, int64_t height, int32_t fitWidth, int32_t fitHeight, int most);

// The reason given for a picture whose decoding would take bytes of memory
// besides the picture itself, over budget.
std::string WorkingMemoryMessage(int64_t bytes, int64_t budget);

// The upright size of a JPEG held in memory, from its header alone (the
// header may be all that is given). False where the header cannot be read:
// DecodeJpeg then tells why.
bool JpegSize(const uint8_t* data, size_t size, int32_t& width, int32_t& height);

// The Exif orientation (1 to 8) of a JPEG held in memory; 1 when it has none.
int JpegOrientation(const uint8_t* data, size_t size);

// Turns a picture stored with Exif orientation 2 to 8 upright (1 leaves it).
void Orient(TBitmap& bitmap, int orientation);

// Reads and decodes a JPEG file. Throws TDecodeError naming the file.
void LoadJpegFile(const std::string& path, TBitmap& out);

} // namespace mirel
