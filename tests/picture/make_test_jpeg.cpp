// Writes a test JPEG for the end-to-end tests:
//   mirel_make_test_jpeg bomb OUT            the 8000x8000 scan bomb (127 scans)
//   mirel_make_test_jpeg photo W H OUT       a noisy W x H photo
#include "test_jpegs.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <stdexcept>

int main(int argc, char** argv)
{
    using namespace mirel::test;
    try {
        TBytes jpeg;
        const char* out = nullptr;
        if (argc == 3 && std::strcmp(argv[1], "bomb") == 0) {
            jpeg = ProgressiveGrey(8000, 8000, 127, false);
            out = argv[2];
        } else if (argc == 5 && std::strcmp(argv[1], "photo") == 0) {
            const int w = std::atoi(argv[2]), h = std::atoi(argv[3]);
            if (w <= 0 || h <= 0 || w > 20000 || h > 20000)
                throw std::runtime_error("a photo's sides are 1 .. 20000");
            jpeg = Photo(w, h, 75);
            out = argv[4];
        } else {
            std::fprintf(stderr, "usage: mirel_make_test_jpeg bomb OUT | photo W H OUT\n");
            return 2;
        }
        std::FILE* f = std::fopen(out, "wb");
        if (f == nullptr || std::fwrite(jpeg.data(), 1, jpeg.size(), f) != jpeg.size() || std::fclose(f) != 0) {
            std::fprintf(stderr, "%s: cannot write\n", out);
            return 1;
        }
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "mirel_make_test_jpeg: %s\n", e.what());
        return 1;
    }
}
