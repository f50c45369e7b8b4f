// The transition widget: a Qt widget that holds one picture and shows it by
// an animated transition (one of 150) from whatever it currently displays.
//
//     auto* view = new mirel::TTransitionView(parent);
//     view->setFillMode(mirel::TTransitionView::FillMode::PreserveAspectFit);
//     view->load(QStringLiteral("holiday.jpg"));
//     view->setStyleName(QStringLiteral("Fade"));
//     connect(view, &mirel::TTransitionView::completed, this, &Window::next);
//     view->execute();
//
// Two faces over one control. The Qt face: camelCase getters, setters that
// are public slots, a property with a NOTIFY signal for each value, and
// signals that always arrive on the widget's own (GUI) thread; it throws
// nothing, and reports failures through errorOccurred() and return values.
// The classic face: the properties by their capitalised names (Style,
// SetStyle, Execute), the On... callbacks, some of which run on the worker
// thread, and the exceptions of <mirel/errors.h>.
//
// Threads. Everything is called on the GUI thread, except what a threaded
// transition runs on its worker: the frame build and the callbacks
// OnBeforeNewFrame, OnCustomDraw, OnAfterNewFrame and OnProgress. Handlers
// of those may read the widget and draw into the bitmaps they are given, but
// must not touch other widgets (connect to progressChanged() for that). Stop,
// Execute and SetManual called there are carried out on the GUI thread soon
// after: Stop at once keeps the worker from building another frame, and ends
// the transition as stopped. Deleting the widget from any callback or
// signal handler is safe on the GUI thread; on the worker, use deleteLater().
//
// This header needs C++17 and Qt 6 Widgets only.
#pragma once

#include <mirel/errors.h>

#include <QColor>
#include <QImage>
#include <QPixmap>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>

class QPainter;

