#include "convert/run/conversion_run.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <optional>
#include <string_view>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "convert/options/column_choice.h"
#include "convert/sql/column_types.h"
#include "convert/read/csv_reader.h"
#include "convert/run/messages.h"
#include "convert/read/row_rules.h"
#include "convert/read/row_scanner.h"
#include "convert/run/run_message.h"
#include "convert/sql/script_end.h"
#include "convert/sql/sql_dialect.h"
#include "convert/run/statement_output.h"
#include "convert/run/statement_writer.h"
#include "convert/sql/upsert.h"
#include "convert/sql/null_choice.h"
#include "io/stop_request.h"
#include "io/iconv_source.h"
#include "io/input_source.h"
#include "io/open_file.h"
#include "io/status.h"
#include "io/text_mode.h"
#include "io/text_mode_reader.h"
#include "io/unique_fd.h"

namespace rowsmith {

namespace {

static_assert(TextModeReader::kPadding >= RowScanner::kPadding, "lines from the reader go to WriteRow as they stand");

RunReport Report(RunStatus status, Message message) {
    RunReport report;
    report.status = status;
    report.text = message.text;
    report.caption = message.caption;
    return report;
}

// INSERT INTO needs a table: with none, not one statement would load.
bool NoTable(const ConversionSettings& settings) {
    return TrimTrailingSpace(settings.tableName).empty();
}

bool HasNul(std::string_view text) {
    return text.find('\0') != std::string_view::npos;
}

// A run a stop request ended before it wrote anything.
RunReport Stopped() {
    RunReport report = Report(RunStatus::Cancelled, kCancelledMessage);
    report.stopSignal = StopSignal();
    return report;
}

// Takes turns on the output with other runs: a POSIX record lock on the
// whole file, which each process holds on its own, so that runs sharing one
// inherited descriptor take turns too. While another run holds it, the
// lock is tried again every few milliseconds until a stop is requested.
class OutputLock {
public:
    OutputLock() = default;
    OutputLock(const OutputLock&) = delete;
    OutputLock& operator=(const OutputLock&) = delete;
    ~OutputLock() {
        if (fd_ >= 0) Set(F_UNLCK);
    }

    // 0, or kStopped when a stop came first. A file that takes no lock (on
    // some network file systems) is written without one.
    int Take(int fd) {
        for (;;) {
            fd_ = fd;
            if (Set(F_WRLCK) == 0) return 0;
            fd_ = -1;
            if (errno != EACCES && errno != EAGAIN) return 0;
            if (WaitForStop(kRetryMilliseconds) == kStopped) return kStopped;
        }
    }

private:
    static constexpr int kRetryMilliseconds = 20;

    int Set(short type) const {
        struct flock lock {};
        lock.l_type = type;
        lock.l_whence = SEEK_SET;  // from the start, to the end whatever it becomes
        return ::fcntl(fd_, F_SETLK, &lock);
    }

