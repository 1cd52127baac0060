#include "convert/statement_writer.h"

#include <algorithm>
#include <cstring>

#include "convert/sql_dialect.h"

namespace rowsmith {

namespace {

char* Put(std::string_view text, char* out) {
    std::memcpy(out, text.data(), text.size());
    return out + text.size();
}

}  // namespace

StatementWriter::StatementWriter(const RowScanner& scanner, const ConversionOptions& options, std::size_t fieldCount,
                                 StatementOutput& output)
    : scanner_(scanner), options_(options), fieldCount_(fieldCount), output_(output) {
    continuation_ = "," + scanner.lineEnd() + "( ";
    closeAndHead_ = ";" + scanner.lineEnd() + scanner.head();
    tail_ = " );" + scanner.lineEnd();
}

int StatementWriter::WriteStatement(std::string_view text) {
    char* at = nullptr;
    if (const int error = output_.Reserve(text.size(), at)) return error;
    char* end = Put(text, at);
    output_.Commit(end, end);
    return 0;
}

int StatementWriter::Begin() {
    return options_.transaction ? WriteStatement("BEGIN;" + scanner_.lineEnd()) : 0;
}

int StatementWriter::AddRow(std::string_view line, std::uint64_t lineNumber) {
    if (options_.rowsPerInsert <= 1) {
        // One statement a row: the scanner writes it whole, the fastest way.
        char* at = nullptr;
        if (const int error = output_.Reserve(scanner_.MaxRowSize(line.size()), at)) return error;
        std::size_t count = 0;
        char* end = scanner_.WriteRow(line, at, count);
        output_.Commit(end, end);
        ++counts_.statements;
        CountRow(count, lineNumber);
        return 0;
    }
    return Add(
        scanner_.MaxValuesSize(line.size()),
        [this, line](char* out, std::size_t& count) { return scanner_.WriteValues(line, out, count); }, lineNumber);
}

int StatementWriter::AddValues(const std::vector<std::string_view>& values, std::uint64_t lineNumber) {
    // The values lie one after another, so their bytes are counted at once.
    const std::size_t bytes =
        values.empty() ? 0
                       : static_cast<std::size_t>(values.back().data() + values.back().size() - values.front().data());
    const DialectRules& rules = RulesOf(options_.dialect);
    const std::size_t maxSize = MaxLiteralSize(rules, bytes) + (MaxLiteralSize(rules, 0) + 1) * values.size();
    return Add(
        maxSize,
        [this, &values, &rules](char* out, std::size_t& count) {
            count = values.size();
            for (std::size_t i = 0; i < values.size(); ++i) {
                if (i > 0) *out++ = ',';
                out =
                    options_.emptyAsNull && values[i].empty() ? Put("NULL", out) : WriteLiteral(rules, values[i], out);
            }
            return out;
        },
        lineNumber);
}

template <typename ValuesWriter>
int StatementWriter::Add(std::size_t maxValuesSize, const ValuesWriter& writeValues, std::uint64_t lineNumber) {
    std::size_t count = 0;
    if (options_.rowsPerInsert <= 1) {
        // A statement of its own: head, values, tail, and it ends at once.
        char* at = nullptr;
        const std::size_t size = scanner_.head().size() + maxValuesSize + tail_.size();
        if (const int error = output_.Reserve(size, at)) return error;
        char* end = Put(tail_, writeValues(Put(scanner_.head(), at), count));
        output_.Commit(end, end);
        ++counts_.statements;
    } else if (const int error = AddToBatch(maxValuesSize, writeValues, count)) {
        return error;
    }
    CountRow(count, lineNumber);
    return 0;
}

void StatementWriter::CountRow(std::size_t values, std::uint64_t lineNumber) {
    ++counts_.rows;
    if (fieldCount_ != 0 && values != fieldCount_ && counts_.mismatchedRows++ == 0) {
        counts_.firstMismatchLine = lineNumber;
    }
}

template <typename ValuesWriter>
int StatementWriter::AddToBatch(std::size_t maxValuesSize, const ValuesWriter& writeValues, std::size_t& count) {
    // The values go after room for the longest prefix; once their number is
    // known, the prefix is chosen and the row moved up against it.
    const std::size_t room = std::max({continuation_.size(), closeAndHead_.size(), scanner_.head().size()});
    char* at = nullptr;
    if (const int error = output_.Reserve(room + maxValuesSize + 2, at)) return error;
    char* values = at + room;
    char* end = writeValues(values, count);

    const bool open = rowsInStatement_ > 0;
    const bool continues = open && rowsInStatement_ < options_.rowsPerInsert && count == statementValues_;
    const std::string_view prefix = continues ? std::string_view(continuation_)
                                    : open    ? std::string_view(closeAndHead_)
                                              : std::string_view(scanner_.head());
    char* rowStart = Put(prefix, at);
    std::memmove(rowStart, values, static_cast<std::size_t>(end - values));
    end = Put(" )", rowStart + (end - values));
    // The row waits for its "," or ";"; starting a statement after an open
    // one ended that one with its ";" and line end.
    output_.Commit(end, open && !continues ? at + 1 + scanner_.lineEnd().size() : nullptr);
    if (continues) {
        ++rowsInStatement_;
    } else {
        rowsInStatement_ = 1;
        statementValues_ = count;
        ++counts_.statements;
    }
    return 0;
}

int StatementWriter::End(bool succeeded) {
    if (rowsInStatement_ > 0) {
        rowsInStatement_ = 0;
        if (const int error = WriteStatement(";" + scanner_.lineEnd())) return error;
    }
    if (!options_.transaction) return 0;
    return WriteStatement((succeeded ? "COMMIT;" : "ROLLBACK;") + scanner_.lineEnd());
}

}  // namespace rowsmith
