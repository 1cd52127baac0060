#pragma once

// What a run may do beyond the plain form: one record that the window and
// rowsmith-convert share. Its defaults give the plain form, byte for byte.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "convert/options/dialect.h"

namespace rowsmith {

inline constexpr std::uint32_t kMaxRowsPerInsert = 100000;

// What a NUL byte in a value does where the dialect cannot write one.
enum class NulChoice {
    Refuse,  // the run stops at the line that holds it
    Strip,   // the byte is dropped, and counted
};

// Which values are written as NULL, besides those --null-token names.
enum class NullMode {
    None,           // none: an empty value is ''
    Empty,          // every empty value
    UnquotedEmpty,  // an empty value not written in quotes; "" stays ''
};

// The bounds of --max-statement-bytes, and what a statement of many rows
// keeps under when nothing else is said: the buffer size of dump tools,
// below the 16 MiB a MariaDB server takes by default.
inline constexpr std::uint32_t kMinStatementBytes = 1024;
inline constexpr std::uint32_t kMaxStatementBytes = std::uint32_t{1} << 30;
inline constexpr std::uint32_t kDefaultStatementBytes = std::uint32_t{1} << 20;
// The smallest --split-bytes: room for a part's own lines and a statement.
inline constexpr std::uint64_t kMinSplitBytes = 4096;
// The rows of one COPY block when --rows-per-insert is left at 1: enough
// that the blocks' own lines cost nothing, few enough that a block that
// fails to load is found quickly.
inline constexpr std::uint32_t kDefaultCopyRows = 10000;

// --max-rejects left out: any number of records may be set aside.
inline constexpr std::uint32_t kNoRejectLimit = 0xFFFFFFFF;

// What a row whose key the table holds already does (--on-conflict).
enum class OnConflict {
    None,    // the statement fails, as a plain INSERT does
    Ignore,  // the row in the table stays
    Update,  // the new row's other values go into it
};

// The most threads a run converts on.
inline constexpr std::uint32_t kMostJobs = 256;

struct ConversionOptions {
    // How values are written.
    Dialect dialect = Dialect::Standard;
    NullMode null = NullMode::None;   // which empty values are NULL
    std::uint32_t rowsPerInsert = 1;  // rows in one INSERT, 1 to kMaxRowsPerInsert
    bool transaction = false;         // BEGIN; before a run, COMMIT; after one that succeeded
    // How the input is read.
    bool header = false;   // the first record names the fields and is not converted
    bool rfc4180 = false;  // standard CSV quoting (convert/csv_reader.h) instead of the line rules
    char delimiter = ',';  // what separates fields, in both rule sets
    std::string encoding;  // the input's character set, decoded into UTF-8; empty: bytes as they are
    // How values are written, again.
    NulChoice nul = NulChoice::Refuse;
    std::uint32_t maxStatementBytes = 0;  // 0: kDefaultStatementBytes when rowsPerInsert > 1, else none
    // Values written without quotes that are NULL when equal to one of
    // these, byte for byte ("\\N", "NULL"); in quotes they stay text.
    std::vector<std::string> nullTokens;
    // CREATE TABLE IF NOT EXISTS before the statements, with types that keep
    // every value (convert/column_types.h); columnTypes: NAME=TYPE, each
    // column's type as the user writes it.
    bool createTable = false;
    std::vector<std::string> columnTypes;
    // Which input columns become values, in which order, and their names
    // (convert/column_choice.h); empty: every column, as it comes.
    std::string columns;
    // PostgreSQL's COPY ... FROM stdin blocks, rows in its text format,
    // instead of INSERT statements (only with Dialect::Postgresql).
    bool copy = false;
    // Rows whose key (key: its field names) the table holds already.
    OnConflict onConflict = OnConflict::None;
    std::string key;
    // How the input is read, further: lines before the records that are
    // none (titles, notes); with --rfc4180, the byte that quotes a field
    // ('\0': none, quotes are data), the byte that makes the next one data
    // ('\0': none, a quote inside quotes is doubled), and whether spaces
    // after a delimiter are data; or a database's text export instead
    // (read/text_export_reader.h).
    std::uint32_t skipLines = 0;
    char quote = '"';
    char escape = '\0';
    bool skipSpaces = false;
    bool textExport = false;
    // Records that cannot become a statement that loads (another number of
    // values than the fields, a NUL the dialect cannot write, a statement
    // over the limit alone, a chosen column missing) go to this file
    // (convert/run/rejects.h) instead of the statements; empty: they are
    // written or stop the run as always. More than maxRejects of them stop
    // the run.
    std::string rejects;
    std::uint32_t maxRejects = kNoRejectLimit;
    // With createTable: decimals written with a comma (3,49) are decimals,
    // and a column of them gets a decimal type, its values written 3.49.
    bool decimalComma = false;
    // The output as numbered parts, each a whole script of its own, of at
    // most splitRows rows and splitBytes bytes (convert/run/output_parts.h);
    // 0: no such limit. Neither: one output, appended to.
    std::uint32_t splitRows = 0;
    std::uint64_t splitBytes = 0;
    // With header: the records the header takes, their names over one
    // another joined into one per column (read/records.h), as spreadsheets
    // write a title over the columns it spans. lastLine: records starting
    // past this line of an input are not read (a second table, notes below
    // the records); 0: to the end.
    std::uint32_t headerLines = 1;
    std::uint32_t lastLine = 0;
    // The threads a run converts on (--jobs); 0: one for each core the
    // process may run on.
    std::uint32_t jobs = 0;

