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

CsvReading CsvRecords(std::string_view bytes, char delimiter) {
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
    // Universal newlines: a line ends after LF, CR LF, or CR alone.
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\n' || (bytes[i] == '\r' && (i + 1 == bytes.size() || bytes[i + 1] != '\n'))) {
            lines.push_back(bytes.substr(start, i + 1 - start));
            start = i + 1;
        }
    }
    if (start < bytes.size()) lines.push_back(bytes.substr(start));

    enum State { StartRecord, StartField, EscapedChar, InField, InQuotedField, QuoteInQuotedField, EatCrNl };
    constexpr int kEol = -2;
    const int separator = static_cast<unsigned char>(delimiter);
    CsvReading reading;
    std::vector<std::string> fields;
    std::string field;
    State state = StartRecord;
    auto save = [&] {
        fields.push_back(field);
        field.clear();
    };
    auto process = [&](int c) {
        switch (state) {
            case StartRecord:
                if (c == kEol) return;
                if (c == '\n' || c == '\r') {
                    state = EatCrNl;
                    return;
                }
                state = StartField;
                [[fallthrough]];
            case StartField:
                if (c == '\n' || c == '\r' || c == kEol) {
                    save();
                    state = c == kEol ? StartRecord : EatCrNl;
                } else if (c == '"') {
                    state = InQuotedField;
                } else if (c == separator) {
                    save();
                } else {
                    field += static_cast<char>(c);
                    state = InField;
                }
                return;
            case InField:
                if (c == '\n' || c == '\r' || c == kEol) {
                    save();
                    state = c == kEol ? StartRecord : EatCrNl;
                } else if (c == separator) {
                    save();
                    state = StartField;
                } else {
                    field += static_cast<char>(c);
                }
                return;
            case InQuotedField:
                if (c == kEol) return;
                if (c == '"') {
                    state = QuoteInQuotedField;
                } else {
                    field += static_cast<char>(c);
                }
                return;
            case QuoteInQuotedField:
                if (c == '"') {
                    field += '"';
                    state = InQuotedField;
                } else if (c == separator) {
                    save();
                    state = StartField;
                } else if (c == '\n' || c == '\r' || c == kEol) {
                    save();
                    state = c == kEol ? StartRecord : EatCrNl;
                } else {
                    field += static_cast<char>(c);
                    state = InField;
                }
                return;
            case EatCrNl:
                if (c == kEol) state = StartRecord;
                return;  // only CR and LF can come before the line's end here
            case EscapedChar:
                return;
        }
    };
    for (const std::string_view line : lines) {
        for (const char c : line) process(static_cast<unsigned char>(c));
        process(kEol);
        if (state == StartRecord) {
            if (!fields.empty()) reading.records.push_back(fields);
            fields.clear();
        }
    }
    if (state == InQuotedField) reading.unclosed = true;
    return reading;
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
