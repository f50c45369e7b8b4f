// WebP through libwebp: a still picture, or the first frame of an animation
// on its canvas, decodes straight into the bitmap's rows, at the size the
// fit hint asks for where there is one (libwebp scales while decoding). The
// first frame lies on a transparent canvas, as libwebp's animation decoder
// starts it; that decoder is not used, since it keeps a canvas and a copy of
// it of its own, at full size, for a frame that may be a single pixel.
#include "picture/decoders.h"

#include <webp/decode.h>
#include <webp/demux.h>

#include <algorithm>
#include <cmath>

namespace mirel::picture {

namespace {

struct TDemuxer {
    WebPDemuxer* Demux = nullptr;
    WebPIterator Frame{};
    bool HasFrame = false;
    ~TDemuxer()
    {
        if (HasFrame)
            WebPDemuxReleaseIterator(&Frame);
        WebPDemuxDelete(Demux);
    }
};

// The scale at which a width x height picture just covers the hint, its
// aspect kept; 1 without a hint or when it is no smaller.
double ScaleFor(int width, int height, const TLoadOptions& options)
{
    if (options.FitWidth <= 0 || options.FitHeight <= 0)
        return 1;
    const double s = std::max(double(options.FitWidth) / width, double(options.FitHeight) / height);
    return s >= 1 ? 1 : s;
}

int32_t Scaled(int v, double s) { return s == 1 ? v : std::max(1, int32_t(std::ceil(v * s))); }

// What libwebp takes besides the output for a bitstream of width x height:
// a lossless one decodes every pixel into its own buffer first, a lossy one
// with alpha its alpha plane; the rest works on a few rows.
int64_t WorkingMemory(const WebPBitstreamFeatures& f, int width, int height)
{
    const int64_t pixels = int64_t(width) * height;
    if (f.format == 2)
        return pixels * 4;
    return f.has_alpha ? pixels : 0;
}

// Decodes the bitstream (width x height) into outWidth x outHeight pixels at
// dst, rows stride bytes apart.
void DecodeInto(const uint8_t* data, size_t size, int width, int height, uint8_t* dst, int stride,
                int32_t outWidth, int32_t outHeight, const char* broken)
{
    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config))
        throw TDecodeError("cannot start the WebP decoder");
    config.options.use_threads = 0;
    if (outWidth != width || outHeight != height) {
        config.options.use_scaling = 1;
        config.options.scaled_width = outWidth;
        config.options.scaled_height = outHeight;
    }
    config.output.colorspace = MODE_BGRA;
    config.output.is_external_memory = 1;
    config.output.u.RGBA.rgba = dst;
    config.output.u.RGBA.stride = stride;
    config.output.u.RGBA.size = size_t(stride) * size_t(outHeight - 1) + size_t(outWidth) * 4;
    const VP8StatusCode status = WebPDecode(data, size, &config);
    WebPFreeDecBuffer(&config.output); // frees nothing of ours: the memory is external
    if (status == VP8_STATUS_OUT_OF_MEMORY)
        throw TDecodeError(OutOfMemory);
    if (status != VP8_STATUS_OK)
        throw TDecodeError(broken);
}

void DecodeFirstFrame(const uint8_t* data, size_t size, TBitmap& out, const TLoadOptions& options)
{
    const WebPData whole{data, size};
    TDemuxer demux;
    demux.Demux = WebPDemux(&whole);
    if (demux.Demux == nullptr)
        throw TDecodeError("broken WebP animation");
    const int canvasW = int(WebPDemuxGetI(demux.Demux, WEBP_FF_CANVAS_WIDTH));
    const int canvasH = int(WebPDemuxGetI(demux.Demux, WEBP_FF_CANVAS_HEIGHT));
    CheckPictureSize(canvasW, canvasH);
    demux.HasFrame = WebPDemuxGetFrame(demux.Demux, 1, &demux.Frame) != 0;
    const WebPIterator& frame = demux.Frame;
    WebPBitstreamFeatures features;
    if (!demux.HasFrame || WebPGetFeatures(frame.fragment.bytes, frame.fragment.size, &features) != VP8_STATUS_OK ||
        features.width != frame.width || features.height != frame.height || frame.x_offset < 0 || frame.y_offset < 0 ||
        frame.x_offset + frame.width > canvasW || frame.y_offset + frame.height > canvasH)
        throw TDecodeError("broken WebP animation: no readable first frame");
    CheckWorkingMemory(WorkingMemory(features, frame.width, frame.height), options.MemoryBudget);

    const double s = ScaleFor(canvasW, canvasH, options);
    TBitmap pixels(Scaled(canvasW, s), Scaled(canvasH, s), 0); // transparent
    // The frame's place on the scaled canvas, at least a pixel, inside it.
    const auto place = [s](int from, int length, int32_t limit, int32_t& begin, int32_t& end) {
        begin = std::min(int32_t(std::floor(from * s)), limit - 1);
        end = std::clamp(int32_t(std::ceil((from + length) * s)), begin + 1, limit);
    };
    int32_t x0, x1, y0, y1;
    place(frame.x_offset, frame.width, pixels.Width(), x0, x1);
    place(frame.y_offset, frame.height, pixels.Height(), y0, y1);
    const int stride = pixels.BytesPerLine();
    DecodeInto(frame.fragment.bytes, frame.fragment.size, frame.width, frame.height,
               pixels.Bits() + size_t(y0) * size_t(stride) + size_t(x0) * 4, stride, x1 - x0, y1 - y0,
               "broken WebP animation: no readable first frame");
    out.Swap(pixels);
}

} // namespace

void DecodeWebp(const uint8_t* data, size_t size, TBitmap& out, const TLoadOptions& options)
{
    WebPBitstreamFeatures features;
    if (WebPGetFeatures(data, size, &features) != VP8_STATUS_OK)
        throw TDecodeError("not a readable WebP file");
    if (features.has_animation) {
        DecodeFirstFrame(data, size, out, options);
        return;
    }
    CheckPictureSize(features.width, features.height);
    CheckWorkingMemory(WorkingMemory(features, features.width, features.height), options.MemoryBudget);
    const double s = ScaleFor(features.width, features.height, options);
    TBitmap pixels(Scaled(features.width, s), Scaled(features.height, s), 0);
    DecodeInto(data, size, features.width, features.height, pixels.Bits(), pixels.BytesPerLine(), pixels.Width(),
               pixels.Height(), "broken WebP file");
    out.Swap(pixels);
}

} // namespace mirel::picture
