#pragma once

#include <string>
#include <vector>

#include "convert/options/conversion_options.h"

namespace rowsmith {

// What the command line asks for.
struct CommandLine {
    // Sniff: say how INPUT looks written; Check: read it all, write nothing,
    // and report each problem with its line.
    enum class Action { Convert, Sniff, Check, Help, Version, UsageError };
    Action action = Action::Convert;
    std::string table;
    std::string fields;
    bool hasOutput = false;
    std::string output;  // with hasOutput: the file to append to
    std::string input;   // "-" for standard input
    // Converting: every INPUT, input first, read one after another into the table.
    std::vector<std::string> inputs;
    std::string error;  // with UsageError: what is wrong
    ConversionOptions options;
};

// Reads argv; may be called again on another argv.
CommandLine ParseCommandLine(int argc, char** argv);

extern const char* const kUsageText;
// What --help shows after the usage line.
std::string HelpText();

}  // namespace rowsmith
