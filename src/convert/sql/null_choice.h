#pragma once

// Which values a run writes as NULL, decided once from the options: the
// block scanner, the value path, the column types and the plain rules all
// ask the one decision. What NULL is written as is the dialect's
// (sql_dialect.h).

#include <string>
#include <string_view>
#include <vector>

#include "convert/options/conversion_options.h"

namespace rowsmith {

class NullChoice {
public:
    explicit NullChoice(const ConversionOptions& options);

    // Whether a value is written as NULL. quoted: the field was written in
    // quotes (under the line rules: it begins with a double quote).
    bool Null(std::string_view value, bool quoted) const;

    // Whether any value may be NULL at all.
    bool any() const { return everyEmpty_ || unquotedEmpty_ || !tokens_.empty(); }
    // Whether a value is compared with markers (--null-token): the block
    // scanner then asks Null of each value not written in quotes.
    bool comparesValues() const { return !tokens_.empty(); }
    // Whether every empty value is NULL, whatever its quotes, or every one
    // not written in quotes: the choices the block scanner makes itself, in
    // its masks, where there are no markers.
    bool everyEmpty() const { return everyEmpty_; }
    bool unquotedEmpty() const { return unquotedEmpty_ && tokens_.empty(); }

private:
    bool everyEmpty_;
    bool unquotedEmpty_;
    bool dropsNul_;  // a value of NUL bytes alone is written empty
    std::vector<std::string> tokens_;
};

// NullChoice(options).Null(value, quoted), for a value alone.
bool WritesNull(const ConversionOptions& options, std::string_view value, bool quoted);

}  // namespace rowsmith
