#include "convert/conversion_run.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>

#include "convert/messages.h"
#include "convert/statement_output.h"
#include "convert/text_mode.h"
#include "convert/text_mode_reader.h"
#include "convert/unique_fd.h"

namespace rowsmith {

namespace {

RunReport Report(RunStatus status, Message message) {
    return {status, std::string(message.text), std::string(message.caption)};
}

RunReport ReadFailed(const std::string& path, int error) {
    return {RunStatus::ReadFailed, ReadFailedText(path, error), std::string(kReadFailedCaption)};
}

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

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

RunReport ConvertFile(ConversionSettings& settings, RunObserver* observer) {
    if (settings.outputFile.empty()) settings.outputFile = kDefaultOutputFile;

    UniqueFd input(::open(settings.inputFile.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat inputInfo {};
    if (!input || ::fstat(input.get(), &inputInfo) != 0) return ReadFailed(settings.inputFile, errno);

    UniqueFd output(::open(settings.outputFile.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666));
    struct stat outputInfo {};
    if (!output || ::fstat(output.get(), &outputInfo) != 0) {
        return Report(RunStatus::WriteFailed, kWriteFailedMessage);
    }
    // Appending to the file being read would read on into its own output.
    if (SameFile(inputInfo, outputInfo)) return Report(RunStatus::SameFile, kSameFileMessage);

    const StatementFormat format(settings.tableName, settings.fieldNames, kDiskLineEnd);
    TextModeReader reader(input.get());
    StatementOutput statements(output.get());
    const std::uint64_t totalBytes =
        S_ISREG(inputInfo.st_mode) ? static_cast<std::uint64_t>(inputInfo.st_size) : 0;
    int error = 0;
    const RunStatus status = ConvertLines(reader, statements, format, observer, totalBytes, &error);
    const bool closed = output.Close();

    switch (status) {
        case RunStatus::ReadFailed:
            return ReadFailed(settings.inputFile, error);
        case RunStatus::WriteFailed:
            return Report(status, kWriteFailedMessage);
        default:
            break;
    }
    if (!closed) return Report(RunStatus::WriteFailed, kWriteFailedMessage);
    return Report(status, status == RunStatus::Cancelled ? kCancelledMessage : kDoneMessage);
}

void RunConversion(ConversionSettings& settings, MessageOwner& owner, RunObserver* observer) {
    const RunReport report = ConvertFile(settings, observer);
    owner.ShowMessage(report.text, report.caption);
}

}  // namespace rowsmith