namespace mirel {

class TBitmap;
class TCanvas;
class TPicture;
struct TRect;
class TAnimateThread;
struct TTransitionViewPrivate;

/// The enumerations of the widget's properties, in a gadget so that Qt's
/// property system, Designer and QML can name their values.
class TViewEnums {
    Q_GADGET
public:
    // Each has int beneath it: a value written through the property system
    // may be any int, and the setters refuse the ones without a name; an
    // enum without a fixed type could not even hold them to be looked at.
    /// How the background picture covers the control: not at all, tiled from
    /// the top-left corner, stretched to the whole control, or centred.
    enum TBackgroundMode : int { bmNone, bmTiled, bmStretched, bmCentered };
    Q_ENUM(TBackgroundMode)
    /// The scheduling priority of the worker thread, from idle to time-critical.
    enum TThreadPriority : int { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };
    Q_ENUM(TThreadPriority)
    /// Where the control sits in its parent: alNone keeps its own geometry,
    /// the others follow the parent's size (a top, bottom, left or right
    /// strip, or the whole parent). A layout, where there is one, overrides it.
    enum TAlign : int { alNone, alTop, alBottom, alLeft, alRight, alClient };
    Q_ENUM(TAlign)
    /// How the picture fills the control, with the values of Qt Quick's
    /// Image.fillMode (and its numbers, so that a QML binding to
    /// Image.PreserveAspectFit means the same here). Name them as
    /// TTransitionView::FillMode::PreserveAspectFit.
    enum FillMode : int {
        /// Scaled to the control's size, its aspect ratio ignored.
        Stretch = 0,
        /// Scaled to fit the control, aspect ratio kept, centred; the
        /// background shows beside it.
        PreserveAspectFit = 1,
        /// Scaled to cover the control, aspect ratio kept, centred; what
        /// overhangs is cut off.
        PreserveAspectCrop = 2,
        /// Unscaled, as the classic properties place it: at the top-left
        /// corner (or centred by center), stretched by stretch, and the
        /// control sized to it by autoSize. The default.
        Pad = 6,
    };
    Q_ENUM(FillMode)
};
using TBackgroundMode = TViewEnums::TBackgroundMode;
using TThreadPriority = TViewEnums::TThreadPriority;
using TAlign = TViewEnums::TAlign;
constexpr TBackgroundMode bmNone = TViewEnums::bmNone;
constexpr TBackgroundMode bmTiled = TViewEnums::bmTiled;
constexpr TBackgroundMode bmStretched = TViewEnums::bmStretched;
constexpr TBackgroundMode bmCentered = TViewEnums::bmCentered;
constexpr TThreadPriority tpIdle = TViewEnums::tpIdle;
constexpr TThreadPriority tpLowest = TViewEnums::tpLowest;
constexpr TThreadPriority tpLower = TViewEnums::tpLower;
constexpr TThreadPriority tpNormal = TViewEnums::tpNormal;
constexpr TThreadPriority tpHigher = TViewEnums::tpHigher;
constexpr TThreadPriority tpHighest = TViewEnums::tpHighest;
constexpr TThreadPriority tpTimeCritical = TViewEnums::tpTimeCritical;
constexpr TAlign alNone = TViewEnums::alNone;
constexpr TAlign alTop = TViewEnums::alTop;
constexpr TAlign alBottom = TViewEnums::alBottom;
constexpr TAlign alLeft = TViewEnums::alLeft;
constexpr TAlign alRight = TViewEnums::alRight;
constexpr TAlign alClient = TViewEnums::alClient;

/// A callback with the widget as Sender.
using TNotifyEvent = std::function<void(QObject* Sender)>;
/// A frame callback: Picture is the new picture, Screen the frame (or the
/// captured start) being built, both at the picture's size.
using TCustomDrawEvent = std::function<void(QObject* Sender, TBitmap& Picture, TBitmap& Screen)>;

/// The pixels of a bitmap as a QImage (Format_RGB32) that shares them: draw
/// on it with a QPainter in an OnCustomDraw handler, or copy() it to keep it.
/// Valid while the bitmap lives at its size.
QImage BitmapImage(TBitmap& bitmap);
/// The same, read only: a QImage made from const pixels, which copies them
/// only if written to.
QImage BitmapImage(const TBitmap& bitmap);

/// The whole control and its engine, with its properties published to Qt's
/// property system, Qt Designer and QML by their camelCase names (with NOTIFY
/// signals), and to code and older forms by their classic capitalised
/// names too. Derive from it to replace the Do... operations; place
/// TTransitionView otherwise.
///
/// A photo viewer sets one property, setFillMode(FillMode::PreserveAspectFit),
/// and places the control in a layout: see fillMode.
class TCustomTransitionView : public QWidget {
    Q_OBJECT
    /// The transition style, 0 to 150 (transitionStyle(), setTransitionStyle()).
    Q_PROPERTY(int style READ transitionStyle WRITE setTransitionStyle NOTIFY styleChanged)
    /// The current style's catalogue name; writing a name selects that style.
    Q_PROPERTY(QString styleName READ styleName WRITE setStyleName NOTIFY styleNameChanged STORED false)
    /// Percent of the transition per frame, 1 to 100.
    Q_PROPERTY(int step READ step WRITE setStep NOTIFY stepChanged)
    /// Milliseconds aimed at between frames, 0 to 65535.
    Q_PROPERTY(int delay READ delay WRITE setDelay NOTIFY delayChanged)
    /// Whether transitions step on a worker thread.
    Q_PROPERTY(bool threaded READ isThreaded WRITE setThreaded NOTIFY threadedChanged)
    /// The worker thread's priority.
    Q_PROPERTY(mirel::TViewEnums::TThreadPriority threadPriority READ threadPriority WRITE setThreadPriority
                   NOTIFY threadPriorityChanged)
    /// Whether the progress runs from 100 down to 0.
    Q_PROPERTY(bool reverse READ isReverse WRITE setReverse NOTIFY reverseChanged)
    /// Whether the application moves the transition (see setManual()).
    Q_PROPERTY(bool manual READ isManual WRITE setManual NOTIFY manualChanged)
    /// The running transition's progress in percent.
    Q_PROPERTY(int progress READ progress WRITE setProgress NOTIFY progressChanged STORED false DESIGNABLE false)
    /// Whether a transition is running.
    Q_PROPERTY(bool busy READ isBusy NOTIFY busyChanged STORED false)
    /// How the picture fills the control (see setFillMode()).
    Q_PROPERTY(mirel::TViewEnums::FillMode fillMode READ fillMode WRITE setFillMode NOTIFY fillModeChanged)
    /// With FillMode::Pad, whether the picture is stretched to the control.
    Q_PROPERTY(bool stretch READ stretch WRITE setStretch NOTIFY stretchChanged)
    /// With stretch, whether the aspect ratio is kept.
    Q_PROPERTY(bool stretchFine READ stretchFine WRITE setStretchFine NOTIFY stretchFineChanged)
    /// With FillMode::Pad, whether the unstretched picture is centred.
    Q_PROPERTY(bool center READ isCenter WRITE setCenter NOTIFY centerChanged)
    /// With FillMode::Pad, whether a new picture sizes the control to it.
    Q_PROPERTY(bool autoSize READ autoSize WRITE setAutoSize NOTIFY autoSizeChanged)
    /// Whether a transition starts from the screen (else the bare background).
    Q_PROPERTY(bool overDraw READ overDraw WRITE setOverDraw NOTIFY overDrawChanged)
    /// How the background picture is drawn.
    Q_PROPERTY(mirel::TViewEnums::TBackgroundMode bgMode READ bgMode WRITE setBgMode NOTIFY bgModeChanged)
    /// The background colour.
    Q_PROPERTY(QColor color READ color WRITE setColor NOTIFY colorChanged)
    /// The picture the next transition goes to.
    Q_PROPERTY(QImage image READ image WRITE setImage NOTIFY pictureChanged STORED false)

