#include "convert/run/conversion_run.h"

#include <cerrno>
#include <new>
#include <initializer_list>
#include <optional>
#include <string_view>

#include "convert/read/records.h"
#include "convert/read/row_scanner.h"
#include "convert/run/fields.h"
#include "convert/run/output_start.h"
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

// The record read last into the statements: whole, through the scanner,
// or as its values.
int AddRecord(Records& records, StatementWriter& writer) {
    if (records.whole()) {
        return writer.AddRow(records.text(), records.number(),
                             writer.settingAside() ? records.original() : std::string_view());
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
        if (const int error = AddRecord(records, writer); error != 0 && EndsTheRun(error, records, run, outcome)) break;
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
        const std::string reason = outcome.refused == kNulInValue ? NulRefusal(outcome.refusedLine, run.options.dialect)
                                   : rejects                      ? RejectsRefusal(outcome.refused, writer, run)
                                                                  : records.Describe(outcome.refused);
        return ReadFailedReport(run.inputName, outcome.refused, reason);
    }
    if (outcome.readError != 0)
        return ReadFailedReport(run.inputName, outcome.readError, records.Describe(outcome.readError));
    if (!outcome.cancelled) return MakeReport(RunStatus::Done, kDoneMessage);
    RunReport report = MakeReport(RunStatus::Cancelled, kCancelledMessage);
    report.stopSignal = StopSignal();
    return report;
}

// Converts every record into statements and writes out the last block.
// Returns the report of a failed read or write, of a cancel, or "Done".
// tally: the column types for --create-table, nullptr when not known.
RunReport ConvertRecords(Records& records, const RunContext& run, StatementOutput& output, const ColumnTally* tally) {
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
    const RowScanner scanner(run.settings.tableName, fields.list, options, kDiskLineEnd, ChosenKind(), fields.asRead);
    StatementForm form;
    if (std::optional<RunReport> failed = FormOf(run, fields, form)) return *failed;
    StatementWriter writer(scanner, options, checkedValues, output, form);
    writer.ReportProblemsTo(run.problems);
    // A check names each record that would not load; a run sets them aside.
    if (!options.rejects.empty() && run.problems == nullptr) writer.SetAsideTo(run.rejects);
    Outcome outcome;
    outcome.writeError = writer.Begin(run.closeUnfinished, create);
    if (outcome.writeError == 0) outcome = ConvertEach(records, writer, run);
    // Before the last statement and COMMIT;: the input is still what was read.
    if (!outcome.Failed() && !outcome.cancelled && run.inputFile != nullptr)
        outcome.readError = run.inputFile->Verify();
    // The records set aside are written out before the run says it is done,
    // and after a failure too: they say what went wrong.
    if (run.rejects != nullptr) {
        const int error = run.rejects->Flush();
        if (error != 0 && !outcome.Failed()) outcome.refused = kRejectsFailed, writer.NoteRejectsError(error);
    }
    const bool undone = EndStatements(outcome, writer, output, options.transaction);

    RunReport report = Report(outcome, records, writer, run);
    report.endUncertain = outcome.writeError != 0 && output.endUncertain();
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

// Opens the files records are set aside in, refusing the input's and the output's.
std::optional<RunReport> OpenRejects(const std::string& path, const std::string& inputName,
                                     std::initializer_list<FileInfo> files, std::optional<RejectsFile>& rejects) {
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
    if (run.problems != nullptr && !run.options.encoding.empty()) input.SubstituteInvalid();
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
    Records records(input, run.options, block);
    records.Check(run.problems, utf8);
    if (!run.options.rejects.empty() && run.problems == nullptr) records.KeepOriginals();
    return ConvertRecords(records, run, output, typed);
}

RunReport ConvertStreams(int inputFd, const std::string& inputName, int outputFd, const ConversionSettings& settings,
                         const ConversionOptions& options, RunObserver* observer, ProblemObserver* problems) {
    if (NoTable(settings)) return MakeReport(RunStatus::NoTable, kNoTableMessage);
    if (HasNul(settings.tableName) || HasNul(settings.fieldNames))
        return MakeReport(RunStatus::BadOptions, kNulNameMessage);
    FileInfo inputInfo;
    FileInfo outputInfo;
    if (const int error = Inspect(inputFd, inputInfo)) return ReadFailedReport(inputName, error);
    if (const int error = Inspect(outputFd, outputInfo)) return WriteFailedReport(error);
    // Appending to the file being read would read on into its own output.
    if (SameFile(inputInfo, outputInfo)) return MakeReport(RunStatus::SameFile, kSameFileMessage);
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
    // The records a run sets aside go to files written anew, never the input or output.
    std::optional<RejectsFile> rejects;
    if (!options.rejects.empty() && problems == nullptr) {
        if (std::optional<RunReport> refused =
                OpenRejects(options.rejects, inputName, {inputInfo, outputInfo}, rejects))
            return *refused;
    }

    FdSource file(inputFd);
    // A regular file is read twice for --create-table: first through a
    // description of its own, from where the run starts reading.
    UniqueFd again;
    std::optional<FdSource> typing;
    std::uint64_t start = 0;
    if (options.createTable && inputInfo.regular && ReopenForReading(inputFd, again) == 0 &&
        PlaceOf(inputFd, start) == 0 && MoveTo(again.get(), start) == 0) {
        typing.emplace(again.get());
    }
    try {
        RunContext run{file,    inputName, writeFd,        settings,
                       options, observer,  inputInfo.size, found.insideTransaction && options.transaction};
        run.typingInput = typing ? &*typing : nullptr;
        run.problems = problems;
        run.inputFile = &file;
        run.typingFile = typing ? &*typing : nullptr;
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

RunReport ConvertFile(ConversionSettings& settings, RunObserver* observer, const ConversionOptions& options) {
    if (settings.outputFile.empty()) settings.outputFile = kDefaultOutputFile;

    UniqueFd input;
    if (const int error = OpenForReading(settings.inputFile, input)) return ReadFailedReport(settings.inputFile, error);
    if (NoTable(settings)) return MakeReport(RunStatus::NoTable, kNoTableMessage);
    // Options that cannot go together are said before the output is made.
    if (const std::string problem = OptionsProblem(options); !problem.empty()) return BadOptionsReport(problem);
    UniqueFd output;
    if (const int error = OpenForAppending(settings.outputFile, output)) {
        return error == kStopped ? StoppedReport() : WriteFailedReport(error);
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
