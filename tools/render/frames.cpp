#include "tools/render/frames.h"

#include "effects/catalogue.h"
#include "effects/frames.h"
#include "picture/load.h"
#include "tools/render/encode.h"
#include "tools/render/stills.h"

#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <condition_variable>
#include <deque>
#include <exception>
#include <future>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace mirel {

namespace {

// A folder of frame-%05d.png files, one per frame period: a held frame is
// written once and linked under the following numbers. Compressing a frame
// takes far longer than drawing it, so the frames are compressed on threads
// of their own, one per processor, while the next ones are drawn; a few wait
// their turn at most (one a worker, within MaxWaitingBytes). The files are
// the same in whatever order they are done.
class TPngFolder : public TFrameSink {
public:
    TPngFolder(const std::string& folder, const TSinkOptions& options)
        : pending_(folder, options.Overwrite), level_(options.PngCompression)
    {
        const unsigned threads = std::clamp(std::thread::hardware_concurrency(), 1u, 16u);
        for (unsigned i = 0; i < threads; ++i)
            workers_.emplace_back([this] { Work(); });
    }
    ~TPngFolder() override { Stop(); }

    void Write(const TBitmap& frame, int64_t repeat) override
    {
        CheckInterrupted();
        TJob job{count_, repeat, std::make_unique<TBitmap>()};
        job.Frame->Assign(frame); // shared: the caller's next drawing copies the pixels first
        {
            std::unique_lock lock(mutex_);
            // One waiting frame a worker, fewer when they are large.
            const size_t bytes = std::max<size_t>(size_t(frame.Width()) * size_t(frame.Height()) * 4, 1);
            const size_t waiting = std::clamp<size_t>(MaxWaitingBytes / bytes, 1, workers_.size());
            room_.wait(lock, [&] { return jobs_.size() < waiting || error_; });
            ThrowError();
            jobs_.push_back(std::move(job));
        }
        ready_.notify_one();
        count_ += repeat;
        FramesWritten() += repeat;
    }

    void Finish() override
    {
        {
            std::unique_lock lock(mutex_);
            room_.wait(lock, [&] { return (jobs_.empty() && busy_ == 0) || error_; });
            ThrowError();
        }
        Stop();
        pending_.Commit(count_);
    }

private:
    static constexpr size_t MaxWaitingBytes = size_t{256} << 20;

    struct TJob {
        int64_t Index, Repeat;
        std::unique_ptr<TBitmap> Frame;
    };

    void Work()
    {
        std::unique_lock lock(mutex_);
        for (;;) {
            ready_.wait(lock, [&] { return stop_ || !jobs_.empty(); });
            if (stop_)
                return;
            TJob job = std::move(jobs_.front());
            jobs_.pop_front();
            ++busy_;
            lock.unlock();
            room_.notify_one();
            std::exception_ptr error;
            try {
                Save(job);
            } catch (...) {
                error = std::current_exception();
            }
            job.Frame.reset(); // the pixels let go outside the lock
            lock.lock();
            --busy_;
            if (error && !error_)
                error_ = error;
            room_.notify_all();
        }
    }

    void Save(const TJob& job) const
    {
        // Messages name the frame where it was to go: the temporary folder
        // is gone by the time they are read.
        const std::string first = pending_.FramePath(job.Index), shown = pending_.FinalFramePath(job.Index);
        std::FILE* file = std::fopen(first.c_str(), "wbx");
        if (!file)
            throw std::runtime_error(shown + ": cannot write: " + std::strerror(errno));
        try {
            WritePng(*job.Frame, file, level_, shown);
        } catch (...) {
            std::fclose(file);
            throw;
        }
        if (std::fclose(file) != 0)
            throw std::runtime_error(shown + ": cannot write: " + std::strerror(errno));
        for (int64_t i = 1; i < job.Repeat; ++i) {
            const std::string path = pending_.FramePath(job.Index + i);
            if (link(first.c_str(), path.c_str()) != 0)
                throw std::runtime_error(pending_.FinalFramePath(job.Index + i) + ": cannot write: " +
                                         std::strerror(errno));
        }
    }

    // Under mutex_.
    void ThrowError()
    {
        if (error_)
            std::rethrow_exception(std::exchange(error_, nullptr));
    }

    // The workers end after the file at hand; frames still waiting are not
    // written (an interrupted or failed run), or there are none (Finish).
    void Stop() noexcept
    {
        {
            const std::lock_guard lock(mutex_);
            stop_ = true;
            jobs_.clear();
        }
        ready_.notify_all();
        for (std::thread& worker : workers_)
            if (worker.joinable())
                worker.join();
    }

    TPendingFolder pending_;
    int level_;
    int64_t count_ = 0;
    std::mutex mutex_;
    std::condition_variable ready_, room_; // a frame to compress; room for one more
    std::deque<TJob> jobs_;
    int busy_ = 0;
    bool stop_ = false;
    std::exception_ptr error_;
    std::vector<std::thread> workers_; // last: joined before the rest goes
};

double Now()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

} // namespace

