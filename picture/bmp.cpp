// BMP files and icon bitmaps, read by hand so that every read is bounded.
//
// Headers: OS/2 1.x (12 bytes), OS/2 2.x (16 to 64), Windows 40, 52, 56, 108
// (V4) and 124 (V5). Depths 1, 4 and 8 through a palette, 16 and 32 through
// bit masks (given or the defaults 5-5-5 and 8-8-8), 24 as BGR; RLE8 and RLE4
// with deltas; bottom-up and top-down rows.
//
// What is not in the file is never shown:
// - the pixel array must lie inside the file (the last row's padding may be
//   missing), else the file is refused;
// - RLE pixels that the stream skips (by a move, an early end of line or an
//   early end of bitmap, or a stream that ends early) are transparent, as
//   browsers show them; repeated pixels past a row's end are cut, as writers
//   pad rows with them; stored pixels or a move past the picture's edge, or a
//   command cut short, make the file refused;
// - a palette index past the palette is black.
// A bitmap shown at a fraction of its size is reduced while it is decoded
// (TBlockReducer), so that a small RLE file that asks for a huge picture
// never costs the huge picture's memory.
// Alpha is used where the format has it (a 32-bit icon, a bit-field alpha
// mask); an alpha channel that is zero throughout means an opaque picture.
#include "picture/bmp.h"

#include "picture/decoders.h"
#include "picture/reduce.h"

#include <algorithm>
#include <bit>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace mirel::picture {

namespace {

uint32_t U16(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }
uint32_t U32(const uint8_t* p) { return U16(p) | U16(p + 2) << 16; }
int32_t I32(const uint8_t* p) { return int32_t(U32(p)); }

enum : uint32_t { BiRgb = 0, BiRle8 = 1, BiRle4 = 2, BiBitfields = 3, BiJpeg = 4, BiPng = 5, BiAlphaBitfields = 6 };

// One channel of a bit-field pixel: its mask as a shift and a bit count.
struct TChannel {
    uint32_t Mask = 0;
    int Shift = 0;
    int Bits = 0;

    static TChannel Of(uint32_t mask)
    {
        TChannel c;
        if (mask == 0)
            return c;
        c.Mask = mask;
        c.Shift = std::countr_zero(mask);
        c.Bits = std::popcount(mask);
        if (std::countr_one(mask >> c.Shift) != c.Bits)
            throw TDecodeError("broken BMP: a colour mask with gaps");
        return c;
    }

    // The channel's value scaled to 0..255, its top bits repeated downwards.
    uint32_t Get(uint32_t pixel) const
    {
        if (Bits == 0)
            return 0;
        uint32_t v = (pixel & Mask) >> Shift;
        if (Bits >= 8)
            return v >> (Bits - 8);
        uint32_t out = 0;
        for (int have = 0; have < 8; have += Bits)
            out = out << Bits | v;
        // out holds at least 8 bits now; keep the top 8 of them.
        const int total = (8 + Bits - 1) / Bits * Bits;
        return out >> (total - 8);
    }
};

struct TDibInfo {
    int64_t Width = 0, Height = 0; // Height as stored, negative for top-down
    uint32_t Bpp = 0;
    uint32_t Compression = BiRgb;
    uint32_t ColoursUsed = 0;
    uint32_t Masks[4] = {0, 0, 0, 0}; // red, green, blue, alpha
    bool HasMasks = false;
    size_t HeaderSize = 0;
    size_t PaletteAt = 0;
    size_t PaletteEntry = 4; // bytes per palette entry
};

TDibInfo ReadInfo(const uint8_t* data, size_t size)
{
    if (size < 4)
        throw TDecodeError("broken BMP: header cut short");
    TDibInfo info;
    info.HeaderSize = U32(data);
    const size_t hs = info.HeaderSize;
    if (hs < 12 || hs > size)
        throw TDecodeError(hs < 12 ? "broken BMP: unknown header" : "broken BMP: header cut short");
    const bool windows = hs == 40 || hs == 52 || hs == 56 || hs == 108 || hs == 124;
    if (hs == 12) {
        info.Width = U16(data + 4);
        info.Height = U16(data + 6);
        info.Bpp = U16(data + 10);
        info.PaletteEntry = 3;
    } else {
        if (hs < 16 || (!windows && hs > 64))
            throw TDecodeError("broken BMP: unknown header of " + std::to_string(hs) + " bytes");
        info.Width = I32(data + 4);
        info.Height = I32(data + 8);
        info.Bpp = U16(data + 14);
        if (hs >= 20)
            info.Compression = U32(data + 16);
        if (hs >= 36)
            info.ColoursUsed = U32(data + 32);
        // OS/2 2.x numbers its Huffman and RLE24 codings 3 and 4.
        if (!windows && (info.Compression == 3 || info.Compression == 4))
            throw TDecodeError("unsupported BMP: OS/2 Huffman or RLE24 coding");
    }
    info.PaletteAt = hs;
    if (info.Compression == BiBitfields || info.Compression == BiAlphaBitfields) {
        const size_t count = info.Compression == BiAlphaBitfields ? 4 : 3;
        size_t at = 40; // inside the header from 52 bytes on, else right after it
        if (hs < 52) {
            info.PaletteAt = hs + count * 4;
            at = hs;
        }
        const size_t available = hs >= 56 ? 4 : hs >= 52 ? 3 : count;
        if (at + available * 4 > size)
            throw TDecodeError("broken BMP: colour masks cut short");
        for (size_t i = 0; i < available; ++i)
            info.Masks[i] = U32(data + at + i * 4);
        info.HasMasks = true;
    }
    return info;
}

uint32_t Opaque(uint32_t bgr) { return 0xFF000000u | bgr; }

// The palette the file gives, as opaque pixels; indices past it show black.
// stored is the number of entries in the file.
std::vector<uint32_t> ReadPalette(const TDibInfo& info, const uint8_t* data, size_t size, size_t& stored)
{
    stored = 0;
    if (info.Bpp > 8)
        return {};
    const size_t full = size_t(1) << info.Bpp;
    const size_t count = info.ColoursUsed == 0 ? full : std::min<size_t>(info.ColoursUsed, full);
    stored = count;
    if (info.PaletteAt + count * info.PaletteEntry > size)
        throw TDecodeError("broken BMP: palette cut short");
    std::vector<uint32_t> palette(full, 0xFF000000u);
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* p = data + info.PaletteAt + i * info.PaletteEntry;
        palette[i] = Opaque(uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0]);
    }
    return palette;
}

