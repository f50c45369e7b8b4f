// The thirteen scenes of the show's built-in pictures.
#pragma once

#include <QImage>

namespace mirel::pictures {

constexpr int SceneCount = 13;

// Scene number (1 .. SceneCount) at the given size, with the number itself
// drawn large in the top-left corner. Deterministic: the same picture on
// every machine and every run, whatever fonts are installed.
QImage DrawScene(int number, int width, int height);

} // namespace mirel::pictures
