#pragma once

// Whether an output that a run appends to creates the run's table already,
// with other columns or types: the second CREATE TABLE IF NOT EXISTS would
// do nothing, and values typed for one file would load into the other's
// types (01234 into the BIGINT an earlier file's zip codes made, as 1234).

#include <string>
#include <string_view>

namespace rowsmith {

// The problem, in words, when the file fd reads (from its start) holds
// "CREATE TABLE IF NOT EXISTS table ( " other than create, the statement
// this run would write; empty when it holds none or the same.
std::string OtherTableBefore(int fd, std::string_view create, std::string_view table);

}  // namespace rowsmith
