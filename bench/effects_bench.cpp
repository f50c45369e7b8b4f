// Time per frame of every style at 1920x1080 (or MIREL_BENCH_SIZE), and of
// one full-frame copy, the yardstick the styles are measured against
// (FrameCopy: the new picture over a Display just reset to the old one, as a
// frame meets it). Every frame starts with such a copy (the old picture into
// Display), so a style costing k copies makes a frame cost k + 1.
//
//   mirel_bench_effects --benchmark_filter='FrameCopy|Style/57$'
#include "effects/catalogue.h"
#include "effects/kernels.h"
#include "effects/random.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

using namespace mirel;

// MIREL_BENCH_SIZE=WxH draws at another size.
struct TSize {
    int32_t W = 1920, H = 1080;
    TSize()
    {
        if (const char* env = std::getenv("MIREL_BENCH_SIZE")) {
            int w = 0, h = 0;
            if (std::sscanf(env, "%dx%d", &w, &h) == 2 && w > 0 && h > 0 && w <= 16384 && h <= 16384) {
                W = w;
                H = h;
            }
        }
    }
};
const TSize Size;
const int32_t W = Size.W, H = Size.H;

void Pattern(TBitmap& bmp, uint32_t salt)
{
    for (int32_t y = 0; y < bmp.Height(); ++y)
        for (int32_t x = 0; x < bmp.Width(); ++x)
            bmp.SetPixel(x, y, 0xFF000000u | ((uint32_t(x) * 7 + uint32_t(y) * 13 + salt) & 0xFFFFFF));
}

struct TPictures {
    TBitmap Old{W, H}, New{W, H}, Display{W, H};
    TPictures()
    {
        Pattern(Old, 0);
        Pattern(New, 0x5A5A5A);
    }
};

TPictures& Pictures()
{
    static TPictures pictures;
    return pictures;
}

void BM_FullFrameCopy(benchmark::State& state)
{
    TPictures& p = Pictures();
    for (auto _ : state) {
        p.Display.Canvas().DrawBitmap(0, 0, p.Old);
        benchmark::DoNotOptimize(p.Display.Bits());
    }
}
BENCHMARK(BM_FullFrameCopy)->Name("Copy")->Unit(benchmark::kMillisecond);

// The same copy in the conditions of an effect's frame: Display just reset to
// the old picture (outside the timing), then the whole new picture drawn over
// it. The copy above finds both its bitmaps in the cache from the round
// before; a frame reads the new picture after the reset has pushed it out.
void BM_FrameCopy(benchmark::State& state)
{
    TPictures& p = Pictures();
    for (auto _ : state) {
        state.PauseTiming();
        p.Display.Canvas().DrawBitmap(0, 0, p.Old);
        state.ResumeTiming();
        p.Display.Canvas().DrawBitmap(0, 0, p.New);
        benchmark::DoNotOptimize(p.Display.Bits());
    }
}

// The effect alone, over the progress values of a default transition
// (Step 4: 4, 8, ... 96), Display reset to the old picture outside the timing.
void BM_Style(benchmark::State& state)
{
    const int style = int(state.range(0));
    TPictures& p = Pictures();
    int32_t progress = 4;
    for (auto _ : state) {
        state.PauseTiming();
        p.Display.Canvas().DrawBitmap(0, 0, p.Old);
        progress = progress >= 96 ? 4 : progress + 4;
        state.ResumeTiming();
        Effects[style].Proc(p.Display, p.New, p.New.BoundsRect(), 4, progress);
        benchmark::DoNotOptimize(p.Display.Bits());
    }
    state.SetLabel(Effects[style].Name);
}

// The styles in five groups with the yardstick before each and after the
// last: on a shared machine a copy's time drifts by a third within a run,
// and the median of six measures it better than one.
[[maybe_unused]] const bool Registered = [] {
    constexpr int Groups = 5;
    for (int g = 0; g < Groups; ++g) {
        benchmark::RegisterBenchmark("FrameCopy", BM_FrameCopy)->Unit(benchmark::kMillisecond);
        const int first = 1 + g * MaxShowStyle / Groups, last = (g + 1) * MaxShowStyle / Groups;
        benchmark::RegisterBenchmark("Style", BM_Style)->DenseRange(first, last)->Unit(benchmark::kMillisecond);
    }
    benchmark::RegisterBenchmark("FrameCopy", BM_FrameCopy)->Unit(benchmark::kMillisecond);
    return true;
}();

// The fade and a pivot with each level of kernels this processor runs:
// Kernels/<style>/<level>, level 0 scalar, 1 SSE2, 2 AVX2.
void BM_Kernels(benchmark::State& state)
{
    const int style = int(state.range(0));
    const auto level = TKernelLevel(state.range(1));
    if (KernelsOf(level) == nullptr) {
        state.SkipWithError("not on this processor");
        return;
    }
    const TKernelLevel saved = Kernels().Level;
    SetKernelLevel(level);
    TPictures& p = Pictures();
    int32_t progress = 4;
    for (auto _ : state) {
        state.PauseTiming();
        p.Display.Canvas().DrawBitmap(0, 0, p.Old);
        progress = progress >= 96 ? 4 : progress + 4;
        state.ResumeTiming();
        Effects[style].Proc(p.Display, p.New, p.New.BoundsRect(), 4, progress);
        benchmark::DoNotOptimize(p.Display.Bits());
    }
    SetKernelLevel(saved);
    state.SetLabel(std::string(Effects[style].Name) + ", " + KernelLevelName(level));
}
BENCHMARK(BM_Kernels)->Name("Kernels")->ArgsProduct({{118, 119}, {0, 1, 2}})->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