    // The classic face's names, for code and for forms saved with them:
    // read from a form by uic and QUiLoader alike, but kept out of
    // Designer's property editor, which shows each value once, by its
    // camelCase name (and would otherwise save it under both).
    /// Where the control sits in its parent; a layout overrides it.
    Q_PROPERTY(mirel::TViewEnums::TAlign Align READ Align WRITE SetAlign)
    /// The classic name of autoSize, for code and older forms.
    Q_PROPERTY(bool AutoSize READ AutoSize WRITE SetAutoSize NOTIFY autoSizeChanged DESIGNABLE false)
    /// The classic name of bgMode, for code and older forms.
    Q_PROPERTY(mirel::TViewEnums::TBackgroundMode BgMode READ BgMode WRITE SetBgMode NOTIFY bgModeChanged
                   DESIGNABLE false)
    /// The classic BgPicture object.
    Q_PROPERTY(mirel::TPicture* BgPicture READ BgPictureObject WRITE SetBgPicture NOTIFY bgPictureChanged
                   DESIGNABLE false)
    /// The classic name of center, for code and older forms.
    Q_PROPERTY(bool Center READ Center WRITE SetCenter NOTIFY centerChanged DESIGNABLE false)
    /// The classic name of color, for code and older forms.
    Q_PROPERTY(QColor Color READ Color WRITE SetColor NOTIFY colorChanged DESIGNABLE false)
    /// The classic name of delay, for code and older forms.
    Q_PROPERTY(int Delay READ Delay WRITE SetDelay NOTIFY delayChanged DESIGNABLE false)
    /// The control's height, for older forms; the geometry holds it.
    Q_PROPERTY(int Height READ height WRITE SetHeight DESIGNABLE false STORED false)
    /// The classic name of manual, for code and older forms.
    Q_PROPERTY(bool Manual READ Manual WRITE SetManual NOTIFY manualChanged DESIGNABLE false)
    /// The classic name of overDraw, for code and older forms.
    Q_PROPERTY(bool OverDraw READ OverDraw WRITE SetOverDraw NOTIFY overDrawChanged DESIGNABLE false)
    /// Whether the control takes its parent's colour.
    Q_PROPERTY(bool ParentColor READ ParentColor WRITE SetParentColor)
    /// The classic Picture object.
    Q_PROPERTY(mirel::TPicture* Picture READ PictureObject WRITE SetPicture NOTIFY pictureChanged DESIGNABLE false)
    /// The classic name of reverse, for code and older forms.
    Q_PROPERTY(bool Reverse READ Reverse WRITE SetReverse NOTIFY reverseChanged DESIGNABLE false)
    /// The classic name of stretch, for code and older forms.
    Q_PROPERTY(bool Stretch READ Stretch WRITE SetStretch NOTIFY stretchChanged DESIGNABLE false)
    /// The classic name of stretchFine, for code and older forms.
    Q_PROPERTY(bool StretchFine READ StretchFine WRITE SetStretchFine NOTIFY stretchFineChanged DESIGNABLE false)
    /// The classic name of step, for code and older forms.
    Q_PROPERTY(int Step READ Step WRITE SetStep NOTIFY stepChanged DESIGNABLE false)
    /// The classic name of style, for code and older forms.
    Q_PROPERTY(int Style READ Style WRITE SetStyle NOTIFY styleChanged DESIGNABLE false)
    /// The classic name of styleName, for code and older forms.
    Q_PROPERTY(QString StyleName READ StyleName WRITE SetStyleName NOTIFY styleNameChanged STORED false
                   DESIGNABLE false)
    /// The classic name of threaded, for code and older forms.
    Q_PROPERTY(bool Threaded READ Threaded WRITE SetThreaded NOTIFY threadedChanged DESIGNABLE false)
    /// The classic name of threadPriority, for code and older forms.
    Q_PROPERTY(mirel::TViewEnums::TThreadPriority ThreadPriority READ ThreadPriority WRITE SetThreadPriority
                   NOTIFY threadPriorityChanged DESIGNABLE false)
    /// The control's width, for older forms; the geometry holds it.
    Q_PROPERTY(int Width READ width WRITE SetWidth DESIGNABLE false STORED false)

public:
    /// How the picture fills the control (TCustomTransitionView::FillMode).
    using FillMode = TViewEnums::FillMode;

