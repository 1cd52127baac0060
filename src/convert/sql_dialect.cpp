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

}  // namespace rowsmith
