// Icons (and cursors): the largest image of the directory, the deepest when
// sizes tie, as a bitmap with its AND mask or as an embedded PNG. Entries
// whose data lies outside the file are passed over, and so is a broken one
// while a lesser one decodes; a file with none left is refused.
#include "picture/bmp.h"
#include "picture/decoders.h"

#include <algorithm>
#include <string>
#include <vector>

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

    struct TEntry {
        uint64_t Rank;
        size_t At, Bytes;
    };
    std::vector<TEntry> entries;
    for (uint32_t i = 0; i < count; ++i) {
        const size_t entry = 6 + size_t(i) * 16;
        const uint32_t w = data[entry] == 0 ? 256 : data[entry];
        const uint32_t h = data[entry + 1] == 0 ? 256 : data[entry + 1];
        const uint32_t bpp = u16(entry + 6);
        const size_t bytes = u32(entry + 8), at = u32(entry + 12);
        if (bytes == 0 || at >= size || bytes > size - at)
            continue;
        entries.push_back({uint64_t(w) * h << 8 | std::min<uint32_t>(bpp, 255), at, bytes});
    }
    if (entries.empty())
        throw TDecodeError("broken icon: every image lies outside the file");
    // The best first, in directory order where ranks tie. An icon holds the
    // same picture at several sizes: when the best is broken, the next good
    // one is the picture still. Only when none decodes is the icon refused,
    // for the best one's reason.
    std::stable_sort(entries.begin(), entries.end(), [](const TEntry& a, const TEntry& b) { return a.Rank > b.Rank; });
    std::string firstError;
    for (const TEntry& e : entries) {
        const uint8_t* image = data + e.At;
        try {
            if (IsPng(image, e.Bytes))
                DecodePng(image, e.Bytes, out);
            else
                DecodeDib(image, e.Bytes, 0, true, out);
            return;
        } catch (const TDecodeError& error) {
            // Running out of memory is no fault of the entry: a smaller one
            // would hide it, so it ends the search.
            if (std::string(error.what()) == OutOfMemory)
                throw;
            if (firstError.empty())
                firstError = error.what();
        } catch (const TBitmapError& error) {
            if (firstError.empty())
                firstError = error.what();
        }
    }
    throw TDecodeError(firstError);
}

} // namespace mirel::picture
