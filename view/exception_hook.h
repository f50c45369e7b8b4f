// Where the widget's failures go when no caller can receive them.
//
// Qt must never see a C++ exception leave an event handler, so the widget
// catches at each of its handlers (paint, resize, the end of a threaded
// transition, a frame that failed on the worker thread) and hands the error
// to the handler installed here. The call reaches the handler from the event
// loop, after the failed handler has returned, so the handler may open a
// modal dialog. The default handler writes the message to stderr.
#pragma once

#include <QString>

#include <exception>
#include <functional>

namespace mirel {

using TExceptionHandler = std::function<void(const QString& Message)>;

// Installs handler (nothing restores the default) and returns the previous one.
TExceptionHandler SetExceptionHandler(TExceptionHandler handler);

// The message of an error: what() of a std::exception, a fixed text otherwise.
QString ExceptionMessage(const std::exception_ptr& error);

// Passes error to the installed handler. Call on the GUI thread; without a
// running application object the handler is called at once.
void ShowException(const std::exception_ptr& error) noexcept;

} // namespace mirel
