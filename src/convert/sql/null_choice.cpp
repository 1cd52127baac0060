#include "convert/sql/null_choice.h"

#include "convert/sql/sql_dialect.h"

namespace rowsmith {

bool WritesNull(const ConversionOptions& options, std::string_view value, bool quoted) {
    if (options.null == NullMode::Empty || (options.null == NullMode::UnquotedEmpty && !quoted)) {
        if (WrittenEmpty(RulesOf(options.dialect), value)) return true;
    }
    if (quoted) return false;
    for (const std::string& token : options.nullTokens) {
        if (token == value) return true;
    }
    return false;
}

}  // namespace rowsmith
