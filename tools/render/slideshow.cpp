#include "tools/render/slideshow.h"

#include "effects/catalogue.h"
#include "effects/random.h"
#include "tools/render/options.h"
#include "picture/fit.h"
#include "picture/load.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <random>
#include <stdexcept>

namespace mirel {

namespace {

// The style the show plays its first picture with: the widget's default.
constexpr int FirstStyle = 51;

bool IsRegular(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

} // namespace

bool IsPictureName(std::string_view name)
{
    return IsPictureFile(name);
}

std::vector<std::string> ListPictures(const std::string& folder)
{
    DIR* dir = opendir(folder.c_str());
    if (!dir)
        throw std::runtime_error(folder + (errno == ENOENT ? ": no such folder"
                                                           : ": cannot read the folder: " + std::string(std::strerror(errno))));
    std::vector<std::string> names;
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name[0] != '.' && IsPictureInFolder(folder + "/" + name) && IsRegular(folder + "/" + name))
            names.push_back(name);
    }
    closedir(dir);
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) { return NaturalLess(a, b); });
    return names;
}

std::vector<TSlide> CollectSlides(const std::vector<std::string>& inputs)
{
    std::vector<TSlide> slides;
    for (const std::string& input : inputs) {
        struct stat st;
        // "no such folder or file" only when there is none: one behind a
        // folder that cannot be read, or a loop of links, says why.
        if (stat(input.c_str(), &st) != 0)
            throw std::runtime_error(input + (errno == ENOENT ? ": no such folder or file"
                                                              : ": cannot reach it: " + std::string(std::strerror(errno))));
        if (S_ISDIR(st.st_mode)) {
            for (const std::string& name : ListPictures(input))
                slides.push_back({input + "/" + name, name});
            continue;
        }
        if (!S_ISREG(st.st_mode))
            throw std::runtime_error(input + ": not a folder, a picture or a list of pictures");
        if (IsPictureInFolder(input)) {
            slides.push_back({input, input});
            continue;
        }
        std::ifstream list(input);
        if (!list)
            throw std::runtime_error(input + ": cannot read the list");
        const size_t slash = input.find_last_of('/');
        const std::string base = slash == std::string::npos ? "" : input.substr(0, slash + 1);
        std::string line;
        size_t count = 0;
        while (std::getline(list, line)) {
            while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
                line.pop_back();
            if (line.empty() || line[0] == '#')
                continue;
            if (line.find('\0') != std::string::npos)
                throw std::runtime_error(input + ": not a list of pictures");
            slides.push_back({line[0] == '/' ? line : base + line, line});
            ++count;
        }
        if (count == 0)
            throw std::runtime_error(input + ": lists no picture");
    }
    return slides;
}

std::vector<std::string> ShowOrder(const std::vector<std::string>& names, int ticks)
{
    std::vector<std::string> order;
    if (names.empty())
        return order;
    const int count = int(names.size());
    int index = 0;
    std::string lastShown;
    for (int tick = 0; tick <= ticks; ++tick) {
        const std::string& current = names[size_t(index)];
        order.push_back(current);
        for (int skipped = 0; skipped < count; ++skipped) {
            index = (index + 1) % count;
            if (count < 2 || names[size_t(index)] != lastShown)
                break;
        }
        if (tick > 0) // the first picture comes at show time, not at a tick
            lastShown = current;
    }
    return order;
}

void TMotion::At(int64_t f, double& x, double& y, double& w, double& h) const
{
    const double t = Frames <= 1 ? 0 : double(std::clamp<int64_t>(f, 0, Frames - 1)) / double(Frames - 1);
    x = X0 + (X1 - X0) * t;
    y = Y0 + (Y1 - Y0) * t;
    w = W0 + (W1 - W0) * t;
    h = H0 + (H1 - H0) * t;
}

TMotion MakeMotion(uint32_t seed, int64_t index, int32_t canvasW, int32_t canvasH, int64_t frames)
{
    // Its own generator: the styles drawn from the shared one stay as the show draws them.
    std::mt19937 generator(seed * 2654435761u ^ uint32_t(index * 40503 + 1));
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    // Window sides as a share of the canvas: one end shows all of it (the
    // picture as fitted to the frame), the other zooms in by 6 to 12 %;
    // zooming in or out at random.
    const double wide = 1.0, close = 1.0 / (1.06 + 0.06 * unit(generator));
    const bool zoomIn = unit(generator) < 0.5;
    const double s0 = zoomIn ? wide : close, s1 = zoomIn ? close : wide;
    TMotion m{};
    m.W0 = canvasW * s0;
    m.H0 = canvasH * s0;
    m.W1 = canvasW * s1;
    m.H1 = canvasH * s1;
    // Anywhere the window fits; as each end lies inside, so does every window between (all linear).
    m.X0 = (canvasW - m.W0) * unit(generator);
    m.Y0 = (canvasH - m.H0) * unit(generator);
    m.X1 = (canvasW - m.W1) * unit(generator);
    m.Y1 = (canvasH - m.H1) * unit(generator);
    m.Frames = frames;
    return m;
}

namespace {

// One picture on its way through the show: fitted once, shown still or
// through its moving window.
struct TShown {
    TBitmap Canvas;
    TMotion Motion{};
    int64_t Frame = 0; // frames of its life shown so far
    bool Moving = false;

