#include "test_jpegs.h"

#include <cstddef>
#include <cstdio>

#include <jpeglib.h>
#include <turbojpeg.h>

#include <algorithm>
#include <cstdlib>
#include <stdexcept>

namespace mirel::test {

namespace {

TBytes Compress(const std::vector<uint8_t>& rgb, int width, int height, int quality)
{
    tjhandle tj = tjInitCompress();
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    const int failed = tjCompress2(tj, rgb.data(), width, 0, height, TJPF_RGB, &jpeg, &size, TJSAMP_420, quality, 0);
    TBytes out;
    if (failed == 0)
        out.assign(jpeg, jpeg + size);
    tjFree(jpeg);
    tjDestroy(tj);
    if (failed != 0)
        throw std::runtime_error("cannot compress a test JPEG");
    return out;
}

} // namespace

TBytes ProgressiveGrey(int width, int height, int scans, bool ramp)
{
    std::vector<jpeg_scan_info> script;
    script.push_back({1, {0}, 0, 0, 0, 0});
    for (int k = 1; k <= 63 && int(script.size()) < scans; ++k)
        script.push_back({1, {0}, k, k, 0, 1});
    for (int k = 1; k <= 63 && int(script.size()) < scans; ++k)
        script.push_back({1, {0}, k, k, 1, 0});
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &out, &size);
    info.image_width = JDIMENSION(width);
    info.image_height = JDIMENSION(height);
    info.input_components = 1;
    info.in_color_space = JCS_GRAYSCALE;
    jpeg_set_defaults(&info);
    info.scan_info = script.data();
    info.num_scans = int(script.size());
    jpeg_start_compress(&info, TRUE);
    std::vector<JSAMPLE> row(static_cast<size_t>(width));
    for (int x = 0; x < width; ++x)
        row[size_t(x)] = JSAMPLE(ramp ? x * 7 % 256 : 128);
    while (info.next_scanline < info.image_height) {
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    TBytes bytes(out, out + size);
    free(out);
    return bytes;
}

TBytes Quadrants(int width, int height)
{
    std::vector<uint8_t> rgb(size_t(width) * size_t(height) * 3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int q = (y >= height / 2) * 2 + (x >= width / 2);
            const uint8_t colours[4][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};
            std::copy(colours[q], colours[q] + 3, rgb.begin() + long((size_t(y) * size_t(width) + size_t(x)) * 3));
        }
    return Compress(rgb, width, height, 90);
}

TBytes Photo(int width, int height, int quality)
{
    std::vector<uint8_t> rgb(size_t(width) * size_t(height) * 3);
    uint32_t seed = 1;
    for (size_t i = 0; i < rgb.size(); i += 3) {
        seed = seed * 1664525u + 1013904223u;
        const size_t p = i / 3;
        const int x = int(p % size_t(width)), y = int(p / size_t(width));
        rgb[i] = uint8_t((x / 7 + (seed >> 28)) & 0xFF);
        rgb[i + 1] = uint8_t((y / 5 + (seed >> 27)) & 0xFF);
        rgb[i + 2] = uint8_t(((x + y) / 9) & 0xFF);
    }
    return Compress(rgb, width, height, quality);
}

TBytes WithOrientation(const TBytes& jpeg, uint8_t orientation)
{
    const TBytes app1 = {0xFF, 0xE1, 0, 34, 'E', 'x', 'i', 'f', 0, 0, 'M', 'M', 0, 42, 0, 0, 0, 8, 0, 1,
                         0x01, 0x12, 0, 3, 0, 0, 0, 1, 0, orientation, 0, 0, 0, 0, 0, 0};
    TBytes out(jpeg.begin(), jpeg.begin() + 2);
    out.insert(out.end(), app1.begin(), app1.end());
    out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
    return out;
}

} // namespace mirel::test
