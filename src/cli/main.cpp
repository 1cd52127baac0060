// rowsmith-convert: the conversion engine of the window, on the command line.
#include <unistd.h>

#include <csignal>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "cli/progress_line.h"
#include "convert/run/conversion_run.h"
#include "convert/detect/format_detection.h"
#include "convert/run/parallel_run.h"
#include "convert/run/run_message.h"
#include "io/stop_request.h"
#include "io/file_system.h"
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

// A file that could not be opened: said as Unix tools say it; a stop
// requested while the open waited (a FIFO nobody reads) ends the program as
// the signal asked.
int OpenFailed(const std::string& name, int error) {
    if (error == rowsmith::kStopped) {
        const int signal = rowsmith::StopSignal();
        Complain(std::string("stopped by ") + rowsmith::SignalName(signal) + " while waiting for " + name +
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

// What a look at a regular file's start shows a run's options missed: said
// once a run is done, on standard error. Nothing else changes.
void Hint(const CommandLine& line) {
    if (line.input == "-") return;
    const unsigned threads = rowsmith::JobsFor(line.options.jobs);
    if (const std::optional<rowsmith::Detection> detection = rowsmith::DetectFile(line.input, threads)) {
        for (const std::string& hint : rowsmith::Hints(*detection, line.options)) Complain(hint);
    }
}

// Every input, opened before anything is written; 0, or the exit status
// with the complaint made.
int OpenInputs(const CommandLine& line, const std::string& inputName, std::vector<rowsmith::UniqueFd>& files,
               std::vector<rowsmith::OpenInput>& inputs) {
    files.resize(line.inputs.size());
    for (std::size_t i = 0; i < line.inputs.size(); ++i) {
        if (line.input == "-") {
            inputs.push_back({STDIN_FILENO, inputName});
        } else if (const int error = rowsmith::OpenForReading(line.inputs[i], files[i])) {
            return OpenFailed(line.inputs[i], error);
        } else {
            inputs.push_back({files[i].get(), line.inputs[i]});
        }
    }
    return 0;
}

// The output file the statements are appended to, opened (none for standard
// output, or for parts, which the run writes); 0, or the exit status with
// the complaint made.
int OpenOutput(const CommandLine& line, const std::string& outputName, rowsmith::UniqueFd& file) {
    if (line.options.splits() && !line.hasOutput) {
        Complain("--split-rows and --split-bytes write parts of an output file: give --output FILE");
        return kUsage;
    }
    if (!line.hasOutput || line.options.splits()) return 0;
    const int error = rowsmith::OpenForAppending(outputName, file);
    return error == 0 ? 0 : OpenFailed(outputName, error);
}

// Closes what OpenOutput opened, or standard output; 0 or the errno.
int CloseOutput(const CommandLine& line, rowsmith::UniqueFd& file) {
    if (line.options.splits()) return 0;
    if (line.hasOutput) return file.Close();
    return ::close(STDOUT_FILENO) == 0 ? 0 : errno;
}

int Convert(const CommandLine& line) {
    const rowsmith::ConversionSettings settings{line.input, line.output, line.table, line.fields};
    const bool fromStdin = line.input == "-";
    const std::string inputName = fromStdin ? "standard input" : line.input;
    const std::string outputName = !line.hasOutput       ? "standard output"
                                   : line.output.empty() ? rowsmith::kDefaultOutputFile
                                                         : line.output;
    if (fromStdin && !rowsmith::IsOpen(STDIN_FILENO)) {
        Complain("standard input is closed");
        return kFailed;
    }
    if (!line.hasOutput && !rowsmith::IsOpen(STDOUT_FILENO)) {
        Complain("standard output is closed");
        return kFailed;
    }
    std::vector<rowsmith::UniqueFd> inputFiles;
    std::vector<rowsmith::OpenInput> inputs;
    if (const int failed = OpenInputs(line, inputName, inputFiles, inputs)) return failed;
    const bool split = line.options.splits();
    rowsmith::UniqueFd outputFile;
    if (const int failed = OpenOutput(line, outputName, outputFile)) return failed;

    rowsmith::ProgressLine progress(STDERR_FILENO,
                                    rowsmith::IsTerminal(STDERR_FILENO) &&
                                        !(!line.hasOutput && rowsmith::SameTerminal(STDOUT_FILENO, STDERR_FILENO)));
    RunReport report = split ? rowsmith::ConvertInputsToParts(inputs, outputName, settings, line.options, &progress)
                             : rowsmith::ConvertInputs(inputs, line.hasOutput ? outputFile.get() : STDOUT_FILENO,
                                                       settings, line.options, &progress);
    // The progress line goes before anything else is said on the terminal.
    progress.Clear();
    const int closeError = CloseOutput(line, outputFile);
    if (closeError != 0 && report.status == RunStatus::Done) {
        const rowsmith::RowCounts counts = report.counts;
        report = rowsmith::WriteFailedReport(closeError);
        report.counts = counts;
    }
    for (const std::string& text : rowsmith::CommandLineLines(report, inputName, outputName)) Complain(text);
    if (report.status == RunStatus::Done) Hint(line);
    return ExitStatus(report);
}

// The input named on the command line, opened; -1 with the complaint made
// when it cannot be.
int OpenInput(const CommandLine& line, rowsmith::UniqueFd& file, int& failed) {
    if (line.input == "-") {
        if (rowsmith::IsOpen(STDIN_FILENO)) return STDIN_FILENO;
        Complain("standard input is closed");
        failed = kFailed;
        return -1;
    }
    if (const int error = rowsmith::OpenForReading(line.input, file)) {
        failed = OpenFailed(line.input, error);
        return -1;
    }
    return file.get();
}

// Bytes to standard output; false when they could not be written.
bool Print(const std::string& text);

int Sniff(const CommandLine& line) {
    rowsmith::UniqueFd file;
    int failed = 0;
    const int fd = OpenInput(line, file, failed);
    if (fd < 0) return failed;
    rowsmith::InputSample sample;
    std::string reason;
    if (const int error = rowsmith::ReadSample(fd, sample, reason, true, rowsmith::JobsFor(line.options.jobs))) {
        if (error == rowsmith::kStopped) return OpenFailed(line.input, error);
        Complain((line.input == "-" ? "standard input" : line.input) + ": " + reason);
        return kFailed;
    }
    if (Print(rowsmith::DetectionReport(rowsmith::DetectFormat(sample)))) return 0;
    Complain(std::string("standard output: ") + std::strerror(errno));
    return kFailed;
}

// Says each problem a check finds, the first ones only.
class ProblemPrinter : public rowsmith::ProblemObserver {
public:
    static constexpr std::uint64_t kShown = 100;
    explicit ProblemPrinter(std::string input) : input_(std::move(input)) {}
    void Problem(std::uint64_t line, const std::string& reason) override {
        if (++count_ <= kShown) std::fprintf(stderr, "%s:%llu: %s\n", input_.c_str(), Wide(line), reason.c_str());
        last_ = reason;
    }
    std::uint64_t count() const { return count_; }
    const std::string& last() const { return last_; }
    static unsigned long long Wide(std::uint64_t n) { return static_cast<unsigned long long>(n); }

private:
    std::string input_;
    std::uint64_t count_ = 0;
    std::string last_;
};

int Check(const CommandLine& line) {
    rowsmith::UniqueFd file;
    int failed = 0;
    const int fd = OpenInput(line, file, failed);
    if (fd < 0) return failed;
    const std::string inputName = line.input == "-" ? "standard input" : line.input;
    rowsmith::UniqueFd nowhere;
    if (const int error = rowsmith::OpenNowhere(nowhere)) return OpenFailed("/dev/null", error);
    // The statements go nowhere: no transaction to end, no table to make.
    rowsmith::ConversionOptions options = line.options;
    options.transaction = false;
    options.createTable = false;
    const rowsmith::ConversionSettings settings{line.input, "", line.table.empty() ? "t" : line.table, line.fields};
    ProblemPrinter problems(line.input);
    const RunReport report =
        rowsmith::ConvertStreams(fd, inputName, nowhere.get(), settings, options, nullptr, &problems);
    // A failure the check did not report as a problem of a line.
    if (report.status != RunStatus::Done &&
        (report.status != RunStatus::ReadFailed || report.reason != problems.last())) {
        for (const std::string& text : rowsmith::CommandLineLines(report, inputName, "nothing")) Complain(text);
        if (report.status != RunStatus::ReadFailed) return ExitStatus(report);
    }
    const std::uint64_t count = problems.count() + (report.status == RunStatus::Done ? 0 : 1);
    if (problems.count() > ProblemPrinter::kShown) {
        std::fprintf(stderr, "%s: %llu problems in all; the first %llu are shown\n", inputName.c_str(),
                     ProblemPrinter::Wide(problems.count()), ProblemPrinter::Wide(ProblemPrinter::kShown));
    } else if (count == 0) {
        std::fprintf(stderr, "%s: no problems in %llu records\n", inputName.c_str(),
                     ProblemPrinter::Wide(report.counts.rows));
    }
    return count == 0 ? 0 : kFailed;
}

// Writes text to standard output; false when it could not be written.
bool Print(const std::string& text) {
    return std::fwrite(text.data(), 1, text.size(), stdout) == text.size() && std::fflush(stdout) == 0;
}

}  // namespace

int main(int argc, char** argv) try {
    std::vector<std::string> arguments = rowsmith::StartProgram(argc, argv);
    std::vector<char*> words;
    words.reserve(arguments.size() + 1);
    for (std::string& argument : arguments) words.push_back(argument.data());
    words.push_back(nullptr);
    const CommandLine line = rowsmith::ParseCommandLine(static_cast<int>(arguments.size()), words.data());
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
        case CommandLine::Action::Sniff:
        case CommandLine::Action::Check:
            break;
    }
    // SIGINT, SIGTERM and SIGHUP end a run after the statement being
    // written, and end any wait at once.
    rowsmith::CatchStopSignals();
    if (line.action == CommandLine::Action::Sniff) return Sniff(line);
    if (line.action == CommandLine::Action::Check) return Check(line);
    return Convert(line);
} catch (const std::bad_alloc&) {
    Complain("there is not enough memory for the conversion");
    return kFailed;
}
