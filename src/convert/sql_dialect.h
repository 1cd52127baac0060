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

// The same, written at out, which must have room for MaxValueSize bytes;
// returns the end of what it wrote.
constexpr std::size_t MaxValueSize(std::size_t valueSize) {
    return 2 * valueSize + 4;
}
char* WriteValue(const ConversionOptions& options, std::string_view value, char* out);

// name as an SQL identifier: between double quotes, an inner one doubled;
// for MySQL between backquotes, an inner one doubled.
std::string QuoteIdentifier(Dialect dialect, std::string_view name);

}  // namespace rowsmith
