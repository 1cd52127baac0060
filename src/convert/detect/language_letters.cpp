#include "convert/detect/language_letters.h"

#include <algorithm>
#include <array>
#include <map>
#include <string_view>

namespace rowsmith {

namespace {

// The letters past ASCII each language of Latin script writes, small ones:
// those the character sets looked at are made for, and their neighbours.
constexpr std::array<std::u32string_view, 26> kAlphabets = {{
    U"àâæçéèêëîïôœùûüÿ",   // French
    U"áéíñóúü",            // Spanish
    U"áâãàçéêíóôõú",       // Portuguese
    U"àèéìíîòóùú",         // Italian
    U"àçèéíïòóúü",         // Catalan
    U"äöüß",               // German
    U"éëïöüáèà",           // Dutch
    U"æøåéóôà",            // Danish and Norwegian
    U"åäöé",               // Swedish and Finnish
    U"áéíóúýþæöð",         // Icelandic
    U"ëç",                 // Albanian
    U"áčďéěíňóřšťúůýž",    // Czech
    U"áäčďéíĺľňóôŕšťúýž",  // Slovak
    U"ąćęłńóśźż",          // Polish
    U"áéíóöőúüű",          // Hungarian
    U"čćđšž",              // Croatian, Bosnian, Serbian, Slovene
    U"ăâîșțşţ",            // Romanian (comma and cedilla forms)
    U"çğıöşü\u0130",       // Turkish
    U"ąčęėįšųūž",          // Lithuanian
    U"āčēģīķļņšūž",        // Latvian
    U"äöõüšž",             // Estonian
    U"âêîôûŵŷ",            // Welsh
    U"áéíóú",              // Irish
    U"àèìòù",              // Scottish Gaelic
    U"ĉĝĥĵŝŭ",             // Esperanto
    U"ċġħż",               // Maltese
}};

// Letters that no word of the languages that write them starts with.
constexpr std::u32string_view kNeverFirst = U"ğąęńěůų";

// A Latin letter's small form; 0 for what is not a Latin letter past ASCII.
char32_t SmallLatin(char32_t c) {
    if (c == 0xD7 || c == 0xF7) return 0;
    if (c >= 0xC0 && c <= 0xDE) return c + 0x20;
    if (c >= 0xDF && c <= 0xFF) return c;
    if (c == 0x130) return c;  // İ: Turkish's capital of i, a letter of its own
    if (c == 0x178) return 0xFF;
    // Latin Extended-A pairs capitals with small letters, the capital first:
    // at even places, but for Ĺ to ň and Ź to ž, at odd ones.
    const bool oddPairs = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    if (c >= 0x100 && c <= 0x17F) return (c % 2 == (oddPairs ? 1U : 0U)) ? c + 1 : c;
    if (c >= 0x218 && c <= 0x21B) return c | 1U;  // Ș ș Ț ț
    return 0;
}

}  // namespace

LetterFit FitLanguages(const std::vector<char32_t>& text) {
    std::map<char32_t, std::size_t> counts;
    LetterFit fit;
    char32_t before = ' ';
    for (const char32_t c : text) {
        const char32_t small = SmallLatin(c);
        const bool wordStart = before < 0x80 && !((before | 0x20U) >= 'a' && (before | 0x20U) <= 'z');
        before = c;
        if (small < 0x80) continue;  // not a letter past ASCII (0 included)
        ++counts[small];
        ++fit.letters;
        if (wordStart && kNeverFirst.find(small) != std::u32string_view::npos) ++fit.badStarts;
    }
    if (counts.empty()) return fit;
    // How many of the text's letters the likeliest language writes, and pair.
    for (std::size_t i = 0; i < kAlphabets.size(); ++i) {
        for (std::size_t j = i; j < kAlphabets.size(); ++j) {
            std::size_t both = 0;
            for (const auto& [letter, count] : counts) {
                const bool written = kAlphabets[i].find(letter) != std::u32string_view::npos ||
                                     kAlphabets[j].find(letter) != std::u32string_view::npos;
                both += written ? count : 0;
            }
            fit.two = std::max(fit.two, both);
            if (i == j) fit.one = std::max(fit.one, both);
        }
    }
    return fit;
}

}  // namespace rowsmith
