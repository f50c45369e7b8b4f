#include "plugins/mixer/mixer.h"

#include "effects/catalogue.h"
#include "effects/random.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <memory>

namespace mirel::mixer {

namespace {
constexpr int FadeStyle = 118;

// The fourth byte of every pixel of frame (the fade kept A's) weighted as
// the fade weights the other three: (100 - percent) : percent of from's and
// to's. Blocks of a fixed length, which the vectoriser takes at -O2.
constexpr unsigned AlphaShift = std::endian::native == std::endian::little ? 24 : 0; // the fourth byte

inline uint32_t FadedAlpha(uint32_t frame, uint32_t from, uint32_t to, uint32_t keep, uint32_t take)
{
    const uint32_t v = keep * ((from >> AlphaShift) & 0xFFu) + take * ((to >> AlphaShift) & 0xFFu);
    // v div 100 for v up to 100 * 255, as the fade itself computes it.
    return (frame & ~(0xFFu << AlphaShift)) | ((v * 5243u) >> 19) << AlphaShift;
}

void FadeAlpha(uint32_t* __restrict frame, const uint32_t* __restrict from, const uint32_t* __restrict to,
               size_t count, int32_t percent)
{
    const uint32_t keep = uint32_t(100 - percent), take = uint32_t(percent);
    constexpr size_t Block = 8;
    const size_t blocks = count - count % Block;
    for (size_t i = 0; i < blocks; i += Block)
        for (size_t k = 0; k < Block; ++k)
            frame[i + k] = FadedAlpha(frame[i + k], from[i + k], to[i + k], keep, take);
    for (size_t i = blocks; i < count; ++i)
        frame[i] = FadedAlpha(frame[i], from[i], to[i], keep, take);
}

// The caller's frames, which it keeps alive across the drawing: shown
// without anyone to let go of them.
const std::shared_ptr<const void> Borrowed(static_cast<const void*>(&AlphaShift), [](const void*) {});
} // namespace

int ParseStyle(const std::string& text)
{
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return 0;
    const std::string trimmed = text.substr(first, text.find_last_not_of(" \t") - first + 1);
    if (std::all_of(trimmed.begin(), trimmed.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        if (trimmed.size() > 3)
            return 0;
        const int n = std::stoi(trimmed);
        return n >= 1 && n <= MaxShowStyle ? n : 0;
    }
    const auto style = StyleOfName(trimmed);
    return style ? int(*style) : 0; // "Custom" is 0 too: the mixer has no custom drawing
}

int32_t ProgressPercent(double progress)
{
    if (!(progress > 0)) // NaN too
        return 0;
    if (progress >= 1)
        return 100;
    return int32_t(std::lround(progress * 100));
}

uint32_t FrameSeed(double seed, int32_t percent)
{
    if (seed == 0 || std::isnan(seed))
        seed = 0; // one seed for 0, -0 and NaN
    uint64_t x;
    std::memcpy(&x, &seed, sizeof x);
    // splitmix64's finaliser over the seed's bits and the percent.
    x ^= uint64_t(uint32_t(percent)) * 0x9E3779B97F4A7C15ull;
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    x ^= x >> 31;
    return uint32_t(x ^ (x >> 32));
}

TMixer::TMixer(int32_t width, int32_t height) : width_(width), height_(height)
{
    CheckBitmapSize(width, height);
}

void TMixer::Render(const TMixerParams& params, const uint32_t* a, const uint32_t* b, uint32_t* out)
{
    const size_t count = size_t(width_) * size_t(height_);
    int32_t percent = ProgressPercent(params.Progress);
    // Reversed, the transition from B to A runs backwards: A leaves the way
    // B would have come in, and the ends still show A first and B last.
    const uint32_t* from = params.Reverse ? b : a;
    const uint32_t* to = params.Reverse ? a : b;
    if (params.Reverse)
        percent = 100 - percent;

    if (percent <= 0 || percent >= 100 || params.Style < 1 || params.Style > MaxShowStyle) {
        std::memcpy(out, percent >= 100 ? to : from, count * 4);
        return;
    }
    // Drawn straight into out from the two frames where they lie: in one pass
    // by the styles that compose their frame, over a copy of from by the rest.
    TBitmap old, image;
    old.ShowPixels(from, width_, height_, Borrowed);
    image.ShowPixels(to, width_, height_, Borrowed);
    TBitmap frame(out, width_, height_, width_);
    {
        const TRandomScope frameGenerator(FrameSeed(params.Seed, percent));
        DrawEffectFrame(frame, old, image, params.Style, uint32_t(std::clamp(params.Step, 1, 100)), percent);
    }
    if (params.Style == FadeStyle)
        FadeAlpha(out, from, to, count, percent);
}

} // namespace mirel::mixer
