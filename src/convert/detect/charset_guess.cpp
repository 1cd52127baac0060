#include "convert/detect/charset_guess.h"

#include "convert/detect/language_letters.h"

#include <iconv.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <string_view>
#include <vector>

namespace rowsmith {

namespace {

// The sets looked at, the likelier first: of two that score alike, the
// earlier wins.
constexpr std::array<const char*, 17> kCandidates = {
    "windows-1252", "ISO-8859-1",   "windows-1250", "ISO-8859-2",   "windows-1251", "KOI8-R",
    "ISO-8859-5",   "windows-1253", "ISO-8859-7",   "windows-1254", "windows-1257", "MACINTOSH",
    "SHIFT_JIS",    "GB18030",      "EUC-JP",       "BIG5",         "EUC-KR",
};

// What a reading's accented letters count as a whole (language_letters.h):
// letters of one language each 2 more, of a second 1 more, of none 3 less;
// a word that starts with a letter no word starts with, 4 less.
constexpr long kOneLanguage = 2;
constexpr long kTwoLanguages = 1;
constexpr long kNoLanguage = 3;
constexpr long kBadStart = 4;

enum class Script { Latin, Cyrillic, Greek, Kana, Han, Hangul, Other };

struct CodePoint {
    char32_t c;
    bool ascii;
};

// The text decoded into code points (UTF-32); false at the first sequence
// the set does not have, where it is not the sample's cut end.
bool Decode(std::string_view bytes, const char* charset, std::vector<char32_t>& out) {
    iconv_t cd = iconv_open("UTF-32LE", charset);
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;  // NOLINT(performance-no-int-to-ptr): iconv's own sentinel
    std::vector<char> buffer(bytes.size() * 4 + 16);
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    char* to = buffer.data();
    std::size_t toLeft = buffer.size();
    const std::size_t done = iconv(cd, &in, &inLeft, &to, &toLeft);
    const int error = done == static_cast<std::size_t>(-1) ? errno : 0;
    iconv_close(cd);
    if (error != 0 && !(error == EINVAL && inLeft < 4)) return false;
    const std::size_t units = (buffer.size() - toLeft) / 4;
    out.resize(units);
    for (std::size_t i = 0; i < units; ++i) {
        const auto* b = reinterpret_cast<const unsigned char*>(buffer.data() + 4 * i);
        const auto byte = [b](int k) { return static_cast<std::uint32_t>(b[k]); };
        out[i] = static_cast<char32_t>(byte(0) | (byte(1) << 8U) | (byte(2) << 16U) | (byte(3) << 24U));
    }
    return true;
}

Script ScriptOf(char32_t c) {
    if ((c >= 0xC0 && c <= 0x24F && c != 0xD7 && c != 0xF7) || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))
        return Script::Latin;
    if (c >= 0x400 && c <= 0x4FF) return Script::Cyrillic;
    if (c >= 0x386 && c <= 0x3CE) return Script::Greek;
    if (c >= 0x3041 && c <= 0x30FF) return Script::Kana;
    if (c >= 0x4E00 && c <= 0x9FFF) return Script::Han;
    if (c >= 0xAC00 && c <= 0xD7A3) return Script::Hangul;
    return Script::Other;
}

// Whether c is a capital letter of the scripts that have case.
bool IsUpper(char32_t c) {
    if (c >= 'A' && c <= 'Z') return true;
    if (c >= 0xC0 && c <= 0xDE) return c != 0xD7;
    // Latin Extended-A pairs capitals with small letters, the capital first:
    // at even places, but for Ĺ to ň and Ź to ž, at odd ones.
    if (c >= 0x100 && c <= 0x137) return c % 2 == 0;
    if (c >= 0x139 && c <= 0x148) return c % 2 == 1;
    if (c >= 0x14A && c <= 0x177) return c % 2 == 0;
    if (c == 0x178) return true;
    if (c >= 0x179 && c <= 0x17E) return c % 2 == 1;
    if (c >= 0x410 && c <= 0x42F) return true;
    if (c >= 0x400 && c <= 0x40F) return true;
    return c >= 0x391 && c <= 0x3AB;
}

// How much the decoded text looks like words, by the bytes each character
// took: each non-ASCII letter counts 1, a Han character 2, kana and Hangul
// 3 (Han alone is what any double-byte set makes of another's text); þ and
// ð, rare outside Icelandic but what other sets' common letters become,
// -2; each C1 control or private character, each symbol between letters,
// each capital after a small letter within a word, each letter of one
// script after one of another, each accented Latin letter after two
// others, -4.
// What a character past ASCII counts, alone; letterBefore: it follows a letter.
long CharacterScore(char32_t c, Script script, bool letterBefore, bool countKanaAgainst) {
    if ((c >= 0x80 && c <= 0x9F) || (c >= 0xE000 && c <= 0xF8FF) || c == 0xFFFD) return -4;
    // A symbol inside a word is a letter another set reads.
    if (script == Script::Other) return letterBefore && c != 0xA0 ? -4 : 0;
    if (script == Script::Kana) return countKanaAgainst ? -3 : 3;
    if (script == Script::Hangul) return 3;
    if (script == Script::Han) return 2;
    if (c == 0xFE || c == 0xF0 || c == 0xDE || c == 0xD0) return -2;
    return 1;
}

long Score(const std::vector<char32_t>& text, bool countKanaAgainst) {
    long score = 0;
    char32_t before = ' ';
    std::size_t accented = 0;  // Latin letters past ASCII in a row
    for (const char32_t c : text) {
        const Script script = ScriptOf(c);
        const Script scriptBefore = ScriptOf(before);
        const bool letterBefore = scriptBefore != Script::Other;
        // Words of Latin letters have few accented ones together; three or
        // more in a row are another script's letters read as Latin.
        accented = script == Script::Latin && c >= 0x80 ? accented + 1 : 0;
        if (accented >= 3) score -= 4;
        if (c >= 0x80) score += CharacterScore(c, script, letterBefore, countKanaAgainst);
        const bool capitalAfterSmall = scriptBefore == script && !IsUpper(before) && IsUpper(c);
        // A letter of one script right after one of another, within a word.
        const bool scriptsMixed = script != Script::Other && scriptBefore != script && (c >= 0x80 || before >= 0x80);
        if (letterBefore && ((capitalAfterSmall && script != Script::Han) || scriptsMixed)) score -= 4;
        before = c;
    }
    // Accented letters that one language writes together, or two, against
    // those neither writes.
    const LetterFit fit = FitLanguages(text);
    const auto count = [](std::size_t n) { return static_cast<long>(n); };
    return score + kOneLanguage * count(fit.one) + kTwoLanguages * count(fit.two - fit.one) -
           kNoLanguage * count(fit.letters - fit.two) - kBadStart * count(fit.badStarts);
}

}  // namespace

