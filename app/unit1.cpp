#include "app/unit1.h"

#include "app/background_load.h"
#include "app/messages.h"
#include "app/settings.h"
#include "app/show_view.h"
#include "app/staging.h"
#include "effects/random.h"
#include "view/exception_hook.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QCursor>
#include <QFileInfo>
#include <QScreen>
#include <QShowEvent>

#include <cstdio>
#include <exception>
#include <limits>
#include <utility>
#include <vector>

namespace mirel {

int PictureIndex = 0;

namespace {

const QString SettingsKey = QStringLiteral("software\\mirel12");
// How long a second start tries to reach the running show.
constexpr int RestoreWaitMs = 3000;

} // namespace

TShowPlaces TShowPlaces::OfProcess()
{
    return {QCoreApplication::applicationDirPath(), TRegistry::DefaultConfigHome(), DefaultCacheHome(),
            DefaultTitle(QCoreApplication::applicationFilePath())};
}

QString DefaultTitle(const QString& exePath)
{
    QString name = QFileInfo(exePath).fileName();
    name.truncate(name.indexOf(QLatin1Char('.')) < 0 ? name.size() : name.indexOf(QLatin1Char('.')));
    return name.left(1) + name.mid(1).toLower();
}

int PauseInterval(int32_t Pause)
{
    const int64_t ms = int64_t{Pause} * 1000;
    if (ms <= 0)
        return 0;
    return int(std::min<int64_t>(ms, std::numeric_limits<int>::max()));
}

TForm1::TForm1(TShowPlaces places)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint),
      Places(std::move(places)),
      InputWatch([this](const TMessage& Msg, bool& Handled) { AppMessage(Msg, Handled); })
{
    // The window covers the whole screen in black.
    setWindowTitle(QStringLiteral("Form1"));
    QPalette black = palette();
    black.setColor(QPalette::Window, Qt::black);
    setPalette(black);
    setAutoFillBackground(true);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        setGeometry(screen->geometry());
    else
        resize(686, 444);
    setWindowState(Qt::WindowFullScreen);

    // The picture control at a fixed place; its size follows the picture.
    auto* view = new TShowView(this);
    TransitionView1 = view;
    TransitionView1->setGeometry(176, 96, 774, 600);
    view->PlaceAt(QPoint(176, 96));

    Timer1.SetEnabled(false);
    Timer1.SetInterval(10);
    Timer1.OnTimer = [this](QObject* Sender) { Guarded([&] { Timer1Timer(Sender); }); };

    Instance.OnRestore = [this] { RestoreWindow(); };
    SetBoxOwner(this);
    // Failures inside the control reach the user the same way as the show's.
    SetExceptionHandler([](const QString& message) { ShowMessageBox(TMessageKind::Error, message); });

    Guarded([&] { FormCreate(this); });
}

TForm1::~TForm1()
{
    // The control ends its transition before the rest of the window goes.
    delete TransitionView1;
    TransitionView1 = nullptr;
}

void TForm1::FormCreate(QObject*)
{
    PictureIndex = 0;
    int32_t Pause = 8;

    // A second start touches neither the settings nor the pictures of the
    // running show.
    if (!CheckSingleInstance())
        return;

    {
        TRegistry Reg(Places.ConfigHome);
        if (Reg.KeyExists(SettingsKey)) {
            Reg.OpenKey(SettingsKey, false);
            Pause = StrToInt(Reg.ReadString(QStringLiteral("reg_showpause")));
            Reg.ReadString(QStringLiteral("reg_photodir"));
            StrToInt(Reg.ReadString(QStringLiteral("reg_phototarget")));
        } else {
            Reg.OpenKey(SettingsKey, true);
            Reg.WriteString(QStringLiteral("reg_Showpause"), QStringLiteral("8"));
            Reg.WriteString(QStringLiteral("reg_photodir"), QStringLiteral("c:\\"));
            Reg.WriteString(QStringLiteral("reg_phototarget"), QStringLiteral("1"));
        }
        Reg.CloseKey();
    }

    // From here on the folder is reached only through what was opened: a
    // link put in its place meanwhile leads the show nowhere.
    const QString folder = PrepareStagingFolder(Places.ExeFolder, Places.CacheHome);
    Staging.Open(folder);
    StagingFolder = folder;
    for (const TBuiltInPicture& picture : BuiltInPictures)
        Staging.Write(QLatin1String(picture.FileName),
                      ReadResource(QLatin1String(picture.ResName), QLatin1String(PictureResType)));

    PictureList.clear();
    PictureListCreated = true;
    ScanFolder(StagingFolder);
    Timer1.SetInterval(PauseInterval(Pause));
    // The settings hold whole seconds. MIREL_SHOW_PAUSE_MS, when set to a
    // positive number, replaces the pause with that many milliseconds; only
    // the soak test (scripts/soak.sh) sets it, to cycle faster than once a
    // second.
    if (const int ms = qEnvironmentVariableIntValue("MIREL_SHOW_PAUSE_MS"); ms > 0)
        Timer1.SetInterval(ms);
    LoadNextPicture();
    LoadAhead();
    ReportBrokenPictures();
}

