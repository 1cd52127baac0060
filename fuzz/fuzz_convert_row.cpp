// ConvertRow on any bytes: the statement has the fixed frame, its values read
// back, as the database of its dialect reads SQL literals, into exactly the
// values the rules give, and the block scanner writes the very same
// statement. The first byte picks the dialect and whether empty values are
// NULL.
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "convert/row_conversion.h"
#include "convert/statement_format.h"
#include "reference_rules.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    rowsmith::ConversionOptions options;
    options.dialect = (data[0] & 1) != 0 ? rowsmith::Dialect::MySql : rowsmith::Dialect::Standard;
    options.emptyAsNull = (data[0] & 2) != 0;
    const std::string line(reinterpret_cast<const char*>(data) + 1, size - 1);

    const std::string statement = rowsmith::ConvertRow(line, "T", "F", options);
    const std::string_view prefix = "INSERT INTO T ( F ) VALUES ( ";
    const std::string_view suffix = " );\n";
    const std::string_view text = statement;
    if (text.size() < prefix.size() + suffix.size() || text.substr(0, prefix.size()) != prefix ||
        text.substr(text.size() - suffix.size()) != suffix) {
        std::abort();
    }
    const auto values =
        rowsmith::reference::ReadValueList(text.substr(prefix.size(), text.size() - prefix.size() - suffix.size()),
                                           options.dialect == rowsmith::Dialect::MySql);
    if (!values) std::abort();
    const std::vector<std::string> expected = rowsmith::reference::Values(line);
    if (values->size() != expected.size()) std::abort();
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const bool null = options.emptyAsNull && expected[i].empty();
        if (null ? (*values)[i].has_value() : (*values)[i] != expected[i]) std::abort();
    }
    // Without options, the three-argument form gives the same statement.
    if (data[0] % 4 == 0 && rowsmith::ConvertRow(line, "T", "F") != statement) std::abort();

    std::string fast;
    rowsmith::StatementFormat("T", "F", options).AppendRow(line, fast);
    if (fast != statement) std::abort();
    return 0;
}
