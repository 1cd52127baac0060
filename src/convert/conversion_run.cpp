#include "convert/conversion_run.h"

#include <cerrno>
#include <string_view>

#include <sys/stat.h>

#include "convert/messages.h"
#include "convert/statement_format.h"
#include "convert/statement_output.h"
#include "convert/statement_writer.h"
#include "io/open_file.h"
#include "io/text_mode.h"
#include "io/text_mode_reader.h"
#include "io/unique_fd.h"

namespace rowsmith {

namespace {

static_assert(TextModeReader::kPadding >= StatementFormat::kPadding,
              "lines from the reader go to WriteRow as they stand");

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

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Converts every line of reader into statements and writes out the last
// block. Returns the report of a failed read or write, of a cancel, or "Done".
RunReport ConvertLines(TextModeReader& reader, const std::string& inputName, StatementOutput& output,
                       StatementWriter& writer, RunObserver* observer, std::uint64_t totalBytes) {
    std::uint64_t reported = 0;
    std::uint64_t lineNumber = 0;
    std::string_view line;
    bool cancelled = false;
    int readError = 0;
    int writeError = writer.Begin();
    while (writeError == 0 && !cancelled && (readError = reader.NextLine(line)) == 0) {
        writeError = writer.AddRow(line, ++lineNumber);
        if (observer && reader.bytesConsumed() != reported) {
            reported = reader.bytesConsumed();
            cancelled = !observer->Continue(reported, totalBytes);
        }
    }
    const bool succeeded = !cancelled && readError <= 0;
    if (writeError == 0) writeError = writer.End(succeeded);
    if (const int error = output.Flush(); writeError == 0) writeError = error;

    RunReport report = writeError != 0 ? WriteFailedReport(writeError)
                       : readError > 0 ? ReadFailedReport(inputName, readError)
                       : cancelled     ? Report(RunStatus::Cancelled, kCancelledMessage)
                                       : Report(RunStatus::Done, kDoneMessage);
    report.counts = writer.counts();
    return report;
}

}  // namespace

RunReport ReadFailedReport(const std::string& path, int error) {
    RunReport report;
    report.status = RunStatus::ReadFailed;
    report.text = ReadFailedText(path, error);
    report.caption = kReadFailedCaption;
    report.error = error;
    return report;
}

RunReport WriteFailedReport(int error) {
    RunReport report = Report(RunStatus::WriteFailed, kWriteFailedMessage);
    report.error = error;
    return report;
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

    const StatementFormat format(settings.tableName, settings.fieldNames, options, kDiskLineEnd);
    const std::size_t fieldCount = CountFieldNames(settings.fieldNames);
    TextModeReader reader(inputFd);
    StatementOutput output(outputFd);
    StatementWriter writer(format, options, fieldCount, output);
    const std::uint64_t totalBytes = S_ISREG(inputInfo.st_mode) ? static_cast<std::uint64_t>(inputInfo.st_size) : 0;
    RunReport report = ConvertLines(reader, inputName, output, writer, observer, totalBytes);
    report.fieldCount = fieldCount;
    return report;
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
    const RunReport report = ConvertFile(settings, observer, options);
    if (observer) observer->Finished(report);
    owner.ShowMessage(report.text, report.caption);
}

}  // namespace rowsmith
