#include "surface/parallel.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace mirel {

namespace {

// Less than this many pixels is done faster on one thread than handed out.
constexpr int64_t MinPixelsToSplit = 128 * 1024;

// One banded operation: its bands are handed out by a counter, so a thread
// that comes late finds none left and leaves.
struct TJob {
    const std::function<void(int32_t, int32_t)>* Body;
    int32_t Top, Bottom, Bands;
    std::atomic<int32_t> Next{0};
    int32_t Remaining; // guarded by the pool's mutex
};

class TBandPool {
public:
    explicit TBandPool(int threads)
    {
        for (int i = 1; i < threads; ++i)
            workers_.emplace_back([this] { Work(); });
    }

    ~TBandPool()
    {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        wake_.notify_all();
        for (std::thread& t : workers_)
            t.join();
    }

    int Threads() const { return int(workers_.size()) + 1; }

    void Run(int32_t top, int32_t bottom, const std::function<void(int32_t, int32_t)>& body)
    {
        auto job = std::make_shared<TJob>();
        job->Body = &body;
        job->Top = top;
        job->Bottom = bottom;
        // A few bands per thread, so that a slow band does not hold the rest.
        job->Bands = std::min<int32_t>(bottom - top, Threads() * 4);
        job->Remaining = job->Bands;
        {
            std::lock_guard lock(mutex_);
            job_ = job;
        }
        wake_.notify_all();
        RunBands(*job);
        std::unique_lock lock(mutex_);
        done_.wait(lock, [&] { return job->Remaining == 0; });
        job_.reset();
    }

private:
    void Work()
    {
        std::shared_ptr<TJob> last;
        for (;;) {
            std::shared_ptr<TJob> job;
            {
                std::unique_lock lock(mutex_);
                wake_.wait(lock, [&] { return stop_ || (job_ && job_ != last); });
                if (stop_)
                    return;
                job = last = job_;
            }
            RunBands(*job);
        }
    }

    void RunBands(TJob& job)
    {
        for (;;) {
            const int32_t band = job.Next.fetch_add(1);
            if (band >= job.Bands)
                return;
            const int64_t rows = job.Bottom - job.Top;
            (*job.Body)(job.Top + int32_t(rows * band / job.Bands), job.Top + int32_t(rows * (band + 1) / job.Bands));
            std::lock_guard lock(mutex_);
            if (--job.Remaining == 0)
                done_.notify_all();
        }
    }

    std::vector<std::thread> workers_;
    std::mutex mutex_; // guards job_, stop_ and every job's Remaining
    std::condition_variable wake_, done_;
    std::shared_ptr<TJob> job_;
    bool stop_ = false;
};

std::mutex poolMutex;
std::unique_ptr<TBandPool> pool; // none while one thread draws; guarded by poolMutex
std::atomic<int> threadCount{1};

} // namespace

void SetDrawingThreads(int threads)
{
    threads = std::clamp(threads, 1, 64);
    std::lock_guard lock(poolMutex);
    pool.reset();
    if (threads > 1)
        pool = std::make_unique<TBandPool>(threads);
    threadCount = threads;
}

int DrawingThreads() { return threadCount; }

void ForEachBand(int32_t top, int32_t bottom, int64_t pixels, const std::function<void(int32_t, int32_t)>& body)
{
    if (bottom <= top)
        return;
    if (threadCount > 1 && pixels >= MinPixelsToSplit && bottom - top >= 2) {
        // One banded operation at a time; another thread meanwhile draws alone.
        std::unique_lock lock(poolMutex, std::try_to_lock);
        if (lock.owns_lock() && pool) {
            pool->Run(top, bottom, body);
            return;
        }
    }
    body(top, bottom);
}

} // namespace mirel
