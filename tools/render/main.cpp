// mirel-render: draws transitions between pictures to PNG frames, animated
// GIFs and videos, headless, exactly as the transition widget draws them.
#include "effects/catalogue.h"
#include "effects/random.h"
#include "picture/load.h"
#include "picture/qt/qt_formats.h"
#include "surface/parallel.h"
#include "tools/render/frames.h"
#include "tools/render/gallery.h"
#include "tools/render/options.h"
#include "tools/render/output.h"
#include "tools/render/stills.h"
#include "tools/render/sheet_and_bench.h"
#include "tools/render/slideshow.h"

#include <QColor>
#include <QFile>
#include <QGuiApplication>

#include <unistd.h>

#include <cstdio>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>

using namespace mirel;

namespace {

constexpr const char* Usage = R"(usage:
  mirel-render --list
  mirel-render --old A --new B --style S --progress P --out FRAME.png|.jpg|.webp|.gif
  mirel-render --old A --new B --style S --out OUT [--duration S] [--step N] [--reverse] [--fps N]
               [--hold S]
  mirel-render --slideshow INPUT [--slideshow INPUT ...] --out OUT [--hold S] [--style LIST]
               [--audio MUSIC] [--seed N]
  mirel-render --gallery DIR [--old A --new B]
  mirel-render --contact-sheet SHEET.png [--progress P] [--old A --new B]
  mirel-render --bench [--size WxH] [--styles LIST] [--threads N]

Draws the transition from picture A (old) to picture B (new) exactly as the
transition widget draws it. Pictures are JPEG (upright by their Exif
orientation), PNG, WebP, BMP or ICO. Options take their value as the next
argument or after '=' (--fps=30).

output
  --out OUT         what OUT's name asks for. One frame (with --progress):
                    .png, .jpg/.jpeg, .webp or .gif. A transition or slide
                    show: .mp4, .mkv, .mov (H.264), .webm (VP9), .avi
                    (MPEG-4), .gif or .webp (animated, looping), or a folder
                    (a name ending in / or an existing folder) of
                    frame-00000.png, frame-00001.png, ... for
                    ffmpeg -i DIR/frame-%05d.png. Anything else is refused.
                    The output appears only when complete; an interrupted run
                    (Ctrl-C, SIGTERM, a hang-up) leaves nothing behind, and
                    exits 130/143/129
  --frames DIR      the same as --out DIR
  -y, --overwrite   replace an existing output (a folder: its frame files)
  -n, --no-overwrite
                    never replace one (the default, but silent about -y)
  --png-compression N
                    zlib level for PNG frames, 0..9 (default 1: fast; 9 is
                    smallest)
  --codec NAME      a video's encoder by FFmpeg's name, where its container
                    takes it and FFmpeg has it: libx264 (.mp4 .mkv .mov
                    default), libx265, libvpx-vp9 (.webm default),
                    libaom-av1, libsvtav1, prores_ks (.mov, for editors),
                    mpeg4 (.avi default)
  --crf N           the encoder's constant quality, lower is better: 0..51
                    for libx264/libx265 (default 18/20), 0..63 for VP9 and
                    AV1 (default 32)
  --preset NAME     the encoder's speed against size: ultrafast .. placebo
                    for libx264/libx265 (default medium), cpu-used -8..8 for
                    VP9 (4), 0..8 for libaom-av1 (6), 0..13 for libsvtav1
                    (8); prores_ks's profile: proxy, lt, standard, hq
                    (default), 4444, 4444xq
  --pix-fmt NAME    yuv420p (default; yuv422p10le for prores_ks), yuv422p,
                    yuv444p, yuv420p10le, yuv422p10le, yuv444p10le, where
                    the encoder takes it. Video has a key frame every 2 s

transition
  --list            every style as NUMBER<TAB>NAME, 0 (Custom) to 150
  --style S         a number 1..150, a name from --list (any case), or
                    "random" (drawn from the shared generator, see --seed);
                    with --slideshow a comma list that cycles, e.g. 84,118
  --progress P      one frame at P percent: 0 is the old picture, 100 the new
  --duration SECONDS
                    how long a transition lasts, both pictures included, at
                    any frame rate (default: as long as --step takes at 25
                    frames a second, 1.04 s for 4)
  --step N          the band width of some styles, in percent, 1..100
                    (default 4); without --duration also the length, as the
                    widget steps N percent a frame: 100/N frames plus the first
                    at 25 frames a second
  --reverse         play the progress from 100 down to 0
  --fps N, -r N     frames per second, 1..240: 25, 29.97 or 30000/1001
                    (default 25); more frames make the same transition smoother
  --delay MS        how long each frame shows, 10..10000 ms (another way to
                    give --fps)
  --hold SECONDS    how long the pictures stay: for one transition before and
                    after it (default 0, for .gif and .webp 1); for a slide
                    show each picture after its transition (default 3)
  --size WxH        the frame size, up to 16384x16384 (default: the new
                    picture's, or for a slide show the first picture's, made
                    to fit 16384x16384 with a note if larger)
  --fit MODE        how pictures of another size fill a frame: aspect
                    (default: the largest fit, centred, on the background),
                    fill (cover the frame, the overhang cut off), blur (aspect
                    over a blurred, darkened fill), stretch, or center (own
                    size, centred)
  --background C    colour around fitted pictures: a name or #rrggbb
                    (default black)
  --odd-size pad|crop
                    a video's chroma is halved, so its sides must be even:
                    an odd frame size gets a row or column more repeating
                    its edge (pad, the default) or one less (crop), with a
                    note; GIF, WebP and frame folders keep any size

slide show
  --slideshow INPUT a folder (its pictures in natural order: 2 before 10), a
                    picture, or a text file listing pictures one a line;
                    may be given several times. Each picture comes in with
                    the style the show would choose (or --style), then is
                    held; prints picture, style and name per transition
  --seed N          the generator's seed (default 0, as the show starts)
  --motion          a slow pan and zoom over each picture (from --seed)
  --audio MUSIC     a music track for a video, cut to its length and faded
                    out at the end

other
  --gallery DIR     DIR/index.html: one self-contained page with an animated
                    preview of every style, its number and name, filterable
                    by family and by name (the show's first two pictures
                    unless --old and --new are given)
  --contact-sheet SHEET.png
                    every style at --progress (default 50) in one labelled
                    grid; sample pictures unless --old and --new are given
  --bench           milliseconds per frame of each style (default all) on
                    sample pictures of --size (default 1920x1080), and its
                    ratio to full-frame copies, one timed before each frame
  --styles LIST     for --bench: numbers and ranges, e.g. 1-57,118
  --threads N       draw each frame's pixels on N threads, in bands (default
                    1); the frames are the same whatever N
  --benchmark       print the CPU time in the encoder and outside it, and
                    the frames per second, when done
  --version         the version

