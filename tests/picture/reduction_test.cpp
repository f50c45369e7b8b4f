// PNG and BMP files loaded with a fit hint are reduced by averaging blocks
// as they are decoded. What matters is what the fitter makes of it: the
// reduced picture, fitted, against the full-size one fitted the same way;
// and a reduced BMP is exactly the block average of the full one.
#include "picture/fit.h"
#include "picture/load.h"
#include "picture_test_util.h"

#include <gtest/gtest.h>

#include <cmath>

namespace mirel {
namespace {

using namespace mirel::test;

// Per channel, over the pixels of two bitmaps of one size.
struct TError {
    double Mean = 0;
    int Max = 0;
};

TError Compare(const TBitmap& a, const TBitmap& b)
{
    TError e;
    int64_t total = 0;
    for (int32_t y = 0; y < a.Height(); ++y)
        for (int32_t x = 0; x < a.Width(); ++x)
            for (int shift = 0; shift < 32; shift += 8) {
                const int d = std::abs(int(a.Pixel(x, y) >> shift & 0xFF) - int(b.Pixel(x, y) >> shift & 0xFF));
                total += d;
                e.Max = std::max(e.Max, d);
            }
    e.Mean = double(total) / (double(a.Width()) * a.Height() * 4);
    return e;
}

class PicturePngReduction : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        Dir = new TScratch;
        // Hard-edged shapes, a one-pixel line and alpha from 0 to opaque
        // across, with a transparent hole whose stored colour (magenta) shows
        // nowhere and must not bleed into its neighbours; a multiple of the
        // reductions across and down.
        ASSERT_TRUE(Shell("convert -size 300x200 gradient:orange-navy -fill lime -draw 'rectangle 40,30 97,71' "
                          "-fill white -draw 'circle 200,120 230,150' -fill black -draw 'line 0,199 299,0' '" +
                          *Dir / "sharp.png" + "'"));
        ASSERT_TRUE(Shell("convert '" + *Dir / "sharp.png" + "' -fill magenta -draw 'rectangle 150,61 221,110' "
                          "-alpha set -channel A -fx '(i>=150 && i<=221 && j>=61 && j<=110) ? 0 : i/w' +channel '" +
                          *Dir / "sharp-alpha.png'"));
        // The same softened and of an odd size, so that the last blocks
        // across and down are partial.
        for (const char* name : {"sharp", "sharp-alpha"})
            ASSERT_TRUE(Shell("convert '" + *Dir / name + ".png' -resize 301x203! -channel RGBA -blur 0x6 '" +
                              *Dir / ("soft" + std::string(name + 5)) + ".png'"));
    }
    static void TearDownTestSuite() { delete Dir; }

    static TScratch* Dir;
};
TScratch* PicturePngReduction::Dir = nullptr;

// The colour type and bit depth from the IHDR chunk, and whether the file
// has a tRNS chunk: the variants must be what they claim to be.
void ExpectKind(const TBytes& png, int colourType, int depth, bool trns, const std::string& label)
{
    ASSERT_GT(png.size(), 33u) << label;
    EXPECT_EQ(png[25], colourType) << label;
    EXPECT_EQ(png[24], depth) << label;
    const std::string text(png.begin(), png.end());
    EXPECT_EQ(text.find("tRNS") != std::string::npos, trns) << label;
}

