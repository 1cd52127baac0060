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
    const bool mySql = options.dialect == Dialect::MySql;
    *out++ = '\'';
    for (const char c : value) {
        if (c == '\'' || (mySql && c == '\\')) {
            *out++ = c;
        } else if (mySql && c == '\0') {
            *out++ = '\\';
            *out++ = '0';
            continue;
        }
        *out++ = c;
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
