#include "convert/sql/key_forms.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <initializer_list>
#include <optional>

#include "io/text_mode.h"

namespace rowsmith {

namespace {

// The parts, one after another. Appended, not concatenated: GCC 12 sees a
// false -Wrestrict in "x" + text.
std::string Joined(std::initializer_list<std::string_view> parts) {
    std::string text;
    for (const std::string_view part : parts) text.append(part);
    return text;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool IsLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// A hex digit's value, or -1.
int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool AllDigits(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), IsDigit);
}

// The lower case of a letter of Latin-1, Latin Extended-A, Greek or
// Cyrillic that has one; any other code point as it is. What a collation
// that ignores case folds, for the scripts keys are written in most.
std::uint32_t LowerOf(std::uint32_t c) {
    if ((c >= 0xC0 && c <= 0xDE && c != 0xD7) || (c >= 0x391 && c <= 0x3AB && c != 0x3A2) || (c >= 0x410 && c <= 0x42F))
        return c + 0x20;
    if (c >= 0x400 && c <= 0x40F) return c + 0x50;
    if (c == 0x178) return 0xFF;
    if (c == 0x3C2) return 0x3C3;  // final sigma
    const bool evenUpper = (c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177);
    const bool oddUpper = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    if ((evenUpper && c % 2 == 0) || (oddUpper && c % 2 == 1)) return c + 1;
    return c;
}

// text in lower case: ASCII, and the letters LowerOf folds written in
// UTF-8 (all in two bytes); other bytes as they are.
std::string Folded(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            out += static_cast<char>(c >= 'A' && c <= 'Z' ? c + 0x20 : c);
            continue;
        }
        if ((c & 0xE0) == 0xC0 && i + 1 < text.size() && (static_cast<unsigned char>(text[i + 1]) & 0xC0) == 0x80) {
            const std::uint32_t lower =
                LowerOf((std::uint32_t{c} & 0x1F) << 6 | (static_cast<unsigned char>(text[i + 1]) & 0x3F));
            out += static_cast<char>(0xC0 | (lower >> 6));
            out += static_cast<char>(0x80 | (lower & 0x3F));
            ++i;
            continue;
        }
        out += static_cast<char>(c);
    }
    return out;
}

// The digits of a number's mantissa, a comma between thousands allowed,
// and the power of ten its point puts on them; i goes past them.
std::string Mantissa(std::string_view text, std::size_t& i, long long& scale) {
    std::string digits;
    for (; i < text.size() && (IsDigit(text[i]) || (text[i] == ',' && !digits.empty())); ++i) {
        if (text[i] != ',') digits += text[i];
    }
    if (i < text.size() && text[i] == '.') {
        for (++i; i < text.size() && IsDigit(text[i]); ++i) {
            digits += text[i];
            --scale;
        }
    }
    return digits;
}

// An exponent, e and a whole number of at most nine digits, added to scale.
bool Exponent(std::string_view text, long long& scale) {
    const bool down = !text.empty() && text.front() == '-';
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) text.remove_prefix(1);
    if (!AllDigits(text) || text.size() > 9) return false;
    const long long power = std::stoll(std::string(text));
    scale += down ? -power : power;
    return true;
}

// A number as any numeric type reads it (+5, 05, 5.0, 5e0, 0.5E1, $1,000.00,
// NaN, Infinity), written one way: its digits without the zeros around them
// and the power of ten they are multiplied by.
std::optional<std::string> NumberForm(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (!text.empty() && text.front() == '$') text.remove_prefix(1);  // money
    if (text == "nan") return "nnan";
    if (text == "inf" || text == "infinity") return negative ? "n-inf" : "ninf";
    long long scale = 0;
    std::size_t i = 0;
    std::string digits = Mantissa(text, i, scale);
    if (digits.empty()) return std::nullopt;
    if (i < text.size() && (text[i] != 'e' || !Exponent(text.substr(i + 1), scale))) return std::nullopt;
    digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size()));
    if (digits.empty()) return "n0";  // zero, whatever its sign
    while (digits.back() == '0') digits.pop_back(), ++scale;
    return Joined({negative ? "n-" : "n", digits, "e", std::to_string(scale)});
}

