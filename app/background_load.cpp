#include "app/background_load.h"

#include "surface/jpeg.h"
#include "view/picture.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>

#include <mutex>
#include <new>
#include <string>
#include <thread>

namespace mirel {

struct TBackgroundLoad::TState {
    std::mutex Lock;
    bool Done = false;
    TBitmap Picture;
    // The failure's message: the exception itself stays on its thread.
    bool Failed = false;
    std::string Error;
    // Woken when the load is done; null once the load has been abandoned.
    QObject* Waker = nullptr;
};

namespace {

QString IdentityOf(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return {};
    return QStringLiteral("%1 %2 %3 %4")
        .arg(info.size())
        .arg(info.lastModified().toMSecsSinceEpoch())
        .arg(int(info.permissions()))
        .arg(info.isSymLink() ? info.symLinkTarget() : QString());
}

} // namespace

TBackgroundLoad::TBackgroundLoad(const QString& path)
    : path_(path), identity_(IdentityOf(path)), state_(std::make_shared<TState>())
{
    state_->Waker = this;
    std::thread([state = state_, path] {
        TPicture picture;
        bool failed = true;
        std::string error;
        try {
            picture.LoadFromFile(path);
            failed = false;
        } catch (const std::bad_alloc&) {
            error = QFile::encodeName(path).toStdString() + ": out of memory";
        } catch (const std::exception& e) {
            error = e.what();
        } catch (...) {
            error = QFile::encodeName(path).toStdString() + ": cannot be loaded";
        }
        TBitmap bitmap;
        bitmap.Assign(picture.Bitmap());
        const std::lock_guard lock(state->Lock);
        state->Picture.Swap(bitmap);
        state->Failed = failed;
        state->Error = std::move(error);
        state->Done = true;
        // Any queued call wakes a thread waiting for events.
        if (state->Waker)
            QMetaObject::invokeMethod(state->Waker, [] {}, Qt::QueuedConnection);
    }).detach();
}

TBackgroundLoad::~TBackgroundLoad()
{
    const std::lock_guard lock(state_->Lock);
    state_->Waker = nullptr;
}

bool TBackgroundLoad::FileUnchanged() const
{
    return IdentityOf(path_) == identity_;
}

bool TBackgroundLoad::Wait(const std::function<bool()>& giveUp)
{
    for (;;) {
        {
            const std::lock_guard lock(state_->Lock);
            if (state_->Done)
                return true;
        }
        if (giveUp())
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents | QEventLoop::AllEvents);
    }
}

void TBackgroundLoad::Take(TBitmap& out)
{
    const std::lock_guard lock(state_->Lock);
    if (state_->Failed)
        throw TDecodeError(state_->Error);
    out.Swap(state_->Picture);
}

} // namespace mirel
