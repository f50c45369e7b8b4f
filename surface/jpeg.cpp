#include "surface/jpeg.h"

#include <turbojpeg.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <utility>
#include <vector>

namespace mirel {

namespace {

struct TDecompressor {
    tjhandle Handle = tjInitDecompress();
    ~TDecompressor()
    {
        if (Handle != nullptr)
            tjDestroy(Handle);
    }
};

uint32_t Read16(const uint8_t* p, bool bigEndian)
{
    return bigEndian ? uint32_t(p[0]) << 8 | p[1] : uint32_t(p[1]) << 8 | p[0];
}

uint32_t Read32(const uint8_t* p, bool bigEndian)
{
    return bigEndian ? Read16(p, true) << 16 | Read16(p + 2, true) : Read16(p + 2, false) << 16 | Read16(p, false);
}

// The orientation of an Exif APP1 segment's TIFF block, 1 when absent.
int TiffOrientation(const uint8_t* tiff, size_t size)
{
    if (size < 8 || !((tiff[0] == 'I' && tiff[1] == 'I') || (tiff[0] == 'M' && tiff[1] == 'M')))
        return 1;
    const bool be = tiff[0] == 'M';
    const uint32_t ifd = Read32(tiff + 4, be);
    if (ifd > size - 2)
        return 1;
    const uint32_t entries = Read16(tiff + ifd, be);
    for (uint32_t i = 0; i < entries; ++i) {
        const size_t at = size_t(ifd) + 2 + size_t(i) * 12;
        if (at + 12 > size)
            break;
        if (Read16(tiff + at, be) == 0x0112) { // Orientation, a SHORT held in the entry itself
            const uint32_t value = Read16(tiff + at + 8, be);
            return value >= 1 && value <= 8 ? int(value) : 1;
        }
    }
    return 1;
}

} // namespace

int JpegOrientation(const uint8_t* data, size_t size)
{
    if (size < 4 || data[0] != 0xFF || data[1] != 0xD8)
        return 1;
    // Walk the markers before the image data; Exif sits in an early APP1.
    size_t at = 2;
    while (at + 4 <= size && data[at] == 0xFF) {
        const uint8_t marker = data[at + 1];
        if (marker == 0xDA || marker == 0xD9) // start of scan, end of image
            break;
        const size_t length = Read16(data + at + 2, true);
        if (length < 2 || at + 2 + length > size)
            break;
        const uint8_t* body = data + at + 4;
        const size_t bodySize = length - 2;
        if (marker == 0xE1 && bodySize >= 6 && std::memcmp(body, "Exif\0\0", 6) == 0)
            return TiffOrientation(body + 6, bodySize - 6);
        at += 2 + length;
    }
    return 1;
}

void Orient(TBitmap& bitmap, int orientation)
{
    if (orientation < 2 || orientation > 8)
        return;
    const int32_t w = bitmap.Width(), h = bitmap.Height();
    const bool swaps = orientation >= 5;
    TBitmap out(swaps ? h : w, swaps ? w : h);
    for (int32_t y = 0; y < out.Height(); ++y) {
        uint32_t* row = out.PixelRow(y);
        for (int32_t x = 0; x < out.Width(); ++x) {
            // The stored pixel that shows at (x, y) once the picture is upright.
            int32_t sx = x, sy = y;
            switch (orientation) {
            case 2: sx = w - 1 - x; break;
            case 3: sx = w - 1 - x; sy = h - 1 - y; break;
            case 4: sy = h - 1 - y; break;
            case 5: sx = y; sy = x; break;
            case 6: sx = y; sy = h - 1 - x; break;
            case 7: sx = w - 1 - y; sy = h - 1 - x; break;
            case 8: sx = w - 1 - y; sy = x; break;
            }
            row[x] = bitmap.Pixel(sx, sy);
        }
    }
    bitmap.Swap(out);
}

void DecodeJpeg(const uint8_t* data, size_t size, TBitmap& out) { DecodeJpeg(data, size, out, 0, 0); }

void DecodeJpeg(const uint8_t* data, size_t size, TBitmap& out, int32_t fitWidth, int32_t fitHeight)
{
    if (size == 0)
        throw TDecodeError("empty file");
    TDecompressor tj;
    if (tj.Handle == nullptr)
        throw TDecodeError("cannot start the JPEG decoder");
    int width = 0, height = 0, subsamp = 0, colorspace = 0;
    if (tjDecompressHeader3(tj.Handle, data, static_cast<unsigned long>(size), &width, &height, &subsamp,
                            &colorspace) != 0)
        throw TDecodeError(std::string("not a readable JPEG: ") + tjGetErrorStr2(tj.Handle));
    if (width <= 0 || height <= 0)
        throw TDecodeError("a picture of no pixels");
    if (int64_t{width} * height > MaxPicturePixels)
        throw TDecodeError("picture of " + std::to_string(width) + "x" + std::to_string(height) +
                           " pixels is over the limit");

    // Decode into a scratch bitmap so that out stays whole on failure. BGRA
    // is the bitmap's memory order, with the fourth byte set opaque. CMYK has
    // no conversion in the decoder: it comes out as Adobe's inverted CMYK,
    // where a channel times the black channel is the colour.
    const int orientation = JpegOrientation(data, size);
    if (orientation >= 5)
        std::swap(fitWidth, fitHeight);
    int denom = 1;
    if (fitWidth > 0 && fitHeight > 0)
        for (int d : {8, 4, 2})
            if ((width + d - 1) / d >= fitWidth && (height + d - 1) / d >= fitHeight) {
                denom = d;
                break;
            }
    width = (width + denom - 1) / denom;
    height = (height + denom - 1) / denom;
    TBitmap pixels(width, height);
    const bool cmyk = colorspace == TJCS_CMYK || colorspace == TJCS_YCCK;
    if (tjDecompress2(tj.Handle, data, static_cast<unsigned long>(size), pixels.Bits(), width,
                      pixels.BytesPerLine(), height, cmyk ? TJPF_CMYK : TJPF_BGRA, TJFLAG_ACCURATEDCT) != 0)
        // Warnings count too: the usual one is a truncated file, whose lower
        // part would come out as flat grey.
        throw TDecodeError(std::string("broken JPEG: ") + tjGetErrorStr2(tj.Handle));
    if (cmyk) {
        for (int32_t y = 0; y < height; ++y) {
            uint32_t* row = pixels.PixelRow(y);
            for (int32_t x = 0; x < width; ++x) {
                const uint32_t v = row[x]; // bytes C, M, Y, K in memory
                const uint32_t c = v & 0xFF, m = (v >> 8) & 0xFF, ye = (v >> 16) & 0xFF, k = v >> 24;
                row[x] = 0xFF000000u | (c * k / 255) << 16 | (m * k / 255) << 8 | (ye * k / 255);
            }
        }
    }
    Orient(pixels, orientation);
    out.Swap(pixels);
}

void LoadJpegFile(const std::string& path, TBitmap& out)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw TDecodeError(path + ": " + std::strerror(errno));
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        throw TDecodeError(path + ": read error");
    try {
        DecodeJpeg(bytes.data(), bytes.size(), out);
    } catch (const TDecodeError& e) {
        throw TDecodeError(path + ": " + e.what());
    }
}

} // namespace mirel
