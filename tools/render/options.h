// Command-line values of mirel-render that take more than a number: styles by
// name with suggestions, style lists, frame rates, natural name order.
#pragma once

#include "tools/render/frames.h"

#include <string>
#include <string_view>
#include <vector>

namespace mirel {

// A style as the user writes it: a number 1..150 or a catalogue name in any
// case (the first row of that name wins, as in the widget). 0 for "random".
// Throws std::runtime_error; for an unknown name the message suggests the
// nearest names.
int ParseStyle(const std::string& text);

// Up to count catalogue names nearest to text (edit distance, ignoring case),
// nearest first; only names near enough to be meant.
std::vector<std::string> NearestStyleNames(std::string_view text, size_t count);

// A comma-separated list of styles for a slide show, each as ParseStyle takes
// it (0 for "random").
std::vector<int> ParseStyleCycle(const std::string& text);

// "25", "29.97", "30000/1001": frames per second from 1 to 240. Throws.
TFrameRate ParseFrameRate(const std::string& text);

// Name order as people count: "2" before "10", case ignored, ties broken by
// the plain byte order so the order is total.
bool NaturalLess(std::string_view a, std::string_view b);

} // namespace mirel
