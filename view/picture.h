// One decoded picture, or nothing, with a notification of every change.
//
// The widget owns two of these (the picture it shows and its background) and
// binds their OnChange to its own reaction. Pictures are loaded by the
// picture loader (picture/load.h), the format told by the content, with
// every format of Qt's image plugins besides its own (picture/qt).
// Metafiles ("emf", "wmf") cannot be drawn on this platform and are refused.
#pragma once

#include "picture/load.h"
#include "surface/bitmap.h"

#include <QString>

#include <cstdint>
#include <functional>

namespace mirel {

class TPicture {
public:
    TPicture() = default;
    TPicture(const TPicture&) = delete;
    TPicture& operator=(const TPicture&) = delete;

    // Throws TDecodeError (surface/jpeg.h) naming the file and the reason;
    // the picture held before stays, and OnChange does not fire.
    void LoadFromFile(const QString& path, const TLoadOptions& options = {});

    // True when the picture holds no graphic (or one without extent).
    bool Empty() const { return bitmap_.Empty(); }
    int32_t Width() const { return bitmap_.Width(); }
    int32_t Height() const { return bitmap_.Height(); }
    const TBitmap& Bitmap() const { return bitmap_; }

    void Clear();
    void Assign(const TBitmap& bitmap);
    // Takes bitmap's pixels, leaving it empty: no copy of a large picture.
    void Assign(TBitmap&& bitmap);
    void Assign(const TPicture& other);

    // Fired after every change, on the thread that made it.
    std::function<void()> OnChange;

private:
    void Changed();

    TBitmap bitmap_;
};

} // namespace mirel
