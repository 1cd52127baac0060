#pragma once

// Several inputs named in the one input box: each name in double quotes,
// a space between them, a quote inside a name doubled:
//   "/data/2023.csv" "/data/2024.csv"
// Text that names a file, or is not a whole list of that form, is one
// name as it stands, so every name the box held before still means what
// it meant.

#include <string>
#include <vector>

namespace rowsmith {

// The inputs the box text names, in order: one name, or the names of a list.
std::vector<std::string> InputNames(const std::string& boxText);

// The box text for names: a lone name as it is, several as a list.
std::string InputListText(const std::vector<std::string>& names);

}  // namespace rowsmith
