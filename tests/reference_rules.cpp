#include "reference_rules.h"

namespace rowsmith::reference {

std::vector<std::string> Values(std::string_view line, char delimiter, std::vector<bool>* quoted) {
    // The delimiter is never trimmed away, white space though it may be.
    std::string blanks = " \t\n\v\f\r";
    std::erase(blanks, delimiter);
    const std::size_t last = line.find_last_not_of(blanks);
    const std::string_view text = line.substr(0, last == std::string_view::npos ? 0 : last + 1);
    const std::string closing = std::string("\"") + delimiter;
    std::vector<std::string> values;
    std::size_t at = 0;  // where the next field starts
    for (;;) {
        if (quoted != nullptr) quoted->push_back(at < text.size() && text[at] == '"');
        if (at < text.size() && text[at] == '"') {
            // Quoted: to the first quote followed by the delimiter, which may
            // be the opening quote itself; or to the end, less one byte.
            const std::size_t close = text.find(closing, at);
            if (close == std::string_view::npos) {
                std::string value(text.substr(at + 1));
                if (!value.empty()) value.pop_back();
                values.push_back(value);
                return values;
            }
            values.emplace_back(close > at ? text.substr(at + 1, close - at - 1) : std::string_view());
            at = close + 2;
            continue;
        }
        const std::size_t end = text.find(delimiter, at);
        values.emplace_back(text.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at));
        if (end == std::string_view::npos) return values;
        at = end + 1;
    }
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

namespace {

// Reads one value at text[i]: NULL, a literal, or literals joined to CR
// characters (SQLite's form: 'a'||char(13)||'b'). Nothing when there is none.
std::optional<Value> ReadLiteral(std::string_view text, std::size_t& i, bool backslashEscapes);

std::optional<Value> ReadValue(std::string_view text, std::size_t& i, bool backslashEscapes) {
    if (text.substr(i, 4) == "NULL") {
        i += 4;
        return Value();
    }
    std::optional<Value> value = ReadLiteral(text, i, backslashEscapes);
    constexpr std::string_view kCr = "||char(13)||";
    while (value && text.substr(i, kCr.size()) == kCr) {
        i += kCr.size();
        const std::optional<Value> more = ReadLiteral(text, i, backslashEscapes);
        if (!more) return std::nullopt;
        **value += '\r' + **more;
    }
    return value;
}

std::optional<Value> ReadLiteral(std::string_view text, std::size_t& i, bool backslashEscapes) {
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
            return Value(std::move(value));
        }
        if (c == '\\' && backslashEscapes) {
            if (i + 1 >= text.size()) return std::nullopt;
            static const std::string_view kFrom = "0nrtbZ";
            static const std::string_view kTo("\0\n\r\t\b\x1A", 6);
            const char e = text[i + 1];
            const std::size_t known = kFrom.find(e);
            if (known != std::string_view::npos) {
                value += kTo[known];
            } else if (e == '%' || e == '_') {
                value += '\\';
                value += e;
            } else {
                value += e;
            }
            i += 2;
            continue;
        }
        value += c;
        ++i;
    }
}

// Reads values separated by commas from text[i] up to " )"; nothing when
// they are not such a list.
std::optional<Row> ReadRow(std::string_view text, std::size_t& i, bool backslashEscapes) {
    Row row;
    for (;;) {
        std::optional<Value> value = ReadValue(text, i, backslashEscapes);
        if (!value) return std::nullopt;
        row.push_back(std::move(*value));
        if (text.substr(i, 2) == " )") {
            i += 2;
            return row;
        }
        if (i >= text.size() || text[i] != ',') return std::nullopt;
        ++i;
    }
}

bool Take(std::string_view text, std::size_t& i, std::string_view expected) {
    if (text.substr(i, expected.size()) != expected) return false;
    i += expected.size();
    return true;
}

}  // namespace

std::optional<Row> ReadValueList(std::string_view text, bool backslashEscapes) {
    const std::string framed = std::string(text) + " )";
    std::size_t i = 0;
    std::optional<Row> row = ReadRow(framed, i, backslashEscapes);
    if (i != framed.size()) return std::nullopt;
    return row;
}

