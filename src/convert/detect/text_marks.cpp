#include "convert/detect/text_marks.h"

#include <algorithm>

namespace rowsmith {

// Whether a byte could end or begin a field: a line's end or start, or a
// delimiter looked for.
bool AtFieldEdge(std::string_view text, std::size_t at) {
    if (at >= text.size()) return true;
    const char c = text[at];
    return c == '\r' || c == '\n' || c == ',' || c == ';' || c == '\t' || c == '|';
}

// The quote the text uses: the double quote, unless no field opens and
// closes with one and some open and close with an apostrophe.
char ChooseQuote(std::string_view text) {
    const auto fieldsQuotedBy = [text](char quote) {
        std::size_t opened = 0;
        std::size_t closed = 0;
        for (std::size_t i = text.find(quote); i != std::string_view::npos; i = text.find(quote, i + 1)) {
            opened += i == 0 || AtFieldEdge(text, i - 1) ? 1U : 0U;
            closed += AtFieldEdge(text, i + 1) ? 1U : 0U;
        }
        return std::min(opened, closed);
    };
    return fieldsQuotedBy('"') == 0 && fieldsQuotedBy('\'') > 0 ? '\'' : '"';
}

// Whether the fields after each delimiter begin with a space, a quote
// after it now and then ("a, "b, c""): spaces that are not data.
bool SpacesAfterDelimiters(std::string_view text, char delimiter, char quote) {
    std::size_t delimiters = 0;
    std::size_t spaced = 0;
    std::size_t quotedAfter = 0;
    for (std::size_t i = text.find(delimiter); i != std::string_view::npos; i = text.find(delimiter, i + 1)) {
        ++delimiters;
        if (i + 1 < text.size() && text[i + 1] == ' ') {
            ++spaced;
            std::size_t after = i + 1;
            while (after < text.size() && text[after] == ' ') ++after;
            quotedAfter += after < text.size() && text[after] == quote ? 1U : 0U;
        }
    }
    return quotedAfter > 0 && spaced * 10 >= delimiters * 9;
}

// Whether ':' splits values rather than fields: times (12:30) and
// addresses (https://) hold it between characters of one value.
bool ColonWithinValues(std::string_view text) {
    std::size_t colons = 0;
    std::size_t within = 0;
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    for (std::size_t i = text.find(':'); i != std::string_view::npos; i = text.find(':', i + 1)) {
        ++colons;
        const bool time = i > 0 && i + 1 < text.size() && digit(text[i - 1]) && digit(text[i + 1]);
        within += time || text.substr(i, 3) == "://" ? 1U : 0U;
    }
    return within * 2 > colons;
}

}  // namespace rowsmith
