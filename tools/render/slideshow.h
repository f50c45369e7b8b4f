// A slide-show video: the pictures of a folder in the show's order, each
// coming in with the style the show would choose, each held for a while.
#pragma once

#include "tools/render/frames.h"

#include <string>
#include <vector>

namespace mirel {

// The picture files of folder as the show lists them: *.jpg, *.jpeg, *.bmp,
// *.ico, *.emf, *.wmf in any case, regular files that are not hidden, sorted
// by name without regard to case.
std::vector<std::string> ListPictures(const std::string& folder);

// The show's order of names: the first at show time, then one per tick. A
// tick takes the next name in the list, skipping the name shown at the tick
// before, so two names come as A, B, A, A, B, B, ...
std::vector<std::string> ShowOrder(const std::vector<std::string>& names, int ticks);

struct TSlideshow {
    std::string Folder, Out;
    double HoldSeconds = 3;
    uint32_t Seed = 0;
    int32_t Width = 0, Height = 0; // 0: the first picture's size
    TFit Fit = TFit::Aspect;
    uint32_t Background = clBlack;
    int Step = 4, DelayMs = 40;
};

// Renders the show: the first picture comes in from the background with
// style 51, every other one with Random(150) + 1 from the shared generator,
// seeded with Seed, exactly as the show draws them. Prints one line per
// transition to standard output: picture, style number and name. Pictures
// that cannot be read are reported on standard error and left out. Throws
// std::runtime_error.
void RenderSlideshow(const TSlideshow& show);

} // namespace mirel
