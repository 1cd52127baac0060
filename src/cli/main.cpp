// rowsmith-convert: the conversion engine of the window, on the command line.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "cli/command_line.h"
#include "cli/progress_line.h"
#include "convert/conversion_run.h"
#include "convert/run_message.h"
#include "io/stop_request.h"
#include "io/open_file.h"
#include "io/status.h"
#include "io/unique_fd.h"
#include "rowsmith_version.h"

namespace {

using rowsmith::CommandLine;
using rowsmith::RunReport;
using rowsmith::RunStatus;

constexpr int kFailed = 1;
constexpr int kUsage = 2;

void Complain(const std::string& text) {
    std::fprintf(stderr, "rowsmith-convert: %s\n", text.c_str());
}

// True when fd is open: a descriptor closed before the start would be
// handed to the first file opened, and mistaken for it.
bool IsOpen(int fd) {
    return ::fcntl(fd, F_GETFD) != -1;
}

// True when standard error and standard output are the same terminal, where
// a progress line would mix with the statements.
bool SameTerminal() {
    struct stat out {};
    struct stat err {};
    return ::isatty(STDOUT_FILENO) == 1 && ::fstat(STDOUT_FILENO, &out) == 0 && ::fstat(STDERR_FILENO, &err) == 0 &&
           out.st_rdev == err.st_rdev;
}

// A file that could not be opened: said as Unix tools say it; a stop
// requested while the open waited (a FIFO nobody reads) ends the program as
// the signal asked.
int OpenFailed(const std::string& name, int error) {
    if (error == rowsmith::kStopped) {
        const int signal = rowsmith::StopSignal();
        Complain(std::string("stopped by ") + ::strsignal(signal) + " while waiting for " + name +
                 "; nothing was written");
        return 128 + signal;
    }
    Complain(name + ": " + rowsmith::StatusText(error));
    return kFailed;
}

int ExitStatus(const RunReport& report) {
    switch (report.status) {
        case RunStatus::Done:
            return 0;
        case RunStatus::NoTable:
        case RunStatus::BadOptions:
            return kUsage;
        case RunStatus::Cancelled:
            // Stopped after the statement being written: the output is whole.
            return report.stopSignal != 0 ? 128 + report.stopSignal : kFailed;
        default:
            return kFailed;
    }
}

int Convert(const CommandLine& line) {
    const rowsmith::ConversionSettings settings{line.input, line.output, line.table, line.fields};
    const bool fromStdin = line.input == "-";
    const std::string inputName = fromStdin ? "standard input" : line.input;
    const std::string outputName = !line.hasOutput       ? "standard output"
                                   : line.output.empty() ? rowsmith::kDefaultOutputFile
                                                         : line.output;
    if (fromStdin && !IsOpen(STDIN_FILENO)) {
        Complain("standard input is closed");
        return kFailed;
    }
    if (!line.hasOutput && !IsOpen(STDOUT_FILENO)) {
        Complain("standard output is closed");
        return kFailed;
    }
    rowsmith::UniqueFd inputFile;
    if (!fromStdin) {
        if (const int error = rowsmith::OpenForReading(line.input, inputFile)) return OpenFailed(inputName, error);
    }
    rowsmith::UniqueFd outputFile;
    if (line.hasOutput) {
        if (const int error = rowsmith::OpenForAppending(outputName, outputFile)) return OpenFailed(outputName, error);
    }

    rowsmith::ProgressLine progress(STDERR_FILENO,
                                    ::isatty(STDERR_FILENO) == 1 && !(!line.hasOutput && SameTerminal()));
    RunReport report =
        rowsmith::ConvertStreams(fromStdin ? STDIN_FILENO : inputFile.get(), inputName,
                                 line.hasOutput ? outputFile.get() : STDOUT_FILENO, settings, line.options, &progress);
    // The progress line goes before anything else is said on the terminal.
    progress.Clear();
    const int closeError = line.hasOutput ? outputFile.Close() : ::close(STDOUT_FILENO) == 0 ? 0 : errno;
    if (closeError != 0 && report.status == RunStatus::Done) {
        const rowsmith::RowCounts counts = report.counts;
        report = rowsmith::WriteFailedReport(closeError);
        report.counts = counts;
    }
    for (const std::string& text : rowsmith::CommandLineLines(report, inputName, outputName)) Complain(text);
    return ExitStatus(report);
}

// Writes text to standard output; false when it could not be written.
bool Print(const std::string& text) {
    return std::fputs(text.c_str(), stdout) >= 0 && std::fflush(stdout) == 0;
}

}  // namespace

int main(int argc, char** argv) try {
    const CommandLine line = rowsmith::ParseCommandLine(argc, argv);
    switch (line.action) {
        case CommandLine::Action::Help:
        case CommandLine::Action::Version: {
            const std::string text = line.action == CommandLine::Action::Help
                                         ? std::string(rowsmith::kUsageText) + rowsmith::HelpText()
                                         : "rowsmith-convert (Rowsmith) " ROWSMITH_VERSION "\n";
            if (Print(text)) return 0;
            Complain(std::string("standard output: ") + std::strerror(errno));
            return kFailed;
        }
        case CommandLine::Action::UsageError:
            Complain(line.error);
            std::fputs(rowsmith::kUsageText, stderr);
            std::fputs("Try 'rowsmith-convert --help' for more.\n", stderr);
            return kUsage;
        case CommandLine::Action::Convert:
            break;
    }
    // SIGINT, SIGTERM and SIGHUP end a run after the statement being
    // written, and end any wait at once.
    rowsmith::CatchStopSignals();
    return Convert(line);
} catch (const std::bad_alloc&) {
    Complain("there is not enough memory for the conversion");
    return kFailed;
}
