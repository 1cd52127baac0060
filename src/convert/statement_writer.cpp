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

StatementWriter::StatementWriter(const StatementFormat& format, const ConversionOptions& options,
                                 std::size_t fieldCount, StatementOutput& output)
    : format_(format), options_(options), fieldCount_(fieldCount), output_(output) {
    continuation_ = "," + format.lineEnd() + "( ";
    closeAndHead_ = ";" + format.lineEnd() + format.head();
    tail_ = " );" + format.lineEnd();
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
    if (options_.rowsPerInsert <= 1) {
        // The plain form, as fast as it goes: the scanner writes the whole statement.
        char* at = nullptr;
        if (const int error = output_.Reserve(format_.MaxRowSize(line.size()), at)) return error;
        std::size_t count = 0;
        char* end = format_.WriteRow(line, at, count);
        output_.Commit(end, end);
        ++counts_.statements;
        ++counts_.rows;
        if (fieldCount_ != 0 && count != fieldCount_ && counts_.mismatchedRows++ == 0) {
            counts_.firstMismatchLine = lineNumber;
        }
        return 0;
    }
    return Add(
        StatementFormat::MaxValuesSize(line.size()),
        [this, line](char* out, std::size_t& count) { return format_.WriteValues(line, out, count); }, lineNumber);
}

int StatementWriter::AddValues(const std::vector<std::string_view>& values, std::uint64_t lineNumber) {
    std::size_t maxSize = values.size();  // the commas between them
    for (const std::string_view value : values) maxSize += MaxValueSize(value.size());
    return Add(
        maxSize,
        [this, &values](char* out, std::size_t& count) {
            count = values.size();
            for (std::size_t i = 0; i < values.size(); ++i) {
                if (i > 0) *out++ = ',';
                out = WriteValue(options_, values[i], out);
            }
            return out;
        },
        lineNumber);
}

template <typename ValuesWriter>
int StatementWriter::Add(std::size_t maxValuesSize, const ValuesWriter& writeValues, std::uint64_t lineNumber) {
    // The values go after room for the longest prefix; once their number is
    // known, the prefix is chosen and the row moved up against it.
    const std::size_t room = std::max({continuation_.size(), closeAndHead_.size(), format_.head().size()});
    char* at = nullptr;
    if (const int error = output_.Reserve(room + maxValuesSize + tail_.size(), at)) return error;
    char* values = at + room;
    std::size_t count = 0;
    char* end = writeValues(values, count);

    const bool batched = options_.rowsPerInsert > 1;
    const bool open = rowsInStatement_ > 0;
    const bool continues = open && rowsInStatement_ < options_.rowsPerInsert && count == statementValues_;
    const std::string_view prefix = continues ? std::string_view(continuation_)
                                    : open    ? std::string_view(closeAndHead_)
                                              : std::string_view(format_.head());
    char* rowStart = Put(prefix, at);
    std::memmove(rowStart, values, static_cast<std::size_t>(end - values));
    end = rowStart + (end - values);
    // A statement of one row ends at once; in a batch, the row waits for ","
    // or ";", and starting a statement after an open one ends that one.
    const char* statementEnd = nullptr;
    if (!batched) {
        end = Put(tail_, end);
        statementEnd = end;
    } else {
        end = Put(" )", end);
        if (open && !continues) statementEnd = at + 1 + format_.lineEnd().size();
    }
    output_.Commit(end, statementEnd);
    if (batched && continues) {
        ++rowsInStatement_;
    } else {
        rowsInStatement_ = batched ? 1 : 0;
        statementValues_ = count;
        ++counts_.statements;
    }
    ++counts_.rows;
    if (fieldCount_ != 0 && count != fieldCount_ && counts_.mismatchedRows++ == 0) {
        counts_.firstMismatchLine = lineNumber;
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
