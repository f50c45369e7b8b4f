#include "app/staging.h"

#include <QtGlobal>

// Outside any namespace, as the resource initialiser requires.
static void InitPicturesResource()
{
    Q_INIT_RESOURCE(pictures);
}

namespace mirel {

void InitBuiltInPictures()
{
    InitPicturesResource();
}

} // namespace mirel
