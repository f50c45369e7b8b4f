#include "app/viewer.h"

#include "app/show_view.h"
#include "app/staging.h"
#include "app/unit1.h"
#include "effects/random.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QCursor>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QWindow>
#include <QtGui/qguiapplication_platform.h>

#include <X11/Xlib.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace mirel {

namespace {

// A move ends a folder show beyond this many device pixels from where the
// pointer was, on either axis: a deliberate push of the mouse, not a bump
// of the desk.
constexpr int MoveReach = 100;
// How long a note about a missing picture stays, and how many it lists.
constexpr int NoteMs = 6000;
constexpr int NoteLines = 3;
// How long a later show waits for the earlier one to answer, and then to end.
constexpr int ReplaceAnswerMs = 3000;
constexpr int ReplaceEndMs = 5000;

void Report(const QString& line)
{
    std::fprintf(stderr, "mirel-show: %s\n", line.toLocal8Bit().constData());
    std::fflush(stderr);
}

Display* XDisplay()
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return nullptr;
    const auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->display() : nullptr;
}

// The root window of the X display, or 0 when not on X.
uint64_t RootWindowId()
{
    Display* display = XDisplay();
    return display ? uint64_t(DefaultRootWindow(display)) : 0;
}

// The size of an X window; empty when there is no such window.
QSize XWindowSize(uint64_t id)
{
    Display* display = XDisplay();
    if (!display)
        return {};
    // A wrong id is reported as an X error, not as a failure of the call.
    const auto previous = XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    XWindowAttributes attributes{};
    const Status ok = XGetWindowAttributes(display, Window(id), &attributes);
    XSync(display, False);
    XSetErrorHandler(previous);
    return ok ? QSize(attributes.width, attributes.height) : QSize();
}

} // namespace

TViewer::TViewer(TShowOptions options, QStringList files)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint),
      options_(std::move(options)),
      files_(std::move(files)),
      watch_([this](const TMessage& Msg, bool&) { Input(Msg); })
{
    setWindowTitle(QStringLiteral("mirel-show"));
    QPalette black = palette();
    black.setColor(QPalette::Window, Qt::black);
    setPalette(black);
    setAutoFillBackground(true);
    setCursor(Qt::BlankCursor);
    if (options_.Styles.empty())
        for (int s = 1; s <= 150; ++s)
            options_.Styles.push_back(s);

    view_ = new TShowView(this);
    view_->PlaceAt(QPoint(0, 0));

    loader_.OnLoaded = [this](int serial, std::shared_ptr<const TBitmap> picture, const QString& error) {
        Loaded(serial, std::move(picture), error);
    };
    // Timing of the change of pictures, for the benchmark: from the moment
    // a picture's time is up to the first frame of the transition that
    // replaces it.
    timing_ = !qEnvironmentVariableIsEmpty("MIREL_SHOW_TIMING");
    if (timing_)
        view_->OnProgress = [this](QObject*) {
            if (!awaitingFrame_.exchange(false))
                return;
            const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - dueSince_).count();
            std::fprintf(stderr, "mirel-show: next transition's first frame %.1f ms after the picture's time was up\n", ms);
        };
    pause_.setSingleShot(true);
    connect(&pause_, &QTimer::timeout, this, [this] { Advance(+1); });

    note_ = new QLabel(this);
    note_->setStyleSheet(QStringLiteral("QLabel { color: #f0f0f0; background: rgba(0, 0, 0, 170);"
                                        " padding: 4px 10px; border-radius: 4px; }"));
    note_->setAttribute(Qt::WA_TransparentForMouseEvents);
    note_->hide();
    noteTimer_.setSingleShot(true);
    connect(&noteTimer_, &QTimer::timeout, this, [this] {
        note_->hide();
        noteLines_.clear();
    });
}

TViewer::~TViewer()
{
    // The control ends its transition before the rest of the window goes.
    delete view_;
    view_ = nullptr;
}