examples:
  mirel-render --old a.jpg --new b.jpg --style "Circular reveal from centre" --out reveal.gif
  mirel-render --old a.jpg --new b.jpg --style 84 --progress 40 --out frame.jpg
  mirel-render --old a.jpg --new b.jpg --style fade --hold 2 --fps 30 --out fade.mp4
  mirel-render --slideshow ~/Pictures/holiday --out holiday.mp4 --size 1920x1080 --audio song.mp3
  mirel-render --slideshow day1 --slideshow day2 --style 84,118,"Push left" --out trip.mkv
  mirel-render --old a.jpg --new b.jpg --style 84 --out frames/ && ffmpeg -i frames/frame-%05d.png out.mp4

Bad input and failures get one line on standard error and exit status 2,
also a write error such as a full disk or a closed pipe; the partial output
is removed.
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

double ParseSeconds(const std::string& option, const std::string& text, double lo, double hi)
{
    double value = -1;
    try {
        size_t used = 0;
        value = std::stod(text, &used);
        if (used != text.size())
            value = -1;
    } catch (const std::exception&) {
        value = -1;
    }
    if (!(value >= lo && value <= hi)) {
        char range[64];
        std::snprintf(range, sizeof range, "%g to %g", lo, hi);
        Fail(option + " takes seconds from " + range + ", not '" + text + "'");
    }
    return value;
}

