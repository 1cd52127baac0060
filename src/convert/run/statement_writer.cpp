#include "convert/run/statement_writer.h"

#include <algorithm>
#include <cstring>

#include "convert/sql/sql_dialect.h"
#include "convert/sql/upsert.h"
#include "convert/sql/null_choice.h"
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
                                 StatementOutput& output, const StatementForm& form)
    : scanner_(scanner),
      options_(options),
      fieldCount_(fieldCount),
      output_(&output),
      rules_(options.copy ? kCopyTextRules : RulesOf(options.dialect)),
      dropsNul_(DropsNul(rules_)),
      limit_(StatementLimit(options)),
      batchLimit_(BatchLimit(options)),
      rows_(RowsPerStatement(options)),
      head_(options.copy ? form.copyHead : scanner.head()),
      // psql reads a COPY block's lines, its end marker and the COPY line
      // before them up to LF alone; a CR would be part of the line.
      rowEnd_(options.copy ? "\n" : " )"),
      continuation_(options.copy ? "" : "," + scanner.lineEnd() + "( "),
      ending_(options.copy ? "\\.\n" : form.conflict + ";" + scanner.lineEnd()),
      separator_(options.copy ? '\t' : ','),
      null_(rules_.null),
      nulls_(options),
      keys_(form.keys),
      openKeys_(form.keys.size()),
      commaDecimals_(form.commaDecimals) {
    closeAndHead_.append(ending_).append(head_);
    tail_.append(rowEnd_).append(ending_);
}

int StatementWriter::WriteStatement(std::string_view text) {
    char* at = nullptr;
    if (const int error = output_->Reserve(text.size(), at)) return error;
    char* end = Put(text, at);
    output_->Commit(end, end);
    partBytes_ += text.size();
    return 0;
}

std::string StatementWriter::SessionLines() const {
    std::string text;
    if (options_.copy) text += kCopySessionLine;
    if (const std::string_view session = RulesOf(options_.dialect).session; !session.empty())
        text.append(session).append(scanner_.lineEnd());
    return text;
}

bool StatementWriter::PartFull(std::size_t added, std::size_t closing) const {
    if (parts_ == nullptr || partRows_ == 0) return false;
    if (options_.splitRows != 0 && partRows_ >= options_.splitRows) return true;
    return options_.splitBytes != 0 && partBytes_ + added + closing + partEnd_.size() > options_.splitBytes;
}

int StatementWriter::SwitchPart() {
    const int error = parts_->Next();
    // The next part, or after a failure where the run's last bytes go.
    output_ = &parts_->Current();
    partRows_ = 0;
    partBytes_ = 0;
    return error;
}

int StatementWriter::NextPart() {
    if (rowsInStatement_ > 0) {
        rowsInStatement_ = 0;
        if (const int error = WriteStatement(ending_)) return error;
    }
    if (const int error = WriteStatement(partEnd_)) return error;
    if (const int error = SwitchPart()) return error;
    return WriteStatement(SessionLines() + (options_.transaction ? "BEGIN;" + scanner_.lineEnd() : std::string()));
}

int StatementWriter::Begin(bool closeUnfinished, std::string_view createTable) {
    std::string text;
    const std::string& lineEnd = scanner_.lineEnd();
    std::string create = createTable.empty() ? std::string() : std::string(createTable) + lineEnd;
    // MySQL and MariaDB commit whatever is open when a table is created, so
    // there the table comes before the transaction; elsewhere inside it.
    // An unfinished transaction is rolled back where it stands, so that
    // loading the file never commits its rows with this run's.
    const bool createFirst = options_.dialect == Dialect::MySql;
    if (options_.transaction && closeUnfinished) text += "ROLLBACK;" + lineEnd;
    // The session's settings first, so that every statement after them reads
    // the same whatever the server's or client's defaults.
    text += SessionLines();
    // Parts each load alone, the table's before the others.
    if (parts_ != nullptr && !create.empty()) {
        if (const int error = WriteStatement(text + create)) return error;
        if (const int error = SwitchPart()) return error;
        text = SessionLines();
        create.clear();
    }
    if (createFirst) text += create;
    if (options_.transaction) text += "BEGIN;" + lineEnd;
    if (!createFirst) text += create;
    return text.empty() ? 0 : WriteStatement(text);
}

