// Picture files into bitmaps: one loader for the widget, the show and
// mirel-render.
//
// The decoder is chosen by the file name's extension (any case): "jpg" and
// "jpeg" (libjpeg-turbo), "png" (libpng), "webp" (libwebp, the first frame of
// an animation), "bmp" and "ico" (our own readers). Every picture comes out
// upright as 32-bit pixels 0xAARRGGBB with straight (not premultiplied)
// alpha; pictures without transparency are opaque.
//
// Every pixel of a loaded picture comes from the file: a file that is cut
// short or contradicts itself is refused, never shown with made-up pixels.
// Files are read through one bounded read of an opened regular file; a file
// far larger than any picture within the pixel limit (MaxPicturePixels) is
// refused before it is read, and so is a picture whose decoding would cost
// far more than its pixel count (a JPEG of thousands of empty scans) or
// more memory than the budget besides the picture (TLoadOptions). Running
// out of memory is reported as "out of memory", never as a broken file.
#pragma once

#include "surface/bitmap.h"
#include "surface/jpeg.h" // TDecodeError, MaxPicturePixels

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace mirel {

// Decoding one picture may take this much memory besides the picture it
// yields (progressive JPEG coefficients, a lossless WebP's own pixels, a
// WebP's alpha plane): 384 MB unless the environment variable
// MIREL_PICTURE_MEMORY_MB gives another number of megabytes. Enough for the
// coefficients of a progressive 4:2:0 photo at the 100-megapixel limit
// (300 MB), not for a small file that asks for a 4:4:4 one or a lossless
// canvas of that size.
constexpr int64_t DefaultPictureMemoryBudget = int64_t{384} << 20;

struct TLoadOptions {
    // A hint: the picture will be shown no larger than this (0 = full size).
    // JPEGs are then decoded at the smallest DCT scale (in eighths) that
    // still covers it, WebP pictures (still or the first frame of an
    // animation) at the size, with their aspect, that just covers it, and
    // PNGs that are not interlaced and BMP files reduced by the largest
    // power of two that still covers it (each block of pixels averaged,
    // alpha-weighted); the result may be larger than the hint, never smaller
    // than needed. Icons decode at full size.
    int32_t FitWidth = 0;
    int32_t FitHeight = 0;
    // The picture will be fitted inside the hint with its aspect kept
    // (FitPicture's Aspect), so it need only cover the part of the hint it
    // fills: a 3:2 photo for a 16:9 screen is decoded for the photo's own
    // shape at the screen's height. JPEG and PNG pictures only; others take
    // the whole hint.
    bool Contain = false;
    // The memory decoding may take besides the picture, in bytes; 0 is the
    // default (PictureMemoryBudget). A picture that would need more is
    // refused with a line saying so.
    int64_t MemoryBudget = 0;
};

// The budget in effect: MIREL_PICTURE_MEMORY_MB (a positive whole number of
// megabytes) when set, else DefaultPictureMemoryBudget.
int64_t PictureMemoryBudget();

// True for the names the loader reads, by extension, any case: jpg jpeg png
// bmp ico webp.
bool IsPictureFile(std::string_view path);

// Loads a picture file, upright, as 32-bit pixels. Throws TDecodeError whose
// what() is the one line "PATH: reason"; out is unchanged then.
void LoadPicture(const std::string& path, TBitmap& out, const TLoadOptions& options = {});

// The upright size of a picture file read from its header, without decoding
// it, where that is quick: JPEGs and PNGs. False for other formats and for a
// file that cannot be read (LoadPicture then tells why).
bool PeekPictureSize(const std::string& path, int32_t& width, int32_t& height);

// The same from memory; name (a file name or just an extension) chooses the
// decoder. A name with a dot in it prefixes the error text ("NAME: reason").
void DecodePicture(const uint8_t* data, size_t size, std::string_view name, TBitmap& out,
                   const TLoadOptions& options = {});

} // namespace mirel
