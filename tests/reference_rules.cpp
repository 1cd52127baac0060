#include "reference_rules.h"

namespace rowsmith::reference {

std::vector<std::string> Values(std::string_view line) {
    std::string text(line);
    while (!text.empty() && (text.back() == ' ' || (text.back() >= '\t' && text.back() <= '\r'))) {
        text.pop_back();
    }
    std::vector<std::string> values;
    std::string value;
    bool inQuotes = false;
    bool fieldStart = true;
    char previous = 0;
    for (char b : text) {
        const bool atStart = fieldStart;
        fieldStart = false;
        if (b == '"' && atStart) {
            inQuotes = true;
        } else if (inQuotes && previous == '"' && b == ',') {
            if (!value.empty()) value.pop_back();
            values.push_back(value);
            value.clear();
            inQuotes = false;
            fieldStart = true;
        } else if (!inQuotes && b == ',') {
            values.push_back(value);
            value.clear();
            fieldStart = true;
        } else {
            value += b;
        }
        previous = b;
    }
    if (inQuotes && !value.empty()) value.pop_back();
    values.push_back(value);
    return values;
}

std::string Literal(std::string_view value) {
    std::string literal = "'";
    for (char c : value) {
        if (c == '\'') literal += '\'';
        literal += c;
    }
    return literal + "'";
}

std::string ValueList(std::string_view line) {
    std::string list;
    for (const std::string& value : Values(line)) {
        if (!list.empty()) list += ',';
        list += Literal(value);
    }
    return list;
}

std::vector<std::string> TextLines(std::string_view bytes) {
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
    bytes = bytes.substr(0, bytes.find('\x1A'));
    std::vector<std::string> lines;
    std::string line;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') continue;
        line += bytes[i];
        if (bytes[i] == '\n') lines.push_back(std::move(line)), line.clear();
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}

}  // namespace rowsmith::reference
