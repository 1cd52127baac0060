#pragma once

// How a value is written as SQL.

#include <string>
#include <string_view>

namespace rowsmith {

// Standard SQL: the value between single quotes, each single quote inside
// doubled. Every other byte stands as it is, so the literal holds exactly
// the value's bytes in any database that follows the standard.
void AppendStandardLiteral(std::string_view value, std::string& out);

}  // namespace rowsmith
