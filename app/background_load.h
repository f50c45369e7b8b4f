// A picture file decoded on a thread of its own, so that the window goes on
// answering input while a slow picture (a huge or hostile file) decodes.
//
// The show of the built-in pictures loads the next picture at each tick of
// its timer and must have it before it can go on; it starts that load as
// soon as it knows the next name (right after the previous tick), and at the
// tick waits for it while handling events, so that a key still ends the
// show at once. A load whose file has changed since it began is done again.
#pragma once

#include "surface/bitmap.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

namespace mirel {

class TBackgroundLoad : public QObject {
public:
    // Starts loading path (as TPicture::LoadFromFile does) at once.
    explicit TBackgroundLoad(const QString& path);
    // Does not wait: a decode still running finishes on its own and is dropped.
    ~TBackgroundLoad() override;

    const QString& Path() const { return path_; }

    // True when the file still is what it was when the load began (same
    // size, time and permissions).
    bool FileUnchanged() const;

    // Handles events until the load is done (true) or giveUp, asked after
    // every batch of events, says so (false).
    bool Wait(const std::function<bool()>& giveUp);

    // After Wait returned true: the picture into out, or the load's failure
    // thrown as a TDecodeError with its message.
    void Take(TBitmap& out);

    struct TState;

private:
    QString path_;
    QString identity_;
    std::shared_ptr<TState> state_;
};

} // namespace mirel
