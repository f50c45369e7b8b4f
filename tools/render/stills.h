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
class TWebPAnimator {
public:
    TWebPAnimator(int32_t width, int32_t height, TFrameRate rate, std::string what);
    ~TWebPAnimator();
    TWebPAnimator(const TWebPAnimator&) = delete;
    TWebPAnimator& operator=(const TWebPAnimator&) = delete;
    void Add(const TBitmap& frame, int64_t repeat);
    std::string Assemble();

private:
    int Millis(int64_t frames) const;
    int32_t w_, h_;
    TFrameRate rate_;
    std::string what_;
    WebPConfig config_;
    WebPAnimEncoder* enc_ = nullptr;
    int64_t frames_ = 0;
};

// An animated WebP that loops, each frame with its own time.
std::unique_ptr<TFrameSink> OpenWebPAnimation(const std::string& out, int32_t width, int32_t height,
                                              const TSinkOptions& options);

} // namespace mirel
