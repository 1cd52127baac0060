#pragma once

// The one generator of large inputs the tests share: lines with every kind
// of quoting, and the statements they give.

#include <string>

namespace rowsmith::test {

struct Lines {
    std::string input;       // CR LF line ends
    std::string statements;  // for table T and field list F, on disk
};

// count lines "i,"O'Brien, i % 97",it's", each a quoted comma, single
// quotes and three values, and the statements the plain form writes for them.
Lines QuotedLines(int count);

}  // namespace rowsmith::test
