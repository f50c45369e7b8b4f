// The parts of mirel-render whose logic is easy to get subtly wrong: name
// order, frame rates, style names, output kinds, pending files, motion and
// PNGs compressed on several threads.
#include "picture/load.h"
#include "tests/picture/test_jpegs.h"
#include "tools/render/frames.h"
#include "tools/render/options.h"
#include "tools/render/output.h"
#include "tools/render/slideshow.h"
#include "tools/render/stills.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <random>

using namespace mirel;

namespace {

std::string TempFolder()
{
    char name[] = "/tmp/render_units_XXXXXX";
    EXPECT_NE(mkdtemp(name), nullptr);
    return name;
}

bool Exists(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

std::string Read(const std::string& path)
{
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

size_t Entries(const std::string& folder)
{
    size_t n = 0;
    if (DIR* dir = opendir(folder.c_str())) {
        while (const dirent* e = readdir(dir))
            n += std::string(e->d_name) != "." && std::string(e->d_name) != "..";
        closedir(dir);
    }
    return n;
}

} // namespace

TEST(NaturalOrder, CountsNumbersAndIgnoresCase)
{
    std::vector<std::string> names = {"img10.jpg", "img2.jpg", "IMG1.jpg", "img02.png", "b.jpg", "A.jpg",
                                      "img1b.jpg", "img100.jpg", "99999999999999999999.jpg", "3.jpg"};
    std::sort(names.begin(), names.end(), [](const auto& a, const auto& b) { return NaturalLess(a, b); });
    const std::vector<std::string> expected = {"3.jpg",    "99999999999999999999.jpg", "A.jpg",      "b.jpg",
                                               "IMG1.jpg", "img1b.jpg",                "img2.jpg",   "img02.png",
                                               "img10.jpg", "img100.jpg"};
    EXPECT_EQ(names, expected);
    // A strict order: never both ways, and equal only for the same name.
    std::mt19937 random(7);
    const std::string alphabet = "aA0019.";
    for (int i = 0; i < 2000; ++i) {
        std::string a, b;
        for (int k = int(random() % 6); k > 0; --k)
            a += alphabet[random() % alphabet.size()];
        for (int k = int(random() % 6); k > 0; --k)
            b += alphabet[random() % alphabet.size()];
        EXPECT_FALSE(NaturalLess(a, b) && NaturalLess(b, a)) << a << " " << b;
        EXPECT_EQ(a == b, !NaturalLess(a, b) && !NaturalLess(b, a)) << a << " " << b;
    }
}

TEST(FrameRate, WholeDecimalFractionAndRefusals)
{
    const auto rate = [](const char* text) {
        const TFrameRate r = ParseFrameRate(text);
        return std::to_string(r.Num) + "/" + std::to_string(r.Den);
    };
    EXPECT_EQ(rate("25"), "25/1");
    EXPECT_EQ(rate("29.97"), "30000/1001");
    EXPECT_EQ(rate("59.94"), "60000/1001");
    EXPECT_EQ(rate("30000/1001"), "30000/1001");
    EXPECT_EQ(rate("12.5"), "12500/1000");
    for (const char* bad : {"0", "-5", "241", "abc", "25fps", "1/0", "30/", "", "1e9", "nan"})
        EXPECT_THROW(ParseFrameRate(bad), std::runtime_error) << bad;
}

TEST(StyleNames, AnyCaseNumbersRandomAndSuggestions)
{
    EXPECT_EQ(ParseStyle("84"), 84);
    EXPECT_EQ(ParseStyle("  fade "), 118);
    EXPECT_EQ(ParseStyle("EXPAND FROM BOTTOM"), 18); // the first of two rows of that name
    EXPECT_EQ(ParseStyle("Random"), 0);
    for (const char* bad : {"0", "151", "00000000084", "Custom", ""})
        EXPECT_THROW(ParseStyle(bad), std::runtime_error) << bad;
    try {
        ParseStyle("circular reveal from center");
        FAIL();
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("\"Circular reveal from centre\""), std::string::npos) << e.what();
    }
    EXPECT_EQ(NearestStyleNames("push lft", 1), std::vector<std::string>{"Push left"});
    EXPECT_TRUE(NearestStyleNames("zzzzzzzzzzzzzzzzzzzzzzzzzzz", 3).empty());
    EXPECT_EQ(ParseStyleCycle("fade,84, random"), (std::vector<int>{118, 84, 0}));
    EXPECT_THROW(ParseStyleCycle("fade,,84"), std::runtime_error);
}

TEST(OutputKinds, ByExtensionFolderOrRefused)
{
    EXPECT_EQ(OutputKindOf("a/b.MP4"), TOutputKind::Mp4);
    EXPECT_EQ(OutputKindOf("clip.jpeg"), TOutputKind::Jpeg);
    EXPECT_EQ(OutputKindOf("x.webm"), TOutputKind::WebM);
    EXPECT_EQ(OutputKindOf("frames/"), TOutputKind::Folder);
    EXPECT_EQ(OutputKindOf("/tmp"), TOutputKind::Folder);
    for (const char* bad : {"clip", "clip.avi2", ".mp4", "x.tiff", ""})
        EXPECT_THROW(OutputKindOf(bad), std::runtime_error) << bad;
    EXPECT_TRUE(TPendingFolder::IsFrameName("frame-00000.png"));
    EXPECT_TRUE(TPendingFolder::IsFrameName("frame-123456.png"));
    EXPECT_EQ(TPendingFolder::FrameName(7), "frame-00007.png");
    for (const char* other : {"frame-0000.png", "frame-000001.png", "frame-0000a.png", "frame-00000.jpg", "notes.txt"})
        EXPECT_FALSE(TPendingFolder::IsFrameName(other)) << other;
}

TEST(PendingFiles, AppearOnlyWhenCommittedAndNeverReplaceUnasked)
{
    const std::string dir = TempFolder();
    const std::string path = dir + "/out.png";
    {
        TPendingFile file(path, TOverwrite::Ask);
        ASSERT_EQ(write(file.TakeFd(), "abc", 3), 3);
        EXPECT_FALSE(Exists(path));
    } // abandoned: nothing stays
    EXPECT_EQ(Entries(dir), 0u);
    {
        TPendingFile file(path, TOverwrite::Ask);
        const int fd = file.TakeFd();
        ASSERT_EQ(write(fd, "new", 3), 3);
        close(fd);
        // Another program writes the name meanwhile: kept, the run fails.
        std::ofstream(path) << "theirs";
        EXPECT_THROW(file.Commit(), std::runtime_error);
    }
    EXPECT_EQ(Read(path), "theirs");
    EXPECT_EQ(Entries(dir), 1u);
    EXPECT_THROW(TPendingFile(path, TOverwrite::No), std::runtime_error);
    {
        TPendingFile file(path, TOverwrite::Yes);
        const int fd = file.TakeFd();
        ASSERT_EQ(write(fd, "mine", 4), 4);
        close(fd);
        file.Commit();
    }
    EXPECT_EQ(Read(path), "mine");
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    const mode_t mask = umask(0);
    umask(mask);
    EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask) << "the usual permissions, not the temporary's 0600";
    EXPECT_EQ(Entries(dir), 1u);
    unlink(path.c_str());
    rmdir(dir.c_str());
}

