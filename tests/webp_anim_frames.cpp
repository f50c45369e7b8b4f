// Decodes an animated WebP with libwebp's own animation decoder, as browsers
// and viewers built on libwebp show it, and writes the canvas after one frame
// as a PPM: the way to see what a player shows rather than what was encoded.
//   webp_anim_frames ANIM.webp             prints the frame count and each frame's end in ms
//   webp_anim_frames ANIM.webp MS OUT.ppm  writes what shows MS milliseconds in (-1: the last
//                                          frame); exit 1 if the canvas there is not opaque
#include <webp/demux.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    if (argc != 2 && argc != 4) {
        std::fprintf(stderr, "usage: %s ANIM.webp [N OUT.ppm]\n", argv[0]);
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    const std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const WebPData data{reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()};
    WebPAnimDecoderOptions options;
    WebPAnimDecoderOptionsInit(&options);
    options.color_mode = MODE_RGBA;
    WebPAnimDecoder* decoder = WebPAnimDecoderNew(&data, &options);
    WebPAnimInfo info;
    if (!decoder || !WebPAnimDecoderGetInfo(decoder, &info)) {
        std::fprintf(stderr, "%s: not a WebP animation libwebp can read\n", argv[1]);
        return 2;
    }
    const int wanted = argc == 4 ? std::atoi(argv[2]) : -2;
    if (argc == 2)
        std::printf("frames %u\n", info.frame_count);
    for (int index = 0; WebPAnimDecoderHasMoreFrames(decoder); ++index) {
        uint8_t* canvas = nullptr;
        int end = 0;
        if (!WebPAnimDecoderGetNext(decoder, &canvas, &end)) {
            std::fprintf(stderr, "%s: frame %d is broken\n", argv[1], index);
            return 2;
        }
        if (argc == 2)
            std::printf("%d\n", end);
        if (argc == 2 || (wanted == -1 ? index + 1 < int(info.frame_count) : end <= wanted))
            continue;
        std::FILE* out = std::fopen(argv[3], "wb");
        if (!out)
            return 2;
        std::fprintf(out, "P6\n%u %u\n255\n", info.canvas_width, info.canvas_height);
        bool opaque = true;
        for (size_t i = 0; i < size_t(info.canvas_width) * info.canvas_height; ++i) {
            std::fwrite(canvas + 4 * i, 1, 3, out);
            opaque = opaque && canvas[4 * i + 3] == 255;
        }
        std::fclose(out);
        WebPAnimDecoderDelete(decoder);
        return opaque ? 0 : 1;
    }
    WebPAnimDecoderDelete(decoder);
    if (argc == 4) {
        std::fprintf(stderr, "%s: nothing shows at %d ms\n", argv[1], wanted);
        return 2;
    }
    return 0;
}
