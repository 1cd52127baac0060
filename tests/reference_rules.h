#pragma once

// The rules as the README states them, read the plainest way, so that tests
// can check the engine against something that shares neither code nor
// shape with it.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rowsmith::reference {

using Value = std::optional<std::string>;  // nothing for NULL
using Row = std::vector<Value>;

// The values a line gives, before any quoting, as the README says: trailing
// white space goes, but for the delimiter; a field that starts with a double quote runs to the
// first double quote followed by the delimiter (that quote dropped), or to
// the end of the line, losing its last byte; any other field runs to the
// next delimiter.
// quoted, where given, says of each value whether its field starts with a
// double quote.
std::vector<std::string> Values(std::string_view line, char delimiter = ',', std::vector<bool>* quoted = nullptr);

// value as a standard SQL string literal: single quotes around, inner ones doubled.
std::string Literal(std::string_view value);

// What stands between "VALUES ( " and " );" for a line under the plain form.
std::string ValueList(std::string_view line);

// A list of SQL values ('text',NULL,...) read back as a database reads it:
// in a literal '' is one quote and, with backslashEscapes (MySQL and MariaDB
// by default), a backslash starts an escape (\0 NUL, \n LF, \t tab, \Z
// 0x1A, \b, \r; \% and \_ keep their backslash; any other byte stands for
// itself). Nothing at all when text is not such a list.
std::optional<Row> ReadValueList(std::string_view text, bool backslashEscapes);

// The rows of a file of statements for table t without a column list, as
// a database would run them: BEGIN;, COMMIT; and ROLLBACK; lines, the
// session's settings (SET ...; and psql's \set), INSERT
// statements of one row or of many, a row a line, and COPY t FROM stdin;
// blocks. Nothing when the text is not such a file.
// committedOnly: only the rows a database keeps, the ones of a transaction
// rolled back, or still open at the end, left out.
std::optional<std::vector<Row>> ReadStatements(std::string_view text, bool backslashEscapes,
                                               bool committedOnly = false);

// What Python's csv.reader (strict=False, on a file opened with newline='')
// reads from bytes, with delimiter: the file is cut into lines after LF,
// CR LF or a lone CR, and each line goes through the reader's state machine
// followed by an end-of-line mark. As the standard CSV option reads it: a
// UTF-8 byte-order mark at the start is skipped, empty records are left
// out, and a quoted field still open at the end is an error (unclosed).
struct CsvReading {
    std::vector<std::vector<std::string>> records;
    std::vector<std::vector<bool>> quoted;  // of each value, whether its field starts with a quote
    bool unclosed = false;
};
CsvReading CsvRecords(std::string_view bytes, char delimiter = ',');

// The same with the reader's other settings, as Python's csv module takes
// them: quote ('\0': QUOTE_NONE, quotes are data), escape (escapechar;
// '\0' for none) and skipInitialSpace. One departure: an escape that is
// the input's last byte is kept as itself (Python makes it an LF).
struct CsvDialect {
    char delimiter = ',';
    char quote = '"';
    char escape = '\0';
    bool skipInitialSpace = false;
};
CsvReading CsvRecords(std::string_view bytes, const CsvDialect& dialect);

// What a database's text export holds (PostgreSQL's COPY text format, MySQL's
// INTO OUTFILE): a record a line, ended by an LF no backslash escapes;
// fields split at each delimiter no backslash escapes; \t \n \r \b \f \v
// \0 \Z are the bytes they name and a backslash before any other byte is
// that byte; a backslash that ends the input is itself; a field written \N
// is NULL (the value "\N", quoted false; every other value is quoted true);
// a line written \. ends the data.
CsvReading TextExportRecords(std::string_view bytes, char delimiter);

// bytes after their first lines, each ended by an LF, CR LF or (with
// crEnds) a lone CR.
std::string_view AfterLines(std::string_view bytes, std::size_t lines, bool crEnds);

// The lines a text-mode read of a file's bytes gives: a byte-order mark at
// the start is skipped, the first 0x1A ends the text, CR LF becomes LF; the
// last line may lack its LF.
std::vector<std::string> TextLines(std::string_view bytes);

// The words a POSIX shell makes of a line of plain words and '...' or
// "..." quoted ones (no escapes, no expansions): an options line.
std::vector<std::string> ShellWords(std::string_view line);

}  // namespace rowsmith::reference
