#include "convert/statement_writer.h"

#include <algorithm>
#include <cstring>

namespace rowsmith {

namespace {

char* Put(std::string_view text, char* out) {
    std::memcpy(out, text.data(), text.size());
    return out + text.size();
}

}  // namespace

StatementWriter::StatementWriter(const StatementFormat& format, const ConversionOptions& options,
                                 std::size_t fieldCount, StatementOutput& output)
    : format_(format), options_(options), fieldCount_(fieldCount), output_(output) {
    continuation_ = "," + format.lineEnd() + "( ";
    closeAndHead_ = ";" + format.lineEnd() + format.head();
}

int StatementWriter::WriteStatement(std::string_view text) {
    char* at = nullptr;
    if (const int error = output_.Reserve(text.size(), at)) return error;
    char* end = Put(text, at);
    output_.Commit(end, end);
    return 0;
}

int StatementWriter::Begin() {
    return options_.transaction ? WriteStatement("BEGIN;" + format_.lineEnd()) : 0;
}

int StatementWriter::AddRow(std::string_view line, std::uint64_t lineNumber) {
    std::size_t count = 0;
    const int error = options_.rowsPerInsert <= 1 ? AddOwnStatement(line, count) : AddBatchedRow(line, count);
    if (error != 0) return error;
    ++counts_.rows;
    if (fieldCount_ != 0 && count != fieldCount_) {
        if (counts_.mismatchedRows++ == 0) counts_.firstMismatchLine = lineNumber;
    }
    return 0;
}

int StatementWriter::AddOwnStatement(std::string_view line, std::size_t& count) {
    char* at = nullptr;
    if (const int error = output_.Reserve(format_.MaxRowSize(line.size()), at)) return error;
    char* end = format_.WriteRow(line, at, count);
    output_.Commit(end, end);
    ++counts_.statements;
    return 0;
}

int StatementWriter::AddBatchedRow(std::string_view line, std::size_t& count) {
    // The values go after room for the longest prefix; once their number is
    // known, the prefix is chosen and the row moved up against it.
    const std::size_t room = std::max(continuation_.size(), closeAndHead_.size());
    char* at = nullptr;
    const std::size_t size = room + StatementFormat::MaxValuesSize(line.size()) + 2;
    if (const int error = output_.Reserve(size, at)) return error;
    char* values = at + room;
    char* end = Put(" )", format_.WriteValues(line, values, count));

    const bool open = rowsInStatement_ > 0;
    const bool continues = open && rowsInStatement_ < options_.rowsPerInsert && count == statementValues_;
    const std::string_view prefix = continues ? std::string_view(continuation_)
                                    : open    ? std::string_view(closeAndHead_)
                                              : std::string_view(format_.head());
    char* rowStart = Put(prefix, at);
    std::memmove(rowStart, values, static_cast<std::size_t>(end - values));
    end = rowStart + (end - values);
    // Starting a statement after an open one ended that one with its ";" and line end.
    const char* statementEnd = open && !continues ? at + 1 + format_.lineEnd().size() : nullptr;
    output_.Commit(end, statementEnd);
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
        if (const int error = WriteStatement(";" + format_.lineEnd())) return error;
    }
    if (!options_.transaction) return 0;
    return WriteStatement((succeeded ? "COMMIT;" : "ROLLBACK;") + format_.lineEnd());
}

}  // namespace rowsmith