    int fd_ = -1;
};

// What a run found at the end of its output before it appended to it.
struct OutputStart {
    bool insideTransaction = false;  // the statements there leave a transaction open
    std::uint64_t cutBytes = 0;      // bytes of a statement cut short, taken away
};

// Reads the output (through tailFd, a reading descriptor of the regular file
// outputFd writes) as the client of the run's dialect reads it, and takes
// away a statement of Rowsmith's that a run cut short (killed while it
// wrote), so that nothing this run writes continues it. A cut text that is
// not Rowsmith's is left alone, and the run stopped. The report that stops
// the run, if any.
std::optional<RunReport> ReadyOutput(int tailFd, int outputFd, const ConversionOptions& options, OutputStart& start) {
    if (tailFd < 0) return std::nullopt;
    ScriptEnd end;
    if (ReadScriptEnd(tailFd, options.dialect, end) != 0) return std::nullopt;
    start.insideTransaction = end.insideTransaction;
    if (!end.CutShort()) return std::nullopt;
    RunReport refused = Report(RunStatus::UnsafeOutput, kUnsafeOutputMessage);
    const std::string shown(TrimTrailingSpace(end.tail.substr(0, end.tail.find_first_of("\r\n"))));
    if (!RowsmithsCutStatement(end.tail)) {
        refused.reason = "it ends with text that is not a whole statement (\"" + shown +
                         "\"), which Rowsmith did not write: nothing was appended to it";
        return refused;
    }
    if (::ftruncate(outputFd, static_cast<off_t>(end.wholeEnd)) != 0) {
        refused.error = errno;
        refused.reason = "it ends with part of a statement cut short (\"" + shown + "\"), which cannot be taken out (" +
                         StatusText(errno) + "): nothing was appended to it";
        return refused;
    }
    start.cutBytes = end.size - end.wholeEnd;
    return std::nullopt;
}

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// One value of a record into the column types, unless it is written as NULL.
struct Tallier {
    Tallier(ColumnTally& into, const ConversionOptions& of)
        : tally(into), options(of), nulls(of.null != NullMode::None || !of.nullTokens.empty()) {}
    // Whether the next value matters too.
    bool operator()(std::string_view value, bool quoted) {
        if (!nulls || !WritesNull(options, value, quoted)) {
            tally.Add(column, value);
        } else {
            tally.AddNull(column);
        }
        return ++column < tally.wanted();
    }
    // The chosen values of a record, one after another.
    void AddAll(const ChosenValues<std::string_view>& chosen) {
        for (std::size_t i = 0; i < chosen.values().size() && (*this)(chosen.values()[i], chosen.quoted()[i]); ++i) {
        }
    }
    ColumnTally& tally;
    const ConversionOptions& options;
    bool nulls;  // some values may be NULL
    std::size_t column = 0;
};

// "line 7 has 2 values, and --columns takes column 5"
std::string MissingColumnText(std::uint64_t line, std::size_t values, std::size_t column) {
    return "line " + std::to_string(line) + " has " + std::to_string(values) + (values == 1 ? " value" : " values") +
           ", and --columns takes column " + std::to_string(column + 1);
}

// What a check looks for in every record's bytes, besides what the
// statement writer sees.
struct RecordInspector {
    ProblemObserver* problems = nullptr;
    bool utf8 = false;  // the text must be UTF-8
    void Look(std::string_view bytes, std::uint64_t line) const {
        if (utf8 && !IsUtf8(bytes)) {
            problems->Problem(line,
                              "holds bytes that are not UTF-8 (--encoding names the character set the file "
                              "is written in)");
        }
    }
};

// The input under the line rules: each line a row.
class LineRecords {
public:
    LineRecords(ByteSource& source, const ConversionOptions& options, std::size_t blockSize)
        : source_(source),
          reader_(source, blockSize),
          options_(options),
          delimiter_(options.delimiter),
          asValues_(ReadsValues(options)) {}
    // From now on only these columns become values (--columns).
    void Choose(const std::vector<ChosenColumn>& columns) { chosen_.emplace(columns); }
    // A check: each line's faults go to problems; utf8: the text must be UTF-8.
    void Check(ProblemObserver* problems, bool utf8) { inspector_ = {problems, utf8}; }
    int Next() {
        const int status = reader_.NextLine(line_);
        if (status == 0) ++number_;
        if (status == 0 && inspector_.problems != nullptr) Inspect();
        return status;
    }
    // The next record as values: the header.
    int NextValues(std::vector<std::string>& values) {
        const int status = Next();
        if (status == 0) values = SplitRow(line_, delimiter_);
        return status;
    }
    int AddTo(StatementWriter& writer) {
        if (!asValues_) return writer.AddRow(line_, number_);
        if (!ReadValues()) return kTooManyFields;
        if (!chosen_) return writer.AddValues(views_, quoted_, line_, number_);
        if (!chosen_->Take(views_, quoted_)) return kMissingColumn;
        return writer.AddValues(chosen_->values(), chosen_->quoted(), line_, number_, views_.size());
    }
    void TallyInto(ColumnTally& tally) {
        if (!chosen_) return ForEachValue(line_, delimiter_, Tallier{tally, options_});
        if (!ReadValues()) return;  // the conversion says so
        // A record without a chosen column stops the conversion, which says so.
        if (chosen_->Take(views_, quoted_)) Tallier{tally, options_}.AddAll(*chosen_);
    }
    std::uint64_t number() const { return number_; }
    std::uint64_t bytesConsumed() const { return reader_.bytesConsumed(); }
    std::uint64_t reads() const { return reader_.reads(); }
    std::string Describe(int error) const {
        if (error == kMissingColumn) return MissingColumnText(number_, views_.size(), chosen_->missing());
        if (error == kTooManyFields) {
            return "line " + std::to_string(number_) + " has more than " + std::to_string(CsvReader::kMaxFields) +
                   " fields, the most Rowsmith reads";
        }
        if (error == kLineTooLong) {
            return "line " + std::to_string(number_ + 1) + " is longer than " +
                   std::to_string(TextModeReader::kMaxLineSize >> 20) + " MiB, the longest Rowsmith reads";
        }
        return source_.Describe(error);
    }

    // The line a read failure stops at: the one after the last read.
    std::uint64_t failedLine() const { return number_ + 1; }

private:
    // A quoted field still open at the end of the line loses its last byte.
    void Inspect() {
        inspector_.Look(line_, number_);
        const std::string_view line = TrimLine(line_, delimiter_);
        bool closed = true;
        ForEachValue(line, delimiter_, [&closed, line](std::string_view value, bool quoted) {
            // Closed: by the line's last byte, a quote that is not the opening one.
            const char* end = line.data() + line.size();
            closed = !quoted || (line.back() == '"' && value.data() < end && value.data() + value.size() + 1 == end);
            return true;
        });
        if (!closed) {
            inspector_.problems->Problem(number_,
                                         "a quoted field is still open at the end of the line, which loses "
                                         "its last byte (--rfc4180 reads quotes across lines)");
        }
    }

