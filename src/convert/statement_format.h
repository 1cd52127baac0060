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
    StatementFormat(std::string_view tableName, std::string_view fieldNames, std::string_view lineEnd = "\n");

    // Room WriteRow needs for a line of lineSize bytes: the most it can
    // write, and a little scratch space after it for block copies.
    std::size_t MaxRowSize(std::size_t lineSize) const {
        return head_.size() + 3 * lineSize + tail_.size() + 2 + kScratch;
    }

    // Bytes that must be readable after the end of a line given to WriteRow.
    static constexpr std::size_t kPadding = 32;

    // Writes the statement for line at out, which must have room for
    // MaxRowSize(line.size()) bytes, and returns the end of what it wrote.
    // It reads the line in blocks, so kPadding bytes after it must be
    // readable (their values do not matter).
    char* WriteRow(std::string_view line, char* out) const;

    // Appends the statement for line to text.
    void AppendRow(std::string_view line, std::string& text) const;

private:
    static constexpr std::size_t kScratch = 16;

    std::string head_;  // INSERT INTO <table> ( <fields> ) VALUES (
    std::string tail_;  // " );" and the line end
};

}  // namespace rowsmith
