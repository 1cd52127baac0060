#pragma once

#include <string>

namespace rowsmith {

// The four values the user types into the window. Byte strings: nothing is
// converted between character sets anywhere in the program.
struct ConversionSettings {
    std::string inputFile;   // comma-separated text to read
    std::string outputFile;  // file the statements are appended to
    std::string tableName;   // follows "INSERT INTO "
    std::string fieldNames;  // goes between the first pair of parentheses

    bool operator==(const ConversionSettings&) const = default;
};

}  // namespace rowsmith
