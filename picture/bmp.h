// The device-independent bitmap shared by BMP files and the images inside
// icons (bmp.cpp), for ico.cpp.
#pragma once

#include "picture/load.h"
#include "surface/bitmap.h"

#include <cstddef>
#include <cstdint>

namespace mirel::picture {

// Decodes the bitmap whose info header starts at data[0]. For a BMP file,
// data is the file past its 14-byte file header and pixelsAt is the pixels'
// place in data; for an icon image, pixelsAt is 0 (the pixels follow the
// palette) and the image is the upper half of the height the header gives,
// with the AND mask after its pixels supplying transparency. A BMP file's
// bitmap is reduced while it is decoded as TLoadOptions' fit hint allows;
// an icon image never is.
void DecodeDib(const uint8_t* data, size_t size, size_t pixelsAt, bool icon, TBitmap& out,
               const TLoadOptions& options = {});

} // namespace mirel::picture