// Where decoded rows go: straight into the picture, or, when the picture
// will be shown at a fraction of its size, through a reducer, one row at a
// time. Rows never begun stay transparent.
class TRows {
public:
    TRows(uint32_t width, uint32_t height, uint32_t k, TBitmap& out) : Width(width), Height(height), Out(out)
    {
        if (k == 1) {
            Out.SetSize(int32_t(width), int32_t(height), 0);
        } else {
            Scratch.assign(width, 0);
            Reducer.emplace(width, height, k, out);
        }
    }

    // The memory reducing takes besides the reduced picture.
    static int64_t WorkingBytes(uint32_t width, uint32_t k)
    {
        return k == 1 ? 0 : int64_t(width) * 4 + TBlockReducer::WorkingBytes(width, k);
    }

    uint32_t Width, Height;

    // The transparent row y (counted from the top) to decode into, then
    // Done(y) once it is drawn; rows in one direction, each once.
    uint32_t* Begin(uint32_t y) { return Reducer ? Scratch.data() : Out.PixelRow(int32_t(y)); }
    void Done(uint32_t y)
    {
        if (Reducer) {
            Reducer->Add(y, Scratch.data());
            std::fill(Scratch.begin(), Scratch.end(), 0);
        }
    }
    void Finish()
    {
        if (Reducer)
            Reducer->Finish();
    }

private:
    TBitmap& Out;
    std::vector<uint32_t> Scratch;
    std::optional<TBlockReducer> Reducer;
};

// Whether any pixel of the stored rows has alpha bits set.
bool AnyAlpha(const TDibInfo& info, const TChannel& a, const uint8_t* pixels, size_t stride, uint32_t w, uint32_t h)
{
    for (uint32_t y = 0; y < h; ++y, pixels += stride)
        for (uint32_t x = 0; x < w; ++x)
            if (a.Get(info.Bpp == 16 ? U16(pixels + size_t(x) * 2) : U32(pixels + size_t(x) * 4)) != 0)
                return true;
    return false;
}

