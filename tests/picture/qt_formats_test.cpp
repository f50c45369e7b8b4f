// The loader with Qt's image plugins behind it, as the widget, the show and
// mirel-render use it: every format by its content whatever the file's name,
// against imagemagick's reading of the same file, and the loader's limits
// held for Qt's formats too.
#include "picture/load.h"
#include "picture/qt/qt_formats.h"
#include "picture_test_util.h"
#include "test_jpegs.h"

#include <gtest/gtest.h>

namespace mirel {
namespace {

using namespace mirel::test;

class QtPictureFormats : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        UseQtPictureFormats();
        Dir = new TScratch;
        // Sharp edges and flat areas, at 8 bits a channel, so that lossless
        // formats compare exactly.
        ASSERT_TRUE(Shell("convert -size 37x23 gradient:red-blue -fill lime -draw 'rectangle 5,3 12,9' -depth 8 '" +
                          *Dir / "src.png" + "'"));
    }
    static void TearDownTestSuite() { delete Dir; }

    static std::string Make(const std::string& name, const std::string& options)
    {
        const std::string path = *Dir / name;
        EXPECT_TRUE(Shell("convert '" + *Dir / "src.png" + "' " + options + "'" + path + "'")) << name;
        return path;
    }

    static TScratch* Dir;
};
TScratch* QtPictureFormats::Dir = nullptr;

TEST_F(QtPictureFormats, EveryFormatIsReadByItsContentWhateverTheName)
{
    struct TCase {
        const char* Name;
        const char* Convert; // imagemagick options and output prefix
        int Tolerance;       // per channel: JPEG is lossy, and decoders differ in rounding
    };
    const TCase cases[] = {
        {"a.jpg", "JPEG:", 3},
        {"a.png", "PNG:", 0},
        {"a.webp", "-define webp:lossless=true WEBP:", 0},
        {"a.bmp", "BMP3:", 0},
        {"a.ico", "ICO:", 0},
        {"a.gif", "GIF:", 0},
        {"a.tiff", "TIFF:", 0},
        {"a.tif", "-compress lzw TIFF:", 0},
        {"a.ppm", "PPM:", 0},
        {"a.xpm", "XPM:", 0},
        {"jpeg-named.png", "JPEG:", 3},
        {"png-named.jpg", "PNG:", 0},
        {"tiff-named.gif", "TIFF:", 0},
        {"no-extension", "JPEG:", 3},
        {"a.jpe", "JPEG:", 3},
        {"a.jfif", "JPEG:", 3},
    };
    for (const TCase& c : cases) {
        const std::string path = Make(c.Name, c.Convert);
        ExpectLoadedAsMagick(path, c.Tolerance, c.Name);
        EXPECT_TRUE(IsPictureInFolder(path)) << c.Name;
    }
}

TEST_F(QtPictureFormats, AGifGivesItsFirstFrame)
{
    const std::string path = *Dir / "two-frames.gif";
    ASSERT_TRUE(Shell("convert -delay 10 -size 20x10 xc:red xc:blue '" + path + "'"));
    TBitmap picture;
    LoadPicture(path, picture);
    ASSERT_EQ(picture.Width(), 20);
    ASSERT_EQ(picture.Height(), 10);
    EXPECT_EQ(picture.Pixel(0, 0), 0xFFFF0000u);
    EXPECT_EQ(picture.Pixel(19, 9), 0xFFFF0000u);
}

TEST_F(QtPictureFormats, ATurnedTiffComesUpright)
{
    // Orientation 6: stored turned a quarter anticlockwise.
    const std::string path = Make("turned.tif", "-orient RightTop TIFF:");
    TBitmap picture;
    LoadPicture(path, picture);
    EXPECT_EQ(picture.Width(), 23);
    EXPECT_EQ(picture.Height(), 37);
    ExpectLoadedAsMagick(path, 0, "turned.tif", true);
}

// A little-endian TIFF's header for width x height pixels of samples
// channels (3: RGB, 4: RGBA) of bits each, whose pixels are missing: enough
// for a reader to tell the picture's size and depth.
TBytes TiffHeaderOnly(uint32_t width, uint32_t height, uint16_t bits, uint16_t samples)
{
    TBytes t = {'I', 'I', 42, 0, 8, 0, 0, 0};
    const auto u16 = [&t](uint32_t v) {
        t.push_back(uint8_t(v));
        t.push_back(uint8_t(v >> 8));
    };
    const auto u32 = [&u16](uint32_t v) {
        u16(v & 0xFFFF);
        u16(v >> 16);
    };
    struct TEntry {
        uint16_t Tag, Type; // 3 SHORT, 4 LONG
        uint32_t Count, Value;
    };
    const uint16_t entries = samples == 4 ? 11 : 10;
    const uint32_t bitsAt = 8 + 2 + entries * 12 + 4, pixelsAt = bitsAt + 2 * samples;
    const TEntry all[] = {
        {256, 4, 1, width},         {257, 4, 1, height},   {258, 3, samples, bitsAt}, {259, 3, 1, 1},
        {262, 3, 1, 2},             {273, 4, 1, pixelsAt}, {277, 3, 1, samples},      {278, 4, 1, height},
        {279, 4, 1, width * height * samples * (bits / 8)}, {284, 3, 1, 1}, {338, 3, 1, 2},
    };
    u16(entries);
    for (int i = 0; i < entries; ++i) {
        u16(all[i].Tag);
        u16(all[i].Type);
        u32(all[i].Count);
        u32(all[i].Value);
    }
    u32(0); // no next directory
    for (int i = 0; i < samples; ++i)
        u16(bits);
    t.resize(t.size() + 16, 0);
    return t;
}

