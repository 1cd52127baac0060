#include "convert/row_rules.h"

namespace rowsmith {

std::vector<std::string> SplitRow(std::string_view line, char delimiter) {
    std::vector<bool> quoted;
    return SplitRow(line, delimiter, quoted);
}

std::vector<std::string> SplitRow(std::string_view line, char delimiter, std::vector<bool>& quoted) {
    line = TrimLine(line, delimiter);
    quoted.clear();
    std::vector<std::string> values;
    std::string value;
    bool fieldStart = true;
    bool inQuotes = false;
    char previous = '\0';
    // Drops the last byte of the value, when there is one.
    const auto dropLast = [&value] {
        if (!value.empty()) value.pop_back();
    };
    for (const char b : line) {
        if (b == '"' && fieldStart) {
            inQuotes = true;
            quoted.resize(values.size() + 1);
            quoted.back() = true;
            fieldStart = false;
        } else if (b == delimiter && inQuotes && previous == '"') {
            dropLast();  // the closing quote
            values.push_back(std::move(value));
            value.clear();
            inQuotes = false;
            fieldStart = true;
        } else if (b == delimiter && !inQuotes) {
            values.push_back(std::move(value));
            value.clear();
            fieldStart = true;
        } else {
            value += b;
            fieldStart = false;
        }
        // An opening quote counts as the previous byte too, so a comma right
        // after it closes the field at once.
        previous = b;
    }
    if (inQuotes) dropLast();
    values.push_back(std::move(value));
    quoted.resize(values.size());
    return values;
}

}  // namespace rowsmith