// Rows as stored, each decoded into its place.
void DecodeRows(const TDibInfo& info, const std::vector<uint32_t>& palette, const uint8_t* pixels, size_t stride,
                bool topDown, bool useAlpha, TRows& out)
{
    const uint32_t w = out.Width, h = out.Height;
    TChannel r, g, b, a;
    if (info.Bpp == 16 || info.Bpp == 32) {
        uint32_t masks[4] = {0x7C00, 0x03E0, 0x001F, 0};
        if (info.Bpp == 32) {
            masks[0] = 0xFF0000;
            masks[1] = 0xFF00;
            masks[2] = 0xFF;
            masks[3] = 0xFF000000u;
        }
        if (info.HasMasks)
            std::copy(info.Masks, info.Masks + 4, masks);
        r = TChannel::Of(masks[0]);
        g = TChannel::Of(masks[1]);
        b = TChannel::Of(masks[2]);
        a = TChannel::Of(useAlpha ? masks[3] : 0);
        // Many writers leave the alpha bits zero: such a picture is opaque.
        if (a.Bits != 0 && !AnyAlpha(info, a, pixels, stride, w, h))
            a = TChannel();
    }
    for (uint32_t y = 0; y < h; ++y) {
        const uint8_t* src = pixels + size_t(y) * stride;
        const uint32_t at = topDown ? y : h - 1 - y;
        uint32_t* row = out.Begin(at);
        switch (info.Bpp) {
        case 1:
        case 4:
        case 8: {
            const uint32_t bpp = info.Bpp, perByte = 8 / bpp, mask = (1u << bpp) - 1;
            for (uint32_t x = 0; x < w; ++x) {
                const uint32_t shift = 8 - bpp * (uint32_t(x) % perByte + 1);
                row[x] = palette[(src[x / perByte] >> shift) & mask];
            }
            break;
        }
        case 24:
            for (uint32_t x = 0; x < w; ++x, src += 3)
                row[x] = Opaque(uint32_t(src[2]) << 16 | uint32_t(src[1]) << 8 | src[0]);
            break;
        default:
            for (uint32_t x = 0; x < w; ++x) {
                const uint32_t v = info.Bpp == 16 ? U16(src + size_t(x) * 2) : U32(src + size_t(x) * 4);
                const uint32_t alpha = a.Bits != 0 ? a.Get(v) : 0xFF;
                row[x] = alpha << 24 | r.Get(v) << 16 | g.Get(v) << 8 | b.Get(v);
            }
            break;
        }
        out.Done(at);
    }
    out.Finish();
}

// RLE8 and RLE4, always bottom-up: pixels the stream skips stay
// transparent.
void DecodeRle(const TDibInfo& info, const std::vector<uint32_t>& palette, const uint8_t* data, size_t size,
               TRows& out)
{
    const uint32_t w = out.Width, h = out.Height;
    const bool four = info.Compression == BiRle4;
    uint32_t x = 0, y = 0;
    uint32_t* line = nullptr; // line y's pixels, once any are drawn
    const auto endLine = [&] {
        if (line != nullptr)
            out.Done(h - 1 - y);
        line = nullptr;
    };
    size_t at = 0;
    const auto need = [&](size_t bytes) {
        if (size - at < bytes)
            throw TDecodeError("broken BMP: RLE data cut short");
    };
    // The row to draw count pixels into from x on. Repeated pixels past the
    // row's end are cut (writers pad rows that way); stored ones refuse the
    // file, as do pixels above the top row.
    const auto span = [&](uint32_t count, bool stored) {
        if (y >= h || x > w || (stored && count > w - x))
            throw TDecodeError("broken BMP: RLE pixels past the edge of the picture");
        if (line == nullptr)
            line = out.Begin(h - 1 - y);
        uint32_t* row = line + x;
        const uint32_t inside = std::min(count, w - x);
        x += inside;
        return std::pair(row, inside);
    };
    while (at < size) {
        need(2);
        const uint32_t count = data[at], value = data[at + 1];
        at += 2;
        if (count > 0) { // count pixels of one index (RLE4: two alternating)
            const auto [row, inside] = span(count, false);
            for (uint32_t i = 0; i < inside; ++i)
                row[i] = palette[four ? (i % 2 == 0 ? value >> 4 : value & 15) : value];
        } else if (value == 0) { // end of line
            endLine();
            x = 0;
            ++y;
        } else if (value == 1) { // end of bitmap
            break;
        } else if (value == 2) { // move right and up
            need(2);
            if (data[at + 1] != 0)
                endLine();
            x += data[at];
            y += data[at + 1];
            at += 2;
            if (x > w || y > h)
                throw TDecodeError("broken BMP: RLE move past the edge of the picture");
        } else { // value pixels as stored, padded to a 16-bit boundary
            const size_t bytes = four ? (value + 1) / 2 : value;
            need(bytes); // a missing last padding byte is no loss
            uint32_t* row = span(value, true).first;
            for (uint32_t i = 0; i < value; ++i) {
                const uint32_t byte = data[at + (four ? i / 2 : i)];
                row[i] = palette[four ? (i % 2 == 0 ? byte >> 4 : byte & 15) : byte];
            }
            at += std::min(bytes + bytes % 2, size - at);
        }
    }
    endLine();
    out.Finish();
}

} // namespace

