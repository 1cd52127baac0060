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

// The lines a text-mode read of a file's bytes gives: a byte-order mark at
// the start is skipped, the first 0x1A ends the text, CR LF becomes LF; the
// last line may lack its LF.
std::vector<std::string> TextLines(std::string_view bytes);

}  // namespace rowsmith::reference
