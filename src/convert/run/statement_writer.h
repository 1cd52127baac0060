#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "convert/options/conversion_options.h"
#include "convert/sql/key_forms.h"
#include "convert/sql/null_choice.h"
#include "convert/read/row_scanner.h"
#include "convert/run/output_parts.h"
#include "convert/run/rejects.h"
#include "convert/run/run_report.h"
#include "convert/run/statement_output.h"

namespace rowsmith {

// Puts a run's rows together into statements: one statement a row, or with
// rowsPerInsert up to that many rows in one INSERT, a row a line:
//   INSERT INTO t ( a, b ) VALUES ( '1','x' ),
//   ( '2','y' );
// A row whose number of values differs from its statement's first row
// starts a new statement, so that it fails alone when loaded; so does a row
// that would take the statement past the statement limit. With transaction
// the statements stand between BEGIN; and COMMIT; (ROLLBACK; when the run
// was cancelled). A row holding a NUL byte the dialect cannot write is
// refused (kNulInValue), or written without it and counted. Every call
// returns 0, kNulInValue or the code of a failed write.
// What a run's statements hold besides the scanner's head and the rows.
struct StatementForm {
    std::string copyHead;  // with --copy, the line each block starts with
    std::string conflict;  // with --on-conflict, the clause before each ";"
    // The places of the key's values among a row's: rows whose keys may
    // be equal (key_forms.h) go in separate statements.
    std::vector<std::size_t> keys;
    // With --decimal-comma, the places of the values written with a point
    // for their comma (true), as their decimal column reads them.
    std::vector<bool> commaDecimals;
};

class StatementWriter {
public:
    // fieldCount: the number of field names, 0 when unknown.
    StatementWriter(const RowScanner& scanner, const ConversionOptions& options, std::size_t fieldCount,
                    StatementOutput& output, const StatementForm& form = {});

    // Starts the run: BEGIN; with transaction, after a ROLLBACK; when the
    // output ends inside a transaction another run left unfinished; and
    // createTable (a CREATE TABLE statement, in the output's text form),
    // where not empty.
    int Begin(bool closeUnfinished = false, std::string_view createTable = {});
    // A line under the line rules, read by the scanner; original as
    // AddValues takes it. kMissingColumn, and nothing written, for a line
    // without a field the scanner chose (RowScanner::Choose).
    int AddRow(std::string_view line, std::uint64_t lineNumber, std::string_view original = {});
    const RowScanner& scanner() const { return scanner_; }
    // A record whose values are read already, each followed by
    // kLiteralPadding readable bytes; quoted says of each whether it was
    // written in quotes (none: not known), and bytes are the record's bytes
    // in the input, which hold every value. recordValues: how many values
    // the record had, when only some of them are written (0: all are).
    // original: the record as it stands in the input, for --rejects, where
    // bytes are not (a value's quotes taken away).
    int AddValues(const std::vector<std::string_view>& values, const std::vector<bool>& quoted, std::string_view bytes,
                  std::uint64_t lineNumber, std::size_t recordValues = 0, std::string_view original = {});
    // Ends the statement still open; COMMIT; or ROLLBACK; with transaction.
    int End(bool succeeded);

    // With --rejects: from now on a record that would not load (another
    // number of values than the fields, a NUL the run would refuse, a
    // statement over the limit alone) goes to rejects instead (nullptr: it
    // is only counted, as in a preview), and the calls return kTooManyRejects
    // past options.maxRejects of them, or kRejectsFailed.
    void SetAsideTo(RejectsFile* rejects) {
        settingAside_ = true;
        rejects_ = rejects;
    }
    bool settingAside() const { return settingAside_; }
    // Sets aside a record for reason (one that cannot be read into values).
    int SetAside(std::string_view bytes, std::uint64_t lineNumber, const std::string& reason);
    // The errno behind kRejectsFailed.
    int rejectsError() const { return rejectsError_; }
    void NoteRejectsError(int error) { rejectsError_ = error; }

    // From now on the statements go into parts (--split-rows, --split-bytes),
    // each a whole script: a full part is ended (its statement, COMMIT;) and
    // the next begun (the session's lines, BEGIN;) before a row that would
    // take it past a limit. Call before Begin, which puts the table in a
    // part of its own.
    void SplitInto(OutputParts* parts) {
        parts_ = parts;
        partEnd_ = options_.transaction ? "COMMIT;" + scanner_.lineEnd() : std::string();
    }
    // Where the statements go now: the part being written.
    StatementOutput& output() { return *output_; }

    // Where a run reads several inputs: the one whose records come now.
    void ReadingFrom(const std::string& inputName) { inputName_ = inputName; }

