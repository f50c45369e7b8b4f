// Loads pictures on a worker thread, fitted to a frame, so that the GUI
// thread never waits for a decode: a slow picture (a huge or hostile file)
// delays only its own arrival.
//
// One request is worked on at a time; a newer request replaces one not yet
// begun. Results come back on the GUI thread, through OnLoaded. A loader
// that goes away while a decode runs does not wait for it: the worker
// finishes on its own and its result is dropped, so ending the show never
// waits for a picture.
#pragma once

#include "surface/bitmap.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

namespace mirel {

class TPictureLoader : public QObject {
public:
    explicit TPictureLoader(QObject* parent = nullptr);
    ~TPictureLoader() override;

    // Loads path fitted to width x height (aspect kept, centred, on black).
    void Request(int serial, const QString& path, int width, int height);

    // On the GUI thread: the picture, or an empty pointer and the one-line
    // error "PATH: reason".
    std::function<void(int Serial, std::shared_ptr<const TBitmap> Picture, const QString& Error)> OnLoaded;

    struct TState;

private:
    std::shared_ptr<TState> state_;
};

} // namespace mirel
