// Blinds, rectangular shred, travelling rectangles and rotating shapes
// (styles 136-142, 145-150): each frame builds one region, a comb of slats, a
// grid of growing rectangles or a turning polygon, and draws the new picture
// through it.
#include "effects/blinds.h"

#include "effects/draw.h"
#include "surface/composed_rows.h"
#include "surface/region.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace mirel {

namespace {

// A picture of a few pixels has a Band of 0; it counts as 1 wherever Band
// divides: one slat, stripe or grid cell over the whole picture.
int32_t Divisor(int32_t Band) { return std::max(Band, 1); }

// Start, then Start moved by (DX, DY) again and again, each piece only while
// Holds accepts it; the test comes before every piece, the first included.
// Callers move towards the end of the test, so the comb always ends.
template <typename TTest>
void AddComb(std::vector<TRect>& Pieces, TRect S, int32_t DX, int32_t DY, TTest Holds)
{
    for (; Holds(S); OffsetRect(S, DX, DY))
        Pieces.push_back(S);
}

void DrawPieces(TBitmap& Display, const TBitmap& Image, const std::vector<TRect>& Pieces)
{
    DrawImageThrough(Display, Image, UnionOfRects(Pieces));
}

void DrawBlinds(TBitmap& Display, const TBitmap& Image, const TRect& R, TBlindSide Side, int32_t P,
                int32_t Progress)
{
    std::vector<TRect> slats;
    AddBlindSlats(slats, R, Side, P, Progress);
    DrawPieces(Display, Image, slats);
}

// Stripes across the rows go with blinds that move along them (from the left
// or the right), stripes across the columns with blinds from the top or the
// bottom.
void DrawTravellingRectangles(TBitmap& Display, const TBitmap& Image, const TRect& R, uint32_t Step,
                              int32_t Progress, TBlindSide Side)
{
    const auto [W, H, PW, PH, Band] = CalcEffectGeometry(R, int32_t(Step), Progress);
    const bool rows = Side == TBlindSide::Left || Side == TBlindSide::Right;
    std::vector<TRect> pieces;
    AddStripes(pieces, R, rows, (rows ? H : W) / Divisor(Band), Progress);
    AddBlindSlats(pieces, R, Side, rows ? PW : PH, Progress);
    DrawPieces(Display, Image, pieces);
}

template <size_t N>
void DrawPolygon(TBitmap& Display, const TBitmap& Image, const std::array<TPoint, N>& Points)
{
    DrawImageThrough(Display, Image, CreatePolygonRgn(Points.data(), int(N)));
}

// One full turn at Progress 100: 3.6 degrees per percent.
long double TurnAngle(int32_t Progress) { return Progress * std::numbers::pi_v<long double> / 50; }

} // namespace

void AddBlindSlats(std::vector<TRect>& Pieces, const TRect& R, TBlindSide Side, int32_t P, int32_t Progress)
{
    if (P <= 0)
        return;
    const int32_t w = P * Progress / 100;
    const int32_t W = R.Right - R.Left, H = R.Bottom - R.Top;
    TRect S = R;
    switch (Side) {
    case TBlindSide::Left:
        S.Right = w;
        AddComb(Pieces, S, P, 0, [W](const TRect& s) { return s.Left < W; });
        break;
    case TBlindSide::Top:
        S.Bottom = w;
        AddComb(Pieces, S, 0, P, [H](const TRect& s) { return s.Top < H; });
        break;
    case TBlindSide::Right:
        S.Left = R.Right - w;
        AddComb(Pieces, S, -P, 0, [](const TRect& s) { return s.Right >= 0; });
        break;
    case TBlindSide::Bottom:
        S.Top = R.Bottom - w;
        AddComb(Pieces, S, 0, -P, [](const TRect& s) { return s.Bottom >= 0; });
        break;
    }
}

void AddStripes(std::vector<TRect>& Pieces, const TRect& R, bool Rows, int32_t P, int32_t Progress)
{
    if (P <= 0)
        return;
    const int32_t d = P * Progress / 200;
    const int32_t W = R.Right - R.Left, H = R.Bottom - R.Top;
    TRect S = R;
    if (Rows) {
        OffsetRect(S, 0, P / 2);
        S.Bottom = S.Top + d;
        S.Top -= d;
        AddComb(Pieces, S, 0, P, [H](const TRect& s) { return s.Top < H; });
    } else {
        OffsetRect(S, P / 2, 0);
        S.Right = S.Left + d;
        S.Left -= d;
        AddComb(Pieces, S, P, 0, [W](const TRect& s) { return s.Left < W; });
    }
}

