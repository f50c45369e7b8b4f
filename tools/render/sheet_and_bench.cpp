#include "tools/render/sheet_and_bench.h"

#include "effects/catalogue.h"
#include "effects/random.h"
#include "tools/render/frames.h"

#include <QImage>
#include <QPainter>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <stdexcept>

namespace mirel {

void SamplePictures(int32_t w, int32_t h, TBitmap& old, TBitmap& image)
{
    old.SetSize(w, h);
    image.SetSize(w, h);
    const int32_t ring = std::max(4, std::max(w, h) / 16);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            const int stripe = ((x + y) / std::max(3, ring * 6 / 5)) % 2;
            const uint32_t r = 200 + 55 * stripe, g = 90 + (x * 100) / w, b = 40 + (y * 60) / h;
            old.SetPixel(x, y, 0xFF000000u | r << 16 | g << 8 | b);
            const double d = std::hypot(x - w / 2.0, y - h / 2.0);
            const int band = int(d / ring) % 2;
            const uint32_t r2 = 20 + (x * 60) / w, g2 = 110 + 80 * band, b2 = 160 + (y * 90) / h;
            image.SetPixel(x, y, 0xFF000000u | r2 << 16 | g2 << 8 | b2);
        }
}

void WriteContactSheet(const TBitmap& old, const TBitmap& image, int progress, const std::string& out)
{
    // Cells are 160 wide, in the new picture's proportions.
    const int cellW = 160, cellH = std::max(1, int(int64_t{160} * image.Height() / std::max(1, image.Width())));
    const int columns = 10, rows = (MaxShowStyle + columns - 1) / columns, label = 16, gap = 4;
    QImage sheet(columns * (cellW + gap) + gap, rows * (cellH + label + gap) + gap, QImage::Format_RGB32);
    sheet.fill(QColor(24, 24, 24));
    QPainter painter(&sheet);
    QFont font = painter.font();
    font.setPixelSize(11);
    painter.setFont(font);
    painter.setPen(QColor(230, 230, 230));

    TBitmap cellOld(cellW, cellH), cellNew(cellW, cellH), frame;
    cellOld.Canvas().StretchDraw(cellOld.BoundsRect(), old);
    cellNew.Canvas().StretchDraw(cellNew.BoundsRect(), image);
    for (int style = 1; style <= MaxShowStyle; ++style) {
        frame.Assign(cellOld);
        DrawEffectFrame(frame, cellNew, style, 4, progress);
        const int x = gap + ((style - 1) % columns) * (cellW + gap);
        const int y = gap + ((style - 1) / columns) * (cellH + label + gap);
        const QImage cell(frame.Bits(), cellW, cellH, frame.BytesPerLine(), QImage::Format_RGB32);
        painter.drawImage(x, y + label, cell);
        const QString text = QString::number(style) + " " + QString::fromUtf8(Effects[style].Name);
        painter.drawText(QRect(x, y, cellW, label), Qt::AlignLeft | Qt::AlignVCenter,
                         painter.fontMetrics().elidedText(text, Qt::ElideRight, cellW));
    }
    painter.end();
    if (!sheet.save(QString::fromStdString(out), "PNG"))
        throw std::runtime_error(out + ": cannot write the PNG file");
}

namespace {

double Seconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

void RunBenchmark(int32_t w, int32_t h, const std::vector<int>& styles)
{
    TBitmap old, image, display(w, h);
    SamplePictures(w, h, old, image);
    constexpr int Rounds = 5;

    // The yardstick: one full-frame copy in the conditions of a frame (the
    // new picture over a Display just reset to the old one), which is what a
    // style revealing everything at once would cost. A copy repeated back to
    // back would find both its bitmaps in the cache, which a frame never does.
    // On a shared machine the speed of memory drifts by a quarter within
    // seconds, so each frame is timed right after a copy of its own, and a
    // round's frames are weighed against its copies.
    const auto timed = [&](const auto& draw) {
        display.Assign(old);
        const double t0 = Seconds();
        draw();
        return Seconds() - t0;
    };
    const auto copy = [&] { display.Canvas().DrawBitmap(0, 0, image); };
    std::vector<double> copies;
    for (int i = 0; i < 20; ++i)
        copies.push_back(timed(copy));
    std::printf("copy\t%dx%d\t%.3f ms\n", w, h, Median(copies) * 1000);

    std::vector<std::pair<double, int>> ratios;
    for (const int style : styles) {
        std::vector<double> perFrame, againstCopies;
        for (int round = 0; round < Rounds; ++round) {
            SetRandSeed(0);
            double spent = 0, copied = 0;
            int frames = 0;
            for (int32_t progress = 4; progress <= 96; progress += 4, ++frames) {
                copied += timed(copy);
                spent += timed([&] { Effects[style].Proc(display, image, image.BoundsRect(), 4, progress); });
            }
            perFrame.push_back(spent / frames);
            againstCopies.push_back(spent / copied);
        }
        const double ms = Median(perFrame) * 1000, ratio = Median(againstCopies);
        ratios.push_back({ratio, style});
        std::printf("%d\t%s\t%.3f\t%.2f\n", style, Effects[style].Name, ms, ratio);
        FlushOutput();
        CheckInterrupted();
    }
    if (ratios.empty())
        return;
    std::vector<double> values;
    for (const auto& r : ratios)
        values.push_back(r.first);
    const auto worst = *std::max_element(ratios.begin(), ratios.end());
    std::printf("catalogue: median %.2f, worst %.2f (style %d)\n", Median(values), worst.first, worst.second);
}

} // namespace mirel
