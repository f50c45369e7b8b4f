// Feeds arbitrary bytes to the JPEG decoder: it either decodes or throws
// TDecodeError, never anything else, and never takes more than the limit.
#include "surface/jpeg.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    mirel::TBitmap picture;
    try {
        mirel::DecodeJpeg(data, size, picture);
    } catch (const mirel::TDecodeError&) {
        return 0;
    }
    if (picture.Empty() || int64_t{picture.Width()} * picture.Height() > mirel::MaxPicturePixels)
        std::abort();
    return 0;
}
