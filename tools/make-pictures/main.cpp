// mirel-make-pictures: draws the show's thirteen built-in pictures and writes
// them as baseline JFIF JPEG files 01.jpg .. 13.jpg into a folder.
#include "tools/make-pictures/scenes.h"

#include <QImage>

#include <turbojpeg.h>

#include <cstdio>
#include <memory>
#include <string>

namespace {

constexpr int Height = 600;
constexpr int FirstWidth = 799; // the first picture is a little wider than the others
constexpr int Width = 774;
constexpr int Quality = 88;

bool WriteJpeg(const QImage& image, const std::string& path)
{
    std::unique_ptr<void, int (*)(tjhandle)> tj(tjInitCompress(), tjDestroy);
    if (!tj)
        return false;
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    // Default flags give a baseline (non-progressive) file with a JFIF header.
    if (tjCompress2(tj.get(), image.constBits(), image.width(), int(image.bytesPerLine()), image.height(), TJPF_BGRX,
                    &jpeg, &size, TJSAMP_420, Quality, TJFLAG_ACCURATEDCT) != 0)
        return false;
    std::unique_ptr<unsigned char, void (*)(unsigned char*)> owned(jpeg, tjFree);
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    const bool ok = std::fwrite(jpeg, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: mirel-make-pictures FOLDER\n"
                             "Writes FOLDER/01.jpg .. FOLDER/13.jpg, the show's built-in pictures.\n");
        return 2;
    }
    // Painting on a QImage needs neither a display nor an application object.
    for (int n = 1; n <= mirel::pictures::SceneCount; ++n) {
        const QImage image = mirel::pictures::DrawScene(n, n == 1 ? FirstWidth : Width, Height);
        char name[16];
        std::snprintf(name, sizeof name, "/%02d.jpg", n);
        const std::string path = std::string(argv[1]) + name;
        if (!WriteJpeg(image, path)) {
            std::fprintf(stderr, "mirel-make-pictures: cannot write %s\n", path.c_str());
            return 1;
        }
        std::printf("%s\n", path.c_str());
    }
    return 0;
}
