// The two pictures the hand-written cross-fades show: diagonal stripes of
// every colour, told apart by salt, as a QImage of the window's size.
#pragma once

#include <QImage>

#include <cstdint>

namespace mirel::bench {

inline QImage PatternImage(int w, int h, uint32_t salt)
{
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < w; ++x)
            row[x] = 0xFF000000u | ((uint32_t(x) * 7 + uint32_t(y) * 13 + salt) & 0xFFFFFF);
    }
    return image;
}

} // namespace mirel::bench
