// The show of the user's own pictures (mirel-show FOLDER|FILE...).
//
// A borderless full-screen black window (or, as a screen saver, the root
// window or a window of the saver's) on which each picture, fitted to the
// whole screen, comes in through a transition of a random style. The next
// picture is decoded on a worker thread while the current one shows; a
// picture that is not ready when its time comes follows as soon as it is.
// A picture that cannot be loaded is reported once on standard error and
// passed over.
//
// Input: without viewer keys, any key, mouse button or a mouse move far
// from the corner ends the show, as with the built-in pictures; with them,
// Right and Left go to the next and previous picture, Space pauses, Esc or
// q ends the show, and everything else is ignored. As a screen saver, input
// is the saver's business and the show ends on SIGTERM.
#pragma once

#include "app/blanking.h"
#include "app/input_watch.h"
#include "app/options.h"
#include "app/picture_loader.h"

#include <QStringList>
#include <QTimer>
#include <QWidget>

#include <atomic>
#include <chrono>
#include <memory>

class QWindow;

namespace mirel {

class TShowView;

class TViewer : public QWidget {
public:
    TViewer(TShowOptions options, QStringList files);
    ~TViewer() override;

    // Shows the window (full screen, or in the saver's window) and starts.
    // False, with a line on standard error, when the saver's window cannot
    // be used.
    bool Start();

    TShowView* View() const { return view_; }

    // The exit status the show ends with: 1 when no picture could be shown.
    int ExitStatus() const { return exitStatus_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void Input(const TMessage& Msg);
    void RequestPicture(qsizetype index);
    void Loaded(int serial, std::shared_ptr<const TBitmap> picture, const QString& error);
    void Present();
    void Advance(int direction);
    void TogglePause();
    QSize FrameSize() const;
    void FitHost(QSize size);
    void FollowHost();

    TShowOptions options_;
    QStringList files_;
    TShowView* view_ = nullptr;
    TPictureLoader loader_;
    TInputWatch watch_;
    TBlankingGuard blanking_;
    QTimer pause_;
    QWindow* foreign_ = nullptr;
    // As a saver: the window drawn into, looked at now and then, since
    // nothing tells a child window that its host has gone or changed size.
    uint64_t hostId_ = 0;
    QSize hostSize_;
    QTimer hostWatch_;

    // The picture on screen, and the one asked of the loader.
    qsizetype shown_ = -1;
    qsizetype requested_ = -1;
    int serial_ = 0;
    std::shared_ptr<const TBitmap> ready_; // the requested picture, once loaded
    bool due_ = false;                     // its time has come: show it on arrival
    bool paused_ = false;
    int exitStatus_ = 0;
    bool closed_ = false;

    // With MIREL_SHOW_TIMING: when the shown picture's time ended, and when
    // the next transition's first frame was built (on the worker thread).
    bool timing_ = false;
    std::chrono::steady_clock::time_point dueSince_;
    std::atomic<bool> awaitingFrame_{false};
};

} // namespace mirel
