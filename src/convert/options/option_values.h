#pragma once

// How the option table reads an option's text into its value and writes
// the value back: switches, numbers, sizes, marks, lines of text.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace rowsmith {

// A switch is on for "1" and off for "0" or nothing.
bool SetSwitch(bool& flag, std::string_view value);
std::string SwitchText(bool on);

// A whole number from low to high, digits only.
bool SetNumber(std::uint32_t& number, std::string_view value, std::uint32_t low, std::uint32_t high);
// The same, or unset for nothing; and its text, nothing for unset.
bool SetOptionalNumber(std::uint32_t& number, std::string_view value, std::uint32_t low, std::uint32_t high,
                       std::uint32_t unset);
std::string OptionalNumberText(std::uint32_t number, std::uint32_t unset);

// A number of bytes: digits, and K, M or G for so many KiB, MiB or GiB.
bool SetBytes(std::uint64_t& number, std::string_view value, std::uint64_t low);

// A value of an option given more than once: db.ini keeps each on a line
// of its own, whose trailing blanks go, so it must be something such a
// line keeps whole.
bool KeptOnALine(std::string_view value);
// Such values as an option's text: one a line.
std::string OneALine(const std::vector<std::string>& values);

// A byte that quotes or escapes: one byte that no line of text keeps at
// its end or splits a line with, or none ("none"; "" for the default).
bool SetMark(char& mark, std::string_view value, char byDefault, bool noneAllowed);

}  // namespace rowsmith
