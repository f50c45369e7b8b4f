// PNG through libpng: every bit depth, palette, grey and interlaced picture
// comes out as 8-bit BGRA (16-bit samples scaled, transparency chunks turned
// into alpha). Sample values are kept as stored, like other viewers that do
// no colour management. A file cut short, or whose image data is damaged, is
// refused: libpng reports it and the half-decoded pixels go with the scratch
// bitmap.
//
// Without a fit hint, or where the hint needs the full size, rows go
// straight into the bitmap's. Where a power-of-two reduction still covers
// the hint, rows are read one at a time and each k x k block averaged into
// one pixel, as a JPEG is decoded at a DCT scale: only the reduced picture,
// one row and one reduced row of sums are ever held, and the fitter does the
// rest of the way with its own filter.
#include "picture/decoders.h"
#include "picture/reduce.h"

#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace mirel::picture {

namespace {

// libpng jumps back to Decode on an error; what lives across the jump sits
// in this heap object.
struct TPngDecoder {
    png_structp Png = nullptr;
    png_infop Info = nullptr;
    const uint8_t* Data = nullptr;
    size_t Size = 0, At = 0;
    int32_t FitWidth = 0, FitHeight = 0;
    int64_t Budget = 0;
    char Message[256] = {};
    TBitmap Pixels;
    std::vector<png_bytep> Rows;
    // Reducing: one row as libpng gives it, and the blocks it adds to.
    std::vector<uint32_t> Row;
    std::unique_ptr<TBlockReducer> Reducer;

