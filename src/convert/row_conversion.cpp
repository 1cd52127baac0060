#include "convert/row_conversion.h"

#include "convert/row_rules.h"
#include "convert/sql_dialect.h"

namespace rowsmith {

std::string ConvertRow(std::string line, std::string tableName, std::string fieldNames) {
    std::string statement = "INSERT INTO ";
    statement.append(tableName).append(" ( ").append(fieldNames).append(" ) VALUES ( ");
    const char* separator = "";
    for (const std::string& value : SplitRow(line)) {
        statement += separator;
        AppendStandardLiteral(value, statement);
        separator = ",";
    }
    statement += " );\n";
    return statement;
}

}  // namespace rowsmith