    /// A control of 100 x 100 with the defaults: style 51, step 4, delay 40,
    /// threaded, tiled background, sized to its picture.
    explicit TCustomTransitionView(QWidget* parent = nullptr);
    ~TCustomTransitionView() override;

    using QWidget::setStyle; // QWidget's own, for a QStyle*

    // ---- The Qt face -------------------------------------------------------

    /// The current transition style: 0 draws through OnCustomDraw, 1 to 150
    /// are the catalogue's effects. (QWidget::style() is the QStyle.)
    int transitionStyle() const { return Style(); }
    /// The catalogue name of the current style ("Custom" for 0).
    QString styleName() const { return StyleName(); }
    /// The names of the catalogue's styles in order: the name of style n is
    /// at n - 1, as a combo box lists them (setTransitionStyle(index + 1)).
    Q_INVOKABLE static QStringList styleNames();
    /// The number of catalogue styles, 150: the styles are 1 to styleCount().
    Q_INVOKABLE static int styleCount();
    /// Percent the progress advances per frame, 1 to 100.
    int step() const { return Step(); }
    /// Milliseconds aimed at between frames.
    int delay() const { return Delay(); }
    /// Whether transitions step on a worker thread.
    bool isThreaded() const { return Threaded(); }
    /// The worker thread's priority.
    TThreadPriority threadPriority() const { return ThreadPriority(); }
    /// Whether the progress runs from 100 down to 0.
    bool isReverse() const { return Reverse(); }
    /// Whether the application sets the progress itself (see setManual()).
    bool isManual() const { return Manual(); }
    /// The current transition's progress in percent.
    int progress() const { return Progress(); }
    /// Whether a transition is running (in manual mode: until it is ended).
    bool isBusy() const { return Busy(); }
    /// How the picture fills the control; FillMode::Pad unless set.
    FillMode fillMode() const;
    /// Whether the picture is stretched to the control (with FillMode::Pad).
    bool stretch() const { return Stretch(); }
    /// The same as stretch().
    bool isStretch() const { return Stretch(); }
    /// Whether stretching keeps the picture's aspect ratio.
    bool stretchFine() const { return StretchFine(); }
    /// The same as stretchFine().
    bool isStretchFine() const { return StretchFine(); }
    /// Whether the unstretched picture is centred.
    bool isCenter() const { return Center(); }
    /// Whether loading a picture resizes the control to it (with FillMode::Pad).
    bool autoSize() const { return AutoSize(); }
    /// Whether a transition starts from what is on screen (else from the background).
    bool overDraw() const { return OverDraw(); }
    /// How the background picture is drawn.
    TBackgroundMode bgMode() const { return BgMode(); }
    /// The background colour.
    QColor color() const { return Color(); }
    /// A copy of the picture the next transition goes to (null when none).
    QImage image() const;
    /// A copy of the frame on screen, at the picture's size (null when none).
    QImage frame() const;
    /// The picture's size, within the available area of the control's
    /// screen (scaled down with its aspect ratio kept); without a picture,
    /// the control's default size, 100 x 100. Layouts and top-level windows
    /// take it as the control's preferred size.
    QSize sizeHint() const override;

