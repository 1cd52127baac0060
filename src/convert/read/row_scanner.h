#pragma once

// The fast way from an input line to its statement: the line is read
// sixty-four bytes at a time, as bit masks of the bytes that matter, and
// its values written with their dialect's escapes in runs. The fixed text around the values is built once, so a
// whole run pays for it only at the start. row_rules.h says which values a
// line holds and sql_dialect.h how each is written; the tests hold this
// scanner to both.

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "io/byte_blocks.h"
#include "convert/options/conversion_options.h"
#include "convert/sql/sql_dialect.h"

namespace rowsmith {

// "INSERT INTO t ( f ) VALUES ( ", or "INSERT INTO t VALUES ( " when f is
// blank: no database takes an empty column list.
std::string InsertHead(std::string_view tableName, std::string_view fieldNames);
// The line that starts a COPY block of the rows of table into fields:
// "COPY t ( a, b ) FROM stdin;" and LF, the same way.
std::string CopyHead(std::string_view tableName, std::string_view fieldNames);

// What the scanner saw in a line besides its values.
struct RowMarks {
    bool nul = false;        // a NUL byte the dialect drops (maybe, where it writes them)
    std::size_t nulls = 0;   // values written as NULL
    bool openAtEnd = false;  // under the line rules, a quoted field is open at the line's end
};

class RowScanner {
public:
    // lineEnd ends every statement; "\r\n" gives the on-disk form, in which
    // line feeds inside the table or field names become CR LF as well. kind:
    // the vector unit the scanner uses, where the processor has it.
    // namesAsRead: the field names are a header's, written as read even
    // in the on-disk form (a line break in one stays as it is).
    RowScanner(std::string_view tableName, std::string_view fieldNames, const ConversionOptions& options = {},
               std::string_view lineEnd = "\n", ScanKind kind = ChosenKind(), bool namesAsRead = false);

    // Room WriteValues needs for a line of lineSize bytes: the most it can
    // write, and scratch space after it for block copies.
    std::size_t MaxValuesSize(std::size_t lineSize) const { return maxEscape_ * lineSize + 8 + kScratch; }
    // Room WriteRow needs for a line of lineSize bytes.
    std::size_t MaxRowSize(std::size_t lineSize) const {
        return head_.size() + MaxValuesSize(lineSize) + tail_.size() + kScratch;
    }

    // Bytes that must be readable after the end of a line given to WriteRow.
    static constexpr std::size_t kPadding = kWide;

    // Writes the values of line, separated by commas ("'a','b'"), at out,
    // which must have room for MaxValuesSize(line.size()) bytes; returns the
    // end of what it wrote, and sets count to the number of values. It reads
    // the line in blocks, so kPadding bytes after it must be readable (their
    // values do not matter).
    char* WriteValues(std::string_view line, char* out, std::size_t& count, RowMarks& marks) const {
        return writeValues_(line, table_.get(), out, count, marks);
    }
    char* WriteValues(std::string_view line, char* out, std::size_t& count) const {
        RowMarks marks;
        return WriteValues(line, out, count, marks);
    }

    // Writes the one-row statement for line (head, values, " );", line end)
    // at out, which must have room for MaxRowSize(line.size()) bytes.
    char* WriteRow(std::string_view line, char* out, std::size_t& count) const {
        RowMarks marks;
        return WriteRow(line, out, count, marks);
    }
    // The same, and sets marks.
    char* WriteRow(std::string_view line, char* out, std::size_t& count, RowMarks& marks) const;
    char* WriteRow(std::string_view line, char* out) const {
        std::size_t count;
        return WriteRow(line, out, count);
    }

    // Appends the statement for line to text.
    void AppendRow(std::string_view line, std::string& text) const;

    // With --columns: the places of the fields written, in the line's
    // order; the others are left out. A line that lacks one (the count
    // WriteRow sets tells) is written wrongly, for the caller to refuse.
    // Empty: every field is written.
    void Choose(std::vector<std::size_t> places);
    const std::vector<std::size_t>& chosen() const { return chosen_; }
    // The fields a line needs for every chosen one: 0 when all are written.
    std::size_t fieldsNeeded() const { return chosen_.empty() ? 0 : chosen_.back() + 1; }

    // What a row's statement says between its values' " )" and its ";":
    // an upsert's clause (upsert.h). Empty at first.
    void EndRowsWith(std::string_view clause);

    // "INSERT INTO <table> ( <fields> ) VALUES ( ", in the line end's form.
    const std::string& head() const { return head_; }
    const std::string& lineEnd() const { return lineEnd_; }

    ScanKind kind() const { return kind_; }

    using ValuesWriter = char* (*)(std::string_view line, const void* table, char* out, std::size_t& count,
                                   RowMarks& marks);
    template <const DialectRules& kRules>
    struct StopTable;

private:
    static constexpr std::size_t kScratch = 16;

    // Writes with the dialect rules kRules.
    template <const DialectRules& kRules>
    void Use();

    std::string head_;
    std::string tail_;    // " )", the row end's clause, ";" and the line end
    std::string blocks_;  // head_, then tail_ at kScratch-aligned offsets: copied in whole blocks
    std::size_t tailAt_ = 0;
    std::string lineEnd_;
    std::size_t maxEscape_;  // the most a byte of the line becomes (NULL, for a delimiter)
    ScanKind kind_;
    ConversionOptions options_;
    std::vector<std::size_t> chosen_;
    std::shared_ptr<const void> table_;  // the dialect's StopTable
    ValuesWriter writeValues_ = nullptr;
};

}  // namespace rowsmith