// A boolean as PostgreSQL reads one: a start of true, yes, on, false, no or
// off that tells them apart; 1 and 0 are numbers already.
std::optional<std::string> BooleanForm(std::string_view text) {
    constexpr std::array<std::pair<std::string_view, std::size_t>, 3> kTrue = {{{"true", 1}, {"yes", 1}, {"on", 2}}};
    constexpr std::array<std::pair<std::string_view, std::size_t>, 3> kFalse = {{{"false", 1}, {"no", 1}, {"off", 2}}};
    for (const auto& [word, shortest] : kTrue) {
        if (text.size() >= shortest && word.substr(0, text.size()) == text) return "n1e0";
    }
    for (const auto& [word, shortest] : kFalse) {
        if (text.size() >= shortest && word.substr(0, text.size()) == text) return "n0";
    }
    return std::nullopt;
}

// A uuid, with or without its hyphens and braces.
std::optional<std::string> UuidForm(std::string_view text) {
    std::string hex;
    for (const char c : text) {
        if (c == '-' || c == '{' || c == '}') continue;
        if (!IsDigit(c) && !(c >= 'a' && c <= 'f')) return std::nullopt;
        hex += c;
    }
    if (hex.size() != 32) return std::nullopt;
    return Joined({"u", hex});
}

// An IPv4 address in dotted decimal into bytes[0, 4): four numbers of 0 to
// 255, none written with a leading zero.
bool ReadIpv4(std::string_view text, unsigned char* bytes) {
    for (int part = 0; part < 4; ++part) {
        const std::size_t dot = std::min(text.find('.'), text.size());
        const std::string_view number = text.substr(0, dot);
        if (number.empty() || number.size() > 3 || !AllDigits(number) || (number.size() > 1 && number[0] == '0'))
            return false;
        int value = 0;
        for (const char c : number) value = value * 10 + (c - '0');
        if (value > 255) return false;
        bytes[part] = static_cast<unsigned char>(value);
        // The last number ends the text; the others end at a dot.
        if ((part == 3) != (dot == text.size())) return false;
        text.remove_prefix(std::min(dot + 1, text.size()));
    }
    return true;
}

// One group of an IPv6 address: one to four hex digits.
bool ReadHexGroup(std::string_view group, unsigned& value) {
    if (group.empty() || group.size() > 4) return false;
    value = 0;
    for (const char c : group) {
        const int digit = HexDigit(c);
        if (digit < 0) return false;
        value = value * 16 + static_cast<unsigned>(digit);
    }
    return true;
}

// The groups on one side of an IPv6 address's "::" (or of all of it)
// into into[0, used); an IPv4 address may end the last side.
bool ReadIpv6Side(std::string_view text, bool last, std::array<unsigned char, 16>& into, std::size_t& used) {
    used = 0;
    while (!text.empty()) {
        const std::size_t colon = std::min(text.find(':'), text.size());
        const std::string_view group = text.substr(0, colon);
        if (last && colon == text.size() && group.find('.') != std::string_view::npos) {
            if (used + 4 > into.size() || !ReadIpv4(group, into.data() + used)) return false;
            used += 4;
            return true;
        }
        unsigned value = 0;
        if (used + 2 > into.size() || !ReadHexGroup(group, value)) return false;
        into[used++] = static_cast<unsigned char>(value >> 8);
        into[used++] = static_cast<unsigned char>(value & 0xFF);
        if (colon == text.size()) return true;
        text.remove_prefix(colon + 1);
        if (text.empty()) return false;  // a colon at the end
    }
    return true;
}