    ~TPngDecoder() { png_destroy_read_struct(&Png, Info != nullptr ? &Info : nullptr, nullptr); }
};

void OnError(png_structp png, png_const_charp message)
{
    auto* d = static_cast<TPngDecoder*>(png_get_error_ptr(png));
    std::snprintf(d->Message, sizeof d->Message, "%s", message);
    png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

void OnRead(png_structp png, png_bytep out, size_t length)
{
    auto* d = static_cast<TPngDecoder*>(png_get_io_ptr(png));
    if (length > d->Size - d->At)
        png_error(png, "file cut short");
    std::memcpy(out, d->Data + d->At, length);
    d->At += length;
}

constexpr png_alloc_size_t ChunkMemory = 8 << 20;

bool Decode(TPngDecoder& d)
{
    if (setjmp(png_jmpbuf(d.Png)) != 0)
        return false;
    png_set_read_fn(d.Png, &d, OnRead);
    png_set_user_limits(d.Png, uint32_t(TBitmap::MaxSide), uint32_t(TBitmap::MaxSide));
    // libpng takes (and clears) the memory a text, profile or other
    // variable-length ancillary chunk says it needs before reading it: a
    // 13 x 7 picture whose text chunk claimed 1.8 GB had it all. None of
    // them changes a pixel, so they are passed over unread, and no other
    // chunk may take more than a few megabytes.
    static const png_byte ignored[] = "tEXt\0zTXt\0iTXt\0iCCP\0sPLT\0eXIf\0pCAL\0sCAL\0hIST\0";
    png_set_keep_unknown_chunks(d.Png, PNG_HANDLE_CHUNK_NEVER, ignored, int(sizeof ignored / 5));
    png_set_chunk_malloc_max(d.Png, ChunkMemory);
    png_read_info(d.Png, d.Info);
    const uint32_t width = png_get_image_width(d.Png, d.Info), height = png_get_image_height(d.Png, d.Info);
    CheckPictureSize(width, height); // throws before any jump can come
    const int type = png_get_color_type(d.Png, d.Info);
    png_set_expand(d.Png); // palette to RGB, grey under 8 bits to 8, tRNS to alpha
    png_set_scale_16(d.Png);
    if (type == PNG_COLOR_TYPE_GRAY || type == PNG_COLOR_TYPE_GRAY_ALPHA)
        png_set_gray_to_rgb(d.Png);
    png_set_bgr(d.Png);
    png_set_add_alpha(d.Png, 0xFF, PNG_FILLER_AFTER); // only where there is none
    png_set_interlace_handling(d.Png);
    png_read_update_info(d.Png, d.Info);
    if (png_get_rowbytes(d.Png, d.Info) != size_t(width) * 4) {
        std::snprintf(d.Message, sizeof d.Message, "unexpected row layout");
        return false;
    }
    // An interlaced (Adam7) picture's rows arrive in seven passes, each a
    // part of every row: reducing it would need the whole picture first, so
    // it is decoded at full size like one without a hint.
    const bool interlaced = png_get_interlace_type(d.Png, d.Info) != PNG_INTERLACE_NONE;
    const uint32_t k =
        interlaced ? 1 : uint32_t(CoveringReduction(width, height, d.FitWidth, d.FitHeight, TBitmap::MaxSide));
    // Besides the picture: libpng's current and previous rows, at up to 8
    // bytes a pixel before 16-bit samples are scaled, and zlib's window;
    // a full decode a pointer to each row, reducing a row of pixels and a
    // reduced row of sums.
    int64_t working = 2 * (int64_t(width) * 8 + 64) + (int64_t{64} << 10);
    if (k == 1)
        working += int64_t(height) * int64_t(sizeof(png_bytep));
    else
        working += int64_t(width) * 4 + TBlockReducer::WorkingBytes(width, k);
    CheckWorkingMemory(working, d.Budget); // as above, before any jump
    if (k == 1) {
        d.Pixels.SetSize(int32_t(width), int32_t(height), 0); // pages untouched until rows arrive
        d.Rows.resize(height);
        for (uint32_t y = 0; y < height; ++y)
            d.Rows[y] = d.Pixels.Bits() + size_t(y) * size_t(d.Pixels.BytesPerLine());
        png_read_image(d.Png, d.Rows.data());
    } else {
        d.Row.resize(width);
        d.Reducer = std::make_unique<TBlockReducer>(width, height, k, d.Pixels);
        for (uint32_t y = 0; y < height; ++y) {
            png_read_row(d.Png, reinterpret_cast<png_bytep>(d.Row.data()), nullptr);
            d.Reducer->Add(y, d.Row.data());
        }
        d.Reducer->Finish();
    }
    // What follows the image data (text, the end chunk) is of no interest.
    return true;
}

} // namespace

bool PngSize(const uint8_t* data, size_t size, int32_t& width, int32_t& height)
{
    // The signature, then the IHDR chunk's length, name, width and height.
    if (size < PngHeaderBytes || !IsPng(data, size) || std::memcmp(data + 12, "IHDR", 4) != 0)
        return false;
    const png_uint_32 w = png_get_uint_32(data + 16), h = png_get_uint_32(data + 20);
    if (w > PNG_UINT_31_MAX || h > PNG_UINT_31_MAX)
        return false;
    width = int32_t(w);
    height = int32_t(h);
    return true;
}

void DecodePng(const uint8_t* data, size_t size, TBitmap& out, const TLoadOptions& options)
{
    if (!IsPng(data, size))
        throw TDecodeError("not a PNG file");
    auto d = std::make_unique<TPngDecoder>();
    d->Data = data;
    d->Size = size;
    d->FitWidth = options.FitWidth;
    d->FitHeight = options.FitHeight;
    d->Budget = options.MemoryBudget > 0 ? options.MemoryBudget : PictureMemoryBudget();
    d->Png = png_create_read_struct(PNG_LIBPNG_VER_STRING, d.get(), OnError, OnWarning);
    if (d->Png == nullptr || (d->Info = png_create_info_struct(d->Png)) == nullptr)
        throw TDecodeError("cannot start the PNG decoder");
    if (!Decode(*d)) {
        // libpng's allocations report running out in a few wordings.
        if (strcasestr(d->Message, "out of memory") != nullptr || strcasestr(d->Message, "insufficient memory") != nullptr)
            throw TDecodeError(OutOfMemory);
        throw TDecodeError(std::string("broken PNG: ") + d->Message);
    }
    out.Swap(d->Pixels);
}

} // namespace mirel::picture
