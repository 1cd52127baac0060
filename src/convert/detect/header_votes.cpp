#include "convert/detect/header_votes.h"

#include <algorithm>
#include <map>

#include "io/text_mode.h"

namespace rowsmith {

namespace {

using Record = std::vector<std::string>;

// A number as spreadsheets write one: a sign, digits, a point or a
// decimal comma and more digits.
bool LooksNumeric(std::string_view value) {
    value = TrimSpace(value);
    if (!value.empty() && (value[0] == '-' || value[0] == '+')) value.remove_prefix(1);
    bool digits = false;
    bool separator = false;
    for (const char c : value) {
        if (c >= '0' && c <= '9') {
            digits = true;
        } else if ((c == '.' || c == ',') && !separator) {
            separator = true;
        } else {
            return false;
        }
    }
    return digits;
}

// The kind of value a column holds, as far as telling a header goes.
enum class Kind { Empty, Number, Date, Time, Bool, Text };

// Whether value is digits and the separators of sep, each run of digits
// as long as widths says ("4-2-2": 2024-03-01).
bool Shaped(std::string_view value, std::string_view widths, std::string_view seps) {
    std::size_t at = 0;
    for (std::size_t part = 0; part < widths.size(); ++part) {
        const std::size_t width = static_cast<std::size_t>(widths[part] - '0');
        std::size_t digits = 0;
        while (at < value.size() && value[at] >= '0' && value[at] <= '9') ++at, ++digits;
        // A width of 2 takes one digit too (3/1/2024); 4 takes exactly 4.
        if (digits == 0 || digits > width || (width == 4 && digits != 4)) return false;
        if (part + 1 == widths.size()) break;
        if (at >= value.size() || seps.find(value[at]) == std::string_view::npos) return false;
        ++at;
    }
    return at == value.size();
}

Kind KindOf(std::string_view value) {
    value = TrimSpace(value);
    if (value.empty()) return Kind::Empty;
    if (LooksNumeric(value)) return Kind::Number;
    const std::string_view date = value.substr(0, value.find_first_of(" T"));
    const bool isDate = Shaped(date, "422", "-/.") || Shaped(date, "224", "-/.") || Shaped(date, "222", "-/.");
    if (isDate && date.size() == value.size()) return Kind::Date;
    const std::string_view time = date.size() < value.size() ? value.substr(date.size() + 1) : value;
    if (Shaped(time.substr(0, time.find_first_of(".Z+")), "222", ":") || Shaped(time, "22", ":"))
        return isDate || date.size() == value.size() ? Kind::Time : Kind::Text;
    std::string lower(value);
    for (char& c : lower) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    for (const std::string_view word : {"true", "false", "yes", "no", "t", "f", "y", "n"}) {
        if (lower == word) return Kind::Bool;
    }
    return Kind::Text;
}

// The traits of text a column's values may all share and a name lack: a
// digit, an @, a space, a point, a slash.
unsigned TraitsOf(std::string_view value) {
    unsigned traits = 0;
    for (const char c : value) {
        traits |= c >= '0' && c <= '9' ? 1U : c == '@' ? 2U : c == ' ' ? 4U : c == '.' ? 8U : c == '/' ? 16U : 0U;
    }
    return traits;
}

// A year as a header names a column of figures for it: 1900 to 2100.
bool LooksLikeYear(std::string_view value) {
    value = TrimSpace(value);
    return value.size() == 4 && Shaped(value, "4", "") && value >= "1900" && value <= "2100";
}

// The vote of a first value over values below of the kinds counted
// (filled in all), all of them with allTraits, all of length when not 0.
int KindVote(std::string_view first, const std::map<Kind, std::size_t>& kinds, std::size_t filled, unsigned allTraits,
             std::size_t length) {
    const Kind firstKind = KindOf(first);
    const auto [common, count] =
        *std::max_element(kinds.begin(), kinds.end(), [](const auto& a, const auto& b) { return a.second < b.second; });
    // Below, values of one kind other than text: the first is a name if it is not of that kind.
    if (common != Kind::Text && count * 10 >= filled * 9) {
        if (firstKind == common) return common == Kind::Number && LooksLikeYear(first) ? 0 : -1;
        return 1;
    }
    if (firstKind != Kind::Text) return -1;
    // Text below: a name lacks what every value has (a digit, an @), or is
    // not of the one length they all have.
    if ((allTraits & ~TraitsOf(first)) != 0) return 1;
    if (length != 0) return TrimSpace(first).size() != length ? 1 : -1;
    return 0;
}

// What a column says of its first value: +1 when that is not of the kind
// or the look of the values below it (a name over them), -1 when it is one
// of them, 0 when the column cannot tell.
int ColumnVote(const std::vector<Record>& records, std::size_t column, std::size_t rows) {
    const std::string& first = records.front()[column];
    const Kind firstKind = KindOf(first);
    std::map<Kind, std::size_t> kinds;
    std::size_t filled = 0;
    std::size_t length = std::string::npos;  // npos: not seen; 0 after two lengths differed
    unsigned allTraits = ~0U;
    bool repeated = false;
    for (std::size_t row = 1; row < rows; ++row) {
        if (column >= records[row].size()) continue;
        const std::string_view value = TrimSpace(records[row][column]);
        if (value.empty()) continue;
        ++filled;
        ++kinds[KindOf(value)];
        length = length == std::string::npos || length == value.size() ? value.size() : 0;
        allTraits &= TraitsOf(value);
        repeated = repeated || value == TrimSpace(first);
    }
    // A column with nothing below, or a name that is empty (an index's), says nothing.
    if (filled == 0 || firstKind == Kind::Empty) return 0;
    if (repeated) return -1;
    return KindVote(first, kinds, filled, allTraits, rows > 2 ? length : 0);
}

// Whether the values below the first in a column are years too.
bool YearsBelow(const std::vector<Record>& records, std::size_t column, std::size_t rows) {
    for (std::size_t row = 1; row < rows; ++row) {
        if (column < records[row].size() && !TrimSpace(records[row][column]).empty() &&
            !LooksLikeYear(records[row][column]))
            return false;
    }
    return true;
}

// Whether records[at] goes on naming the columns the records above it
// name (a header of several lines): none of its values is of the kind or
// the look of those below it, and it has what a second line of names has:
// a year over figures, a name where the line above has none or the other
// way round (a title over the columns it spans), or a name over every
// column (units, say).
bool ContinuesNames(const std::vector<Record>& records, std::size_t at) {
    const std::vector<Record> below(records.begin() + static_cast<std::ptrdiff_t>(at), records.end());
    const Record& line = below.front();
    const Record& above = records[at - 1];
    if (below.size() < 2 || line.size() != above.size()) return false;
    const std::size_t rows = std::min<std::size_t>(below.size(), 200);
    std::size_t names = 0;
    bool years = false;
    bool spanned = false;
    for (std::size_t column = 0; column < line.size(); ++column) {
        const int vote = ColumnVote(below, column, rows);
        if (vote < 0) return false;
        names += vote > 0 ? 1U : 0U;
        years = years || (vote == 0 && LooksLikeYear(line[column]) && !YearsBelow(below, column, rows));
        spanned = spanned || TrimSpace(line[column]).empty() != TrimSpace(above[column]).empty();
    }
    return (names > 0 && spanned) || years || names == line.size();
}

}  // namespace

std::size_t HeaderRecords(const std::vector<Record>& records) {
    if (!FirstRecordNames(records)) return 0;
    std::size_t lines = 1;
    while (lines < 3 && lines + 1 < records.size() && ContinuesNames(records, lines)) ++lines;
    return lines;
}

// Whether the first record names the columns: the columns below it vote.
// Names may be empty or repeated (a run names those), but not all empty.
bool FirstRecordNames(const std::vector<Record>& records) {
    if (records.size() < 2) return false;
    const Record& first = records.front();
    if (std::all_of(first.begin(), first.end(), [](const std::string& v) { return TrimSpace(v).empty(); }))
        return false;
    const std::size_t rows = std::min<std::size_t>(records.size(), 200);
    int votes = 0;
    bool text = false;  // a name of words, not a year or a number
    for (std::size_t column = 0; column < first.size(); ++column) {
        votes += ColumnVote(records, column, rows);
        text = text || KindOf(first[column]) == Kind::Text;
    }
    return votes > 0 && text;
}

}  // namespace rowsmith
