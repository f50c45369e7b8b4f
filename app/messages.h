// Message boxes and failures of the show.
//
// Every failure is an exception. A handler that Qt calls (window events, the
// timer, the input watch) runs its body through Guarded, which turns an
// exception into an error box and returns normally, so that no exception ever
// crosses Qt's event dispatch and the show runs on.
//
// Boxes go through a replaceable hook: the default shows a Qt message box
// (not modal, one OK button, the arrow pointer over it); tests install a hook
// that records the messages instead. While a box is open, further messages
// of its kind are added to it instead of opening more boxes; it lists what
// fits on the screen and counts the rest. Errors are also written to
// standard error, each once, whether or not a box shows them.
#pragma once

#include <QString>

class QWidget;

#include <exception>
#include <functional>
#include <stdexcept>
#include <string>

namespace mirel {

// A failure of the show with the text the user is shown.
class TShowError : public std::runtime_error {
public:
    explicit TShowError(const QString& message) : std::runtime_error(message.toStdString()) {}
};

enum class TMessageKind { Warning, Error };

using TMessageHook = std::function<void(TMessageKind Kind, const QString& Text)>;

// Installs hook (an empty one restores the Qt boxes); returns the previous.
TMessageHook SetMessageHook(TMessageHook hook);

// Shows Text in a box of the given kind with a single OK button and returns
// at once: the box stays until it is dismissed while the show goes on under
// it. (A box that waited would stop the slide cycle for as long as it is
// open, since a timer does not fire again while its handler runs.)
void ShowMessageBox(TMessageKind Kind, const QString& Text);

// Calls done once no box is open: at once (queued) when none is, else when
// the last open one has been answered. For a start that ends after telling
// the user why.
void AfterBoxesAnswered(std::function<void()> done);

// The window that boxes belong to (stay above), when it exists.
void SetBoxOwner(QWidget* owner);

// Shows the exception in an error box. Never throws.
void ShowErrorBox(const std::exception_ptr& error) noexcept;

// Runs body; an exception it throws is shown in an error box instead of
// leaving the caller.
template <class F>
void Guarded(F&& body) noexcept
{
    try {
        body();
    } catch (...) {
        ShowErrorBox(std::current_exception());
    }
}

} // namespace mirel
