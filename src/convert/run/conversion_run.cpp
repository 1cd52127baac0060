#include "convert/run/conversion_run.h"

#include <cerrno>
#include <new>
#include <deque>
#include <optional>
#include <string_view>

#include "convert/options/input_list.h"
#include "convert/read/records.h"
#include "convert/read/row_scanner.h"
#include "convert/run/fields.h"
#include "convert/run/output_parts.h"
#include "convert/run/outcome.h"
#include "convert/run/output_start.h"
#include "convert/run/parallel_run.h"
#include "convert/run/rejects.h"
#include "convert/run/run_message.h"
#include "convert/run/statement_output.h"
#include "convert/run/statement_writer.h"
#include "convert/run/table_check.h"
#include "convert/run/typing.h"
#include "convert/sql/column_types.h"
#include "io/file_system.h"
#include "io/iconv_source.h"
#include "io/input_source.h"
#include "io/open_file.h"
#include "io/status.h"
#include "io/stop_request.h"
#include "io/text_mode.h"
#include "io/text_mode_reader.h"
#include "io/unique_fd.h"

namespace rowsmith {

namespace {

static_assert(TextModeReader::kPadding >= RowScanner::kPadding, "lines from the reader go to WriteRow as they stand");

// INSERT INTO needs a table: with none, not one statement would load.
bool NoTable(const ConversionSettings& settings) {
    return TrimTrailingSpace(settings.tableName).empty();
}

bool HasNul(std::string_view text) {
    return text.find('\0') != std::string_view::npos;
}

// Whether the run reads on past bytes the input's character set does not
// have, as U+FFFD: a check, to name each line, and a run that sets aside
// the records holding them.
bool ReadsPastInvalidText(const RunContext& run) {
    return !run.options.encoding.empty() && (run.problems != nullptr || !run.options.rejects.empty());
}

// A check's look at each record (decoded text is UTF-8; bytes read as they
// are may be anything), and a record's own bytes kept where it may be set aside.
void ReadyRecords(Records& records, const InputSource& input, const RunContext& run) {
    records.Check(run.problems, input.encoding().empty());
    if (run.setsAside()) records.KeepOriginals();
}

// The reason a record's decoded bytes cannot load as they stand, if any:
// where a run reads past bytes its character set lacks, they are U+FFFD.
std::string InvalidTextReason(const Records& records, const ConversionOptions& options) {
    if (options.encoding.empty() || records.original().find(IconvSource::kSubstitute) == std::string_view::npos)
        return {};
    return "holds bytes that are not valid " + options.encoding + " text (here each as U+FFFD)";
}

}  // namespace

int AddRecord(Records& records, StatementWriter& writer, const ConversionOptions& options) {
    if (writer.settingAside()) {
        if (const std::string reason = InvalidTextReason(records, options); !reason.empty())
            return writer.SetAside(records.original(), records.number(), reason);
    }
    if (records.whole()) {
        const int error = writer.AddRow(records.text(), records.number(),
                                        writer.settingAside() ? records.original() : std::string_view());
        // A line without a chosen column is read as values, which say which.
        if (error != kMissingColumn) return error;
    }
    if (const int error = records.ReadValues()) {
        // A record that cannot become a row is set aside, where records are.
        const bool unreadable = error == kMissingColumn || error == kTooManyFields;
        if (!unreadable || !writer.settingAside()) return error;
        return writer.SetAside(records.original(), records.number(), records.Describe(error));
    }
    const std::string_view original = writer.settingAside() ? records.original() : std::string_view();
    return writer.AddValues(records.values(), records.quoted(), records.bytes(), records.number(),
                            records.recordValues(), original);
}

namespace {

// Whether the error of the record just added ends the run: a check goes
// on past a record that lacks a chosen column.
bool EndsTheRun(int error, const Records& records, const RunContext& run, Outcome& outcome) {
    if (error == kMissingColumn && run.problems != nullptr) {
        run.problems->Problem(records.number(), records.Describe(error));
        return false;
    }
    const bool refused = error == kNulInValue || error == kMissingColumn || error == kTooManyFields ||
                         error == kTooManyRejects || error == kRejectsFailed;
    (refused ? outcome.refused : outcome.writeError) = error;
    outcome.refusedLine = records.number();
    return true;
}

// Converts every record into statements.
Outcome ConvertEach(Records& records, StatementWriter& writer, const RunContext& run) {
    Outcome outcome;
    std::uint64_t reported = 0;
    std::uint64_t blocks = 0;
    const std::uint64_t limit = run.rowLimit != 0 ? run.rowLimit : ~std::uint64_t{0};
    while (!outcome.cancelled && writer.counts().rows < limit && (outcome.readError = records.Next()) == 0) {
        if (const int error = AddRecord(records, writer, run.options);
            error != 0 && EndsTheRun(error, records, run, outcome))
            break;
        // Once a block of input: the observer hears how far the run is, and
        // a stop request (from a signal) ends the run here.
        if (records.reads() != blocks) {
            blocks = records.reads();
            if (run.observer && records.bytesConsumed() != reported) {
                reported = records.bytesConsumed();
                outcome.cancelled = !run.observer->Continue(run.bytesBefore + reported, run.totalBytes);
            }
            outcome.cancelled = outcome.cancelled || StopSignal() != 0;
        }
    }
    if (outcome.readError == kEndOfInput) outcome.readError = 0;
    // A quoted field never closed takes the rest of the input: one record
    // that would not load.
    if (outcome.readError == kUnclosedQuote && writer.settingAside()) {
        outcome.readError = 0;
        const int error = writer.SetAside(records.original(), records.number(), records.Describe(kUnclosedQuote));
        if (error != 0) outcome.refused = error, outcome.refusedLine = records.number();
    }
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
bool EndStatements(Outcome& outcome, StatementWriter& writer, bool transaction) {
    StatementOutput& output = writer.output();
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

// Why a run that sets records aside stopped: too many, or their file failed.
std::string RejectsRefusal(int refused, const StatementWriter& writer, const RunContext& run) {
    if (refused == kRejectsFailed) {
        return "the records set aside could not be written to " +
               (run.rejects != nullptr ? run.rejects->failedFile() : run.options.rejects) + ": " +
               StatusText(writer.rejectsError());
    }
    return "more than " + std::to_string(run.options.maxRejects) + " records would not load (--max-rejects " +
           std::to_string(run.options.maxRejects) + "); the last is line " +
           std::to_string(writer.counts().lastRejectedLine) + ", and " + RejectsFile::LogPath(run.options.rejects) +
           " names each";
}

std::string NulRefusal(std::uint64_t line, Dialect dialect) {
    return "line " + std::to_string(line) + " holds a NUL byte, which the " + std::string(DialectName(dialect)) +
           " dialect cannot write (--nul strip drops such bytes)";
}

RunReport Report(const Outcome& outcome, const Records& records, const StatementWriter& writer, const RunContext& run) {
    if (outcome.writeError != 0) return WriteFailedReport(outcome.writeError);
    if (outcome.refused != 0) {
        const bool rejects = outcome.refused == kTooManyRejects || outcome.refused == kRejectsFailed;
        const std::string reason = !outcome.reason.empty() ? outcome.reason
                                   : outcome.refused == kNulInValue
                                       ? NulRefusal(outcome.refusedLine, run.options.dialect)
                                   : rejects ? RejectsRefusal(outcome.refused, writer, run)
                                             : records.Describe(outcome.refused);
        return ReadFailedReport(run.inputName, outcome.refused, reason);
    }
    if (outcome.readError != 0) {
        return ReadFailedReport(outcome.input.empty() ? run.inputName : outcome.input, outcome.readError,
                                outcome.reason.empty() ? records.Describe(outcome.readError) : outcome.reason);
    }
    if (!outcome.cancelled) return MakeReport(RunStatus::Done, kDoneMessage);
    RunReport report = MakeReport(RunStatus::Cancelled, kCancelledMessage);
    report.stopSignal = StopSignal();
    return report;
}

// The columns whose decimals have a comma for a point: written with a
// point, and said.
void CommaDecimals(const ColumnTally& tally, Fields& fields, StatementForm& form) {
    std::string names;
    for (std::size_t i = 0; i < fields.columns.size(); ++i) {
        if (!tally.CommaDecimals(i)) continue;
        form.commaDecimals.resize(i + 1);
        form.commaDecimals[i] = true;
        names.append(names.empty() ? "" : ", ").append(fields.columns[i].plainName);
    }
    if (!names.empty())
        fields.notes.push_back("the decimal commas of " + names + " were written as points (3,49 as 3.49)");
}

// An input after the first: its header must give the first's fields, and
// its records go on where the first's ended.
Outcome ConvertLater(InputSource& input, Records& records, StatementWriter& writer, const RunContext& part,
                     const Fields& first) {
    Outcome outcome;
    const ConversionOptions& options = part.options;
    // A check reads on past bytes the encoding does not have.
    if (ReadsPastInvalidText(part)) input.SubstituteInvalid();
    if (const int error = input.Open(options.encoding)) {
        outcome.cancelled = error == kStopped;
        if (error != kStopped) outcome.readError = error, outcome.reason = input.Describe(error);
        return outcome;
    }
    ReadyRecords(records, input, part);
    if (part.rejects != nullptr) part.rejects->ReadingFrom(part.inputName);
    writer.ReadingFrom(part.inputName);
    Fields fields;
    std::size_t checkedValues = 0;
    if (std::optional<RunReport> failed = ReadFields(records, part, fields, checkedValues)) {
        outcome.refused = failed->error != 0 ? failed->error : kBadHeader;
        outcome.reason = failed->reason;
        return outcome;
    }
    // An input with nothing in it, not even a header, adds nothing.
    if (options.header && !fields.headerRead) return outcome;
    if (fields.list != first.list) {
        outcome.refused = kBadHeader;
        outcome.reason = "its header gives the fields " + fields.list + ", the first input's " + first.list;
        return outcome;
    }
    // Its header is the first's: its columns go through the scanner as those did.
    if (!records.scannable().empty() && records.scannable() == writer.scanner().chosen()) records.ScanChosen();
    return ConvertEach(records, writer, part);
}

// Each input after the first (run.later), until one fails: part and
// laterRecords are then those of the input read last, for its report.
Outcome ConvertLaterInputs(const Records& first, StatementWriter& writer, const Fields& fields, std::size_t block,
                           RunContext& part, std::optional<InputSource>& laterInput,
                           std::optional<Records>& laterRecords, Outcome outcome) {
    for (const LaterInput& later : part.later) {
        const bool limited = part.rowLimit != 0 && writer.counts().rows >= part.rowLimit;
        if (outcome.Failed() || outcome.cancelled || limited) break;
        part.bytesBefore += laterRecords ? laterRecords->bytesConsumed() : first.bytesConsumed();
        laterRecords.reset();
        part.inputName = later.name;
        laterInput.emplace(*later.input);
        Records& next = laterRecords.emplace(*laterInput, part.options, block);
        outcome = ConvertLater(*laterInput, next, writer, part, fields);
    }
    return outcome;
}

// Whether each regular file the run read still holds what it read.
Outcome VerifyInputs(const RunContext& run, Outcome outcome) {
    if (run.inputFile != nullptr) outcome.readError = run.inputFile->Verify();
    for (const LaterInput& later : run.later) {
        if (outcome.readError != 0 || later.file == nullptr) continue;
        if ((outcome.readError = later.file->Verify()) != 0) outcome.input = later.name;
    }
    return outcome;
}

// Converts the records on the threads the run may take, where it can.
Outcome ConvertAll(Records& records, StatementWriter& writer, const RunContext& run, PieceForm pieces) {
    if (!ConvertsInParallel(run, records, writer)) return ConvertEach(records, writer, run);
    // A quarter block: a smaller input, read in one block, is still cut
    // into a few pieces, and the pieces in flight hold little memory.
    constexpr std::size_t kSmallestPiece = std::size_t{16} << 10;
    pieces.pieceBytes = std::max(kSmallestPiece, pieces.pieceBytes / 2);
    if (run.pieceBytes != 0) pieces.pieceBytes = run.pieceBytes;
    pieces.jobs = JobsFor(run.options.jobs);
    return ConvertInParallel(records, writer, pieces, run, ConvertEach);
}

// Converts every record into statements and writes out the last block.
// Returns the report of a failed read or write, of a cancel, or "Done".
// tally: the column types for --create-table, nullptr when not known.
RunReport ConvertRecords(Records& records, const RunContext& run, StatementOutput& output, const ColumnTally* tally,
                         std::size_t block) {
    const ConversionOptions& options = run.options;
    Fields fields;
    std::size_t checkedValues = 0;
    if (std::optional<RunReport> failed = ReadFields(records, run, fields, checkedValues)) return *failed;
    std::string create;
    if (options.createTable) {
        std::string problem;
        create = CreateTable(fields, run, tally, problem);
        // The table this output creates already must be this one.
        if (problem.empty() && run.outputReader >= 0)
            problem = OtherTableBefore(run.outputReader, create, ToDiskText(run.settings.tableName));
        if (!problem.empty()) return BadOptionsReport(problem);
    }
    StatementForm form;
    if (std::optional<RunReport> failed = FormOf(run, fields, form)) return *failed;
    RowScanner scanner(run.settings.tableName, fields.list, options, kDiskLineEnd, ChosenKind(), fields.asRead);
    // A row of its own statement is written whole by the scanner, its
    // upsert clause with it, and the columns chosen where it can.
    scanner.EndRowsWith(form.conflict);
    scanner.Choose(records.scannable());
    records.ScanChosen();
    if (options.decimalComma && tally != nullptr) CommaDecimals(*tally, fields, form);
    StatementWriter writer(scanner, options, checkedValues, output, form);
    writer.ReportProblemsTo(run.problems);
    // A check names each record that would not load; a run sets them aside.
    if (run.setsAside()) writer.SetAsideTo(run.rejects);
    if (!run.later.empty() || run.parts != nullptr) writer.ReadingFrom(run.inputName);
    if (run.parts != nullptr) writer.SplitInto(run.parts);
    Outcome outcome;
    outcome.writeError = writer.Begin(run.closeUnfinished, create);
    if (outcome.writeError == 0) outcome = ConvertAll(records, writer, run, {scanner, checkedValues, form, block, 0});
    // The inputs after the first, each read as the first was.
    RunContext part = run;
    std::optional<InputSource> laterInput;
    std::optional<Records> laterRecords;
    outcome = ConvertLaterInputs(records, writer, fields, block, part, laterInput, laterRecords, std::move(outcome));
    const Records& last = laterRecords ? *laterRecords : records;
    // Before the last statement and COMMIT;: the inputs are still what was read.
    if (!outcome.Failed() && !outcome.cancelled) outcome = VerifyInputs(run, std::move(outcome));
    // The records set aside are written out before the run says it is done,
    // and after a failure too: they say what went wrong.
    if (run.rejects != nullptr) {
        const int error = run.rejects->Flush();
        if (error != 0 && !outcome.Failed()) outcome.refused = kRejectsFailed, writer.NoteRejectsError(error);
    }
    const bool undone = EndStatements(outcome, writer, options.transaction);

    RunReport report = Report(outcome, last, writer, part);
    report.endUncertain = outcome.writeError != 0 && writer.output().endUncertain();
    report.undone = undone;
    report.closedUnfinished = run.closeUnfinished;
    report.counts = writer.counts();
    report.fieldCount = checkedValues;
    report.statementLimit = StatementLimit(options);
    report.notes = std::move(fields.notes);
    report.typeNotes = std::move(fields.typeNotes);
    if (run.rejects != nullptr) report.rejectsFile = run.rejects->path();
    return report;
}

// The header of the input fd reads, through a description of its own from
// where the run starts reading; nothing when it cannot be read so.
std::optional<std::vector<std::string>> HeaderAgain(int fd, const ConversionOptions& options) {
    UniqueFd again;
    std::uint64_t start = 0;
    if (ReopenForReading(fd, again) != 0 || PlaceOf(fd, start) != 0 || MoveTo(again.get(), start) != 0)
        return std::nullopt;
    FdSource file(again.get());
    InputSource input(file);
    std::vector<std::string> names;
    if (input.Open(options.encoding) != 0) return std::nullopt;
    Records records(input, options, std::size_t{64} << 10);
    if (records.NextHeader(names) != 0) return std::nullopt;
    return names;
}

// With a header and more than one input: the report naming the first
// input whose header is not the first one's, read before anything is written.
std::optional<RunReport> OtherHeader(const std::vector<OpenInput>& inputs, const std::vector<FileInfo>& info,
                                     const ConversionOptions& options) {
    if (!options.header || inputs.size() < 2 || !info[0].regular) return std::nullopt;
    const std::optional<std::vector<std::string>> first = HeaderAgain(inputs[0].fd, options);
    if (!first) return std::nullopt;
    const auto list = [](const std::vector<std::string>& names) {
        std::string text;
        for (const std::string& name : names) text.append(text.empty() ? "" : ", ").append(name);
        return text;
    };
    for (std::size_t i = 1; i < inputs.size(); ++i) {
        if (!info[i].regular) continue;  // met as it is read
        const std::optional<std::vector<std::string>> names = HeaderAgain(inputs[i].fd, options);
        if (names && *names != *first) {
            return ReadFailedReport(inputs[i].name, kBadHeader,
                                    "its header (" + list(*names) + ") is not the one of " + inputs[0].name + " (" +
                                        list(*first) + "), and the inputs go into one table");
        }
    }
    return std::nullopt;
}

// Opens the files records are set aside in, refusing the input's and the output's.
std::optional<RunReport> OpenRejects(const std::string& path, const std::string& inputName,
                                     const std::vector<FileInfo>& files, std::optional<RejectsFile>& rejects) {
    for (const std::string& name : {path, RejectsFile::LogPath(path)}) {
        UniqueFd existing;
        FileInfo info;
        if (OpenForReading(name, existing) != 0 || Inspect(existing.get(), info) != 0) continue;
        for (const FileInfo& file : files) {
            if (SameFile(info, file)) {
                std::string problem = "--rejects " + path;
                problem.append(" would write over the input or the output (").append(name).append(")");
                return BadOptionsReport(problem);
            }
        }
    }
    rejects.emplace();
    if (const int error = rejects->Open(path, inputName)) {
        RunReport report = WriteFailedReport(error);
        report.failedFile = rejects->failedFile();
        return report;
    }
    return std::nullopt;
}

}  // namespace

// Reads every input once for the column types; the report of a failure.
// The statements then hold exactly the bytes the types were chosen for.
std::optional<RunReport> TallyEveryInput(const RunContext& run, std::size_t block, ColumnTally& tally) {
    RunContext part = run;
    for (std::size_t i = 0; i <= run.later.size(); ++i) {
        if (i > 0) {
            const LaterInput& later = run.later[i - 1];
            part.inputName = later.name;
            part.typingInput = later.typing;
            part.typingFile = later.typingFile;
            part.inputFile = later.file;
        }
        RunReport failed;
        if (part.typingFile != nullptr) part.typingFile->KeepChecksum();
        if (!TallyInput(part, block, tally, failed, i > 0)) return failed;
        if (part.inputFile != nullptr && part.typingFile != nullptr)
            part.inputFile->HoldTo(part.typingFile->bytesFromFile(), part.typingFile->checksum());
    }
    return std::nullopt;
}

// The inputs, inspected, and the output: the report of what stops the run
// before anything is written (an input that is the output, or whose header
// is not the first one's), if anything.
std::optional<RunReport> InspectInputs(const std::vector<OpenInput>& inputs, const ConversionOptions& options,
                                       std::vector<FileInfo>& inputInfo) {
    if (inputs.empty()) return ReadFailedReport("", ENOENT);
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        if (const int error = Inspect(inputs[i].fd, inputInfo[i])) return ReadFailedReport(inputs[i].name, error);
    }
    // Inputs into one table have one header.
    return OtherHeader(inputs, inputInfo, options);
}

std::optional<RunReport> InspectFiles(const std::vector<OpenInput>& inputs, int outputFd,
                                      const ConversionOptions& options, std::vector<FileInfo>& inputInfo,
                                      FileInfo& outputInfo) {
    if (std::optional<RunReport> refused = InspectInputs(inputs, options, inputInfo)) return refused;
    if (const int error = Inspect(outputFd, outputInfo)) return WriteFailedReport(error);
    // Appending to a file being read would read on into its own output.
    for (const FileInfo& info : inputInfo) {
        if (SameFile(info, outputInfo)) return MakeReport(RunStatus::SameFile, kSameFileMessage);
    }
    return std::nullopt;
}

// Each input as a run reads it, and for --create-table a regular file's
// second reading, through a description of its own, from where the run
// starts reading.
class InputFiles {
public:
    InputFiles(const std::vector<OpenInput>& inputs, const std::vector<FileInfo>& info, bool twice) {
        for (std::size_t i = 0; i < inputs.size(); ++i) {
            files_.emplace_back(inputs[i].fd);
            typing_.emplace_back();
            std::uint64_t start = 0;
            UniqueFd& reading = again_.emplace_back();
            if (twice && info[i].regular && ReopenForReading(inputs[i].fd, reading) == 0 &&
                PlaceOf(inputs[i].fd, start) == 0 && MoveTo(reading.get(), start) == 0) {
                typing_.back().emplace(reading.get());
            }
            total_ += info[i].size;
        }
    }
    FdSource& file(std::size_t i) { return files_[i]; }
    FdSource* typing(std::size_t i) { return typing_[i] ? &*typing_[i] : nullptr; }
    std::uint64_t total() const { return total_; }

private:
    std::deque<FdSource> files_;
    std::deque<UniqueFd> again_;
    std::deque<std::optional<FdSource>> typing_;
    std::uint64_t total_ = 0;
};

// The run's context for the first of inputs, the others after it.
RunContext FirstInput(InputFiles& files, const std::vector<OpenInput>& inputs, int outputFd,
                      const ConversionSettings& settings, const ConversionOptions& options, RunObserver* observer) {
    RunContext run{files.file(0), inputs[0].name, outputFd, settings, options, observer, files.total()};
    run.typingInput = files.typing(0);
    run.inputFile = &files.file(0);
    run.typingFile = files.typing(0);
    for (std::size_t i = 1; i < inputs.size(); ++i)
        run.later.push_back({&files.file(i), inputs[i].name, &files.file(i), files.typing(i), files.typing(i)});
    return run;
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
    // A check reads on past bytes the encoding does not have, naming each line.
    if (ReadsPastInvalidText(run)) input.SubstituteInvalid();
    if (const int error = input.Open(run.options.encoding)) {
        if (error == kStopped) return StoppedReport();
        const std::string reason =
            error == kUnknownEncoding ? UnknownEncodingText(run.options.encoding) : input.Describe(error);
        return ReadFailedReport(run.inputName, error, reason);
    }
    const std::size_t block = run.blockSize != 0 ? run.blockSize : BlockSizeFor(run.totalBytes);
    // The column types need every value before the first statement.
    ColumnTally tally(run.options.dialect, 0);
    const ColumnTally* typed = nullptr;
    // With more inputs, every one is read first, each where it can be.
    const bool typable = std::all_of(run.later.begin(), run.later.end(),
                                     [](const LaterInput& later) { return later.typing != nullptr; });
    if (run.options.createTable && run.typingInput != nullptr && typable) {
        if (std::optional<RunReport> failed = TallyEveryInput(run, block, tally)) return *failed;
        typed = &tally;
    }
    std::optional<StatementOutput> own;
    StatementOutput& output = run.parts != nullptr ? run.parts->Output(block) : own.emplace(run.outputFd, block);
    Records records(input, run.options, block);
    ReadyRecords(records, input, run);
    return ConvertRecords(records, run, output, typed, block);
}

RunReport ConvertStreams(int inputFd, const std::string& inputName, int outputFd, const ConversionSettings& settings,
                         const ConversionOptions& options, RunObserver* observer, ProblemObserver* problems) {
    return ConvertInputs({{inputFd, inputName}}, outputFd, settings, options, observer, problems);
}

RunReport ConvertInputs(const std::vector<OpenInput>& inputs, int outputFd, const ConversionSettings& settings,
                        const ConversionOptions& options, RunObserver* observer, ProblemObserver* problems) {
    if (NoTable(settings)) return MakeReport(RunStatus::NoTable, kNoTableMessage);
    if (HasNul(settings.tableName) || HasNul(settings.fieldNames))
        return MakeReport(RunStatus::BadOptions, kNulNameMessage);
    std::vector<FileInfo> inputInfo(inputs.size());
    FileInfo outputInfo;
    if (std::optional<RunReport> refused = InspectFiles(inputs, outputFd, options, inputInfo, outputInfo))
        return *refused;
    // A pipe or terminal is written through a description of its own that
    // never blocks, so that a stop request ends a wait for its reader.
    UniqueFd ownWriter;
    const int writeFd = NonBlockingWriter(outputFd, ownWriter);
    // Runs on one output file take turns, so that each one's statements
    // stay together and a cut-back never meets another run's bytes. The
    // file's tail is read under the lock, through a descriptor opened
    // before it and closed after it (closing any descriptor of the file
    // would give up a process's lock).
    UniqueFd tail;
    if (outputInfo.regular) ReopenForReading(outputFd, tail);
    FileLock lock;
    if (outputInfo.regular && lock.Take(outputFd) == kStopped) return StoppedReport();
    OutputStart found;
    if (std::optional<RunReport> refused = ReadyOutput(tail.get(), outputFd, options, found)) return *refused;
    // The records a run sets aside go to files written anew, never an input or the output.
    std::optional<RejectsFile> rejects;
    if (!options.rejects.empty() && problems == nullptr) {
        std::vector<FileInfo> files = inputInfo;
        files.push_back(outputInfo);
        if (std::optional<RunReport> refused = OpenRejects(options.rejects, inputs[0].name, files, rejects))
            return *refused;
    }

    InputFiles files(inputs, inputInfo, options.createTable);
    try {
        RunContext run = FirstInput(files, inputs, writeFd, settings, options, observer);
        run.closeUnfinished = found.insideTransaction && options.transaction;
        run.problems = problems;
        run.rejects = rejects ? &*rejects : nullptr;
        run.outputReader = tail.get();
        RunReport report = ConvertSource(run);
        report.cutBytes = found.cutBytes;
        report.joinedTransaction = found.insideTransaction && !options.transaction;
        return report;
    } catch (const std::bad_alloc&) {
        return MakeReport(RunStatus::NoMemory, kNoMemoryMessage);
    }
}

RunReport ConvertInputsToParts(const std::vector<OpenInput>& inputs, const std::string& output,
                               const ConversionSettings& settings, const ConversionOptions& options,
                               RunObserver* observer) {
    if (NoTable(settings)) return MakeReport(RunStatus::NoTable, kNoTableMessage);
    if (HasNul(settings.tableName) || HasNul(settings.fieldNames))
        return MakeReport(RunStatus::BadOptions, kNulNameMessage);
    if (const std::string problem = OptionsProblem(options); !problem.empty()) return BadOptionsReport(problem);
    std::vector<FileInfo> inputInfo(inputs.size());
    if (std::optional<RunReport> refused = InspectInputs(inputs, options, inputInfo)) return *refused;
    std::optional<RejectsFile> rejects;
    if (!options.rejects.empty()) {
        if (std::optional<RunReport> refused = OpenRejects(options.rejects, inputs[0].name, inputInfo, rejects))
            return *refused;
    }
    OutputParts parts(output, inputInfo);
    const auto failed = [&parts](RunReport report) {
        report.split = true;
        if (report.failedFile.empty()) report.failedFile = parts.failedFile();
        parts.Abandon();
        report.parts = parts.parts().size();
        if (report.parts != 0)
            report.firstPart = parts.parts().front().file, report.lastPart = parts.parts().back().file;
        return report;
    };
    if (const int error = parts.Start(options.createTable)) {
        RunReport report = WriteFailedReport(error);
        return failed(report);
    }
    InputFiles files(inputs, inputInfo, options.createTable);
    try {
        RunContext run = FirstInput(files, inputs, -1, settings, options, observer);
        run.rejects = rejects ? &*rejects : nullptr;
        run.parts = &parts;
        RunReport report = ConvertSource(run);
        if (report.status != RunStatus::Done) return failed(std::move(report));
        std::vector<std::string> names;
        names.reserve(inputs.size());
        for (const OpenInput& input : inputs) names.push_back(input.name);
        if (const int error = parts.Finish(names, options, settings.tableName)) {
            RunReport failure = WriteFailedReport(error);
            failure.counts = report.counts;
            return failed(std::move(failure));
        }
        report.split = true;
        report.parts = parts.parts().size();
        report.firstPart = parts.parts().front().file;
        report.lastPart = parts.parts().back().file;
        report.tablePart = parts.parts().front().table;
        report.manifest = parts.manifest();
        return report;
    } catch (const std::bad_alloc&) {
        return failed(MakeReport(RunStatus::NoMemory, kNoMemoryMessage));
    }
}

RunReport ConvertFile(ConversionSettings& settings, RunObserver* observer, const ConversionOptions& options) {
    if (settings.outputFile.empty()) settings.outputFile = kDefaultOutputFile;

    // Every input is opened before anything is written.
    const std::vector<std::string> names = InputNames(settings.inputFile);
    std::vector<UniqueFd> files(names.size());
    std::vector<OpenInput> inputs;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (const int error = OpenForReading(names[i], files[i])) return ReadFailedReport(names[i], error);
        inputs.push_back({files[i].get(), names[i]});
    }
    if (NoTable(settings)) return MakeReport(RunStatus::NoTable, kNoTableMessage);
    // Options that cannot go together are said before the output is made.
    if (const std::string problem = OptionsProblem(options); !problem.empty()) return BadOptionsReport(problem);
    if (options.splits()) return ConvertInputsToParts(inputs, settings.outputFile, settings, options, observer);
    UniqueFd output;
    if (const int error = OpenForAppending(settings.outputFile, output)) {
        return error == kStopped ? StoppedReport() : WriteFailedReport(error);
    }

    RunReport report = ConvertInputs(inputs, output.get(), settings, options, observer);
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