    /// Loads a picture file, its format told by its content whatever its
    /// name: JPEG, PNG, WebP, BMP, ICO, and TIFF, GIF (the first frame) and
    /// the other formats of Qt's image plugins. A JPEG cut short shows what
    /// it has, the part that never arrived mid grey. On failure the
    /// picture held before stays, errorOccurred() says "PATH: reason" and
    /// the result is false. Nothing is thrown. Invokable by name through the
    /// meta-object system, as the owner of a form loaded by QUiLoader
    /// reaches the widget:
    ///
    ///     bool ok = false;
    ///     QMetaObject::invokeMethod(view, "load", Q_RETURN_ARG(bool, ok), Q_ARG(QString, path));
    Q_INVOKABLE bool load(const QString& path);
    /// The same, with the reason of a failure ("PATH: reason") in error as
    /// well (when given). Invokable by name with Q_ARG(QString*, &error).
    Q_INVOKABLE bool load(const QString& path, QString* error);

public Q_SLOTS:
    /// Starts a transition to the picture from what the control shows, and
    /// returns true; false, doing nothing, without a picture or while a
    /// transition runs, and false when the transition could not be
    /// prepared (a picture too large for its frames, no memory), which
    /// errorOccurred() then reports. Nothing is thrown.
    ///
    /// Threaded (the default) or manual, it returns at once and the frames
    /// follow from the event loop. Unthreaded, it returns after the last
    /// frame, having run a nested event loop between the frames: every
    /// event of the application is handled inside the call (input, timers,
    /// paints, queued signals), so a handler may stop this transition, start
    /// another, change the picture or delete the control before execute()
    /// returns. Code after the call must not assume that the transition
    /// completed, or that the control still exists (hold a QPointer).
    bool execute();
    /// Ends a running transition as stopped: stopped() is emitted,
    /// completed() is not. The way to end a manual transition without
    /// completing it.
    void stop();
    /// Empties the display unless a transition runs.
    void clear();
    /// Sets the style; values outside 0 to 150 are ignored. Connects to an
    /// int signal as it is: connect(spin, &QSpinBox::valueChanged, view,
    /// &TTransitionView::setTransitionStyle).
    void setTransitionStyle(int style);
    /// The same as setTransitionStyle(), kept for code and forms that use
    /// it; a pointer to it needs qOverload<int>, as QWidget::setStyle(QStyle*)
    /// shares its name.
    void setStyle(int value) { SetStyle(value); }
    /// Sets the style by its catalogue name (case ignored). An unknown name
    /// changes nothing, is reported by errorOccurred() and gives false.
    bool setStyleName(const QString& name);
    /// Sets the step, clamped to 1 to 100.
    void setStep(int value) { SetStep(value); }
    /// Sets the delay, clamped to 0 to 65535.
    void setDelay(int value) { SetDelay(value); }
    /// Threaded or not, from the next start of automatic stepping.
    void setThreaded(bool value) { SetThreaded(value); }
    /// The priority of the next worker thread; values without a name are ignored.
    void setThreadPriority(mirel::TViewEnums::TThreadPriority value) { SetThreadPriority(value); }
    /// Runs the next transitions backwards.
    void setReverse(bool value) { SetReverse(value); }
    /// Manual mode: the application moves the transition with setProgress().
    ///
    /// A manual transition never ends by itself: setProgress(100) shows the
    /// last frame (the picture), but the control stays busy and completed()
    /// is not emitted, as in the classic control. To finish it, call
    /// setManual(false) once the progress is at its end (100, or 0 when
    /// reversed): the transition completes at once, with completed() and
    /// stopped(). Earlier, setManual(false) hands the rest of the transition
    /// to automatic stepping; stop() ends it as stopped.
    ///
    ///     view->setManual(true);
    ///     view->execute();
    ///     connect(slider, &QSlider::valueChanged, view, &TTransitionView::setProgress);
    ///     // ... and when the slider reaches 100:
    ///     view->setManual(false);   // completed(), stopped()
    ///
    /// Turned on during an automatic transition, it holds the transition
    /// where it is.
    void setManual(bool value);
    /// Sets the progress of a running transition and shows that frame
    /// (values above 100 act as 100). While idle, it does nothing. A frame
    /// that cannot be drawn is reported by errorOccurred().
    void setProgress(int value);
    /// Sets how the picture fills the control. Other than FillMode::Pad, the
    /// picture is scaled once per transition with a good filter (as the
    /// slide show fits it) and the transition runs at the control's size;
    /// stretch, stretchFine, center and autoSize then do not apply. A value
    /// without a name is ignored.
    void setFillMode(mirel::TViewEnums::FillMode mode);
    /// Stretches the picture to the control (with FillMode::Pad).
    void setStretch(bool value) { SetStretch(value); }
    /// Keeps the aspect ratio when stretching.
    void setStretchFine(bool value) { SetStretchFine(value); }
    /// Centres the unstretched picture.
    void setCenter(bool value) { SetCenter(value); }
    /// Sizes the control to its picture (with FillMode::Pad).
    void setAutoSize(bool value) { SetAutoSize(value); }
    /// Starts transitions from the screen (true) or the bare background.
    void setOverDraw(bool value) { SetOverDraw(value); }
    /// Sets how the background picture is drawn; values without a name are ignored.
    void setBgMode(mirel::TViewEnums::TBackgroundMode value) { SetBgMode(value); }
    /// Sets the background colour.
    void setColor(const QColor& value) { SetColor(value); }
    /// Sets the picture the next transition goes to; a null image empties it.
    /// An opaque 32-bit image is not copied: the control shares its pixels,
    /// as copies of a QImage do (an image made over a buffer of yours needs
    /// that buffer while the control shows it; hand over image.copy() if not).
    /// An image the control cannot hold (larger than a bitmap may be, or no
    /// memory for it) leaves the picture as it was and emits errorOccurred();
    /// with nothing connected to that, the exception handler reports it.
    void setImage(const QImage& value);
    /// The same from a pixmap.
    void setPixmap(const QPixmap& value) { setImage(value.toImage()); }
    /// Sets the background picture; a null image empties it. Refused as setImage().
    void setBgImage(const QImage& value);

Q_SIGNALS:
    /// A transition has been prepared and starts stepping.
    void started();
    /// The progress changed; for a frame, after that frame was shown.
    void progressChanged(int progress);
    /// A transition frame has been painted.
    void frameShown();
    /// A transition reached its last frame (not emitted when it was stopped;
    /// in manual mode, only once setManual(false) ends it).
    void completed();
    /// A transition ended, completed or stopped.
    void stopped();
    /// A transition started or ended.
    void busyChanged(bool busy);
    /// The picture changed (loaded, assigned or emptied).
    void pictureChanged();
    /// The background picture changed.
    void bgPictureChanged();
    /// The style changed.
    void styleChanged(int style);
    /// The style's name changed, with the style.
    void styleNameChanged(const QString& name);
    /// The step changed.
    void stepChanged(int step);
    /// The delay changed.
    void delayChanged(int delay);
    /// The threaded property changed.
    void threadedChanged(bool threaded);
    /// The worker thread's priority changed.
    void threadPriorityChanged(mirel::TViewEnums::TThreadPriority priority);
    /// The reverse property changed.
    void reverseChanged(bool reverse);
    /// The manual property changed.
    void manualChanged(bool manual);
    /// The fill mode changed.
    void fillModeChanged(mirel::TViewEnums::FillMode mode);
    /// The stretch property changed.
    void stretchChanged(bool stretch);
    /// The stretchFine property changed.
    void stretchFineChanged(bool stretchFine);
    /// The center property changed.
    void centerChanged(bool center);
    /// The autoSize property changed.
    void autoSizeChanged(bool autoSize);
    /// The overDraw property changed.
    void overDrawChanged(bool overDraw);
    /// The background mode changed.
    void bgModeChanged(mirel::TViewEnums::TBackgroundMode mode);
    /// The background colour changed.
    void colorChanged(const QColor& color);
    /// Something the Qt face was asked to do failed or was refused, in one
    /// line saying why: a picture that load() could not read ("PATH:
    /// reason"), an image given to setImage(), setPixmap() or setBgImage()
    /// (or the image property) that the control cannot hold, a transition
    /// that execute() or setManual() could not prepare or a frame that
    /// setProgress() could not draw, an unknown name for setStyleName().
    /// The Qt face throws nothing; this and the return values say what went
    /// wrong.
    void errorOccurred(const QString& message);

public:
    // ---- The classic face --------------------------------------------------

