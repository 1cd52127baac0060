#include "convert/sql_dialect.h"

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

}  // namespace rowsmith