CharsetGuess GuessCharset(std::string_view sample) {
    // The lines with bytes past ASCII are the evidence; at most 64 KiB of them.
    std::string evidence;
    for (std::size_t start = 0; start < sample.size() && evidence.size() < (std::size_t{64} << 10);) {
        std::size_t end = sample.find('\n', start);
        end = end == std::string_view::npos ? sample.size() : end + 1;
        const std::string_view line = sample.substr(start, end - start);
        for (const char c : line) {
            if (static_cast<unsigned char>(c) >= 0x80) {
                evidence.append(line);
                break;
            }
        }
        start = end;
    }
    struct Reading {
        long score;
        const char* charset;
        std::vector<char32_t> text;
    };
    std::vector<Reading> readings;
    for (const char* candidate : kCandidates) {
        std::vector<char32_t> text;
        if (!Decode(evidence, candidate, text)) continue;
        // Chinese text has no kana: a set of China's that finds some reads Japanese.
        const long score = Score(text, std::string_view(candidate) == "GB18030");
        readings.push_back({score, candidate, std::move(text)});
    }
    // The best first; of two alike, the likelier (the earlier).
    std::stable_sort(readings.begin(), readings.end(),
                     [](const Reading& a, const Reading& b) { return a.score > b.score; });
    CharsetGuess guess;
    if (readings.empty()) {
        guess.name = "windows-1252";
        return guess;
    }
    guess.name = readings.front().charset;
    guess.certain = true;
    // The runner-up reads the text otherwise: sets that read it alike are one answer.
    for (const Reading& other : readings) {
        if (other.text == readings.front().text) continue;
        guess.runnerUp = other.charset;
        guess.certain = readings.front().score - other.score >= 8;
        break;
    }
    return guess;
}

}  // namespace rowsmith