std::unique_ptr<TFrameSink> OpenFrameSink(const std::string& out, int32_t width, int32_t height,
                                          const TSinkOptions& options)
{
    const TOutputKind kind = OutputKindOf(out);
    if (!options.Audio.empty() && !IsVideo(kind))
        throw std::runtime_error(out + ": music goes with videos only (.mp4, .mkv, .webm, .mov, .avi)");
    CheckFrameSize(out, kind, width, height);
    switch (kind) {
    case TOutputKind::Folder:
        return std::make_unique<TPngFolder>(out, options);
    case TOutputKind::WebP:
        return OpenWebPAnimation(out, width, height, options);
    case TOutputKind::Png:
    case TOutputKind::Jpeg:
        throw std::runtime_error(out + ": a whole transition goes to a folder, .gif, .webp or a video; "
                                       "one frame (with --progress) to a picture");
    default:
        return OpenEncoder(out, kind, width, height, options);
    }
}

double DefaultTransitionSeconds(int step)
{
    const int steps = (100 + step - 1) / step;
    return (steps + 1) / 25.0;
}

int64_t TransitionFrames(double seconds, TFrameRate rate)
{
    return std::max<int64_t>(2, std::llround(seconds * rate.Num / rate.Den));
}

std::vector<int32_t> TransitionProgress(int64_t count, bool reverse)
{
    std::vector<int32_t> values;
    for (int64_t i = 0; i < count; ++i) {
        const auto p = int32_t(std::llround(100.0 * double(i) / double(count - 1)));
        values.push_back(reverse ? 100 - p : p);
    }
    return values;
}

void PlayTransition(const TBitmap& old, const TBitmap& image, int style, int step,
                    const std::vector<int32_t>& progress,
                    const std::function<void(const TBitmap& frame, size_t index)>& frame)
{
    TBitmap display;
    // Each frame drawn over the last one where only part of it changes.
    TFrameBuilder frames;
    for (size_t i = 0; i < progress.size(); ++i) {
        CheckInterrupted();
        frames.Draw(display, old, image, style, uint32_t(step), progress[i]);
        frame(display, i);
    }
}

void LoadFitted(const std::string& path, int32_t w, int32_t h, TFitMode mode, uint32_t background, TBitmap& out,
                double oversize)
{
    TLoadOptions options;
    // Center shows the picture at its own size; the others scale it anyway.
    if (w > 0 && h > 0 && mode != TFitMode::Center) {
        options.FitWidth = int32_t(std::ceil(w * oversize));
        options.FitHeight = int32_t(std::ceil(h * oversize));
    }
    TBitmap loaded;
    LoadPicture(path, loaded, options);
    if (w <= 0 || h <= 0) {
        // At its own size too, what is transparent lies on the background
        // (an opaque picture is its own fit, shared, not copied).
        FitPicture(loaded, loaded.Width(), loaded.Height(), TFitMode::Center, out, background);
        return;
    }
    FitPicture(loaded, int32_t(std::lround(w * oversize)), int32_t(std::lround(h * oversize)), mode, out, background);
}

bool CapFrameSize(int32_t& w, int32_t& h, const std::string& from)
{
    if (w <= MaxFrameSide && h <= MaxFrameSide)
        return false;
    const int32_t ownW = w, ownH = h;
    // The largest frame of the picture's shape, as fitting it would draw it.
    if (w >= h) {
        h = int32_t(std::max<int64_t>(1, std::llround(double(h) * MaxFrameSide / w)));
        w = MaxFrameSide;
    } else {
        w = int32_t(std::max<int64_t>(1, std::llround(double(w) * MaxFrameSide / h)));
        h = MaxFrameSide;
    }
    std::fprintf(stderr, "mirel-render: %s: %dx%d is larger than a frame can be (%dx%d at most); the frame is %dx%d "
                 "(--size sets another)\n", from.c_str(), int(ownW), int(ownH), int(MaxFrameSide), int(MaxFrameSide),
                 int(w), int(h));
    return true;
}

void LoadPair(const std::string& oldPath, const std::string& newPath, int32_t& w, int32_t& h, TFitMode mode,
              uint32_t background, TBitmap& old, TBitmap& image)
{
    bool ownSize = w <= 0 || h <= 0;
    int32_t frameW = w, frameH = h;
    std::future<void> loading;
    const bool peeked = ownSize && PeekPictureSize(newPath, frameW, frameH);
    if (peeked && CapFrameSize(frameW, frameH, newPath)) {
        // Both pictures are fitted into the largest frame instead.
        w = frameW;
        h = frameH;
        ownSize = false;
    }
    if (!ownSize || peeked) {
        try {
            loading = std::async(std::launch::async,
                                 [&, frameW, frameH] { LoadFitted(oldPath, frameW, frameH, mode, background, old); });
        } catch (const std::system_error&) {
            // No thread to be had: one after the other.
        }
    }
    try {
        LoadFitted(newPath, w, h, mode, background, image);
    } catch (...) {
        if (loading.valid())
            loading.wait();
        throw;
    }
    if (ownSize) {
        w = image.Width();
        h = image.Height();
        // The header did not tell the size, or told another.
        if (CapFrameSize(w, h, newPath)) {
            TBitmap whole;
            whole.Swap(image);
            FitPicture(whole, w, h, mode, image, background);
        }
    }
    if (loading.valid()) {
        loading.get();
        if (old.Width() == w && old.Height() == h)
            return;
    }
    // Loaded here, or again where the header told another size than the
    // picture turned out to have.
    LoadFitted(oldPath, w, h, mode, background, old);
}

double ThreadCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

double ProcessCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

double& EncoderCallSeconds()
{
    static double seconds = 0;
    return seconds;
}

int64_t& FramesWritten()
{
    static int64_t frames = 0;
    return frames;
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
