// Feeds arbitrary bytes to the picture module's decoders, chosen by the
// content as the loader chooses; one target for each format
// (MIREL_FUZZ_FORMAT: "bmp", "ico", "png", "webp"), whose seed corpus keeps
// its search on that format's decoder. Each input
// either decodes a picture within the limits, the same one when asked twice,
// or throws TDecodeError, never anything else, with a fit hint or without. What it decodes is then fitted
// into a small frame by a mode the input's size picks (pictures up to a
// megapixel: fitting larger ones only slows the search down).
#include "picture/fit.h"
#include "picture/load.h"
#include "tests/same_bitmaps.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    mirel::TBitmap picture, again;
    try {
        mirel::DecodePicture(data, size, MIREL_FUZZ_FORMAT, picture);
    } catch (const mirel::TDecodeError&) {
        return 0;
    }
    if (picture.Empty() || int64_t{picture.Width()} * picture.Height() > mirel::MaxPicturePixels)
        std::abort();
    mirel::DecodePicture(data, size, MIREL_FUZZ_FORMAT, again);
    if (!mirel::test::SameBitmaps(picture, again))
        std::abort();
    // Decoded for a small frame: PNG, BMP and WebP then take paths of their
    // own (rows reduced as they come, libwebp's scaling). No larger than the
    // full picture, and covering the frame unless left at full size.
    mirel::TBitmap small;
    try {
        mirel::DecodePicture(data, size, MIREL_FUZZ_FORMAT, small, {17, 9});
        const bool full = small.Width() == picture.Width() && small.Height() == picture.Height();
        if (!full && (small.Width() > picture.Width() || small.Height() > picture.Height() || small.Width() < 17 ||
                      small.Height() < 9))
            std::abort();
    } catch (const mirel::TDecodeError&) {
    }
    if (int64_t{picture.Width()} * picture.Height() > (1 << 20))
        return 0;
    mirel::TBitmap fitted;
    mirel::FitPicture(picture, 17, 9, mirel::TFitMode(size % 5), fitted, 0xFF102030u);
    if (fitted.Width() != 17 || fitted.Height() != 9)
        std::abort();
    return 0;
}
