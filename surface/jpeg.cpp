#include "surface/jpeg.h"

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <utility>

#include <fcntl.h>
#include <jerror.h>
#include <jpeglib.h>
#include <sys/stat.h>
#include <unistd.h>

namespace mirel {

namespace {

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

namespace {

// Orientation with the stored pixel for each upright one chosen at compile
// time, in tiles of 64 x 64 so that a turn by a quarter reads and writes
// within a few hundred cache lines at a time instead of a column of rows.
template <int O>
void OrientTiles(const TBitmap& in, TBitmap& out)
{
    constexpr int32_t Tile = 64;
    const int32_t w = in.Width(), h = in.Height();
    for (int32_t ty = 0; ty < out.Height(); ty += Tile) {
        const int32_t yEnd = std::min(ty + Tile, out.Height());
        for (int32_t tx = 0; tx < out.Width(); tx += Tile) {
            const int32_t xEnd = std::min(tx + Tile, out.Width());
            for (int32_t y = ty; y < yEnd; ++y) {
                uint32_t* row = out.PixelRow(y);
                for (int32_t x = tx; x < xEnd; ++x) {
                    int32_t sx = x, sy = y;
                    if constexpr (O == 2) sx = w - 1 - x;
                    if constexpr (O == 3) { sx = w - 1 - x; sy = h - 1 - y; }
                    if constexpr (O == 4) sy = h - 1 - y;
                    if constexpr (O == 5) { sx = y; sy = x; }
                    if constexpr (O == 6) { sx = y; sy = h - 1 - x; }
                    if constexpr (O == 7) { sx = w - 1 - y; sy = h - 1 - x; }
                    if constexpr (O == 8) { sx = w - 1 - y; sy = x; }
                    row[x] = in.PixelRow(sy)[sx];
                }
            }
        }
    }
}

} // namespace

void Orient(TBitmap& bitmap, int orientation)
{
    if (orientation < 2 || orientation > 8 || bitmap.Empty())
        return;
    const bool swaps = orientation >= 5;
    TBitmap out(swaps ? bitmap.Height() : bitmap.Width(), swaps ? bitmap.Width() : bitmap.Height());
    switch (orientation) {
    case 2: OrientTiles<2>(bitmap, out); break;
    case 3: OrientTiles<3>(bitmap, out); break;
    case 4: OrientTiles<4>(bitmap, out); break;
    case 5: OrientTiles<5>(bitmap, out); break;
    case 6: OrientTiles<6>(bitmap, out); break;
    case 7: OrientTiles<7>(bitmap, out); break;
    case 8: OrientTiles<8>(bitmap, out); break;
    }
    bitmap.Swap(out);
}

namespace {

// libjpeg reports errors through a callback that must not return: it jumps
// back to Decode, which then hands the message to the caller. Everything
// that lives across the jump sits in this one heap object.
struct TJpegDecoder {
    jpeg_decompress_struct Info{};
    jpeg_error_mgr Errors{};
    jpeg_progress_mgr Progress{};
    std::jmp_buf Jump{};
    char Message[JMSG_LENGTH_MAX + 64] = {};
    bool Created = false;
    bool HeaderRead = false;
    bool OverLimit = false;
    // A file cut short may be shown with what it has (AcceptCut), once it
    // has enough; Ended says its end was reached.
    bool AcceptCut = false;
    bool Ended = false;
    bool MultiScan = false;
    int Orientation = 1;
    TBitmap Pixels;
    TBitmap Strip; // rows on their way to a quarter turn

