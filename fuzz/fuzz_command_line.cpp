// The command line on any words (the input cut at NUL bytes): parsing never
// fails in a way it does not say, what it accepts is whole, and a second
// parse gives the same answer.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli/command_line.h"

namespace {

rowsmith::CommandLine Parse(std::vector<std::string> words) {
    words.insert(words.begin(), "rowsmith-convert");
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    return rowsmith::ParseCommandLine(static_cast<int>(words.size()), argv.data());
}

bool Same(const rowsmith::CommandLine& a, const rowsmith::CommandLine& b) {
    return a.action == b.action && a.table == b.table && a.fields == b.fields && a.hasOutput == b.hasOutput &&
           a.output == b.output && a.input == b.input && a.error == b.error && a.options == b.options;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> words(1);
    for (std::size_t i = 0; i < size && words.size() <= 24; ++i) {
        if (data[i] == 0) {
            words.emplace_back();
        } else {
            words.back() += static_cast<char>(data[i]);
        }
    }
    const rowsmith::CommandLine first = Parse(words);
    if (!Same(first, Parse(words))) std::abort();
    switch (first.action) {
        case rowsmith::CommandLine::Action::UsageError:
            if (first.error.empty()) std::abort();
            break;
        case rowsmith::CommandLine::Action::Convert:
            // (An empty INPUT is a name like any other; reading it fails later, and says so.)
            if (first.table.find_first_not_of(" \t\n\v\f\r") == std::string::npos) std::abort();
            if (first.options.rowsPerInsert < 1 || first.options.rowsPerInsert > rowsmith::kMaxRowsPerInsert) {
                std::abort();
            }
            if (!rowsmith::DelimiterFromName(std::string(1, first.options.delimiter)) &&
                first.options.delimiter != '\t') {
                std::abort();
            }
            break;
        default:
            break;
    }
    return 0;
}