bool TViewer::Start()
{
    const bool saver = options_.Root || options_.WindowId != 0;
    if (saver) {
        const uint64_t id = options_.Root ? RootWindowId() : options_.WindowId;
        if (id == 0) {
            Report(QStringLiteral("--root needs an X display"));
            return false;
        }
        const QSize size = XWindowSize(id);
        foreign_ = size.isEmpty() ? nullptr : QWindow::fromWinId(WId(id));
        if (!foreign_) {
            Report(QStringLiteral("cannot draw into window 0x%1").arg(id, 0, 16));
            return false;
        }
        if (options_.Root)
            setWindowFlag(Qt::X11BypassWindowManagerHint);
        setAttribute(Qt::WA_NativeWindow);
        winId();
        windowHandle()->setParent(foreign_);
        hostId_ = id;
        hostSize_ = size;
        FitHost(size);
        show();
        // A preview ends with its dialog, and a saver's window may be
        // resized (a screen added): twice a second is soon enough for
        // either, and costs one round trip to the X server.
        connect(&hostWatch_, &QTimer::timeout, this, &TViewer::FollowHost);
        hostWatch_.start(500);
    } else {
        ReplaceEarlierShow();
        if (const QScreen* screen = QGuiApplication::primaryScreen())
            setGeometry(screen->geometry());
        setWindowState(Qt::WindowFullScreen);
        show();
        qApp->installEventFilter(&watch_);
        const QPoint pointer = mapFromGlobal(QCursor::pos());
        if (rect().contains(pointer))
            pointerOrigin_ = pointer * devicePixelRatioF();
        // A saver holds nothing off: it is what blanking means (see blanking.h).
        blanking_.Start(QStringLiteral("Showing pictures"));
    }
    RequestPicture(0);
    due_ = true;
    return true;
}

void TViewer::ReplaceEarlierShow()
{
    const QString name =
        TSingleInstance::ServerName(DefaultTitle(QCoreApplication::applicationFilePath()) + QStringLiteral("-pictures"));
    const QString lockPath = TSingleInstance::LockPath(name, DefaultCacheHome() + QStringLiteral("/mirel12"));
    auto lock = instance_.Lock(lockPath);
    if (lock == TSingleInstance::TLock::Held) {
        // The earlier show may have just started and not listen yet.
        if (TSingleInstance::AskToQuit(name, ReplaceAnswerMs))
            lock = instance_.LockWaiting(lockPath, ReplaceEndMs);
        if (lock == TSingleInstance::TLock::Held) {
            // Showing the pictures asked for beats refusing to.
            Report(QStringLiteral("an earlier show (it holds %1) did not end when asked; showing beside it").arg(lockPath));
            return;
        }
    }
    instance_.OnQuit = [this] { close(); };
    instance_.Listen(name);
}

void TViewer::FitHost(QSize size)
{
    // The saver's window is in device pixels.
    const qreal ratio = devicePixelRatioF();
    setGeometry(0, 0, int(std::ceil(size.width() / ratio)), int(std::ceil(size.height() / ratio)));
}

void TViewer::FollowHost()
{
    const QSize size = XWindowSize(hostId_);
    if (size.isEmpty()) {
        // The host window is gone, and with it the one drawn into: the
        // show is over, as a saver's is when its window closes.
        hostWatch_.stop();
        close();
        return;
    }
    if (size != hostSize_) {
        hostSize_ = size;
        FitHost(size);
    }
}

QSize TViewer::FrameSize() const
{
    const qreal ratio = devicePixelRatioF();
    return {int(std::lround(width() * ratio)), int(std::lround(height() * ratio))};
}

void TViewer::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    // The control covers the window; the pictures are fitted to it.
    view_->setGeometry(0, 0, width(), height());
    view_->PlaceAt(QPoint(0, 0));
    PlaceNote();
}

void TViewer::Note(const QString& line)
{
    noteLines_ << line;
    if (noteLines_.size() > NoteLines)
        noteLines_.remove(0, noteLines_.size() - NoteLines);
    PlaceNote();
    note_->show();
    note_->raise();
    noteTimer_.start(NoteMs);
}

void TViewer::PlaceNote()
{
    const QFontMetrics metrics(note_->font());
    QStringList shown;
    // Elided to the window: a saver's preview is small.
    for (const QString& line : std::as_const(noteLines_))
        shown << metrics.elidedText(line, Qt::ElideMiddle, std::max(width() - 60, 40));
    note_->setText(shown.join(QLatin1Char('\n')));
    note_->adjustSize();
    note_->move((width() - note_->width()) / 2, height() - note_->height() - std::max(height() / 30, 4));
}

