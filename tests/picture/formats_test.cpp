// Every format and variant the loader reads, against imagemagick's reading
// of the same file, and hand-made files for what imagemagick cannot write
// (RLE moves and skips, RLE4, icon AND masks, top-down rows).
#include "picture/load.h"
#include "picture_test_util.h"

#include <gtest/gtest.h>

namespace mirel {
namespace {

using namespace mirel::test;

struct TVariant {
    const char* Name;       // file name, whose extension picks the decoder
    const char* Convert;    // imagemagick options and output prefix
    bool Alpha;             // made from the source with a transparency ramp
    int Tolerance;          // per channel, against imagemagick's reading
};

class PictureFormats : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        Dir = new TScratch;
        ASSERT_TRUE(Shell("convert -size 37x23 gradient:red-blue -fill lime -draw 'rectangle 5,3 12,9' '" + *Dir / "src.png" + "'"));
        ASSERT_TRUE(Shell("convert '" + *Dir / "src.png" + "' -alpha set -channel A -fx 'i/w' +channel '" +
                        *Dir / "alpha.png" + "'"));
    }
    static void TearDownTestSuite() { delete Dir; }

    static void ExpectAsMagick(const std::string& path, int tolerance, const std::string& label)
    {
        ExpectLoadedAsMagick(path, tolerance, label);
    }

    static TScratch* Dir;
};
TScratch* PictureFormats::Dir = nullptr;

TEST_F(PictureFormats, DecodeAsImagemagickReadsThem)
{
    const TVariant variants[] = {
        {"truecolour.bmp", "-type truecolor BMP3:", false, 0},
        {"os2.bmp", "BMP2:", false, 0},
        {"palette8.bmp", "-colors 200 BMP3:", false, 0},
        {"palette4.bmp", "-colors 12 BMP3:", false, 0},
        {"mono.bmp", "-monochrome BMP3:", false, 0},
        {"rle8.bmp", "-colors 200 -compress RLE BMP3:", false, 0},
        {"rgb565.bmp", "-define bmp:subtype=RGB565 BMP:", false, 1},
        {"rgb555.bmp", "-define bmp:subtype=RGB555 BMP:", false, 1},
        {"alpha.bmp", "BMP:", true, 0},
        {"sizes.ico", "-define icon:auto-resize=48,16,32 ICO:", true, 0},
        {"png-inside.ico", "-define icon:auto-resize=256,16 ICO:", true, 1}, // 16-bit, scaled
        {"rgba.PNG", "PNG32:", true, 0},
        {"palette.png", "PNG8:", false, 0},
        {"grey16.png", "-colorspace gray -depth 16 PNG:", false, 1},
        {"interlaced.png", "-interlace PNG PNG24:", false, 0},
        {"lossless.webp", "-define webp:lossless=true WEBP:", true, 0},
        {"lossy.webp", "-quality 80 WEBP:", false, 2},
        {"baseline.jpg", "-quality 90 JPEG:", false, 2},
        {"progressive.jpeg", "-quality 90 -interlace JPEG JPEG:", false, 2},
        {"grey.jpg", "-colorspace gray JPEG:", false, 2},
    };
    for (const TVariant& v : variants) {
        const std::string path = *Dir / v.Name;
        ASSERT_TRUE(Shell("convert '" + *Dir / (v.Alpha ? "alpha.png" : "src.png") + "' " + v.Convert + "'" + path + "'"))
            << v.Name;
        ExpectAsMagick(path, v.Tolerance, v.Name);
    }
    // The largest icon image is the one shown.
    TBitmap icon;
    LoadPicture(*Dir / "png-inside.ico", icon);
    EXPECT_EQ(icon.Width(), 256);
}

