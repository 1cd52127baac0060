#pragma once

// The character set of text that is not UTF-8, guessed from the text
// itself: each candidate set decodes the sample, and the one whose letters
// look most like words wins. Words of one script with the case of words
// (Ärger, мир, Καλημέρα, ひらがな, 한국어) count for a set; bytes it cannot
// decode, control characters, symbols inside words, a capital after a small
// letter count against it.

#include <string>
#include <string_view>

namespace rowsmith {

struct CharsetGuess {
    std::string name;      // as iconv names it: "windows-1251", "SHIFT_JIS", ...
    std::string runnerUp;  // the next best, empty when no other read it
    bool certain = false;  // the winner is well ahead of the runner-up
};

// sample: bytes of text that is not UTF-8 (a cut character at its end is
// no fault).
CharsetGuess GuessCharset(std::string_view sample);

}  // namespace rowsmith
