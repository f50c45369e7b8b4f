#include "surface/jpeg.h"

#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace mirel {
namespace {

using TBytes = std::vector<uint8_t>;

// Compresses pixels (in format) with the settings given; 8x8-aligned solid
// blocks survive the lossy round trip within a few levels.
TBytes Compress(const std::vector<uint8_t>& pixels, int w, int h, int format, int subsamp, int flags = 0)
{
    tjhandle tj = tjInitCompress();
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    const int rc = tjCompress2(tj, pixels.data(), w, 0, h, format, &jpeg, &size, subsamp, 95, flags);
    EXPECT_EQ(rc, 0) << tjGetErrorStr2(tj);
    TBytes out(jpeg, jpeg + size);
    tjFree(jpeg);
    tjDestroy(tj);
    return out;
}

// A 32 x 16 picture of eight 8 x 8 blocks, each its own colour.
constexpr int BlocksW = 4, BlocksH = 2;
uint32_t BlockColour(int bx, int by) { return 0xFF000000u | uint32_t(bx * 60) << 16 | uint32_t(by * 200) << 8 | 90; }

TBytes BlockPicture(int flags = 0)
{
    std::vector<uint8_t> bgra(32 * 16 * 4);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 32; ++x) {
            const uint32_t c = BlockColour(x / 8, y / 8);
            for (int k = 0; k < 4; ++k)
                bgra[size_t(y * 32 + x) * 4 + k] = uint8_t(c >> (8 * k));
        }
    return Compress(bgra, 32, 16, TJPF_BGRA, TJSAMP_444, flags);
}

// Puts an Exif block with one orientation entry right after the start marker.
TBytes WithOrientation(const TBytes& jpeg, int orientation, bool bigEndian)
{
    const uint8_t o = uint8_t(orientation);
    const TBytes tiff = bigEndian ? TBytes{'M', 'M', 0, 42, 0, 0, 0, 8, 0, 1, 0x01, 0x12, 0, 3, 0, 0, 0, 1, 0, o, 0, 0, 0, 0, 0, 0}
                                  : TBytes{'I', 'I', 42, 0, 8, 0, 0, 0, 1, 0, 0x12, 0x01, 3, 0, 1, 0, 0, 0, o, 0, 0, 0, 0, 0, 0, 0};
    TBytes app1 = {0xFF, 0xE1, 0, 0, 'E', 'x', 'i', 'f', 0, 0};
    app1.insert(app1.end(), tiff.begin(), tiff.end());
    const size_t length = app1.size() - 2;
    app1[2] = uint8_t(length >> 8);
    app1[3] = uint8_t(length);
    TBytes out(jpeg.begin(), jpeg.begin() + 2);
    out.insert(out.end(), app1.begin(), app1.end());
    out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
    return out;
}

bool Near(uint32_t a, uint32_t b)
{
    for (int k = 0; k < 24; k += 8)
        if (std::abs(int((a >> k) & 0xFF) - int((b >> k) & 0xFF)) > 8)
            return false;
    return true;
}

TEST(Jpeg, ExifOrientationsComeOutUpright)
{
    struct TCase {
        int Orientation;
        int TopLeftX, TopLeftY, TopRightX, TopRightY; // stored blocks shown at the top corners
    };
    const int L = 0, R = BlocksW - 1, T = 0, B = BlocksH - 1;
    const TCase cases[] = {{1, L, T, R, T}, {2, R, T, L, T}, {3, R, B, L, B}, {4, L, B, R, B},
                           {5, L, T, L, B}, {6, L, B, L, T}, {7, R, B, R, T}, {8, R, T, R, B}};
    const TBytes plain = BlockPicture();
    for (const bool bigEndian : {false, true})
        for (const TCase& c : cases) {
            const TBytes jpeg = WithOrientation(plain, c.Orientation, bigEndian);
            EXPECT_EQ(JpegOrientation(jpeg.data(), jpeg.size()), c.Orientation);
            TBitmap bmp;
            DecodeJpeg(jpeg.data(), jpeg.size(), bmp);
            const bool turned = c.Orientation >= 5;
            ASSERT_EQ(bmp.Width(), turned ? 16 : 32) << c.Orientation;
            EXPECT_TRUE(Near(bmp.Pixel(2, 2), BlockColour(c.TopLeftX, c.TopLeftY))) << c.Orientation;
            EXPECT_TRUE(Near(bmp.Pixel(bmp.Width() - 3, 2), BlockColour(c.TopRightX, c.TopRightY))) << c.Orientation;
        }
}

TEST(Jpeg, DecodesProgressiveGreyAndCmyk)
{
    TBitmap bmp;
    const TBytes progressive = BlockPicture(TJFLAG_PROGRESSIVE);
    DecodeJpeg(progressive.data(), progressive.size(), bmp);
    EXPECT_TRUE(Near(bmp.Pixel(30, 14), BlockColour(3, 1)));
    EXPECT_EQ(bmp.Pixel(30, 14) >> 24, 0xFFu); // opaque

    const TBytes grey = Compress(std::vector<uint8_t>(16 * 16, 77), 16, 16, TJPF_GRAY, TJSAMP_GRAY);
    DecodeJpeg(grey.data(), grey.size(), bmp);
    EXPECT_TRUE(Near(bmp.Pixel(5, 5), 0xFF4D4D4D));

    // Adobe's inverted CMYK: full channels mean no ink, so this is red.
    std::vector<uint8_t> cmyk(16 * 16 * 4);
    for (size_t i = 0; i < cmyk.size(); i += 4) {
        cmyk[i] = 255;
        cmyk[i + 1] = 0;
        cmyk[i + 2] = 0;
        cmyk[i + 3] = 255;
    }
    const TBytes red = Compress(cmyk, 16, 16, TJPF_CMYK, TJSAMP_444);
    DecodeJpeg(red.data(), red.size(), bmp);
    EXPECT_TRUE(Near(bmp.Pixel(8, 8), 0xFFFF0000)) << std::hex << bmp.Pixel(8, 8);
}

TEST(Jpeg, RefusesBrokenInputAndKeepsThePicture)
{
    const TBytes good = BlockPicture();
    TBitmap bmp(3, 3);
    const auto refuses = [&](const TBytes& bytes) {
        EXPECT_THROW(DecodeJpeg(bytes.data(), bytes.size(), bmp), TDecodeError);
        EXPECT_EQ(bmp.Width(), 3);
    };
    refuses({});
    refuses({'h', 'e', 'l', 'l', 'o'});
    refuses(TBytes(good.begin(), good.begin() + TBytes::difference_type(good.size() / 2)));

    // A header claiming 30000 x 30000 is refused before any pixel is taken.
    TBytes huge = good;
    for (size_t i = 2; i + 9 < huge.size(); ++i)
        if (huge[i] == 0xFF && huge[i + 1] == 0xC0) { // start of frame: height and width follow the precision
            huge[i + 5] = huge[i + 7] = 0x75; // 0x7530 = 30000
            huge[i + 6] = huge[i + 8] = 0x30;
            break;
        }
    try {
        DecodeJpeg(huge.data(), huge.size(), bmp);
        ADD_FAILURE() << "a 30000 x 30000 picture was accepted";
    } catch (const TDecodeError& e) {
        EXPECT_NE(std::string(e.what()).find("over the limit"), std::string::npos) << e.what();
    }

    try {
        LoadJpegFile("/nonexistent/picture.jpg", bmp);
        ADD_FAILURE();
    } catch (const TDecodeError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("/nonexistent/picture.jpg: ", 0), 0u) << e.what();
    }
}

} // namespace
} // namespace mirel
