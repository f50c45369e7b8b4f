// mirel-show: a full-screen slide show with animated transitions.
//
// Without arguments: the thirteen built-in pictures, staged beside the
// executable. With folders or files: those pictures, fitted to the screen
// (see --help). Any key, mouse button or a large mouse move ends it, and so
// do SIGTERM, SIGINT and SIGHUP.
#include "app/blanking.h"
#include "app/first_frame.h"
#include "app/options.h"
#include "app/picture_files.h"
#include "app/quiet.h"
#include "app/signal_watch.h"
#include "app/staging.h"
#include "app/unit1.h"
#include "app/show_view.h"
#include "app/viewer.h"
#include "picture/qt/qt_formats.h"

#include <QApplication>

#include <X11/Xlib.h>

#include <cstdio>
#include <optional>

namespace {

int Fail(const QString& line)
{
    std::fprintf(stderr, "mirel-show: %s\n", line.toLocal8Bit().constData());
    return 2;
}

// Why the show has nowhere to appear, or nothing when it has. Qt would
// abort on its own, with advice to reinstall the program; only X is asked
// here, since the other platforms (Wayland, offscreen) are Qt's choice.
std::optional<QString> MissingDisplay()
{
    const QString platform = qEnvironmentVariable("QT_QPA_PLATFORM");
    if (platform.isEmpty() ? !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") : !platform.startsWith(QLatin1String("xcb")))
        return std::nullopt;
    const QString name = qEnvironmentVariable("DISPLAY");
    if (name.isEmpty())
        return QStringLiteral("no display (DISPLAY is not set)");
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return QStringLiteral("no display: cannot open display '%1'").arg(name);
    XCloseDisplay(display);
    return std::nullopt;
}

} // namespace

int main(int argc, char** argv)
{
    mirel::NoteMainStarted();
    mirel::InstallQuietOutput();

    // Read before Qt starts, so that --help needs no display.
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    const mirel::TParsedCommandLine command = mirel::ParseCommandLine(args, qEnvironmentVariable("XSCREENSAVER_WINDOW"));
    switch (command.Action) {
    case mirel::TParsedCommandLine::Help:
        std::fputs(mirel::HelpText().toLocal8Bit().constData(), stdout);
        return 0;
    case mirel::TParsedCommandLine::Version:
        std::fputs(mirel::VersionText().toLocal8Bit().constData(), stdout);
        return 0;
    case mirel::TParsedCommandLine::Fail:
        return Fail(command.Error);
    case mirel::TParsedCommandLine::ShowBuiltIn:
    case mirel::TParsedCommandLine::Show:
        break;
    }

    mirel::TPictureFiles pictures;
    if (command.Action == mirel::TParsedCommandLine::Show) {
        mirel::UseQtPictureFormats(); // before the listing, which takes their names too
        pictures = mirel::ListPictures(command.Options.Paths, command.Options.Recursive);
        for (const QString& problem : pictures.Problems)
            Fail(problem);
        if (pictures.Files.isEmpty())
            return Fail(QStringLiteral("no pictures to show"));
        if (command.Options.Shuffle)
            mirel::ShuffleFiles(pictures.Files);
    }

    if (const auto missing = MissingDisplay()) {
        Fail(*missing);
        return 1;
    }
    mirel::KeepToExistingSessionBus();
    QApplication Application(argc, argv);
    // A termination signal ends the show as a key does, staged files and all.
    mirel::TSignalWatch Signals;

    if (command.Action == mirel::TParsedCommandLine::ShowBuiltIn) {
        mirel::InitBuiltInPictures();
        mirel::TForm1 Form1;
        Signals.OnSignal = [&](int) {
            Form1.close();
            QCoreApplication::quit();
        };
        mirel::WatchFirstFrame(*Form1.TransitionView1);
        if (!Form1.StartRefused)
            Form1.show();
        return Application.exec();
    }

    mirel::TViewer viewer(command.Options, pictures.Files);
    Signals.OnSignal = [&](int) { viewer.close(); };
    mirel::WatchFirstFrame(*viewer.View());
    if (!viewer.Start())
        return 2;
    return Application.exec();
}
