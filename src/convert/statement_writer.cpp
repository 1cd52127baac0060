#include "convert/statement_writer.h"

#include <algorithm>
#include <cstring>

#include "convert/sql_dialect.h"
#include "io/status.h"
#include "io/text_mode.h"

namespace rowsmith {

namespace {

char* Put(std::string_view text, char* out) {
    std::memcpy(out, text.data(), text.size());
    return out + text.size();
}

}  // namespace

StatementWriter::StatementWriter(const RowScanner& scanner, const ConversionOptions& options, std::size_t fieldCount,
                                 StatementOutput& output)
    : scanner_(scanner),
      options_(options),
      fieldCount_(fieldCount),
      output_(output),
      dropsNul_(DropsNul(RulesOf(options.dialect))),
      limit_(StatementLimit(options)) {
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

int StatementWriter::Begin(bool closeUnfinished, std::string_view createTable) {
    std::string text;
    const std::string& lineEnd = scanner_.lineEnd();
    const std::string create = createTable.empty()       ? std::string()
                               : lineEnd == kDiskLineEnd ? ToDiskText(createTable) + lineEnd
                                                         : std::string(createTable) + lineEnd;
    // MySQL and MariaDB commit whatever is open when a table is created, so
    // there the table comes before the transaction; elsewhere inside it.
    // An unfinished transaction is rolled back where it stands, so that
    // loading the file never commits its rows with this run's.
    const bool createFirst = options_.dialect == Dialect::MySql;
    if (options_.transaction && closeUnfinished) text += "ROLLBACK;" + lineEnd;
    if (createFirst) text += create;
    if (options_.transaction) text += "BEGIN;" + lineEnd;
    if (!createFirst) text += create;
    return text.empty() ? 0 : WriteStatement(text);
}

int StatementWriter::CheckNuls(std::string_view bytes) {
    if (!dropsNul_ || std::memchr(bytes.data(), '\0', bytes.size()) == nullptr) return 0;
    if (options_.nul == NulChoice::Refuse) return kNulInValue;
    counts_.droppedNuls += static_cast<std::uint64_t>(std::count(bytes.begin(), bytes.end(), '\0'));
    return 0;
}

int StatementWriter::AddRow(std::string_view line, std::uint64_t lineNumber) {
    if (options_.rowsPerInsert <= 1) {
        // One statement a row: the scanner writes it whole, the fastest way,
        // and says whether the row holds a NUL byte; if so, it stays
        // uncommitted until the NUL choice allows it.
        char* at = nullptr;
        if (const int error = output_.Reserve(scanner_.MaxRowSize(line.size()), at)) return error;
        std::size_t count = 0;
        RowMarks marks;
        char* end = scanner_.WriteRow(line, at, count, marks);
        if (marks.nul) {
            if (const int refused = CheckNuls(line)) return refused;
        }
        output_.Commit(end, end);
        ++counts_.statements;
        counts_.nulls += marks.nulls;
        CountRow(count, lineNumber);
        CountOversized(static_cast<std::size_t>(end - at), lineNumber);
        return 0;
    }
    return Add(
        line, scanner_.MaxValuesSize(line.size()),
        [this, line](char* out, std::size_t& count) {
            RowMarks marks;
            out = scanner_.WriteValues(line, out, count, marks);
            counts_.nulls += marks.nulls;
            return out;
        },
        lineNumber);
}

int StatementWriter::AddValues(const std::vector<std::string_view>& values, const std::vector<bool>& quoted,
                               std::string_view bytes, std::uint64_t lineNumber, std::size_t recordValues) {
    const DialectRules& rules = RulesOf(options_.dialect);
    const std::size_t maxSize = MaxLiteralSize(rules, bytes.size()) + (MaxLiteralSize(rules, 0) + 1) * values.size();
    return Add(
        bytes, maxSize,
        [this, &values, &quoted, &rules](char* out, std::size_t& count) {
            count = values.size();
            for (std::size_t i = 0; i < values.size(); ++i) {
                if (i > 0) *out++ = ',';
                if (WritesNull(options_, values[i], i < quoted.size() && quoted[i])) {
                    out = Put("NULL", out);
                    ++counts_.nulls;
                } else {
                    out = WriteLiteral(rules, values[i], out);
                }
            }
            return out;
        },
        lineNumber, recordValues);
}

template <typename ValuesWriter>
int StatementWriter::Add(std::string_view bytes, std::size_t maxValuesSize, const ValuesWriter& writeValues,
                         std::uint64_t lineNumber, std::size_t recordValues) {
    if (const int refused = CheckNuls(bytes)) return refused;
    std::size_t count = 0;
    if (options_.rowsPerInsert <= 1) {
        // A statement of its own: head, values, tail, and it ends at once.
        char* at = nullptr;
        const std::size_t size = scanner_.head().size() + maxValuesSize + tail_.size();
        if (const int error = output_.Reserve(size, at)) return error;
        char* end = Put(tail_, writeValues(Put(scanner_.head(), at), count));
        output_.Commit(end, end);
        ++counts_.statements;
        CountOversized(static_cast<std::size_t>(end - at), lineNumber);
    } else if (const int error = AddToBatch(maxValuesSize, writeValues, count, lineNumber)) {
        return error;
    }
    CountRow(recordValues != 0 ? recordValues : count, lineNumber);
    return 0;
}

void StatementWriter::CountRow(std::size_t values, std::uint64_t lineNumber) {
    ++counts_.rows;
    if (fieldCount_ != 0 && values != fieldCount_ && counts_.mismatchedRows++ == 0) {
        counts_.firstMismatchLine = lineNumber;
    }
}

void StatementWriter::CountOversized(std::size_t bytes, std::uint64_t lineNumber) {
    if (limit_ != 0 && bytes > limit_ && counts_.oversizedRows++ == 0) counts_.firstOversizedLine = lineNumber;
}

template <typename ValuesWriter>
int StatementWriter::AddToBatch(std::size_t maxValuesSize, const ValuesWriter& writeValues, std::size_t& count,
                                std::uint64_t lineNumber) {
    // The values go after room for the longest prefix; once their number is
    // known, the prefix is chosen and the row moved up against it.
    const std::size_t room = std::max({continuation_.size(), closeAndHead_.size(), scanner_.head().size()});
    char* at = nullptr;
    if (const int error = output_.Reserve(room + maxValuesSize + 2, at)) return error;
    char* values = at + room;
    char* end = writeValues(values, count);

    // A row goes on the open statement while it has room: rows to spare,
    // the same number of values, and bytes under the limit with its end.
    const std::size_t rowBytes = static_cast<std::size_t>(end - values) + 2;  // and " )"
    const std::size_t ending = 1 + scanner_.lineEnd().size();                 // ";" and the line end
    const bool open = rowsInStatement_ > 0;
    const bool fits = limit_ == 0 || statementBytes_ + continuation_.size() + rowBytes + ending <= limit_;
    const bool continues = open && rowsInStatement_ < options_.rowsPerInsert && count == statementValues_ && fits;
    const std::string_view prefix = continues ? std::string_view(continuation_)
                                    : open    ? std::string_view(closeAndHead_)
                                              : std::string_view(scanner_.head());
    char* rowStart = Put(prefix, at);
    std::memmove(rowStart, values, static_cast<std::size_t>(end - values));
    end = Put(" )", rowStart + (end - values));
    // The row waits for its "," or ";"; starting a statement after an open
    // one ended that one with its ";" and line end.
    output_.Commit(end, open && !continues ? at + ending : nullptr);
    if (continues) {
        ++rowsInStatement_;
        statementBytes_ += continuation_.size() + rowBytes;
    } else {
        rowsInStatement_ = 1;
        statementValues_ = count;
        statementBytes_ = scanner_.head().size() + rowBytes;
        ++counts_.statements;
        CountOversized(statementBytes_ + ending, lineNumber);
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
