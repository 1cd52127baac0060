#include "inputs.h"

#include "reference_rules.h"

namespace rowsmith::test {

Lines QuotedLines(int count) {
    Lines lines;
    for (int i = 0; i < count; ++i) {
        const std::string line = std::to_string(i) + ",\"O'Brien, " + std::to_string(i % 97) + "\",it's\r\n";
        lines.input += line;
        lines.statements += "INSERT INTO T ( F ) VALUES ( " + reference::ValueList(line) + " );\r\n";
    }
    return lines;
}

}  // namespace rowsmith::test
