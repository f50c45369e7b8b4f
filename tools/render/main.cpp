// mirel-render: draws transitions between pictures to PNG frames, animated
// GIFs and videos, headless, exactly as the transition widget draws them.
#include "effects/catalogue.h"
#include "effects/random.h"
#include "surface/parallel.h"
#include "tools/render/frames.h"
#include "tools/render/picture_io.h"
#include "tools/render/sheet_and_bench.h"
#include "tools/render/slideshow.h"

#include <QColor>
#include <QGuiApplication>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>

using namespace mirel;

namespace {

constexpr const char* Usage = R"(usage:
  mirel-render --list
  mirel-render --old A --new B --style S --progress P --out FRAME.png
  mirel-render --old A --new B --style S --out OUT [--step N] [--reverse] [--delay MS]
  mirel-render --slideshow FOLDER --out OUT [--hold SECONDS] [--seed N]
  mirel-render --contact-sheet SHEET.png [--progress P] [--old A --new B]
  mirel-render --bench [--size WxH] [--styles LIST] [--threads N]

Draws the transition from picture A (old) to picture B (new) exactly as the
transition widget draws it. Pictures are JPEG (upright by their Exif
orientation), PNG or BMP.

  --list            every style as NUMBER<TAB>NAME, 0 (Custom) to 150
  --style S         a number 1..150, a name from --list (any case), or
                    "random" (drawn from the shared generator, see --seed)
  --progress P      one frame at P percent: 0 is the old picture, 100 the new
  --out OUT         one frame (with --progress): a PNG file. A whole
                    transition or slide show, by OUT's extension: .gif
                    (looping), .mp4, .webm or .mkv (these need the ffmpeg
                    program), or else a folder of PNG files
  --frames DIR      the same as --out DIR
  --step N          percent per frame, 1..100 (default 4): 25 frames plus the
                    first; it also sets the band width of some styles
  --reverse         play the progress from 100 down to 0
  --delay MS        how long each frame shows, 10..10000 ms (default 40)
  --size WxH        the frame size (default: the new picture's, or for a
                    slide show the first picture's)
  --fit MODE        how pictures of another size fill a frame: stretch,
                    aspect (default: the largest fit, centred) or center
                    (own size, centred)
  --background C    colour around fitted pictures: a name or #rrggbb
                    (default black)
  --slideshow FOLDER
                    every picture of FOLDER in the show's order, each coming
                    in with the style the show would choose, then held;
                    prints picture, style and name per transition
  --hold SECONDS    how long a slide-show picture stays (default 3)
  --seed N          the generator's seed (default 0, as the show starts)
  --contact-sheet SHEET.png
                    every style at --progress (default 50) in one labelled
                    grid; sample pictures unless --old and --new are given
  --bench           milliseconds per frame of each style (default all) on
                    sample pictures of --size (default 1920x1080), and the
                    ratio to one full-frame copy
  --styles LIST     for --bench: numbers and ranges, e.g. 1-57,118
  --threads N       draw each frame's pixels on N threads, in bands (default
                    1); the frames are the same whatever N

examples:
  mirel-render --old a.jpg --new b.jpg --style "Circular reveal from centre" --out reveal.gif
  mirel-render --old a.jpg --new b.jpg --style 84 --progress 40 --out frame.png
  mirel-render --slideshow ~/Pictures/holiday --out holiday.mp4 --size 1920x1080

Bad input gets one line on standard error and exit status 2.
)";

// A one-line complaint and exit status 2.
[[noreturn]] void Fail(const std::string& message)
{
    std::fprintf(stderr, "mirel-render: %s\n", message.c_str());
    std::exit(2);
}

int ParseInt(const std::string& option, const std::string& text, int lo, int hi)
{
    size_t used = 0;
    long value = 0;
    try {
        value = std::stol(text, &used);
    } catch (const std::exception&) {
        used = 0;
    }
    if (used == 0 || used != text.size() || value < lo || value > hi)
        Fail(option + " takes a whole number from " + std::to_string(lo) + " to " + std::to_string(hi) +
             ", not '" + text + "'");
    return int(value);
}

