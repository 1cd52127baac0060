#pragma once

// The conversion engine: one input line into one INSERT statement, and a
// whole file into a file of statements.

#include <string>
#include <string_view>

#include "convert/conversion_options.h"
#include "convert/conversion_run.h"
#include "convert/conversion_settings.h"
#include "convert/message_owner.h"

namespace rowsmith {

// The INSERT statement for one line of comma-separated text, ending in a
// single line feed. Every value becomes a single-quoted SQL string with its
// single quotes doubled; table and field names go in exactly as given.
std::string ConvertRow(std::string line, std::string tableName, std::string fieldNames);

// The statement a run writes for one line, with options: values in the
// dialect's form, NULL for empty ones with emptyAsNull, and no column list
// when the field names are empty or blank ("INSERT INTO t VALUES ( ... );"),
// since no database takes an empty one.
std::string ConvertRow(std::string_view line, std::string_view tableName, std::string_view fieldNames,
                       const ConversionOptions& options);

// "INSERT INTO t ( f ) VALUES ( ", or "INSERT INTO t VALUES ( " for blank f.
std::string InsertHead(std::string_view tableName, std::string_view fieldNames);

}  // namespace rowsmith