bool TForm1::CheckSingleInstance()
{
    const QString name = TSingleInstance::ServerName(Places.Title);
    const QString lockPath = TSingleInstance::LockPath(name, Places.CacheHome + QStringLiteral("/mirel12"));
    const auto lock = Instance.Lock(lockPath);
    const bool another = lock == TSingleInstance::TLock::Held
                         || (lock == TSingleInstance::TLock::Unavailable && TSingleInstance::RestoreRunning(name));
    if (another) {
        // The running show may have just started and not listen yet.
        const bool answered = lock != TSingleInstance::TLock::Held || TSingleInstance::RestoreRunning(name, RestoreWaitMs);
        // The message loop ends; closing never runs, so the pictures that
        // the running show uses stay.
        QuitPosted = true;
        const auto quit = [] { QCoreApplication::exit(0); };
        if (answered) {
            QMetaObject::invokeMethod(qApp, quit, Qt::QueuedConnection);
            return false;
        }
        // Whoever holds the lock is alive (the kernel drops it with its
        // process) but cannot be reached: a show that could not listen, or
        // another program holding the file. Ending without a word would
        // look like a start that did nothing. The status stays 0, as for
        // every start that finds a show running: one is.
        ShowMessageBox(TMessageKind::Error,
                       QStringLiteral("Another show is running (it holds %1) but did not answer the request to bring "
                                      "its window back, so this one does not start")
                           .arg(lockPath));
        StartRefused = true;
        AfterBoxesAnswered(quit);
        return false;
    }
    Instance.Listen(name);
    return true;
}

void TForm1::RestoreWindow()
{
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowFullScreen);
    show();
    raise();
    activateWindow();
}

void TForm1::JpegResToFile(const QString& ResName, const QString& ResType, const QString& FileName)
{
    WriteFileReplacing(FileName, ReadResource(ResName, ResType));
}

void TForm1::ScanFolder(const QString& Folder)
{
    const QStringList names =
        Staging.IsOpen() && Folder == Staging.Path() ? Staging.List() : ListPictureFiles(Folder);
    if (names.isEmpty()) {
        ShowMessageBox(TMessageKind::Warning, Folder + QStringLiteral("\n\rdoes not contain any supported image file"));
        return;
    }
    PictureList = names;
    PictureFolder = Folder;
    if (!PictureFolder.isEmpty() && !PictureFolder.endsWith(QLatin1Char('/')))
        PictureFolder += QLatin1Char('/');
}

void TForm1::LoadNextPicture()
{
    CurrentName.clear();
    if (PictureList.isEmpty())
        return;
    // A picture that cannot be loaded is reported once and passed over in
    // the usual order, so that one bad file neither stops the show nor
    // repeats its complaint at every tick. Each entry is tried at most once
    // per call.
    std::vector<bool> tried(size_t(PictureList.size()), false);
    for (;;) {
        const QString name = PictureList[PictureIndex];
        tried[size_t(PictureIndex)] = true;
        try {
            if (!LoadPictureFile(PictureFolder + name))
                return; // the show was closed meanwhile
            BrokenPictures.remove(name);
            CurrentName = name;
            AdvancePictureIndex();
            return;
        } catch (const std::exception& e) { // unreadable, undecodable, too large
            if (!BrokenPictures.contains(name)) {
                BrokenPictures.insert(name);
                PendingReports << QString::fromUtf8(e.what());
            }
        }
        AdvancePictureIndex();
        // The usual order may lead back to a picture that just failed.
        const int start = PictureIndex;
        while (tried[size_t(PictureIndex)]) {
            PictureIndex = PictureIndex + 1 > PictureList.size() - 1 ? 0 : PictureIndex + 1;
            if (PictureIndex == start)
                return; // every picture failed
        }
    }
}

