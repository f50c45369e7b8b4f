// Every picture format Qt's image plugins read, for the picture loader
// (picture/load.h): TIFF, GIF (the first frame), and whatever else is
// installed (TGA, PPM, XPM, ICNS, SVG with Qt's SVG module ...).
#pragma once

namespace mirel {

// Sets Qt's reader as the loader's reader of other formats; the first call
// does, later ones nothing. Thread-safe.
//
// Qt's readers get the loader's limits: a picture over MaxPicturePixels is
// refused from its header, and so is one whose decoding would take more
// memory besides the picture than the budget allows (a 16-bit TIFF's
// 8 bytes a pixel, a turned picture's second copy). Qt's own allocation
// limit (QImageReader::setAllocationLimit, process-wide) becomes the larger
// of the pixel limit's 32-bit picture and the budget, so that a format
// whose size is only known once read is held to it too. Pictures come out
// upright as their Exif or TIFF orientation says, decoded at the size that
// covers the fit hint where the format can (scalable ones), else at full
// size.
void UseQtPictureFormats();

} // namespace mirel