    // The line as values, for the NULL choice's quotes or --columns: each
    // where it lies in the line, so the reader's room after the line
    // follows each (the literal writer reads whole blocks). False for a
    // line of more fields than a record may have.
    bool ReadValues() {
        views_.clear();
        quoted_.clear();
        ForEachValue(line_, delimiter_, [this](std::string_view value, bool quoted) {
            views_.push_back(value);
            quoted_.push_back(quoted);
            return views_.size() <= CsvReader::kMaxFields;
        });
        return views_.size() <= CsvReader::kMaxFields;
    }

    ByteSource& source_;
    TextModeReader reader_;
    const ConversionOptions& options_;
    char delimiter_;
    bool asValues_;
    std::string_view line_;
    std::uint64_t number_ = 0;
    std::vector<bool> quoted_;
    std::vector<std::string_view> views_;
    std::optional<ChosenValues<std::string_view>> chosen_;
    RecordInspector inspector_;
};

// The input as standard CSV: each record a row.
class CsvRecords {
public:
    CsvRecords(ByteSource& source, const ConversionOptions& options, std::size_t blockSize)
        : reader_(source, options.delimiter, blockSize), options_(options), asValues_(ReadsValues(options)) {}
    void Choose(const std::vector<ChosenColumn>& columns) { chosen_.emplace(columns); }
    // A record written regularly goes to the scanner as it stands, unless
    // the NULL choice looks at the quotes; any other as the values the
    // reader reads.
    void Check(ProblemObserver* problems, bool utf8) { inspector_ = {problems, utf8}; }
    int Next() {
        const int status = asValues_ ? reader_.Next(values_, number_) : reader_.Next(values_, record_, number_);
        if (status == 0 && inspector_.problems != nullptr)
            inspector_.Look(record_.data() != nullptr ? record_ : ValueBytes(), number_);
        return status;
    }
    int NextValues(std::vector<std::string>& values) {
        const int status = reader_.Next(values_, number_);
        if (status == 0) values.assign(values_.begin(), values_.end());
        return status;
    }
    int AddTo(StatementWriter& writer) {
        if (record_.data() != nullptr) return writer.AddRow(record_, number_);
        const std::string_view bytes = ValueBytes();
        if (!chosen_) return writer.AddValues(values_, reader_.quoted(), bytes, number_);
        if (!chosen_->Take(values_, reader_.quoted())) return kMissingColumn;
        return writer.AddValues(chosen_->values(), chosen_->quoted(), bytes, number_, values_.size());
    }
    void TallyInto(ColumnTally& tally) {
        Tallier tallier{tally, options_};
        if (record_.data() != nullptr) return CsvReader::ForEachRegularValue(record_, options_.delimiter, tallier);
        if (chosen_) {
            if (chosen_->Take(values_, reader_.quoted())) tallier.AddAll(*chosen_);
            return;
        }
        for (std::size_t i = 0; i < values_.size() && tallier(values_[i], reader_.quoted()[i]); ++i) {
        }
    }
    std::uint64_t number() const { return number_; }
    std::uint64_t bytesConsumed() const { return reader_.bytesConsumed(); }
    std::uint64_t reads() const { return reader_.reads(); }
    std::string Describe(int error) const {
        if (error == kMissingColumn) return MissingColumnText(number_, values_.size(), chosen_->missing());
        return reader_.Describe(error);
    }
    // The record a read failure stops at: where it starts.
    std::uint64_t failedLine() const { return number_; }

private:
    // The values lie one after another, so their bytes are looked at at once.
    std::string_view ValueBytes() const {
        if (values_.empty()) return {};
        return {values_.front().data(),
                static_cast<std::size_t>(values_.back().data() + values_.back().size() - values_.front().data())};
    }