bool TForm1::LoadPictureFile(const QString& path)
{
    std::unique_ptr<TBackgroundLoad> load = std::move(NextLoad);
    if (!load || load->Path() != path || !load->FileUnchanged())
        load = std::make_unique<TBackgroundLoad>(path);
    if (!load->Wait([this] { return Closed; }))
        return false;
    TBitmap picture;
    load->Take(picture);
    TransitionView1->Picture().Assign(std::move(picture));
    return true;
}

void TForm1::LoadAhead()
{
    // The next tick loads PictureList[PictureIndex]: it decodes meanwhile.
    if (!Closed && !PictureList.isEmpty())
        NextLoad = std::make_unique<TBackgroundLoad>(PictureFolder + PictureList[PictureIndex]);
}

void TForm1::AdvancePictureIndex()
{
    // The comparison is with the picture handed to the control at the last
    // tick, so two pictures A, B come as A, B, A, A, B, B, A, A, ...
    for (qsizetype step = 0; step < PictureList.size(); ++step) {
        PictureIndex = PictureIndex + 1 > PictureList.size() - 1 ? 0 : PictureIndex + 1;
        if (PictureList.size() < 2 || PictureList[PictureIndex] != LastShownName)
            return;
    }
}

void TForm1::ReportBrokenPictures()
{
    if (PendingReports.isEmpty())
        return;
    // One box (and a line each on standard error) for all that failed
    // together, not one per picture.
    ShowMessageBox(TMessageKind::Error, std::exchange(PendingReports, {}).join(QLatin1Char('\n')));
}

void TForm1::FormShow(QObject*)
{
    qApp->installEventFilter(&InputWatch);
    // Over the show's own window only: a box over it keeps its pointer.
    if (!PointerHidden) {
        setCursor(Qt::BlankCursor);
        PointerHidden = true;
    }
    // No blanking while pictures show.
    Blanking.Start(QStringLiteral("Showing pictures"));
    // Without a list start-up failed early: there is nothing to cycle.
    Timer1.SetEnabled(PictureListCreated);
    TransitionView1->Execute();
}

void TForm1::Timer1Timer(QObject*)
{
    if (Closed)
        return;
    LoadNextPicture();
    if (Closed)
        return;
    ShowNextPicture();
    LoadAhead();
    ReportBrokenPictures();
}

void TForm1::ShowNextPicture()
{
    if (PictureList.isEmpty())
        return;
    // Nothing new was loaded: every picture of the list failed.
    if (CurrentName.isEmpty())
        return;
    if (TransitionView1->Busy())
        TransitionView1->Stop();
    TransitionView1->SetStyle(Random(150) + 1);
    LastShownName = CurrentName;
    TransitionView1->Execute();
}

void TForm1::AppMessage(const TMessage& Msg, bool&)
{
    if (ClosesShow(Msg))
        close();
}

void TForm1::FormClose(QObject*, TCloseAction&)
{
    // Only what this run wrote and nobody has replaced since: a start that
    // failed before staging deletes nothing, and a user's file put in the
    // place of a staged picture stays.
    Staging.DeleteWritten();
}

void TForm1::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // Only when the window is shown by the program, not when the window
    // system brings it back from being minimised.
    if (!event->spontaneous())
        Guarded([&] { FormShow(this); });
}

void TForm1::closeEvent(QCloseEvent* event)
{
    TCloseAction Action = caHide;
    Guarded([&] { FormClose(this, Action); });
    if (Action == caNone) {
        event->ignore();
        return;
    }
    event->accept();
    // Closing is final: no tick already on its way loads from the staged
    // files just deleted, and the running transition ends now rather than
    // when the process winds down.
    Closed = true;
    Timer1.SetEnabled(false);
    Blanking.Release();
    if (TransitionView1->Busy())
        TransitionView1->Stop();
}

} // namespace mirel
