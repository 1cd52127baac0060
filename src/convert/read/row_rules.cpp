#include "convert/read/row_rules.h"

namespace rowsmith {

std::vector<std::string> SplitRow(std::string_view line, char delimiter) {
    std::vector<bool> quoted;
    return SplitRow(line, delimiter, quoted);
}

std::vector<std::string> SplitRow(std::string_view line, char delimiter, std::vector<bool>& quoted) {
    std::vector<std::string> values;
    quoted.clear();
    ForEachValue(line, delimiter, [&values, &quoted](std::string_view value, bool isQuoted) {
        values.emplace_back(value);
        quoted.push_back(isQuoted);
        return true;
    });
    return values;
}

}  // namespace rowsmith
