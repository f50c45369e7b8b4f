// mirel-render: draws transition frames between two pictures to PNG files,
// headless, exactly as the transition widget draws them.
#include "effects/catalogue.h"
#include "surface/jpeg.h"
#include "tools/render/picture_io.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>

using namespace mirel;

namespace {

constexpr const char* Usage = R"(usage:
  mirel-render --list
  mirel-render --style S --progress P [--step N] --old A --new B --out FRAME.png
  mirel-render --style S [--step N] --old A --new B --frames DIR
  mirel-render --contact-sheet SHEET.png [--progress P] [--old A --new B]

Draws the transition from picture A (old) to picture B (new) with style S, a
number 1..150 or a name from --list (any case), exactly as the transition
widget draws it. Progress 0 is the old picture, 100 the new one.

  --list            print every style as NUMBER<TAB>NAME, 0 (Custom) to 150
  --style S         the style, by number or name
  --progress P      one frame at P percent (0..100), written to --out
  --step N          percent per frame, 1..100 (default 4); it sets the band
                    width of some styles and the frame count of --frames
  --old A, --new B  the pictures: JPEG, PNG or BMP. Frames have the new
                    picture's size; the old one is stretched to it, as the
                    widget captures its screen at the new picture's size
  --out FRAME.png   where --progress writes its frame
  --frames DIR      the whole transition, one PNG per frame, named by
                    progress (progress-000.png, progress-004.png, ...)
  --contact-sheet SHEET.png
                    every style at --progress (default 50) in one labelled
                    grid; built-in sample pictures unless --old and --new

example:
  mirel-render --style "Circular reveal from centre" --progress 40 \
      --old a.jpg --new b.jpg --out frame.png
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
    if (used != text.size() || value < lo || value > hi)
        Fail(option + " takes a whole number from " + std::to_string(lo) + " to " + std::to_string(hi) +
             ", not '" + text + "'");
    return int(value);
}

int ParseStyle(const std::string& text)
{
    if (!text.empty() && text.find_first_not_of("0123456789") == std::string::npos)
        return ParseInt("--style", text, 1, MaxShowStyle);
    const std::optional<TShowStyle> style = StyleOfName(text);
    if (!style || *style == 0)
        Fail("unknown style '" + text + "' (see --list)");
    return *style;
}

void Load(const std::string& path, TBitmap& out)
{
    try {
        LoadPicture(path, out);
    } catch (const std::exception& e) {
        Fail(e.what());
    }
}

// The old picture as the widget holds it: stretched to the new one's size.
void FitOld(const TBitmap& old, const TBitmap& image, TBitmap& fitted)
{
    fitted.SetSize(image.Width(), image.Height());
    fitted.Canvas().StretchDraw(image.BoundsRect(), old);
}

void RenderFrame(const TBitmap& oldFitted, const TBitmap& image, int style, int step, int progress,
                 TBitmap& display)
{
    display.Assign(oldFitted);
    DrawEffectFrame(display, image, style, uint32_t(step), progress);
}

void Save(const TBitmap& frame, const std::string& path)
{
    try {
        SavePng(frame, path);
    } catch (const std::exception& e) {
        Fail(e.what());
    }
}

// Sample pictures for the contact sheet: warm stripes and cool rings, both
// busy enough that every kind of transition shows.
void SamplePictures(int w, int h, TBitmap& old, TBitmap& image)
{
    old.SetSize(w, h);
    image.SetSize(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int stripe = ((x + y) / 12) % 2;
            const uint32_t r = 200 + 55 * stripe, g = 90 + (x * 100) / w, b = 40 + (y * 60) / h;
            old.SetPixel(x, y, 0xFF000000u | r << 16 | g << 8 | b);
            const double d = std::hypot(x - w / 2.0, y - h / 2.0);
            const int ring = int(d / 10) % 2;
            const uint32_t r2 = 20 + (x * 60) / w, g2 = 110 + 80 * ring, b2 = 160 + (y * 90) / h;
            image.SetPixel(x, y, 0xFF000000u | r2 << 16 | g2 << 8 | b2);
        }
}

