#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace rowsmith {

// Turns input lines into INSERT statements for one table and field list.
// The fixed text around the values is built once, so a whole run pays for it
// only at the start.
class StatementFormat {
public:
    // lineEnd ends every statement; "\r\n" gives the on-disk form, in which
    // line feeds inside the table or field names become CR LF as well.
    StatementFormat(std::string_view tableName, std::string_view fieldNames,
                    std::string_view lineEnd = "\n");

    // The most bytes WriteRow can write for a line of lineSize bytes.
    std::size_t MaxRowSize(std::size_t lineSize) const {
        return head_.size() + 3 * lineSize + tail_.size() + 2;
    }

    // Writes the statement for line at out, which must have room for
    // MaxRowSize(line.size()) bytes, and returns the end of what it wrote.
    char* WriteRow(std::string_view line, char* out) const;

    // Appends the statement for line to text.
    void AppendRow(std::string_view line, std::string& text) const;

private:
    std::string head_;  // INSERT INTO <table> ( <fields> ) VALUES (
    std::string tail_;  // " );" and the line end
};

}  // namespace rowsmith
