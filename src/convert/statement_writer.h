#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "convert/conversion_options.h"
#include "convert/row_scanner.h"
#include "convert/run_report.h"
#include "convert/statement_output.h"

namespace rowsmith {

// Puts a run's rows together into statements: one statement a row, or with
// rowsPerInsert up to that many rows in one INSERT, a row a line:
//   INSERT INTO t ( a, b ) VALUES ( '1','x' ),
//   ( '2','y' );
// A row whose number of values differs from its statement's first row
// starts a new statement, so that it fails alone when loaded. With
// transaction the statements stand between BEGIN; and COMMIT; (ROLLBACK;
// when the run did not succeed). Every call returns 0 or the errno of a
// failed write.
class StatementWriter {
public:
    // fieldCount: the number of field names, 0 when unknown.
    StatementWriter(const RowScanner& scanner, const ConversionOptions& options, std::size_t fieldCount,
                    StatementOutput& output);

    int Begin();
    // A line under the line rules, read by the scanner.
    int AddRow(std::string_view line, std::uint64_t lineNumber);
    // A record whose values are read already, one after another in memory.
    int AddValues(const std::vector<std::string_view>& values, std::uint64_t lineNumber);
    // Ends the statement still open; COMMIT; or ROLLBACK; with transaction.
    int End(bool succeeded);

    const RowCounts& counts() const { return counts_; }

private:
    // Adds a row whose values writeValues(out, count) writes at out, in at
    // most maxValuesSize bytes.
    template <typename ValuesWriter>
    int Add(std::size_t maxValuesSize, const ValuesWriter& writeValues, std::uint64_t lineNumber);
    template <typename ValuesWriter>
    int AddToBatch(std::size_t maxValuesSize, const ValuesWriter& writeValues, std::size_t& count);
    int WriteStatement(std::string_view text);
    // Counts a row of values values, and whether they match the field names.
    void CountRow(std::size_t values, std::uint64_t lineNumber);

    const RowScanner& scanner_;
    ConversionOptions options_;
    std::size_t fieldCount_;
    StatementOutput& output_;
    std::string continuation_;           // ",", the line end and "( ": the next row of a statement
    std::string closeAndHead_;           // ";", the line end and the head: a new statement after an open one
    std::string tail_;                   // " );" and the line end: the end of a one-row statement
    std::uint32_t rowsInStatement_ = 0;  // 0: no statement open
    std::size_t statementValues_ = 0;    // values of the open statement's first row
    RowCounts counts_;
};

}  // namespace rowsmith