    CsvReader reader_;
    const ConversionOptions& options_;
    bool asValues_;
    std::vector<std::string_view> values_;
    std::string_view record_;
    std::uint64_t number_ = 0;
    std::optional<ChosenValues<std::string_view>> chosen_;
    RecordInspector inspector_;
};

// The field list of a run, and its number of names (0 when not known);
// with --create-table, the names one by one.
struct Fields {
    std::string list;
    std::size_t count = 0;
    std::vector<TableColumn> columns;
    bool asRead = false;  // a header's names: written as read, a line break in one too
};

// The columns a typed field list names: as written, and without the
// quotes around a quoted name.
std::vector<TableColumn> ColumnsOf(std::string_view list) {
    std::vector<TableColumn> columns;
    for (std::string& name : SplitFieldNames(list)) {
        std::string plain = name;
        const bool quoted = plain.size() >= 2 && ((plain.front() == '"' && plain.back() == '"') ||
                                                  (plain.front() == '`' && plain.back() == '`') ||
                                                  (plain.front() == '[' && plain.back() == ']'));
        if (quoted) plain = plain.substr(1, plain.size() - 2);
        columns.push_back({std::move(name), std::move(plain)});
    }
    return columns;
}

// The field list a header record gives: each name without the blanks
// around it, quoted as an identifier. Empty when a name is empty, repeated
// or holds a NUL byte that is not to be dropped; problem says which.
// places: where each name stands in the header, when not one after another.
Fields FieldsFromHeader(std::vector<std::string> names, const ConversionOptions& options, std::string& problem,
                        const std::vector<ChosenColumn>* places = nullptr) {
    Fields fields{{}, names.size(), {}, true};
    for (std::size_t i = 0; i < names.size(); ++i) {
        std::string& name = names[i];
        if (name.find('\0') != std::string::npos && options.nul == NulChoice::Refuse) {
            const std::size_t column = places != nullptr ? (*places)[i].index : i;
            problem =
                "the header names column " + std::to_string(column + 1) + " with a NUL byte, which no name can hold";
            return {};
        }
        std::erase(name, '\0');
        const std::string_view trimmed = TrimSpace(name);
        name = trimmed;
        if (name.empty()) {
            problem = "column " + std::to_string(i + 1) + " of the header has no name";
            return {};
        }
        for (std::size_t j = 0; j < i; ++j) {
            if (names[j] == name) {
                problem = "columns " + std::to_string(j + 1) + " and " + std::to_string(i + 1) +
                          " of the header are both named \"" + name + "\"";
                return {};
            }
            // Names the database takes for one, though written otherwise.
            if (ComparedName(options.dialect, names[j]) == ComparedName(options.dialect, name)) {
                problem = "columns " + std::to_string(j + 1) + " and " + std::to_string(i + 1) + " of the header, \"" +
                          names[j] + "\" and \"" + name +
                          "\", are one name to the database: " + NameFolding(options.dialect);
                return {};
            }
        }
        if (!fields.list.empty()) fields.list += ", ";
        const std::string quoted = QuoteIdentifier(options.dialect, name);
        fields.list += quoted;
        fields.columns.push_back({quoted, name});
    }
    return fields;
}

// How the loop over the records ended.
struct Outcome {
    int readError = 0;   // 0 at the end of the input, or a failure's code
    int writeError = 0;  // 0, or the code of a failed write
    int refused = 0;     // a record the writer refused (kNulInValue), or 0
    std::uint64_t refusedLine = 0;
    bool cancelled = false;  // by the observer or a stop request
    bool Failed() const { return readError != 0 || writeError != 0 || refused != 0; }
};

// Whether the error of the record just added ends the run: a check goes
// on past a record that lacks a chosen column.
template <typename Records>
bool EndsTheRun(int error, const Records& records, const RunContext& run, Outcome& outcome) {
    if (error == kMissingColumn && run.problems != nullptr) {
        run.problems->Problem(records.number(), records.Describe(error));
        return false;
    }
    (error == kNulInValue || error == kMissingColumn || error == kTooManyFields ? outcome.refused
                                                                                : outcome.writeError) = error;
    outcome.refusedLine = records.number();
    return true;
}

// Converts every record into statements.
template <typename Records>
Outcome ConvertEach(Records& records, StatementWriter& writer, const RunContext& run) {
    Outcome outcome;
    std::uint64_t reported = 0;
    std::uint64_t blocks = 0;
    while (!outcome.cancelled && (outcome.readError = records.Next()) == 0) {
        if (const int error = records.AddTo(writer); error != 0 && EndsTheRun(error, records, run, outcome)) break;
        // Once a block of input: the observer hears how far the run is, and
        // a stop request (from a signal) ends the run here.
        if (records.reads() != blocks) {
            blocks = records.reads();
            if (run.observer && records.bytesConsumed() != reported) {
                reported = records.bytesConsumed();
                outcome.cancelled = !run.observer->Continue(reported, run.totalBytes);
            }
            outcome.cancelled = outcome.cancelled || StopSignal() != 0;
        }
    }
    if (outcome.readError == kEndOfInput) outcome.readError = 0;
    // A check says where the input could be read no further.
    if (run.problems != nullptr && outcome.readError != 0 && outcome.readError != kStopped)
        run.problems->Problem(records.failedLine(), records.Describe(outcome.readError));
    // A wait that a stop request ended is a cancel, not a failure.
    for (int* error : {&outcome.readError, &outcome.writeError}) {
        if (*error == kStopped) *error = 0, outcome.cancelled = true;
    }
    return outcome;
}

// Ends the statements: COMMIT; after a run that went well, ROLLBACK; after
// a cancelled one. With a transaction, a run that failed is one unit on disk
// too: what it wrote is taken back where the file allows, and otherwise
// ended with ROLLBACK; where it still can be. True when it was taken back.
bool EndStatements(Outcome& outcome, StatementWriter& writer, StatementOutput& output, bool transaction) {
    if (transaction && outcome.Failed()) {
        output.Flush();
        if (output.Undo()) return true;
    }
    if (outcome.writeError == 0) outcome.writeError = writer.End(!outcome.cancelled && !outcome.Failed());
    if (const int error = output.Flush(); outcome.writeError == 0) outcome.writeError = error;
    if (outcome.writeError == kStopped) outcome.writeError = 0, outcome.cancelled = true;
    // The last writes failed: the transaction's end, or the last block.
    return transaction && outcome.writeError != 0 && output.Undo();
}

std::string NulRefusal(std::uint64_t line, Dialect dialect) {
    return "line " + std::to_string(line) + " holds a NUL byte, which the " + std::string(DialectName(dialect)) +
           " dialect cannot write (--nul strip drops such bytes)";
}

template <typename Records>
RunReport Report(const Outcome& outcome, const Records& records, const RunContext& run) {
    if (outcome.writeError != 0) return WriteFailedReport(outcome.writeError);
    if (outcome.refused != 0) {
        const std::string reason = outcome.refused == kNulInValue ? NulRefusal(outcome.refusedLine, run.options.dialect)
                                                                  : records.Describe(outcome.refused);
        return ReadFailedReport(run.inputName, outcome.refused, reason);
    }
    if (outcome.readError != 0)
        return ReadFailedReport(run.inputName, outcome.readError, records.Describe(outcome.readError));
    if (!outcome.cancelled) return Report(RunStatus::Done, kDoneMessage);
    RunReport report = Report(RunStatus::Cancelled, kCancelledMessage);
    report.stopSignal = StopSignal();
    return report;
}

RunReport BadOptionsReport(const std::string& problem) {
    RunReport report = Report(RunStatus::BadOptions, kBadOptionsMessage);
    report.reason = problem;
    // Appended, not concatenated: GCC 12 sees a false -Wrestrict in " " + text.
    report.text.append(" ").append(Sentence(problem));
    return report;
}

// Reads every record into the column types; false, with the report, when
// the input cannot be read or the run is stopped.
template <typename Records>
bool TallyRecords(Records& records, const RunContext& run, ColumnTally& tally, RunReport& failed) {
    int status = 0;
    // The table's columns: those the field list names, or the header.
    std::size_t columns = CountFieldNames(run.settings.fieldNames);
    std::vector<std::string> names;
    if (run.options.header) {
        status = records.NextValues(names);
        if (columns == 0) columns = names.size();
    }
    if (!run.options.columns.empty() && status == 0) {
        std::string problem;
        const std::vector<ChosenColumn> chosen =
            ChooseColumns(run.options.columns, run.options.header ? &names : nullptr, problem);
        if (!problem.empty()) return true;  // the conversion says what is wrong, before it writes
        records.Choose(chosen);
        columns = chosen.size();
    }
    // A key's NULLs and longest values count to the end.
    tally = ColumnTally(run.options.dialect, columns, !run.options.key.empty());
    std::uint64_t blocks = 0;
    while (status == 0 && (status = records.Next()) == 0) {
        // Once no value can change a type, the records are still read, for
        // their faults, but no longer looked into.
        if (tally.wanted() > 0) records.TallyInto(tally);
        if (records.reads() != blocks) {
            blocks = records.reads();
            const bool cancelled = run.observer && !run.observer->Continue(records.bytesConsumed(), run.totalBytes);
            if (cancelled || StopSignal() != 0) status = kStopped;
        }
    }
    if (status == kEndOfInput) return true;
    failed = status == kStopped ? Stopped() : ReadFailedReport(run.inputName, status, records.Describe(status));
    return false;
}

// The first of a run's two readings of the input, for --create-table.
bool TallyInput(const RunContext& run, std::size_t block, ColumnTally& tally, RunReport& failed) {
    InputSource input(*run.typingInput);
    if (const int error = input.Open(run.options.encoding)) {
        failed = error == kStopped ? Stopped() : ReadFailedReport(run.inputName, error, input.Describe(error));
        return false;
    }
    if (run.options.rfc4180) {
        CsvRecords records(input, run.options, block);
        return TallyRecords(records, run, tally, failed);
    }
    LineRecords records(input, run.options, block);
    return TallyRecords(records, run, tally, failed);
}

// The CREATE TABLE statement of a run with --create-table, or its problem.
std::string CreateTable(Fields& fields, const RunContext& run, const ColumnTally* tally, std::string& problem) {
    if (fields.columns.empty() && fields.count != 0) fields.columns = ColumnsOf(fields.list);
    if (fields.columns.empty()) {
        problem = "--create-table needs the names of the columns: give --fields or --header";
        return {};
    }
    // The key the upserts look at is the table's.
    const std::vector<std::size_t> keys =
        run.options.key.empty() ? std::vector<std::size_t>() : KeyPlaces(run.options.key, fields.columns, problem);
    if (!problem.empty()) return {};
    // In the file's text form: the names typed with their line breaks as
    // CR LF, a header's as read.
    std::vector<TableColumn> columns = fields.columns;
    for (TableColumn& column : columns) column.sqlName = fields.asRead ? column.sqlName : ToDiskText(column.sqlName);
    return CreateTableText(ToDiskText(run.settings.tableName), columns, tally, run.options, keys, problem);
}

// With --columns: hands records the columns chosen against the header
// (nullptr: none), and makes their names the field list unless --fields
// gives one. The report of what is wrong with the choice, if anything.
template <typename Records>
std::optional<RunReport> ChooseFields(Records& records, const RunContext& run, const std::vector<std::string>* header,
                                      Fields& fields) {
    std::string problem;
    const std::vector<ChosenColumn> chosen = ChooseColumns(run.options.columns, header, problem);
    if (problem.empty() && fields.count != 0) {
        if (std::any_of(chosen.begin(), chosen.end(), [](const ChosenColumn& c) { return c.renamed; })) {
            problem = "--columns names columns (NAME=NEW) and --fields names them too: give the names once";
        } else if (fields.count != chosen.size()) {
            problem = "--fields names " + std::to_string(fields.count) + " columns, and --columns chooses " +
                      std::to_string(chosen.size());
        }
    }
    // What the header lacks is the file's to say; a list that cannot be
    // read, or does not go with --fields, is the options'.
    if (!problem.empty() && header != nullptr && chosen.empty())
        return ReadFailedReport(run.inputName, kBadHeader, problem);
    if (!problem.empty()) return BadOptionsReport(problem);
    records.Choose(chosen);
    if (fields.count != 0 || chosen.front().name.empty()) return std::nullopt;
    std::vector<std::string> names;
    names.reserve(chosen.size());
    for (const ChosenColumn& column : chosen) names.push_back(column.name);
    fields = FieldsFromHeader(std::move(names), run.options, problem, &chosen);
    if (!problem.empty()) return ReadFailedReport(run.inputName, kBadHeader, problem);
    return std::nullopt;
}

// The fields of a run: those given, or the header's (read here), or the
// columns --columns chooses; checkedValues: what each record's number of
// values is held against (with --columns, the header's, as the record has
// them). The report of what stops the run before it writes, if anything.
template <typename Records>
std::optional<RunReport> ReadFields(Records& records, const RunContext& run, Fields& fields,
                                    std::size_t& checkedValues) {
    const ConversionOptions& options = run.options;
    fields = Fields{run.settings.fieldNames, CountFieldNames(run.settings.fieldNames)};
    std::vector<std::string> names;
    bool headerRead = false;
    if (options.header) {
        // The header names the fields, unless they are given; nothing is
        // written before it is read.
        const int error = records.NextValues(names);
        if (error == kStopped) return Stopped();
        if (error > 0 || (error < 0 && error != kEndOfInput)) {
            return ReadFailedReport(run.inputName, error, records.Describe(error));
        }
        headerRead = error == 0;
        if (headerRead && fields.count == 0 && options.columns.empty()) {
            std::string problem;
            fields = FieldsFromHeader(names, options, problem);
            if (!problem.empty()) {
                if (run.problems == nullptr) return ReadFailedReport(run.inputName, kBadHeader, problem);
                // A check goes on, holding the records against the header's size.
                run.problems->Problem(records.number(), problem);
                fields.count = names.size();
            }
        }
    }
    checkedValues = fields.count;
    if (!options.columns.empty() && (headerRead || !options.header)) {
        if (std::optional<RunReport> failed = ChooseFields(records, run, headerRead ? &names : nullptr, fields))
            return failed;
        checkedValues = headerRead ? names.size() : 0;
    }
    return std::nullopt;
}

// What the statements hold besides the rows: COPY's head line, the
// conflict clause and the key's places; or the report of what is wrong.
std::optional<RunReport> FormOf(const RunContext& run, Fields& fields, StatementForm& form) {
    const ConversionOptions& options = run.options;
    if (options.copy) form.copyHead = CopyHead(run.settings.tableName, fields.list);
    if (options.onConflict == OnConflict::None) return std::nullopt;
    std::string problem;
    if (fields.columns.empty()) fields.columns = ColumnsOf(fields.list);
    form.keys = KeyPlaces(options.key, fields.columns, problem);
    if (fields.columns.empty()) problem = "--on-conflict needs the names of the columns: give --fields or --header";
    if (!problem.empty()) return BadOptionsReport(problem);
    form.conflict = ConflictClause(options, fields.columns, form.keys);
    return std::nullopt;
}

// Converts every record into statements and writes out the last block.
// Returns the report of a failed read or write, of a cancel, or "Done".
// tally: the column types for --create-table, nullptr when not known.
template <typename Records>
RunReport ConvertRecords(Records& records, const RunContext& run, StatementOutput& output, const ColumnTally* tally) {
    const ConversionOptions& options = run.options;
    Fields fields;
    std::size_t checkedValues = 0;
    if (std::optional<RunReport> failed = ReadFields(records, run, fields, checkedValues)) return *failed;
    std::string create;
    if (options.createTable) {
        std::string problem;
        create = CreateTable(fields, run, tally, problem);
        if (!problem.empty()) return BadOptionsReport(problem);
    }
    const RowScanner scanner(run.settings.tableName, fields.list, options, kDiskLineEnd, WidestKind(), fields.asRead);
    StatementForm form;
    if (std::optional<RunReport> failed = FormOf(run, fields, form)) return *failed;
    StatementWriter writer(scanner, options, checkedValues, output, form);
    writer.ReportProblemsTo(run.problems);
    Outcome outcome;
    outcome.writeError = writer.Begin(run.closeUnfinished, create);
    if (outcome.writeError == 0) outcome = ConvertEach(records, writer, run);
    // Before the last statement and COMMIT;: the input is still what was read.
    if (!outcome.Failed() && !outcome.cancelled && run.inputFile != nullptr)
        outcome.readError = run.inputFile->Verify();
    const bool undone = EndStatements(outcome, writer, output, options.transaction);

    RunReport report = Report(outcome, records, run);
    report.endUncertain = outcome.writeError != 0 && output.endUncertain();
    report.undone = undone;
    report.closedUnfinished = run.closeUnfinished;
    report.counts = writer.counts();
    report.fieldCount = checkedValues;
    report.statementLimit = StatementLimit(options);
    return report;
}

}  // namespace

RunReport ReadFailedReport(const std::string& path, int error, const std::string& reason) {
    RunReport report;
    report.status = RunStatus::ReadFailed;
    report.reason = reason.empty() ? StatusText(error) : reason;
    report.text = ReadFailedText(path, report.reason);
    report.caption = kReadFailedCaption;
    report.error = error;
    return report;
}

RunReport WriteFailedReport(int error) {
    RunReport report = Report(RunStatus::WriteFailed, kWriteFailedMessage);
    report.error = error;
    report.reason = StatusText(error);
    return report;
}

// The size of the blocks a run reads and writes in: the usual size, or for
// a file known to be smaller, the power of two that holds it (4 KiB at
// least), so that a small file costs no large buffers.
std::size_t BlockSizeFor(std::uint64_t totalBytes) {
    constexpr std::size_t kSmallest = std::size_t{4} << 10;
    std::size_t block = StatementOutput::kDefaultBlockSize;
    while (totalBytes != 0 && block > kSmallest && block / 2 > totalBytes) block /= 2;
    return block;
}

RunReport ConvertSource(const RunContext& run) {
    if (const std::string problem = OptionsProblem(run.options); !problem.empty()) return BadOptionsReport(problem);
    InputSource input(run.input);
    if (const int error = input.Open(run.options.encoding)) {
        if (error == kStopped) return Stopped();
        const std::string reason =
            error == kUnknownEncoding ? UnknownEncodingText(run.options.encoding) : input.Describe(error);
        return ReadFailedReport(run.inputName, error, reason);
    }
    const std::size_t block = run.blockSize != 0 ? run.blockSize : BlockSizeFor(run.totalBytes);
    // The column types need every value before the first statement.
    ColumnTally tally(run.options.dialect, 0);
    const ColumnTally* typed = nullptr;
    if (run.options.createTable && run.typingInput != nullptr) {
        RunReport failed;
        if (run.typingFile != nullptr) run.typingFile->KeepChecksum();
        if (!TallyInput(run, block, tally, failed)) return failed;
        typed = &tally;
        // The statements hold exactly the bytes the types were chosen for.
        if (run.inputFile != nullptr && run.typingFile != nullptr)
            run.inputFile->HoldTo(run.typingFile->bytesFromFile(), run.typingFile->checksum());
    }
    StatementOutput output(run.outputFd, block);
    // Decoded text is UTF-8; bytes read as they are may be anything.
    const bool utf8 = input.encoding().empty();
    if (run.options.rfc4180) {
        CsvRecords records(input, run.options, block);
        records.Check(run.problems, utf8);
        return ConvertRecords(records, run, output, typed);
    }
    LineRecords records(input, run.options, block);
    records.Check(run.problems, utf8);
    return ConvertRecords(records, run, output, typed);
}

RunReport ConvertStreams(int inputFd, const std::string& inputName, int outputFd, const ConversionSettings& settings,
                         const ConversionOptions& options, RunObserver* observer, ProblemObserver* problems) {
    if (NoTable(settings)) return Report(RunStatus::NoTable, kNoTableMessage);
    if (HasNul(settings.tableName) || HasNul(settings.fieldNames))
        return Report(RunStatus::BadOptions, kNulNameMessage);
    struct stat inputInfo {};
    struct stat outputInfo {};
    if (::fstat(inputFd, &inputInfo) != 0) return ReadFailedReport(inputName, errno);
    if (::fstat(outputFd, &outputInfo) != 0) return WriteFailedReport(errno);
    // Appending to the file being read would read on into its own output.
    if (SameFile(inputInfo, outputInfo)) return Report(RunStatus::SameFile, kSameFileMessage);
    // A pipe or terminal is written through a description of its own that
    // never blocks, so that a stop request ends a wait for its reader.
    UniqueFd ownWriter;
    const int writeFd = NonBlockingWriter(outputFd, ownWriter);
    // Runs on one output file take turns, so that each one's statements
    // stay together and a cut-back never meets another run's bytes. The
    // file's tail is read under the lock, through a descriptor opened
    // before it and closed after it (closing any descriptor of the file
    // would give up a process's lock).
    const bool regular = S_ISREG(outputInfo.st_mode);
    UniqueFd tail(regular ? ::open(("/proc/self/fd/" + std::to_string(outputFd)).c_str(), O_RDONLY | O_CLOEXEC) : -1);
    OutputLock lock;
    if (regular && lock.Take(outputFd) == kStopped) return Stopped();
    OutputStart found;
    if (std::optional<RunReport> refused = ReadyOutput(tail.get(), outputFd, options, found)) return *refused;

    FdSource file(inputFd);
    const std::uint64_t totalBytes = S_ISREG(inputInfo.st_mode) ? static_cast<std::uint64_t>(inputInfo.st_size) : 0;
    // A regular file is read twice for --create-table: first through a
    // description of its own, from where the run starts reading.
    UniqueFd again;
    std::optional<FdSource> typing;
    if (options.createTable && S_ISREG(inputInfo.st_mode)) {
        again = UniqueFd(::open(("/proc/self/fd/" + std::to_string(inputFd)).c_str(), O_RDONLY | O_CLOEXEC));
        const off_t start = ::lseek(inputFd, 0, SEEK_CUR);
        if (again.get() >= 0 && start >= 0 && ::lseek(again.get(), start, SEEK_SET) == start)
            typing.emplace(again.get());
    }
    try {
        RunContext run{file,    inputName, writeFd,    settings,
                       options, observer,  totalBytes, found.insideTransaction && options.transaction};
        run.typingInput = typing ? &*typing : nullptr;
        run.problems = problems;
        run.inputFile = &file;
        run.typingFile = typing ? &*typing : nullptr;
        RunReport report = ConvertSource(run);
        report.cutBytes = found.cutBytes;
        report.joinedTransaction = found.insideTransaction && !options.transaction;
        return report;
    } catch (const std::bad_alloc&) {
        return Report(RunStatus::NoMemory, kNoMemoryMessage);
    }
}

RunReport ConvertFile(ConversionSettings& settings, RunObserver* observer, const ConversionOptions& options) {
    if (settings.outputFile.empty()) settings.outputFile = kDefaultOutputFile;

    UniqueFd input;
    if (const int error = OpenForReading(settings.inputFile, input)) return ReadFailedReport(settings.inputFile, error);
    if (NoTable(settings)) return Report(RunStatus::NoTable, kNoTableMessage);
    // Options that cannot go together are said before the output is made.
    if (const std::string problem = OptionsProblem(options); !problem.empty()) return BadOptionsReport(problem);
    UniqueFd output;
    if (const int error = OpenForAppending(settings.outputFile, output)) {
        return error == kStopped ? Stopped() : WriteFailedReport(error);
    }

    RunReport report = ConvertStreams(input.get(), settings.inputFile, output.get(), settings, options, observer);
    const int closeError = output.Close();
    if (closeError != 0 && report.status != RunStatus::WriteFailed) return WriteFailedReport(closeError);
    return report;
}

void RunConversion(ConversionSettings& settings, MessageOwner& owner) {
    RunConversion(settings, owner, nullptr);
}

void RunConversion(ConversionSettings& settings, MessageOwner& owner, RunObserver* observer,
                   const ConversionOptions& options) {
    // The run may name the output (db.csv) before its message does.
    const RunReport report = ConvertFile(settings, observer, options);
    const RunMessage message = WindowMessage(report, settings.outputFile);
    owner.ShowMessage(message.text, message.caption);
}

}  // namespace rowsmith
