// Helpers of the picture tests: a scratch folder, imagemagick, files.
#pragma once

#include "picture/load.h"
#include "surface/bitmap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace mirel::test {

using TBytes = std::vector<uint8_t>;

class TScratch {
public:
    TScratch()
    {
        char pattern[] = "/tmp/mirel-picture-XXXXXX";
        const char* made = ::mkdtemp(pattern);
        Path = made != nullptr ? made : "";
    }
    ~TScratch() { std::system(("rm -rf '" + Path + "'").c_str()); }
    std::string operator/(const std::string& name) const { return Path + "/" + name; }
    std::string Path;
};

inline bool Shell(const std::string& command)
{
    const int status = std::system((command + " 2>/dev/null").c_str());
    return status == 0;
}

inline TBytes ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return TBytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::string& path, const TBytes& bytes)
{
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// imagemagick's reading of a picture as 0xAARRGGBB pixels, row by row.
inline std::vector<uint32_t> MagickPixels(const std::string& path, int32_t& width, int32_t& height)
{
    const std::string raw = path + ".rgba";
    FILE* size = ::popen(("identify -format '%w %h' '" + path + "[0]' 2>/dev/null").c_str(), "r");
    width = height = 0;
    if (size == nullptr || std::fscanf(size, "%d %d", &width, &height) != 2)
        width = height = 0;
    if (size != nullptr)
        ::pclose(size);
    if (!Shell("convert '" + path + "[0]' -depth 8 'rgba:" + raw + "'"))
        return {};
    const TBytes bytes = ReadBytes(raw);
    std::vector<uint32_t> pixels(bytes.size() / 4);
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = uint32_t(bytes[i * 4 + 3]) << 24 | uint32_t(bytes[i * 4]) << 16 | uint32_t(bytes[i * 4 + 1]) << 8 |
                    bytes[i * 4 + 2];
    return pixels;
}

// The largest difference of any channel between two pixels; colour does not
// count where both are fully transparent.
inline int PixelDistance(uint32_t a, uint32_t b)
{
    if ((a >> 24) == 0 && (b >> 24) == 0)
        return 0;
    int most = 0;
    for (int shift = 0; shift < 32; shift += 8)
        most = std::max(most, std::abs(int(a >> shift & 0xFF) - int(b >> shift & 0xFF)));
    return most;
}

// Loads path and compares it with imagemagick's reading of the same file
// (its first picture, upright as imagemagick's -auto-orient turns it when
// upright is set).
inline void ExpectLoadedAsMagick(const std::string& path, int tolerance, const std::string& label,
                                 bool upright = false)
{
    int32_t w = 0, h = 0;
    std::string read = path;
    if (upright) {
        read = path + ".upright.png";
        ASSERT_TRUE(Shell("convert '" + path + "[0]' -auto-orient '" + read + "'")) << label;
    }
    const std::vector<uint32_t> want = MagickPixels(read, w, h);
    ASSERT_FALSE(want.empty()) << label;
    TBitmap got;
    ASSERT_NO_THROW(LoadPicture(path, got)) << label;
    ASSERT_EQ(got.Width(), w) << label;
    ASSERT_EQ(got.Height(), h) << label;
    int worst = 0, wx = 0, wy = 0;
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            const int d = PixelDistance(got.Pixel(x, y), want[size_t(y) * size_t(w) + size_t(x)]);
            if (d > worst) {
                worst = d;
                wx = x;
                wy = y;
            }
        }
    EXPECT_LE(worst, tolerance) << label << " at " << wx << "," << wy << std::hex << ": 0x" << got.Pixel(wx, wy)
                                << " against 0x" << want[size_t(wy) * size_t(w) + size_t(wx)];
}

// FNV-1a over the size and pixels.
inline uint64_t Hash(const TBitmap& b)
{
    uint64_t h = 1469598103934665603ull;
    const auto mix = [&h](uint64_t v) {
        h ^= v;
        h *= 1099511628211ull;
    };
    mix(uint64_t(b.Width()));
    mix(uint64_t(b.Height()));
    for (int32_t y = 0; y < b.Height(); ++y)
        for (int32_t x = 0; x < b.Width(); ++x)
            mix(b.Pixel(x, y));
    return h;
}

// The picture averaged over blocks of k x k pixels, partial at the right and
// bottom edges, colours weighted by alpha and each channel rounded to the
// nearest: what a loader that reduces while decoding must give.
inline void BlockAverage(const TBitmap& full, int32_t k, TBitmap& out)
{
    out.SetSize((full.Width() + k - 1) / k, (full.Height() + k - 1) / k, 0);
    for (int32_t by = 0; by < out.Height(); ++by)
        for (int32_t bx = 0; bx < out.Width(); ++bx) {
            uint64_t n = 0, a = 0, c[3] = {0, 0, 0};
            for (int32_t y = by * k; y < std::min(full.Height(), by * k + k); ++y)
                for (int32_t x = bx * k; x < std::min(full.Width(), bx * k + k); ++x) {
                    const uint32_t p = full.Pixel(x, y), pa = p >> 24;
                    ++n;
                    a += pa;
                    for (int i = 0; i < 3; ++i)
                        c[i] += (p >> (16 - 8 * i) & 0xFF) * pa;
                }
            uint32_t pixel = uint32_t((a + n / 2) / n) << 24;
            for (int i = 0; i < 3; ++i)
                pixel |= (a == 0 ? 0u : uint32_t((c[i] + a / 2) / a)) << (16 - 8 * i);
            out.PixelRow(by)[bx] = pixel;
        }
}

} // namespace mirel::test