// An IPv6 address into bytes[0, 16): eight groups of up to four hex digits,
// one run of them left out as "::", the last two may be an IPv4 address.
bool ReadIpv6(std::string_view text, unsigned char* bytes) {
    std::array<unsigned char, 16> before{};
    std::array<unsigned char, 16> after{};
    std::size_t front = 0;
    std::size_t back = 0;
    const std::size_t gap = text.find("::");
    if (gap == std::string_view::npos) {
        if (!ReadIpv6Side(text, true, before, front) || front != before.size()) return false;
    } else if (!ReadIpv6Side(text.substr(0, gap), false, before, front) ||
               !ReadIpv6Side(text.substr(gap + 2), true, after, back) || front + back > 14) {
        return false;  // "::" stands for one group at least
    }
    std::fill(bytes, bytes + 16, 0);
    std::copy(before.begin(), before.begin() + static_cast<std::ptrdiff_t>(front), bytes);
    std::copy(after.begin(), after.begin() + static_cast<std::ptrdiff_t>(back), bytes + 16 - back);
    return true;
}

// An internet address, with or without the length of its whole network
// (10.0.0.1 and 10.0.0.1/32; ::1 and 0:0:0:0:0:0:0:1).
std::optional<std::string> AddressForm(std::string_view text) {
    const std::size_t slash = text.find('/');
    const std::string_view address = text.substr(0, slash);
    unsigned char bytes[16] = {};
    const bool v4 = ReadIpv4(address, bytes);
    if (!v4 && !ReadIpv6(address, bytes)) return std::nullopt;
    const std::string_view prefix = slash == std::string_view::npos ? std::string_view() : text.substr(slash + 1);
    if (slash != std::string_view::npos && (!AllDigits(prefix) || prefix.size() > 3)) return std::nullopt;
    std::string form = v4 ? "i4" : "i6";
    for (std::size_t i = 0; i < (v4 ? 4U : 16U); ++i) form += std::to_string(bytes[i]) + ".";
    return form + "/" +
           (prefix.empty() ? std::string(v4 ? "32" : "128") : std::to_string(std::stoi(std::string(prefix))));
}

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar, and back.
long long DaysFromCivil(long long y, unsigned m, unsigned d) {
    y -= m <= 2 ? 1 : 0;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

struct Civil {
    long long year;
    unsigned month;
    unsigned day;
};

Civil CivilFromDays(long long z) {
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    return {static_cast<long long>(yoe) + era * 400 + (m <= 2 ? 1 : 0), m, d};
}

std::string DayText(long long days) {
    const Civil c = CivilFromDays(days);
    return Joined({std::to_string(c.year), "-", std::to_string(c.month), "-", std::to_string(c.day)});
}

// The month a name gives (jan, january, sept), or 0.
unsigned MonthNamed(std::string_view word) {
    constexpr std::string_view kMonths[] = {"january", "february", "march",     "april",   "may",      "june",
                                            "july",    "august",   "september", "october", "november", "december"};
    for (unsigned i = 0; i < 12; ++i) {
        if (word.size() >= 3 && kMonths[i].substr(0, word.size()) == word) return i + 1;
    }
    return 0;
}

bool IsWeekday(std::string_view word) {
    constexpr std::string_view kDays[] = {"monday", "tuesday", "wednesday", "thursday", "friday", "saturday", "sunday"};
    return word.size() >= 3 && std::any_of(std::begin(kDays), std::end(kDays),
                                           [word](std::string_view day) { return day.substr(0, word.size()) == word; });
}

// A year as written: two digits are the year closest to 2000 as PostgreSQL
// reads them (69 is 2069, 70 is 1970).
long long YearOf(std::string_view digits) {
    const long long year = std::stoll(std::string(digits.substr(0, 9)));
    if (digits.size() <= 2) return year < 70 ? 2000 + year : 1900 + year;
    return year;
}

enum class Zone { None, Offset, Named };

struct DateTime {
    std::vector<long long> days;  // the dates it may be, as days since 1970
    bool time = false;
    unsigned hour = 0;
    unsigned minute = 0;
    std::string seconds = "0";  // without trailing zeros of its fraction
    Zone zone = Zone::None;
    int offsetMinutes = 0;
    std::string zoneName;
};

// The numbers of a date, and the month a name of it gives (0: none); false
// when it holds a word that is neither a month nor a day of the week.
bool DateParts(std::string_view text, std::vector<std::string_view>& numbers, unsigned& month) {
    for (std::size_t i = 0; i < text.size();) {
        const char c = text[i];
        std::size_t j = i + 1;
        const bool digit = IsDigit(c);
        if (!digit && !IsLetter(c)) {
            if (c != ' ' && c != '-' && c != '/' && c != '.' && c != ',') return false;
            i = j;
            continue;
        }
        while (j < text.size() && (digit ? IsDigit(text[j]) : IsLetter(text[j]))) ++j;
        const std::string_view part = text.substr(i, j - i);
        i = j;
        if (digit) {
            numbers.push_back(part);
        } else if (const unsigned named = MonthNamed(part); named != 0 && month == 0) {
            month = named;
        } else if (part != "t" && !IsWeekday(part)) {
            return false;
        }
    }
    return true;
}

struct Ymd {
    std::string_view y, m, d;
};

// Every order the parts of a date may be read in (year, month and day;
// month, day and year; day, month and year), as the DateStyle settings read
// them; the month, where named, left out.
std::vector<Ymd> DateOrders(const std::vector<std::string_view>& numbers, bool named) {
    const auto longYear = [](std::string_view n) { return n.size() >= 3; };
    std::vector<Ymd> orders;
    if (named && numbers.size() == 2) {
        // Which number is the year?
        if (!longYear(numbers[1])) orders.push_back({numbers[0], {}, numbers[1]});
        if (!longYear(numbers[0])) orders.push_back({numbers[1], {}, numbers[0]});
    } else if (!named && numbers.size() == 1 && (numbers[0].size() == 8 || numbers[0].size() == 6)) {
        const std::size_t y = numbers[0].size() - 4;  // 20200102, 200102
        orders.push_back({numbers[0].substr(0, y), numbers[0].substr(y, 2), numbers[0].substr(y + 2, 2)});
    } else if (!named && numbers.size() == 3) {
        const std::string_view a = numbers[0], b = numbers[1], c = numbers[2];
        if (longYear(a)) return {{a, b, c}};
        orders = {{c, a, b}, {c, b, a}};
        if (!longYear(c)) orders.push_back({a, b, c});
    }
    return orders;
}

// The dates the words and numbers before a time may be; false when they
// are no date.
bool ReadDate(std::string_view text, DateTime& dt) {
    std::vector<std::string_view> numbers;
    unsigned month = 0;
    if (!DateParts(text, numbers, month)) return false;
    for (const Ymd& order : DateOrders(numbers, month != 0)) {
        if (order.y.size() > 9) continue;
        const unsigned m = month != 0 ? month : static_cast<unsigned>(std::stoul(std::string(order.m)));
        const auto d = static_cast<unsigned>(std::stoul(std::string(order.d.substr(0, 3))));
        if (m < 1 || m > 12 || d < 1 || d > 31) continue;
        dt.days.push_back(DaysFromCivil(YearOf(order.y), m, d));
    }
    return !dt.days.empty();
}

// Seconds as written after a time's minutes (":ss" and a fraction), from
// text[i]; "0" when there are none; false when they are not so.
bool ReadSeconds(std::string_view text, std::size_t& i, std::string& seconds) {
    seconds.assign(1, '0');
    if (i >= text.size() || text[i] != ':') return true;
    const std::size_t from = ++i;
    while (i < text.size() && IsDigit(text[i]) && i - from < 2) ++i;
    if (i - from != 2) return false;
    seconds = std::to_string(std::stoi(std::string(text.substr(from, 2))));
    if (i >= text.size() || (text[i] != '.' && text[i] != ',')) return true;
    const std::size_t fraction = ++i;
    while (i < text.size() && IsDigit(text[i])) ++i;
    std::string digits(text.substr(fraction, i - fraction));
    while (!digits.empty() && digits.back() == '0') digits.pop_back();
    if (!digits.empty()) seconds.append(".").append(digits);
    return true;
}

// A zone after a time: Z, UTC or GMT, an offset (+01, -05:30, +0100), or
// the name of one (est, europe/paris); false when it is none of these.
bool ReadZone(std::string_view rest, DateTime& dt) {
    if (rest.empty()) return true;
    if (rest == "z" || rest == "utc" || rest == "gmt" || rest == "ut") {
        dt.zone = Zone::Offset;
        return true;
    }
    if (rest.front() == '+' || rest.front() == '-') {
        std::string digits;
        for (const char c : rest.substr(1)) {
            if (c != ':' && !IsDigit(c)) return false;
            if (c != ':') digits += c;
        }
        if (digits.empty() || digits.size() > 4 || digits.size() == 3) return false;
        const int h = std::stoi(digits.substr(0, std::min<std::size_t>(digits.size(), 2)));
        const int m = digits.size() == 4 ? std::stoi(digits.substr(2)) : 0;
        dt.zone = Zone::Offset;
        dt.offsetMinutes = (rest.front() == '-' ? -1 : 1) * (h * 60 + m);
        return true;
    }
    dt.zone = Zone::Named;
    dt.zoneName = rest;
    return std::all_of(rest.begin(), rest.end(), [](char c) {
        return IsLetter(c) || IsDigit(c) || c == '/' || c == '_' || c == '+' || c == '-' || c == ':';
    });
}

// hh:mm[:ss[.ffff]] [am|pm] [zone], from its first digit; false when it is
// not so.
bool ReadTime(std::string_view text, DateTime& dt) {
    std::size_t i = 0;
    while (i < text.size() && IsDigit(text[i]) && i < 2) ++i;
    if (i == 0 || i + 3 > text.size() || text[i] != ':' || !IsDigit(text[i + 1]) || !IsDigit(text[i + 2])) return false;
    dt.hour = static_cast<unsigned>(std::stoi(std::string(text.substr(0, i))));
    dt.minute = static_cast<unsigned>(std::stoi(std::string(text.substr(i + 1, 2))));
    i += 3;
    if (!ReadSeconds(text, i, dt.seconds)) return false;
    dt.time = true;
    std::string_view rest = TrimSpace(text.substr(i));
    if (rest.substr(0, 2) == "am" || rest.substr(0, 2) == "pm") {
        if (dt.hour == 12) dt.hour = 0;
        if (rest.substr(0, 2) == "pm") dt.hour += 12;
        rest = TrimSpace(rest.substr(2));
    }
    return dt.hour <= 24 && dt.minute <= 59 && ReadZone(rest, dt);
}

// The start of a time in text: one or two digits, a colon and two digits.
std::size_t TimeStart(std::string_view text) {
    for (std::size_t colon = text.find(':'); colon != std::string_view::npos; colon = text.find(':', colon + 1)) {
        std::size_t start = colon;
        while (start > 0 && colon - start < 2 && IsDigit(text[start - 1])) --start;
        const bool hours = start < colon && (start == 0 || !IsDigit(text[start - 1]));
        if (hours && colon + 2 < text.size() && IsDigit(text[colon + 1]) && IsDigit(text[colon + 2])) return start;
    }
    return std::string_view::npos;
}

// The forms of a time on a day: exact without a zone; with an offset, the
// instant in UTC, and near days for times without one or named zones; with
// a named zone, near days only.
void AddDayForms(long long day, const DateTime& dt, const std::string& clock, KeyForms& forms) {
    switch (dt.zone) {
        case Zone::None:
            forms.both.push_back(Joined({"T", DayText(day), " ", clock}));
            forms.emitted.push_back(Joined({"N", DayText(day)}));
            return;
        case Zone::Offset: {
            // The instant in UTC, to the minute; its seconds as written.
            const long long minutes = day * 1440 + dt.hour * 60 + dt.minute - dt.offsetMinutes;
            const long long utcDay = (minutes >= 0 ? minutes : minutes - 1439) / 1440;
            const long long inDay = minutes - utcDay * 1440;
            forms.both.push_back(Joined({"U", DayText(utcDay), " ", std::to_string(inDay / 60), ":",
                                         std::to_string(inDay % 60), ":", dt.seconds}));
            forms.emitted.push_back(Joined({"Zn", DayText(day)}));
            for (long long near = day - 2; near <= day + 2; ++near)
                forms.probes.push_back(Joined({"N", DayText(near)}));
            return;
        }
        case Zone::Named:
            forms.emitted.push_back(Joined({"Zd", DayText(day)}));
            for (long long near = day - 2; near <= day + 2; ++near) {
                for (const char* kind : {"Zd", "Zn", "N"}) forms.probes.push_back(Joined({kind, DayText(near)}));
            }
            return;
    }
}

void AddDateTimeForms(std::string_view text, KeyForms& forms) {
    DateTime dt;
    const std::size_t time = TimeStart(text);
    const std::string_view datePart = TrimSpace(text.substr(0, time));
    if (time != std::string_view::npos && !ReadTime(text.substr(time), dt)) return;
    const std::string clock = Joined({std::to_string(dt.hour), ":", std::to_string(dt.minute), ":", dt.seconds});
    if (datePart.empty() || datePart == "t") {
        // A time of day alone.
        if (!dt.time) return;
        const std::string zone = dt.zone == Zone::Offset  ? Joined({"|", std::to_string(dt.offsetMinutes)})
                                 : dt.zone == Zone::Named ? Joined({"|", dt.zoneName})
                                                          : std::string();
        forms.both.push_back(Joined({"H", clock, zone}));
        return;
    }
    if (!ReadDate(datePart, dt)) return;
    for (const long long day : dt.days) AddDayForms(day, dt, clock, forms);
}

}  // namespace

