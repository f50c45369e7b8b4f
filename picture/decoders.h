// The decoders behind DecodePicture, one per format. Each throws TDecodeError
// with the reason alone (the caller adds the file's name) and leaves out
// unchanged on failure.
#pragma once

#include "picture/load.h"

#include <cstddef>
#include <cstdint>

namespace mirel::picture {

// options.MemoryBudget is the budget itself here (never 0), except for
// DecodePng, where 0 (a PNG inside an icon) is PictureMemoryBudget().
void DecodePng(const uint8_t* data, size_t size, TBitmap& out, const TLoadOptions& options = {});
void DecodeWebp(const uint8_t* data, size_t size, TBitmap& out, const TLoadOptions& options);
void DecodeBmp(const uint8_t* data, size_t size, TBitmap& out, const TLoadOptions& options);
void DecodeIco(const uint8_t* data, size_t size, TBitmap& out);

// Throws unless a width x height picture is within the limits.
void CheckPictureSize(int64_t width, int64_t height);

// Throws unless bytes of working memory are within budget.
void CheckWorkingMemory(int64_t bytes, int64_t budget);

// The reason given when memory runs out, whatever the decoder calls it.
inline constexpr const char* OutOfMemory = "out of memory";

// True when data starts with the PNG signature.
bool IsPng(const uint8_t* data, size_t size);

// A PNG's size, from its first PngHeaderBytes bytes; false where they are
// not a PNG's start.
constexpr size_t PngHeaderBytes = 24;
bool PngSize(const uint8_t* data, size_t size, int32_t& width, int32_t& height);

} // namespace mirel::picture
