#include "convert/options/input_list.h"

#include <optional>

#include "io/file_system.h"

namespace rowsmith {
namespace {

// The names of a whole list, or nothing when text is anything else.
std::optional<std::vector<std::string>> ParseList(const std::string& text) {
    std::vector<std::string> names;
    std::size_t at = 0;
    while (at < text.size()) {
        if (!names.empty()) {
            if (text[at] != ' ') return std::nullopt;
            ++at;
        }
        if (at == text.size() || text[at] != '"') return std::nullopt;
        std::string name;
        for (++at;; ++at) {
            if (at == text.size()) return std::nullopt;
            if (text[at] != '"') {
                name += text[at];
            } else if (at + 1 < text.size() && text[at + 1] == '"') {
                name += '"';
                ++at;
            } else {
                break;
            }
        }
        ++at;
        if (name.empty()) return std::nullopt;
        names.push_back(std::move(name));
    }
    if (names.empty()) return std::nullopt;
    return names;
}

}  // namespace

std::vector<std::string> InputNames(const std::string& boxText) {
    if (boxText.empty() || boxText.front() != '"' || PathExists(boxText)) return {boxText};
    std::optional<std::vector<std::string>> names = ParseList(boxText);
    return names ? std::move(*names) : std::vector<std::string>{boxText};
}

std::string InputListText(const std::vector<std::string>& names) {
    // A lone name is quoted only where it would read as a list.
    if (names.size() == 1 && !ParseList(names.front())) return names.front();
    std::string text;
    for (const std::string& name : names) {
        if (!text.empty()) text += ' ';
        text += '"';
        for (const char c : name) text += c == '"' ? std::string("\"\"") : std::string(1, c);
        text += '"';
    }
    return text;
}

}  // namespace rowsmith
