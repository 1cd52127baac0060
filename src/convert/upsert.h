#pragma once

// Statements that meet rows already in the table (--on-conflict): the
// clause each database reads, and the key by which two rows of one
// statement would meet each other.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "convert/column_types.h"
#include "convert/conversion_options.h"

namespace rowsmith {

// The places among columns of the names keyList gives (as --fields writes
// them, quoted or not); problem names any that is not among them.
std::vector<std::size_t> KeyPlaces(std::string_view keyList, const std::vector<TableColumn>& columns,
                                   std::string& problem);

// What follows a statement's rows, before its ";": for sqlite and
// postgresql ON CONFLICT ( key ) DO NOTHING, or DO UPDATE SET c =
// excluded.c for each other column; for mysql ON DUPLICATE KEY UPDATE with
// k = k (which skips the row on a duplicate key, and on nothing else, as
// INSERT IGNORE would) or c = VALUES(c). Update with every column in the
// key is ignore. Empty without --on-conflict.
std::string ConflictClause(const ConversionOptions& options, const std::vector<TableColumn>& columns,
                           const std::vector<std::size_t>& keys);

// A key value as the databases may compare it, appended to key: without
// the blanks around it, letters in lower case, and a number written one
// way (+5, 05 and 5.0 are 5). Rows whose keys fold alike go into separate
// statements; folding too much only costs a statement.
void AppendKeyPart(std::string_view value, std::string& key);

}  // namespace rowsmith
