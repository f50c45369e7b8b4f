// Picture files into bitmaps: one loader for the widget, the show and
// mirel-render.
//
// The decoder is chosen by the file's content, whatever its name: JPEG
// (libjpeg-turbo), PNG (libpng), WebP (libwebp, the first frame of an
// animation), BMP and ICO (our own readers). Any other content goes to the
// other formats' reader where a program has set one (SetOtherPictureFormats;
// picture/qt reads TIFF, GIF and the rest of Qt's image plugins), and is
// otherwise refused as no picture. Every picture comes out upright as
// 32-bit pixels 0xAARRGGBB with straight (not premultiplied) alpha; pictures
// without transparency are opaque.
//
// Every pixel of a picture our decoders load comes from the file: a file
// that is cut short or contradicts itself is refused, never shown with
// made-up pixels, except a cut JPEG where the caller asks for one
// (TLoadOptions::AcceptTruncated). Files are read through one bounded read
// of an opened regular file; a file far larger than any picture within the
// pixel limit (MaxPicturePixels) is refused before it is read, and so is a
// picture whose decoding would cost far more than its pixel count (a JPEG of
// thousands of empty scans) or more memory than the budget besides the
// picture (TLoadOptions). Running out of memory is reported as "out of
// memory", never as a broken file.
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
    // than needed. The other formats' reader decodes at the covering size
    // where its format can (Qt's SVG); icons and other formats decode at
    // full size.
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
    // A JPEG cut short is shown with what it has, as picture viewers show
    // one still arriving or broken off, when its first scan is whole (a
    // progressive file: the whole picture at coarse detail) or, for a
    // sequential one, at least its first row of blocks; what never arrived
    // is mid grey (0x808080), the colour of a block without data. Without
    // it such a file is refused, as every other cut file is.
    bool AcceptTruncated = false;
};

// The formats besides the loader's own, read by a decoder from outside this
// module: a program that has one sets it once, before loading anything.
class TOtherPictureFormats {
public:
    virtual ~TOtherPictureFormats() = default;
    // Decodes a picture none of the loader's own decoders claimed: false
    // when the content is no picture it knows, else out holds the picture
    // (true), or TDecodeError says why it cannot (the reason alone).
    // options.MemoryBudget is the budget itself (never 0).
    virtual bool Decode(const uint8_t* data, size_t size, TBitmap& out, const TLoadOptions& options) const = 0;
    // True for a file extension (lower case, without its dot) of a format
    // it reads.
    virtual bool ReadsExtension(std::string_view extension) const = 0;
};

// Sets the other formats' reader (null for none), which must outlive every
// load. Safe against loads on other threads; normally called once at start.
void SetOtherPictureFormats(const TOtherPictureFormats* formats);

// The budget in effect: MIREL_PICTURE_MEMORY_MB (a positive whole number of
// megabytes) when set, else DefaultPictureMemoryBudget.
int64_t PictureMemoryBudget();

// True for the names of the formats the loader reads, by extension, any
// case: jpg jpeg jpe jfif png webp bmp dib ico cur, and those the other
// formats' reader names.
bool IsPictureFile(std::string_view path);

// True for a regular file whose first bytes are those of a picture the
// loader reads: its own formats, and GIF and TIFF where the other formats'
// reader reads them.
bool IsPictureContent(const std::string& path);

// What a listing of a folder takes as a picture: a name IsPictureFile
// takes, or a file whose name has no extension and whose content
// IsPictureContent takes (a camera's or a browser cache's nameless JPEG).
// Other names are not opened.
bool IsPictureInFolder(const std::string& path);

// Loads a picture file, upright, as 32-bit pixels. Throws TDecodeError whose
// what() is the one line "PATH: reason"; out is unchanged then.
void LoadPicture(const std::string& path, TBitmap& out, const TLoadOptions& options = {});

// The upright size of a picture file read from its header, without decoding
// it, where that is quick: JPEGs and PNGs (by content). False for other
// formats and for a file that cannot be read (LoadPicture then tells why).
bool PeekPictureSize(const std::string& path, int32_t& width, int32_t& height);

// The same from memory, the decoder chosen by content likewise. A name with
// a dot in it prefixes the error text ("NAME: reason"); one without (a
// format's name, as the fuzz targets give) is not shown.
void DecodePicture(const uint8_t* data, size_t size, std::string_view name, TBitmap& out,
                   const TLoadOptions& options = {});

} // namespace mirel
