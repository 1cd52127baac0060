#pragma once

#include <string>
#include <string_view>

namespace rowsmith {

// Files hold text in "text mode": a line feed in memory is CR LF on disk.
inline constexpr std::string_view kDiskLineEnd = "\r\n";

// The on-disk form of text: every LF becomes CR LF, every other byte
// (a lone CR included) stays as it is.
std::string ToDiskText(std::string_view text);

// True for the bytes trimmed as white space: tab, LF, VT, FF, CR and space.
constexpr bool IsTrimmedSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// text without its trailing white space.
constexpr std::string_view TrimTrailingSpace(std::string_view text) {
    std::size_t n = text.size();
    while (n > 0 && IsTrimmedSpace(text[n - 1])) --n;
    return text.substr(0, n);
}

// text without the white space around it.
// Whether bytes are UTF-8: no stray or missing continuation bytes, no
// overlong forms, no surrogates, nothing past U+10FFFF; a character cut
// off at the end counts when cut is true.
bool IsUtf8(std::string_view bytes, bool cut = false);

constexpr std::string_view TrimSpace(std::string_view text) {
    text = TrimTrailingSpace(text);
    while (!text.empty() && IsTrimmedSpace(text.front())) text.remove_prefix(1);
    return text;
}

}  // namespace rowsmith