void ParseSize(const std::string& text, int32_t& w, int32_t& h)
{
    const size_t x = text.find('x');
    if (x == std::string::npos)
        Fail("--size takes WIDTHxHEIGHT, not '" + text + "'");
    w = ParseInt("--size", text.substr(0, x), 1, MaxFrameSide);
    h = ParseInt("--size", text.substr(x + 1), 1, MaxFrameSide);
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


// The output's kind, checked before any work: a known kind, fit for one frame
// or for many, and not an existing file unless -y.
TOutputKind CheckOutput(const std::string& out, const TSinkOptions& sink, bool oneFrame)
{
    const TOutputKind kind = OutputKindOf(out);
    const bool picture = kind == TOutputKind::Png || kind == TOutputKind::Jpeg;
    if (oneFrame && kind != TOutputKind::Png && kind != TOutputKind::Jpeg && kind != TOutputKind::WebP &&
        kind != TOutputKind::Gif)
        throw std::runtime_error(out + ": one frame goes to a .png, .jpg, .webp or .gif file");
    if (!oneFrame && picture)
        throw std::runtime_error(out + ": a whole transition goes to a folder, .gif, .webp or a video "
                                       "(.mp4, .mkv, .webm, .mov, .avi); one frame: give --progress");
    if (!sink.Audio.empty() && !IsVideo(kind))
        throw std::runtime_error(out + ": music goes with videos only (.mp4, .mkv, .webm, .mov, .avi)");
    if ((!sink.Codec.empty() || !sink.Preset.empty() || !sink.PixFmt.empty() || sink.Crf >= 0) && !IsVideo(kind))
        throw std::runtime_error(out + ": --codec, --crf, --preset and --pix-fmt go with videos only "
                                       "(.mp4, .mkv, .webm, .mov, .avi)");
    if (!sink.Audio.empty())
        close(OpenRegularFile(sink.Audio)); // refused now rather than after the pictures are read
    if (kind != TOutputKind::Folder)
        CheckOverwrite(out, sink.Overwrite);
    return kind;
}

// Runs the work; every failure is one line and status 2, an interruption
// status 128 + the signal's number, with the partial output removed.
int Run(const std::function<void()>& work, bool benchmark)
{
    try {
        const auto start = std::chrono::steady_clock::now();
        work();
        if (benchmark) {
            // Whatever ran on other threads is the encoders' (drawing on one thread).
            const double total = ProcessCpuSeconds(), main = ThreadCpuSeconds();
            const double encoder = total - main + EncoderCallSeconds();
            const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            std::fprintf(stderr,
                         "mirel-render: cpu %.2f s: %.2f s in the encoder, %.2f s outside it; %lld frames in "
                         "%.2f s (%.1f frames/s)\n",
                         total, encoder, total - encoder, static_cast<long long>(FramesWritten()), wall,
                         double(FramesWritten()) / std::max(wall, 1e-9));
        }
        return 0;
    } catch (const TInterrupted& e) {
        std::fprintf(stderr, "mirel-render: interrupted; nothing written\n");
        return 128 + e.Signal;
    } catch (const std::exception& e) {
        if (InterruptSignal()) {
            std::fprintf(stderr, "mirel-render: interrupted; nothing written\n");
            return 128 + InterruptSignal();
        }
        std::fprintf(stderr, "mirel-render: %s\n", e.what());
        return 2;
    }
}

} // namespace

