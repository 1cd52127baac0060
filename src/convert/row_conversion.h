#pragma once

// One input line into one INSERT statement, by the plain rules: the
// readable form of what the run does (row_rules.h splits the line,
// sql_dialect.h writes each value).

#include <string>
#include <string_view>

#include "convert/options/conversion_options.h"

namespace rowsmith {

// The INSERT statement for one line of comma-separated text, ending in a
// single line feed. Every value becomes a single-quoted SQL string with its
// single quotes doubled; table and field names go in exactly as given.
std::string ConvertRow(std::string line, std::string tableName, std::string fieldNames);

// The statement a run writes for one line, with options: values in the
// dialect's form, NULL where the NULL choice says (WritesNull), and no column list
// when the field names are empty or blank ("INSERT INTO t VALUES ( ... );"),
// since no database takes an empty one.
std::string ConvertRow(std::string_view line, std::string_view tableName, std::string_view fieldNames,
                       const ConversionOptions& options);

}  // namespace rowsmith
