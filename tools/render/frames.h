// Whole transitions and slide shows as sequences of frames, and where the
// frames go: a folder of PNG files, an animated GIF or WebP, or a video.
#pragma once

#include "picture/fit.h"
#include "surface/bitmap.h"
#include "tools/render/output.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace mirel {

// The frame rate as a fraction, frames per second = Num / Den.
struct TFrameRate {
    int Num = 25, Den = 1;
    double Seconds(int64_t frames) const { return double(frames) * Den / Num; }
};

class TFrameSink {
public:
    virtual ~TFrameSink() = default;
    // frame shows for repeat frame periods. Animations store a held frame
    // once with its longer time, videos repeat it, folders link it.
    virtual void Write(const TBitmap& frame, int64_t repeat = 1) = 0;
    // Completes the output and moves it into place; throws when that failed.
    // Without Finish the output is removed and an existing one kept.
    virtual void Finish() = 0;
};

struct TSinkOptions {
    TOverwrite Overwrite = TOverwrite::Ask;
    TFrameRate Rate;
    int PngCompression = 1; // zlib level 0 .. 9
    std::string Audio; // a music file for videos
    int64_t TotalFrames = 0; // the length, for the music's cut and fade
    // How a video whose chroma is halved gets the even sides it needs from
    // an odd frame size: a row and a column more, repeating the edge, or
    // one less. Either way it says so on standard error.
    enum class TOddSize { Pad, Crop } OddSize = TOddSize::Pad;
    // A video's encoder and its settings by FFmpeg's names; empty (or -1):
    // the container's own choice.
    std::string Codec, Preset, PixFmt;
    int Crf = -1;
};

// By out's kind (OutputKindOf). A single picture kind takes one frame only.
// Throws std::runtime_error with one line saying what is wrong.
std::unique_ptr<TFrameSink> OpenFrameSink(const std::string& out, int32_t width, int32_t height,
                                          const TSinkOptions& options);

// A transition's length by default: as long as the widget takes to step
// through it at step percent a frame, 25 frames a second, both pictures
// included (1.04 s for the default step of 4).
double DefaultTransitionSeconds(int step);

// The frames a transition of seconds takes at rate, its first and last (the
// pictures themselves) included: at least 2.
int64_t TransitionFrames(double seconds, TFrameRate rate);

// The progress of each of count frames, from 0 to 100 (100 to 0 with
// reverse) evenly in time, in the whole percents the catalogue draws: so a
// transition lasts as long at any frame rate, and a higher rate only makes
// it smoother (until neighbouring frames round to the same percent, past
// about 100 frames).
std::vector<int32_t> TransitionProgress(int64_t count, bool reverse);

// Draws the frame of the transition from old to image (the same size) at
// each progress and hands it over with its index. step: the band width.
void PlayTransition(const TBitmap& old, const TBitmap& image, int style, int step,
                    const std::vector<int32_t>& progress,
                    const std::function<void(const TBitmap& frame, size_t index)>& frame);

// Loads the picture at path and fits it into a w x h frame (w = 0: its own
// size); JPEGs are decoded at the smallest DCT scale that the frame (times
// oversize, for later zooming) still needs. Throws TDecodeError.
void LoadFitted(const std::string& path, int32_t w, int32_t h, TFitMode mode, uint32_t background, TBitmap& out,
                double oversize = 1);

// A frame size w x h taken from the picture at from, brought within
// MaxFrameSide on both sides with the picture's shape kept; says so on
// standard error when it changes it (and returns true).
bool CapFrameSize(int32_t& w, int32_t& h, const std::string& from);

// The old and the new picture of a transition, each fitted as LoadFitted
// fits it into one w x h frame; w = 0 makes the frame the new picture's own
// size (within MaxFrameSide, see CapFrameSize), and w and h become that size.
// Once the frame's size is known (given, or read from the new picture's
// header) the two load side by side, the old one on a thread of its own. Throws TDecodeError: the new picture's where
// both fail.
void LoadPair(const std::string& oldPath, const std::string& newPath, int32_t& w, int32_t& h, TFitMode mode,
              uint32_t background, TBitmap& old, TBitmap& image);

// CPU seconds of this thread, and of the whole process (user + system).
double ThreadCpuSeconds();
double ProcessCpuSeconds();
// CPU seconds this thread spent inside the encoder and muxer calls; the
// encoders' own threads count as encoder time too (see --benchmark).
double& EncoderCallSeconds();
// Frame periods written by every sink so far.
int64_t& FramesWritten();

// A bar on standard error for work that takes more than a second; silent
// when standard error is not a terminal.
class TProgressBar {
public:
    TProgressBar(std::string label, int64_t total);
    ~TProgressBar();
    void Advance(int64_t by = 1);

private:
    std::string label_;
    int64_t total_, done_ = 0;
    double start_;
    int shown_ = -1;
    bool tty_;
};

} // namespace mirel
