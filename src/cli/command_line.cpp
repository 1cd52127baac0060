#include "cli/command_line.h"

#include <getopt.h>

#include <cstdint>
#include <optional>
#include <string_view>

#include "io/iconv_source.h"
#include "io/text_mode.h"

namespace rowsmith {

const char* const kUsageText = "Usage: rowsmith-convert --table NAME --fields LIST [--output FILE] INPUT\n";

const char* const kHelpText =
    "Turn comma-separated text into SQL INSERT statements, one per input line.\n"
    "Options for the database that loads them may go before INPUT.\n"
    "\n"
    "  -t, --table NAME    table name, put after INSERT INTO exactly as given\n"
    "  -f, --fields LIST   comma-separated column names, put between the parentheses\n"
    "  -o, --output FILE   append the statements to FILE, creating it if needed;\n"
    "                      without it they go to standard output\n"
    "      --dialect NAME  how values are written for the database that loads them:\n"
    "                        standard  single quotes doubled, nothing else escaped\n"
    "                                  (SQLite, PostgreSQL; also MySQL and MariaDB\n"
    "                                  when their sql_mode has NO_BACKSLASH_ESCAPES)\n"
    "                        mysql     also backslashes doubled and NUL as \\0, for\n"
    "                                  MySQL and MariaDB in their default sql_mode;\n"
    "                                  mariadb is another name for it (it needs a\n"
    "                                  connection character set in which byte 0x5C\n"
    "                                  is always a backslash: not big5, gbk or sjis)\n"
    "      --empty-as-null write an empty value as NULL instead of ''\n"
    "      --rows-per-insert N\n"
    "                      up to N rows (1 to 100000, default 1) in one INSERT, a row\n"
    "                      a line; a row with another number of values than its\n"
    "                      statement's first row starts a new statement\n"
    "      --transaction   put BEGIN; before the statements and COMMIT; after them;\n"
    "                      a run that fails or is cancelled writes no COMMIT; (a\n"
    "                      cancelled one writes ROLLBACK;), so loading it adds nothing\n"
    "\n"
    "How the input is read:\n"
    "      --header        the first record names the fields and is not converted;\n"
    "                      without --fields the names, trimmed and quoted as\n"
    "                      identifiers, become the field list\n"
    "      --rfc4180       standard CSV quoting: \"\" inside quotes is one quote, and\n"
    "                      delimiters and line breaks inside quotes are data; a record\n"
    "                      ends at LF, CR LF or CR; empty lines give nothing; bytes\n"
    "                      are read as they are\n"
    "  -d, --delimiter C   C separates fields instead of the comma: one byte, or tab\n"
    "      --encoding NAME the input is in character set NAME (any iconv knows, such\n"
    "                      as windows-1252, latin1, utf-16); the output is UTF-8\n"
    "A gzip-compressed input is read decompressed, whatever its name.\n"
    "      --help          show this help and exit\n"
    "      --version       show the version and exit\n"
    "\n"
    "INPUT is the file to read; - reads standard input. Every value becomes a\n"
    "single-quoted SQL string with its single quotes doubled; statements end in CR LF.\n"
    "An empty field list gives INSERT INTO NAME VALUES ( ... ), in the table's column\n"
    "order. Lines whose number of values differs from the number of fields are\n"
    "counted and reported on standard error.\n"
    "\n"
    "Examples:\n"
    "  rowsmith-convert -t people -f \"id, name\" people.csv > people.sql\n"
    "  rowsmith-convert -t people --header --rfc4180 export.csv | psql shop\n"
    "  rowsmith-convert -t sales -f \"region, total\" -d \";\" --rfc4180 sales.csv\n"
    "  rowsmith-convert -t log -f \"time, text\" -d tab --encoding windows-1252 log.tsv\n"
    "  rowsmith-convert -t orders -f \"id, total\" --dialect mysql --rows-per-insert 500 \\\n"
    "      --transaction export.csv.gz | mariadb shop\n"
    "\n"
    "Exit status: 0 when every line was converted, 1 when the input could not be\n"
    "read or the output not written, 2 on a usage error or an empty table name,\n"
    "128 + N when signal N stopped the run (the output then holds whole statements).\n";

namespace {

enum LongOnly {
    kHelpOption = 256,
    kVersionOption,
    kDialectOption,
    kEmptyAsNullOption,
    kRowsPerInsertOption,
    kTransactionOption,
    kHeaderOption,
    kRfc4180Option,
    kEncodingOption,
};

// clang-format off
constexpr option kOptions[] = {
    {"table",           required_argument, nullptr, 't'},
    {"fields",          required_argument, nullptr, 'f'},
    {"output",          required_argument, nullptr, 'o'},
    {"dialect",         required_argument, nullptr, kDialectOption},
    {"empty-as-null",   no_argument,       nullptr, kEmptyAsNullOption},
    {"rows-per-insert", required_argument, nullptr, kRowsPerInsertOption},
    {"transaction",     no_argument,       nullptr, kTransactionOption},
    {"header",          no_argument,       nullptr, kHeaderOption},
    {"rfc4180",         no_argument,       nullptr, kRfc4180Option},
    {"delimiter",       required_argument, nullptr, 'd'},
    {"encoding",        required_argument, nullptr, kEncodingOption},
    {"help",            no_argument,       nullptr, kHelpOption},
    {"version",         no_argument,       nullptr, kVersionOption},
    {nullptr, 0, nullptr, 0},
};
// clang-format on

// A whole number from 1 to kMaxRowsPerInsert, digits only.
std::optional<std::uint32_t> RowsPerInsert(std::string_view text) {
    if (text.empty() || text.size() > 6) return std::nullopt;
    std::uint32_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<std::uint32_t>(c - '0');
    }
    if (value < 1 || value > kMaxRowsPerInsert) return std::nullopt;
    return value;
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

}  // namespace

CommandLine ParseCommandLine(int argc, char** argv) {
    CommandLine line;
    bool hasTable = false;
    bool hasFields = false;
    ::optind = 0;  // glibc's full reset, so that a second call reads its argv whole
    ::opterr = 0;
    int option;
    while ((option = ::getopt_long(argc, argv, ":t:f:o:d:", kOptions, nullptr)) != -1) {
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
            case kDialectOption:
                if (const std::optional<Dialect> dialect = DialectFromName(::optarg)) {
                    line.options.dialect = *dialect;
                } else {
                    return UsageError(std::string("unknown dialect '") + ::optarg + "' (standard, mysql or mariadb)");
                }
                break;
            case kEmptyAsNullOption:
                line.options.emptyAsNull = true;
                break;
            case kRowsPerInsertOption:
                if (const std::optional<std::uint32_t> rows = RowsPerInsert(::optarg)) {
                    line.options.rowsPerInsert = *rows;
                } else {
                    return UsageError(std::string("--rows-per-insert takes a whole number from 1 to 100000, not '") +
                                      ::optarg + "'");
                }
                break;
            case kTransactionOption:
                line.options.transaction = true;
                break;
            case kHeaderOption:
                line.options.header = true;
                break;
            case kRfc4180Option:
                line.options.rfc4180 = true;
                break;
            case 'd':
                if (const std::optional<char> delimiter = DelimiterFromName(::optarg)) {
                    line.options.delimiter = *delimiter;
                } else {
                    return UsageError(std::string("--delimiter takes one byte or 'tab' (not a quote, backslash, "
                                                  "CR, LF or NUL), not '") +
                                      ::optarg + "'");
                }
                break;
            case kEncodingOption:
                if (!EncodingKnown(::optarg)) {
                    return UsageError(std::string("the character set '") + ::optarg + "' is not known");
                }
                line.options.encoding = ::optarg;
                break;
            case kHelpOption:
                line.action = CommandLine::Action::Help;
                return line;
            case kVersionOption:
                line.action = CommandLine::Action::Version;
                return line;
            case ':':
                return UsageError("option " + OptionName(argc, argv) + " needs a value");
            default:
                return UsageError("unknown option " + OptionName(argc, argv));
        }
    }
    if (!hasTable) return UsageError("--table is missing");
    if (TrimTrailingSpace(line.table).empty()) return UsageError("the table name given to --table is empty");
    if (!hasFields && !line.options.header) return UsageError("--fields is missing (or give --header)");
    if (argc - ::optind != 1) {
        return UsageError(argc == ::optind ? "INPUT is missing" : "give exactly one INPUT");
    }
    line.input = argv[::optind];
    return line;
}

}  // namespace rowsmith
