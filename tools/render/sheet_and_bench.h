// The contact sheet of all styles, and the per-style speed table.
#pragma once

#include "surface/bitmap.h"

#include <string>
#include <vector>

namespace mirel {

// Sample pictures: warm stripes (old) and cool rings (new), busy enough that
// every kind of transition shows.
void SamplePictures(int32_t w, int32_t h, TBitmap& old, TBitmap& image);

// Every style at progress in a labelled grid of 10 columns, written as PNG.
// Needs a QGuiApplication (for the labels' font).
void WriteContactSheet(const TBitmap& old, const TBitmap& image, int progress, const std::string& out);

// Times every frame (Step 4, progress 4 .. 96) of each style on w x h sample
// pictures and prints, tab-separated: number, name, milliseconds per frame
// (the median of several rounds) and that time over one full-frame copy
// timed in the same run; then "catalogue: median R, worst R (style K)".
void RunBenchmark(int32_t w, int32_t h, const std::vector<int>& styles);

} // namespace mirel
