// The show's main window: start-up, the slide cycle, the exit watch and the
// clean-up on close.
//
// Constructing the window creates its parts (the picture control and the
// timer) and runs FormCreate: single-instance check, settings, staging of
// the thirteen built-in pictures, listing of the staging folder, the pace of
// the cycle and the first picture. Showing it runs FormShow, which starts
// the watch on input, hides the pointer, starts the timer and plays the
// first transition. Each tick loads the next picture and plays it with a
// random style. The first key, mouse button or mouse move far from the
// origin closes the window, and closing deletes the staged pictures that
// are still the files it wrote.
#pragma once

#include "app/background_load.h"
#include "app/blanking.h"
#include "app/input_watch.h"
#include "app/single_instance.h"
#include "app/staging.h"
#include "app/timer.h"
#include "view/transition_view.h"

#include <QSet>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <memory>

namespace mirel {

// Where the show keeps its things. The defaults follow the process and its
// environment; tests point them at folders of their own.
struct TShowPlaces {
    QString ExeFolder;  // the executable's folder: staging goes in "mirel" there
    QString ConfigHome; // holds the settings key, as $XDG_CONFIG_HOME
    QString CacheHome;  // staging when the executable's folder is read-only
    QString Title;      // the application title, which names the single instance

    static TShowPlaces OfProcess();
};

// The application title by default: the executable's file name without its
// folder, cut at its first ".", every character after the first in lower case.
QString DefaultTitle(const QString& exePath);

// Milliseconds between pictures for a pause in seconds. Pauses of 0 or less
// give 0 (the timer never fires); long ones are capped at what a timer holds.
int PauseInterval(int32_t Pause);

enum TCloseAction { caNone, caHide, caFree, caMinimize };

// The position in PictureList of the next picture to load.
extern int PictureIndex;

class TForm1 : public QWidget {
public:
    explicit TForm1(TShowPlaces Places = TShowPlaces::OfProcess());
    ~TForm1() override;

    // Parts of the window.
    TTransitionView* TransitionView1;
    TTimer Timer1;

    // The picture file names (no folder) in show order. Empty until
    // start-up has listed the staging folder.
    QStringList PictureList;
    // The folder of the pictures, with a trailing "/"; empty until a picture
    // has been listed.
    QString PictureFolder;
    // The list entry last loaded into TransitionView1's picture; empty when
    // the last load found nothing to show.
    QString CurrentName;
    // CurrentName at the last transition started by the timer.
    QString LastShownName;

    // Where the built-in pictures were staged; empty until start-up got there.
    QString StagingFolder;
    // True once a later start's request to quit has been posted: this
    // instance found another one running.
    bool QuitPosted = false;
    // Another show holds the lock but did not answer: this start only shows
    // a box saying so, no window of its own over the running show.
    bool StartRefused = false;
    // True once the window has been closed: the show is over.
    bool Closed = false;

    void FormCreate(QObject* Sender);
    void JpegResToFile(const QString& ResName, const QString& ResType, const QString& FileName);
    void ScanFolder(const QString& Folder);
    void LoadNextPicture();
    void FormShow(QObject* Sender);
    void Timer1Timer(QObject* Sender);
    void ShowNextPicture();
    void AppMessage(const TMessage& Msg, bool& Handled);
    void FormClose(QObject* Sender, TCloseAction& Action);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // False when another show runs: this start only restores it.
    bool CheckSingleInstance();
    void RestoreWindow();
    void AdvancePictureIndex();
    void ReportBrokenPictures();
    // Loads path into the control, decoding on another thread while events
    // are handled. False when the show was closed meanwhile.
    bool LoadPictureFile(const QString& path);
    // Starts decoding the picture the next tick will load.
    void LoadAhead();

    TShowPlaces Places;
    TStagingFolder Staging;
    bool PictureListCreated = false;
    TSingleInstance Instance;
    TInputWatch InputWatch;
    TBlankingGuard Blanking;
    bool PointerHidden = false;
    // Pictures that failed to load and were reported; each is reported once.
    QSet<QString> BrokenPictures;
    QStringList PendingReports;
    std::unique_ptr<TBackgroundLoad> NextLoad;
};

} // namespace mirel
