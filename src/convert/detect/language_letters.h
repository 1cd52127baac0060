#pragma once

// Which languages' letters a text's accented Latin letters are: text in
// one character set read as another turns its letters into ones no
// language writes together (é beside č and ī), while the right reading
// gives the letters of one language, or of two (names from two countries
// in one list).

#include <cstddef>
#include <vector>

namespace rowsmith {

struct LetterFit {
    std::size_t letters = 0;    // Latin letters past ASCII in the text
    std::size_t one = 0;        // those the language that writes most of them writes
    std::size_t two = 0;        // those the pair of languages that writes most of them writes
    std::size_t badStarts = 0;  // words that start with a letter no language starts one with
};

LetterFit FitLanguages(const std::vector<char32_t>& text);

}  // namespace rowsmith
