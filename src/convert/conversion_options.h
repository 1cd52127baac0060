#pragma once

// What a run may do beyond the plain form: one record that the window and
// rowsmith-convert share. Its defaults give the plain form, byte for byte.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "convert/sql_dialect.h"

namespace rowsmith {

inline constexpr std::uint32_t kMaxRowsPerInsert = 100000;

struct ConversionOptions {
    // How values are written.
    Dialect dialect = Dialect::Standard;
    bool emptyAsNull = false;         // an empty value is NULL, not ''
    std::uint32_t rowsPerInsert = 1;  // rows in one INSERT, 1 to kMaxRowsPerInsert
    bool transaction = false;         // BEGIN; before a run, COMMIT; after one that succeeded
    // How the input is read.
    bool header = false;   // the first record names the fields and is not converted
    bool rfc4180 = false;  // standard CSV quoting (convert/csv_reader.h) instead of the line rules
    char delimiter = ',';  // what separates fields, in both rule sets
    std::string encoding;  // the input's character set, decoded into UTF-8; empty: bytes as they are

    bool operator==(const ConversionOptions&) const = default;
};

// The delimiter a name stands for: one byte, or "tab" or "space". Quotes,
// the backslash, CR, LF and NUL cannot separate fields.
std::optional<char> DelimiterFromName(std::string_view name);
// The name a delimiter is written by where it must survive as text: "tab"
// and "space" for those, the byte itself for the others.
std::string DelimiterName(char delimiter);

// How many names a field list holds: commas separate them, except inside
// parentheses, brackets and quotes ('', "", ``). A list of nothing but
// white space holds none.
std::size_t CountFieldNames(std::string_view fieldNames);

}  // namespace rowsmith