TEST_F(PicturePngReduction, ReducedThenFittedMatchesTheFullDecodeFitted)
{
    struct TVariant {
        const char* Name;
        const char* Convert;
        bool Alpha;
        int ColourType, Depth;
        bool Trns;
    };
    const TVariant variants[] = {
        {"opaque", "PNG24:", false, 2, 8, false},
        {"transparent", "PNG32:", true, 6, 8, false},
        {"palette", "PNG8:", true, 3, 8, true},
        {"grey", "-colorspace gray -type Grayscale -depth 8 PNG:", false, 0, 8, false},
        {"deep", "-depth 16 PNG64:", true, 6, 16, false},
    };
    // For each picture a hint that a quarter of it covers and one that only
    // a half does.
    struct TCase {
        const char* Picture;
        int32_t FitW, FitH, WantW, WantH;
    };
    const TCase cases[] = {
        {"sharp", 70, 45, 75, 50}, {"sharp", 140, 90, 150, 100}, {"soft", 76, 51, 76, 51}, {"soft", 77, 40, 151, 102}};
    for (const TVariant& v : variants)
        for (const char* picture : {"sharp", "soft"}) {
            const std::string path = *Dir / (std::string(v.Name) + "-" + picture + ".png");
            ASSERT_TRUE(Shell("convert '" + *Dir / picture + (v.Alpha ? "-alpha" : "") + ".png' " + v.Convert + "'" +
                              path + "'"));
            ExpectKind(ReadBytes(path), v.ColourType, v.Depth, v.Trns, path);
            TBitmap full;
            LoadPicture(path, full);
            for (const TCase& c : cases) {
                if (std::string(c.Picture) != picture)
                    continue;
                const std::string label = path + " for " + std::to_string(c.FitW) + "x" + std::to_string(c.FitH);
                TBitmap reduced;
                LoadPicture(path, reduced, {c.FitW, c.FitH});
                ASSERT_EQ(reduced.Width(), c.WantW) << label;
                ASSERT_EQ(reduced.Height(), c.WantH) << label;
                // Stretched, so that both fill the same frame whatever the
                // rounding of the reduced aspect; over a grey that
                // transparency shows against.
                TBitmap want, got;
                FitPicture(full, c.FitW, c.FitH, TFitMode::Stretch, want, 0xFF808080u);
                FitPicture(reduced, c.FitW, c.FitH, TFitMode::Stretch, got, 0xFF808080u);
                const TError e = Compare(want, got);
                // A sharp picture reduced along the fitter's own grid goes
                // through the same averages, rounded differently: a level or
                // two. A reduced picture of an odd size is a little wider
                // than its pixels (its last blocks are partial, as after a
                // JPEG's DCT scaling), so the fitted picture is stretched by
                // up to most of a reduced pixel towards the far edges, and
                // where the fitter has nothing left to do its filter does not
                // soften the box: tens of levels at the few steep edges (the
                // softened circle), about a level on average. Dividing a
                // partial block by a whole one's count costs about a hundred,
                // averaging colour unweighted by alpha tens on the sharp
                // picture.
                const bool aligned = std::string(picture) == "sharp";
                EXPECT_LE(e.Mean, aligned ? 0.5 : 1.5) << label;
                EXPECT_LE(e.Max, aligned ? 3 : 64) << label;
            }
        }
}

TEST_F(PicturePngReduction, BitmapsAreTheBlockAveragesOfTheFullDecode)
{
    // Bottom-up rows of every depth the writers use, run-length coded ones
    // and bit-field alpha, with hints that halve and quarter them.
    struct TVariant {
        const char* Name;
        const char* Convert;
    };
    const TVariant variants[] = {
        {"truecolour", "-alpha off -type truecolor BMP3:"}, {"rle8", "-alpha off -colors 200 -compress RLE BMP3:"},
        {"mono", "-alpha off -monochrome BMP3:"},           {"palette4", "-alpha off -colors 12 BMP3:"},
        {"rgb565", "-alpha off -define bmp:subtype=RGB565 BMP:"}, {"alpha", "BMP:"},
    };
    for (const TVariant& v : variants)
        for (const char* picture : {"sharp-alpha", "soft-alpha"}) {
            const std::string path = *Dir / (std::string(v.Name) + "-" + picture + ".bmp");
            ASSERT_TRUE(Shell("convert '" + *Dir / picture + ".png' " + v.Convert + "'" + path + "'"));
            TBitmap full;
            LoadPicture(path, full);
            for (const int32_t k : {2, 4}) {
                TBitmap reduced;
                LoadPicture(path, reduced, {(full.Width() + k - 1) / k, (full.Height() + k - 1) / k});
                TBitmap want;
                BlockAverage(full, k, want);
                EXPECT_EQ(Hash(reduced), Hash(want)) << path << " by " << k;
            }
        }
}