    ~TJpegDecoder()
    {
        if (Created)
            jpeg_destroy_decompress(&Info);
    }
};

TJpegDecoder& DecoderOf(j_common_ptr info) { return *static_cast<TJpegDecoder*>(info->client_data); }

[[noreturn]] void Fail(j_common_ptr info, const char* text)
{
    TJpegDecoder& d = DecoderOf(info);
    std::snprintf(d.Message, sizeof d.Message, "%s", text);
    std::longjmp(d.Jump, 1);
}

[[noreturn]] void OnError(j_common_ptr info)
{
    // Memory that runs out is no fault of the file's: say so, without the
    // "broken JPEG" that would send the user looking for one.
    if (info->err->msg_code == JERR_OUT_OF_MEMORY) {
        DecoderOf(info).OverLimit = true;
        Fail(info, "out of memory");
    }
    char text[JMSG_LENGTH_MAX];
    (*info->err->format_message)(info, text);
    Fail(info, text);
}

// The warnings a file cut short gives: its end, reached (the source then
// feeds libjpeg an end-of-image marker, again whenever asked for more) even
// where the bit reader only reads ahead of what it needs, and, within a
// scan, the marker where data was due (the rest of the scan is then decoded
// from zero bits and the blocks after it left empty). True to let one pass:
// the end is, and data missing once the end was reached, where enough has
// arrived to show. Data missing before the end is damage, never passed.
bool OnCut(j_common_ptr info)
{
    TJpegDecoder& d = DecoderOf(info);
    const auto* in = reinterpret_cast<j_decompress_ptr>(info);
    switch (info->err->msg_code) {
    case JWRN_JPEG_EOF: d.Ended = true; return true;
    case JWRN_HIT_MARKER: {
        if (!d.Ended)
            return false;
        // Within a scan, input_iMCU_row counts its rows of blocks read
        // whole; it reaches total_iMCU_rows once the scan is.
        const bool firstScanWhole =
            in->input_scan_number > 1 || (in->input_scan_number == 1 && in->input_iMCU_row >= in->total_iMCU_rows);
        const bool firstRow = in->input_scan_number == 1 && in->input_iMCU_row >= 1;
        return d.MultiScan ? firstScanWhole : firstRow;
    }
    default: return false;
    }
}

// The length of a JPEG cut short up to the start of the marker segment it
// was cut in, if it was cut in one (between two scans, say): libjpeg then
// finds the end of its data where a marker could come, as it does for a cut
// within a scan, instead of reading the segment's missing bytes as its end
// marker and failing on a bogus length.
size_t WithoutCutSegment(const uint8_t* data, size_t size)
{
    size_t at = 2; // past the start of image
    while (at + 1 < size) {
        if (data[at] != 0xFF) {
            // Entropy-coded data, up to its next marker.
            const void* next = std::memchr(data + at, 0xFF, size - at);
            if (next == nullptr)
                return size;
            at = size_t(static_cast<const uint8_t*>(next) - data);
            continue;
        }
        const uint8_t marker = data[at + 1];
        if (marker == 0xFF) { // fill byte
            ++at;
            continue;
        }
        if (marker == 0xD9)
            return size;
        // Only the segments libjpeg reads have a length: frames, tables,
        // scans, restart intervals, application data and comments. A stuffed
        // zero, a restart marker and any other code stand alone.
        const bool segment = (marker >= 0xC0 && marker <= 0xCF) || (marker >= 0xDA && marker <= 0xDD) ||
                             (marker >= 0xE0 && marker <= 0xEF) || marker == 0xFE;
        if (!segment) {
            at += 2;
            continue;
        }
        if (at + 4 > size || at + 2 + (size_t(data[at + 2]) << 8 | data[at + 3]) > size)
            return at;
        at += 2 + (size_t(data[at + 2]) << 8 | data[at + 3]);
    }
    return size;
}

// Warnings that leave every pixel as the file gives it pass; the others (a
// file cut short, damaged entropy-coded data) would leave grey or smeared
// blocks in the picture, so they refuse it.
void OnMessage(j_common_ptr info, int level)
{
    if (level >= 0)
        return; // trace messages
    if (DecoderOf(info).AcceptCut && OnCut(info))
        return;
    switch (info->err->msg_code) {
    case JWRN_EXTRANEOUS_DATA:
    case JWRN_JFIF_MAJOR:
    case JWRN_ADOBE_XFORM:
    case JWRN_BOGUS_ICC:
        return;
    default:
        OnError(info);
    }
}

// Called for every iMCU row of every scan while the file is read.
void OnProgress(j_common_ptr info)
{
    const auto* d = reinterpret_cast<j_decompress_ptr>(info);
    if (d->input_scan_number > MaxJpegScans)
        Fail(info, "too many scans");
}

// Adobe's inverted CMYK (bytes C, M, Y, K in memory, as libjpeg gives it),
// where a channel times the black channel is the colour.
void CmykToColour(uint32_t* row, int32_t width)
{
    for (int32_t x = 0; x < width; ++x) {
        const uint32_t v = row[x];
        const uint32_t c = v & 0xFF, m = (v >> 8) & 0xFF, ye = (v >> 16) & 0xFF, k = v >> 24;
        row[x] = 0xFF000000u | (c * k / 255) << 16 | (m * k / 255) << 8 | (ye * k / 255);
    }
}

constexpr int32_t StripRows = 16;

// Stored rows y0 .. y0 + rows - 1 of a w x h picture (in strip) to their
// upright places for orientation O of 5 to 8, where rows become columns: in
// tiles of 64 columns, so that the 64 upright rows written stay in cache
// while the strip's rows fill 16 pixels of each.
template <int O>
void PlaceStrip(const TBitmap& strip, int32_t rows, int32_t y0, int32_t w, int32_t h, TBitmap& out)
{
    for (int32_t tx = 0; tx < w; tx += 64) {
        const int32_t xEnd = std::min(tx + 64, w);
        for (int32_t r = 0; r < rows; ++r) {
            const uint32_t* src = strip.PixelRow(r);
            const int32_t sy = y0 + r;
            for (int32_t sx = tx; sx < xEnd; ++sx) {
                const int32_t ux = O == 5 || O == 8 ? sy : h - 1 - sy;
                const int32_t uy = O == 5 || O == 6 ? sx : w - 1 - sx;
                out.PixelRow(uy)[ux] = src[sx];
            }
        }
    }
}

// Routes libjpeg's errors and warnings to the decoder. Before the setjmp
// that they jump back to.
void Prepare(TJpegDecoder& d)
{
    d.Info.client_data = &d;
    d.Info.err = jpeg_std_error(&d.Errors);
    d.Errors.error_exit = OnError;
    d.Errors.emit_message = OnMessage;
}

// Starts libjpeg on the file's bytes and reads the header. After the setjmp.
void ReadHeader(TJpegDecoder& d, const uint8_t* data, size_t size)
{
    jpeg_decompress_struct& info = d.Info;
    jpeg_create_decompress(&info);
    d.Created = true;
    d.Progress.progress_monitor = OnProgress;
    info.progress = &d.Progress;
    jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
    jpeg_read_header(&info, TRUE);
    d.HeaderRead = true;
}

// fitWidth x fitHeight as stored, before the picture is turned upright.
bool Decode(TJpegDecoder& d, const uint8_t* data, size_t size, const int32_t fitWidth, const int32_t fitHeight,
            const int64_t memoryBudget)
{
    jpeg_decompress_struct& info = d.Info;
    Prepare(d);
    if (setjmp(d.Jump) != 0)
        return false;
    ReadHeader(d, data, size);
    const int64_t width = info.image_width, height = info.image_height;
    if (width * height > MaxPicturePixels) {
        std::snprintf(d.Message, sizeof d.Message, "picture of %lldx%lld pixels is over the limit",
                      static_cast<long long>(width), static_cast<long long>(height));
        d.OverLimit = true;
        return false;
    }
    // A progressive file holds all its coefficients at once, two bytes each,
    // whatever the scale it is decoded at: a small file of a large picture
    // sampled 4:4:4 takes six bytes a pixel besides the picture. What the
    // budget does not allow is refused before it is taken.
    d.MultiScan = jpeg_has_multiple_scans(&info);
    if (d.MultiScan) {
        int64_t coefficients = 0;
        for (int c = 0; c < info.num_components; ++c) {
            const jpeg_component_info& comp = info.comp_info[c];
            const auto up = [](int64_t v, int64_t m) { return (v + m - 1) / m * m; };
            coefficients += up(comp.width_in_blocks, comp.h_samp_factor) * up(comp.height_in_blocks, comp.v_samp_factor) *
                            int64_t(DCTSIZE2 * sizeof(JCOEF));
        }
        if (memoryBudget > 0 && coefficients > memoryBudget) {
            std::snprintf(d.Message, sizeof d.Message, "%s", WorkingMemoryMessage(coefficients, memoryBudget).c_str());
            d.OverLimit = true;
            return false;
        }
    }
    // Beyond this, libjpeg would ask for a backing store and fail.
    info.mem->max_memory_to_use =
        static_cast<long>(memoryBudget > 0 ? memoryBudget + (int64_t{16} << 20) : width * height * 8 + (int64_t{64} << 20));

    // The smallest of libjpeg's scales (eighths) whose picture still covers
    // the fit: decoding at it costs less than at full size, and the fitter
    // then has the least left to do. 6000 x 4000 for a 4K screen decodes at
    // 5/8, in 40% of the memory.
    info.scale_denom = 8;
    info.scale_num = 8;
    if (fitWidth > 0 && fitHeight > 0)
        while (info.scale_num > 1 && (width * (info.scale_num - 1) + 7) / 8 >= fitWidth &&
               (height * (info.scale_num - 1) + 7) / 8 >= fitHeight)
            --info.scale_num;
    // CMYK has no conversion in libjpeg: CmykToColour does it.
    const bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
    info.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGRA;
    info.dct_method = JDCT_ISLOW;
    jpeg_calc_output_dimensions(&info);
    // Zero-filled: a large bitmap's pages stay untouched until rows arrive, so
    // a file that promises a large picture and then breaks off costs little.
    const int32_t w = int32_t(info.output_width), h = int32_t(info.output_height);
    const int o = d.Orientation;
    const bool turns = o >= 5;
    d.Pixels.SetSize(turns ? h : w, turns ? w : h, 0);

    jpeg_start_decompress(&info);
    if (!turns) {
        // Straight into the rows, mirrored in place where the orientation says.
        while (info.output_scanline < info.output_height) {
            const int32_t y = int32_t(info.output_scanline);
            uint32_t* row = d.Pixels.PixelRow(o == 3 || o == 4 ? h - 1 - y : y);
            JSAMPROW bytes = reinterpret_cast<JSAMPROW>(row);
            jpeg_read_scanlines(&info, &bytes, 1);
            if (cmyk)
                CmykToColour(row, w);
            if (o == 2 || o == 3)
                std::reverse(row, row + w);
        }
    } else {
        // A few rows at a time, each strip turned into its columns.
        d.Strip.SetSize(w, StripRows, 0);
        while (info.output_scanline < info.output_height) {
            const int32_t y0 = int32_t(info.output_scanline);
            int32_t rows = 0;
            while (rows < StripRows && info.output_scanline < info.output_height) {
                JSAMPROW bytes = d.Strip.Bits() + size_t(rows) * size_t(d.Strip.BytesPerLine());
                rows += int32_t(jpeg_read_scanlines(&info, &bytes, 1));
            }
            if (cmyk)
                for (int32_t r = 0; r < rows; ++r)
                    CmykToColour(d.Strip.PixelRow(r), w);
            switch (o) {
            case 5: PlaceStrip<5>(d.Strip, rows, y0, w, h, d.Pixels); break;
            case 6: PlaceStrip<6>(d.Strip, rows, y0, w, h, d.Pixels); break;
            case 7: PlaceStrip<7>(d.Strip, rows, y0, w, h, d.Pixels); break;
            default: PlaceStrip<8>(d.Strip, rows, y0, w, h, d.Pixels); break;
            }
        }
    }
    // Every pixel is in; what follows the picture in the file (or its
    // missing end marker) is of no interest.
    return true;
}

} // namespace

int CoveringReduction(int64_t width, int64_t height, int32_t fitWidth, int32_t fitHeight, int most)
{
    int k = 1;
    if (fitWidth <= 0 || fitHeight <= 0)
        return k;
    while (2 * k <= most) {
        const int64_t next = 2 * k;
        if ((width + next - 1) / next < fitWidth || (height + next - 1) / next < fitHeight)
            break;
        k *= 2;
    }
    return k;
}

std::string WorkingMemoryMessage(int64_t bytes, int64_t budget)
{
    const auto mb = [](int64_t b) { return std::to_string((b + (int64_t{1} << 20) - 1) >> 20); };
    return "decoding would take " + mb(bytes) + " MB of memory besides the picture, over the " + mb(budget) +
           " MB allowed a picture (MIREL_PICTURE_MEMORY_MB)";
}

void DecodeJpeg(const uint8_t* data, size_t size, TBitmap& out) { DecodeJpeg(data, size, out, 0, 0); }

void DecodeJpeg(const uint8_t* data, size_t size, TBitmap& out, int32_t fitWidth, int32_t fitHeight,
                int64_t memoryBudget, bool acceptTruncated)
{
    if (size == 0)
        throw TDecodeError("empty file");
    const int orientation = JpegOrientation(data, size);
    auto decoder = std::make_unique<TJpegDecoder>();
    decoder->Orientation = orientation;
    decoder->AcceptCut = acceptTruncated;
    if (acceptTruncated)
        size = WithoutCutSegment(data, size);
    const bool turned = orientation >= 5;
    if (!Decode(*decoder, data, size, turned ? fitHeight : fitWidth, turned ? fitWidth : fitHeight, memoryBudget)) {
        if (decoder->OverLimit)
            throw TDecodeError(decoder->Message);
        throw TDecodeError((decoder->HeaderRead ? "broken JPEG: " : "not a readable JPEG: ") +
                           std::string(decoder->Message));
    }
    out.Swap(decoder->Pixels);
}

bool JpegSize(const uint8_t* data, size_t size, int32_t& width, int32_t& height)
{
    if (size == 0)
        return false;
    auto decoder = std::make_unique<TJpegDecoder>();
    Prepare(*decoder);
    if (setjmp(decoder->Jump) != 0)
        return false;
    ReadHeader(*decoder, data, size);
    const bool turned = JpegOrientation(data, size) >= 5;
    const auto w = int32_t(decoder->Info.image_width), h = int32_t(decoder->Info.image_height);
    width = turned ? h : w;
    height = turned ? w : h;
    return true;
}

void LoadJpegFile(const std::string& path, TBitmap& out)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        throw TDecodeError(path + ": " + std::strerror(errno));
    const std::unique_ptr<int, void (*)(int*)> closer(new int(fd), [](int* p) {
        ::close(*p);
        delete p;
    });
    struct stat st{};
    if (::fstat(fd, &st) != 0)
        throw TDecodeError(path + ": " + std::strerror(errno));
    if (!S_ISREG(st.st_mode))
        throw TDecodeError(path + ": not a regular file");
    if (st.st_size > MaxPicturePixels * 4)
        throw TDecodeError(path + ": file is larger than any picture within the limit");
    const size_t size = size_t(st.st_size);
    std::unique_ptr<uint8_t[]> bytes(new uint8_t[size + 1]);
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::read(fd, bytes.get() + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw TDecodeError(path + ": " + std::strerror(errno));
        if (n == 0)
            break;
        done += size_t(n);
    }
    try {
        DecodeJpeg(bytes.get(), done, out);
    } catch (const TDecodeError& e) {
        throw TDecodeError(path + ": " + e.what());
    }
}

} // namespace mirel
