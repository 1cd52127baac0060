#include "cli/command_line.h"

#include <getopt.h>

namespace rowsmith {

const char* const kUsageText = "Usage: rowsmith-convert --table NAME --fields LIST [--output FILE] INPUT\n";

const char* const kHelpText =
    "Turn comma-separated text into SQL INSERT statements, one per input line.\n"
    "\n"
    "  -t, --table NAME    table name, put after INSERT INTO exactly as given\n"
    "  -f, --fields LIST   comma-separated column names, put between the parentheses\n"
    "  -o, --output FILE   append the statements to FILE, creating it if needed;\n"
    "                      without it they go to standard output\n"
    "      --help          show this help and exit\n"
    "      --version       show the version and exit\n"
    "\n"
    "INPUT is the file to read; - reads standard input. Every value becomes a\n"
    "single-quoted SQL string with its single quotes doubled; statements end in CR LF.\n"
    "\n"
    "Exit status: 0 when every line was converted, 1 when the input could not be\n"
    "read or the output not written, 2 on a usage error.\n";

namespace {

enum LongOnly { kHelpOption = 256, kVersionOption };

constexpr option kOptions[] = {
    {"table", required_argument, nullptr, 't'},        {"fields", required_argument, nullptr, 'f'},
    {"output", required_argument, nullptr, 'o'},       {"help", no_argument, nullptr, kHelpOption},
    {"version", no_argument, nullptr, kVersionOption}, {nullptr, 0, nullptr, 0},
};

CommandLine UsageError(std::string error) {
    CommandLine line;
    line.action = CommandLine::Action::UsageError;
    line.error = std::move(error);
    return line;
}

}  // namespace

CommandLine ParseCommandLine(int argc, char** argv) {
    CommandLine line;
    bool hasTable = false;
    bool hasFields = false;
    ::optind = 1;
    ::opterr = 0;
    int option;
    while ((option = ::getopt_long(argc, argv, ":t:f:o:", kOptions, nullptr)) != -1) {
        switch (option) {
            case 't':
                line.table = ::optarg;
                hasTable = true;
                break;
            case 'f':
                line.fields = ::optarg;
                hasFields = true;
                break;
            case 'o':
                line.output = ::optarg;
                line.hasOutput = true;
                break;
            case kHelpOption:
                line.action = CommandLine::Action::Help;
                return line;
            case kVersionOption:
                line.action = CommandLine::Action::Version;
                return line;
            case ':':
                return UsageError(std::string("option ") + argv[::optind - 1] + " needs a value");
            default:
                return UsageError(std::string("unknown option ") + argv[::optind - 1]);
        }
    }
    if (!hasTable) return UsageError("--table is missing");
    if (!hasFields) return UsageError("--fields is missing");
    if (argc - ::optind != 1) {
        return UsageError(argc == ::optind ? "INPUT is missing" : "give exactly one INPUT");
    }
    line.input = argv[::optind];
    return line;
}

}  // namespace rowsmith
