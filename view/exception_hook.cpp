#include "view/exception_hook.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <cstdio>
#include <mutex>

namespace mirel {

namespace {

std::mutex HandlerLock;

TExceptionHandler& Handler()
{
    static TExceptionHandler handler = [](const QString& message) {
        std::fprintf(stderr, "mirel: %s\n", message.toLocal8Bit().constData());
    };
    return handler;
}

void CallHandler(const QString& message)
{
    TExceptionHandler handler;
    {
        const std::lock_guard lock(HandlerLock);
        handler = Handler();
    }
    if (!handler)
        return;
    try {
        handler(message);
    } catch (...) {
        // A failing error handler has nobody left to tell.
    }
}

} // namespace

TExceptionHandler SetExceptionHandler(TExceptionHandler handler)
{
    const std::lock_guard lock(HandlerLock);
    TExceptionHandler previous = std::move(Handler());
    Handler() = std::move(handler);
    return previous;
}

QString ExceptionMessage(const std::exception_ptr& error)
{
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("Unknown error");
    }
}

void ShowException(const std::exception_ptr& error) noexcept
{
    if (!error)
        return;
    try {
        const QString message = ExceptionMessage(error);
        QCoreApplication* app = QCoreApplication::instance();
        if (app == nullptr) {
            CallHandler(message);
            return;
        }
        QMetaObject::invokeMethod(app, [message] { CallHandler(message); }, Qt::QueuedConnection);
    } catch (...) {
        // Out of memory while reporting: drop the report rather than throw.
    }
}

} // namespace mirel
