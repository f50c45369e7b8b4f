// Single pictures and animated WebP, written through libpng, libjpeg-turbo
// and libwebp.
#pragma once

#include "surface/bitmap.h"
#include "tools/render/frames.h"

#include <cstdio>
#include <webp/encode.h>
#include <webp/mux.h>
#include <memory>
#include <string>
#include <vector>

namespace mirel {

// Writes bitmap to an open file. level: zlib's 0 (none) .. 9 (smallest, slowest).
// A large frame at levels 1 to 3 is compressed on up to threads threads.
// Throw std::runtime_error naming what.
void WritePng(const TBitmap& bitmap, std::FILE* file, int level, const std::string& what, unsigned threads = 1);
void WriteJpeg(const TBitmap& bitmap, std::FILE* file, int quality, const std::string& what);
void WriteWebP(const TBitmap& bitmap, std::FILE* file, const std::string& what);

// One picture in the format out's name asks for (png, jpg, webp or gif),
// written under a temporary name and renamed into place.
void SavePicture(const TBitmap& bitmap, const std::string& out, const TSinkOptions& options);

// An animated WebP in memory: frames with their times, then the file's bytes.
// Each frame carries only the rectangle of pixels that changed since the
// one before, those that did not transparent; the pixels it leaves as they
// were are exactly the same in both frames, so what a decoder shows never
// drifts from the frames given (libwebp's own animation encoder takes
// nearly equal pixels for equal, and a slow fade leaves the old picture
// behind). A frame held longer than one period (the ends of a
// transition) is stored whole and finer.
class TWebPAnimator {
public:
    TWebPAnimator(int32_t width, int32_t height, TFrameRate rate, std::string what);
    TWebPAnimator(const TWebPAnimator&) = delete;
    TWebPAnimator& operator=(const TWebPAnimator&) = delete;
    void Add(const TBitmap& frame, int64_t repeat);
    std::string Assemble();

private:
    struct TFrame {
        std::string Bytes; // a still WebP of the changed rectangle
        int32_t X, Y;
        int64_t Start, Periods;
        float Quality;
        bool Blend; // its transparent pixels keep what the frame before showed
    };
    int Millis(int64_t frames) const;
    int32_t w_, h_;
    TFrameRate rate_;
    std::string what_;
    TBitmap last_;
    std::vector<TFrame> frames_;
    int64_t periods_ = 0;
};

// An animated WebP that loops, each frame with its own time.
std::unique_ptr<TFrameSink> OpenWebPAnimation(const std::string& out, int32_t width, int32_t height,
                                              const TSinkOptions& options);

} // namespace mirel