    ///@{
    /// The picture to show; loading or assigning it sizes the control to it
    /// (AutoSize) and fires OnChange, but starts nothing. SetPicture(nullptr)
    /// empties it; any other picture is copied. PictureObject() is the
    /// Picture property's pointer.
    TPicture& Picture();
    const TPicture& Picture() const;
    void SetPicture(const TPicture* Value);
    TPicture* PictureObject();
    ///@}

    ///@{
    /// The background picture, drawn by BgMode over Color; as Picture.
    TPicture& BgPicture();
    const TPicture& BgPicture() const;
    void SetBgPicture(const TPicture* Value);
    TPicture* BgPictureObject();
    ///@}

    ///@{
    /// How BgPicture covers the control, as bgMode().
    TBackgroundMode BgMode() const;
    void SetBgMode(TBackgroundMode Value);
    ///@}
    ///@{
    /// Whether assigning a picture sizes the control to it, as autoSize().
    bool AutoSize() const;
    void SetAutoSize(bool Value);
    ///@}
    ///@{
    /// Whether the unstretched picture is centred, as isCenter().
    bool Center() const;
    void SetCenter(bool Value);
    ///@}
    ///@{
    /// Whether the picture is stretched to the control, as stretch().
    bool Stretch() const;
    void SetStretch(bool Value);
    ///@}
    ///@{
    /// Whether stretching keeps the aspect ratio, as stretchFine().
    bool StretchFine() const;
    void SetStretchFine(bool Value);
    ///@}
    ///@{
    /// Whether a transition starts from the screen, as overDraw().
    bool OverDraw() const;
    void SetOverDraw(bool Value);
    ///@}
    ///@{
    /// Whether transitions step on a worker thread; takes effect at the next
    /// start of automatic stepping.
    bool Threaded() const;
    void SetThreaded(bool Value);
    ///@}
    ///@{
    /// The worker thread's priority; takes effect when the next worker
    /// thread is made.
    TThreadPriority ThreadPriority() const;
    void SetThreadPriority(TThreadPriority Value);
    ///@}
    ///@{
    /// Manual mode (see setManual()). Off to on holds a running transition;
    /// on to off resumes its stepping. Called on the worker thread, the
    /// change is carried out on the GUI thread.
    bool Manual() const;
    void SetManual(bool Value);
    ///@}

