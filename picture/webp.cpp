// WebP through libwebp: still pictures decode straight into the bitmap's
// rows; an animation shows its first frame as composed on its canvas.
#include "picture/decoders.h"

#include <webp/decode.h>
#include <webp/demux.h>

#include <cstring>

namespace mirel::picture {

namespace {

struct TAnimDecoder {
    WebPAnimDecoder* Decoder = nullptr;
    ~TAnimDecoder()
    {
        if (Decoder != nullptr)
            WebPAnimDecoderDelete(Decoder);
    }
};

void DecodeFirstFrame(const uint8_t* data, size_t size, TBitmap& out)
{
    WebPAnimDecoderOptions options;
    if (!WebPAnimDecoderOptionsInit(&options))
        throw TDecodeError("cannot start the WebP decoder");
    options.color_mode = MODE_BGRA;
    options.use_threads = 0;
    const WebPData whole{data, size};
    WebPAnimInfo info{};
    {
        // The canvas size is checked before the decoder takes a canvas.
        WebPDemuxer* demux = WebPDemux(&whole);
        if (demux == nullptr)
            throw TDecodeError("broken WebP animation");
        const int64_t w = WebPDemuxGetI(demux, WEBP_FF_CANVAS_WIDTH), h = WebPDemuxGetI(demux, WEBP_FF_CANVAS_HEIGHT);
        WebPDemuxDelete(demux);
        CheckPictureSize(w, h);
    }
    TAnimDecoder anim;
    anim.Decoder = WebPAnimDecoderNew(&whole, &options);
    if (anim.Decoder == nullptr || !WebPAnimDecoderGetInfo(anim.Decoder, &info))
        throw TDecodeError("broken WebP animation");
    CheckPictureSize(info.canvas_width, info.canvas_height);
    uint8_t* frame = nullptr;
    int timestamp = 0;
    if (!WebPAnimDecoderHasMoreFrames(anim.Decoder) || !WebPAnimDecoderGetNext(anim.Decoder, &frame, &timestamp))
        throw TDecodeError("broken WebP animation: no readable first frame");
    TBitmap pixels(int32_t(info.canvas_width), int32_t(info.canvas_height));
    std::memcpy(pixels.Bits(), frame, size_t(pixels.BytesPerLine()) * size_t(pixels.Height()));
    out.Swap(pixels);
}

} // namespace

void DecodeWebp(const uint8_t* data, size_t size, TBitmap& out)
{
    WebPBitstreamFeatures features;
    if (WebPGetFeatures(data, size, &features) != VP8_STATUS_OK)
        throw TDecodeError("not a readable WebP file");
    if (features.has_animation) {
        DecodeFirstFrame(data, size, out);
        return;
    }
    CheckPictureSize(features.width, features.height);
    TBitmap pixels(features.width, features.height);
    const size_t bytes = size_t(pixels.BytesPerLine()) * size_t(pixels.Height());
    if (WebPDecodeBGRAInto(data, size, pixels.Bits(), bytes, pixels.BytesPerLine()) == nullptr)
        throw TDecodeError("broken WebP file");
    out.Swap(pixels);
}

} // namespace mirel::picture
