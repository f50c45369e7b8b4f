// Reading and writing pictures for the command-line tools.
#pragma once

#include "surface/bitmap.h"

#include <string>

namespace mirel {

// JPEG ("jpg", "jpeg") through libjpeg-turbo, anything else (PNG, BMP, ...)
// through Qt's image reader. Throws TDecodeError naming the file.
void LoadPicture(const std::string& path, TBitmap& out);

// Writes a PNG. Throws TDecodeError naming the file.
void SavePng(const TBitmap& bitmap, const std::string& path);

} // namespace mirel