    // The picture as the frame at its current moment shows it.
    const TBitmap& View(int32_t w, int32_t h, TBitmap& scratch) const
    {
        if (!Moving)
            return Canvas;
        double x, y, ww, wh;
        Motion.At(Frame, x, y, ww, wh);
        ScaleArea(Canvas, x, y, ww, wh, w, h, scratch);
        return scratch;
    }
};

} // namespace

void RenderSlideshow(const TSlideshow& show)
{
    const std::vector<TSlide> slides = CollectSlides(show.Inputs);
    if (slides.empty())
        throw std::runtime_error(show.Inputs.front() + ": no picture to show");
    std::vector<std::string> paths;
    for (const TSlide& slide : slides)
        paths.push_back(slide.Path);
    const std::vector<std::string> order = ShowOrder(paths, int(paths.size()) - 1);
    const auto labelOf = [&](const std::string& path) {
        return std::find_if(slides.begin(), slides.end(), [&](const TSlide& s) { return s.Path == path; })->Label;
    };

    SetRandSeed(show.Seed);
    std::unique_ptr<TFrameSink> sink;
    int32_t w = show.Width, h = show.Height;
    const int64_t holdFrames =
        std::max<int64_t>(1, std::llround(show.HoldSeconds * show.Sink.Rate.Num / show.Sink.Rate.Den));
    const std::vector<int32_t> progress =
        TransitionProgress(TransitionFrames(show.TransitionSeconds, show.Sink.Rate), false);
    // The first frame of a transition is the picture before, already shown.
    const int64_t transitionFrames = int64_t(progress.size()) - 1;
    const int64_t framesPerPicture = transitionFrames + holdFrames;
    TSinkOptions sinkOptions = show.Sink;
    sinkOptions.TotalFrames = 1 + framesPerPicture * int64_t(order.size());
    TProgressBar bar("rendering", sinkOptions.TotalFrames);
    const double oversize = show.Motion ? TMotion::Oversize : 1.0;

    TShown current, next;
    TBitmap oldView, newView, display;
    bool first = true;
    size_t transition = 0;
    int64_t shownIndex = 0;
    for (const std::string& picture : order) {
        CheckInterrupted();
        try {
            LoadFitted(picture, w, h, show.Fit, show.Background, next.Canvas, oversize);
            if (w <= 0 || h <= 0) { // the first picture sets the size
                w = next.Canvas.Width();
                h = next.Canvas.Height();
                if (CapFrameSize(w, h, picture) || show.Motion)
                    LoadFitted(picture, w, h, show.Fit, show.Background, next.Canvas, oversize);
            }
        } catch (const std::exception& e) {
            std::fprintf(stderr, "mirel-render: %s (left out)\n", e.what());
            bar.Advance(framesPerPicture);
            continue;
        }
        if (!sink) {
            sink = OpenFrameSink(show.Out, w, h, sinkOptions);
            current.Canvas.SetSize(w, h);
            current.Canvas.Fill(show.Background);
        }
        next.Moving = show.Motion;
        next.Frame = 0;
        if (show.Motion)
            next.Motion = MakeMotion(show.Seed, shownIndex, next.Canvas.Width(), next.Canvas.Height(),
                                     2 * transitionFrames + holdFrames);
        ++shownIndex;
        // As the show does: the picture is loaded first, then the style drawn.
        int style = 0;
        if (!show.Styles.empty())
            style = show.Styles[transition % show.Styles.size()];
        else if (first)
            style = FirstStyle;
        if (style == 0)
            style = Random(MaxShowStyle) + 1;
        ++transition;
        std::printf("%s\t%d\t%s\n", labelOf(picture).c_str(), style, Effects[style].Name);
        FlushOutput();

        if (!show.Motion) {
            PlayTransition(current.Canvas, next.Canvas, style, show.Step, progress,
                           [&](const TBitmap& frame, size_t i) {
                               // The start frame repeats the last frame held; the end frame is the hold.
                               if (i + 1 == progress.size()) {
                                   sink->Write(frame, 1 + holdFrames);
                                   bar.Advance(1 + holdFrames);
                               } else if (i > 0 || first) {
                                   sink->Write(frame, 1);
                                   bar.Advance();
                               }
                           });
        } else {
            // Both pictures go on moving through the transition.
            for (size_t i = 0; i < progress.size(); ++i) {
                if (i == 0 && !first)
                    continue;
                CheckInterrupted();
                DrawEffectFrame(display, current.View(w, h, oldView), next.View(w, h, newView), style,
                                uint32_t(show.Step), progress[i]);
                sink->Write(display, 1);
                bar.Advance();
                ++current.Frame;
                ++next.Frame;
            }
            for (int64_t i = 0; i < holdFrames; ++i) {
                CheckInterrupted();
                sink->Write(next.View(w, h, newView), 1);
                bar.Advance();
                ++next.Frame;
            }
        }
        current.Canvas.Swap(next.Canvas);
        std::swap(current.Motion, next.Motion);
        std::swap(current.Frame, next.Frame);
        std::swap(current.Moving, next.Moving);
        first = false;
    }
    if (!sink)
        throw std::runtime_error("no picture could be read");
    sink->Finish();
}

} // namespace mirel
