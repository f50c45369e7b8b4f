// Feeds arbitrary bytes to the JPEG decoder, refusing a file cut short and
// showing what one has: it either decodes or throws TDecodeError, never
// anything else, and never takes more than the limit. What it decodes whole
// it decodes the same when cut files are taken.
#include "surface/jpeg.h"
#include "tests/same_bitmaps.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const auto bounded = [](const mirel::TBitmap& picture) {
        return !picture.Empty() && int64_t{picture.Width()} * picture.Height() <= mirel::MaxPicturePixels;
    };
    mirel::TBitmap cut;
    bool shown = false;
    try {
        mirel::DecodeJpeg(data, size, cut, 0, 0, 0, true);
        shown = true;
    } catch (const mirel::TDecodeError&) {
    }
    if (shown && !bounded(cut))
        std::abort();
    mirel::TBitmap picture;
    try {
        mirel::DecodeJpeg(data, size, picture);
    } catch (const mirel::TDecodeError&) {
        return 0;
    }
    if (!bounded(picture) || !shown || !mirel::test::SameBitmaps(picture, cut))
        std::abort();
    return 0;
}
