#include "tools/render/frames.h"

#include "effects/catalogue.h"
#include "tools/render/picture_io.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <stdexcept>

namespace mirel {

namespace {

class TPngFolder : public TFrameSink {
public:
    explicit TPngFolder(std::string folder) : folder_(std::move(folder))
    {
        if (!QDir().mkpath(QString::fromStdString(folder_)))
            throw std::runtime_error(folder_ + ": cannot create the folder");
    }
    void Write(const TBitmap& frame, const std::string& name) override { SavePng(frame, folder_ + "/" + name); }
    void Finish() override {}

private:
    std::string folder_;
};

// Raw BGRA frames piped into ffmpeg, which encodes them.
class TFfmpeg : public TFrameSink {
public:
    TFfmpeg(const std::string& out, const std::string& ext, int32_t w, int32_t h, int delayMs) : out_(out)
    {
        QStringList args = {"-hide_banner", "-loglevel", "error", "-y", "-f", "rawvideo", "-pix_fmt", "bgra",
                            "-s", QString("%1x%2").arg(w).arg(h), "-framerate",
                            QString("1000/%1").arg(delayMs), "-i", "-"};
        if (ext == "gif") {
            // One palette for the whole animation, made from all its frames.
            args << "-filter_complex" << "[0:v]split[a][b];[a]palettegen=stats_mode=full[p];[b][p]paletteuse"
                 << "-loop" << "0";
        } else {
            // 4:2:0 video wants even sizes.
            args << "-vf" << "pad=ceil(iw/2)*2:ceil(ih/2)*2";
            if (ext == "webm")
                args << "-c:v" << "libvpx-vp9" << "-b:v" << "0" << "-crf" << "32" << "-row-mt" << "1";
            else
                args << "-c:v" << "libx264" << "-preset" << "medium" << "-crf" << "18";
            args << "-pix_fmt" << "yuv420p";
        }
        args << QString::fromStdString(out);
        process_.setProcessChannelMode(QProcess::ForwardedOutputChannel);
        process_.start("ffmpeg", args);
        if (!process_.waitForStarted())
            throw std::runtime_error(out + ": cannot run ffmpeg, which encodes ." + ext +
                                     " files (install it: apt-get install ffmpeg)");
    }
    ~TFfmpeg() override
    {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished();
        }
    }
    void Write(const TBitmap& frame, const std::string&) override
    {
        process_.write(reinterpret_cast<const char*>(frame.Bits()), qint64(frame.BytesPerLine()) * frame.Height());
        // Keep at most a few frames in flight.
        while (process_.bytesToWrite() > 32 * 1024 * 1024)
            if (!process_.waitForBytesWritten(-1))
                Fail();
    }
    void Finish() override
    {
        process_.closeWriteChannel();
        process_.waitForFinished(-1);
        if (process_.exitStatus() != QProcess::NormalExit || process_.exitCode() != 0)
            Fail();
    }

private:
    [[noreturn]] void Fail()
    {
        const QString why = QString::fromLocal8Bit(process_.readAllStandardError()).trimmed().split('\n').last();
        throw std::runtime_error(out_ + ": ffmpeg failed" + (why.isEmpty() ? "" : ": " + why.toStdString()));
    }
    std::string out_;
    QProcess process_;
};

double Now()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

} // namespace

std::unique_ptr<TFrameSink> OpenFrameSink(const std::string& out, int32_t width, int32_t height, int delayMs)
{
    const std::string ext = QFileInfo(QString::fromStdString(out)).suffix().toLower().toStdString();
    if (ext == "gif" || ext == "mp4" || ext == "webm" || ext == "mkv")
        return std::make_unique<TFfmpeg>(out, ext, width, height, delayMs);
    if (ext == "png" || ext == "jpg" || ext == "jpeg")
        throw std::runtime_error(out + ": a whole transition goes to a folder, a .gif, .mp4, .webm or .mkv file "
                                       "(one frame: give --progress)");
    return std::make_unique<TPngFolder>(out);
}

std::vector<int32_t> TransitionProgress(int step, bool reverse)
{
    std::vector<int32_t> values;
    int32_t p = reverse ? 100 : 0;
    values.push_back(p);
    while (reverse ? p > 0 : p < 100) {
        if (reverse)
            p = p > step ? p - step : 0;
        else
            p = p < 100 - step ? p + step : 100;
        values.push_back(p);
    }
    return values;
}

void PlayTransition(const TBitmap& old, const TBitmap& image, int style, int step, bool reverse,
                    const std::function<void(const TBitmap& frame, int32_t progress)>& frame)
{
    TBitmap display;
    for (const int32_t progress : TransitionProgress(step, reverse)) {
        display.Assign(old);
        DrawEffectFrame(display, image, style, uint32_t(step), progress);
        frame(display, progress);
    }
}

void FitPicture(const TBitmap& src, int32_t w, int32_t h, TFit fit, uint32_t background, TBitmap& out)
{
    out.SetSize(w, h);
    out.Fill(background);
    const TRect frame = Rect(0, 0, w, h);
    switch (fit) {
    case TFit::Stretch:
        out.Canvas().StretchDraw(frame, src);
        break;
    case TFit::Aspect:
        out.Canvas().StretchDraw(AspectFitRect(src.BoundsRect(), frame), src);
        break;
    case TFit::Center:
        out.Canvas().DrawBitmap((w - src.Width()) / 2, (h - src.Height()) / 2, src);
        break;
    }
}

TProgressBar::TProgressBar(std::string label, int64_t total)
    : label_(std::move(label)), total_(total), start_(Now()), tty_(isatty(2) != 0)
{
}

TProgressBar::~TProgressBar()
{
    if (shown_ >= 0)
        std::fprintf(stderr, "\n");
}

void TProgressBar::Advance(int64_t by)
{
    done_ += by;
    if (!tty_ || total_ <= 0 || Now() - start_ < 1.0)
        return;
    const int percent = int(done_ * 100 / total_);
    if (percent == shown_)
        return;
    shown_ = percent;
    constexpr int Width = 30;
    const int filled = percent * Width / 100;
    std::fprintf(stderr, "\r%s [%.*s%*s] %3d%%", label_.c_str(), filled, "==============================",
                 Width - filled, "", percent);
    std::fflush(stderr);
}

} // namespace mirel
