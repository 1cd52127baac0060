#include "convert/sql/value_forms.h"

#include <algorithm>
#include <vector>

namespace rowsmith {

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool AllDigits(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), IsDigit);
}

// The number the digits at text[at], text[at + 1] (or more) stand for.
int Number(std::string_view text, std::size_t at, std::size_t digits) {
    int number = 0;
    for (std::size_t i = at; i < at + digits; ++i) number = number * 10 + (text[i] - '0');
    return number;
}

// Whether text is NNNN-NN-NN: the shape of a date, whatever its numbers.
bool DateShaped(std::string_view text) {
    return text.size() >= 10 && text[4] == '-' && text[7] == '-' && AllDigits(text.substr(0, 4)) &&
           AllDigits(text.substr(5, 2)) && AllDigits(text.substr(8, 2));
}

// The digits without the zeros before them, "0" for none left.
std::string_view WithoutLeadingZeros(std::string_view digits) {
    const std::size_t first = digits.find_first_not_of('0');
    return first == std::string_view::npos ? std::string_view("0") : digits.substr(first);
}

// A value as a message shows it: its first 40 bytes, up to a control byte,
// never cut inside a character.
std::string Shown(std::string_view value) {
    if (value.empty()) return "an empty value";
    std::size_t cut = std::min<std::size_t>(value.size(), 40);
    for (std::size_t i = 0; i < cut; ++i) {
        if (static_cast<unsigned char>(value[i]) < 0x20 || value[i] == 0x7F) cut = i;
    }
    while (cut > 0 && cut < value.size() && (static_cast<unsigned char>(value[cut]) & 0xC0) == 0x80) --cut;
    return std::string(value.substr(0, cut)) + (cut < value.size() ? "..." : "");
}

// "an integer, a decimal or a date": the kinds a value is not.
std::string KindNames(std::uint8_t kinds) {
    struct Named {
        ValueKind kind;
        const char* name;
    };
    constexpr Named kNames[] = {{kIntegerKind, "an integer"},
                                {kDecimalKind, "a decimal"},
                                {kDateKind, "a date"},
                                {kTimestampKind, "a date and time"}};
    std::vector<const char*> names;
    for (const Named& named : kNames) {
        if ((kinds & named.kind) != 0) names.push_back(named.name);
    }
    std::string text;
    for (std::size_t i = 0; i < names.size(); ++i) {
        text += i == 0 ? "" : i + 1 == names.size() ? " or " : ", ";
        text += names[i];
    }
    return text;
}

// What the database would make of value as an integer or decimal written
// another way (+5, 007, -0, 00.5, -0.00): the text it reads back, or
// nothing when value is no such number.
std::string ReadBackNumber(std::string_view value, bool decimal) {
    std::string_view digits = value;
    bool negative = false;
    if (!digits.empty() && (digits[0] == '+' || digits[0] == '-')) {
        negative = digits[0] == '-';
        digits.remove_prefix(1);
    }
    const std::size_t point = digits.find('.');
    const std::string_view whole = digits.substr(0, point);
    const std::string_view fraction = point == std::string_view::npos ? std::string_view() : digits.substr(point + 1);
    if (point != std::string_view::npos && !decimal) return {};
    if (!(whole.empty() || AllDigits(whole)) || !(fraction.empty() || AllDigits(fraction))) return {};
    if (whole.empty() && fraction.empty()) return {};
    std::string text = std::string(WithoutLeadingZeros(whole));
    if (point != std::string_view::npos) text.append(".").append(fraction.empty() ? "0" : fraction);
    // No negative zero: -0 and -0.00 come back without their sign.
    const bool zero = text.find_first_not_of("0.") == std::string::npos;
    return (negative && !zero ? "-" : "") + text;
}

}  // namespace

std::uint8_t KindsOf(Dialect dialect) {
    switch (dialect) {
        case Dialect::Sqlite:
            return kIntegerKind;
        case Dialect::Standard:
            return kIntegerKind | kDateKind;
        case Dialect::Postgresql:
        case Dialect::MySql:
            break;
    }
    return kIntegerKind | kDecimalKind | kDateKind | kTimestampKind;
}

