// The show of the user's own pictures (mirel-show FOLDER|FILE...).
//
// A borderless full-screen black window (or, as a screen saver, the root
// window or a window of the saver's) on which each picture, fitted to the
// whole screen, comes in through a transition of a random style. The next
// picture is decoded on a worker thread while the current one shows; a
// picture that is not ready when its time comes follows as soon as it is.
// A picture that cannot be loaded is reported once on standard error and,
// for a few seconds, in a line at the bottom of the screen (a show started
// from a file manager has no terminal), and passed over.
//
// One full-screen show of pictures runs at a time: a later one asks the
// earlier one to end and takes its place, since it shows what the user has
// just asked for. Savers are not counted: a saver's preview and the saver
// itself may run together.
//
// Input: without viewer keys, any key, mouse button or a large mouse move
// ends the show. The move is measured from where the pointer was when the
// show began, not from the corner as the built-in show measures it, so
// that a nudge never ends it wherever the pointer rests; with viewer keys,
// Right and Left go to the next and previous picture, Space pauses, Esc or
// q ends the show, and everything else is ignored. As a screen saver, input
// is the saver's business and the show ends on SIGTERM.
#pragma once

#include "app/blanking.h"
#include "app/input_watch.h"
#include "app/options.h"
#include "app/picture_loader.h"
#include "app/single_instance.h"

#include <QPoint>
#include <QStringList>
#include <QTimer>
#include <QWidget>

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>

class QLabel;
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
    bool MovedFar(uint32_t lParam);
    void Note(const QString& line);
    void PlaceNote();
    void RequestPicture(qsizetype index);
    void Loaded(int serial, std::shared_ptr<const TBitmap> picture, const QString& error);
    void Present();
    void Advance(int direction);
    void TogglePause();
    QSize FrameSize() const;
    void FitHost(QSize size);
    void FollowHost();
    void ReplaceEarlierShow();

    TShowOptions options_;
    QStringList files_;
    TShowView* view_ = nullptr;
    TPictureLoader loader_;
    TInputWatch watch_;
    TBlankingGuard blanking_;
    TSingleInstance instance_;
    QTimer pause_;
    // Where the pointer rested at the start (device pixels), or its first
    // move when it was elsewhere.
    std::optional<QPoint> pointerOrigin_;
    QLabel* note_ = nullptr;
    QStringList noteLines_;
    QTimer noteTimer_;
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