int StatementWriter::CheckNuls(std::string_view bytes, std::uint64_t lineNumber) {
    if (!dropsNul_ || std::memchr(bytes.data(), '\0', bytes.size()) == nullptr) return 0;
    if (options_.nul == NulChoice::Refuse && problems_ == nullptr) return kNulInValue;
    if (options_.nul == NulChoice::Refuse) {
        problems_->Problem(lineNumber, "holds a NUL byte, which the " + std::string(DialectName(options_.dialect)) +
                                           " dialect cannot write (--nul strip drops such bytes)");
    }
    counts_.droppedNuls += static_cast<std::uint64_t>(std::count(bytes.begin(), bytes.end(), '\0'));
    return 0;
}

int StatementWriter::AddRow(std::string_view line, std::uint64_t lineNumber, std::string_view original) {
    original_ = original;
    if (rows_ <= 1) {
        // One statement a row: the scanner writes it whole, the fastest way,
        // and says whether the row holds a NUL byte; if so, it stays
        // uncommitted until the NUL choice allows it.
        char* at = nullptr;
        if (const int error = output_->Reserve(scanner_.MaxRowSize(line.size()), at)) return error;
        std::size_t count = 0;
        RowMarks marks;
        char* end = scanner_.WriteRow(line, at, count, marks);
        const std::size_t size = static_cast<std::size_t>(end - at);
        NoteOpenEnd(marks, lineNumber);
        if (count < scanner_.fieldsNeeded()) return kMissingColumn;
        if (settingAside_) {
            const bool refusedNul = marks.nul && dropsNul_ && options_.nul == NulChoice::Refuse;
            if (const std::string why = Unloadable(count, refusedNul, size); !why.empty())
                return SetAside(original.data() != nullptr ? original : line, lineNumber, why);
        }
        // A full part ends here; the row is written again into the next.
        if (PartFull(size, 0)) {
            if (const int error = NextPart()) return error;
            return AddRow(line, lineNumber, original);
        }
        if (marks.nul) {
            if (const int refused = CheckNuls(line, lineNumber)) return refused;
        }
        output_->Commit(end, end);
        partBytes_ += size;
        ++counts_.statements;
        counts_.nulls += marks.nulls;
        CountRow(count, lineNumber);
        CountPartRow(lineNumber);
        CountOversized(size, lineNumber);
        return 0;
    }
    const int result = Add(
        line, scanner_.MaxValuesSize(line.size()),
        [this, line, lineNumber](char* out, std::size_t& count) {
            RowMarks marks;
            out = scanner_.WriteValues(line, out, count, marks);
            counts_.nulls += marks.nulls;
            NoteOpenEnd(marks, lineNumber);
            return out;
        },
        lineNumber);
    original_ = {};
    return result;
}

void StatementWriter::NoteOpenEnd(const RowMarks& marks, std::uint64_t lineNumber) {
    if (marks.openAtEnd && problems_ != nullptr) problems_->Problem(lineNumber, std::string(kOpenAtLineEnd));
}

