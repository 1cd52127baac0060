// One line on any bytes, with any table and field names: the statement has
// the fixed frame, its values read back, as the database of its dialect
// reads SQL literals, into exactly the values the rules give, and the block
// scanner writes the very same statement while the next line's bytes lie
// right after the line. Byte 0 picks the dialect, NULL for empty values and
// the delimiter; bytes 1 and 2 the lengths of the table and field names,
// which follow; then comes the text, whose first line is converted.
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
    if (size < 3) return 0;
    rowsmith::ConversionOptions options;
    options.dialect = (data[0] & 1) != 0 ? rowsmith::Dialect::MySql : rowsmith::Dialect::Standard;
    options.emptyAsNull = (data[0] & 2) != 0;
    options.delimiter = (data[0] & 4) != 0 ? ';' : ',';
    std::string_view rest(reinterpret_cast<const char*>(data) + 3, size - 3);
    const std::string_view table = rest.substr(0, data[1] % 8);
    rest.remove_prefix(table.size());
    const std::string_view fields = rest.substr(0, data[2] % 16);
    rest.remove_prefix(fields.size());
    const std::size_t lf = rest.find('\n');
    const std::string_view line = rest.substr(0, lf == std::string_view::npos ? rest.size() : lf + 1);

    const std::string statement = rowsmith::ConvertRow(line, table, fields, options);
    const std::string prefix = rowsmith::InsertHead(table, fields);
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
    std::string ruled(line);
    if (options.delimiter != ',') {
        // The reference knows commas only: swap the two, which the rules
        // treat alike, and swap them back in the values.
        for (char& c : ruled) c = c == ';' ? ',' : c == ',' ? ';' : c;
    }
    std::vector<std::string> expected = rowsmith::reference::Values(ruled);
    if (options.delimiter != ',') {
        for (std::string& value : expected) {
            for (char& c : value) c = c == ';' ? ',' : c == ',' ? ';' : c;
        }
    }
    if (values->size() != expected.size()) std::abort();
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const bool null = options.emptyAsNull && expected[i].empty();
        if (null ? (*values)[i].has_value() : (*values)[i] != expected[i]) std::abort();
    }
    // Plain options and a field list: the three-argument form agrees.
    if ((data[0] & 7) == 0 && rowsmith::CountFieldNames(fields) > 0 &&
        rowsmith::ConvertRow(std::string(line), std::string(table), std::string(fields)) != statement) {
        std::abort();
    }

    // The scanner reads past the line: give it the text that follows.
    const rowsmith::StatementFormat format(table, fields, options);
    std::string buffer(rest);
    buffer.append(rowsmith::StatementFormat::kPadding, '\x7F');
    std::string fast(format.MaxRowSize(line.size()), '\0');
    char* end = format.WriteRow(std::string_view(buffer.data(), line.size()), fast.data());
    fast.resize(static_cast<std::size_t>(end - fast.data()));
    if (fast != statement) std::abort();
    return 0;
}
