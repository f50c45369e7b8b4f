#include "tools/render/stills.h"

#include "tools/render/encode.h"

#include <png.h>
#include <zlib.h>
#include <turbojpeg.h>
#include <webp/encode.h>
#include <webp/mux.h>

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstring>
#include <exception>
#include <memory>
#include <system_error>
#include <thread>
#include <vector>

namespace mirel {

namespace {

// Closes the stream on every path; Close reports write errors (a full disk).
struct TFile {
    std::FILE* f = nullptr;
    std::string what;
    TFile(int fd, std::string name) : f(fdopen(fd, "wb")), what(std::move(name))
    {
        if (!f) {
            close(fd);
            throw std::runtime_error(what + ": cannot write: " + std::strerror(errno));
        }
    }
    ~TFile()
    {
        if (f)
            std::fclose(f);
    }
    void Close()
    {
        const bool ok = std::fflush(f) == 0 && !std::ferror(f);
        const int err = errno;
        const bool closed = std::fclose(f) == 0;
        f = nullptr;
        if (!ok || !closed)
            throw std::runtime_error(what + ": cannot write: " + std::strerror(ok ? errno : err));
    }
};

void WriteAll(std::FILE* file, const void* data, size_t size, const std::string& what)
{
    if (std::fwrite(data, 1, size, file) != size)
        throw std::runtime_error(what + ": cannot write: " + std::strerror(errno));
}

// Where libpng writes, and why it stopped: the system's reason for a failed
// write (a full disk), else libpng's own message.
struct TPngOut {
    std::FILE* File;
    int Error = 0;
    std::string Message;
};

[[noreturn]] void PngError(png_structp png, png_const_charp message)
{
    auto* out = static_cast<TPngOut*>(png_get_error_ptr(png));
    if (out->Message.empty())
        out->Message = message;
    longjmp(png_jmpbuf(png), 1);
}

void PngWrite(png_structp png, png_bytep data, png_size_t size)
{
    auto* out = static_cast<TPngOut*>(png_get_io_ptr(png));
    if (std::fwrite(data, 1, size, out->File) != size) {
        out->Error = errno;
        png_error(png, "write error");
    }
}

void PngFlush(png_structp png)
{
    auto* out = static_cast<TPngOut*>(png_get_io_ptr(png));
    if (std::fflush(out->File) != 0) {
        out->Error = errno;
        png_error(png, "write error");
    }
}

class TWebPAnimation : public TFrameSink {
public:
    TWebPAnimation(const std::string& out, int32_t w, int32_t h, const TSinkOptions& options)
        : pending_(out, options.Overwrite), animator_(w, h, options.Rate, out)
    {
    }

    void Write(const TBitmap& frame, int64_t repeat) override
    {
        CheckInterrupted();
        animator_.Add(frame, repeat);
        FramesWritten() += repeat;
    }