TEST(PendingFolders, NewFolderGoneWhenAbandoned)
{
    const std::string dir = TempFolder();
    {
        TPendingFolder folder(dir + "/frames", TOverwrite::Ask);
        std::ofstream(folder.FramePath(0)) << "x";
    }
    EXPECT_FALSE(Exists(dir + "/frames"));
    {
        TPendingFolder folder(dir + "/frames", TOverwrite::Ask);
        std::ofstream(folder.FramePath(0)) << "x";
        std::ofstream(folder.FramePath(1)) << "y";
        folder.Commit(2);
    }
    EXPECT_EQ(Entries(dir + "/frames"), 2u);
    EXPECT_THROW(TPendingFolder(dir + "/frames", TOverwrite::Ask), std::runtime_error);
    std::ofstream(dir + "/frames/keep.txt") << "k";
    {
        TPendingFolder folder(dir + "/frames", TOverwrite::Yes);
        std::ofstream(folder.FramePath(0)) << "z";
        folder.Commit(1);
    }
    EXPECT_EQ(Read(dir + "/frames/frame-00000.png"), "z");
    EXPECT_FALSE(Exists(dir + "/frames/frame-00001.png"));
    EXPECT_TRUE(Exists(dir + "/frames/keep.txt"));
    for (const char* name : {"frame-00000.png", "keep.txt"})
        unlink((dir + "/frames/" + name).c_str());
    rmdir((dir + "/frames").c_str());
    rmdir(dir.c_str());
}