// A row of COPY's text format, as PostgreSQL reads one: tabs between the
// values, \N alone for NULL, a backslash before \, t, n or r for that byte.
// Nothing for a line PostgreSQL would refuse, or read otherwise than so.
std::optional<Row> ReadCopyRow(std::string_view line) {
    Row row;
    for (std::size_t start = 0;;) {
        const std::size_t tab = std::min(line.find('\t', start), line.size());
        const std::string_view raw = line.substr(start, tab - start);
        std::string value;
        for (std::size_t at = 0; at < raw.size() && raw != "\\N"; ++at) {
            if (raw[at] == '\r') return std::nullopt;
            if (raw[at] != '\\') {
                value += raw[at];
                continue;
            }
            const std::size_t escape =
                at + 1 < raw.size() ? std::string_view("\\tnr").find(raw[++at]) : std::string_view::npos;
            if (escape == std::string_view::npos) return std::nullopt;
            value += "\\\t\n\r"[escape];
        }
        row.emplace_back(raw == "\\N" ? Value() : Value(value));
        if (tab == line.size()) return row;
        start = tab + 1;
    }
}

std::optional<std::vector<Row>> ReadStatements(std::string_view text, bool backslashEscapes, bool committedOnly) {
    std::vector<Row> rows;     // kept for good
    std::vector<Row> pending;  // of the transaction open, if one is
    bool open = false;
    std::size_t i = 0;
    const auto add = [&](Row row) { (open ? pending : rows).push_back(std::move(row)); };
    // A statement's end: its ";" and the line end, or what is left of the
    // line end where a run was cut there and another appended after it.
    const auto ended = [&text, &i](std::string_view statement) {
        if (!Take(text, i, statement)) return false;
        if (!Take(text, i, "\r\n")) Take(text, i, "\r");
        return true;
    };
    while (i < text.size()) {
        if (ended("BEGIN;")) {
            open = true;
            continue;
        }
        const bool commit = ended("COMMIT;");
        if (commit || ended("ROLLBACK;")) {
            if (commit || !committedOnly) rows.insert(rows.end(), pending.begin(), pending.end());
            pending.clear();
            open = false;
            continue;
        }
        // The settings a script sets for its session, which hold no rows.
        if (ended("SET standard_conforming_strings = on;") || ended("SET NAMES utf8mb4;") ||
            Take(text, i, "\\set ON_ERROR_STOP on\n"))
            continue;
        if (Take(text, i, "COPY t FROM stdin;\n")) {
            while (!Take(text, i, "\\.\n")) {
                const std::size_t end = text.find('\n', i);
                std::optional<Row> row =
                    end == std::string_view::npos ? std::nullopt : ReadCopyRow(text.substr(i, end - i));
                if (!row) return std::nullopt;
                add(std::move(*row));
                i = end + 1;
            }
            continue;
        }
        if (!Take(text, i, "INSERT INTO t VALUES ( ")) return std::nullopt;
        for (;;) {
            std::optional<Row> row = ReadRow(text, i, backslashEscapes);
            if (!row) return std::nullopt;
            add(std::move(*row));
            if (ended(";")) break;
            if (!Take(text, i, ",\r\n( ")) return std::nullopt;
        }
    }
    // A transaction still open at the end is never committed.
    if (!committedOnly) rows.insert(rows.end(), pending.begin(), pending.end());
    return rows;
}

CsvReading CsvRecords(std::string_view bytes, char delimiter) {
    return CsvRecords(bytes, CsvDialect{.delimiter = delimiter});
}