    void Finish() override
    {
        const std::string data = animator_.Assemble();
        TFile file(pending_.TakeFd(), pending_.Final());
        WriteAll(file.f, data.data(), data.size(), pending_.Final());
        file.Close();
        pending_.Commit();
    }

private:
    TPendingFile pending_;
    TWebPAnimator animator_;
};

} // namespace

namespace {

// Lossy quality of the frames in motion, and of the frames a viewer looks at
// for a while (converted to YUV with libwebp's sharper method too): a
// photograph comes back within about 1 level on average at 640x400 and 1.7
// at 160x100, against 2 to 3 at 80, for a few percent more bytes in a
// transition.
constexpr float MovingQuality = 80, HeldQuality = 95;

// The smallest rectangle holding every pixel in which a and b differ, with
// its left and top edges even (the offsets a WebP frame can have); false
// when they are the same.
bool ChangedRect(const TBitmap& a, const TBitmap& b, int32_t& x, int32_t& y, int32_t& w, int32_t& h)
{
    const int32_t width = a.Width(), height = a.Height();
    int32_t left = width, right = 0, top = height, bottom = 0;
    for (int32_t row = 0; row < height; ++row) {
        const uint32_t *pa = a.PixelRow(row), *pb = b.PixelRow(row);
        if (std::memcmp(pa, pb, size_t(width) * 4) == 0)
            continue;
        top = std::min(top, row);
        bottom = row + 1;
        int32_t l = 0, r = width;
        while (pa[l] == pb[l])
            ++l;
        while (pa[r - 1] == pb[r - 1])
            --r;
        left = std::min(left, l);
        right = std::max(right, r);
    }
    if (top >= bottom)
        return false;
    x = left & ~1;
    y = top & ~1;
    w = right - x;
    h = bottom - y;
    return true;
}

// A still lossy WebP of the rectangle (x, y, w, h) of frame. With before,
// the 8x8 blocks that are the same in it are made transparent, for the
// decoder to keep what it shows there: exactly the same pixels, so nothing
// drifts, and libwebp flattens a transparent block to save its bits. Whole
// blocks only: single pixels that happen to be the same would make the
// alpha plane noise. Alpha is kept losslessly, so every other pixel
// replaces what is shown.
std::string EncodeRect(const TBitmap& frame, const TBitmap* before, int32_t x, int32_t y, int32_t w, int32_t h,
                       float quality, bool& blend, const std::string& what)
{
    WebPConfig config;
    WebPPicture picture;
    if (!WebPConfigInit(&config) || !WebPPictureInit(&picture))
        throw std::runtime_error(what + ": libwebp version mismatch");
    config.quality = quality;
    config.method = 2;
    config.use_sharp_yuv = quality >= HeldQuality;
    WebPMemoryWriter writer;
    WebPMemoryWriterInit(&writer);
    picture.width = w;
    picture.height = h;
    picture.use_argb = 1; // converted to YUV by WebPEncode, as the config asks
    picture.writer = WebPMemoryWrite;
    picture.custom_ptr = &writer;
    const uint8_t* pixels = frame.Bits() + ptrdiff_t(y) * frame.BytesPerLine() + x * 4;
    int stride = frame.BytesPerLine();
    std::vector<uint32_t> masked;
    blend = false;
    if (before) {
        constexpr int32_t Block = 8;
        masked.resize(size_t(w) * size_t(h));
        for (int32_t top = 0; top < h; top += Block) {
            const int32_t rows = std::min(Block, h - top);
            for (int32_t left = 0; left < w; left += Block) {
                const int32_t cols = std::min(Block, w - left);
                bool same = true;
                for (int32_t r = 0; r < rows && same; ++r)
                    same = std::memcmp(frame.PixelRow(y + top + r) + x + left,
                                       before->PixelRow(y + top + r) + x + left, size_t(cols) * 4) == 0;
                const uint32_t alpha = same ? 0 : 0xFF000000u;
                for (int32_t r = 0; r < rows; ++r) {
                    const uint32_t* now = frame.PixelRow(y + top + r) + x + left;
                    uint32_t* out = masked.data() + size_t(top + r) * size_t(w) + size_t(left);
                    for (int32_t c = 0; c < cols; ++c)
                        out[c] = (now[c] & 0x00FFFFFFu) | alpha;
                }
                blend |= same;
            }
        }
        if (blend) {
            pixels = reinterpret_cast<const uint8_t*>(masked.data());
            stride = w * 4;
        }
    }
    const bool ok = (blend ? WebPPictureImportBGRA(&picture, pixels, stride)
                           : WebPPictureImportBGRX(&picture, pixels, stride)) &&
                    WebPEncode(&config, &picture);
    const WebPEncodingError error = picture.error_code;
    WebPPictureFree(&picture);
    std::string bytes(reinterpret_cast<const char*>(writer.mem), writer.size);
    WebPMemoryWriterClear(&writer);
    if (!ok)
        throw std::runtime_error(what + (error == VP8_ENC_ERROR_OUT_OF_MEMORY ? ": out of memory"
                                                                               : ": WebP encoding failed"));
    return bytes;
}

} // namespace

TWebPAnimator::TWebPAnimator(int32_t width, int32_t height, TFrameRate rate, std::string what)
    : w_(width), h_(height), rate_(rate), what_(std::move(what))
{
}

void TWebPAnimator::Add(const TBitmap& frame, int64_t repeat)
{
    int32_t x = 0, y = 0, w = w_, h = h_;
    const bool held = repeat > 1 || frames_.empty();
    if (!held && !ChangedRect(last_, frame, x, y, w, h)) {
        frames_.back().Periods += repeat;
        periods_ += repeat;
        return;
    }
    bool blend = false;
    std::string bytes =
        EncodeRect(frame, held ? nullptr : &last_, x, y, w, h, held ? HeldQuality : MovingQuality, blend, what_);
    frames_.push_back({std::move(bytes), x, y, periods_, repeat, held ? HeldQuality : MovingQuality, blend});
    periods_ += repeat;
    last_.Assign(frame);
}

std::string TWebPAnimator::Assemble()
{
    // Where the animation rests, and what a still of the file shows: whole
    // and fine, as a held frame, even when it came in a frame's time.
    if (!frames_.empty() && (frames_.back().X || frames_.back().Y || frames_.back().Blend ||
                             frames_.back().Quality != HeldQuality)) {
        TFrame& last = frames_.back();
        last.Bytes = EncodeRect(last_, nullptr, 0, 0, w_, h_, HeldQuality, last.Blend, what_);
        last.X = last.Y = 0;
    }
    struct TMux {
        WebPMux* p = WebPMuxNew();
        ~TMux() { WebPMuxDelete(p); }
    } mux;
    WebPMuxAnimParams params{0xFF000000u, 0}; // loops for ever
    bool ok = mux.p && WebPMuxSetCanvasSize(mux.p, w_, h_) == WEBP_MUX_OK &&
              WebPMuxSetAnimationParams(mux.p, &params) == WEBP_MUX_OK;
    for (const TFrame& frame : frames_) {
        if (!ok)
            break;
        WebPMuxFrameInfo info{};
        info.bitstream = {reinterpret_cast<const uint8_t*>(frame.Bytes.data()), frame.Bytes.size()};
        info.x_offset = frame.X;
        info.y_offset = frame.Y;
        // From the start times, so that rounding to milliseconds never adds up.
        info.duration = Millis(frame.Start + frame.Periods) - Millis(frame.Start);
        info.id = WEBP_CHUNK_ANMF;
        info.dispose_method = WEBP_MUX_DISPOSE_NONE;
        info.blend_method = frame.Blend ? WEBP_MUX_BLEND : WEBP_MUX_NO_BLEND;
        ok = WebPMuxPushFrame(mux.p, &info, 0) == WEBP_MUX_OK;
    }
    WebPData data;
    WebPDataInit(&data);
    if (!ok || WebPMuxAssemble(mux.p, &data) != WEBP_MUX_OK)
        throw std::runtime_error(what_ + ": WebP assembly failed");
    std::string bytes(reinterpret_cast<const char*>(data.bytes), data.size);
    WebPDataClear(&data);
    return bytes;
}

int TWebPAnimator::Millis(int64_t frames) const
{
    return int(frames * 1000 * rate_.Den / rate_.Num);
}

namespace {

// Bytes written before they are read, in room that is never cleared: a
// part's room is as large as its rows could deflate to, and the pages of
// what it does not use are never touched.
struct TDeflated {
    std::unique_ptr<uint8_t[]> Bytes;
    size_t Size = 0, Room = 0;

