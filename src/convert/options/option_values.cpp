#include "convert/options/option_values.h"

#include <charconv>

#include "io/text_mode.h"

namespace rowsmith {

bool SetSwitch(bool& flag, std::string_view value) {
    flag = value == "1";
    return value == "1" || value == "0" || value.empty();
}

std::string SwitchText(bool on) {
    return on ? "1" : "";
}

bool SetNumber(std::uint32_t& number, std::string_view value, std::uint32_t low, std::uint32_t high) {
    std::uint32_t parsed = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), parsed);
    if (value.empty() || value[0] == '+' || error != std::errc() || end != value.data() + value.size()) return false;
    if (parsed < low || parsed > high) return false;
    number = parsed;
    return true;
}

bool SetBytes(std::uint64_t& number, std::string_view value, std::uint64_t low) {
    static constexpr std::string_view kUnits = "KMG";
    unsigned shift = 0;
    if (const std::size_t unit = value.empty() ? std::string_view::npos : kUnits.find(value.back());
        unit != std::string_view::npos) {
        shift = 10 * static_cast<unsigned>(unit + 1);
        value.remove_suffix(1);
    }
    std::uint64_t parsed = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), parsed);
    if (value.empty() || value[0] == '+' || error != std::errc() || end != value.data() + value.size()) return false;
    if (parsed > (~std::uint64_t{0} >> shift)) return false;
    parsed <<= shift;
    if (parsed < low) return false;
    number = parsed;
    return true;
}

bool KeptOnALine(std::string_view value) {
    return !value.empty() && !IsTrimmedSpace(value.back()) && value.find_first_of("\r\n\x1A") == std::string_view::npos;
}

std::string OneALine(const std::vector<std::string>& values) {
    std::string text;
    for (const std::string& value : values) text.append(text.empty() ? "" : "\n").append(value);
    return text;
}

bool SetMark(char& mark, std::string_view value, char byDefault, bool noneAllowed) {
    if (value.empty()) {
        mark = byDefault;
        return true;
    }
    if (value == "none" && noneAllowed) {
        mark = '\0';
        return true;
    }
    constexpr std::string_view kRefused("\r\n\v\f\x1A\0 \t", 8);
    if (value.size() != 1 || kRefused.find(value[0]) != std::string_view::npos) return false;
    mark = value[0];
    return true;
}

bool SetOptionalNumber(std::uint32_t& number, std::string_view value, std::uint32_t low, std::uint32_t high,
                       std::uint32_t unset) {
    if (value.empty()) {
        number = unset;
        return true;
    }
    return SetNumber(number, value, low, high);
}

std::string OptionalNumberText(std::uint32_t number, std::uint32_t unset) {
    return number == unset ? std::string() : std::to_string(number);
}

}  // namespace rowsmith
