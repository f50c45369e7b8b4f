#include "surface/jpeg.h"

#include <turbojpeg.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
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

} // namespace

void DecodeJpeg(const uint8_t* data, size_t size, TBitmap& out)
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
    if (width <= 0 || height <= 0 || int64_t{width} * height > MaxPicturePixels)
        throw TDecodeError("picture of " + std::to_string(width) + "x" + std::to_string(height) +
                           " pixels is over the limit");

    // Decode into a scratch bitmap so that out stays whole on failure. BGRA
    // is the bitmap's memory order, with the fourth byte set opaque.
    TBitmap pixels(width, height);
    if (tjDecompress2(tj.Handle, data, static_cast<unsigned long>(size), pixels.Bits(), width,
                      pixels.BytesPerLine(), height, TJPF_BGRA, TJFLAG_ACCURATEDCT) != 0)
        // Warnings count too: the usual one is a truncated file, whose lower
        // part would come out as flat grey.
        throw TDecodeError(std::string("broken JPEG: ") + tjGetErrorStr2(tj.Handle));
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
