// The errors the transition widget and its pictures throw.
#pragma once

#include <stdexcept>

namespace mirel {

/// A bitmap that cannot be made: a negative, impossible or too large size
/// (more than 2^20 pixels on a side or 2^28 pixels in all).
class TBitmapError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// A picture that cannot be read or decoded. what() is one line naming the
/// file (when there is one) and the reason: "PATH: reason".
class TDecodeError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace mirel
