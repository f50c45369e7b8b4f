#include "tools/render/slideshow.h"

#include "effects/catalogue.h"
#include "effects/random.h"
#include "tools/render/picture_io.h"

#include <QDir>

#include <cmath>
#include <cstdio>
#include <stdexcept>

namespace mirel {

namespace {

// The style the show plays its first picture with: the widget's default.
constexpr int FirstStyle = 51;

} // namespace

std::vector<std::string> ListPictures(const std::string& folder)
{
    const QDir dir(QString::fromStdString(folder));
    if (!dir.exists())
        throw std::runtime_error(folder + ": no such folder");
    const QStringList names =
        dir.entryList({"*.jpg", "*.jpeg", "*.bmp", "*.ico", "*.emf", "*.wmf"}, QDir::Files,
                      QDir::Name | QDir::IgnoreCase);
    std::vector<std::string> out;
    for (const QString& n : names)
        out.push_back(n.toStdString());
    return out;
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
    const std::vector<std::string> names = ListPictures(show.Folder);
    if (names.empty())
        throw std::runtime_error(show.Folder + ": no picture to show");
    const std::vector<std::string> order = ShowOrder(names, int(names.size()) - 1);

    SetRandSeed(show.Seed);
    std::unique_ptr<TFrameSink> sink;
    TBitmap current, next, loaded;
    int32_t w = show.Width, h = show.Height;
    const int holdFrames = std::max(1, int(std::lround(show.HoldSeconds * 1000 / show.DelayMs)));
    const int64_t framesPerPicture = int64_t(TransitionProgress(show.Step, false).size()) + holdFrames;
    TProgressBar bar("rendering", framesPerPicture * int64_t(order.size()));
    int64_t written = 0;
    const auto write = [&](const TBitmap& frame) {
        char name[32];
        std::snprintf(name, sizeof name, "frame-%05lld.png", static_cast<long long>(written++));
        sink->Write(frame, name);
        bar.Advance();
    };

    bool first = true;
    for (const std::string& picture : order) {
        try {
            LoadPicture(show.Folder + "/" + picture, loaded);
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
            sink = OpenFrameSink(show.Out, w, h, show.DelayMs);
            current.SetSize(w, h);
            current.Fill(show.Background);
        }
        FitPicture(loaded, w, h, show.Fit, show.Background, next);
        // As the show does: the picture is loaded first, then the style drawn.
        const int style = first ? FirstStyle : Random(MaxShowStyle) + 1;
        std::printf("%s\t%d\t%s\n", picture.c_str(), style, Effects[style].Name);
        PlayTransition(current, next, style, show.Step, false, [&](const TBitmap& frame, int32_t progress) {
            if (progress > 0 || first) // the start frame repeats the last frame held
                write(frame);
        });
        for (int i = 0; i < holdFrames; ++i)
            write(next);
        current.Swap(next);
        first = false;
    }
    if (!sink)
        throw std::runtime_error(show.Folder + ": no picture could be read");
    sink->Finish();
}

} // namespace mirel