TEST_F(PictureFormats, TopDownRowsReadLikeBottomUpOnes)
{
    const std::string bottomUp = *Dir / "bottom-up.bmp", topDown = *Dir / "top-down.bmp";
    ASSERT_TRUE(Shell("convert '" + *Dir / "src.png" + "' -type truecolor BMP3:'" + bottomUp + "'"));
    TBytes bytes = ReadBytes(bottomUp);
    const size_t offset = bytes[10] | size_t(bytes[11]) << 8, stride = (37 * 3 + 3) / 4 * 4;
    ASSERT_EQ(bytes.size(), offset + stride * 23);
    TBytes flipped(bytes.begin(), bytes.begin() + long(offset));
    for (int y = 22; y >= 0; --y)
        flipped.insert(flipped.end(), bytes.begin() + long(offset + size_t(y) * stride),
                       bytes.begin() + long(offset + size_t(y + 1) * stride));
    const uint32_t negative = uint32_t(-23);
    for (int i = 0; i < 4; ++i)
        flipped[22 + size_t(i)] = uint8_t(negative >> (8 * i));
    WriteBytes(topDown, flipped);
    TBitmap a, b;
    LoadPicture(bottomUp, a);
    LoadPicture(topDown, b);
    EXPECT_EQ(Hash(a), Hash(b));
    EXPECT_EQ(a.Pixel(8, 5), 0xFF00FF00u); // inside the green rectangle, counted from the top
}

// A BMP with a 40-byte header and a three-colour palette (black, red, blue)
// around the pixel data given.
TBytes SmallBmp(int32_t width, int32_t height, uint16_t bpp, uint32_t compression, const TBytes& pixels)
{
    TBytes b = {'B', 'M'};
    const auto u32 = [&b](uint32_t v) {
        for (int i = 0; i < 4; ++i)
            b.push_back(uint8_t(v >> (8 * i)));
    };
    const auto u16 = [&b](uint16_t v) {
        b.push_back(uint8_t(v));
        b.push_back(uint8_t(v >> 8));
    };
    u32(uint32_t(14 + 40 + 12 + pixels.size()));
    u32(0);
    u32(14 + 40 + 12);
    u32(40);
    u32(uint32_t(width));
    u32(uint32_t(height));
    u16(1);
    u16(bpp);
    u32(compression);
    u32(uint32_t(pixels.size()));
    u32(2835);
    u32(2835);
    u32(3);
    u32(0);
    const TBytes palette = {0, 0, 0, 0, 0, 0, 255, 0, 255, 0, 0, 0};
    b.insert(b.end(), palette.begin(), palette.end());
    b.insert(b.end(), pixels.begin(), pixels.end());
    return b;
}

constexpr uint32_t K = 0xFF000000u, R = 0xFFFF0000u, B = 0xFF0000FFu, T = 0; // T: skipped, transparent

TEST_F(PictureFormats, RunLengthCodingWithMovesAndSkips)
{
    struct TCase {
        const char* Name;
        uint16_t Bpp;
        uint32_t Compression;
        TBytes Stream;
        std::vector<uint32_t> Want; // top row first, 6 x 3
    };
    const TCase cases[] = {
        {"rle4.bmp", 4, 2,
         {4, 0x12, 0, 0,               // bottom row: 1 2 1 2, end of line
          0, 3, 0x21, 0x20,            // 3 stored pixels: 2 1 2
          0, 2, 1, 1,                  // move right 1, up 1: to (4, 2)
          2, 0x11, 0, 1},              // 1 1, end of bitmap
         {T, T, T, T, R, R, B, R, B, T, T, T, R, B, R, B, T, T}},
        {"rle8.bmp", 8, 1,
         {2, 1, 2, 2, 1, 0, 0, 0,      // bottom row: 1 1 2 2 0 (a run of 1), end of line
          0, 3, 2, 0, 1, 0,            // 3 stored pixels, padded to even: 2 0 1
          0, 2, 0, 1,                  // move up 1: to (3, 2)
          3, 1},                       // 1 1 1; the stream ends without an end of bitmap
         {T, T, T, R, R, R, B, K, R, T, T, T, R, R, B, B, K, T}},
    };
    for (const TCase& c : cases) {
        const std::string path = *Dir / c.Name;
        WriteBytes(path, SmallBmp(6, 3, c.Bpp, c.Compression, c.Stream));
        TBitmap got;
        ASSERT_NO_THROW(LoadPicture(path, got)) << c.Name;
        ASSERT_EQ(got.Width(), 6);
        ASSERT_EQ(got.Height(), 3);
        for (int32_t i = 0; i < 18; ++i)
            EXPECT_EQ(got.Pixel(i % 6, i / 6), c.Want[size_t(i)]) << c.Name << " pixel " << i % 6 << "," << i / 6;
        // To be shown at half the size, the stream is reduced as it is
        // decoded, its skipped lines and pixels as transparent as above.
        TBitmap half;
        ASSERT_NO_THROW(LoadPicture(path, half, {3, 2})) << c.Name;
        TBitmap want;
        BlockAverage(got, 2, want);
        EXPECT_EQ(Hash(half), Hash(want)) << c.Name;
    }
}

