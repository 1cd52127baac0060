#include "cli/command_line.h"

#include <algorithm>

#include <getopt.h>

#include <vector>

#include "convert/options/column_choice.h"
#include "convert/options/option_table.h"
#include "io/text_mode.h"

namespace rowsmith {

const char* const kUsageText = "Usage: rowsmith-convert --table NAME --fields LIST [--output FILE] INPUT\n";

namespace {

// The command's own words, beside the options of a run (option_table.h).
enum class Word { Table, Fields, Output, Sniff, Check, Help, Version };
struct CommandWord {
    Word word;
    std::string_view name;
    char shortName;
    std::string_view valueName;
    std::string_view help;
};
constexpr CommandWord kWords[] = {
    {Word::Table, "table", 't', "NAME", "table name, put after INSERT INTO exactly as given"},
    {Word::Fields, "fields", 'f', "LIST", "comma-separated column names, put between the parentheses"},
    {Word::Output, "output", 'o', "FILE",
     "append the statements to FILE, creating it if needed;\nwithout it they go to standard output"},
    {Word::Sniff, "sniff", '\0', "",
     "say how INPUT is written (encoding, delimiter, quoting,\n"
     "header, line ends, field counts) from its start and end,\n"
     "and last, after \"options:\", the reading options that\n"
     "read it so; nothing is converted"},
    {Word::Check, "check", '\0', "",
     "read all of INPUT with the options given and write\n"
     "nothing: each problem (an unclosed quote, a record whose\n"
     "number of values differs from the header or --fields,\n"
     "bytes not in the encoding, a NUL byte, a header name\n"
     "empty or twice, a statement over --max-statement-bytes)\n"
     "goes to standard error as INPUT:LINE: reason, the first\n"
     "100 of them; exit status 1 when there is one"},
    {Word::Help, "help", '\0', "", "show this help and exit"},
    {Word::Version, "version", '\0', "", "show the version and exit"},
};
constexpr int kWordCount = static_cast<int>(std::size(kWords));
// getopt's code for a long option: its place in kWords, then in the facts.
constexpr int kFirstCode = 256;

const char* const kHelpEnd =
    "\n"
    "INPUT is the file to read; - reads standard input. Every value becomes a\n"
    "single-quoted SQL string with its single quotes doubled; statements end in\n"
    "CR LF. An empty field list gives INSERT INTO NAME VALUES ( ... ), in the\n"
    "table's column order. Lines whose number of values differs from the number\n"
    "of fields are counted and reported on standard error. A line or record of\n"
    "more than 64 MiB, or of more than 1048576 fields where values are read one\n"
    "by one, is an error: a record's memory stays within about twice its bytes.\n"
    "Appending, a run first reads the output as the database's client does, and\n"
    "takes away a statement of Rowsmith's that a killed run cut short.\n"
    "\n"
    "Examples:\n"
    "  rowsmith-convert -t people -f \"id, name\" people.csv > people.sql\n"
    "  rowsmith-convert -t people --header --rfc4180 export.csv | psql shop\n"
    "  rowsmith-convert -t sales -f \"region, total\" -d \";\" --rfc4180 sales.csv\n"
    "  rowsmith-convert -t log -f \"time, text\" -d tab --encoding windows-1252 log.tsv\n"
    "  rowsmith-convert -t orders -f \"id, total\" --dialect mysql \\\n"
    "      --rows-per-insert 500 --transaction export.csv.gz | mariadb shop\n"
    "  rowsmith-convert -t people --header --rfc4180 --null unquoted-empty \\\n"
    "      --create-table --dialect postgresql export.csv | psql shop\n"
    "\n"
    "More than one INPUT are read one after another into the one table, with\n"
    "one CREATE TABLE whose types fit them all, one transaction, and the header\n"
    "of each left out; a header unlike the first's stops the run before it\n"
    "writes. Standard input can only be the one INPUT.\n"
    "\n"
    "Exit status: 0 when every line was converted, 1 when the input could not be\n"
    "read (or holds what the dialect cannot write) or the output not written, 2\n"
    "on a usage error or an empty table name, 128 + N when signal N stopped the\n"
    "run, also while it waited for input, output or the output's lock (the\n"
    "output then holds whole statements).\n";

std::string WordEntries(Word first, Word last) {
    std::string text;
    for (const CommandWord& word : kWords) {
        if (word.word >= first && word.word <= last) {
            text += HelpEntry(word.shortName, word.name, word.valueName, word.help);
        }
    }
    return text;
}

std::string FactEntries(OptionGroup group) {
    std::string text;
    for (const OptionFact& fact : OptionFacts()) {
        if (fact.group == group) text += HelpEntry(fact.shortName, fact.name, fact.valueName, fact.help);
    }
    return text;
}

// The long options for getopt, and the short ones as its string.
struct GetoptTables {
    std::vector<option> longOptions;
    std::string shortOptions = ":";
};

GetoptTables MakeGetoptTables() {
    GetoptTables tables;
    const auto add = [&tables](std::string_view name, char shortName, bool takesValue, int code) {
        tables.longOptions.push_back({name.data(), takesValue ? required_argument : no_argument, nullptr, code});
        if (shortName != '\0') (tables.shortOptions += shortName) += takesValue ? ":" : "";
    };
    for (int i = 0; i < kWordCount; ++i)
        add(kWords[i].name, kWords[i].shortName, !kWords[i].valueName.empty(), kFirstCode + i);
    const std::span<const OptionFact> facts = OptionFacts();
    for (std::size_t i = 0; i < facts.size(); ++i) {
        add(facts[i].name, facts[i].shortName, !facts[i].valueName.empty(),
            kFirstCode + kWordCount + static_cast<int>(i));
    }
    tables.longOptions.push_back({nullptr, 0, nullptr, 0});
    return tables;
}

// The code of a short option: that of its long form.
int CodeOf(int option) {
    for (int i = 0; i < kWordCount; ++i) {
        if (kWords[i].shortName == option) return kFirstCode + i;
    }
    const std::span<const OptionFact> facts = OptionFacts();
    for (std::size_t i = 0; i < facts.size(); ++i) {
        if (facts[i].shortName == option) return kFirstCode + kWordCount + static_cast<int>(i);
    }
    return option;
}

// The option getopt just stopped at, as it was written: "-q" for a short
// one, also inside a cluster such as -qzt, or the long one itself.
std::string OptionName(int argc, char** argv) {
    const int index = ::optind - 1;
    const std::string word = index > 0 && index < argc ? argv[index] : "";
    if (word.rfind("--", 0) == 0 || ::optopt == 0) return word.substr(0, word.find('='));
    return std::string("-") + static_cast<char>(::optopt);
}

CommandLine UsageError(std::string error) {
    CommandLine line;
    line.action = CommandLine::Action::UsageError;
    line.error = std::move(error);
    return line;
}

// Applies one of the command's own words; false when it ends the reading.
bool ApplyWord(Word word, CommandLine& line) {
    switch (word) {
        case Word::Table:
            line.table = ::optarg;
            return true;
        case Word::Fields:
            line.fields = ::optarg;
            return true;
        case Word::Output:
            line.output = ::optarg;
            line.hasOutput = true;
            return true;
        case Word::Sniff:
            line.action = CommandLine::Action::Sniff;
            return true;
        case Word::Check:
            line.action = CommandLine::Action::Check;
            return true;
        case Word::Help:
            line.action = CommandLine::Action::Help;
            return false;
        case Word::Version:
            line.action = CommandLine::Action::Version;
            return false;
    }
    return true;
}

// What is missing or wrong once every option is read; empty when nothing.
std::string Completeness(const CommandLine& line, bool hasTable, bool hasFields, int argc) {
    // A look at the input needs no table; a check, no table or fields.
    const bool looks = line.action != CommandLine::Action::Convert;
    if (looks && argc - ::optind != 1) return argc == ::optind ? "INPUT is missing" : "give exactly one INPUT";
    if (!looks && !hasTable) return "--table is missing";
    if (!looks && TrimTrailingSpace(line.table).empty()) return "the table name given to --table is empty";
    if (std::string problem = OptionsProblem(line.options); !problem.empty()) return problem;
    if (!looks && !hasFields && !line.options.header && !NamesEachColumn(line.options.columns))
        return "--fields is missing (or give --header)";
    if (argc == ::optind) return "INPUT is missing";
    if (looks && argc - ::optind != 1) return "give exactly one INPUT";
    return {};
}

}  // namespace

std::string HelpText() {
    return "Turn comma-separated text into SQL INSERT statements, one per input line.\n"
           "Options for the database that loads them may go before INPUT.\n\n" +
           WordEntries(Word::Table, Word::Output) + FactEntries(OptionGroup::Output) + "\nHow the input is read:\n" +
           FactEntries(OptionGroup::Input) + "A gzip-compressed input is read decompressed, whatever its name.\n" +
           "\nLooking at the input before converting it:\n" + WordEntries(Word::Sniff, Word::Check) + "\n" +
           WordEntries(Word::Help, Word::Version) + kHelpEnd;
}

CommandLine ParseCommandLine(int argc, char** argv) {
    static const GetoptTables tables = MakeGetoptTables();
    CommandLine line;
    bool hasTable = false;
    bool hasFields = false;
    ::optind = 0;  // glibc's full reset, so that a second call reads its argv whole
    ::opterr = 0;
    int option;
    while ((option = ::getopt_long(argc, argv, tables.shortOptions.c_str(), tables.longOptions.data(), nullptr)) !=
           -1) {
        if (option == ':') return UsageError("option " + OptionName(argc, argv) + " needs a value");
        const int code = CodeOf(option) - kFirstCode;
        if (code < 0 || code >= kWordCount + static_cast<int>(OptionFacts().size())) {
            return UsageError("unknown option " + OptionName(argc, argv));
        }
        if (code < kWordCount) {
            hasTable = hasTable || kWords[code].word == Word::Table;
            hasFields = hasFields || kWords[code].word == Word::Fields;
            if (!ApplyWord(kWords[code].word, line)) return line;
            continue;
        }
        const OptionFact& fact = OptionFacts()[static_cast<std::size_t>(code - kWordCount)];
        const std::string_view value = fact.valueName.empty() ? "1" : ::optarg;
        if (!fact.set(line.options, value)) return UsageError(BadValueText(fact, value));
    }
    if (std::string error = Completeness(line, hasTable, hasFields, argc); !error.empty()) return UsageError(error);
    line.input = argv[::optind];
    line.inputs.assign(argv + ::optind, argv + argc);
    if (line.inputs.size() > 1 && std::find(line.inputs.begin(), line.inputs.end(), "-") != line.inputs.end())
        return UsageError("standard input (-) can only be the one INPUT");
    return line;
}

}  // namespace rowsmith