TEST_F(QtPictureFormats, HugeTiffsAreRefusedFromTheirHeader)
{
    TBitmap kept(3, 2);
    const auto refusal = [&kept](const TBytes& tiff, const TLoadOptions& options) {
        try {
            DecodePicture(tiff.data(), tiff.size(), "huge.tiff", kept, options);
            return std::string("decoded");
        } catch (const TDecodeError& e) {
            return std::string(e.what());
        }
    };
    // Over the pixel limit.
    EXPECT_EQ(refusal(TiffHeaderOnly(20000, 20000, 8, 3), {}),
              "huge.tiff: picture of 20000x20000 pixels is over the limit");
    // Within it, but at 16 bits a channel Qt reads it into 8 bytes a pixel
    // before it becomes the picture: 763 MB besides it, over the budget.
    EXPECT_EQ(refusal(TiffHeaderOnly(10000, 10000, 16, 4), {}),
              "huge.tiff: decoding would take 763 MB of memory besides the picture, over the 384 MB allowed a picture "
              "(MIREL_PICTURE_MEMORY_MB)");
    EXPECT_EQ(kept.Width(), 3);

    // A real one of 16 bits a channel, 2 MB read, within a budget or not.
    const std::string path = *Dir / "deep.tif";
    ASSERT_TRUE(Shell("convert -size 512x512 gradient:white-black -depth 16 -type TrueColorAlpha '" + path + "'"));
    TLoadOptions tight;
    tight.MemoryBudget = 1 << 20;
    EXPECT_NE(refusal(ReadBytes(path), tight).find("decoding would take 2 MB of memory besides the picture, over "
                                                   "the 1 MB"),
              std::string::npos);
    tight.MemoryBudget = 3 << 20;
    EXPECT_EQ(refusal(ReadBytes(path), tight), "decoded");
    EXPECT_EQ(kept.Width(), 512);
}

TEST_F(QtPictureFormats, WhatIsNoPictureOrABrokenOneSaysSo)
{
    const auto refusal = [](const TBytes& bytes) {
        TBitmap picture;
        try {
            DecodePicture(bytes.data(), bytes.size(), "x.gif", picture);
            return std::string("decoded");
        } catch (const TDecodeError& e) {
            return std::string(e.what());
        }
    };
    EXPECT_EQ(refusal({'#', '!', '/', 'b', 'i', 'n'}), "x.gif: not a picture file (starts with 0x23 0x21 0x2F 0x62)");
    const TBytes gif = ReadBytes(Make("whole.gif", "GIF:"));
    const std::string cut = refusal(TBytes(gif.begin(), gif.begin() + 20));
    EXPECT_EQ(cut.rfind("x.gif: broken GIF picture: ", 0), 0u) << cut;
    EXPECT_EQ(cut.find('\n'), std::string::npos) << cut;
}

TEST_F(QtPictureFormats, AListingTakesTheirNamesAndPicturesWithoutOne)
{
    for (const char* name : {"a.GIF", "b.tif", "c.TIFF", "d.tga", "e.ppm", "f.jpe", "g.jfif", "h.jpg"})
        EXPECT_TRUE(IsPictureFile(name)) << name;
    for (const char* name : {"a.txt", "b.mp4", "gif", "c.gif.part"})
        EXPECT_FALSE(IsPictureFile(name)) << name;

    // Without an extension the content tells; with an unknown one the file
    // is not even opened.
    const TBytes jpeg = Quadrants(8, 8);
    WriteBytes(*Dir / "IMG_0001", jpeg);
    WriteBytes(*Dir / "photo.part", jpeg);
    WriteBytes(*Dir / "README", TBytes{'h', 'i', '\n'});
    Make("animation", "GIF:");
    EXPECT_TRUE(IsPictureInFolder(*Dir / "IMG_0001"));
    EXPECT_TRUE(IsPictureInFolder(*Dir / "animation"));
    EXPECT_FALSE(IsPictureInFolder(*Dir / "photo.part"));
    EXPECT_FALSE(IsPictureInFolder(*Dir / "README"));
    EXPECT_FALSE(IsPictureInFolder(*Dir / "missing"));
}

} // namespace
} // namespace mirel