int main(int argc, char** argv)
{
    std::map<std::string, std::string> opts;
    std::vector<std::string> inputs; // --slideshow, in order
    static const std::map<std::string, std::string> aliases = {
        {"-y", "--overwrite"}, {"-n", "--no-overwrite"}, {"-r", "--fps"}, {"-h", "--help"}};
    static const std::set<std::string> flags = {"--list", "--reverse", "--bench", "--overwrite", "--no-overwrite",
                                                "--help", "--version", "--benchmark", "--motion"};
    static const std::set<std::string> valued = {
        "--style",     "--progress", "--step",  "--old",     "--new",           "--out",    "--frames",
        "--delay",     "--size",     "--fit",   "--background", "--slideshow",  "--hold",   "--seed",
        "--contact-sheet", "--styles", "--threads", "--fps", "--png-compression", "--audio", "--gallery",
        "--odd-size", "--duration", "--codec", "--crf", "--preset", "--pix-fmt"};
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        std::optional<std::string> value;
        if (arg.rfind("--", 0) == 0 && arg.find('=') != std::string::npos) {
            value = arg.substr(arg.find('=') + 1);
            arg = arg.substr(0, arg.find('='));
        }
        if (const auto alias = aliases.find(arg); alias != aliases.end())
            arg = alias->second;
        if (flags.count(arg)) {
            if (value)
                Fail(arg + " takes no value");
            opts[arg] = "";
            continue;
        }
        if (!valued.count(arg))
            Fail(arg.rfind("-", 0) == 0 ? "unknown option '" + arg + "' (see --help)"
                                        : "unexpected argument '" + arg + "' (options start with --; see --help)");
        if (!value) {
            if (i + 1 >= argc)
                Fail(arg + " needs a value");
            value = argv[++i];
        }
        if (arg == "--slideshow")
            inputs.push_back(*value);
        else if (opts.count(arg) && arg != "--style")
            Fail(arg + " is given twice");
        opts[arg] = *value;
    }
    const auto has = [&](const char* o) { return opts.count(o) != 0; };
    if (has("--help")) {
        std::fputs(Usage, stdout);
        return 0;
    }
    if (has("--version")) {
        std::printf("mirel-render %s\n", MIREL_VERSION);
        return 0;
    }
    if (has("--frames")) {
        if (has("--out"))
            Fail("give --out or --frames, not both");
        // --frames always names a folder.
        opts["--out"] = opts["--frames"];
        if (opts["--out"].empty() || opts["--out"].back() != '/')
            opts["--out"] += '/';
    }
    if (has("--overwrite") && has("--no-overwrite"))
        Fail("give -y or -n, not both");

    if (has("--list")) {
        for (int style = 0; style <= MaxShowStyle; ++style)
            std::printf("%d\t%s\n", style, Effects[style].Name);
        return 0;
    }

    // TIFF, GIF and the rest of Qt's formats besides the loader's own.
    UseQtPictureFormats();
    TSinkOptions sink;
    sink.Overwrite = has("--overwrite") ? TOverwrite::Yes : has("--no-overwrite") ? TOverwrite::No : TOverwrite::Ask;
    if (has("--fps") && has("--delay"))
        Fail("give --fps or --delay, not both");
    if (has("--fps"))
        sink.Rate = OrFail([&] { return ParseFrameRate(opts["--fps"]); });
    if (has("--delay"))
        sink.Rate = {1000, ParseInt("--delay", opts["--delay"], 10, 10000)};
    if (has("--png-compression"))
        sink.PngCompression = ParseInt("--png-compression", opts["--png-compression"], 0, 9);
    if (has("--audio"))
        sink.Audio = opts["--audio"];
    sink.Codec = opts["--codec"];
    sink.Preset = opts["--preset"];
    sink.PixFmt = opts["--pix-fmt"];
    if (has("--crf"))
        sink.Crf = ParseInt("--crf", opts["--crf"], 0, 63);
    if (has("--odd-size")) {
        if (opts["--odd-size"] != "pad" && opts["--odd-size"] != "crop")
            Fail("--odd-size takes pad or crop, not '" + opts["--odd-size"] + "'");
        sink.OddSize = opts["--odd-size"] == "crop" ? TSinkOptions::TOddSize::Crop : TSinkOptions::TOddSize::Pad;
    }
    const int step = has("--step") ? ParseInt("--step", opts["--step"], 1, 100) : 4;
    if (has("--threads"))
        SetDrawingThreads(ParseInt("--threads", opts["--threads"], 1, 64));
    const uint32_t seed = has("--seed") ? uint32_t(ParseInt("--seed", opts["--seed"], 0, 2147483647)) : 0;
    SetRandSeed(seed);
    int32_t width = 0, height = 0;
    if (has("--size"))
        ParseSize(opts["--size"], width, height);
    TFitMode fit = TFitMode::Aspect;
    if (has("--fit")) {
        static const std::map<std::string, TFitMode> modes = {{"stretch", TFitMode::Stretch},
                                                              {"aspect", TFitMode::Aspect},
                                                              {"center", TFitMode::Center},
                                                              {"centre", TFitMode::Center},
                                                              {"fill", TFitMode::Fill},
                                                              {"blur", TFitMode::Blur}};
        std::string f = opts["--fit"];
        std::transform(f.begin(), f.end(), f.begin(), [](unsigned char c) { return char(std::tolower(c)); });
        const auto mode = modes.find(f);
        if (mode == modes.end())
            Fail("--fit takes stretch, aspect, center, fill or blur, not '" + opts["--fit"] + "'");
        fit = mode->second;
    }
    uint32_t background = clBlack;
    if (has("--background")) {
        const QColor c = QColor::fromString(QString::fromStdString(opts["--background"]));
        if (!c.isValid())
            Fail("--background takes a colour name or #rrggbb, not '" + opts["--background"] + "'");
        background = 0xFF000000u | (c.rgb() & 0xFFFFFF);
    }
    const double hold = has("--hold") ? ParseSeconds("--hold", opts["--hold"], 0, 3600) : -1;
    // Without --duration as long as the widget takes at --step percent a frame, 25 frames a second.
    const double transitionSeconds =
        has("--duration") ? ParseSeconds("--duration", opts["--duration"], 0.01, 600) : DefaultTransitionSeconds(step);
    const bool benchmark = has("--benchmark");
    if (benchmark && has("--threads") && DrawingThreads() > 1)
        Fail("--benchmark tells the encoder's time apart with --threads 1 only");
    // Signals only set a flag from here on; the work checks it between frames.
    CatchInterrupts();

    if (has("--bench")) {
        if (!has("--size"))
            width = 1920, height = 1080;
        std::vector<int> styles;
        for (int s = 1; s <= MaxShowStyle; ++s)
            styles.push_back(s);
        if (has("--styles"))
            styles = ParseStyleList(opts["--styles"]);
        return Run([&] { RunBenchmark(width, height, styles); }, false);
    }

    if (has("--contact-sheet") || has("--gallery")) {
        if (has("--old") != has("--new"))
            Fail("give both --old and --new, or neither");
        TBitmap old, image;
        if (has("--old")) {
            // Previews are small: the pictures need no more than a contact sheet's cell.
            OrFail([&] {
                int32_t w = 640, h = 480;
                LoadPair(opts["--old"], opts["--new"], w, h, TFitMode::Aspect, background, old, image);
            });
        } else if (has("--gallery")) {
            // The show's first two pictures.
            const auto builtIn = [](const char* name, TBitmap& out) {
                QFile file(QString(":/JPEG/") + name);
                if (!file.open(QIODevice::ReadOnly))
                    Fail(std::string("the built-in picture ") + name + " is missing");
                const QByteArray data = file.readAll();
                OrFail([&] {
                    DecodePicture(reinterpret_cast<const uint8_t*>(data.constData()), size_t(data.size()), "show.jpg",
                                  out);
                });
            };
            builtIn("SRC1", old);
            builtIn("SRC2", image);
        } else {
            SamplePictures(320, 240, old, image);
        }
        if (has("--gallery")) {
            TGalleryOptions gallery;
            gallery.Folder = opts["--gallery"];
            gallery.Overwrite = sink.Overwrite;
            gallery.Step = has("--step") ? step : 5;
            gallery.Hold = hold >= 0 ? hold : 0.6;
            gallery.Rate = sink.Rate;
            return Run([&] { WriteGallery(old, image, gallery); }, benchmark);
        }
        const int progress = has("--progress") ? ParseInt("--progress", opts["--progress"], 0, 100) : 50;
        // The labels' font needs a GUI application; the offscreen platform needs no display.
        if (qgetenv("QT_QPA_PLATFORM").isEmpty())
            qputenv("QT_QPA_PLATFORM", "offscreen");
        int qargc = 1;
        QGuiApplication app(qargc, argv);
        OrFail([&] { WriteContactSheet(old, image, progress, opts["--contact-sheet"]); });
        return 0;
    }

    if (!inputs.empty()) {
        if (!has("--out"))
            Fail("--slideshow needs --out (see --help)");
        TSlideshow show;
        show.Inputs = inputs;
        show.Out = opts["--out"];
        if (hold >= 0)
            show.HoldSeconds = hold;
        if (has("--style"))
            show.Styles = OrFail([&] { return ParseStyleCycle(opts["--style"]); });
        show.Seed = seed;
        show.Width = width;
        show.Height = height;
        show.Fit = fit;
        show.Motion = has("--motion");
        show.Background = background;
        show.Step = step;
        show.TransitionSeconds = transitionSeconds;
        show.Sink = sink;
        return Run([&] {
            CheckOutput(show.Out, sink, false);
            RenderSlideshow(show);
        }, benchmark);
    }

    if (!has("--style") || !has("--old") || !has("--new") || !has("--out"))
        Fail("needs --old, --new, --style and --out (see --help)");
    int style = OrFail([&] { return ParseStyle(opts["--style"]); });
    if (style == 0)
        style = Random(MaxShowStyle) + 1;
    const bool oneFrame = has("--progress");
    const int progress = oneFrame ? ParseInt("--progress", opts["--progress"], 0, 100) : 0;
    const std::string out = opts["--out"];

    return Run([&] {
        // Before the pictures are read: a refusal should not wait for them.
        const TOutputKind kind = CheckOutput(out, sink, oneFrame);
        TBitmap old, image;
        // Without --size, the new picture's own size.
        LoadPair(opts["--old"], opts["--new"], width, height, fit, background, old, image);

        if (oneFrame) {
            // The old picture is not wanted after its one frame.
            TBitmap display;
            DrawEffectFrame(display, std::move(old), image, style, uint32_t(step), progress);
            SavePicture(display, out, sink);
            ++FramesWritten();
            return;
        }
        // Animations loop, so they pause on both pictures unless told otherwise.
        const double seconds = hold >= 0 ? hold : kind == TOutputKind::Gif || kind == TOutputKind::WebP ? 1.0 : 0.0;
        const int64_t holdFrames = std::llround(seconds * sink.Rate.Num / sink.Rate.Den);
        const std::vector<int32_t> values =
            TransitionProgress(TransitionFrames(transitionSeconds, sink.Rate), has("--reverse"));
        sink.TotalFrames = int64_t(values.size()) + 2 * holdFrames;
        const std::unique_ptr<TFrameSink> frames = OpenFrameSink(out, width, height, sink);
        TProgressBar bar("rendering", int64_t(values.size()));
        PlayTransition(old, image, style, step, values, [&](const TBitmap& frame, size_t i) {
            const bool end = i == 0 || i + 1 == values.size();
            frames->Write(frame, end ? 1 + holdFrames : 1);
            bar.Advance();
        });
        frames->Finish();
    }, benchmark);
}
