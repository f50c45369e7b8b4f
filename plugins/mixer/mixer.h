// One transition between two video frames, as a video editor's mixer or a
// streaming program's transition asks for it: the frame at a given position
// of the transition from clip A (the outgoing one) to clip B, both RGBA
// frames of the same size.
//
// A frame is a pure function of the two inputs and the parameters. Nothing of
// a frame drawn before carries over, so hosts may render frames in any order,
// seek, and render with several mixers on several threads at once. The
// styles that draw random numbers draw them from a generator private to the
// frame, seeded from Seed and the progress (effects/random.h).
//
// Pixels go through as they come: the effects treat the four bytes of a
// pixel alike (the fade blends only three of them, and the mixer blends the
// fourth, the alpha, alongside), so RGBA frames need no conversion: the
// frame is drawn straight into the output from the two inputs.
#pragma once

#include "surface/bitmap.h"

#include <cstdint>
#include <string>

namespace mirel::mixer {

struct TMixerParams {
    int Style = 84;         // 1 .. 150
    double Progress = 0;    // 0 = clip A, 1 = clip B
    int Step = 4;           // percent, 1 .. 100: the band width of some styles
    bool Reverse = false;   // B comes in as A would go out, played backwards
    double Seed = 0;        // any value; different seeds give different random styles
};

// The style named by text: a number 1 .. 150 or a catalogue name in any case
// (surrounding blanks ignored); 0 when it names none.
int ParseStyle(const std::string& text);

// The percent a progress of 0 .. 1 stands for (rounded; out of range and NaN
// clamped).
int32_t ProgressPercent(double progress);

// The generator's seed for a frame of the given seed and percent.
uint32_t FrameSeed(double seed, int32_t percent);

class TMixer {
public:
    // Throws TBitmapError for a size that cannot be drawn.
    TMixer(int32_t width, int32_t height);

    int32_t Width() const { return width_; }
    int32_t Height() const { return height_; }

    // a, b and out hold Width() x Height() pixels each, rows top down. out may
    // not overlap a or b.
    void Render(const TMixerParams& params, const uint32_t* a, const uint32_t* b, uint32_t* out);

private:
    int32_t width_, height_;
};

} // namespace mirel::mixer