    void MakeRoom(size_t room)
    {
        if (room <= Room)
            return;
        auto bytes = std::make_unique_for_overwrite<uint8_t[]>(room);
        if (Size != 0)
            std::memcpy(bytes.get(), Bytes.get(), Size);
        Bytes = std::move(bytes);
        Room = room;
    }
};

// A PNG's compressed rows in parts, each deflated on a thread of its own:
// raw deflate blocks from the part's rows alone (filtered by Sub), every
// part but the last ending on a byte boundary (a sync flush), so that the
// parts one after another are one deflate stream. The zlib header goes
// before the first part and the check value, which combines the parts', after
// the last. Without the window of the part before, a part's first bytes find
// no earlier match: a few bytes a part, and none at level 1, which looks only
// one pixel back.
std::vector<TDeflated> DeflatePngRows(const TBitmap& bitmap, int level, unsigned parts, const std::string& what)
{
    const int32_t width = bitmap.Width(), height = bitmap.Height();
    const size_t rowBytes = 1 + size_t(width) * 3;
    // The zlib header, 2 bytes, goes first in the first part.
    constexpr size_t HeaderBytes = 2;
    std::vector<TDeflated> out(parts);
    std::vector<uLong> checks(parts);
    std::vector<size_t> sizes(parts);
    std::vector<std::exception_ptr> errors(parts);
    const auto deflatePart = [&](unsigned part) {
        try {
            const int32_t top = int32_t(int64_t{height} * part / parts);
            const int32_t bottom = int32_t(int64_t{height} * (part + 1) / parts);
            struct TDeflate {
                z_stream z{};
                ~TDeflate() { deflateEnd(&z); }
            } d;
            z_stream& z = d.z;
            if (deflateInit2(&z, level, Z_DEFLATED, -15, 8, level == 1 ? Z_RLE : Z_DEFAULT_STRATEGY) != Z_OK)
                throw std::runtime_error(what + ": out of memory");
            TDeflated& bytes = out[part];
            const size_t header = part == 0 ? HeaderBytes : 0;
            bytes.MakeRoom(header + deflateBound(&z, uLong(rowBytes * size_t(bottom - top))) + 64);
            bytes.Size = header;
            // Deflates the row in z.next_in, with room made as it goes.
            const auto feed = [&](int flush) {
                for (;;) {
                    if (bytes.Room - bytes.Size < 64)
                        bytes.MakeRoom(bytes.Room + bytes.Room / 2);
                    z.next_out = bytes.Bytes.get() + bytes.Size;
                    z.avail_out = uInt(std::min<size_t>(bytes.Room - bytes.Size, UINT32_MAX));
                    const int status = deflate(&z, flush);
                    bytes.Size = size_t(z.next_out - bytes.Bytes.get());
                    if (status == Z_STREAM_END)
                        return;
                    if (status != Z_OK)
                        throw std::runtime_error(what + ": PNG compression failed");
                    if (z.avail_in == 0 && z.avail_out != 0 && flush != Z_FINISH)
                        return;
                }
            };
            std::vector<uint8_t> row(rowBytes);
            uLong check = adler32(0, nullptr, 0);
            for (int32_t y = top; y < bottom; ++y) {
                // Filter type 1 (Sub): each byte less the same byte of the
                // pixel to its left.
                const uint32_t* p = bitmap.PixelRow(y);
                uint8_t* r = row.data();
                *r++ = 1;
                uint32_t left = 0;
                for (int32_t x = 0; x < width; ++x, r += 3) {
                    const uint32_t c = p[x];
                    r[0] = uint8_t((c >> 16) - (left >> 16));
                    r[1] = uint8_t((c >> 8) - (left >> 8));
                    r[2] = uint8_t(c - left);
                    left = c;
                }
                check = adler32(check, row.data(), uInt(rowBytes));
                z.next_in = row.data();
                z.avail_in = uInt(rowBytes);
                feed(y + 1 < bottom ? Z_NO_FLUSH : part + 1 < parts ? Z_SYNC_FLUSH : Z_FINISH);
            }
            checks[part] = check;
            sizes[part] = rowBytes * size_t(bottom - top);
        } catch (...) {
            errors[part] = std::current_exception();
        }
    };
    // A part no thread can be started for is deflated here, after the first.
    std::vector<std::thread> threads;
    std::vector<unsigned> here{0};
    for (unsigned part = 1; part < parts; ++part) {
        try {
            threads.emplace_back(deflatePart, part);
        } catch (const std::system_error&) {
            here.push_back(part);
        }
    }
    for (const unsigned part : here)
        deflatePart(part);
    for (std::thread& t : threads)
        t.join();
    for (const std::exception_ptr& e : errors)
        if (e)
            std::rethrow_exception(e);

    // The zlib header (a 32 KiB window; the level's flag as zlib sets it)
    // and the check value, most significant byte first.
    const unsigned flag = level == 1 ? 0 : level < 6 ? 1 : level == 6 ? 2 : 3;
    unsigned header = 0x7800 | flag << 6;
    header += (31 - header % 31) % 31;
    out.front().Bytes[0] = uint8_t(header >> 8);
    out.front().Bytes[1] = uint8_t(header);
    uLong check = checks[0];
    for (unsigned part = 1; part < parts; ++part)
        check = adler32_combine(check, checks[part], z_off_t(sizes[part]));
    TDeflated& last = out.back();
    last.MakeRoom(last.Size + 4);
    for (const int shift : {24, 16, 8, 0})
        last.Bytes[last.Size++] = uint8_t(check >> shift);
    return out;
}

} // namespace

void WritePng(const TBitmap& bitmap, std::FILE* file, int level, const std::string& what, unsigned threads)
{
    // Rows deflated on several threads where there are enough of them to
    // share, at the fast levels (one filter for every row).
    const int64_t pixels = int64_t{bitmap.Width()} * bitmap.Height();
    const auto parts = unsigned(std::clamp<int64_t>(std::min<int64_t>(pixels >> 21, bitmap.Height() / 16), 1,
                                                    std::max(threads, 1u)));
    const std::vector<TDeflated> deflated =
        parts > 1 && level >= 1 && level <= 3 ? DeflatePngRows(bitmap, level, parts, what) : std::vector<TDeflated>{};

    TPngOut out{file, 0, {}};
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &out, PngError, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        throw std::runtime_error(what + ": out of memory");
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        throw std::runtime_error(what + ": cannot write the PNG file: " +
                                 (out.Error ? std::strerror(out.Error) : out.Message));
    }
    png_set_write_fn(png, &out, PngWrite, PngFlush);
    png_set_compression_level(png, level);
    // At the fast levels the row filters cost more time than they save bytes.
    png_set_filter(png, 0, level <= 3 ? PNG_FILTER_SUB : PNG_ALL_FILTERS);
    // Level 1, the default, looks for runs only: after the Sub filter, a
    // photograph's frame deflates smaller that way than by zlib's own level
    // 1, and a frame of grain or noise in three quarters of the time.
    if (level == 1)
        png_set_compression_strategy(png, Z_RLE);
    png_set_IHDR(png, info, png_uint_32(bitmap.Width()), png_uint_32(bitmap.Height()), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    if (!deflated.empty()) {
        // The parts as they are, in chunks libpng frames, then the end.
        constexpr size_t Chunk = size_t{1} << 30;
        for (const TDeflated& part : deflated)
            for (size_t at = 0; at < part.Size; at += Chunk)
                png_write_chunk(png, reinterpret_cast<png_const_bytep>("IDAT"), part.Bytes.get() + at,
                                std::min(Chunk, part.Size - at));
        png_write_chunk(png, reinterpret_cast<png_const_bytep>("IEND"), nullptr, 0);
        png_destroy_write_struct(&png, &info);
        return;
    }
    png_set_bgr(png);
    png_set_filler(png, 0, PNG_FILLER_AFTER); // drops the fourth byte on writing
    for (int32_t y = 0; y < bitmap.Height(); ++y)
        png_write_row(png, reinterpret_cast<png_const_bytep>(bitmap.PixelRow(y)));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
}

void WriteJpeg(const TBitmap& bitmap, std::FILE* file, int quality, const std::string& what)
{
    tjhandle tj = tjInitCompress();
    if (!tj)
        throw std::runtime_error(what + ": cannot start the JPEG encoder");
    unsigned char* data = nullptr;
    unsigned long size = 0;
    const int rc = tjCompress2(tj, bitmap.Bits(), bitmap.Width(), bitmap.BytesPerLine(), bitmap.Height(), TJPF_BGRX,
                               &data, &size, TJSAMP_420, quality, TJFLAG_ACCURATEDCT);
    tjDestroy(tj);
    if (rc != 0) {
        tjFree(data);
        throw std::runtime_error(what + ": JPEG encoding failed");
    }
    try {
        WriteAll(file, data, size, what);
    } catch (...) {
        tjFree(data);
        throw;
    }
    tjFree(data);
}

void WriteWebP(const TBitmap& bitmap, std::FILE* file, const std::string& what)
{
    uint8_t* data = nullptr;
    const size_t size =
        WebPEncodeBGRA(bitmap.Bits(), bitmap.Width(), bitmap.Height(), bitmap.BytesPerLine(), 90, &data);
    if (size == 0)
        throw std::runtime_error(what + ": WebP encoding failed");
    try {
        WriteAll(file, data, size, what);
    } catch (...) {
        WebPFree(data);
        throw;
    }
    WebPFree(data);
}

void SavePicture(const TBitmap& bitmap, const std::string& out, const TSinkOptions& options)
{
    const TOutputKind kind = OutputKindOf(out);
    CheckFrameSize(out, kind, bitmap.Width(), bitmap.Height());
    if (kind == TOutputKind::Gif) {
        const std::unique_ptr<TFrameSink> sink = OpenEncoder(out, kind, bitmap.Width(), bitmap.Height(), options);
        sink->Write(bitmap, 1);
        sink->Finish();
        return;
    }
    if (kind != TOutputKind::Png && kind != TOutputKind::Jpeg && kind != TOutputKind::WebP)
        throw std::runtime_error(out + ": one frame goes to a .png, .jpg, .webp or .gif file");
    TPendingFile pending(out, options.Overwrite);
    TFile file(pending.TakeFd(), out);
    if (kind == TOutputKind::Png)
        WritePng(bitmap, file.f, options.PngCompression, out, std::max(std::thread::hardware_concurrency(), 1u));
    else if (kind == TOutputKind::Jpeg)
        WriteJpeg(bitmap, file.f, 92, out);
    else
        WriteWebP(bitmap, file.f, out);
    file.Close();
    CheckInterrupted();
    pending.Commit();
}

std::unique_ptr<TFrameSink> OpenWebPAnimation(const std::string& out, int32_t width, int32_t height,
                                              const TSinkOptions& options)
{
    return std::make_unique<TWebPAnimation>(out, width, height, options);
}

} // namespace mirel
