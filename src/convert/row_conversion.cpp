#include "convert/row_conversion.h"

#include "convert/statement_format.h"

namespace rowsmith {

std::string ConvertRow(std::string line, std::string tableName, std::string fieldNames) {
    std::string statement;
    StatementFormat(tableName, fieldNames).AppendRow(line, statement);
    return statement;
}

}  // namespace rowsmith
