// PNG through libpng's simplified reading interface: every bit depth, palette
// and grey picture comes out as 8-bit BGRA, gamma-corrected to sRGB. A file
// cut short, or whose image data is damaged, is refused: libpng reports it
// and the half-decoded pixels are thrown away with the scratch bitmap.
#include "picture/decoders.h"

#include <png.h>

namespace mirel::picture {

namespace {

struct TPngImage {
    png_image Image{};
    TPngImage() { Image.version = PNG_IMAGE_VERSION; }
    ~TPngImage() { png_image_free(&Image); }
    TPngImage(const TPngImage&) = delete;
    TPngImage& operator=(const TPngImage&) = delete;
};

std::string Reason(const png_image& image)
{
    return std::string("broken PNG: ") + (image.message[0] != '\0' ? image.message : "unreadable");
}

} // namespace

void DecodePng(const uint8_t* data, size_t size, TBitmap& out)
{
    if (!IsPng(data, size))
        throw TDecodeError("not a PNG file");
    TPngImage png;
    if (png_image_begin_read_from_memory(&png.Image, data, size) == 0)
        throw TDecodeError(Reason(png.Image));
    CheckPictureSize(png.Image.width, png.Image.height);
    TBitmap pixels(int32_t(png.Image.width), int32_t(png.Image.height));
    png.Image.format = PNG_FORMAT_BGRA;
    if (png_image_finish_read(&png.Image, nullptr, pixels.Bits(), pixels.BytesPerLine(), nullptr) == 0)
        throw TDecodeError(Reason(png.Image));
    out.Swap(pixels);
}

} // namespace mirel::picture