    const RowCounts& counts() const { return counts_; }
    // For a run written in parts apart (parallel_run.h): the counts so far,
    // which start again at none; and a part's counts added to these, its
    // lines numbered from 1 where lines numbers the lines before it.
    RowCounts TakeCounts() { return std::exchange(counts_, RowCounts{}); }
    void AddCounts(const RowCounts& part, std::uint64_t lines);
    // A check (--check): each row whose number of values differs, whose
    // statement passes the limit alone, or that holds a NUL the run would
    // refuse, is told to problems, and the NUL dropped.
    void ReportProblemsTo(ProblemObserver* problems) { problems_ = problems; }

private:
    // Adds a row whose values writeValues(out, count) writes at out, in at
    // most maxValuesSize bytes; bytes are the row's bytes in the input;
    // recordValues as AddValues takes it.
    template <typename ValuesWriter>
    int Add(std::string_view bytes, std::size_t maxValuesSize, const ValuesWriter& writeValues,
            std::uint64_t lineNumber, std::size_t recordValues = 0);
    // The row as a statement of its own, or in the open batch.
    template <typename ValuesWriter>
    int AddAlone(std::string_view bytes, std::size_t maxValuesSize, const ValuesWriter& writeValues, std::size_t& count,
                 std::uint64_t lineNumber, std::size_t recordValues, bool refusedNul);
    template <typename ValuesWriter>
    int AddToBatch(std::string_view bytes, std::size_t maxValuesSize, const ValuesWriter& writeValues,
                   std::size_t& count, std::uint64_t lineNumber, std::size_t recordValues, bool refusedNul);
    // Why a row of values values (nul: holding a NUL the run refuses), whose
    // statement alone is statementBytes long, would not load; empty when it
    // would, or when no row is set aside.
    std::string Unloadable(std::size_t values, bool nul, std::size_t statementBytes) const;
    int WriteStatement(std::string_view text);
    // The lines that set up a session before the statements.
    std::string SessionLines() const;
    // Whether a part of rows, added bytes more and then closing bytes (a
    // statement's end) would be past a limit of its part.
    bool PartFull(std::size_t added, std::size_t closing) const;
    // Ends the part and begins the next; SwitchPart only opens it.
    int NextPart();
    int SwitchPart();
    // Refuses or counts the NUL bytes of a row's input; 0 or kNulInValue.
    int CheckNuls(std::string_view bytes, std::uint64_t lineNumber);
    // Counts a row of values values, and whether they match the field names.
    void CountRow(std::size_t values, std::uint64_t lineNumber);
    // Counts a row written into the part being written.
    void CountPartRow(std::uint64_t lineNumber);
    // Counts a statement of one row larger than the limit.
    void CountOversized(std::size_t bytes, std::uint64_t lineNumber);
    // A check hears of a line whose last quoted field the scanner found open.
    void NoteOpenEnd(const RowMarks& marks, std::uint64_t lineNumber);

    const RowScanner& scanner_;
    ConversionOptions options_;
    std::size_t fieldCount_;
    StatementOutput* output_;
    const DialectRules& rules_;  // how a value is written
    bool dropsNul_;              // the dialect cannot write a NUL
    std::size_t limit_;          // bytes a statement of many rows keeps under; 0: none
    std::size_t batchLimit_;     // bytes a batch ends before (limit_, or less where batches load faster)
    std::uint32_t rows_;         // rows of one statement at most
    // The pieces of a statement, as an INSERT has them (a COPY block's in
    // its constructor): head_ ( values rowEnd_ continuation_ values ... ending_.
    std::string head_;                      // "INSERT INTO t ( f ) VALUES ( "
    std::string rowEnd_;                    // " )": after a row's values
    std::string continuation_;              // ",", the line end and "( ": the next row of a statement
    std::string ending_;                    // ";" and the line end: the end of a statement
    std::string closeAndHead_;              // ending_ and head_: a new statement after an open one
    std::string tail_;                      // rowEnd_ and ending_: the end of a one-row statement
    char separator_;                        // between values
    std::string_view null_;                 // a NULL value
    NullChoice nulls_;                      // which values are NULL
    std::vector<std::size_t> keys_;         // the places of the key's values
    std::vector<std::string_view> rowKey_;  // the row's key values
    bool keyed_ = false;                    // the row has a key, none of it NULL
    OpenKeys openKeys_;                     // the keys of the open statement's rows
    std::uint32_t rowsInStatement_ = 0;     // 0: no statement open
    std::size_t statementValues_ = 0;       // values of the open statement's first row
    std::size_t statementBytes_ = 0;        // bytes of the open statement so far
    RowCounts counts_;
    ProblemObserver* problems_ = nullptr;
    bool settingAside_ = false;
    RejectsFile* rejects_ = nullptr;
    int rejectsError_ = 0;
    std::string_view original_;  // the row being added as the input has it, where not its bytes
    std::vector<bool> commaDecimals_;
    std::string inputName_;  // with several inputs, the one being read
    std::string pointed_;    // a value of such a place, its comma a point
    OutputParts* parts_ = nullptr;
    std::uint64_t partRows_ = 0;   // rows in the part being written
    std::uint64_t partBytes_ = 0;  // bytes in it
    std::string partEnd_;          // what ends a part: COMMIT; with a transaction
    // A check without field names holds each row's number of values against
    // the one most rows have, known at the end: the rows of each number
    // (at most kTallied numbers), and the lines of the first kLinesKept.
    static constexpr std::size_t kTallied = 1000;
    static constexpr std::size_t kLinesKept = 100;
    struct Tally {
        std::uint64_t rows = 0;
        std::vector<std::uint64_t> lines;
    };
    std::map<std::size_t, Tally> valueCounts_;
    // Tells problems_ of the rows whose number of values is not the usual one.
    void ReportUnusualCounts();
};

}  // namespace rowsmith
