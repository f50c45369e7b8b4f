#include "tools/render/options.h"

#include "effects/catalogue.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <stdexcept>

namespace mirel {

namespace {

char Lower(char c)
{
    return char(std::tolower(static_cast<unsigned char>(c)));
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

size_t EditDistance(std::string_view a, std::string_view b)
{
    std::vector<size_t> row(b.size() + 1);
    std::iota(row.begin(), row.end(), size_t{0});
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t up = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (Lower(a[i - 1]) == Lower(b[j - 1]) ? 0 : 1)});
            diagonal = up;
        }
    }
    return row[b.size()];
}

std::string Trim(const std::string& s)
{
    const size_t first = s.find_first_not_of(" \t");
    if (first == std::string::npos)
        return "";
    return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

} // namespace

std::vector<std::string> NearestStyleNames(std::string_view text, size_t count)
{
    std::vector<std::pair<size_t, int>> ranked;
    for (int style = 1; style <= MaxShowStyle; ++style) {
        const std::string_view name = StyleName(style);
        // Rows 33 and 34 repeat the names of 18 and 25.
        if (style == 33 || style == 34)
            continue;
        ranked.emplace_back(EditDistance(text, name), style);
    }
    std::stable_sort(ranked.begin(), ranked.end());
    // A third of the length changed is still recognisably the same name.
    const size_t limit = std::max<size_t>(3, text.size() / 3);
    std::vector<std::string> names;
    for (const auto& [distance, style] : ranked)
        if (distance <= limit && names.size() < count)
            names.emplace_back(StyleName(style));
    return names;
}

int ParseStyle(const std::string& raw)
{
    const std::string text = Trim(raw);
    if (text.empty())
        throw std::runtime_error("--style needs a number, a name or 'random'");
    std::string lower = text;
    std::transform(lower.begin(), lower.end(), lower.begin(), Lower);
    if (lower == "random")
        return 0;
    if (std::all_of(text.begin(), text.end(), IsDigit)) {
        const long value = text.size() > 4 ? 0 : std::stol(text);
        if (value < 1 || value > MaxShowStyle)
            throw std::runtime_error("--style takes a number from 1 to 150, not '" + text + "'");
        return int(value);
    }
    const std::optional<TShowStyle> style = StyleOfName(text);
    if (style && *style != 0)
        return *style;
    std::string message = "unknown style '" + text + "'";
    const std::vector<std::string> near = NearestStyleNames(text, 3);
    for (size_t i = 0; i < near.size(); ++i)
        message += (i == 0 ? "; did you mean \"" : ", \"") + near[i] + "\"";
    throw std::runtime_error(message + (near.empty() ? " (see --list)" : "? (see --list)"));
}

std::vector<int> ParseStyleCycle(const std::string& text)
{
    std::vector<int> styles;
    size_t at = 0;
    for (;;) {
        const size_t comma = text.find(',', at);
        styles.push_back(ParseStyle(text.substr(at, comma == std::string::npos ? std::string::npos : comma - at)));
        if (comma == std::string::npos)
            return styles;
        at = comma + 1;
    }
}

TFrameRate ParseFrameRate(const std::string& text)
{
    const auto bad = [&] { return std::runtime_error("--fps takes frames per second from 1 to 240 (25, 29.97 or "
                                                     "30000/1001), not '" + text + "'"); };
    const size_t slash = text.find('/');
    double value = 0;
    TFrameRate rate;
    try {
        size_t used = 0;
        if (slash != std::string::npos) {
            const long num = std::stol(text.substr(0, slash), &used);
            if (used != slash)
                throw bad();
            const long den = std::stol(text.substr(slash + 1), &used);
            if (used != text.size() - slash - 1 || num <= 0 || den <= 0 || num > 1000000 || den > 1000000)
                throw bad();
            rate = {int(num), int(den)};
            value = double(num) / double(den);
        } else {
            value = std::stod(text, &used);
            if (used != text.size())
                throw bad();
            // 29.97 and the like as an exact fraction over 1000 (1001 for the NTSC rates).
            const double ntsc = value * 1001 / 1000;
            if (std::abs(ntsc - std::round(ntsc)) < 1e-3 && std::abs(value - std::round(value)) > 1e-6)
                rate = {int(std::lround(ntsc)) * 1000, 1001};
            else if (std::abs(value - std::round(value)) < 1e-9)
                rate = {int(std::lround(value)), 1};
            else
                rate = {int(std::lround(value * 1000)), 1000};
        }
    } catch (const std::invalid_argument&) {
        throw bad();
    } catch (const std::out_of_range&) {
        throw bad();
    }
    if (!(value >= 1 && value <= 240))
        throw bad();
    return rate;
}

bool NaturalLess(std::string_view a, std::string_view b)
{
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (IsDigit(a[i]) && IsDigit(b[j])) {
            size_t ei = i, ej = j;
            while (ei < a.size() && IsDigit(a[ei]))
                ++ei;
            while (ej < b.size() && IsDigit(b[ej]))
                ++ej;
            // Compare the runs as numbers of any length: leading zeros off, then length, then digits.
            size_t si = i, sj = j;
            while (si + 1 < ei && a[si] == '0')
                ++si;
            while (sj + 1 < ej && b[sj] == '0')
                ++sj;
            if (ei - si != ej - sj)
                return ei - si < ej - sj;
            const int order = a.substr(si, ei - si).compare(b.substr(sj, ej - sj));
            if (order != 0)
                return order < 0;
            i = ei;
            j = ej;
            continue;
        }
        const char ca = Lower(a[i]), cb = Lower(b[j]);
        if (ca != cb)
            return static_cast<unsigned char>(ca) < static_cast<unsigned char>(cb);
        ++i;
        ++j;
    }
    if (a.size() - i != b.size() - j)
        return a.size() - i < b.size() - j;
    return a < b;
}

} // namespace mirel
