#include "convert/row_conversion.h"

#include "convert/read/row_rules.h"
#include "convert/read/row_scanner.h"
#include "convert/sql/sql_dialect.h"
#include "convert/sql/null_choice.h"

namespace rowsmith {

namespace {

// With copy, the values in COPY's text form between the same head and
// tail: the form the scanner's COPY rows are held to.
std::string Statement(std::string head, std::string_view line, const ConversionOptions& options) {
    const DialectRules& rules = options.copy ? kCopyTextRules : RulesOf(options.dialect);
    const NullChoice nulls(options);
    const char* separator = "";
    std::vector<bool> quoted;
    const std::vector<std::string> values = SplitRow(line, options.delimiter, quoted);
    for (std::size_t i = 0; i < values.size(); ++i) {
        const std::string& value = values[i];
        head += separator;
        if (nulls.Null(value, quoted[i])) {
            head += rules.null;
        } else {
            AppendLiteral(rules, value, head);
        }
        separator = options.copy ? "\t" : ",";
    }
    head += " );\n";
    return head;
}

}  // namespace

// By value, as the window's engine has always taken them.
// NOLINTNEXTLINE(performance-unnecessary-value-param)
std::string ConvertRow(std::string line, std::string tableName, std::string fieldNames) {
    std::string head = "INSERT INTO ";
    head.append(tableName).append(" ( ").append(fieldNames).append(" ) VALUES ( ");
    return Statement(std::move(head), line, ConversionOptions{});
}

std::string ConvertRow(std::string_view line, std::string_view tableName, std::string_view fieldNames,
                       const ConversionOptions& options) {
    // One line under the line rules; standard CSV reads records with CsvReader.
    return Statement(InsertHead(tableName, fieldNames), line, options);
}

}  // namespace rowsmith
