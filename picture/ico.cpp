// Icons (and cursors): the largest image of the directory, the deepest when
// sizes tie, as a bitmap with its AND mask or as an embedded PNG. Entries
// whose data lies outside the file are passed over; a file with none left is
// refused.
#include "picture/bmp.h"
#include "picture/decoders.h"

#include <algorithm>

namespace mirel::picture {

void DecodeIco(const uint8_t* data, size_t size, TBitmap& out)
{
    const auto u16 = [&](size_t at) { return uint32_t(data[at]) | uint32_t(data[at + 1]) << 8; };
    const auto u32 = [&](size_t at) { return u16(at) | u16(at + 2) << 16; };
    if (size < 6 || u16(0) != 0 || (u16(2) != 1 && u16(2) != 2))
        throw TDecodeError("not an icon file");
    const uint32_t count = u16(4);
    if (count == 0)
        throw TDecodeError("an icon file without images");
    if (6 + size_t(count) * 16 > size)
        throw TDecodeError("broken icon: directory cut short");

    size_t bestAt = 0, bestBytes = 0;
    uint64_t bestRank = 0;
    for (uint32_t i = 0; i < count; ++i) {
        const size_t entry = 6 + size_t(i) * 16;
        const uint32_t w = data[entry] == 0 ? 256 : data[entry];
        const uint32_t h = data[entry + 1] == 0 ? 256 : data[entry + 1];
        const uint32_t bpp = u16(entry + 6);
        const size_t bytes = u32(entry + 8), at = u32(entry + 12);
        if (bytes == 0 || at >= size || bytes > size - at)
            continue;
        const uint64_t rank = uint64_t(w) * h << 8 | std::min<uint32_t>(bpp, 255);
        if (bestBytes == 0 || rank > bestRank) {
            bestRank = rank;
            bestAt = at;
            bestBytes = bytes;
        }
    }
    if (bestBytes == 0)
        throw TDecodeError("broken icon: every image lies outside the file");
    const uint8_t* image = data + bestAt;
    if (IsPng(image, bestBytes))
        DecodePng(image, bestBytes, out);
    else
        DecodeDib(image, bestBytes, 0, true, out);
}

} // namespace mirel::picture
