#pragma once

// The forms in which a database writes a value of a type back as text.
// A column gets a type other than text only when each of its values is
// already written that way, so loading it and reading it back gives the
// same bytes: 1.50 into NUMERIC(3,2) comes back 1.50, but 01.5 would come
// back 1.5, and 2023-02-29 is no date at all.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "convert/options/dialect.h"

namespace rowsmith {

// The types a column's values may have, as bits of a set.
enum ValueKind : std::uint8_t {
    kIntegerKind = 1,    // -?(0|[1-9][0-9]*) within 64 bits
    kDecimalKind = 2,    // -?(0|[1-9][0-9]*)\.[0-9]+, never -0.00
    kDateKind = 4,       // YYYY-MM-DD, a day of the calendar from 0001 on
    kTimestampKind = 8,  // YYYY-MM-DD HH:MM:SS
};

// The kinds a dialect's tables can hold losslessly: SQLite has no decimal
// or date types (its NUMERIC turns 1.50 into 1.5); the standard dialect,
// for any database, adds only DATE, which all of them write back as read.
std::uint8_t KindsOf(Dialect dialect);

bool IsCanonicalInteger(std::string_view value);

// A decimal as databases write one back, with its digits before the point
// (none for 0.5) and after it.
struct DecimalShape {
    std::size_t whole = 0;
    std::size_t scale = 0;
};
// point: the byte that separates the decimals, '.' or with --decimal-comma ','.
bool IsCanonicalDecimal(std::string_view value, DecimalShape& shape, char point = '.');
// The most digits, and digits after the point, a dialect's decimal type holds.
std::size_t MaxDecimalDigits(Dialect dialect);
std::size_t MaxDecimalScale(Dialect dialect);

bool IsCalendarDate(std::string_view value);
bool IsTimestamp(std::string_view value);

// Why value, in a column that could still have been of kinds, leaves it
// text: "01234 would read back as 1234", "2023-02-29 is no day of the
// calendar", or "n/a is not an integer or a date". scale: the decimals of
// the column's values so far (0: none yet); point: what separates them.
std::string WhyText(std::string_view value, std::uint8_t kinds, std::size_t scale, Dialect dialect, char point = '.');

}  // namespace rowsmith
