#pragma once

// Where a file's records begin and end, by the number of fields its lines
// have: lines above them (a title, notes) and lines below a blank one that
// are not theirs (a second table, notes).

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace rowsmith {

// The lines above the records: leading lines (at most 20) whose field count
// is below common, the one most records have, where the records after them
// have it with few exceptions.
std::size_t PreambleLines(const std::vector<std::vector<std::string>>& lines, std::size_t common);

// The end of the records of the table a file starts with; all 0 where none
// was seen.
struct TableEnd {
    std::size_t last = 0;        // the last line of its records
    std::size_t next = 0;        // the line the next table (or the notes) starts on
    std::size_t nextFields = 0;  // its number of fields
};

// records: as standard CSV reads them, starts: the line each starts on,
// lines: the file's lines as the line rules split them. The records end at
// blank lines below two records or more, after which the records are not
// of that table: most have another number of fields.
TableEnd FindTableEnd(const std::vector<std::vector<std::string>>& records, const std::vector<std::uint64_t>& starts,
                      const std::vector<std::vector<std::string>>& lines);

}  // namespace rowsmith
