#pragma once

// Everything there is to know about each option of a run, in one table:
// its name on the command line, its place and words in --help, the values
// it takes and how it is kept in db.ini. The command-line parser, --help,
// the settings file and the tests all read this table.

#include <span>
#include <string>
#include <string_view>

#include "convert/options/conversion_options.h"

namespace rowsmith {

// Which part of --help lists an option.
enum class OptionGroup { Output, Input };

struct OptionFact {
    std::string_view name;       // --name
    char shortName;              // -x, or '\0'
    std::string_view valueName;  // the value's name in --help; empty for a switch
    OptionGroup group;
    std::string_view help;     // what --help says of it, lines separated by '\n'
    std::string_view expects;  // what its value must be, as a message says it
    // Given more than once, each value adds to the others; its text (get)
    // is then the values, one a line, and db.ini keeps a line for each.
    bool repeats;
    // Sets the option from text (a switch: "1" for on, "0" or "" for off);
    // false when the text is not a value the option takes.
    bool (*set)(ConversionOptions& options, std::string_view value);
    // The option's value as text; empty while it is the default.
    std::string (*get)(const ConversionOptions& options);
};

std::span<const OptionFact> OptionFacts();
// The option a name (as --name takes it, without the dashes) stands for;
// null for a name no option has.
const OptionFact* OptionNamed(std::string_view name);

// The message for a value an option does not take.
std::string BadValueText(const OptionFact& fact, std::string_view value);

// The key db.ini keeps an option under: its name in capitals, without dashes.
std::string SettingsKey(const OptionFact& fact);

// One line of --help, or more: "  -d, --delimiter C   " and the help text,
// each further line indented under the first.
std::string HelpEntry(char shortName, std::string_view name, std::string_view valueName, std::string_view help);

}  // namespace rowsmith