int ParseStyle(const std::string& text)
{
    if (text == "random")
        return Random(MaxShowStyle) + 1;
    if (!text.empty() && text.find_first_not_of("0123456789") == std::string::npos)
        return ParseInt("--style", text, 1, MaxShowStyle);
    const std::optional<TShowStyle> style = StyleOfName(text);
    if (!style || *style == 0)
        Fail("unknown style '" + text + "' (see --list)");
    return *style;
}

void ParseSize(const std::string& text, int32_t& w, int32_t& h)
{
    const size_t x = text.find('x');
    if (x == std::string::npos)
        Fail("--size takes WIDTHxHEIGHT, not '" + text + "'");
    w = ParseInt("--size", text.substr(0, x), 1, 16384);
    h = ParseInt("--size", text.substr(x + 1), 1, 16384);
}

std::vector<int> ParseStyleList(const std::string& text)
{
    std::set<int> styles;
    size_t at = 0;
    while (at <= text.size()) {
        const size_t comma = text.find(',', at);
        const std::string item = text.substr(at, comma == std::string::npos ? std::string::npos : comma - at);
        const size_t dash = item.find('-');
        const int lo = ParseInt("--styles", item.substr(0, dash), 1, MaxShowStyle);
        const int hi = dash == std::string::npos ? lo : ParseInt("--styles", item.substr(dash + 1), lo, MaxShowStyle);
        for (int s = lo; s <= hi; ++s)
            styles.insert(s);
        if (comma == std::string::npos)
            break;
        at = comma + 1;
    }
    return {styles.begin(), styles.end()};
}

template <typename F>
auto OrFail(F&& f) -> decltype(f())
{
    try {
        return f();
    } catch (const std::exception& e) {
        Fail(e.what());
    }
}

void Load(const std::string& path, TBitmap& out)
{
    OrFail([&] { LoadPicture(path, out); });
}

} // namespace