    bool splits() const { return splitRows != 0 || splitBytes != 0; }
    bool operator==(const ConversionOptions&) const = default;
};

// The rows of one statement (or COPY block) at most.
constexpr std::uint32_t RowsPerStatement(const ConversionOptions& options) {
    return options.copy && options.rowsPerInsert == 1 ? kDefaultCopyRows : options.rowsPerInsert;
}

// The bytes a statement of many rows keeps under; 0 for no limit. A COPY
// block has none: psql sends its rows a line at a time.
constexpr std::uint32_t StatementLimit(const ConversionOptions& options) {
    if (options.copy) return 0;
    if (options.maxStatementBytes != 0) return options.maxStatementBytes;
    return options.rowsPerInsert > 1 ? kDefaultStatementBytes : 0;
}

// The bytes a batch of rows ends before, where not given: PostgreSQL parses
// and plans a statement in memory that grows faster than the statement, so
// batches past this load slower, not faster (bench/sizes.sh).
inline constexpr std::uint32_t kPostgresBatchBytes = std::uint32_t{16} << 10;

// Where a statement of many rows ends: StatementLimit, or for PostgreSQL
// without --max-statement-bytes, the size its batches load fastest at.
constexpr std::uint32_t BatchLimit(const ConversionOptions& options) {
    const std::uint32_t limit = StatementLimit(options);
    if (limit == 0 || options.maxStatementBytes != 0 || options.dialect != Dialect::Postgresql) return limit;
    return limit < kPostgresBatchBytes ? limit : kPostgresBatchBytes;
}

// What is wrong with options taken together, said for a message; empty
// when nothing is.
std::string OptionsProblem(const ConversionOptions& options);

// The delimiter a name stands for: one byte, or "tab" or "space". Quotes,
// the backslash, CR, LF, NUL, and VT, FF and 0x1A (which no line of text
// keeps at its end) cannot separate fields.
std::optional<char> DelimiterFromName(std::string_view name);
// The name a delimiter is written by where it must survive as text: "tab"
// and "space" for those, the byte itself for the others.
std::string DelimiterName(char delimiter);

// How many names a field list holds: commas separate them, except inside
// parentheses, brackets and quotes ('', "", ``). A list of nothing but
// white space holds none.
std::size_t CountFieldNames(std::string_view fieldNames);
// The names themselves, without the blanks around them.
std::vector<std::string> SplitFieldNames(std::string_view fieldNames);
// A name as a list or option writes it: without the blanks around it, and
// where it stands in double quotes, backticks or brackets (as SQL quotes a
// name), plain is it without them, a doubled quote inside standing for one.
// How field lists, --columns, --type and --key all read a name.
struct WrittenName {
    std::string written;
    std::string plain;
    bool quoted = false;
};
WrittenName ReadName(std::string_view text);
// Where NAME ends and =NEW (or =TYPE) begins in an entry: the first = that
// is not inside a quoted name; npos for none.
std::size_t EqualsOf(std::string_view entry);

// Whether every quote a list opens, it closes: a stray one would take the
// rest of the list into one name.
bool QuotesClosed(std::string_view fieldNames);
// "--columns has a quote that is never closed: LIST"
std::string UnclosedQuoteText(std::string_view option, std::string_view list);

}  // namespace rowsmith
