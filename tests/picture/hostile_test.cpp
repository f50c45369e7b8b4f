// Broken and hostile files: refused with one line naming the file, or (for
// damage a format tolerates) decoded the same way every time; never a read
// outside the file, which the sanitizer builds of this test would catch.
#include "picture/load.h"
#include "picture_test_util.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/resource.h>

#include <random>
#include <set>

namespace mirel {
namespace {

using namespace mirel::test;

std::vector<std::string> Names(const std::string& folder)
{
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (const dirent* entry = ::readdir(dir))
            if (entry->d_name[0] != '.')
                names.push_back(entry->d_name);
        ::closedir(dir);
    }
    return names;
}

// Decodes twice: both refuse (with TDecodeError) or both give the same
// pixels. Returns whether the picture was accepted.
bool ExpectSameTwice(const uint8_t* data, size_t size, const std::string& name, const std::string& label)
{
    uint64_t hashes[2] = {0, 0};
    int accepted = 0;
    for (uint64_t& hash : hashes) {
        try {
            TBitmap picture;
            DecodePicture(data, size, name, picture);
            hash = Hash(picture);
            ++accepted;
        } catch (const TDecodeError&) {
        }
    }
    EXPECT_NE(accepted, 1) << label;
    EXPECT_EQ(hashes[0], hashes[1]) << label;
    return accepted == 2;
}

TEST(HostilePictures, EveryOneIsRefusedWithOneLineNamingIt)
{
    TScratch dir;
    ASSERT_TRUE(Shell("bash '" MIREL_TESTS_DIR "/make_hostile_pictures.sh' '" + dir / "h" + "'"));
    int refused = 0;
    for (const std::string& name : Names(dir / "h")) {
        const std::string path = dir / ("h/" + name);
        // Root reads the unreadable copy of a good picture.
        const bool good = name.rfind("good-", 0) == 0 || (name == "unreadable.jpg" && ::access(path.c_str(), R_OK) == 0);
        for (int round = 0; round < 3; ++round) {
            TBitmap picture;
            try {
                LoadPicture(path, picture);
                EXPECT_TRUE(good) << name << " was loaded";
            } catch (const TDecodeError& e) {
                EXPECT_FALSE(good) << e.what();
                const std::string message = e.what();
                EXPECT_EQ(message.rfind(path + ": ", 0), 0u) << message;
                EXPECT_EQ(message.find('\n'), std::string::npos) << message;
                refused += round == 0;
            }
        }
    }
    EXPECT_GE(refused, 22);
}

TEST(HostilePictures, DamagedCopiesOfGoodFilesDecodeTheSameEveryTime)
{
    TScratch dir;
    ASSERT_TRUE(Shell("convert -size 17x11 gradient:orange-navy -fill white -draw 'point 3,4' '" + dir / "src.png" + "'"));
    ASSERT_TRUE(Shell("convert '" + dir / "src.png" + "' -alpha set -channel A -fx 'i/w' +channel '" + dir / "alpha.png" + "'"));
    const std::pair<const char*, const char*> seeds[] = {
        {"a.bmp", "-type truecolor BMP3:"},         {"rle.bmp", "-colors 40 -compress RLE BMP3:"},
        {"p4.bmp", "-colors 9 BMP3:"},              {"mono.bmp", "-monochrome BMP3:"},
        {"os2.bmp", "BMP2:"},                       {"f.bmp", "-define bmp:subtype=RGB565 BMP:"},
        {"alpha.bmp", "BMP:"},                      {"a.ico", "-define icon:auto-resize=16 ICO:"},
        {"png.ico", "-define icon:auto-resize=256 ICO:"}, {"a.png", "PNG32:"},
        {"i.png", "-interlace PNG PNG8:"},          {"a.webp", "-define webp:lossless=true WEBP:"},
        {"q.webp", "WEBP:"},                        {"a.jpg", "-interlace JPEG JPEG:"},
    };
    std::mt19937 random(2024);
    for (const auto& [name, options] : seeds) {
        const std::string path = dir / name;
        ASSERT_TRUE(Shell("convert '" + dir / "alpha.png" + "' " + options + "'" + path + "'")) << name;
        const TBytes good = ReadBytes(path);
        ASSERT_TRUE(ExpectSameTwice(good.data(), good.size(), name, name)) << name << " is refused";
        // Cut at every length up to where the pixels start, then in steps.
        for (size_t length = 1; length < good.size(); length += length < 400 ? 1 : 37) {
            const TBytes cut(good.begin(), good.begin() + long(length));
            ExpectSameTwice(cut.data(), cut.size(), name, std::string(name) + " cut to " + std::to_string(length));
        }
        // A few bytes changed at random, many times over.
        for (int round = 0; round < 150; ++round) {
            TBytes damaged = good;
            const int changes = 1 + int(random() % 4);
            for (int i = 0; i < changes; ++i)
                damaged[random() % damaged.size()] = uint8_t(random());
            ExpectSameTwice(damaged.data(), damaged.size(), name, std::string(name) + " damaged, round " + std::to_string(round));
        }
    }
    // Runs that overrun their row are cut, as writers pad rows with them.
    // A 4 x 1 RLE8 bitmap: a run of 200, then the end of the bitmap.
    TBytes overrun = {'B', 'M'};
    for (uint32_t v : {0u, 0u, 62u, 40u, 4u, 1u, 0x00080001u, 1u, 0u, 0u, 0u, 2u, 0u, 0u, 0x00FFFFFFu, 0x010001C8u})
        for (int i = 0; i < 4; ++i)
            overrun.push_back(uint8_t(v >> (8 * i)));
    EXPECT_TRUE(ExpectSameTwice(overrun.data(), overrun.size(), "bmp", "run of 200 in a row of 4"));
}

// A 13 x 7 PNG whose text chunk before the image data claims 1.8 GB: libpng
// would take and clear that much before finding the file cut short. The
// chunk is passed over unread, so decoding it costs nothing like that.
TEST(HostilePictures, AChunkThatClaimsGigabytesTakesNoMemory)
{
    TBytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R',
                  0, 0, 0, 13, 0, 0, 0, 7, 8, 6, 0, 0, 0, 0xD3, 0x70, 0xC7, 0x1A,
                  0x6D, 0x6F, 0x72, 0x79, 't', 'E', 'X', 't'};
    png.resize(png.size() + 100, 'x');
    const auto peakKiB = [] {
        rusage usage{};
        ::getrusage(RUSAGE_SELF, &usage);
        return usage.ru_maxrss;
    };
    const long before = peakKiB();
    TBitmap picture;
    EXPECT_THROW(DecodePicture(png.data(), png.size(), "png", picture), TDecodeError);
    EXPECT_LT(peakKiB() - before, 64 << 10) << "KiB more at the peak";
}

} // namespace
} // namespace mirel