    ///@{
    /// The style: 0 draws through OnCustomDraw, 1 to 150 are catalogue rows.
    /// Other values are ignored. A change during a transition shows from the
    /// next frame on.
    int Style() const;
    void SetStyle(int Value);
    ///@}
    ///@{
    /// The style's catalogue name, any case when set; a name that matches
    /// no style is ignored.
    QString StyleName() const;
    void SetStyleName(const QString& Value);
    ///@}
    ///@{
    /// Percent per frame; 0 and below become 1, above 100 become 100.
    int Step() const;
    void SetStep(int Value);
    ///@}
    ///@{
    /// Milliseconds aimed at between frames, 0 to 65535.
    int Delay() const;
    void SetDelay(int Value);
    ///@}
    ///@{
    /// Whether the progress runs from 100 down to 0.
    bool Reverse() const;
    void SetReverse(bool Value);
    ///@}

    ///@{
    /// The progress, 0 to 100. Writing it during a transition builds and
    /// shows that frame (values above 100 act as 100); while idle, or with
    /// the current value, writing does nothing. The worker thread writes it
    /// too. SetProgress throws what the frame's drawing throws.
    int Progress() const;
    void SetProgress(int Value);
    ///@}

    /// True from Execute until the transition has ended.
    bool Busy() const;

    ///@{
    /// The background colour: the parent's own until set.
    QColor Color() const;
    void SetColor(const QColor& Value);
    ///@}
    ///@{
    /// Whether the control takes its parent's colour; setting a colour
    /// turns it off.
    bool ParentColor() const;
    void SetParentColor(bool Value);
    ///@}

    ///@{
    /// Where the control sits in its parent (TAlign).
    TAlign Align() const;
    void SetAlign(TAlign Value);
    ///@}
    ///@{
    /// Resize the control, keeping the other side.
    void SetWidth(int Value) { resize(Value, height()); }
    void SetHeight(int Value) { resize(width(), Value); }
    ///@}

    /// The latest frame, picture-sized; kept after a transition and painted
    /// until the next one. Lock its canvas to read it while a worker runs.
    /// With no frame handler assigned, the paint draws the frames where it
    /// paints: on platforms whose backing store keeps what was painted (X11,
    /// offscreen), each over the last one in the window, drawing only what
    /// changed; elsewhere, and for the styles whose frames change whole or
    /// are too ragged to follow (the fade, the pushes, the criss-crosses and
    /// shreds), a style with a compose form composes each
    /// frame whole. Asked for, Display draws the latest then (a frame of the
    /// shreds and speckles from the same random numbers).
    TBitmap& Display();
    /// Where the unstretched Display lies in the control.
    TRect PicRect() const;
    /// The whole control as a paint shows it (background and frame), composed
    /// when asked for; painting itself draws without it.
    const TBitmap& PaintBuffer() const;

    /// Starts a transition to Picture from what the control shows. Returns at
    /// once when threaded or Manual, after the last frame otherwise. Ignored
    /// without a picture or while Busy. Errors of the preparation (or of any
    /// frame of an unthreaded transition) reach the caller (TBitmapError,
    /// std::bad_alloc), with no event. Called on the worker thread, it is
    /// carried out on the GUI thread.
    ///
    /// Memory: a transition holds at most four bitmaps of the picture's size
    /// (the picture, its copy for the transition, the old screen and the
    /// frame) and none of the control's size, unless Stretch is on. Bitmaps
    /// share their pixels until written, so usually it is three (the copy
    /// shares the picture) and, when the frame on show covers the old
    /// screen, two of its own. Once it ends, the last frame shares the
    /// picture's pixels.
    virtual void Execute();
    /// Ends a running transition; returns after it has ended and OnStop has
    /// fired (OnComplete does not). Called on the worker thread, it ends the
    /// stepping at once and the transition on the GUI thread soon after.
    virtual void Stop();
    /// Empties the display, unless a transition runs.
    virtual void Clear();
    /// Sizes the control to the picture, keeping the sides its Align fixes.
    void FitToPicture();

