#pragma once

// What the bytes of a text say of how its fields are marked, before any
// reading of it: the quote, spaces after delimiters, colons within values.

#include <cstddef>
#include <string_view>

namespace rowsmith {

// Whether the byte at at could end or begin a field: a line's end or start
// (past the text too), or a delimiter looked for.
bool AtFieldEdge(std::string_view text, std::size_t at);

// The quote the text uses: the double quote, unless no field opens and
// closes with one and some open and close with an apostrophe.
char ChooseQuote(std::string_view text);

// Whether the fields after each delimiter begin with a space, a quote
// after it now and then ("a, "b, c""): spaces that are not data.
bool SpacesAfterDelimiters(std::string_view text, char delimiter, char quote);

// Whether ':' splits values rather than fields: times (12:30) and
// addresses (https://) hold it between characters of one value.
bool ColonWithinValues(std::string_view text);

}  // namespace rowsmith
