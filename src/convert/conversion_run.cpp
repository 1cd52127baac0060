#include "convert/conversion_run.h"

#include <cerrno>
#include <string_view>

#include <sys/stat.h>

#include "convert/messages.h"
#include "convert/statement_format.h"
#include "convert/statement_output.h"
#include "io/open_file.h"
#include "io/text_mode.h"
#include "io/text_mode_reader.h"
#include "io/unique_fd.h"

namespace rowsmith {

namespace {

static_assert(TextModeReader::kPadding >= StatementFormat::kPadding,
              "lines from the reader go to WriteRow as they stand");

RunReport Report(RunStatus status, Message message) {
    return {status, std::string(message.text), std::string(message.caption)};
}

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Converts every line of reader into output and writes out the last block.
// Returns the report of a failed read or write, of a cancel, or "Done".
RunReport ConvertLines(TextModeReader& reader, const std::string& inputName, StatementOutput& output,
                       const StatementFormat& format, RunObserver* observer, std::uint64_t totalBytes) {
    std::uint64_t reported = 0;
    std::string_view line;
    bool cancelled = false;
    int readError = 0;
    while (!cancelled && (readError = reader.NextLine(line)) == 0) {
        if (output.AppendStatement(format, line) != 0) break;
        if (observer && reader.bytesConsumed() != reported) {
            reported = reader.bytesConsumed();
            cancelled = !observer->Continue(reported, totalBytes);
        }
    }
    if (const int writeError = output.Flush()) return WriteFailedReport(writeError);
    if (readError > 0) return ReadFailedReport(inputName, readError);
    return cancelled ? Report(RunStatus::Cancelled, kCancelledMessage) : Report(RunStatus::Done, kDoneMessage);
}

}  // namespace

RunReport ReadFailedReport(const std::string& path, int error) {
    return {RunStatus::ReadFailed, ReadFailedText(path, error), std::string(kReadFailedCaption), error};
}

RunReport WriteFailedReport(int error) {
    RunReport report = Report(RunStatus::WriteFailed, kWriteFailedMessage);
    report.error = error;
    return report;
}

RunReport ConvertStreams(int inputFd, const std::string& inputName, int outputFd, const ConversionSettings& settings,
                         RunObserver* observer) {
    struct stat inputInfo {};
    struct stat outputInfo {};
    if (::fstat(inputFd, &inputInfo) != 0) return ReadFailedReport(inputName, errno);
    if (::fstat(outputFd, &outputInfo) != 0) return WriteFailedReport(errno);
    // Appending to the file being read would read on into its own output.
    if (SameFile(inputInfo, outputInfo)) return Report(RunStatus::SameFile, kSameFileMessage);

    const StatementFormat format(settings.tableName, settings.fieldNames, kDiskLineEnd);
    TextModeReader reader(inputFd);
    StatementOutput statements(outputFd);
    const std::uint64_t totalBytes = S_ISREG(inputInfo.st_mode) ? static_cast<std::uint64_t>(inputInfo.st_size) : 0;
    return ConvertLines(reader, inputName, statements, format, observer, totalBytes);
}

RunReport ConvertFile(ConversionSettings& settings, RunObserver* observer) {
    if (settings.outputFile.empty()) settings.outputFile = kDefaultOutputFile;

    UniqueFd input;
    if (const int error = OpenForReading(settings.inputFile, input)) return ReadFailedReport(settings.inputFile, error);
    UniqueFd output;
    if (const int error = OpenForAppending(settings.outputFile, output)) return WriteFailedReport(error);

    RunReport report = ConvertStreams(input.get(), settings.inputFile, output.get(), settings, observer);
    const int closeError = output.Close();
    if (closeError != 0 && report.status != RunStatus::WriteFailed) return WriteFailedReport(closeError);
    return report;
}

void RunConversion(ConversionSettings& settings, MessageOwner& owner) {
    RunConversion(settings, owner, nullptr);
}

void RunConversion(ConversionSettings& settings, MessageOwner& owner, RunObserver* observer) {
    const RunReport report = ConvertFile(settings, observer);
    if (observer) observer->Finished(report);
    owner.ShowMessage(report.text, report.caption);
}

}  // namespace rowsmith