    /// After every change of the picture, on the thread that made it.
    TNotifyEvent OnChange;
    /// After every frame; on the worker thread when threaded.
    TNotifyEvent OnProgress;
    /// A transition reached its end (not when stopped); GUI thread.
    TNotifyEvent OnComplete;
    /// Draws the frames of style 0; on the worker thread when threaded.
    TCustomDrawEvent OnCustomDraw;
    /// The mouse entered the control; GUI thread.
    TNotifyEvent OnMouseEnter;
    /// The mouse left the control; GUI thread.
    TNotifyEvent OnMouseLeave;
    /// Before the effect of every frame, with the old screen in Screen; on the
    /// worker thread when threaded. Unassigned, each frame is drawn over the
    /// last one, or, for the styles that change the whole frame at every
    /// step or too raggedly to follow, from the old screen in one pass
    /// instead of copying it into Display first; with OnAfterNewFrame
    /// unassigned too, the frames are the paint's, straight onto the
    /// window's backing store (or the image the widget is rendered into),
    /// and no frame bitmap is held (see Display).
    TCustomDrawEvent OnBeforeNewFrame;
    /// After the effect of every frame, with the frame in Screen; on the
    /// worker thread when threaded.
    TCustomDrawEvent OnAfterNewFrame;
    /// A transition starts, with the picture and the old screen; GUI thread.
    TCustomDrawEvent OnStart;
    /// A transition ended, completed or stopped; GUI thread.
    TNotifyEvent OnStop;

protected:
    /// Fills Rect with Color and draws BgPicture over it by BgMode.
    virtual void DrawBackground(TCanvas& Canvas, const TRect& Rect);
    ///@{
    /// Fire the event of the same name (DoChange fires OnChange), on the
    /// thread the event names; override to react without an event.
    virtual void DoChange();
    virtual void DoProgress();
    virtual void DoCustomDraw(TBitmap& Picture, TBitmap& Screen);
    virtual void DoComplete();
    virtual void DoStart(TBitmap& Picture, TBitmap& Screen);
    virtual void DoStop();
    ///@}
    ///@{
    /// Fire OnBeforeNewFrame and OnAfterNewFrame. The frame build fires those
    /// two itself, straight from the fields, and does not call these.
    virtual void DoBeforeNewFrame(TBitmap& Picture, TBitmap& Screen);
    virtual void DoAfterNewFrame(TBitmap& Picture, TBitmap& Screen);
    ///@}
    /// Draws the painted area: the frame, and the background (DrawBackground
    /// over the control, kept while nothing it depends on changes; a plain
    /// Color without a background picture is filled directly) around it.
    virtual void Paint(QPainter& Canvas, const QRegion& Area);

    /// Stops a running transition without events, for destructors: call it
    /// first in the destructor of any subclass that overrides a Do...
    void EndTransitions() noexcept;

    ///@{
    /// QWidget's handlers, which a subclass overriding them must call.
    bool event(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void enterEvent(QEnterEvent* e) override;
    void leaveEvent(QEvent* e) override;
    void changeEvent(QEvent* e) override;
    ///@}

private:
    friend class TAnimateThread;
    friend struct TTransitionViewPrivate;

    // Everything else lives behind this pointer, so that the class's size
    // and exported symbols stay as they are while its machinery changes.
    // Shared with a frame being built, so that a handler inside the build
    // may delete the widget and the build still unwinds over live state.
    std::shared_ptr<TTransitionViewPrivate> d;
};

/// The transition widget to place in a form or a layout.
class TTransitionView : public TCustomTransitionView {
    Q_OBJECT

public:
    /// A control with the defaults; see TCustomTransitionView.
    explicit TTransitionView(QWidget* parent = nullptr);
    ~TTransitionView() override;

    // Setters by Qt's naming for the capitalised properties that have no
    // camelCase twin: forms compiled by uic from Qt Designer call these.
    using QWidget::setStyle; // QWidget's own, for a QStyle*
    using TCustomTransitionView::setStyle;
    ///@{
    /// The classic setter of the same name, as uic calls it.
    void setAlign(mirel::TViewEnums::TAlign Value) { SetAlign(Value); }
    void setBgPicture(const mirel::TPicture* Value) { SetBgPicture(Value); }
    void setHeight(int Value) { SetHeight(Value); }
    void setParentColor(bool Value) { SetParentColor(Value); }
    void setPicture(const mirel::TPicture* Value) { SetPicture(Value); }
    void setWidth(int Value) { SetWidth(Value); }
    ///@}
};

} // namespace mirel

Q_DECLARE_OPAQUE_POINTER(mirel::TPicture*)
Q_DECLARE_METATYPE(mirel::TPicture*)
