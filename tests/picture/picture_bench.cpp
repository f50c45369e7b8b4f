// Time and memory of loading and fitting large pictures; not a test.
//   mirel_bench_picture [FOLDER]   (a scratch folder by default)
// Prints one line per measurement: decode times of a 24-megapixel photo at
// full size and for a 1920x1080 screen, its Exif-turned twin, a scan bomb,
// fitting, and the resident memory while a 10000x10000 JPEG is loaded and
// after it is replaced by a small picture.
#include "picture/fit.h"
#include "picture/load.h"

#include <jpeglib.h>
#include <turbojpeg.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <sys/resource.h>

namespace {

using namespace mirel;
using TBytes = std::vector<uint8_t>;

double Seconds(const std::chrono::steady_clock::time_point& since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

long ResidentKiB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atol(line.c_str() + 6);
    return -1;
}

long PeakKiB()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// A noisy photo-like JPEG (so that it does not compress to nothing).
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
    tjhandle tj = tjInitCompress();
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    tjCompress2(tj, rgb.data(), width, 0, height, TJPF_RGB, &jpeg, &size, TJSAMP_420, quality, 0);
    TBytes out(jpeg, jpeg + size);
    tjFree(jpeg);
    tjDestroy(tj);
    return out;
}

TBytes WithOrientation6(const TBytes& jpeg)
{
    const TBytes app1 = {0xFF, 0xE1, 0, 34, 'E', 'x', 'i', 'f', 0, 0, 'M', 'M', 0, 42, 0, 0, 0, 8, 0, 1,
                         0x01, 0x12, 0, 3, 0, 0, 0, 1, 0, 6, 0, 0, 0, 0, 0, 0};
    TBytes out(jpeg.begin(), jpeg.begin() + 2);
    out.insert(out.end(), app1.begin(), app1.end());
    out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
    return out;
}

// The grey 8000x8000 scan bomb: one DC scan, then AC scans of single
// coefficients, far more than the limit allows.
TBytes ScanBomb()
{
    std::vector<jpeg_scan_info> script;
    script.push_back({1, {0}, 0, 0, 0, 0});
    for (int k = 1; k <= 63; ++k)
        script.push_back({1, {0}, k, k, 0, 1});
    for (int k = 1; k <= 63; ++k)
        script.push_back({1, {0}, k, k, 1, 0});
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &out, &size);
    info.image_width = info.image_height = 8000;
    info.input_components = 1;
    info.in_color_space = JCS_GRAYSCALE;
    jpeg_set_defaults(&info);
    info.scan_info = script.data();
    info.num_scans = int(script.size());
    jpeg_start_compress(&info, TRUE);
    std::vector<JSAMPLE> row(8000, 128);
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

void Time(const char* what, const TBytes& jpeg, const TLoadOptions& options, int rounds = 3)
{
    double best = 1e9;
    TBitmap picture;
    std::string error;
    for (int i = 0; i < rounds; ++i) {
        const auto start = std::chrono::steady_clock::now();
        try {
            DecodePicture(jpeg.data(), jpeg.size(), "jpg", picture, options);
        } catch (const TDecodeError& e) {
            error = e.what();
        }
        best = std::min(best, Seconds(start));
    }
    std::printf("%-44s %8.1f ms  %dx%d%s%s\n", what, best * 1000, picture.Width(), picture.Height(),
                error.empty() ? "" : "  refused: ", error.c_str());
}

} // namespace

int main()
{
    {
        const TBytes photo = Photo(6000, 4000, 90);
        std::printf("24-megapixel photo: %zu bytes\n", photo.size());
        Time("decode 6000x4000, full size", photo, {});
        Time("decode 6000x4000 for 1920x1080", photo, {1920, 1080});
        Time("decode 6000x4000 orientation 6, full size", WithOrientation6(photo), {});
        TBitmap picture, fitted;
        DecodePicture(photo.data(), photo.size(), "jpg", picture);
        for (int orientation : {3, 6}) {
            const auto start = std::chrono::steady_clock::now();
            Orient(picture, orientation);
            std::printf("turn 6000x4000 by orientation %d               %8.1f ms\n", orientation, Seconds(start) * 1000);
        }
        DecodePicture(photo.data(), photo.size(), "jpg", picture, {1920, 1080});
        for (TFitMode mode : {TFitMode::Aspect, TFitMode::Fill, TFitMode::Blur}) {
            const auto start = std::chrono::steady_clock::now();
            FitPicture(picture, 1920, 1080, mode, fitted);
            std::printf("fit the 3000x2000 decode to 1920x1080, mode %d %8.1f ms\n", int(mode), Seconds(start) * 1000);
        }
        DecodePicture(photo.data(), photo.size(), "jpg", picture);
        const auto start = std::chrono::steady_clock::now();
        FitPicture(picture, 1920, 1080, TFitMode::Aspect, fitted);
        std::printf("fit the full 6000x4000 to 1920x1080 (Aspect) %8.1f ms\n", Seconds(start) * 1000);
    }
    const TBytes bomb = ScanBomb();
    std::printf("scan bomb: %zu bytes, 127 scans over 8000x8000\n", bomb.size());
    Time("decode the scan bomb", bomb, {}, 1);

    // Memory: a 10000x10000 JPEG loaded, then replaced by a small picture.
    const TBytes large = Photo(10000, 10000, 75), small = Photo(640, 480, 75);
    const long before = ResidentKiB();
    TBitmap shown;
    DecodePicture(large.data(), large.size(), "jpg", shown);
    const long loaded = ResidentKiB();
    {
        TBitmap next;
        DecodePicture(small.data(), small.size(), "jpg", next);
        shown.Swap(next);
    } // the large picture goes here
    const long replaced = ResidentKiB();
    std::printf("10000x10000 JPEG (%zu bytes): resident %ld MiB before, %ld MiB loaded, %ld MiB after replacing it; "
                "peak %ld MiB\n",
                large.size(), before / 1024, loaded / 1024, replaced / 1024, PeakKiB() / 1024);
    return 0;
}
