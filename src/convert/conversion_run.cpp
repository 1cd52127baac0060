#include "convert/conversion_run.h"

#include <cerrno>
#include <cstring>
#include <new>
#include <string_view>
#include <vector>

#include <sys/file.h>
#include <sys/stat.h>

#include "convert/csv_reader.h"
#include "convert/messages.h"
#include "convert/row_rules.h"
#include "convert/row_scanner.h"
#include "convert/run_message.h"
#include "convert/sql_dialect.h"
#include "convert/statement_output.h"
#include "convert/statement_writer.h"
#include "convert/stop_request.h"
#include "io/iconv_source.h"
#include "io/input_source.h"
#include "io/open_file.h"
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

// Holds an advisory lock on the output for a run.
class OutputLock {
public:
    OutputLock(int fd, bool regularFile) : fd_(regularFile ? fd : -1) {
        if (fd_ >= 0 && ::flock(fd_, LOCK_EX) != 0) fd_ = -1;
    }
    ~OutputLock() {
        if (fd_ >= 0) ::flock(fd_, LOCK_UN);
    }
    OutputLock(const OutputLock&) = delete;
    OutputLock& operator=(const OutputLock&) = delete;

private:
    int fd_;
};

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The input under the line rules: each line a row.
class LineRecords {
public:
    LineRecords(ByteSource& source, char delimiter) : source_(source), reader_(source), delimiter_(delimiter) {}
    int Next() {
        const int status = reader_.NextLine(line_);
        if (status == 0) ++number_;
        return status;
    }
    std::vector<std::string> Values() const { return SplitRow(line_, delimiter_); }
    int AddTo(StatementWriter& writer) { return writer.AddRow(line_, number_); }
    std::uint64_t bytesConsumed() const { return reader_.bytesConsumed(); }
    std::uint64_t reads() const { return reader_.reads(); }
    std::string Describe(int error) const {
        if (error == kLineTooLong) {
            return "line " + std::to_string(number_ + 1) + " is longer than " +
                   std::to_string(TextModeReader::kMaxLineSize >> 20) + " MiB, the longest Rowsmith reads";
        }
        return source_.Describe(error);
    }

private:
    ByteSource& source_;
    TextModeReader reader_;
    char delimiter_;
    std::string_view line_;
    std::uint64_t number_ = 0;
};

// The input as standard CSV: each record a row.
class CsvRecords {
public:
    CsvRecords(ByteSource& source, char delimiter) : reader_(source, delimiter) {}
    int Next() { return reader_.Next(values_, number_); }
    std::vector<std::string> Values() const { return {values_.begin(), values_.end()}; }
    int AddTo(StatementWriter& writer) { return writer.AddValues(values_, number_); }
    std::uint64_t bytesConsumed() const { return reader_.bytesConsumed(); }
    std::uint64_t reads() const { return reader_.reads(); }
    std::string Describe(int error) const { return reader_.Describe(error); }

private:
    CsvReader reader_;
    std::vector<std::string_view> values_;
    std::uint64_t number_ = 0;
};

// The field list a header record gives: each name without the blanks
// around it, quoted as an identifier.
std::string FieldListFromHeader(const std::vector<std::string>& names, Dialect dialect) {
    std::string fields;
    for (const std::string& name : names) {
        std::string_view trimmed = TrimTrailingSpace(name);
        while (!trimmed.empty() && IsTrimmedSpace(trimmed.front())) trimmed.remove_prefix(1);
        if (!fields.empty()) fields += ", ";
        fields += QuoteIdentifier(dialect, trimmed);
    }
    return fields;
}