// A 2 x 2 4-bit icon image (the header counts the AND mask in its height),
// pixels 1 2 / 2 1 of a palette of black, blue and red; rows, bottom-up, are
// the colour rows and then the mask rows, four bytes each.
TBytes TwoByTwoIconImage(const TBytes& rows)
{
    TBytes dib = {40, 0, 0, 0, 2, 0, 0, 0, 4, 0, 0, 0, 1, 0, 4, 0};
    dib.resize(40, 0);
    const TBytes palette = {0, 0, 0, 0, 0, 0, 255, 0, 255, 0, 0, 0};
    dib.insert(dib.end(), palette.begin(), palette.end());
    dib.resize(40 + 16 * 4, 0);
    dib.insert(dib.end(), rows.begin(), rows.end());
    return dib;
}

TEST_F(PictureFormats, IconMaskMakesTransparency)
{
    // The AND mask sets the bottom-left pixel transparent.
    const TBytes dib = TwoByTwoIconImage({0x12, 0, 0, 0, 0x21, 0, 0, 0, 0x80, 0, 0, 0, 0x00, 0, 0, 0});
    TBytes ico = {0, 0, 1, 0, 1, 0, 2, 2, 16, 0, 1, 0, 4, 0};
    for (uint32_t v : {uint32_t(dib.size()), 22u})
        for (int i = 0; i < 4; ++i)
            ico.push_back(uint8_t(v >> (8 * i)));
    ico.insert(ico.end(), dib.begin(), dib.end());
    const std::string path = *Dir / "mask.ico";
    WriteBytes(path, ico);
    TBitmap got;
    ASSERT_NO_THROW(LoadPicture(path, got));
    ASSERT_EQ(got.Width(), 2);
    ASSERT_EQ(got.Height(), 2);
    EXPECT_EQ(got.Pixel(0, 0), B);
    EXPECT_EQ(got.Pixel(1, 0), R);
    EXPECT_EQ(got.Pixel(0, 1) >> 24, 0u);
    EXPECT_EQ(got.Pixel(1, 1), B);
    ExpectAsMagick(path, 0, "mask.ico");
}

// An icon holds one picture at several sizes: a broken best image gives way
// to the next good one; only when none decodes is the icon refused, for the
// best one's reason.
TEST_F(PictureFormats, IconFallsBackFromABrokenBestImage)
{
    const TBytes dib = TwoByTwoIconImage({0x12, 0, 0, 0, 0x21, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    // A PNG that breaks off after its signature, ranked first (48 x 48, 32 bits).
    const TBytes broken = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
    const auto icon = [&](bool goodSecond) {
        TBytes ico = {0, 0, 1, 0, 2, 0};
        const auto entry = [&](uint8_t side, uint8_t bpp, uint32_t bytes, uint32_t at) {
            const TBytes head = {side, side, 0, 0, 1, 0, bpp, 0};
            ico.insert(ico.end(), head.begin(), head.end());
            for (uint32_t v : {bytes, at})
                for (int i = 0; i < 4; ++i)
                    ico.push_back(uint8_t(v >> (8 * i)));
        };
        const uint32_t first = 6 + 2 * 16;
        entry(48, 32, uint32_t(broken.size()), first);
        const TBytes& second = goodSecond ? dib : broken;
        entry(2, 4, uint32_t(second.size()), first + uint32_t(broken.size()));
        ico.insert(ico.end(), broken.begin(), broken.end());
        ico.insert(ico.end(), second.begin(), second.end());
        return ico;
    };
    const std::string path = *Dir / "fallback.ico";
    WriteBytes(path, icon(true));
    TBitmap got;
    ASSERT_NO_THROW(LoadPicture(path, got));
    ASSERT_EQ(got.Width(), 2);
    ASSERT_EQ(got.Height(), 2);
    EXPECT_EQ(got.Pixel(0, 0), B);
    EXPECT_EQ(got.Pixel(1, 0), R);

    WriteBytes(path, icon(false));
    try {
        LoadPicture(path, got);
        ADD_FAILURE() << "an icon of broken images was loaded";
    } catch (const TDecodeError& e) {
        EXPECT_EQ(std::string(e.what()).rfind(path + ": broken PNG", 0), 0u) << e.what();
    }
    EXPECT_EQ(got.Width(), 2);
}

} // namespace
} // namespace mirel
