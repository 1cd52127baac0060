#include "convert/sql/null_choice.h"

#include "convert/sql/sql_dialect.h"

namespace rowsmith {

NullChoice::NullChoice(const ConversionOptions& options)
    : everyEmpty_(options.null == NullMode::Empty),
      unquotedEmpty_(options.null == NullMode::UnquotedEmpty),
      dropsNul_(DropsNul(RulesOf(options.dialect))),
      tokens_(options.nullTokens) {
    // A text export writes NULL as \N, and its reader hands that out as
    // the one value not taken for text.
    if (options.textExport) tokens_.emplace_back("\\N");
}

bool NullChoice::Null(std::string_view value, bool quoted) const {
    // Empty: no bytes, or none but NUL bytes the dialect drops.
    const bool empty = value.find_first_not_of('\0') == std::string_view::npos && (value.empty() || dropsNul_);
    if (empty && (everyEmpty_ || (unquotedEmpty_ && !quoted))) return true;
    if (quoted) return false;
    for (const std::string& token : tokens_) {
        if (token == value) return true;
    }
    return false;
}

bool WritesNull(const ConversionOptions& options, std::string_view value, bool quoted) {
    return NullChoice(options).Null(value, quoted);
}

}  // namespace rowsmith