TEST(Motion, WindowsStayInsideAndMoveSteadily)
{
    for (uint32_t seed = 0; seed < 20; ++seed)
        for (int64_t index = 0; index < 5; ++index) {
            const TMotion m = MakeMotion(seed, index, 2208, 1242, 125);
            double px = 0, py = 0, pw = 0, ph = 0;
            for (int64_t f = 0; f < m.Frames; ++f) {
                double x, y, w, h;
                m.At(f, x, y, w, h);
                ASSERT_GE(x, -1e-9);
                ASSERT_GE(y, -1e-9);
                ASSERT_LE(x + w, 2208 + 1e-9);
                ASSERT_LE(y + h, 1242 + 1e-9);
                ASSERT_NEAR(w / h, 2208.0 / 1242.0, 1e-9) << "the frame's shape";
                ASSERT_GE(w, 2208 / 1.121);
                if (f > 0) { // no jumps: each side moves less than 1/400 of the width a frame
                    for (const double step : {x - px, y - py, w - pw, h - ph})
                        ASSERT_LT(std::abs(step), 2208 / 400.0);
                }
                px = x, py = y, pw = w, ph = h;
            }
            // The same seed and picture give the same move; another picture another.
            const auto ends = [](const TMotion& t) { return std::vector<double>{t.X0, t.Y0, t.W0, t.X1, t.Y1, t.W1}; };
            EXPECT_EQ(ends(MakeMotion(seed, index, 2208, 1242, 125)), ends(m));
            EXPECT_NE(ends(MakeMotion(seed, index + 1, 2208, 1242, 125)), ends(m));
        }
}

// A large frame's rows deflated in parts on several threads make one valid
// PNG (libpng checks every chunk's CRC, zlib the stream's check value) of
// the very pixels, at each fast level and however many parts; the parts
// cost the file next to nothing.
TEST(PngParts, DecodeToTheFramesPixels)
{
    TBitmap frame(3001, 2100);
    std::mt19937 random(7);
    for (int32_t y = 0; y < frame.Height(); ++y)
        for (int32_t x = 0; x < frame.Width(); ++x) // runs, gradients and grain
            frame.SetPixel(x, y, x < 1000 ? 0xFF204080u : x < 2000 ? 0xFF000000u | uint32_t(x * 7 + y) : 0xFF000000u | random());
    const std::string folder = TempFolder(), path = folder + "/frame.png";
    const auto write = [&](int level, unsigned threads) {
        std::FILE* file = std::fopen(path.c_str(), "wb");
        WritePng(frame, file, level, path, threads);
        std::fclose(file);
        return Read(path).size();
    };
    for (const auto& [level, threads] : {std::pair{1, 1u}, {1, 2u}, {1, 3u}, {2, 3u}, {3, 2u}}) {
        SCOPED_TRACE(testing::Message() << "level " << level << ", " << threads << " threads");
        const size_t whole = write(level, 1), parts = write(level, threads);
        TBitmap back;
        LoadPicture(path, back);
        ASSERT_EQ(back.Width(), frame.Width());
        ASSERT_EQ(back.Height(), frame.Height());
        for (int32_t y = 0; y < frame.Height(); ++y)
            ASSERT_EQ(std::memcmp(back.PixelRow(y), frame.PixelRow(y), size_t(frame.Width()) * 4), 0) << "row " << y;
        EXPECT_LT(double(parts), double(whole) * 1.001);
    }
    std::remove(path.c_str());
    rmdir(folder.c_str());
}

