// ConvertRow on any bytes: the statement has the fixed frame, its values
// scan, as SQL string literals, into exactly the values the rules give, and
// the block scanner writes the very same statement.
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "convert/row_conversion.h"
#include "convert/statement_format.h"
#include "reference_rules.h"

namespace {

// Reads 'literal','literal',... where a quote inside a literal must be
// doubled. Nothing when the text is not exactly such a list.
std::optional<std::vector<std::string>> ScanLiterals(std::string_view text) {
    std::vector<std::string> values;
    std::size_t i = 0;
    for (;;) {
        if (i >= text.size() || text[i] != '\'') return std::nullopt;
        ++i;
        std::string value;
        for (;;) {
            if (i >= text.size()) return std::nullopt;  // never closed
            if (text[i] != '\'') {
                value += text[i++];
            } else if (i + 1 < text.size() && text[i + 1] == '\'') {
                value += '\'';
                i += 2;
            } else {
                ++i;
                break;
            }
        }
        values.push_back(std::move(value));
        if (i == text.size()) return values;
        if (text[i] != ',') return std::nullopt;
        ++i;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string line(reinterpret_cast<const char*>(data), size);
    const std::string statement = rowsmith::ConvertRow(line, "T", "F");
    const std::string_view prefix = "INSERT INTO T ( F ) VALUES ( ";
    const std::string_view suffix = " );\n";
    const std::string_view text = statement;
    if (text.size() < prefix.size() + suffix.size() || text.substr(0, prefix.size()) != prefix ||
        text.substr(text.size() - suffix.size()) != suffix) {
        std::abort();
    }
    const auto values = ScanLiterals(text.substr(prefix.size(), text.size() - prefix.size() - suffix.size()));
    if (!values || *values != rowsmith::reference::Values(line)) std::abort();
    std::string fast;
    rowsmith::StatementFormat("T", "F").AppendRow(line, fast);
    if (fast != statement) std::abort();
    return 0;
}
