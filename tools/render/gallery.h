// A page for choosing a style: an animated preview of every style with its
// number and name, filterable by family, in one self-contained HTML file.
#pragma once

#include "surface/bitmap.h"
#include "tools/render/frames.h"
#include "tools/render/output.h"

#include <string>

namespace mirel {

struct TGalleryOptions {
    std::string Folder; // the page goes to Folder/index.html
    TOverwrite Overwrite = TOverwrite::Ask;
    int Step = 5;
    double Hold = 0.6; // seconds on each picture
    TFrameRate Rate;
};

// The family of a style, as the catalogue groups its procedures.
const char* StyleFamily(int style);

// Previews of old -> new at 160 pixels wide. Throws std::runtime_error.
void WriteGallery(const TBitmap& old, const TBitmap& image, const TGalleryOptions& options);

} // namespace mirel
