// A slide-show video: the pictures of folders, files or list files in the
// show's order, each coming in with the style the show would choose (or the
// styles asked for), each held for a while.
#pragma once

#include "tools/render/frames.h"

#include <string>
#include <vector>

namespace mirel {

// True for the names the loader reads, by extension in any case.
bool IsPictureName(std::string_view name);

// The picture files of folder: regular files with a picture extension that
// are not hidden, in natural order (2 before 10, case ignored).
std::vector<std::string> ListPictures(const std::string& folder);

struct TSlide {
    std::string Path; // to load
    std::string Label; // to print: the name inside a folder, else the path as given
};

// Every input in turn: a folder gives its pictures, a picture file itself,
// any other file is a list of pictures, one path a line (relative to the list
// file's folder; empty lines and lines starting with # are skipped).
// Throws std::runtime_error for an input that is missing or lists nothing.
std::vector<TSlide> CollectSlides(const std::vector<std::string>& inputs);

// The show's order of names: the first at show time, then one per tick. A
// tick takes the next name in the list, skipping the name shown at the tick
// before, so two names come as A, B, A, A, B, B, ...
std::vector<std::string> ShowOrder(const std::vector<std::string>& names, int ticks);

struct TSlideshow {
    std::vector<std::string> Inputs;
    std::string Out;
    double HoldSeconds = 3;
    uint32_t Seed = 0;
    std::vector<int> Styles; // cycled; 0 draws at random; empty: the show's choice
    int32_t Width = 0, Height = 0; // 0: the first picture's size
    TFitMode Fit = TFitMode::Aspect;
    bool Motion = false; // a slow pan and zoom over each picture, from Seed
    uint32_t Background = clBlack;
    int Step = 4; // the band width
    double TransitionSeconds = 1.04; // each transition's length, both pictures included
    TSinkOptions Sink;
};

// A slow pan and zoom over a picture fitted to the frame: the window that
// is shown moves in a straight line and grows or shrinks steadily over the
// picture's life of Frames frames, never leaving the picture.
struct TMotion {
    // The fitted picture's size over the frame's. At 1 a window is never
    // larger than the frame, so showing it only magnifies (by up to 12 %),
    // which resamples bilinearly at about 10 ms a 1080p frame; a larger
    // canvas would shrink as well, through a separable convolution some
    // twenty times slower.
    static constexpr double Oversize = 1.0;
    double X0, Y0, W0, H0, X1, Y1, W1, H1; // windows at the start and the end, in canvas pixels
    int64_t Frames;
    // The window at frame f of the picture's life (clamped to the end).
    void At(int64_t f, double& x, double& y, double& w, double& h) const;
};
// The motion of picture number index over a canvas of canvasW x canvasH,
// drawn from seed and index only.
TMotion MakeMotion(uint32_t seed, int64_t index, int32_t canvasW, int32_t canvasH, int64_t frames);

// Renders the show: without Styles the first picture comes in from the
// background with style 51 and every other with Random(150) + 1 from the
// shared generator seeded with Seed, exactly as the show draws them. Prints
// one line per transition to standard output: picture, style number and
// name. Pictures that cannot be read are reported on standard error and left
// out. Throws std::runtime_error.
void RenderSlideshow(const TSlideshow& show);

} // namespace mirel
