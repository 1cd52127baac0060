#pragma once

// The conversion rules written out the plainest way, one byte at a time, so
// tests can check the engine against something that shares no code with it.

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

// The lines a text-mode read of a file's bytes gives: a byte-order mark at
// the start is skipped, the first 0x1A ends the text, CR LF becomes LF; the
// last line may lack its LF.
std::vector<std::string> TextLines(std::string_view bytes);

}  // namespace rowsmith::reference
