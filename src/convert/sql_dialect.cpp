#include "convert/sql_dialect.h"

#include <cstring>

namespace rowsmith {

void AppendStandardLiteral(std::string_view value, std::string& out) {
    out += '\'';
    for (const char c : value) {
        if (c == '\'') out += '\'';
        out += c;
    }
    out += '\'';
}

void AppendMySqlLiteral(std::string_view value, std::string& out) {
    out += '\'';
    for (const char c : value) {
        if (c == '\'') {
            out += "''";
        } else if (c == '\\') {
            out += "\\\\";
        } else if (c == '\0') {
            out += "\\0";
        } else {
            out += c;
        }
    }
    out += '\'';
}

void AppendValue(const ConversionOptions& options, std::string_view value, std::string& out) {
    if (options.emptyAsNull && value.empty()) {
        out += "NULL";
    } else if (options.dialect == Dialect::MySql) {
        AppendMySqlLiteral(value, out);
    } else {
        AppendStandardLiteral(value, out);
    }
}

char* WriteValue(const ConversionOptions& options, std::string_view value, char* out) {
    if (options.emptyAsNull && value.empty()) {
        std::memcpy(out, "NULL", 4);
        return out + 4;
    }
    *out++ = '\'';
    const char* p = value.data();
    const char* const end = p + value.size();
    if (options.dialect == Dialect::MySql) {
        for (; p < end; ++p) {
            const char c = *p;
            if (c == '\'' || c == '\\') {
                *out++ = c;
            } else if (c == '\0') {
                *out++ = '\\';
                *out++ = '0';
                continue;
            }
            *out++ = c;
        }
    } else {
        // Runs between single quotes are copied whole; each quote is doubled.
        while (const void* found = std::memchr(p, '\'', static_cast<std::size_t>(end - p))) {
            const char* quote = static_cast<const char*>(found);
            std::memcpy(out, p, static_cast<std::size_t>(quote + 1 - p));
            out += quote + 1 - p;
            *out++ = '\'';
            p = quote + 1;
        }
        std::memcpy(out, p, static_cast<std::size_t>(end - p));
        out += end - p;
    }
    *out++ = '\'';
    return out;
}

std::string QuoteIdentifier(Dialect dialect, std::string_view name) {
    const char quote = dialect == Dialect::MySql ? '`' : '"';
    std::string identifier(1, quote);
    for (const char c : name) {
        if (c == quote) identifier += quote;
        identifier += c;
    }
    identifier += quote;
    return identifier;
}

}  // namespace rowsmith