bool IsCanonicalInteger(std::string_view value) {
    const bool negative = !value.empty() && value[0] == '-';
    const std::string_view digits = value.substr(negative ? 1 : 0);
    if (digits.empty() || digits.size() > 19) return false;
    for (const char c : digits) {
        if (!IsDigit(c)) return false;
    }
    // 0 alone, never -0, and no leading zeros: the form read back.
    if (digits[0] == '0') return digits.size() == 1 && !negative;
    // Within a 64-bit integer: the same number of digits compare as text.
    return digits.size() < 19 || digits <= (negative ? "9223372036854775808" : "9223372036854775807");
}

bool IsCanonicalDecimal(std::string_view value, DecimalShape& shape, char separator) {
    const bool negative = !value.empty() && value[0] == '-';
    const std::string_view digits = value.substr(negative ? 1 : 0);
    const std::size_t point = digits.find(separator);
    if (point == std::string_view::npos || point == 0 || point + 1 == digits.size()) return false;
    const std::string_view whole = digits.substr(0, point);
    const std::string_view fraction = digits.substr(point + 1);
    if (!AllDigits(whole) || !AllDigits(fraction)) return false;
    // No leading zero but the one of 0.5, and no -0.00, which comes back 0.00.
    if (whole[0] == '0' && whole.size() > 1) return false;
    if (negative && whole == "0" && fraction.find_first_not_of('0') == std::string_view::npos) return false;
    shape.whole = whole == "0" ? 0 : whole.size();
    shape.scale = fraction.size();
    return true;
}

std::size_t MaxDecimalDigits(Dialect dialect) {
    return dialect == Dialect::MySql ? 65 : 1000;
}

std::size_t MaxDecimalScale(Dialect dialect) {
    return dialect == Dialect::MySql ? 30 : 1000;
}

bool IsCalendarDate(std::string_view value) {
    if (value.size() != 10 || !DateShaped(value)) return false;
    const int year = Number(value, 0, 4);
    const int month = Number(value, 5, 2);
    const int day = Number(value, 8, 2);
    if (year < 1 || month < 1 || month > 12 || day < 1) return false;
    constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return day <= kDays[month - 1] + (month == 2 && leap ? 1 : 0);
}

bool IsTimestamp(std::string_view value) {
    if (value.size() != 19 || value[10] != ' ' || value[13] != ':' || value[16] != ':') return false;
    if (!IsCalendarDate(value.substr(0, 10))) return false;
    for (const std::size_t at : {std::size_t{11}, std::size_t{14}, std::size_t{17}}) {
        if (!AllDigits(value.substr(at, 2))) return false;
    }
    // No second 60: a database turns 23:59:60 into the next day's 00:00:00.
    return Number(value, 11, 2) < 24 && Number(value, 14, 2) < 60 && Number(value, 17, 2) < 60;
}

std::string WhyText(std::string_view value, std::uint8_t kinds, std::size_t scale, Dialect dialect, char point) {
    const std::string shown = Shown(value);
    DecimalShape shape;
    if ((kinds & kDecimalKind) != 0 && IsCanonicalDecimal(value, shape, point)) {
        if (shape.whole + shape.scale > MaxDecimalDigits(dialect) || shape.scale > MaxDecimalScale(dialect))
            return shown + " has more digits than a decimal column holds";
        return shown + " has " + std::to_string(shape.scale) + (shape.scale == 1 ? " decimal" : " decimals") +
               ", where the values before it have " + std::to_string(scale);
    }
    if ((kinds & kDecimalKind) != 0 && scale > 0 && IsCanonicalInteger(value))
        return shown + " would read back as " + std::string(value) + "." + std::string(scale, '0');
    if ((kinds & (kIntegerKind | kDecimalKind)) != 0) {
        const std::string number = ReadBackNumber(value, (kinds & kDecimalKind) != 0);
        if (!number.empty() && number != value) return shown + " would read back as " + number;
        if (!number.empty() && (kinds & kIntegerKind) != 0 && value.find('.') == std::string_view::npos)
            return shown + " is beyond a 64-bit integer";
    }
    if ((kinds & (kDateKind | kTimestampKind)) != 0 && DateShaped(value) && !IsCalendarDate(value.substr(0, 10)))
        return shown + " is no day of the calendar";
    return shown + " is not " + KindNames(kinds);
}

}  // namespace rowsmith
