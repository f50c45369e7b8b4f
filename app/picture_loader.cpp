#include "app/picture_loader.h"

#include "picture/fit.h"
#include "picture/load.h"

#include <QFile>
#include <QMetaObject>

#include <condition_variable>
#include <exception>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace mirel {

struct TPictureLoader::TState {
    struct TJob {
        int Serial;
        std::string Path;
        int Width, Height;
    };
    std::mutex Lock;
    std::condition_variable Wake;
    std::optional<TJob> Next;
    // Null once the loader has gone; results are then dropped.
    TPictureLoader* Owner = nullptr;
    bool Quit = false;
};

namespace {

void Work(const std::shared_ptr<TPictureLoader::TState>& state)
{
    for (;;) {
        TPictureLoader::TState::TJob job;
        {
            std::unique_lock lock(state->Lock);
            state->Wake.wait(lock, [&] { return state->Quit || state->Next; });
            if (state->Quit)
                return;
            job = std::move(*state->Next);
            state->Next.reset();
        }
        auto fitted = std::make_shared<TBitmap>();
        QString error;
        try {
            TBitmap decoded;
            TLoadOptions options;
            options.FitWidth = job.Width;
            options.FitHeight = job.Height;
            options.Contain = true;
            // A photo cut short shows what it has, as picture viewers show it.
            options.AcceptTruncated = true;
            LoadPicture(job.Path, decoded, options);
            FitPicture(decoded, job.Width, job.Height, TFitMode::Aspect, *fitted);
        } catch (const std::bad_alloc&) {
            fitted.reset();
            error = QString::fromStdString(job.Path) + QStringLiteral(": out of memory");
        } catch (const std::exception& e) {
            fitted.reset();
            error = QString::fromUtf8(e.what());
        }
        const std::lock_guard lock(state->Lock);
        if (state->Quit || !state->Owner)
            return;
        TPictureLoader* owner = state->Owner;
        const int serial = job.Serial;
        // Posted while the lock keeps the owner alive; run on its thread.
        QMetaObject::invokeMethod(
            owner,
            [owner, serial, fitted = std::shared_ptr<const TBitmap>(std::move(fitted)), error] {
                if (owner->OnLoaded)
                    owner->OnLoaded(serial, fitted, error);
            },
            Qt::QueuedConnection);
    }
}

} // namespace

TPictureLoader::TPictureLoader(QObject* parent) : QObject(parent), state_(std::make_shared<TState>())
{
    state_->Owner = this;
    std::thread(Work, state_).detach();
}

TPictureLoader::~TPictureLoader()
{
    const std::lock_guard lock(state_->Lock);
    state_->Owner = nullptr;
    state_->Quit = true;
    state_->Wake.notify_all();
}

void TPictureLoader::Request(int serial, const QString& path, int width, int height)
{
    const std::lock_guard lock(state_->Lock);
    state_->Next = TState::TJob{serial, QFile::encodeName(path).toStdString(), width, height};
    state_->Wake.notify_all();
}

} // namespace mirel