int StatementWriter::AddValues(const std::vector<std::string_view>& values, const std::vector<bool>& quoted,
                               std::string_view bytes, std::uint64_t lineNumber, std::size_t recordValues,
                               std::string_view original) {
    original_ = original;
    const std::size_t maxSize = MaxLiteralSize(rules_, bytes.size()) + (MaxLiteralSize(rules_, 0) + 1) * values.size();
    keyed_ = !keys_.empty();
    rowKey_.clear();
    for (const std::size_t place : keys_) {
        // A NULL never equals another: such a row meets no other.
        keyed_ = keyed_ && place < values.size() && !nulls_.Null(values[place], place < quoted.size() && quoted[place]);
        if (keyed_) rowKey_.push_back(values[place]);
    }
    const int result = Add(
        bytes, maxSize,
        [this, &values, &quoted](char* out, std::size_t& count) {
            count = values.size();
            for (std::size_t i = 0; i < values.size(); ++i) {
                if (i > 0) *out++ = separator_;
                if (nulls_.Null(values[i], i < quoted.size() && quoted[i])) {
                    out = Put(null_, out);
                    ++counts_.nulls;
                } else if (i < commaDecimals_.size() && commaDecimals_[i]) {
                    // The decimal's comma as the point the database reads.
                    pointed_.assign(values[i]);
                    std::replace(pointed_.begin(), pointed_.end(), ',', '.');
                    pointed_.append(kLiteralPadding, '\0');
                    out = WriteLiteral(rules_, std::string_view(pointed_.data(), values[i].size()), out);
                } else {
                    out = WriteLiteral(rules_, values[i], out);
                }
            }
            return out;
        },
        lineNumber, recordValues);
    original_ = {};
    return result;
}

template <typename ValuesWriter>
int StatementWriter::Add(std::string_view bytes, std::size_t maxValuesSize, const ValuesWriter& writeValues,
                         std::uint64_t lineNumber, std::size_t recordValues) {
    // A NUL the run would refuse sets the row aside where rows are.
    const bool refusedNul = settingAside_ && dropsNul_ && options_.nul == NulChoice::Refuse &&
                            std::memchr(bytes.data(), '\0', bytes.size()) != nullptr;
    if (!refusedNul) {
        if (const int refused = CheckNuls(bytes, lineNumber)) return refused;
    }
    std::size_t count = 0;
    const std::uint64_t rejected = counts_.rejected;
    const int error = rows_ <= 1
                          ? AddAlone(bytes, maxValuesSize, writeValues, count, lineNumber, recordValues, refusedNul)
                          : AddToBatch(bytes, maxValuesSize, writeValues, count, lineNumber, recordValues, refusedNul);
    if (error != 0 || counts_.rejected != rejected) return error;
    CountRow(recordValues != 0 ? recordValues : count, lineNumber);
    CountPartRow(lineNumber);
    return 0;
}

template <typename ValuesWriter>
int StatementWriter::AddAlone(std::string_view bytes, std::size_t maxValuesSize, const ValuesWriter& writeValues,
                              std::size_t& count, std::uint64_t lineNumber, std::size_t recordValues, bool refusedNul) {
    // A statement of its own: head, values, tail, and it ends at once.
    char* at = nullptr;
    const std::size_t size = head_.size() + maxValuesSize + tail_.size();
    if (const int error = output_->Reserve(size, at)) return error;
    const std::uint64_t nulls = counts_.nulls;
    count = 0;
    char* end = Put(tail_, writeValues(Put(head_, at), count));
    const std::size_t written = static_cast<std::size_t>(end - at);
    if (settingAside_) {
        const std::string why = Unloadable(recordValues != 0 ? recordValues : count, refusedNul, written);
        if (!why.empty()) {
            counts_.nulls = nulls;
            return SetAside(original_.data() != nullptr ? original_ : bytes, lineNumber, why);
        }
    }
    // A full part ends here; the row is written again into the next.
    if (PartFull(written, 0)) {
        counts_.nulls = nulls;
        if (const int error = NextPart()) return error;
        return AddAlone(bytes, maxValuesSize, writeValues, count, lineNumber, recordValues, refusedNul);
    }
    output_->Commit(end, end);
    partBytes_ += written;
    ++counts_.statements;
    CountOversized(written, lineNumber);
    return 0;
}

void StatementWriter::CountPartRow(std::uint64_t lineNumber) {
    if (parts_ == nullptr) return;
    ++partRows_;
    parts_->AddRow(inputName_, lineNumber);
}