namespace {

// The rectangular shred's grid: (n + 1)^2 rectangles, 2 PW x 2 PH each,
// centred on the points (j * W, i * H), i, j = 0 .. n; none while PW or PH
// is 0. The half-sizes come from the full Band, the cells from half of it,
// so the rectangles about fill their cells near the end.
struct TShredGrid {
    int32_t N, W, H, PW, PH;

    explicit TShredGrid(const TEffectGeometry& g)
        : N(g.Band > 1 ? g.Band / 2 : 1), W(g.W / N), H(g.H / N), PW(g.PW / Divisor(g.Band)),
          PH(g.PH / Divisor(g.Band))
    {
    }
    bool Empty() const { return PW <= 0 || PH <= 0; }

    // Whether position a (0 or more) lies in a rectangle of some grid row
    // (cell H, half size PH) or column (W, PW): the last one starting at or
    // before a reaches furthest.
    bool Covers(int32_t a, int32_t cell, int32_t half) const
    {
        const int32_t i = cell > 0 ? std::min(N, (a + half) / cell) : N;
        return a < i * cell + half;
    }
};

} // namespace

std::vector<TRect> RectangularShredPieces(const TRect& R, uint32_t Step, int32_t Progress)
{
    const TShredGrid g(CalcEffectGeometry(R, int32_t(Step), Progress));
    std::vector<TRect> pieces;
    if (g.Empty())
        return pieces; // every rectangle is still empty
    pieces.reserve(size_t(g.N + 1) * size_t(g.N + 1));
    for (int32_t i = g.N; i >= 0; --i)
        for (int32_t j = g.N; j >= 0; --j)
            pieces.push_back(Rect(j * g.W - g.PW, i * g.H - g.PH, j * g.W + g.PW, i * g.H + g.PH));
    return pieces;
}

void RotatePoints(std::span<TPoint> Points, int32_t CX, int32_t CY, long double Angle)
{
    const long double s = std::sin(Angle), c = std::cos(Angle);
    for (TPoint& p : Points) {
        const long double dx = int64_t{p.X} - CX, dy = int64_t{p.Y} - CY;
        // lrint rounds halves to even under the default rounding mode.
        p.X = int32_t(CX + std::lrint(dx * c - dy * s));
        p.Y = int32_t(CY + std::lrint(dx * s + dy * c));
    }
}

std::array<TPoint, 4> RotationalRectanglePoints(const TRect& R, uint32_t Step, int32_t Progress)
{
    const auto [W, H, PW, PH, Band] = CalcEffectGeometry(R, int32_t(Step), Progress);
    const int32_t mx = W / 2, my = H / 2, a = PW / 2, b = PH / 2;
    std::array<TPoint, 4> points{{{mx - a, my - b}, {mx + a, my - b}, {mx + a, my + b}, {mx - a, my + b}}};
    RotatePoints(points, mx, my, TurnAngle(Progress));
    return points;
}

// Tips twice the progressed size out from the centre, inner corners at half.
std::array<TPoint, 8> RotationalStarPoints(const TRect& R, uint32_t Step, int32_t Progress)
{
    const auto [W, H, PW, PH, Band] = CalcEffectGeometry(R, int32_t(Step), Progress);
    const int32_t mx = W / 2, my = H / 2, a = PW / 2, b = PH / 2;
    std::array<TPoint, 8> points{{{mx - 2 * PW, my},
                                  {mx - a, my - b},
                                  {mx, my - 2 * PH},
                                  {mx + a, my - b},
                                  {mx + 2 * PW, my},
                                  {mx + a, my + b},
                                  {mx, my + 2 * PH},
                                  {mx - a, my + b}}};
    RotatePoints(points, mx, my, TurnAngle(Progress));
    return points;
}

// 136-141: in 136 and 137 Band is about the number of slats; in 138-141 the
// period is the progressed size, many narrow slats early and a few wide ones
// late.

void BlindVertically(TBitmap& Display, const TBitmap& Image, const TRect& R, uint32_t Step, int32_t Progress)
{
    const auto [W, H, PW, PH, Band] = CalcEffectGeometry(R, int32_t(Step), Progress);
    DrawBlinds(Display, Image, R, TBlindSide::Left, W / Divisor(Band), Progress);
}

void BlindHorizontally(TBitmap& Display, const TBitmap& Image, const TRect& R, uint32_t Step, int32_t Progress)
{
    const auto [W, H, PW, PH, Band] = CalcEffectGeometry(R, int32_t(Step), Progress);
    DrawBlinds(Display, Image, R, TBlindSide::Top, H / Divisor(Band), Progress);
}