int main(int argc, char** argv)
{
    std::map<std::string, std::string> opts;
    static const std::set<std::string> flags = {"--list", "--reverse", "--bench"};
    static const std::set<std::string> valued = {
        "--style", "--progress", "--step", "--old",  "--new",       "--out",           "--frames", "--delay",
        "--size",  "--fit",      "--background", "--slideshow", "--hold", "--seed", "--contact-sheet", "--styles",
        "--threads"};
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(Usage, stdout);
            return 0;
        }
        if (flags.count(arg)) {
            opts[arg] = "";
            continue;
        }
        if (!valued.count(arg))
            Fail("unknown option '" + arg + "' (see --help)");
        if (i + 1 >= argc)
            Fail(arg + " needs a value");
        opts[arg] = argv[++i];
    }
    const auto has = [&](const char* o) { return opts.count(o) != 0; };
    if (has("--frames")) {
        if (has("--out"))
            Fail("give --out or --frames, not both");
        opts["--out"] = opts["--frames"];
    }

    if (has("--list")) {
        for (int style = 0; style <= MaxShowStyle; ++style)
            std::printf("%d\t%s\n", style, Effects[style].Name);
        return 0;
    }

    const int step = has("--step") ? ParseInt("--step", opts["--step"], 1, 100) : 4;
    const int delay = has("--delay") ? ParseInt("--delay", opts["--delay"], 10, 10000) : 40;
    if (has("--threads"))
        SetDrawingThreads(ParseInt("--threads", opts["--threads"], 1, 64));
    const uint32_t seed = has("--seed") ? uint32_t(ParseInt("--seed", opts["--seed"], 0, 2147483647)) : 0;
    SetRandSeed(seed);
    int32_t width = 0, height = 0;
    if (has("--size"))
        ParseSize(opts["--size"], width, height);
    TFit fit = TFit::Aspect;
    if (has("--fit")) {
        const std::string f = opts["--fit"];
        if (f == "stretch")
            fit = TFit::Stretch;
        else if (f == "center")
            fit = TFit::Center;
        else if (f != "aspect")
            Fail("--fit takes stretch, aspect or center, not '" + f + "'");
    }
    uint32_t background = clBlack;
    if (has("--background")) {
        const QColor c = QColor::fromString(QString::fromStdString(opts["--background"]));
        if (!c.isValid())
            Fail("--background takes a colour name or #rrggbb, not '" + opts["--background"] + "'");
        background = 0xFF000000u | (c.rgb() & 0xFFFFFF);
    }

    if (has("--bench")) {
        if (!has("--size"))
            width = 1920, height = 1080;
        std::vector<int> styles;
        for (int s = 1; s <= MaxShowStyle; ++s)
            styles.push_back(s);
        if (has("--styles"))
            styles = ParseStyleList(opts["--styles"]);
        RunBenchmark(width, height, styles);
        return 0;
    }

    if (has("--contact-sheet")) {
        if (has("--old") != has("--new"))
            Fail("--contact-sheet takes both --old and --new, or neither");
        const int progress = has("--progress") ? ParseInt("--progress", opts["--progress"], 0, 100) : 50;
        // The labels' font needs a GUI application; the offscreen platform needs no display.
        if (qgetenv("QT_QPA_PLATFORM").isEmpty())
            qputenv("QT_QPA_PLATFORM", "offscreen");
        int qargc = 1;
        QGuiApplication app(qargc, argv);
        TBitmap old, image;
        if (has("--old")) {
            TBitmap loadedOld, loadedNew;
            Load(opts["--old"], loadedOld);
            Load(opts["--new"], loadedNew);
            FitPicture(loadedNew, loadedNew.Width(), loadedNew.Height(), fit, background, image);
            FitPicture(loadedOld, image.Width(), image.Height(), fit, background, old);
        } else {
            SamplePictures(320, 240, old, image);
        }
        OrFail([&] { WriteContactSheet(old, image, progress, opts["--contact-sheet"]); });
        return 0;
    }

    if (has("--slideshow")) {
        if (!has("--out"))
            Fail("--slideshow needs --out (see --help)");
        TSlideshow show;
        show.Folder = opts["--slideshow"];
        show.Out = opts["--out"];
        if (has("--hold")) {
            try {
                show.HoldSeconds = std::stod(opts["--hold"]);
            } catch (const std::exception&) {
                show.HoldSeconds = -1;
            }
            if (!(show.HoldSeconds >= 0 && show.HoldSeconds <= 3600))
                Fail("--hold takes seconds from 0 to 3600, not '" + opts["--hold"] + "'");
        }
        show.Seed = seed;
        show.Width = width;
        show.Height = height;
        show.Fit = fit;
        show.Background = background;
        show.Step = step;
        show.DelayMs = delay;
        OrFail([&] { RenderSlideshow(show); });
        return 0;
    }

    if (!has("--style") || !has("--old") || !has("--new") || !has("--out"))
        Fail("needs --old, --new, --style and --out (see --help)");
    const int style = ParseStyle(opts["--style"]);

    TBitmap loadedOld, loadedNew, old, image;
    Load(opts["--old"], loadedOld);
    Load(opts["--new"], loadedNew);
    if (width == 0) {
        width = loadedNew.Width();
        height = loadedNew.Height();
    }
    FitPicture(loadedOld, width, height, fit, background, old);
    FitPicture(loadedNew, width, height, fit, background, image);

    if (has("--progress")) {
        const int progress = ParseInt("--progress", opts["--progress"], 0, 100);
        TBitmap display;
        display.Assign(old);
        DrawEffectFrame(display, image, style, uint32_t(step), progress);
        OrFail([&] { SavePng(display, opts["--out"]); });
        return 0;
    }

    OrFail([&] {
        const std::unique_ptr<TFrameSink> sink = OpenFrameSink(opts["--out"], width, height, delay);
        const std::vector<int32_t> progress = TransitionProgress(step, has("--reverse"));
        TProgressBar bar("rendering", int64_t(progress.size()));
        PlayTransition(old, image, style, step, has("--reverse"), [&](const TBitmap& frame, int32_t p) {
            char name[32];
            std::snprintf(name, sizeof name, "progress-%03d.png", p);
            sink->Write(frame, name);
            bar.Advance();
        });
        sink->Finish();
    });
    return 0;
}