void AddKeyForms(std::string_view value, KeyForms& forms) {
    const std::string text = Folded(TrimSpace(value));
    if (std::optional<std::string> number = NumberForm(text)) {
        // Text equal to a number, case aside, is that number too; 1 and 0
        // are the booleans' numbers.
        forms.both.push_back(std::move(*number));
    } else {
        forms.both.push_back(Joined({"s", text}));
        if (std::optional<std::string> boolean = BooleanForm(text)) forms.both.push_back(std::move(*boolean));
    }
    if (std::optional<std::string> uuid = UuidForm(text)) forms.both.push_back(std::move(*uuid));
    if (text.find_first_of(".:") != std::string::npos) {
        if (std::optional<std::string> address = AddressForm(text)) forms.both.push_back(std::move(*address));
    }
    if (text.find_first_of("0123456789") != std::string::npos) AddDateTimeForms(text, forms);
}

bool OpenKeys::Meets(const std::vector<std::string_view>& values) {
    bool meets = values.size() == parts_;
    for (std::size_t i = 0; i < parts_ && i < values.size(); ++i) {
        KeyForms& forms = forms_[i];
        forms.Clear();
        AddKeyForms(values[i], forms);
        const auto in = [](const std::vector<std::string>& list, const std::unordered_set<std::string>& set) {
            return std::any_of(list.begin(), list.end(),
                               [&set](const std::string& form) { return set.contains(form); });
        };
        meets =
            meets && (in(forms.both, emitted_[i]) || in(forms.probes, emitted_[i]) || in(forms.emitted, probed_[i]));
    }
    return meets;
}

void OpenKeys::Add() {
    for (std::size_t i = 0; i < parts_; ++i) {
        const KeyForms& forms = forms_[i];
        emitted_[i].insert(forms.both.begin(), forms.both.end());
        emitted_[i].insert(forms.emitted.begin(), forms.emitted.end());
        probed_[i].insert(forms.both.begin(), forms.both.end());
        probed_[i].insert(forms.probes.begin(), forms.probes.end());
    }
}

void OpenKeys::Clear() {
    for (std::size_t i = 0; i < parts_; ++i) {
        emitted_[i].clear();
        probed_[i].clear();
    }
}

}  // namespace rowsmith