void ContactSheet(const std::string& out, int progress, const std::string& oldPath, const std::string& newPath)
{
    // Text needs a GUI application; the offscreen platform needs no display.
    if (qgetenv("QT_QPA_PLATFORM").isEmpty())
        qputenv("QT_QPA_PLATFORM", "offscreen");
    int argc = 1;
    char name[] = "mirel-render";
    char* argv[] = {name, nullptr};
    QGuiApplication app(argc, argv);

    TBitmap old, image;
    if (!oldPath.empty()) {
        TBitmap loadedOld;
        Load(oldPath, loadedOld);
        Load(newPath, image);
        FitOld(loadedOld, image, old);
    } else {
        SamplePictures(160, 120, old, image);
    }
    // Cells are at most 160 wide, in the new picture's proportions.
    const int cellW = 160, cellH = std::max(1, int(int64_t{160} * image.Height() / std::max(1, image.Width())));
    const int columns = 10, rows = (MaxShowStyle + columns - 1) / columns, label = 16, gap = 4;
    QImage sheet(columns * (cellW + gap) + gap, rows * (cellH + label + gap) + gap, QImage::Format_RGB32);
    sheet.fill(QColor(24, 24, 24));
    QPainter painter(&sheet);
    QFont font = painter.font();
    font.setPixelSize(11);
    painter.setFont(font);
    painter.setPen(QColor(230, 230, 230));

    TBitmap cellOld(cellW, cellH), cellNew(cellW, cellH), frame;
    cellOld.Canvas().StretchDraw(cellOld.BoundsRect(), old);
    cellNew.Canvas().StretchDraw(cellNew.BoundsRect(), image);
    for (int style = 1; style <= MaxShowStyle; ++style) {
        RenderFrame(cellOld, cellNew, style, 4, progress, frame);
        const int x = gap + ((style - 1) % columns) * (cellW + gap);
        const int y = gap + ((style - 1) / columns) * (cellH + label + gap);
        const QImage cell(frame.Bits(), cellW, cellH, frame.BytesPerLine(), QImage::Format_RGB32);
        painter.drawImage(x, y + label, cell);
        const QString text = QString::number(style) + " " + QString::fromUtf8(Effects[style].Name);
        painter.drawText(QRect(x, y, cellW, label), Qt::AlignLeft | Qt::AlignVCenter,
                         painter.fontMetrics().elidedText(text, Qt::ElideRight, cellW));
    }
    painter.end();
    if (!sheet.save(QString::fromStdString(out), "PNG"))
        Fail(out + ": cannot write the PNG file");
}

} // namespace

int main(int argc, char** argv)
{
    std::map<std::string, std::string> opts;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(Usage, stdout);
            return 0;
        }
        if (arg == "--list") {
            opts[arg] = "";
            continue;
        }
        static const char* const valued[] = {"--style", "--progress", "--step", "--old", "--new",
                                             "--out", "--frames", "--contact-sheet"};
        bool known = false;
        for (const char* v : valued)
            known = known || arg == v;
        if (!known)
            Fail("unknown option '" + arg + "' (see --help)");
        if (i + 1 >= argc)
            Fail(arg + " needs a value");
        opts[arg] = argv[++i];
    }
    const auto has = [&](const char* o) { return opts.count(o) != 0; };

    if (has("--list")) {
        for (int style = 0; style <= MaxShowStyle; ++style)
            std::printf("%d\t%s\n", style, Effects[style].Name);
        return 0;
    }
    const int step = has("--step") ? ParseInt("--step", opts["--step"], 1, 100) : 4;
    if (has("--contact-sheet")) {
        if (has("--old") != has("--new"))
            Fail("--contact-sheet takes both --old and --new, or neither");
        const int progress = has("--progress") ? ParseInt("--progress", opts["--progress"], 0, 100) : 50;
        ContactSheet(opts["--contact-sheet"], progress, opts["--old"], opts["--new"]);
        return 0;
    }
    if (!has("--style") || !has("--old") || !has("--new"))
        Fail("needs --style, --old and --new (see --help)");
    if (has("--progress") == has("--frames"))
        Fail("give either --progress with --out, or --frames (see --help)");
    const int style = ParseStyle(opts["--style"]);

    TBitmap old, image, oldFitted, display;
    Load(opts["--old"], old);
    Load(opts["--new"], image);
    FitOld(old, image, oldFitted);

    if (has("--progress")) {
        const int progress = ParseInt("--progress", opts["--progress"], 0, 100);
        if (!has("--out"))
            Fail("--progress needs --out FRAME.png");
        RenderFrame(oldFitted, image, style, step, progress, display);
        Save(display, opts["--out"]);
        return 0;
    }
    const QString dir = QString::fromStdString(opts["--frames"]);
    if (!QDir().mkpath(dir))
        Fail(opts["--frames"] + ": cannot create the folder");
    // The widget's frames: from 0 by Step, the last one at exactly 100.
    for (int progress = 0;; progress = std::min(100, progress + step)) {
        RenderFrame(oldFitted, image, style, step, progress, display);
        char name[32];
        std::snprintf(name, sizeof name, "/progress-%03d.png", progress);
        Save(display, opts["--frames"] + name);
        if (progress == 100)
            break;
    }
    return 0;
}
