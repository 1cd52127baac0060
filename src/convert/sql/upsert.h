#pragma once

// Statements that meet rows already in the table (--on-conflict): the
// clause each database reads. When two rows of one statement may meet each
// other is key_forms.h's to say.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "convert/sql/column_types.h"
#include "convert/options/conversion_options.h"

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

}  // namespace rowsmith
