// mirel-show: a full-screen slide show of thirteen built-in pictures with
// animated transitions. Any key, mouse button or a mouse move far from the
// window's corner ends it, and so do SIGTERM, SIGINT and SIGHUP.
#include "app/first_frame.h"
#include "app/quiet.h"
#include "app/signal_watch.h"
#include "app/staging.h"
#include "app/unit1.h"

#include <QApplication>

int main(int argc, char** argv)
{
    mirel::NoteMainStarted();
    mirel::InstallQuietOutput();
    QApplication Application(argc, argv);
    mirel::InitBuiltInPictures();
    // A termination signal ends the show as a key does, staged files and all.
    mirel::TSignalWatch Signals;
    mirel::TForm1 Form1;
    Signals.OnSignal = [&](int) {
        Form1.close();
        QCoreApplication::quit();
    };
    mirel::WatchFirstFrame(*Form1.TransitionView1);
    Form1.show();
    return Application.exec();
}
