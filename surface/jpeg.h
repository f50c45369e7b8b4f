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

// Decodes a JPEG held in memory into out (resized to the picture), upright
// as its Exif orientation says. Baseline and progressive, colour, grey and
// CMYK pictures all come out as 32-bit colour. Throws TDecodeError; out is
// left unchanged on failure.
void DecodeJpeg(const uint8_t* data, size_t size, TBitmap& out);

// The Exif orientation (1 to 8) of a JPEG held in memory; 1 when it has none.
int JpegOrientation(const uint8_t* data, size_t size);

// Turns a picture stored with Exif orientation 2 to 8 upright (1 leaves it).
void Orient(TBitmap& bitmap, int orientation);

// Reads and decodes a JPEG file. Throws TDecodeError naming the file.
void LoadJpegFile(const std::string& path, TBitmap& out);

} // namespace mirel