// Converts every record into statements and writes out the last block.
// Returns the report of a failed read or write, of a cancel, or "Done".
template <typename Records>
RunReport ConvertRecords(Records& records, const RunContext& run, StatementOutput& output) {
    const ConversionOptions& options = run.options;
    std::string fields = run.settings.fieldNames;
    std::size_t fieldCount = CountFieldNames(fields);
    int readError = 0;
    if (options.header && (readError = records.Next()) == 0 && fieldCount == 0) {
        const std::vector<std::string> names = records.Values();
        fields = FieldListFromHeader(names, options.dialect);
        fieldCount = names.size();
    }
    const RowScanner scanner(run.settings.tableName, fields, options, kDiskLineEnd);
    StatementWriter writer(scanner, options, fieldCount, output);

    std::uint64_t reported = 0;
    std::uint64_t blocks = 0;
    bool cancelled = false;
    int writeError = writer.Begin();
    if (readError == kEndOfInput) readError = 0;  // an empty input: no header, no rows
    while (writeError == 0 && readError == 0 && !cancelled && (readError = records.Next()) == 0) {
        writeError = records.AddTo(writer);
        // Once a block of input: the observer hears how far the run is, and
        // a stop request (from a signal) ends the run here.
        if (records.reads() != blocks) {
            blocks = records.reads();
            if (run.observer && records.bytesConsumed() != reported) {
                reported = records.bytesConsumed();
                cancelled = !run.observer->Continue(reported, run.totalBytes);
            }
            cancelled = cancelled || StopSignal() != 0;
        }
    }
    const bool succeeded = !cancelled && (readError == 0 || readError == kEndOfInput);
    if (writeError == 0) writeError = writer.End(succeeded);
    if (const int error = output.Flush(); writeError == 0) writeError = error;

    const bool readFailed = readError != 0 && readError != kEndOfInput;
    RunReport report = writeError != 0 ? WriteFailedReport(writeError)
                       : readFailed    ? ReadFailedReport(run.inputName, readError, records.Describe(readError))
                       : cancelled     ? Report(RunStatus::Cancelled, kCancelledMessage)
                                       : Report(RunStatus::Done, kDoneMessage);
    report.endUncertain = writeError != 0 && output.endUncertain();
    if (report.status == RunStatus::Cancelled) report.stopSignal = StopSignal();
    report.counts = writer.counts();
    report.fieldCount = fieldCount;
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

RunReport ConvertSource(const RunContext& run) {
    InputSource input(run.input);
    if (const int error = input.Open(run.options.encoding)) {
        const std::string reason =
            error == kUnknownEncoding ? UnknownEncodingText(run.options.encoding) : input.Describe(error);
        return ReadFailedReport(run.inputName, error, reason);
    }
    StatementOutput output(run.outputFd);
    if (run.options.rfc4180) {
        CsvRecords records(input, run.options.delimiter);
        return ConvertRecords(records, run, output);
    }
    LineRecords records(input, run.options.delimiter);
    return ConvertRecords(records, run, output);
}

RunReport ConvertStreams(int inputFd, const std::string& inputName, int outputFd, const ConversionSettings& settings,
                         const ConversionOptions& options, RunObserver* observer) {
    if (NoTable(settings)) return Report(RunStatus::NoTable, kNoTableMessage);
    struct stat inputInfo {};
    struct stat outputInfo {};
    if (::fstat(inputFd, &inputInfo) != 0) return ReadFailedReport(inputName, errno);
    if (::fstat(outputFd, &outputInfo) != 0) return WriteFailedReport(errno);
    // Appending to the file being read would read on into its own output.
    if (SameFile(inputInfo, outputInfo)) return Report(RunStatus::SameFile, kSameFileMessage);
    // Runs on one output file take turns, so that each one's statements
    // stay together and a cut-back never meets another run's bytes.
    const OutputLock lock(outputFd, S_ISREG(outputInfo.st_mode));

    FdSource file(inputFd);
    const std::uint64_t totalBytes = S_ISREG(inputInfo.st_mode) ? static_cast<std::uint64_t>(inputInfo.st_size) : 0;
    try {
        RunReport report = ConvertSource({file, inputName, outputFd, settings, options, observer, totalBytes});
        // A file cut short while it was read looks like one that ended.
        struct stat after {};
        if (report.status == RunStatus::Done && S_ISREG(inputInfo.st_mode) && ::fstat(inputFd, &after) == 0 &&
            after.st_size < inputInfo.st_size) {
            RunReport shrunk = ReadFailedReport(inputName, kInputShrank);
            shrunk.counts = report.counts;
            shrunk.fieldCount = report.fieldCount;
            return shrunk;
        }
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
    UniqueFd output;
    if (const int error = OpenForAppending(settings.outputFile, output)) return WriteFailedReport(error);

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
