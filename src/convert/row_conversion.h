#pragma once

// The conversion engine: one input line into one INSERT statement, and a
// whole file into a file of statements.

#include <string>

#include "convert/conversion_run.h"
#include "convert/conversion_settings.h"
#include "convert/message_owner.h"

namespace rowsmith {

// The INSERT statement for one line of comma-separated text, ending in a
// single line feed. Every value becomes a single-quoted SQL string with its
// single quotes doubled; table and field names go in exactly as given.
std::string ConvertRow(std::string line, std::string tableName, std::string fieldNames);

}  // namespace rowsmith
