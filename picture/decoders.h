// The decoders behind DecodePicture, one per format. Each throws TDecodeError
// with the reason alone (the caller adds the file's name) and leaves out
// unchanged on failure.
#pragma once

#include "picture/load.h"

#include <cstddef>
#include <cstdint>

namespace mirel::picture {

void DecodePng(const uint8_t* data, size_t size, TBitmap& out);
void DecodeWebp(const uint8_t* data, size_t size, TBitmap& out);
void DecodeBmp(const uint8_t* data, size_t size, TBitmap& out);
void DecodeIco(const uint8_t* data, size_t size, TBitmap& out);

// Throws unless a width x height picture is within the limits.
void CheckPictureSize(int64_t width, int64_t height);

// True when data starts with the PNG signature.
bool IsPng(const uint8_t* data, size_t size);

// A PNG's size, from its first PngHeaderBytes bytes; false where they are
// not a PNG's start.
constexpr size_t PngHeaderBytes = 24;
bool PngSize(const uint8_t* data, size_t size, int32_t& width, int32_t& height);

} // namespace mirel::picture
