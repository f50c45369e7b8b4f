// JPEG files made for the tests and benchmarks: shapes that decoders find
// hard (progressive scans by the hundred, huge sizes) or that show placement
// and turning at a glance.
#pragma once

#include <cstdint>
#include <vector>

namespace mirel::test {

using TBytes = std::vector<uint8_t>;

// A grey progressive JPEG of width x height, a ramp or flat, whose scans are
// the DC scan and then single-coefficient AC scans, first at half precision
// and then refined, scans in all (at most 127). Flat, large and with 127
// scans, it is a scan bomb: small, but every scan is a pass over all pixels.
TBytes ProgressiveGrey(int width, int height, int scans, bool ramp);

// A width x height JPEG of four flat quadrants: red, green, blue, white.
TBytes Quadrants(int width, int height);

// A noisy photo-like JPEG (so that it neither compresses nor decodes like
// a flat one).
TBytes Photo(int width, int height, int quality);

// The JPEG with an Exif orientation right after its start marker.
TBytes WithOrientation(const TBytes& jpeg, uint8_t orientation);

} // namespace mirel::test