TEST_F(PicturePngReduction, HintsThatNeedNoReductionAndInterlacedPicturesDecodeAtFullSize)
{
    const std::string plain = *Dir / "plain.png", interlaced = *Dir / "interlaced.png";
    ASSERT_TRUE(Shell("convert '" + *Dir / "soft-alpha.png" + "' PNG32:'" + plain + "'"));
    ASSERT_TRUE(Shell("convert '" + plain + "' -interlace PNG PNG32:'" + interlaced + "'"));
    ASSERT_EQ(ReadBytes(interlaced)[28], 1); // Adam7
    TBitmap full;
    LoadPicture(plain, full);
    ASSERT_EQ(full.Width(), 301);
    // Just over half the picture across or down (half of 301 x 203 is 151 x
    // 102 rounded up), larger than it, or half a hint.
    for (const TLoadOptions& hint :
         {TLoadOptions{152, 10}, TLoadOptions{10, 103}, TLoadOptions{1000, 1000}, TLoadOptions{20, 0}}) {
        TBitmap same;
        LoadPicture(plain, same, hint);
        EXPECT_EQ(Hash(same), Hash(full)) << hint.FitWidth << "x" << hint.FitHeight;
    }
    TBitmap fromInterlaced;
    LoadPicture(interlaced, fromInterlaced, {20, 20});
    EXPECT_EQ(Hash(fromInterlaced), Hash(full));
}

TEST_F(PicturePngReduction, ReducingRefusesBrokenFilesAndCountsItsMemory)
{
    // Cut short in the image data: refused as when decoding at full size,
    // the picture already loaded kept.
    const TBytes png = ReadBytes(*Dir / "sharp.png");
    const TBytes cut(png.begin(), png.begin() + std::ptrdiff_t(png.size() * 2 / 3));
    TBitmap kept(3, 3, 0xFF123456u);
    for (const TLoadOptions& hint : {TLoadOptions{}, TLoadOptions{40, 30}}) {
        try {
            DecodePicture(cut.data(), cut.size(), "cut.png", kept, hint);
            ADD_FAILURE() << "a cut PNG was decoded for " << hint.FitWidth;
        } catch (const TDecodeError& e) {
            EXPECT_EQ(std::string(e.what()).rfind("cut.png: broken PNG: ", 0), 0u) << e.what();
        }
        EXPECT_EQ(kept.Width(), 3);
    }

    // A wide picture, its budget enough for libpng's two rows of up to 8
    // bytes a pixel and zlib's window (320 KB), not for the row of pixels
    // and the reduced row of sums that reducing takes besides (510 KB).
    const std::string wide = *Dir / "wide.png";
    ASSERT_TRUE(Shell("convert -size 16000x4 gradient:red-blue PNG24:'" + wide + "'"));
    TBitmap picture;
    TLoadOptions tight;
    tight.MemoryBudget = 400 << 10;
    ASSERT_NO_THROW(LoadPicture(wide, picture, tight));
    EXPECT_EQ(picture.Width(), 16000);
    tight.FitWidth = 4000;
    tight.FitHeight = 1;
    try {
        LoadPicture(wide, picture, tight);
        ADD_FAILURE() << "reduced over the budget";
    } catch (const TDecodeError& e) {
        EXPECT_NE(std::string(e.what()).find("decoding would take 1 MB of memory besides the picture"),
                  std::string::npos)
            << e.what();
    }
    EXPECT_EQ(picture.Width(), 16000);
    TLoadOptions roomy = tight;
    roomy.MemoryBudget = 1 << 20;
    ASSERT_NO_THROW(LoadPicture(wide, picture, roomy));
    EXPECT_EQ(picture.Width(), 4000);
    EXPECT_EQ(picture.Height(), 1);
}

} // namespace
} // namespace mirel