std::string StatementWriter::Unloadable(std::size_t values, bool nul, std::size_t statementBytes) const {
    if (!settingAside_) return {};
    if (fieldCount_ != 0 && values != fieldCount_) {
        return "has " + std::to_string(values) + (values == 1 ? " value" : " values") + " instead of " +
               std::to_string(fieldCount_);
    }
    if (nul) {
        return "holds a NUL byte, which the " + std::string(DialectName(options_.dialect)) +
               " dialect cannot write (--nul strip drops such bytes)";
    }
    if (limit_ != 0 && statementBytes > limit_) {
        return "makes a statement of " + std::to_string(statementBytes) + " bytes on its own, over " +
               "--max-statement-bytes " + std::to_string(limit_);
    }
    return {};
}

int StatementWriter::SetAside(std::string_view bytes, std::uint64_t lineNumber, const std::string& reason) {
    ++counts_.rejected;
    counts_.lastRejectedLine = lineNumber;
    if (rejects_ != nullptr) {
        if (const int error = rejects_->Add(bytes, lineNumber, reason)) {
            rejectsError_ = error;
            return kRejectsFailed;
        }
    }
    return counts_.rejected > options_.maxRejects ? kTooManyRejects : 0;
}

void StatementWriter::CountRow(std::size_t values, std::uint64_t lineNumber) {
    ++counts_.rows;
    if (fieldCount_ == 0 && problems_ != nullptr && (valueCounts_.size() < kTallied || valueCounts_.contains(values))) {
        Tally& tally = valueCounts_[values];
        ++tally.rows;
        if (tally.lines.size() < kLinesKept) tally.lines.push_back(lineNumber);
    }
    if (fieldCount_ == 0 || values == fieldCount_) return;
    if (counts_.mismatchedRows++ == 0) {
        counts_.firstMismatchLine = lineNumber;
        counts_.firstMismatchInput = inputName_;
    }
    if (problems_ != nullptr) {
        problems_->Problem(lineNumber, "has " + std::to_string(values) + (values == 1 ? " value" : " values") +
                                           " instead of " + std::to_string(fieldCount_));
    }
}

void StatementWriter::AddCounts(const RowCounts& part, std::uint64_t lines) {
    if (counts_.mismatchedRows == 0 && part.mismatchedRows != 0) {
        counts_.firstMismatchLine = part.firstMismatchLine + lines;
        counts_.firstMismatchInput = inputName_;
    }
    if (counts_.oversizedRows == 0 && part.oversizedRows != 0)
        counts_.firstOversizedLine = part.firstOversizedLine + lines;
    counts_.statements += part.statements;
    counts_.rows += part.rows;
    counts_.mismatchedRows += part.mismatchedRows;
    counts_.droppedNuls += part.droppedNuls;
    counts_.oversizedRows += part.oversizedRows;
    counts_.nulls += part.nulls;
}

void StatementWriter::CountOversized(std::size_t bytes, std::uint64_t lineNumber) {
    if (limit_ == 0 || bytes <= limit_) return;
    if (counts_.oversizedRows++ == 0) counts_.firstOversizedLine = lineNumber;
    if (problems_ != nullptr) {
        problems_->Problem(lineNumber, "makes a statement of " + std::to_string(bytes) +
                                           " bytes on its own, over --max-statement-bytes " + std::to_string(limit_));
    }
}

