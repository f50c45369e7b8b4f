#include "tools/make-pictures/scenes.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

namespace mirel::pictures {

namespace {

constexpr double Pi = 3.14159265358979323846;

// A small generator of our own, so that the pictures do not depend on the
// standard library's distributions.
class TDice {
public:
    explicit TDice(uint32_t seed) : state_(seed * 2654435761u + 12345u) {}

    double Next() // 0 <= x < 1
    {
        state_ = state_ * 1664525u + 1013904223u;
        return (state_ >> 8) * (1.0 / 16777216.0);
    }
    double Range(double lo, double hi) { return lo + (hi - lo) * Next(); }
    int Below(int n) { return int(Next() * n); }
    double Bell() // roughly normal, mean 0, deviation 1
    {
        double s = 0;
        for (int i = 0; i < 6; ++i)
            s += Next();
        return (s - 3.0) * std::sqrt(2.0);
    }

private:
    uint32_t state_;
};

QColor Hsv(double hue, double sat, double val, double alpha = 1.0)
{
    hue = std::fmod(hue, 360.0);
    if (hue < 0)
        hue += 360.0;
    return QColor::fromHsvF(float(hue / 360.0), float(sat), float(val), float(alpha));
}

QColor WithAlpha(QColor c, double alpha)
{
    c.setAlphaF(float(alpha));
    return c;
}

void VerticalGradient(QPainter& p, const QRectF& r, std::initializer_list<std::pair<double, QColor>> stops)
{
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    for (const auto& [at, color] : stops)
        g.setColorAt(at, color);
    p.fillRect(r, g);
}

void Glow(QPainter& p, QPointF centre, double radius, QColor color)
{
    QRadialGradient g(centre, radius);
    g.setColorAt(0, color);
    g.setColorAt(1, WithAlpha(color, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawEllipse(centre, radius, radius);
}

// A ridge line by midpoint displacement from left to right, closed down to
// the bottom edge.
QPainterPath Ridge(TDice& dice, double width, double height, double base, double rough, int depth = 7)
{
    std::vector<double> y{base + dice.Range(-rough, rough), base + dice.Range(-rough, rough)};
    double amp = rough;
    for (int level = 0; level < depth; ++level) {
        std::vector<double> next;
        for (size_t i = 0; i + 1 < y.size(); ++i) {
            next.push_back(y[i]);
            next.push_back((y[i] + y[i + 1]) / 2 + dice.Range(-amp, amp));
        }
        next.push_back(y.back());
        y = std::move(next);
        amp *= 0.55;
    }
    QPainterPath path(QPointF(0, height));
    for (size_t i = 0; i < y.size(); ++i)
        path.lineTo(width * double(i) / double(y.size() - 1), y[i]);
    path.lineTo(width, height);
    path.closeSubpath();
    return path;
}

void Stars(QPainter& p, TDice& dice, const QRectF& area, int count, double maxSize)
{
    p.setPen(Qt::NoPen);
    for (int i = 0; i < count; ++i) {
        const QPointF at(dice.Range(area.left(), area.right()), dice.Range(area.top(), area.bottom()));
        const double size = maxSize * dice.Next() * dice.Next() + 0.4;
        p.setBrush(Hsv(dice.Range(190, 250), dice.Range(0, 0.3), 1.0, dice.Range(0.4, 1.0)));
        p.drawEllipse(at, size, size);
    }
}

// ---------------------------------------------------------------- scenes

void SunsetSea(QPainter& p, double w, double h, TDice& dice)
{
    const double horizon = h * 0.62;
    VerticalGradient(p, QRectF(0, 0, w, horizon),
                     {{0.0, QColor(0x1b, 0x13, 0x40)}, {0.45, QColor(0x7a, 0x2e, 0x6e)},
                      {0.8, QColor(0xf2, 0x6b, 0x38)}, {1.0, QColor(0xff, 0xcf, 0x6b)}});
    const QPointF sun(w * 0.6, horizon - 25);
    Glow(p, sun, 260, QColor(255, 190, 90, 150));
    p.save();
    p.setClipRect(QRectF(0, 0, w, horizon));
    QRadialGradient disk(sun, 75);
    disk.setColorAt(0, QColor(0xff, 0xf6, 0xd0));
    disk.setColorAt(1, QColor(0xff, 0xa8, 0x40));
    p.setBrush(disk);
    p.drawEllipse(sun, 75, 75);
    p.restore();
    // Islands on the horizon.
    p.setBrush(QColor(0x2a, 0x12, 0x30));
    QPainterPath isle(QPointF(40, horizon));
    isle.cubicTo(90, horizon - 60, 170, horizon - 70, 260, horizon);
    isle.moveTo(230, horizon);
    isle.cubicTo(280, horizon - 30, 330, horizon - 28, 380, horizon);
    p.drawPath(isle);
    VerticalGradient(p, QRectF(0, horizon, w, h - horizon),
                     {{0.0, QColor(0x5a, 0x2a, 0x6a)}, {0.4, QColor(0x2a, 0x1a, 0x50)}, {1.0, QColor(0x0a, 0x08, 0x20)}});
    // The sun's path on the water, broken by the waves.
    for (int row = 0; row < 70; ++row) {
        const double y = horizon + 3 + row * row * 0.045 + row * 0.9;
        if (y > h)
            break;
        const double spread = 40 + row * 4.5;
        const double len = dice.Range(0.2, 1.0) * spread;
        const double x = sun.x() + dice.Range(-spread, spread) - len / 2;
        p.setBrush(QColor(255, int(dice.Range(170, 230)), 110, int(230 - row * 2.8)));
        p.drawRoundedRect(QRectF(x, y, len, 2.5 + row * 0.06), 1.5, 1.5);
    }
    // Birds.
    p.setPen(QPen(QColor(0x25, 0x10, 0x2a), 3, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    for (int i = 0; i < 5; ++i) {
        const double x = w * 0.25 + i * 55 + dice.Range(-15, 15), y = h * 0.2 + dice.Range(-30, 40);
        const double s = dice.Range(10, 18);
        QPainterPath bird(QPointF(x - s, y - s * 0.4));
        bird.quadTo(x - s * 0.4, y - s * 0.6, x, y);
        bird.quadTo(x + s * 0.4, y - s * 0.6, x + s, y - s * 0.4);
        p.drawPath(bird);
    }
}

void Mountains(QPainter& p, double w, double h, TDice& dice)
{
    VerticalGradient(p, QRectF(0, 0, w, h),
                     {{0.0, QColor(0x2e, 0x3a, 0x87)}, {0.45, QColor(0xf7, 0xa9, 0xa8)}, {0.7, QColor(0xff, 0xe0, 0xb5)}});
    Glow(p, QPointF(w * 0.7, h * 0.38), 160, QColor(255, 240, 200, 200));
    p.setBrush(QColor(255, 250, 235));
    p.drawEllipse(QPointF(w * 0.7, h * 0.38), 38, 38);
    const std::array<QColor, 5> layers{QColor(0xb8, 0x9c, 0xc8), QColor(0x8c, 0x7c, 0xb4), QColor(0x5e, 0x5a, 0x9a),
                                       QColor(0x34, 0x3c, 0x72), QColor(0x16, 0x22, 0x40)};
    for (size_t i = 0; i < layers.size(); ++i) {
        p.setBrush(layers[i]);
        p.drawPath(Ridge(dice, w, h, h * (0.42 + 0.1 * i), 95 - 14 * double(i)));
        // Mist in the valley in front of each range.
        QLinearGradient mist(0, h * (0.5 + 0.1 * i), 0, h * (0.62 + 0.1 * i));
        mist.setColorAt(0, QColor(255, 235, 230, 0));
        mist.setColorAt(1, QColor(255, 235, 230, 70));
        p.fillRect(QRectF(0, h * (0.5 + 0.1 * i), w, h * 0.12), mist);
    }
}

void Mandala(QPainter& p, double w, double h, TDice&)
{
    QRadialGradient bg(QPointF(w / 2, h / 2), w * 0.7);
    bg.setColorAt(0, QColor(0x1a, 0x10, 0x3a));
    bg.setColorAt(1, QColor(0x05, 0x03, 0x10));
    p.fillRect(QRectF(0, 0, w, h), bg);
    const QPointF c(w / 2 + 40, h / 2);
    for (int ring = 7; ring >= 0; --ring) {
        const int petals = 8 + 4 * ring;
        const double reach = 40 + ring * 34;
        const double hue = 200 + ring * 38;
        for (int k = 0; k < petals; ++k) {
            p.save();
            p.translate(c);
            p.rotate(360.0 * (k + 0.5 * (ring % 2)) / petals);
            QLinearGradient g(0, 0, reach + 30, 0);
            g.setColorAt(0, Hsv(hue, 0.9, 0.35));
            g.setColorAt(0.7, Hsv(hue + 20, 0.75, 1.0));
            g.setColorAt(1, Hsv(hue + 40, 0.3, 1.0));
            p.setBrush(g);
            p.setPen(QPen(Hsv(hue + 180, 0.4, 0.15), 1.5));
            p.drawEllipse(QRectF(reach * 0.35, -(9 + ring * 2.2), reach * 0.65 + 30, 2 * (9 + ring * 2.2)));
            p.restore();
        }
        p.setPen(Qt::NoPen);
        for (int k = 0; k < petals; ++k) {
            const double a = 2 * Pi * k / petals;
            p.setBrush(Hsv(hue + 120, 0.3, 1.0));
            p.drawEllipse(QPointF(c.x() + std::cos(a) * (reach + 34), c.y() + std::sin(a) * (reach + 34)), 3, 3);
        }
    }
    QRadialGradient core(c, 42);
    core.setColorAt(0, QColor(0xff, 0xf2, 0xa0));
    core.setColorAt(1, QColor(0xe0, 0x8a, 0x10));
    p.setBrush(core);
    p.drawEllipse(c, 42, 42);
}

void NightSky(QPainter& p, double w, double h, TDice& dice)
{
    VerticalGradient(p, QRectF(0, 0, w, h),
                     {{0.0, QColor(0x02, 0x04, 0x24)}, {0.7, QColor(0x1c, 0x2a, 0x6b)}, {1.0, QColor(0x40, 0x4f, 0x96)}});
    // The milky way: a faint diagonal band of dust and stars.
    p.save();
    p.translate(w / 2, h / 2);
    p.rotate(-28);
    for (int i = 0; i < 1400; ++i) {
        const QPointF at(dice.Range(-w, w), dice.Bell() * 45);
        p.setBrush(QColor(210, 200, 255, int(dice.Range(30, 110))));
        p.setPen(Qt::NoPen);
        const double s = dice.Range(0.6, 2.2);
        p.drawEllipse(at, s, s);
    }
    p.restore();
    Stars(p, dice, QRectF(0, 0, w, h * 0.8), 420, 2.4);
    // Crescent moon.
    const QPointF moon(w * 0.76, h * 0.22);
    Glow(p, moon, 120, QColor(255, 250, 200, 90));
    QPainterPath lit, shade;
    lit.addEllipse(moon, 52, 52);
    shade.addEllipse(moon + QPointF(24, -14), 48, 48);
    p.setBrush(QColor(0xff, 0xf4, 0xc4));
    p.drawPath(lit.subtracted(shade));
    // Pines along the bottom.
    p.setBrush(QColor(0x03, 0x08, 0x14));
    QPainterPath ground(QPointF(0, h));
    ground.lineTo(0, h * 0.9);
    ground.cubicTo(w * 0.3, h * 0.84, w * 0.6, h * 0.95, w, h * 0.88);
    ground.lineTo(w, h);
    p.drawPath(ground);
    for (int i = 0; i < 26; ++i) {
        const double x = dice.Range(0, w), tall = dice.Range(70, 190), base = h * 0.9 + dice.Range(-6, 20);
        QPolygonF tree;
        for (int tier = 0; tier < 4; ++tier) {
            const double top = base - tall + tier * tall * 0.22, half = tall * (0.12 + tier * 0.06);
            tree << QPointF(x, top) << QPointF(x + half, top + tall * 0.32) << QPointF(x - half, top + tall * 0.32)
                 << QPointF(x, top);
        }
        tree << QPointF(x + 4, base) << QPointF(x - 4, base);
        p.drawPolygon(tree, Qt::WindingFill);
    }
}

void HexMosaic(QPainter& p, double w, double h, TDice& dice)
{
    p.fillRect(QRectF(0, 0, w, h), QColor(0x14, 0x12, 0x1c));
    const double r = 34, dx = r * std::sqrt(3.0), dy = r * 1.5;
    for (int row = -1; row * dy < h + r; ++row) {
        for (int col = -1; col * dx < w + r; ++col) {
            const QPointF c(col * dx + (row % 2 ? dx / 2 : 0), row * dy);
            const double hue = 360.0 * (c.x() * 0.6 + c.y()) / (w + h) + dice.Range(-12, 12);
            QPolygonF hex;
            for (int k = 0; k < 6; ++k) {
                const double a = Pi / 6 + k * Pi / 3;
                hex << QPointF(c.x() + (r - 3) * std::cos(a), c.y() + (r - 3) * std::sin(a));
            }
            QLinearGradient g(c - QPointF(r, r), c + QPointF(r, r));
            g.setColorAt(0, Hsv(hue, 0.55, 1.0));
            g.setColorAt(1, Hsv(hue + 15, 0.95, dice.Range(0.55, 0.8)));
            p.setBrush(g);
            p.setPen(QPen(Hsv(hue, 0.3, 1.0, 0.6), 1.5));
            p.drawPolygon(hex);
        }
    }
}

void Flower(QPainter& p, double w, double h, TDice& dice)
{
    VerticalGradient(p, QRectF(0, 0, w, h), {{0.0, QColor(0x0f, 0x3d, 0x1e)}, {1.0, QColor(0x6a, 0xa8, 0x3c)}});
    for (int i = 0; i < 40; ++i) // out-of-focus light behind
        Glow(p, QPointF(dice.Range(0, w), dice.Range(0, h)), dice.Range(15, 60),
             Hsv(dice.Range(40, 90), 0.4, 1.0, dice.Range(0.15, 0.4)));
    auto bloom = [&](QPointF c, double size, double hue, int petals) {
        for (int layer = 0; layer < 2; ++layer) {
            const double len = size * (layer ? 0.7 : 1.0);
            for (int k = 0; k < petals; ++k) {
                p.save();
                p.translate(c);
                p.rotate(360.0 * (k + 0.5 * layer) / petals);
                QRadialGradient g(QPointF(len * 0.2, 0), len);
                g.setColorAt(0, Hsv(hue, 0.9, 0.6 + 0.2 * layer));
                g.setColorAt(1, Hsv(hue + 10, 0.45, 1.0));
                p.setBrush(g);
                p.setPen(QPen(Hsv(hue, 0.8, 0.45), 1));
                p.drawEllipse(QRectF(0, -len * 0.22, len, len * 0.44));
                p.restore();
            }
        }
        QRadialGradient heart(c, size * 0.22);
        heart.setColorAt(0, QColor(0xff, 0xe8, 0x60));
        heart.setColorAt(1, QColor(0xc0, 0x70, 0x10));
        p.setBrush(heart);
        p.setPen(Qt::NoPen);
        p.drawEllipse(c, size * 0.22, size * 0.22);
        p.setBrush(QColor(0x6a, 0x38, 0x08));
        for (int k = 0; k < 34; ++k) { // seeds on a golden-angle spiral
            const double a = k * 2.39996, d = size * 0.2 * std::sqrt(k / 34.0);
            p.drawEllipse(QPointF(c.x() + d * std::cos(a), c.y() + d * std::sin(a)), 1.8, 1.8);
        }
    };
    p.setPen(QPen(QColor(0x1e, 0x5a, 0x1a), 8, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(w * 0.6, h * 0.45), QPointF(w * 0.55, h));
    p.drawLine(QPointF(w * 0.2, h * 0.7), QPointF(w * 0.24, h));
    bloom(QPointF(w * 0.6, h * 0.45), 170, 320, 12);
    bloom(QPointF(w * 0.2, h * 0.7), 90, 20, 10);
    bloom(QPointF(w * 0.88, h * 0.8), 70, 275, 9);
}

void Skyline(QPainter& p, double w, double h, TDice& dice)
{
    VerticalGradient(p, QRectF(0, 0, w, h),
                     {{0.0, QColor(0x0b, 0x1d, 0x51)}, {0.5, QColor(0x8a, 0x3d, 0x8f)}, {0.85, QColor(0xff, 0x9e, 0x5e)}});
    Stars(p, dice, QRectF(0, 0, w, h * 0.3), 90, 1.6);
    for (int layer = 0; layer < 3; ++layer) {
        const QColor wall = layer == 0 ? QColor(0x5a, 0x3c, 0x78) : layer == 1 ? QColor(0x2c, 0x24, 0x50) : QColor(0x10, 0x10, 0x24);
        double x = dice.Range(-40, 0);
        while (x < w) {
            const double bw = dice.Range(40, 95), bh = dice.Range(120, 330) + layer * 40 - (layer == 0 ? 0 : 60);
            const QRectF tower(x, h - bh, bw, bh);
            p.setPen(Qt::NoPen);
            p.setBrush(wall);
            p.drawRect(tower);
            if (dice.Next() < 0.3) // a spire
                p.drawRect(QRectF(x + bw / 2 - 2, h - bh - 40, 4, 40));
            if (layer > 0) {
                for (double wy = h - bh + 10; wy < h - 12; wy += 16)
                    for (double wx = x + 6; wx < x + bw - 10; wx += 12)
                        if (dice.Next() < 0.42) {
                            p.setBrush(Hsv(dice.Range(35, 55), dice.Range(0.4, 0.8), 1.0, layer == 2 ? 0.95 : 0.55));
                            p.drawRect(QRectF(wx, wy, 6, 9));
                        }
            }
            x += bw + dice.Range(2, 18);
        }
    }
}

void Waves(QPainter& p, double w, double h, TDice& dice)
{
    VerticalGradient(p, QRectF(0, 0, w, h * 0.3), {{0.0, QColor(0xff, 0xd8, 0x9a)}, {1.0, QColor(0xff, 0xf3, 0xd6)}});
    Glow(p, QPointF(w * 0.3, h * 0.18), 90, QColor(255, 190, 90, 220));
    const int bands = 11;
    for (int b = 0; b < bands; ++b) {
        const double t = double(b) / (bands - 1);
        const double base = h * (0.26 + 0.7 * t), amp = 8 + 20 * t, freq = dice.Range(0.012, 0.022), phase = dice.Range(0, 6.28);
        QPainterPath wave(QPointF(0, h));
        for (double x = 0; x <= w + 4; x += 4)
            wave.lineTo(x, base + amp * std::sin(x * freq + phase) + amp * 0.35 * std::sin(x * freq * 2.7 + phase * 1.7));
        wave.lineTo(w, h);
        wave.closeSubpath();
        QLinearGradient g(0, base - amp, 0, base + 80);
        g.setColorAt(0, Hsv(180 + 40 * t, 0.55 + 0.4 * t, 0.95 - 0.55 * t));
        g.setColorAt(1, Hsv(200 + 40 * t, 0.9, 0.6 - 0.4 * t));
        p.setBrush(g);
        p.setPen(QPen(QColor(255, 255, 255, 170 - int(110 * t)), 3));
        p.drawPath(wave);
    }
}

void Aurora(QPainter& p, double w, double h, TDice& dice)
{
    VerticalGradient(p, QRectF(0, 0, w, h), {{0.0, QColor(0x01, 0x03, 0x0f)}, {0.7, QColor(0x0b, 0x24, 0x40)}});
    Stars(p, dice, QRectF(0, 0, w, h * 0.7), 260, 1.8);
    for (int curtain = 0; curtain < 3; ++curtain) {
        const double base = h * (0.32 + 0.08 * curtain), phase = dice.Range(0, 6.28), hue = 140 - curtain * 25;
        for (double x = 0; x < w; x += 2) {
            const double y = base + 55 * std::sin(x * 0.008 + phase) + 20 * std::sin(x * 0.023 + phase * 2);
            const double len = 110 + 60 * std::sin(x * 0.015 + curtain);
            QLinearGradient g(x, y, x, y - len);
            g.setColorAt(0, Hsv(hue, 0.8, 1.0, 0.55));
            g.setColorAt(0.6, Hsv(hue - 10, 0.7, 0.9, 0.2));
            g.setColorAt(1, Hsv(300, 0.6, 0.9, 0.0));
            p.fillRect(QRectF(x, y - len, 2.5, len), g);
        }
    }
    // Snowy peaks and their reflection in a still lake.
    const double shore = h * 0.8;
    const QPainterPath peaks = Ridge(dice, w, shore, h * 0.64, 90, 6);
    QLinearGradient snow(0, h * 0.5, 0, shore);
    snow.setColorAt(0, QColor(0xe0, 0xec, 0xff));
    snow.setColorAt(0.35, QColor(0x6a, 0x80, 0xa8));
    snow.setColorAt(1, QColor(0x10, 0x1c, 0x30));
    p.setPen(Qt::NoPen);
    p.setBrush(snow);
    p.drawPath(peaks);
    VerticalGradient(p, QRectF(0, shore, w, h - shore), {{0.0, QColor(0x10, 0x40, 0x4a)}, {1.0, QColor(0x02, 0x08, 0x14)}});
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 60; ++i) {
        p.setBrush(Hsv(dice.Range(120, 160), 0.6, 0.9, dice.Range(0.1, 0.35)));
        p.drawRect(QRectF(dice.Range(0, w), dice.Range(shore + 4, h), dice.Range(20, 90), 2));
    }
}

void StainedGlass(QPainter& p, double w, double h, TDice& dice)
{
    constexpr int cols = 9, rows = 7;
    std::array<std::array<QPointF, cols + 1>, rows + 1> pt{};
    for (int r = 0; r <= rows; ++r)
        for (int c = 0; c <= cols; ++c) {
            const bool edgeX = c == 0 || c == cols, edgeY = r == 0 || r == rows;
            pt[r][c] = QPointF(w * c / cols + (edgeX ? 0 : dice.Range(-28, 28)), h * r / rows + (edgeY ? 0 : dice.Range(-28, 28)));
        }
    const std::array<double, 7> hues{0, 28, 48, 140, 200, 230, 280};
    p.setPen(QPen(QColor(0x12, 0x10, 0x10), 5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c) {
            const QPointF a = pt[r][c], b = pt[r][c + 1], d = pt[r + 1][c], e = pt[r + 1][c + 1];
            const bool flip = (r + c) % 2;
            const std::array<QPolygonF, 2> tris{flip ? QPolygonF{a, b, e} : QPolygonF{a, b, d},
                                                flip ? QPolygonF{a, e, d} : QPolygonF{b, e, d}};
            for (const QPolygonF& tri : tris) {
                const QPointF centre = (tri[0] + tri[1] + tri[2]) / 3;
                const double hue = hues[size_t(dice.Below(int(hues.size())))];
                QRadialGradient g(centre, 70);
                g.setColorAt(0, Hsv(hue, 0.5, 1.0));
                g.setColorAt(1, Hsv(hue, 0.95, 0.55));
                p.setBrush(g);
                p.drawPolygon(tri);
            }
        }
    Glow(p, QPointF(w * 0.3, h * 0.25), 260, QColor(255, 255, 230, 60));
}

void Galaxy(QPainter& p, double w, double h, TDice& dice)
{
    p.fillRect(QRectF(0, 0, w, h), QColor(0x02, 0x01, 0x08));
    Glow(p, QPointF(w * 0.25, h * 0.7), 300, QColor(120, 40, 160, 90));
    Glow(p, QPointF(w * 0.8, h * 0.25), 260, QColor(30, 80, 170, 90));
    Stars(p, dice, QRectF(0, 0, w, h), 300, 1.5);
    const QPointF c(w * 0.55, h * 0.5);
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 9000; ++i) {
        const int arm = i % 2;
        const double t = std::pow(dice.Next(), 0.7);
        const double angle = arm * Pi + t * 3.6 * Pi + dice.Bell() * 0.18;
        const double radius = 20 + t * 260 + dice.Bell() * 10;
        const QPointF at(c.x() + radius * std::cos(angle), c.y() + radius * std::sin(angle) * 0.6);
        const double hue = 40 + 180 * t + dice.Range(-20, 20);
        p.setBrush(Hsv(hue, 0.2 + 0.6 * t, 1.0, 0.4 + 0.5 * (1 - t)));
        const double s = dice.Range(0.5, 1.8);
        p.drawEllipse(at, s, s);
    }
    Glow(p, c, 70, QColor(255, 240, 200, 255));
}

void Balloons(QPainter& p, double w, double h, TDice& dice)
{
    VerticalGradient(p, QRectF(0, 0, w, h), {{0.0, QColor(0x3e, 0xa6, 0xe0)}, {1.0, QColor(0xd9, 0xf3, 0xff)}});
    p.setPen(Qt::NoPen);
    for (int cloud = 0; cloud < 6; ++cloud) {
        const QPointF c(dice.Range(0, w), dice.Range(h * 0.1, h * 0.9));
        p.setBrush(QColor(255, 255, 255, 200));
        for (int k = 0; k < 6; ++k)
            p.drawEllipse(c + QPointF(dice.Range(-70, 70), dice.Range(-15, 15)), dice.Range(25, 45), dice.Range(18, 30));
    }
    struct TBalloon { double x, y, r, hue; };
    const std::array<TBalloon, 6> balloons{{{0.72, 0.4, 110, 0},
                                            {0.33, 0.32, 80, 200},
                                            {0.12, 0.6, 50, 50},
                                            {0.5, 0.72, 45, 290},
                                            {0.9, 0.78, 35, 120},
                                            {0.3, 0.88, 28, 20}}};
    for (const TBalloon& b : balloons) {
        const double x = w * b.x, y = h * b.y, r = b.r;
        QPainterPath envelope(QPointF(x, y + r * 1.35));
        envelope.cubicTo(x - r * 0.5, y + r * 0.9, x - r * 1.15, y + r * 0.3, x - r, y - r * 0.2);
        envelope.arcTo(QRectF(x - r, y - r * 1.2, 2 * r, 2 * r), 180 + 11, -202);
        envelope.cubicTo(x + r * 1.15, y + r * 0.3, x + r * 0.5, y + r * 0.9, x, y + r * 1.35);
        p.save();
        p.setClipPath(envelope);
        const int stripes = 8;
        for (int s = 0; s < stripes; ++s) {
            p.setBrush(Hsv(b.hue + (s % 2 ? 40 : 0), 0.85, s % 2 ? 1.0 : 0.85));
            p.drawRect(QRectF(x - r * 1.2 + s * 2.4 * r / stripes, y - r * 1.3, 2.4 * r / stripes + 1, r * 2.8));
        }
        QRadialGradient shade(QPointF(x - r * 0.4, y - r * 0.5), r * 1.8);
        shade.setColorAt(0, QColor(255, 255, 255, 90));
        shade.setColorAt(1, QColor(0, 0, 0, 90));
        p.setBrush(shade);
        p.drawPath(envelope);
        p.restore();
        p.setPen(QPen(QColor(0x50, 0x38, 0x20), 1.5));
        p.drawLine(QPointF(x - r * 0.2, y + r * 1.3), QPointF(x - r * 0.15, y + r * 1.6));
        p.drawLine(QPointF(x + r * 0.2, y + r * 1.3), QPointF(x + r * 0.15, y + r * 1.6));
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x8a, 0x5a, 0x2a));
        p.drawRect(QRectF(x - r * 0.17, y + r * 1.6, r * 0.34, r * 0.22));
    }
}

void Rainbow(QPainter& p, double w, double h, TDice& dice)
{
    VerticalGradient(p, QRectF(0, 0, w, h), {{0.0, QColor(0x1e, 0x6f, 0xc8)}, {0.7, QColor(0xb8, 0xe2, 0xff)}});
    const QPointF c(w * 0.45, h * 0.95);
    p.setBrush(Qt::NoBrush);
    const std::array<QColor, 7> bow{QColor(0xe8, 0x2a, 0x2a), QColor(0xff, 0x8c, 0x1a), QColor(0xff, 0xe0, 0x30),
                                    QColor(0x3c, 0xc0, 0x40), QColor(0x2a, 0x7a, 0xe8), QColor(0x4b, 0x3a, 0xb8),
                                    QColor(0x9a, 0x40, 0xc8)};
    for (size_t i = 0; i < bow.size(); ++i) {
        const double r = 470 - i * 22;
        p.setPen(QPen(WithAlpha(bow[i], 0.75), 23));
        p.drawArc(QRectF(c.x() - r, c.y() - r, 2 * r, 2 * r), 0, 180 * 16);
    }
    const std::array<QColor, 3> hills{QColor(0x7c, 0xc4, 0x4a), QColor(0x4c, 0x9c, 0x34), QColor(0x2a, 0x70, 0x24)};
    for (size_t i = 0; i < hills.size(); ++i) {
        const double top = h * (0.62 + 0.1 * i);
        QPainterPath hill(QPointF(0, h));
        hill.lineTo(0, top + dice.Range(-20, 20));
        hill.cubicTo(w * 0.3, top - 70, w * 0.6, top + 60, w, top + dice.Range(-40, 10));
        hill.lineTo(w, h);
        p.setPen(Qt::NoPen);
        p.setBrush(hills[i]);
        p.drawPath(hill);
    }
    for (int i = 0; i < 160; ++i) { // wild flowers in the grass
        p.setBrush(Hsv(std::array<double, 4>{0, 50, 300, 200}[size_t(dice.Below(4))], 0.7, 1.0));
        const double s = dice.Range(2, 4.5);
        p.drawEllipse(QPointF(dice.Range(0, w), dice.Range(h * 0.78, h)), s, s);
    }
}

using TScene = void (*)(QPainter&, double, double, TDice&);
constexpr std::array<TScene, SceneCount> Scenes{SunsetSea, Mountains, Mandala, NightSky, HexMosaic, Flower, Skyline,
                                                Waves, Aurora, StainedGlass, Galaxy, Balloons, Rainbow};

// Seven-segment digits: clear at any size and independent of fonts.
//   a
//  f b
//   g
//  e c
//   d
constexpr std::array<const char*, 10> Segments{"abcdef", "bc", "abdeg", "abcdg", "bcfg",
                                               "acdfg", "acdefg", "abc", "abcdefg", "abcdfg"};

QPolygonF Segment(char s, QPointF o, double dw, double dh, double t)
{
    const double g = t * 0.18, half = dh / 2;
    auto across = [&](double y) {
        return QPolygonF{QPointF(o.x() + g, o.y() + y), QPointF(o.x() + g + t / 2, o.y() + y - t / 2),
                         QPointF(o.x() + dw - g - t / 2, o.y() + y - t / 2), QPointF(o.x() + dw - g, o.y() + y),
                         QPointF(o.x() + dw - g - t / 2, o.y() + y + t / 2), QPointF(o.x() + g + t / 2, o.y() + y + t / 2)};
    };
    auto down = [&](double x, double y0, double y1) {
        return QPolygonF{QPointF(o.x() + x, o.y() + y0 + g), QPointF(o.x() + x + t / 2, o.y() + y0 + g + t / 2),
                         QPointF(o.x() + x + t / 2, o.y() + y1 - g - t / 2), QPointF(o.x() + x, o.y() + y1 - g),
                         QPointF(o.x() + x - t / 2, o.y() + y1 - g - t / 2), QPointF(o.x() + x - t / 2, o.y() + y0 + g + t / 2)};
    };
    switch (s) {
    case 'a': return across(0);
    case 'g': return across(half);
    case 'd': return across(dh);
    case 'f': return down(0, 0, half);
    case 'e': return down(0, half, dh);
    case 'b': return down(dw, 0, half);
    default: return down(dw, half, dh);
    }
}

void DrawNumber(QPainter& p, int number)
{
    const QString text = QString::number(number);
    const double dw = 58, dh = 104, t = 17, gap = 30, margin = 30;
    const QRectF badge(20, 20, margin * 2 + text.size() * dw + (text.size() - 1) * gap + t, dh + margin * 2 + t);
    p.setPen(QPen(QColor(255, 255, 255, 200), 3));
    p.setBrush(QColor(0, 0, 0, 150));
    p.drawRoundedRect(badge, 22, 22);
    p.setPen(QPen(QColor(0x20, 0x20, 0x20), 2.5));
    p.setBrush(QColor(0xff, 0xfb, 0xe8));
    for (int i = 0; i < text.size(); ++i) {
        const QPointF o(badge.left() + margin + t / 2 + i * (dw + gap), badge.top() + margin + t / 2);
        for (const char* s = Segments[size_t(text[i].digitValue())]; *s; ++s)
            p.drawPolygon(Segment(*s, o, dw, dh, t));
    }
}

} // namespace

QImage DrawScene(int number, int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::black);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    TDice dice{uint32_t(number)};
    Scenes[size_t(number - 1)](p, width, height, dice);
    DrawNumber(p, number);
    return image;
}

} // namespace mirel::pictures
