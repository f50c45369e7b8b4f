// mirel-show: a full-screen slide show of thirteen built-in pictures with
// animated transitions. Takes no arguments; any key, mouse button or a mouse
// move far from the window's corner ends it.
#include "app/first_frame.h"
#include "app/staging.h"
#include "app/unit1.h"

#include <QApplication>

int main(int argc, char** argv)
{
    mirel::NoteMainStarted();
    QApplication Application(argc, argv);
    mirel::InitBuiltInPictures();
    mirel::TForm1 Form1;
    mirel::WatchFirstFrame(*Form1.TransitionView1);
    Form1.show();
    return Application.exec();
}
