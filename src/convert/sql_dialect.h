#pragma once

// How a value is written as SQL: one small function per dialect.

#include <string>
#include <string_view>

#include "convert/conversion_options.h"

namespace rowsmith {

// Standard SQL: the value between single quotes, each single quote inside
// doubled. Every other byte stands as it is, so the literal holds exactly
// the value's bytes in any database that follows the standard.
void AppendStandardLiteral(std::string_view value, std::string& out);

// MySQL and MariaDB with their default sql_mode: as standard SQL, and also
// each backslash doubled and each NUL written as \0, because these servers
// read a backslash inside a string literal as the start of an escape.
void AppendMySqlLiteral(std::string_view value, std::string& out);

// value as the dialect writes it; an empty value is NULL with emptyAsNull.
void AppendValue(const ConversionOptions& options, std::string_view value, std::string& out);

}  // namespace rowsmith
