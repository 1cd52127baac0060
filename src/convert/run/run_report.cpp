#include "convert/run/run_report.h"

#include "io/status.h"
#include "io/stop_request.h"

namespace rowsmith {

RunReport MakeReport(RunStatus status, Message message) {
    RunReport report;
    report.status = status;
    report.text = message.text;
    report.caption = message.caption;
    return report;
}

RunReport StoppedReport() {
    RunReport report = MakeReport(RunStatus::Cancelled, kCancelledMessage);
    report.stopSignal = StopSignal();
    return report;
}

RunReport ReadFailedReport(const std::string& path, int error, const std::string& reason) {
    RunReport report;
    report.status = RunStatus::ReadFailed;
    report.reason = reason.empty() ? StatusText(error) : reason;
    report.text = ReadFailedText(path, report.reason);
    report.caption = kReadFailedCaption;
    report.error = error;
    report.failedFile = path;
    return report;
}

RunReport WriteFailedReport(int error) {
    RunReport report = MakeReport(RunStatus::WriteFailed, kWriteFailedMessage);
    report.error = error;
    report.reason = StatusText(error);
    return report;
}

RunReport BadOptionsReport(const std::string& problem) {
    RunReport report = MakeReport(RunStatus::BadOptions, kBadOptionsMessage);
    report.reason = problem;
    // Appended, not concatenated: GCC 12 sees a false -Wrestrict in " " + text.
    report.text.append(" ").append(Sentence(problem));
    return report;
}

}  // namespace rowsmith
