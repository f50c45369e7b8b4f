// The loader from the outside: how files are opened, refused and bounded,
// and what the fit hint does to a JPEG's size.
#include "picture/load.h"
#include "picture_test_util.h"
#include "test_jpegs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <tuple>

#include <sys/stat.h>
#include <unistd.h>

namespace mirel {
namespace {

using namespace mirel::test;

TEST(PictureLoader, RefusesWhatIsNoPictureFileInOneLineKeepingThePicture)
{
    TScratch dir;
    WriteBytes(dir / "good.jpg", Quadrants(16, 16));
    ASSERT_EQ(::mkfifo((dir / "fifo.jpg").c_str(), 0600), 0);
    ASSERT_EQ(::mkdir((dir / "folder.png").c_str(), 0700), 0);
    // Far larger than any picture could be, and sparse: nothing is read.
    ASSERT_TRUE(Shell("truncate -s 3G '" + dir / "huge.jpg" + "'"));
    WriteBytes(dir / "notes.jpg", TBytes{'h', 'e', 'l', 'l', 'o', '\n'});
    WriteBytes(dir / "x", TBytes{0x7F});
    // Formats only a reader from outside the module reads: none is set here.
    ASSERT_TRUE(Shell("convert -size 4x4 xc:red '" + dir / "red.gif" + "'"));
    ASSERT_TRUE(Shell("convert -size 4x4 xc:red '" + dir / "red.tif" + "'"));
    struct TCase {
        std::string Name, Reason;
    };
    const TCase cases[] = {
        {"missing.jpg", "no such file"},
        {"fifo.jpg", "not a regular file"},
        {"folder.png", "a folder"},
        {"huge.jpg", "larger than any picture"},
        {"notes.jpg", "not a picture file (starts with 0x68 0x65 0x6C 0x6C)"},
        {"x", "not a picture file (starts with 0x7F)"},
        {"red.gif", "a GIF picture, which this program does not read"},
        {"red.tif", "a TIFF picture, which this program does not read"},
    };
    TBitmap kept;
    LoadPicture(dir / "good.jpg", kept);
    const uint64_t before = Hash(kept);
    for (const TCase& c : cases) {
        const std::string path = dir / c.Name;
        try {
            LoadPicture(path, kept);
            ADD_FAILURE() << c.Name << " was loaded";
        } catch (const TDecodeError& e) {
            const std::string message = e.what();
            EXPECT_EQ(message.rfind(path + ": ", 0), 0u) << message;
            EXPECT_NE(message.find(c.Reason), std::string::npos) << message;
            EXPECT_EQ(message.find('\n'), std::string::npos) << message;
        }
        EXPECT_EQ(Hash(kept), before) << c.Name;
    }
    // Names list the formats read, in any case; without another formats'
    // reader GIF is none of them.
    EXPECT_TRUE(IsPictureFile("a/B.JPEG"));
    EXPECT_TRUE(IsPictureFile("x.Webp"));
    EXPECT_TRUE(IsPictureFile("x.jfif"));
    EXPECT_FALSE(IsPictureFile("x.gif"));
    EXPECT_FALSE(IsPictureFile("jpg"));
    // The content picks the decoder, whatever the name says; a name with a
    // dot prefixes the reason.
    const TBytes jpeg = Quadrants(16, 16);
    TBitmap fromMemory;
    DecodePicture(jpeg.data(), jpeg.size(), "shot.png", fromMemory);
    EXPECT_EQ(Hash(fromMemory), before);
    try {
        DecodePicture(jpeg.data(), 40, "shot.png", fromMemory);
        ADD_FAILURE() << "a JPEG's first 40 bytes were decoded";
    } catch (const TDecodeError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("shot.png: not a readable JPEG: ", 0), 0u) << e.what();
    }
}

TEST(PictureLoader, ProgressiveScansAreLimited)
{
    TBitmap picture;
    const TBytes atLimit = ProgressiveGrey(512, 256, MaxJpegScans, true);
    ASSERT_NO_THROW(DecodePicture(atLimit.data(), atLimit.size(), "jpg", picture));
    EXPECT_EQ(picture.Width(), 512);
    EXPECT_LE(PixelDistance(picture.Pixel(1, 100), 0xFF070707u), 2);

    // A scan bomb: small, but every scan is a pass over all the pixels.
    const TBytes bomb = ProgressiveGrey(1024, 1024, MaxJpegScans + 1, false);
    EXPECT_LT(bomb.size(), 10'000u);
    try {
        DecodePicture(bomb.data(), bomb.size(), "bomb.jpg", picture);
        ADD_FAILURE() << "the scan bomb was decoded";
    } catch (const TDecodeError& e) {
        EXPECT_EQ(std::string(e.what()), "bomb.jpg: broken JPEG: too many scans");
    }
    EXPECT_EQ(picture.Width(), 512);
}

// A progressive JPEG holds all its coefficients while it decodes, whatever
// the scale: two bytes for each of 64 a block, 2 MB for 1024 x 1024 grey.
// Over the budget it is refused before they are taken, with a line that
// names the budget's setting.
TEST(PictureLoader, WorkingMemoryIsBoundedByTheBudget)
{
    const TBytes progressive = ProgressiveGrey(1024, 1024, 10, true);
    TBitmap picture;
    TLoadOptions tight;
    tight.MemoryBudget = 1 << 20;
    try {
        DecodePicture(progressive.data(), progressive.size(), "p.jpg", picture, tight);
        ADD_FAILURE() << "decoded over the budget";
    } catch (const TDecodeError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "p.jpg: decoding would take 2 MB of memory besides the picture, over the 1 MB allowed a picture "
                  "(MIREL_PICTURE_MEMORY_MB)");
    }
    EXPECT_TRUE(picture.Empty());
    TLoadOptions roomy = tight;
    roomy.MemoryBudget = 3 << 20;
    roomy.FitWidth = roomy.FitHeight = 128; // an eighth, the coefficients all the same
    ASSERT_NO_THROW(DecodePicture(progressive.data(), progressive.size(), "p.jpg", picture, roomy));
    EXPECT_EQ(picture.Width(), 128);
    // A baseline picture streams: its budget is the picture alone.
    const TBytes baseline = Quadrants(1024, 1024);
    ASSERT_NO_THROW(DecodePicture(baseline.data(), baseline.size(), "b.jpg", picture, tight));
    EXPECT_EQ(picture.Width(), 1024);
    EXPECT_EQ(PictureMemoryBudget(), DefaultPictureMemoryBudget);
}

TEST(PictureLoader, FitHintPicksTheSmallestCoveringJpegScale)
{
    const TBytes jpeg = Quadrants(4000, 3000);
    struct TCase {
        int32_t FitW, FitH, WantW, WantH;
    };
    const TCase cases[] = {
        {0, 0, 4000, 3000},     // no hint
        {1920, 0, 4000, 3000},  // half a hint is none
        {1920, 1080, 2000, 1500},
        {1000, 750, 1000, 750}, // exactly a quarter
        {1001, 750, 1500, 1125}, // three eighths
        {2560, 1440, 3000, 2250}, // six eighths
        {500, 375, 500, 375},   // an eighth is the least
        {20, 20, 500, 375},
        {5000, 5000, 4000, 3000},
    };
    for (const TCase& c : cases) {
        TBitmap picture;
        DecodePicture(jpeg.data(), jpeg.size(), "jpg", picture, {c.FitW, c.FitH});
        EXPECT_EQ(picture.Width(), c.WantW) << c.FitW << "x" << c.FitH;
        EXPECT_EQ(picture.Height(), c.WantH) << c.FitW << "x" << c.FitH;
        // Scaled or not, the quadrants keep their colours.
        const int32_t w = picture.Width(), h = picture.Height();
        EXPECT_LE(PixelDistance(picture.Pixel(w / 4, h / 4), 0xFFFF0000u), 3);
        EXPECT_LE(PixelDistance(picture.Pixel(3 * w / 4, 3 * h / 4), 0xFFFFFFFFu), 3);
    }
    // The hint is for the upright picture: a portrait frame for a photo
    // turned a quarter by its orientation.
    const TBytes turned = WithOrientation(jpeg, 6);
    TBitmap picture;
    DecodePicture(turned.data(), turned.size(), "jpg", picture, {1080, 1920});
    EXPECT_EQ(picture.Width(), 1500);
    EXPECT_EQ(picture.Height(), 2000);
    // Turned clockwise: the red top-left quadrant is now top right.
    EXPECT_LE(PixelDistance(picture.Pixel(3 * 1500 / 4, 2000 / 4), 0xFFFF0000u), 3);

    // Fitted inside the frame, the 4:3 photo fills 1440 x 1080 of a
    // 1920 x 1080 screen and 900 x 675 of a 900 x 1600 portrait one: three
    // eighths and a quarter cover those.
    TLoadOptions inside;
    inside.Contain = true;
    for (const auto& [fitW, fitH, wantW] : {std::tuple{1920, 1080, 1500}, std::tuple{900, 1600, 1000}}) {
        inside.FitWidth = fitW;
        inside.FitHeight = fitH;
        DecodePicture(jpeg.data(), jpeg.size(), "jpg", picture, inside);
        EXPECT_EQ(picture.Width(), wantW) << fitW << "x" << fitH;
    }
}

TEST(PictureLoader, PeekReadsAJpegsUprightSizeFromItsHeaderAlone)
{
    TScratch scratch;
    const TBytes jpeg = Quadrants(400, 300);
    WriteBytes(scratch / "plain.jpg", jpeg);
    WriteBytes(scratch / "turned.JPEG", WithOrientation(jpeg, 6));
    int32_t w = 0, h = 0;
    ASSERT_TRUE(PeekPictureSize(scratch / "plain.jpg", w, h));
    EXPECT_EQ(w, 400);
    EXPECT_EQ(h, 300);
    ASSERT_TRUE(PeekPictureSize(scratch / "turned.JPEG", w, h));
    EXPECT_EQ(w, 300);
    EXPECT_EQ(h, 400);

    // A header behind more than a megabyte of metadata (comment segments
    // here) is not looked for; the picture still loads.
    TBytes padded(jpeg.begin(), jpeg.begin() + 2);
    for (int i = 0; i < 20; ++i) {
        padded.insert(padded.end(), {0xFF, 0xFE, 0xFF, 0xFF});
        padded.resize(padded.size() + 0xFFFD, uint8_t('x'));
    }
    padded.insert(padded.end(), jpeg.begin() + 2, jpeg.end());
    WriteBytes(scratch / "padded.jpg", padded);
    EXPECT_FALSE(PeekPictureSize(scratch / "padded.jpg", w, h));
    TBitmap picture;
    LoadPicture(scratch / "padded.jpg", picture);
    EXPECT_EQ(picture.Width(), 400);

    // A PNG's from its first chunk.
    ASSERT_TRUE(Shell("convert -size 123x45 xc:red '" + scratch / "red.png" + "'"));
    ASSERT_TRUE(PeekPictureSize(scratch / "red.png", w, h));
    EXPECT_EQ(w, 123);
    EXPECT_EQ(h, 45);

    // By content, whatever the name.
    WriteBytes(scratch / "jpeg-named.png", jpeg);
    ASSERT_TRUE(PeekPictureSize(scratch / "jpeg-named.png", w, h));
    EXPECT_EQ(w, 400);
    EXPECT_EQ(h, 300);

    // Other formats, missing files and broken headers: no size, and the
    // loader says why.
    WriteBytes(scratch / "cut.jpg", TBytes(jpeg.begin(), jpeg.begin() + 40));
    const TBytes png = ReadBytes(scratch / "red.png");
    WriteBytes(scratch / "cut.png", TBytes(png.begin(), png.begin() + 20));
    ASSERT_TRUE(Shell("convert -size 5x5 xc:red '" + scratch / "red.bmp" + "'"));
    for (const char* name : {"missing.jpg", "cut.jpg", "cut.png", "red.bmp"})
        EXPECT_FALSE(PeekPictureSize(scratch / name, w, h)) << name;
}

TEST(PictureLoader, TurnedJpegsDecodeAsTheirUprightPictureTurned)
{
    // Several strips of rows and tiles of columns, with odd edges.
    const TBytes jpeg = Quadrants(150, 70);
    TBitmap stored;
    DecodePicture(jpeg.data(), jpeg.size(), "jpg", stored);
    for (uint8_t orientation = 1; orientation <= 8; ++orientation) {
        const TBytes turned = WithOrientation(jpeg, orientation);
        TBitmap got, want;
        DecodePicture(turned.data(), turned.size(), "jpg", got);
        want.Assign(stored);
        Orient(want, orientation);
        EXPECT_EQ(Hash(got), Hash(want)) << int(orientation);
    }
}

TEST(PictureLoader, OrientationTilesMatchThePlainMapping)
{
    // Sizes that are not multiples of the tile, so every edge case of the
    // tiling shows.
    TBitmap stored(150, 70);
    std::mt19937 random(7);
    for (int32_t y = 0; y < 70; ++y)
        for (int32_t x = 0; x < 150; ++x)
            stored.SetPixel(x, y, uint32_t(random()));
    const int32_t w = 150, h = 70;
    for (int orientation = 1; orientation <= 8; ++orientation) {
        TBitmap upright;
        upright.Assign(stored);
        Orient(upright, orientation);
        const bool swaps = orientation >= 5;
        ASSERT_EQ(upright.Width(), swaps ? h : w);
        for (int32_t y = 0; y < upright.Height(); ++y)
            for (int32_t x = 0; x < upright.Width(); ++x) {
                int32_t sx = x, sy = y;
                switch (orientation) {
                case 2: sx = w - 1 - x; break;
                case 3: sx = w - 1 - x; sy = h - 1 - y; break;
                case 4: sy = h - 1 - y; break;
                case 5: sx = y; sy = x; break;
                case 6: sx = y; sy = h - 1 - x; break;
                case 7: sx = w - 1 - y; sy = h - 1 - x; break;
                case 8: sx = w - 1 - y; sy = x; break;
                }
                ASSERT_EQ(upright.Pixel(x, y), stored.Pixel(sx, sy)) << orientation << " at " << x << "," << y;
            }
    }
}

// Where each scan's header starts (FF DA: within entropy-coded data a 0xFF
// byte is always followed by 0).
std::vector<size_t> ScanStarts(const TBytes& jpeg)
{
    std::vector<size_t> starts;
    for (size_t i = 0; i + 1 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xDA)
            starts.push_back(i);
    return starts;
}

// What decoding a JPEG's first length bytes gives, with AcceptTruncated or
// without: the reason it is refused, or "" with the picture in out.
std::string DecodeCut(const TBytes& jpeg, size_t length, bool accept, TBitmap& out, TLoadOptions options = {})
{
    const TBytes cut(jpeg.begin(), jpeg.begin() + long(length));
    options.AcceptTruncated = accept;
    try {
        DecodePicture(cut.data(), cut.size(), "cut.jpg", out, options);
        return "";
    } catch (const TDecodeError& e) {
        return e.what();
    }
}

constexpr uint32_t MidGrey = 0xFF808080u;

TEST(PictureLoader, ACutSequentialJpegShowsItsRowsOnlyWhenAsked)
{
    const TBytes photo = Photo(256, 192, 90);
    TBitmap full;
    DecodePicture(photo.data(), photo.size(), "jpg", full);
    TBitmap got(3, 2);
    EXPECT_EQ(DecodeCut(photo, photo.size() / 2, false, got), "cut.jpg: broken JPEG: Premature end of JPEG file");
    EXPECT_EQ(got.Width(), 3);
    ASSERT_EQ(DecodeCut(photo, photo.size() / 2, true, got), "");
    ASSERT_EQ(got.Width(), 256);
    ASSERT_EQ(got.Height(), 192);
    // The rows that arrived are the picture's own, down to the band of
    // blocks the file broke off in; below it, mid grey alone.
    int32_t same = 0;
    while (same < 192 && std::equal(got.PixelRow(same), got.PixelRow(same) + 256, full.PixelRow(same)))
        ++same;
    EXPECT_GT(same, 48);
    EXPECT_LT(same, 144);
    for (int32_t y = same + 32; y < 192; ++y)
        for (int32_t x = 0; x < 256; ++x)
            ASSERT_EQ(got.Pixel(x, y), MidGrey) << x << "," << y;

    // Cut in its header, or before its first row of blocks: nothing to show.
    const size_t scan = ScanStarts(photo).at(0);
    for (const size_t length : {size_t{100}, scan + 20}) {
        const std::string reason = DecodeCut(photo, length, true, got);
        EXPECT_EQ(reason.rfind("cut.jpg: ", 0), 0u) << length << ": " << reason;
    }

    // Turned and reduced as the whole picture: what is missing is at the
    // stored bottom, the upright left for orientation 6.
    const TBytes turned = WithOrientation(photo, 6);
    ASSERT_EQ(DecodeCut(turned, turned.size() / 2, true, got, {.FitWidth = 96, .FitHeight = 128}), "");
    EXPECT_EQ(got.Width(), 96);
    EXPECT_EQ(got.Height(), 128);
    EXPECT_EQ(got.Pixel(0, 64), MidGrey);
    EXPECT_NE(got.Pixel(95, 64), MidGrey);
}

TEST(PictureLoader, ACutProgressiveJpegNeedsItsFirstScanWhole)
{
    // libjpeg's usual progression: the first scan has every block's mean
    // colour, the later ones the detail.
    TScratch dir;
    ASSERT_TRUE(
        Shell("convert -size 320x240 gradient:orange-navy -interlace JPEG -quality 90 '" + dir / "p.jpg" + "'"));
    const TBytes ramp = ReadBytes(dir / "p.jpg");
    TBitmap full;
    DecodePicture(ramp.data(), ramp.size(), "jpg", full);
    const std::vector<size_t> scans = ScanStarts(ramp);
    ASSERT_GE(scans.size(), 6u);
    TBitmap got;
    // Within the first scan: refused, asked or not.
    EXPECT_NE(DecodeCut(ramp, (scans[0] + scans[1]) / 2, true, got), "");
    // Each later cut shows the whole picture, coarser the sooner it is.
    for (const size_t at : {scans[1] + 2, scans[5] + 30, ramp.size() - 2}) {
        EXPECT_NE(DecodeCut(ramp, at, false, got), "") << at;
        ASSERT_EQ(DecodeCut(ramp, at, true, got), "") << at;
        ASSERT_EQ(got.Width(), 320);
        int worst = 0;
        for (int32_t y = 0; y < 240; ++y)
            for (int32_t x = 0; x < 320; ++x)
                worst = std::max(worst, PixelDistance(got.Pixel(x, y), full.Pixel(x, y)));
        EXPECT_LE(worst, 12) << "cut at " << at << " of " << ramp.size();
    }
}

TEST(PictureLoader, OnlyJpegsAreShownCut)
{
    TScratch dir;
    ASSERT_TRUE(Shell("convert -size 64x64 gradient:red-blue '" + dir / "a.png" + "'"));
    const TBytes png = ReadBytes(dir / "a.png");
    TBitmap got;
    TLoadOptions accept;
    accept.AcceptTruncated = true;
    EXPECT_THROW(DecodePicture(png.data(), png.size() / 2, "a.png", got, accept), TDecodeError);
}

} // namespace
} // namespace mirel
