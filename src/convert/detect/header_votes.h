#pragma once

// Whether a file's first record names its columns, as its columns vote:
// a name is not of the kind (number, date, time, yes/no) or the look (a
// digit, an @, one length) of the values below it.

#include <string>
#include <vector>

namespace rowsmith {

// records: the first records read, the first of them the one judged. Names
// may be empty or repeated (a run names those), but not all empty.
bool FirstRecordNames(const std::vector<std::vector<std::string>>& records);

// How many of the first records name the columns: 0 (none), 1, or up to 3
// where the lines below the first go on naming them (a title over the
// columns it spans, years over figures).
std::size_t HeaderRecords(const std::vector<std::vector<std::string>>& records);

}  // namespace rowsmith