void DecodeDib(const uint8_t* data, size_t size, size_t pixelsAt, bool icon, TBitmap& out, const TLoadOptions& options)
{
    const TDibInfo info = ReadInfo(data, size);
    int64_t height = info.Height;
    const bool topDown = height < 0;
    if (topDown)
        height = -height;
    if (icon)
        height /= 2; // the colour image over its AND mask
    if (info.Width <= 0 || height <= 0)
        throw TDecodeError("broken BMP: a picture of no pixels");
    CheckPictureSize(info.Width, height);

    switch (info.Compression) {
    case BiRgb:
        if (info.Bpp != 1 && info.Bpp != 4 && info.Bpp != 8 && info.Bpp != 16 && info.Bpp != 24 && info.Bpp != 32)
            throw TDecodeError("unsupported BMP: " + std::to_string(info.Bpp) + " bits a pixel");
        break;
    case BiRle8:
    case BiRle4:
        if (info.Bpp != (info.Compression == BiRle8 ? 8u : 4u))
            throw TDecodeError("broken BMP: RLE coding at " + std::to_string(info.Bpp) + " bits a pixel");
        if (topDown || icon)
            throw TDecodeError("broken BMP: top-down RLE picture");
        break;
    case BiBitfields:
    case BiAlphaBitfields:
        if (info.Bpp != 16 && info.Bpp != 32)
            throw TDecodeError("broken BMP: colour masks at " + std::to_string(info.Bpp) + " bits a pixel");
        break;
    case BiJpeg:
    case BiPng:
        throw TDecodeError("unsupported BMP: JPEG or PNG data inside");
    default:
        throw TDecodeError("unsupported BMP: compression " + std::to_string(info.Compression));
    }

    size_t stored = 0;
    const std::vector<uint32_t> palette = ReadPalette(info, data, size, stored);
    if (icon)
        pixelsAt = info.PaletteAt + stored * info.PaletteEntry;
    if (pixelsAt >= size)
        throw TDecodeError("broken BMP: pixel data starts past the end of the file");

    // An icon's AND mask is laid over the whole picture, and icons are small:
    // only other bitmaps are reduced.
    const uint32_t w = uint32_t(info.Width), h = uint32_t(height);
    const uint32_t k = icon ? 1 : uint32_t(CoveringReduction(w, h, options.FitWidth, options.FitHeight, TBitmap::MaxSide));
    CheckWorkingMemory(TRows::WorkingBytes(w, k), options.MemoryBudget);
    TBitmap pixels;
    if (info.Compression == BiRle8 || info.Compression == BiRle4) {
        TRows rows(w, h, k, pixels);
        DecodeRle(info, palette, data + pixelsAt, size - pixelsAt, rows);
        out.Swap(pixels);
        return;
    }
    // Stored rows must all be in the file, which is known before the
    // picture is made: a file cut short costs no picture.
    const size_t rowBits = size_t(info.Width) * info.Bpp;
    const size_t stride = (rowBits + 31) / 32 * 4;
    const size_t needed = stride * size_t(height - 1) + (rowBits + 7) / 8;
    if (needed > size - pixelsAt)
        throw TDecodeError("broken BMP: pixel data cut short");
    TRows rows(w, h, k, pixels);
    const bool alpha = icon ? info.Bpp == 32 : info.HasMasks && info.Masks[3] != 0;
    DecodeRows(info, palette, data + pixelsAt, stride, topDown, alpha, rows);

    if (icon) {
        // The AND mask: one bit a pixel, set where the icon is transparent.
        // It counts where the image has no alpha of its own.
        bool ownAlpha = false;
        for (int32_t y = 0; y < pixels.Height() && !ownAlpha; ++y)
            for (int32_t x = 0; x < pixels.Width(); ++x)
                ownAlpha |= (pixels.PixelRow(y)[x] >> 24) != 0xFF;
        const size_t maskStride = (size_t(info.Width) + 31) / 32 * 4;
        const size_t maskAt = pixelsAt + stride * size_t(height);
        if (!ownAlpha && maskAt <= size && maskStride * size_t(height) <= size - maskAt) {
            for (int32_t y = 0; y < pixels.Height(); ++y) {
                const uint8_t* bits = data + maskAt + size_t(y) * maskStride;
                uint32_t* row = pixels.PixelRow(topDown ? y : pixels.Height() - 1 - y);
                for (int32_t x = 0; x < pixels.Width(); ++x)
                    if (bits[x / 8] & (0x80 >> (x % 8)))
                        row[x] = 0;
            }
        }
    }
    out.Swap(pixels);
}

void DecodeBmp(const uint8_t* data, size_t size, TBitmap& out, const TLoadOptions& options)
{
    if (size < 2 || data[0] != 'B' || data[1] != 'M')
        throw TDecodeError("not a BMP file");
    if (size < 18)
        throw TDecodeError("broken BMP: header cut short");
    const size_t pixelsAt = U32(data + 10);
    if (pixelsAt < 14 || pixelsAt >= size)
        throw TDecodeError("broken BMP: pixel data starts past the end of the file");
    DecodeDib(data + 14, size - 14, pixelsAt - 14, false, out, options);
}

} // namespace mirel::picture