template <typename ValuesWriter>
int StatementWriter::AddToBatch(std::string_view bytes, std::size_t maxValuesSize, const ValuesWriter& writeValues,
                                std::size_t& count, std::uint64_t lineNumber, std::size_t recordValues,
                                bool refusedNul) {
    // The values go after room for the longest prefix; once their number is
    // known, the prefix is chosen and the row moved up against it.
    const std::size_t room = std::max({continuation_.size(), closeAndHead_.size(), head_.size()});
    char* at = nullptr;
    if (const int error = output_->Reserve(room + maxValuesSize + rowEnd_.size(), at)) return error;
    char* values = at + room;
    const std::uint64_t nulls = counts_.nulls;
    count = 0;
    char* end = writeValues(values, count);

    // A row goes on the open statement while it has room: rows to spare,
    // the same number of values, and bytes under the limit with its end.
    const std::size_t rowBytes = static_cast<std::size_t>(end - values) + rowEnd_.size();
    const std::size_t ending = ending_.size();
    if (settingAside_) {
        const std::string why =
            Unloadable(recordValues != 0 ? recordValues : count, refusedNul, head_.size() + rowBytes + ending);
        if (!why.empty()) {
            counts_.nulls = nulls;
            return SetAside(original_.data() != nullptr ? original_ : bytes, lineNumber, why);
        }
    }
    const bool open = rowsInStatement_ > 0;
    const bool fits = batchLimit_ == 0 || statementBytes_ + continuation_.size() + rowBytes + ending <= batchLimit_;
    // A row whose key meets one of the open statement's rows starts a new
    // one, so that each database gives the result of one row at a time.
    const bool meets = keyed_ && openKeys_.Meets(rowKey_);
    const bool continues = open && rowsInStatement_ < rows_ && count == statementValues_ && fits && !meets;
    const std::string_view prefix = continues ? std::string_view(continuation_)
                                    : open    ? std::string_view(closeAndHead_)
                                              : std::string_view(head_);
    // A full part ends here; the row is written again into the next.
    if (PartFull(prefix.size() + rowBytes, ending)) {
        counts_.nulls = nulls;
        if (const int error = NextPart()) return error;
        return AddToBatch(bytes, maxValuesSize, writeValues, count, lineNumber, recordValues, refusedNul);
    }
    if (!continues) openKeys_.Clear();
    if (keyed_) openKeys_.Add();
    char* rowStart = Put(prefix, at);
    std::memmove(rowStart, values, static_cast<std::size_t>(end - values));
    end = Put(rowEnd_, rowStart + (end - values));
    // The row waits for its "," or ";"; starting a statement after an open
    // one ended that one with its ";" and line end.
    output_->Commit(end, open && !continues ? at + ending : nullptr);
    partBytes_ += static_cast<std::size_t>(end - at);
    if (continues) {
        ++rowsInStatement_;
        statementBytes_ += continuation_.size() + rowBytes;
    } else {
        rowsInStatement_ = 1;
        statementValues_ = count;
        statementBytes_ = head_.size() + rowBytes;
        ++counts_.statements;
        CountOversized(statementBytes_ + ending, lineNumber);
    }
    return 0;
}

void StatementWriter::ReportUnusualCounts() {
    if (valueCounts_.size() < 2) return;
    std::size_t usual = 0;
    std::uint64_t most = 0;
    for (const auto& [values, tally] : valueCounts_) {
        if (tally.rows > most) usual = values, most = tally.rows;
    }
    // In the order of the lines, as a check tells the rest.
    std::vector<std::pair<std::uint64_t, std::size_t>> unusual;
    for (const auto& [values, tally] : valueCounts_) {
        if (values == usual) continue;
        for (const std::uint64_t line : tally.lines) unusual.emplace_back(line, values);
        // The rows past the lines kept are counted on the last of them.
        if (tally.rows > tally.lines.size()) {
            const std::uint64_t more = tally.rows - tally.lines.size();
            problems_->Problem(tally.lines.back(), "and " + std::to_string(more) + " more " +
                                                       (more == 1 ? "record has " : "records have ") +
                                                       std::to_string(values) + " values");
        }
    }
    std::sort(unusual.begin(), unusual.end());
    for (const auto& [line, values] : unusual) {
        problems_->Problem(line, "has " + std::to_string(values) + (values == 1 ? " value" : " values") +
                                     ", where most records have " + std::to_string(usual));
    }
    valueCounts_.clear();
}

int StatementWriter::End(bool succeeded) {
    if (problems_ != nullptr) ReportUnusualCounts();
    if (rowsInStatement_ > 0) {
        rowsInStatement_ = 0;
        if (const int error = WriteStatement(ending_)) return error;
    }
    if (!options_.transaction) return 0;
    return WriteStatement((succeeded ? "COMMIT;" : "ROLLBACK;") + scanner_.lineEnd());
}

}  // namespace rowsmith
