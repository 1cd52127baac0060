#pragma once

// The conversion rules written out the plainest way, one byte at a time, so
// tests can check the engine against something that shares no code with it.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rowsmith::reference {

// The values a line gives, before any quoting.
std::vector<std::string> Values(std::string_view line);

// value as an SQL string literal: single quotes around, inner ones doubled.
std::string Literal(std::string_view value);

// What stands between "VALUES ( " and " );" for a line.
std::string ValueList(std::string_view line);

// A list of SQL values ('text',NULL,...) read back as a database reads it:
// in a literal '' is one quote and, with backslashEscapes (MySQL and MariaDB
// by default), a backslash starts an escape (\0 NUL, \n LF, \t tab, \Z
// 0x1A, \b, \r; \% and \_ keep their backslash; any other byte stands for
// itself). NULL gives nothing. Nothing at all when text is not such a list.
std::optional<std::vector<std::optional<std::string>>> ReadValueList(std::string_view text, bool backslashEscapes);

// What Python's csv.reader (strict=False, on a file opened with newline='')
// reads from bytes, with delimiter: the file is cut into lines after LF,
// CR LF or a lone CR, and each line goes through the reader's state machine
// followed by an end-of-line mark. As the standard CSV option reads it: a
// UTF-8 byte-order mark at the start is skipped, empty records are left
// out, and a quoted field still open at the end is an error (unclosed).
struct CsvReading {
    std::vector<std::vector<std::string>> records;
    bool unclosed = false;
};
CsvReading CsvRecords(std::string_view bytes, char delimiter = ',');

// The lines a text-mode read of a file's bytes gives: a byte-order mark at
// the start is skipped, the first 0x1A ends the text, CR LF becomes LF; the
// last line may lack its LF.
std::vector<std::string> TextLines(std::string_view bytes);

}  // namespace rowsmith::reference