void TViewer::RequestPicture(qsizetype index)
{
    if (files_.isEmpty())
        return;
    index = (index % files_.size() + files_.size()) % files_.size();
    requested_ = index;
    ready_.reset();
    const QSize frame = FrameSize();
    loader_.Request(++serial_, files_[index], frame.width(), frame.height());
}

void TViewer::Loaded(int serial, std::shared_ptr<const TBitmap> picture, const QString& error)
{
    if (serial != serial_ || closed_)
        return; // asked for another picture meanwhile
    if (!picture) {
        // Reported once: a failed file is left out of the list.
        Report(error);
        // The screen names the file alone; standard error has its path.
        const QString& path = files_[requested_];
        Note(QStringLiteral("Not shown: %1").arg(error.startsWith(path)
                                                      ? QFileInfo(path).fileName() + error.mid(path.size())
                                                      : error));
        files_.removeAt(requested_);
        if (files_.isEmpty()) {
            Report(QStringLiteral("no picture could be shown"));
            exitStatus_ = 1;
            close();
            return;
        }
        if (shown_ > requested_)
            --shown_;
        RequestPicture(requested_ < files_.size() ? requested_ : 0);
        return;
    }
    ready_ = std::move(picture);
    if (due_)
        Present();
}

void TViewer::Present()
{
    due_ = false;
    if (timing_ && shown_ >= 0)
        awaitingFrame_.store(true);
    const std::shared_ptr<const TBitmap> picture = std::exchange(ready_, nullptr);
    if (!picture)
        return;
    if (view_->Busy())
        view_->Stop();
    view_->Picture().Assign(*picture);
    view_->SetStyle(options_.Styles[size_t(Random(uint32_t(options_.Styles.size())))]);
    shown_ = requested_;
    view_->Execute();
    // The next one is decoded while this one shows.
    if (files_.size() > 1)
        RequestPicture(shown_ + 1);
    if (!paused_)
        pause_.start(options_.PauseMs);
}

void TViewer::Advance(int direction)
{
    if (closed_ || files_.isEmpty())
        return;
    pause_.stop();
    dueSince_ = std::chrono::steady_clock::now();
    if (files_.size() == 1) {
        // One picture: it comes again with another transition.
        if (shown_ >= 0 && !ready_) {
            RequestPicture(0);
        }
        due_ = true;
        if (ready_)
            Present();
        return;
    }
    const qsizetype want = ((shown_ + direction) % files_.size() + files_.size()) % files_.size();
    if (requested_ != want)
        RequestPicture(want);
    due_ = true;
    if (ready_)
        Present();
}

void TViewer::TogglePause()
{
    paused_ = !paused_;
    if (paused_)
        pause_.stop();
    else if (!due_)
        pause_.start(options_.PauseMs);
}

void TViewer::Input(const TMessage& Msg)
{
    if (!options_.Keys) {
        if (Msg.Message == WM_MOUSEMOVE ? MovedFar(Msg.LParam) : ClosesShow(Msg))
            close();
        return;
    }
    if (Msg.Message != WM_KEYDOWN && Msg.Message != WM_SYSKEYDOWN)
        return;
    switch (Msg.WParam) {
    case Qt::Key_Right: Advance(+1); break;
    case Qt::Key_Left: Advance(-1); break;
    case Qt::Key_Space: TogglePause(); break;
    case Qt::Key_Escape:
    case Qt::Key_Q: close(); break;
    default: break;
    }
}

bool TViewer::MovedFar(uint32_t lParam)
{
    const QPoint at(int(int16_t(lParam & 0xFFFFu)), int(int16_t(lParam >> 16)));
    if (!pointerOrigin_) {
        pointerOrigin_ = at;
        return false;
    }
    const QPoint moved = at - *pointerOrigin_;
    return std::abs(moved.x()) > MoveReach || std::abs(moved.y()) > MoveReach;
}

void TViewer::closeEvent(QCloseEvent* event)
{
    event->accept();
    if (closed_)
        return;
    closed_ = true;
    pause_.stop();
    hostWatch_.stop();
    qApp->removeEventFilter(&watch_);
    if (view_->Busy())
        view_->Stop();
    blanking_.Release();
    QCoreApplication::exit(exitStatus_);
}

} // namespace mirel