void UnevenBlindFromLeft(TBitmap& Display, const TBitmap& Image, const TRect& R, uint32_t Step, int32_t Progress)
{
    DrawBlinds(Display, Image, R, TBlindSide::Left, CalcEffectGeometry(R, int32_t(Step), Progress).PW, Progress);
}

void UnevenBlindFromRight(TBitmap& Display, const TBitmap& Image, const TRect& R, uint32_t Step, int32_t Progress)
{
    DrawBlinds(Display, Image, R, TBlindSide::Right, CalcEffectGeometry(R, int32_t(Step), Progress).PW, Progress);
}

void UnevenBlindFromTop(TBitmap& Display, const TBitmap& Image, const TRect& R, uint32_t Step, int32_t Progress)
{
    DrawBlinds(Display, Image, R, TBlindSide::Top, CalcEffectGeometry(R, int32_t(Step), Progress).PH, Progress);
}

void UnevenBlindFromBottom(TBitmap& Display, const TBitmap& Image, const TRect& R, uint32_t Step,
                           int32_t Progress)
{
    DrawBlinds(Display, Image, R, TBlindSide::Bottom, CalcEffectGeometry(R, int32_t(Step), Progress).PH,
               Progress);
}

void RectangularShred(TBitmap& Display, const TBitmap& Image, const TRect& R, uint32_t Step, int32_t Progress)
{
    DrawPieces(Display, Image, RectangularShredPieces(R, Step, Progress));
}

// Composed row by row. Every rectangle of a grid row covers the same rows,
// every one of a grid column the same columns, so their union is the rows
// some grid row covers across the columns some grid column covers: one comb
// of spans, the same on every row it is on.
void ComposeRectangularShred(TBitmap& Display, const TBitmap& Old, const TBitmap& Image, const TRect& R,
                             uint32_t Step, int32_t Progress)
{
    const TShredGrid g(CalcEffectGeometry(R, int32_t(Step), Progress));
    const int32_t width = Display.Width();
    // The comb's spans cut to the row; neighbours that touch are one.
    std::vector<std::pair<int32_t, int32_t>> spans;
    if (!g.Empty())
        for (int32_t j = 0; j <= g.N; ++j) {
            const int32_t x1 = std::max(j * g.W - g.PW, 0), x2 = std::min(j * g.W + g.PW, width);
            if (x1 >= x2)
                continue;
            if (!spans.empty() && spans.back().second >= x1)
                spans.back().second = std::max(spans.back().second, x2);
            else
                spans.emplace_back(x1, x2);
        }
    ComposeRows(Display, [&](int32_t top, int32_t bottom) {
        for (int32_t y = top; y < bottom; ++y)
            ComposeRow(Display, Old, Image, y, [&](const auto& span) {
                if (g.Covers(y, g.H, g.PH))
                    for (const auto& [x1, x2] : spans)
                        span(x1, x2);
            });
    });
}

void RectanglesFromLeftToRight(TBitmap& Display, const TBitmap& Image, const TRect& R, uint32_t Step,
                               int32_t Progress)
{
    DrawTravellingRectangles(Display, Image, R, Step, Progress, TBlindSide::Left);
}

void RectanglesFromRightToLeft(TBitmap& Display, const TBitmap& Image, const TRect& R, uint32_t Step,
                               int32_t Progress)
{
    DrawTravellingRectangles(Display, Image, R, Step, Progress, TBlindSide::Right);
}

void RectanglesFromTopToBottom(TBitmap& Display, const TBitmap& Image, const TRect& R, uint32_t Step,
                               int32_t Progress)
{
    DrawTravellingRectangles(Display, Image, R, Step, Progress, TBlindSide::Top);
}

void RectanglesFromBottomToTop(TBitmap& Display, const TBitmap& Image, const TRect& R, uint32_t Step,
                               int32_t Progress)
{
    DrawTravellingRectangles(Display, Image, R, Step, Progress, TBlindSide::Bottom);
}

void RotationalRectangle(TBitmap& Display, const TBitmap& Image, const TRect& R, uint32_t Step, int32_t Progress)
{
    DrawPolygon(Display, Image, RotationalRectanglePoints(R, Step, Progress));
}

void RotationalStar(TBitmap& Display, const TBitmap& Image, const TRect& R, uint32_t Step, int32_t Progress)
{
    DrawPolygon(Display, Image, RotationalStarPoints(R, Step, Progress));
}

} // namespace mirel
