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

std::optional<std::vector<std::optional<std::string>>> ReadValueList(std::string_view text, bool backslashEscapes) {
    std::vector<std::optional<std::string>> values;
    std::size_t i = 0;
    for (;;) {
        if (text.substr(i, 4) == "NULL") {
            values.emplace_back();
            i += 4;
        } else {
            if (i >= text.size() || text[i] != '\'') return std::nullopt;
            ++i;
            std::string value;
            for (;;) {
                if (i >= text.size()) return std::nullopt;  // never closed
                const char c = text[i];
                if (c == '\'') {
                    if (i + 1 < text.size() && text[i + 1] == '\'') {
                        value += '\'';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                if (c == '\\' && backslashEscapes) {
                    if (i + 1 >= text.size()) return std::nullopt;
                    const char e = text[i + 1];
                    switch (e) {
                        case '0':
                            value += '\0';
                            break;
                        case 'n':
                            value += '\n';
                            break;
                        case 'r':
                            value += '\r';
                            break;
                        case 't':
                            value += '\t';
                            break;
                        case 'b':
                            value += '\b';
                            break;
                        case 'Z':
                            value += '\x1A';
                            break;
                        case '%':
                            value += "\\%";
                            break;
                        case '_':
                            value += "\\_";
                            break;
                        default:
                            value += e;
                            break;
                    }
                    i += 2;
                    continue;
                }
                value += c;
                ++i;
            }
            values.emplace_back(std::move(value));
        }
        if (i == text.size()) return values;
        if (text[i] != ',') return std::nullopt;
        ++i;
    }
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
