#pragma once

// How a line of the input becomes values, written out plainly, one byte at
// a time. This is the statement of the rules: the block scanner in
// row_scanner.cpp is the fast way to the same result, and the tests
// hold the two together. A rule changes here first.

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "io/text_mode.h"

namespace rowsmith {

// line without its trailing white space (space, tab, LF, VT, FF, CR): all of
// it but a delimiter that is white space itself, which always ends a field,
// so that a tab-separated line keeps its empty last fields.
constexpr std::string_view TrimLine(std::string_view line, char delimiter) {
    std::size_t n = line.size();
    while (n > 0 && IsTrimmedSpace(line[n - 1]) && line[n - 1] != delimiter) --n;
    return line.substr(0, n);
}

// The values of one line:
// - trailing white space is removed first (TrimLine);
// - a comma (or the delimiter given) ends a field, and the last field always counts, so an empty
//   line gives one empty value and a trailing comma a last empty one;
// - a double quote as the first byte of a field opens a quoted field and is
//   dropped; inside it only a double quote followed by a comma ends the
//   field, and that closing quote is dropped;
// - a quoted field still open at the end of the line loses its last byte;
// - every other byte, anywhere, is part of the value.
std::vector<std::string> SplitRow(std::string_view line, char delimiter = ',');

// The same values, handed to each(value, quoted) one after another without
// a copy (each lies whole in the line), until each returns false: quoted
// says whether its field began with a double quote. SplitRow is this,
// collected.
template <typename Each>
void ForEachValue(std::string_view line, char delimiter, Each&& each) {
    line = TrimLine(line, delimiter);
    const char closing[] = {'"', delimiter};
    for (std::size_t at = 0;;) {
        if (at < line.size() && line[at] == '"') {
            // To the first quote followed by a delimiter, which may be the
            // opening quote itself; or to the end, less its last byte.
            const std::size_t close = line.find(std::string_view(closing, 2), at);
            if (close == std::string_view::npos) {
                const std::string_view rest = line.substr(at + 1);
                each(rest.substr(0, rest.empty() ? 0 : rest.size() - 1), true);
                return;
            }
            if (!each(close > at ? line.substr(at + 1, close - at - 1) : std::string_view(), true)) return;
            at = close + 2;
            continue;
        }
        // Fields are short: a plain search, not a call per field.
        const auto end = static_cast<std::size_t>(std::find(line.begin() + at, line.end(), delimiter) - line.begin());
        if (!each(line.substr(at, end - at), false) || end == line.size()) return;
        at = end + 1;
    }
}
// The same, and for each value whether its field began with a double quote.
std::vector<std::string> SplitRow(std::string_view line, char delimiter, std::vector<bool>& quoted);

}  // namespace rowsmith
