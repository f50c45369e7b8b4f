// Whole transitions and slide shows as sequences of frames, and where the
// frames go: a folder of PNG files, or an animated GIF or a video encoded by
// the ffmpeg program.
#pragma once

#include "surface/bitmap.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace mirel {

class TFrameSink {
public:
    virtual ~TFrameSink() = default;
    // name: a file name for sinks that write one file a frame ("" for others).
    virtual void Write(const TBitmap& frame, const std::string& name) = 0;
    // Ends the output; throws when the encoder failed.
    virtual void Finish() = 0;
};

// By out's extension: ".gif", ".mp4", ".webm" and ".mkv" go through ffmpeg,
// anything else is a folder of PNG files. delayMs is the time a frame shows.
// Throws std::runtime_error with one line saying what is wrong.
std::unique_ptr<TFrameSink> OpenFrameSink(const std::string& out, int32_t width, int32_t height, int delayMs);

// The progress values of a transition as the widget steps it: from 0 (100
// with reverse) by step to 100 (0), the first and last included.
std::vector<int32_t> TransitionProgress(int step, bool reverse);

// Draws each frame of the transition from old to image (the same size) and
// hands it over with its progress.
void PlayTransition(const TBitmap& old, const TBitmap& image, int style, int step, bool reverse,
                    const std::function<void(const TBitmap& frame, int32_t progress)>& frame);

// How a picture is fitted into a frame of another size.
enum class TFit { Stretch, Aspect, Center };

// src fitted into a w x h frame on the background colour.
void FitPicture(const TBitmap& src, int32_t w, int32_t h, TFit fit, uint32_t background, TBitmap& out);

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