TEST(PicturePair, LoadsAsOneAfterTheOtherWouldAndReportsTheNewPicturesErrorFirst)
{
    const std::string folder = TempFolder();
    const auto write = [&](const std::string& name, const test::TBytes& bytes) {
        std::ofstream(folder + "/" + name, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return folder + "/" + name;
    };
    // A landscape old picture before a new one turned upright by its
    // orientation into a portrait, and one whose size no header tells.
    const std::string old = write("old.jpg", test::Quadrants(800, 600));
    const std::string turned = write("new.jpg", test::WithOrientation(test::Quadrants(400, 300), 6));
    TBitmap bmp(200, 100, 0xFF336699u);
    std::FILE* file = std::fopen((folder + "/new.png").c_str(), "wb");
    WritePng(bmp, file, 1, "new.png", 1);
    std::fclose(file);
    const std::string png = folder + "/new.png";

    const auto same = [](const TBitmap& a, const TBitmap& b) {
        if (a.Width() != b.Width() || a.Height() != b.Height())
            return false;
        for (int32_t y = 0; y < a.Height(); ++y)
            if (std::memcmp(a.PixelRow(y), b.PixelRow(y), size_t(a.Width()) * 4) != 0)
                return false;
        return true;
    };
    struct TCase {
        std::string New;
        int32_t W, H, WantW, WantH;
        TFitMode Mode;
    };
    for (const TCase& c : {TCase{turned, 0, 0, 300, 400, TFitMode::Aspect}, TCase{png, 0, 0, 200, 100, TFitMode::Fill},
                           TCase{turned, 320, 240, 320, 240, TFitMode::Aspect},
                           TCase{png, 64, 48, 64, 48, TFitMode::Stretch}}) {
        SCOPED_TRACE(c.New + " " + std::to_string(c.W) + "x" + std::to_string(c.H));
        int32_t w = c.W, h = c.H;
        TBitmap oldBmp, newBmp, wantOld, wantNew;
        LoadPair(old, c.New, w, h, c.Mode, 0xFF000000u, oldBmp, newBmp);
        EXPECT_EQ(w, c.WantW);
        EXPECT_EQ(h, c.WantH);
        LoadFitted(c.New, c.W, c.H, c.Mode, 0xFF000000u, wantNew);
        LoadFitted(old, c.WantW, c.WantH, c.Mode, 0xFF000000u, wantOld);
        EXPECT_TRUE(same(newBmp, wantNew));
        EXPECT_TRUE(same(oldBmp, wantOld));
    }

    const auto error = [&](const std::string& oldPath, const std::string& newPath) {
        int32_t w = 0, h = 0;
        TBitmap a, b;
        try {
            LoadPair(oldPath, newPath, w, h, TFitMode::Aspect, 0xFF000000u, a, b);
        } catch (const TDecodeError& e) {
            return std::string(e.what());
        }
        return std::string("no error");
    };
    const std::string missing = folder + "/missing.jpg", gone = folder + "/gone.jpg";
    EXPECT_EQ(error(missing, turned), missing + ": no such file");
    EXPECT_EQ(error(old, gone), gone + ": no such file");
    EXPECT_EQ(error(missing, gone), gone + ": no such file");
    std::system(("rm -rf '" + folder + "'").c_str());
}
