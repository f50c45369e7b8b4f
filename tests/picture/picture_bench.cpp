// Time and memory of loading and fitting large pictures; not a test.
//   mirel_bench_picture [FOLDER]   (a scratch folder by default)
// Prints one line per measurement: decode times of a 24-megapixel photo at
// full size and for a 1920x1080 screen, its Exif-turned twin, a scan bomb,
// fitting, and the resident memory while a 10000x10000 JPEG is loaded and
// after it is replaced by a small picture.
#include "picture/fit.h"
#include "picture/load.h"
#include "test_jpegs.h"


#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <sys/resource.h>

namespace {

using namespace mirel;
using namespace mirel::test;

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

// The grey 8000x8000 scan bomb: one DC scan, then AC scans of single
// coefficients, far more than the limit allows.
TBytes ScanBomb() { return mirel::test::ProgressiveGrey(8000, 8000, 127, false); }

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
        Time("decode 6000x4000 orientation 6, full size", WithOrientation(photo, 6), {});
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
        // A 4K screen: the photo is decoded whole, as no DCT scale covers it.
        Time("decode 6000x4000 for 3840x2160", photo, {3840, 2160});
        DecodePicture(photo.data(), photo.size(), "jpg", picture, {3840, 2160});
        const auto start4k = std::chrono::steady_clock::now();
        FitPicture(picture, 3840, 2160, TFitMode::Aspect, fitted);
        std::printf("fit the %dx%d decode to 3840x2160 (Aspect) %8.1f ms\n", picture.Width(), picture.Height(),
                    Seconds(start4k) * 1000);
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
