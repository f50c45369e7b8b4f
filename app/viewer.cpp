#include "app/viewer.h"

#include "app/show_view.h"
#include "effects/random.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QWindow>
#include <QtGui/qguiapplication_platform.h>

#include <X11/Xlib.h>

#include <cmath>
#include <cstdio>

namespace mirel {

namespace {

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
        if (const QScreen* screen = QGuiApplication::primaryScreen())
            setGeometry(screen->geometry());
        setWindowState(Qt::WindowFullScreen);
        show();
        qApp->installEventFilter(&watch_);
        // A saver holds nothing off: it is what blanking means (see blanking.h).
        blanking_.Start(QStringLiteral("Showing pictures"));
    }
    RequestPicture(0);
    due_ = true;
    return true;
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
        if (ClosesShow(Msg))
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
