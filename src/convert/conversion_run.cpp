#include "convert/conversion_run.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>

#include "convert/messages.h"
#include "convert/statement_output.h"
#include "convert/text_mode.h"
#include "convert/text_mode_reader.h"

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

}  // namespace

RunReport ReadFailedReport(const std::string& path, int error) {
    return {RunStatus::ReadFailed, ReadFailedText(path, error), std::string(kReadFailedCaption), error};
}

RunReport WriteFailedReport(int error) {
    RunReport report = Report(RunStatus::WriteFailed, kWriteFailedMessage);
    report.error = error;
    return report;
}

UniqueFd OpenInputFile(const std::string& path, int& error) {
    UniqueFd input(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat info {};
    if (!input) {
        error = errno;
    } else if (::fstat(input.get(), &info) == 0 && S_ISDIR(info.st_mode)) {
        error = EISDIR;
        return UniqueFd();
    }
    return input;
}

UniqueFd OpenOutputFile(const std::string& path, int& error) {
    UniqueFd output(::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666));
    if (!output) error = errno;
    return output;
}

RunStatus ConvertLines(TextModeReader& reader, StatementOutput& output,
                       const StatementFormat& format, RunObserver* observer,
                       std::uint64_t totalBytes, int* error) {
    std::uint64_t reported = 0;
    std::string_view line;
    bool cancelled = false;
    while (!cancelled && reader.NextLine(line)) {
        if (!output.AppendStatement(format, line)) break;
        if (observer && reader.bytesConsumed() != reported) {
            reported = reader.bytesConsumed();
            cancelled = !observer->Continue(reported, totalBytes);
        }
    }
    if (!output.Flush()) {
        *error = output.error();
        return RunStatus::WriteFailed;
    }
    if (reader.error() != 0) {
        *error = reader.error();
        return RunStatus::ReadFailed;
    }
    return cancelled ? RunStatus::Cancelled : RunStatus::Done;
}

RunReport ConvertStreams(int inputFd, const std::string& inputName, int outputFd,
                         const ConversionSettings& settings, RunObserver* observer) {
    struct stat inputInfo {};
    struct stat outputInfo {};
    if (::fstat(inputFd, &inputInfo) != 0) return ReadFailedReport(inputName, errno);
    if (::fstat(outputFd, &outputInfo) != 0) return WriteFailedReport(errno);
    // Appending to the file being read would read on into its own output.
    if (SameFile(inputInfo, outputInfo)) return Report(RunStatus::SameFile, kSameFileMessage);

    const StatementFormat format(settings.tableName, settings.fieldNames, kDiskLineEnd);
    TextModeReader reader(inputFd);
    StatementOutput statements(outputFd);
    const std::uint64_t totalBytes =
        S_ISREG(inputInfo.st_mode) ? static_cast<std::uint64_t>(inputInfo.st_size) : 0;
    int error = 0;
    switch (ConvertLines(reader, statements, format, observer, totalBytes, &error)) {
        case RunStatus::ReadFailed:
            return ReadFailedReport(inputName, error);
        case RunStatus::WriteFailed:
            return WriteFailedReport(error);
        case RunStatus::Cancelled:
            return Report(RunStatus::Cancelled, kCancelledMessage);
        default:
            return Report(RunStatus::Done, kDoneMessage);
    }
}

RunReport ConvertFile(ConversionSettings& settings, RunObserver* observer) {
    if (settings.outputFile.empty()) settings.outputFile = kDefaultOutputFile;

    int error = 0;
    UniqueFd input = OpenInputFile(settings.inputFile, error);
    if (!input) return ReadFailedReport(settings.inputFile, error);
    UniqueFd output = OpenOutputFile(settings.outputFile, error);
    if (!output) return WriteFailedReport(error);

    RunReport report = ConvertStreams(input.get(), settings.inputFile, output.get(), settings, observer);
    if (!output.Close() && report.status != RunStatus::WriteFailed) return WriteFailedReport(errno);
    return report;
}

void RunConversion(ConversionSettings& settings, MessageOwner& owner) {
    RunConversion(settings, owner, nullptr);
}

void RunConversion(ConversionSettings& settings, MessageOwner& owner, RunObserver* observer) {
    const RunReport report = ConvertFile(settings, observer);
    owner.ShowMessage(report.text, report.caption);
}

}  // namespace rowsmith