CsvReading CsvRecords(std::string_view bytes, const CsvDialect& dialect) {
    const char delimiter = dialect.delimiter;
    const int quote = dialect.quote == '\0' ? -1 : static_cast<unsigned char>(dialect.quote);
    const int escape = dialect.escape == '\0' ? -1 : static_cast<unsigned char>(dialect.escape);
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

    enum State {
        StartRecord,
        StartField,
        EscapedChar,
        AfterEscapedCrNl,
        InField,
        InQuotedField,
        EscapeInQuotedField,
        QuoteInQuotedField,
        EatCrNl
    };
    constexpr int kEol = -2;
    const int separator = static_cast<unsigned char>(delimiter);
    CsvReading reading;
    std::vector<std::string> fields;
    std::vector<bool> quotedFields;
    std::string field;
    bool fieldQuoted = false;
    State state = StartRecord;
    auto save = [&] {
        fields.push_back(field);
        quotedFields.push_back(fieldQuoted);
        field.clear();
        fieldQuoted = false;
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
                } else if (c == quote) {
                    state = InQuotedField;
                    fieldQuoted = true;
                } else if (c == escape) {
                    state = EscapedChar;
                } else if (c == ' ' && dialect.skipInitialSpace) {
                } else if (c == separator) {
                    save();
                } else {
                    field += static_cast<char>(c);
                    state = InField;
                }
                return;
            case AfterEscapedCrNl:
                if (c == kEol) return;
                state = InField;
                [[fallthrough]];
            case InField:
                if (c == '\n' || c == '\r' || c == kEol) {
                    save();
                    state = c == kEol ? StartRecord : EatCrNl;
                } else if (c == escape) {
                    state = EscapedChar;
                } else if (c == separator) {
                    save();
                    state = StartField;
                } else {
                    field += static_cast<char>(c);
                }
                return;
            case InQuotedField:
                if (c == kEol) return;
                if (c == escape) {
                    state = EscapeInQuotedField;
                } else if (c == quote) {
                    state = QuoteInQuotedField;
                } else {
                    field += static_cast<char>(c);
                }
                return;
            case EscapeInQuotedField:
                field += c == kEol ? '\n' : static_cast<char>(c);
                state = InQuotedField;
                return;
            case QuoteInQuotedField:
                if (c == quote) {
                    field += static_cast<char>(c);
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
                if (c == '\n' || c == '\r') {
                    field += static_cast<char>(c);
                    state = AfterEscapedCrNl;
                    return;
                }
                if (c == kEol) {  // only the input's last line ends without a line break
                    field += static_cast<char>(escape);
                    save();
                    state = StartRecord;
                    return;
                }
                field += static_cast<char>(c);
                state = InField;
                return;
        }
    };
    for (const std::string_view line : lines) {
        for (const char c : line) process(static_cast<unsigned char>(c));
        process(kEol);
        if (state == StartRecord) {
            if (!fields.empty()) {
                reading.records.push_back(fields);
                reading.quoted.push_back(quotedFields);
            }
            fields.clear();
            quotedFields.clear();
        }
    }
    // An escaped line break that ends the input ends its record.
    if (state == AfterEscapedCrNl) {
        save();
        reading.records.push_back(fields);
        reading.quoted.push_back(quotedFields);
    }
    if (state == InQuotedField || state == EscapeInQuotedField) reading.unclosed = true;
    return reading;
}

CsvReading TextExportRecords(std::string_view bytes, char delimiter) {
    // What each escape stands for; any other escaped byte is itself.
    const std::string_view named = "tnrbfv0Z";
    const std::string_view meant("\t\n\r\b\f\v\0\x1A", 8);
    CsvReading reading;
    std::size_t i = 0;
    while (i < bytes.size()) {
        std::vector<std::string> values(1);
        std::vector<std::string> written(1);  // each field as it stands in the file
        for (bool ended = false; !ended && i < bytes.size();) {
            const char c = bytes[i++];
            if (c == '\\' && i < bytes.size()) {
                const char e = bytes[i++];
                written.back() += {c, e};
                const std::size_t at = named.find(e);
                values.back() += at == std::string_view::npos ? e : meant[at];
            } else if (c == delimiter) {
                values.emplace_back();
                written.emplace_back();
            } else if (c == '\n') {
                ended = true;
            } else {
                written.back() += c;
                values.back() += c;
            }
        }
        if (written.size() == 1 && written[0] == "\\.") break;
        std::vector<bool> quoted;
        for (std::size_t f = 0; f < values.size(); ++f) {
            quoted.push_back(written[f] != "\\N");
            if (!quoted.back()) values[f] = "\\N";
        }
        reading.records.push_back(std::move(values));
        reading.quoted.push_back(std::move(quoted));
    }
    return reading;
}

std::string_view AfterLines(std::string_view bytes, std::size_t lines, bool crEnds) {
    for (; lines > 0 && !bytes.empty(); --lines) {
        std::size_t end = bytes.find_first_of(crEnds ? "\r\n" : "\n");
        if (end == std::string_view::npos) return {};
        if (bytes[end] == '\r' && end + 1 < bytes.size() && bytes[end + 1] == '\n') ++end;
        bytes.remove_prefix(end + 1);
    }
    return bytes;
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

std::vector<std::string> ShellWords(std::string_view line) {
    std::vector<std::string> words;
    std::string word;
    bool any = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '\'' || line[i] == '"') {
            const std::size_t close = line.find(line[i], i + 1);
            word.append(line.substr(i + 1, close - i - 1));
            any = true;
            if (close == std::string_view::npos) break;  // left open: to the end
            i = close;
        } else if (line[i] == ' ') {
            if (any) words.push_back(word);
            word.clear();
            any = false;
        } else {
            word += line[i];
            any = true;
        }
    }
    if (any) words.push_back(word);
    return words;
}

}  // namespace rowsmith::reference
