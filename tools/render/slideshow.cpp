#include "tools/render/slideshow.h"

#include "effects/catalogue.h"
#include "effects/random.h"
#include "tools/render/options.h"
#include "tools/render/picture_io.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <stdexcept>

namespace mirel {

namespace {

// The style the show plays its first picture with: the widget's default.
constexpr int FirstStyle = 51;

bool IsDirectory(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsRegular(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

} // namespace

bool IsPictureName(std::string_view name)
{
    const size_t dot = name.find_last_of('.');
    if (dot == std::string_view::npos)
        return false;
    std::string ext(name.substr(dot + 1));
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return ext == "jpg" || ext == "jpeg" || ext == "png" || ext == "bmp" || ext == "ico" || ext == "webp";
}

std::vector<std::string> ListPictures(const std::string& folder)
{
    DIR* dir = opendir(folder.c_str());
    if (!dir)
        throw std::runtime_error(folder + ": no such folder");
    std::vector<std::string> names;
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name[0] != '.' && IsPictureName(name) && IsRegular(folder + "/" + name))
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
        if (IsDirectory(input)) {
            for (const std::string& name : ListPictures(input))
                slides.push_back({input + "/" + name, name});
            continue;
        }
        if (!IsRegular(input))
            throw std::runtime_error(input + ": no such folder or file");
        if (IsPictureName(input)) {
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
    TBitmap current, next, loaded;
    int32_t w = show.Width, h = show.Height;
    const int64_t holdFrames =
        std::max<int64_t>(1, std::llround(show.HoldSeconds * show.Sink.Rate.Num / show.Sink.Rate.Den));
    const int64_t transitionFrames = int64_t(TransitionProgress(show.Step, false).size()) - 1;
    const int64_t framesPerPicture = transitionFrames + holdFrames;
    TSinkOptions sinkOptions = show.Sink;
    sinkOptions.TotalFrames = 1 + framesPerPicture * int64_t(order.size());
    TProgressBar bar("rendering", sinkOptions.TotalFrames);

    bool first = true;
    size_t transition = 0;
    for (const std::string& picture : order) {
        CheckInterrupted();
        try {
            LoadPicture(picture, loaded);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "mirel-render: %s (left out)\n", e.what());
            bar.Advance(framesPerPicture);
            continue;
        }
        if (!sink) {
            if (w <= 0 || h <= 0) {
                w = loaded.Width();
                h = loaded.Height();
            }
            sink = OpenFrameSink(show.Out, w, h, sinkOptions);
            current.SetSize(w, h);
            current.Fill(show.Background);
        }
        FitPicture(loaded, w, h, show.Fit, show.Background, next);
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
        std::fflush(stdout);
        PlayTransition(current, next, style, show.Step, false, [&](const TBitmap& frame, int32_t progress) {
            // The start frame repeats the last frame held; the end frame is the hold.
            if (progress == 100) {
                sink->Write(frame, 1 + holdFrames);
                bar.Advance(1 + holdFrames);
            } else if (progress > 0 || first) {
                sink->Write(frame, 1);
                bar.Advance();
            }
        });
        current.Swap(next);
        first = false;
    }
    if (!sink)
        throw std::runtime_error("no picture could be read");
    sink->Finish();
}

} // namespace mirel
