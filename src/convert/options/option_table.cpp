#include "convert/options/option_table.h"

#include <charconv>
#include <cstdint>

#include "convert/options/option_values.h"
#include "io/text_mode.h"

namespace rowsmith {

namespace {

struct NamedNullMode {
    std::string_view name;
    NullMode mode;
};
constexpr NamedNullMode kNullModes[] = {
    {"none", NullMode::None}, {"empty", NullMode::Empty}, {"unquoted-empty", NullMode::UnquotedEmpty}};

// clang-format off
constexpr OptionFact kFacts[] = {
    // In the order db.ini keeps them.
    {"header", '\0', "", OptionGroup::Input,
     "the first record names the fields and is not converted;\n"
     "without --fields the names, trimmed and quoted as\n"
     "identifiers (\"name\", or `name` with --dialect mysql, as\n"
     "MySQL reads \"name\" only with ANSI_QUOTES), become the\n"
     "field list; a column with no name, or one named before,\n"
     "is named columnN or NAME_2 (_3, ...), as the run says",
     "nothing",
     false, [](ConversionOptions& o, std::string_view v) { return SetSwitch(o.header, v); },
     [](const ConversionOptions& o) { return SwitchText(o.header); }},
    {"rfc4180", '\0', "", OptionGroup::Input,
     "standard CSV quoting: \"\" inside quotes is one quote, and\n"
     "delimiters and line breaks inside quotes are data; a\n"
     "record ends at LF, CR LF or CR; empty lines give nothing;\n"
     "bytes are read as they are",
     "nothing",
     false, [](ConversionOptions& o, std::string_view v) { return SetSwitch(o.rfc4180, v); },
     [](const ConversionOptions& o) { return SwitchText(o.rfc4180); }},
    {"delimiter", 'd', "C", OptionGroup::Input,
     "C separates fields instead of the comma: one byte, tab or\n"
     "space (not a quote, backslash, CR, LF, VT, FF, 0x1A or\n"
     "NUL; ASCII with --encoding); a delimiter that is white\n"
     "space is never trimmed from the end of a line",
     "one byte, tab or space (not a quote, backslash, CR, LF, VT, FF, 0x1A or NUL)",
     false, [](ConversionOptions& o, std::string_view v) {
         const std::optional<char> delimiter = DelimiterFromName(v);
         if (delimiter) o.delimiter = *delimiter;
         return delimiter.has_value();
     },
     [](const ConversionOptions& o) { return o.delimiter == ',' ? std::string() : DelimiterName(o.delimiter); }},
    {"encoding", '\0', "NAME", OptionGroup::Input,
     "the input is in character set NAME (any iconv knows, such\n"
     "as windows-1252, latin1, utf-16); the output is UTF-8.\n"
     "Without it, a UTF-16 or UTF-32 byte-order mark says how\n"
     "the text is written; other bytes are read as they are",
     // Any name is kept: whether iconv knows it is checked where it is
     // used (EncodingKnown), so a settings file from another machine stays ours.
     "the name of a character set",
     false, [](ConversionOptions& o, std::string_view v) {
         o.encoding = v;
         return true;
     },
     [](const ConversionOptions& o) { return o.encoding; }},
    {"dialect", '\0', "NAME", OptionGroup::Output,
     "how values are written for the database that loads them:\n"
     "  standard    single quotes doubled, nothing else\n"
     "              escaped: for any database that reads\n"
     "              literals as standard SQL says\n"
     "  sqlite      standard, and CR as '||char(13)||',\n"
     "              which the sqlite3 shell keeps\n"
     "  postgresql  standard, for psql (or postgres); each\n"
     "              run starts with SET\n"
     "              standard_conforming_strings = on;\n"
     "  mysql       also backslashes doubled, NUL as \\0,\n"
     "              CR as \\r and LF as \\n, for MySQL and\n"
     "              MariaDB in their default sql_mode\n"
     "              (or mariadb); each run starts with\n"
     "              SET NAMES utf8mb4;\n"
     "psql reads the standard form as written in every client\n"
     "encoding but SJIS, BIG5, GBK, GB18030, UHC and JOHAB;\n"
     "mysql needs a character set in which byte 0x5C is always\n"
     "a backslash (not big5, cp932, gbk, gb18030 or sjis). For\n"
     "text in those, give --encoding and load the UTF-8 output\n"
     "with a UTF-8 client",
     "standard, sqlite, postgresql, mysql, mariadb or postgres",
     false, [](ConversionOptions& o, std::string_view v) {
         const std::optional<Dialect> dialect = DialectFromName(v);
         if (dialect) o.dialect = *dialect;
         return dialect.has_value();
     },
     [](const ConversionOptions& o) {
         return o.dialect == Dialect::Standard ? std::string() : std::string(DialectName(o.dialect));
     }},
    {"empty-as-null", '\0', "", OptionGroup::Output, "write an empty value as NULL instead of ''\n(the same as --null empty)",
     "nothing", false,
     [](ConversionOptions& o, std::string_view v) {
         bool on = false;
         if (!SetSwitch(on, v)) return false;
         if (on) o.null = NullMode::Empty;
         if (!on && o.null == NullMode::Empty) o.null = NullMode::None;
         return true;
     },
     [](const ConversionOptions& o) { return SwitchText(o.null == NullMode::Empty); }},
    {"rows-per-insert", '\0', "N", OptionGroup::Output,
     "up to N rows (1 to 100000, default 1) in one INSERT, a row\n"
     "a line; a row with another number of values than its\n"
     "statement's first row starts a new statement",
     "a whole number from 1 to 100000",
     false, [](ConversionOptions& o, std::string_view v) { return SetNumber(o.rowsPerInsert, v, 1, kMaxRowsPerInsert); },
     [](const ConversionOptions& o) { return o.rowsPerInsert == 1 ? std::string() : std::to_string(o.rowsPerInsert); }},
    {"transaction", '\0', "", OptionGroup::Output,
     "BEGIN; before the statements, COMMIT; after them, so that\n"
     "the run loads whole or not at all: a run that fails takes\n"
     "its statements out of the output again (where it cannot,\n"
     "it ends with ROLLBACK;), a cancelled one ends with\n"
     "ROLLBACK;, and a run appending to a transaction another\n"
     "run left unfinished rolls that back first",
     "nothing",
     false, [](ConversionOptions& o, std::string_view v) { return SetSwitch(o.transaction, v); },
     [](const ConversionOptions& o) { return SwitchText(o.transaction); }},
    {"nul", '\0', "CHOICE", OptionGroup::Output,
     "a NUL byte in a value, which no dialect but mysql can\n"
     "write: error (the default) stops the run at its line;\n"
     "strip drops it, and the bytes dropped are counted",
     "error or strip",
     false, [](ConversionOptions& o, std::string_view v) {
         if (v != "error" && v != "strip") return false;
         o.nul = v == "strip" ? NulChoice::Strip : NulChoice::Refuse;
         return true;
     },
     [](const ConversionOptions& o) { return std::string(o.nul == NulChoice::Strip ? "strip" : ""); }},
    {"max-statement-bytes", '\0', "N", OptionGroup::Output,
     "a statement of many rows ends before it passes N bytes\n"
     "(1048576 when --rows-per-insert is above 1; a MariaDB\n"
     "server takes 16 MiB by default); rows whose statement\n"
     "passes N on its own are counted. Without it postgresql\n"
     "batches end at 16384 bytes, where they load fastest",
     "a whole number from 1024 to 1073741824",
     false, [](ConversionOptions& o, std::string_view v) {
         return SetNumber(o.maxStatementBytes, v, kMinStatementBytes, kMaxStatementBytes);
     },
     [](const ConversionOptions& o) {
         return o.maxStatementBytes == 0 ? std::string() : std::to_string(o.maxStatementBytes);
     }},
    {"null", '\0', "MODE", OptionGroup::Output,
     "which empty values are NULL: none (the default) writes\n"
     "''; empty makes every empty value NULL (as\n"
     "--empty-as-null); unquoted-empty makes an empty field\n"
     "NULL and a quoted \"\" the empty string '' (under the\n"
     "line rules a field is quoted when it begins with \")",
     "none, empty or unquoted-empty", false,
     [](ConversionOptions& o, std::string_view v) {
         for (const auto& [name, mode] : kNullModes) {
             if (v == name) {
                 o.null = mode;
                 return true;
             }
         }
         return false;
     },
     // Every empty value NULL is kept as EMPTYASNULL=1, as it always was.
     [](const ConversionOptions& o) { return std::string(o.null == NullMode::UnquotedEmpty ? "unquoted-empty" : ""); }},
    {"null-token", '\0', "TEXT", OptionGroup::Output,
     "a field written without quotes that is TEXT, byte for\n"
     "byte, is NULL (\\N or NULL, say); \"TEXT\" in quotes stays\n"
     "text; give it again for more than one. TEXT may not\n"
     "hold the delimiter",
     "text without CR, LF or 0x1A that does not end in white space", true,
     [](ConversionOptions& o, std::string_view v) {
         if (!KeptOnALine(v)) return false;
         o.nullTokens.emplace_back(v);
         return true;
     },
     [](const ConversionOptions& o) { return OneALine(o.nullTokens); }},
    {"create-table", '\0', "", OptionGroup::Output,
     "CREATE TABLE IF NOT EXISTS before the statements, its\n"
     "columns the field names, typed where every value but NULL\n"
     "reads back as written: BIGINT (INTEGER for sqlite) for\n"
     "integers (no 02134, +5 or -0), NUMERIC(p,s) (DECIMAL for\n"
     "mysql) for decimals of one scale, DATE for YYYY-MM-DD\n"
     "(not sqlite), TIMESTAMP (DATETIME for mysql) for\n"
     "YYYY-MM-DD HH:MM:SS (postgresql, mysql); TEXT otherwise\n"
     "(MEDIUMTEXT or LONGTEXT for mysql where values are\n"
     "longer), saying which value kept it so; a regular file is\n"
     "read twice for this, other input gets TEXT (LONGTEXT)\n"
     "columns",
     "nothing", false,
     [](ConversionOptions& o, std::string_view v) { return SetSwitch(o.createTable, v); },
     [](const ConversionOptions& o) { return SwitchText(o.createTable); }},
    {"type", '\0', "NAME=TYPE", OptionGroup::Output,
     "with --create-table, column NAME gets TYPE as written;\n"
     "give it again for more columns",
     "NAME=TYPE, both not empty, without CR, LF or 0x1A, not ending in white space", true,
     [](ConversionOptions& o, std::string_view v) {
         const std::size_t equals = EqualsOf(v);
         if (equals == 0 || equals == std::string_view::npos || equals + 1 == v.size() || !KeptOnALine(v)) return false;
         o.columnTypes.emplace_back(v);
         return true;
     },
     [](const ConversionOptions& o) { return OneALine(o.columnTypes); }},
    {"columns", '\0', "LIST", OptionGroup::Input,
     "which columns become values, in LIST's order: header\n"
     "names (with --header) or numbers from 1, comma-separated;\n"
     "NAME=NEW names a column NEW in the statements. A name\n"
     "the header lacks stops the run before it writes",
     "a list of column names or numbers on one line", false,
     [](ConversionOptions& o, std::string_view v) {
         if (!v.empty() && !KeptOnALine(v)) return false;
         o.columns = v;
         return true;
     },
     [](const ConversionOptions& o) { return o.columns; }},
    {"copy", '\0', "", OptionGroup::Output,
     "with --dialect postgresql: COPY t (fields) FROM stdin;\n"
     "blocks for psql, a row a line in COPY's text format\n"
     "(NULL as \\N), each block ended by \\. after at most\n"
     "--rows-per-insert rows (10000 when that is 1); loads as\n"
     "fast as \\copy. Each run starts with \\set ON_ERROR_STOP\n"
     "on, so psql stops at the first error instead of reading\n"
     "a failed COPY's rows as SQL: a bad row stops the load",
     "nothing", false,
     [](ConversionOptions& o, std::string_view v) { return SetSwitch(o.copy, v); },
     [](const ConversionOptions& o) { return SwitchText(o.copy); }},
    {"on-conflict", '\0', "ACTION", OptionGroup::Output,
     "a row whose --key the table holds already: ignore keeps\n"
     "the row in the table, update writes the new row's other\n"
     "values into it (ON CONFLICT for sqlite and postgresql, ON\n"
     "DUPLICATE KEY UPDATE for mysql, which skips duplicate\n"
     "keys only, and acts on every unique key of the table,\n"
     "not only --key); rows whose keys may be equal in their\n"
     "type (1 and 1.0, t and true, 2020-1-2 and 01/02/2020)\n"
     "go in separate statements, so the result is the rows'\n"
     "one by one",
     "ignore or update", false,
     [](ConversionOptions& o, std::string_view v) {
         if (v != "ignore" && v != "update") return false;
         o.onConflict = v == "ignore" ? OnConflict::Ignore : OnConflict::Update;
         return true;
     },
     [](const ConversionOptions& o) {
         return std::string(o.onConflict == OnConflict::Ignore   ? "ignore"
                            : o.onConflict == OnConflict::Update ? "update"
                                                                 : "");
     }},
    {"key", '\0', "LIST", OptionGroup::Output,
     "the fields of the unique key --on-conflict looks at,\n"
     "comma-separated, as the field list names them; with\n"
     "--create-table, the table's PRIMARY KEY (UNIQUE where a\n"
     "value of it is NULL), with or without --on-conflict",
     "a list of field names on one line", false,
     [](ConversionOptions& o, std::string_view v) {
         if (!v.empty() && !KeptOnALine(v)) return false;
         o.key = v;
         return true;
     },
     [](const ConversionOptions& o) { return o.key; }},
    {"skip-lines", '\0', "N", OptionGroup::Input,
     "the first N lines are not records and are skipped (a\n"
     "title, notes, blank lines above the header); line\n"
     "numbers in messages still count them",
     "a whole number from 0 to 1000000", false,
     [](ConversionOptions& o, std::string_view v) { return SetNumber(o.skipLines, v, 0, 1000000); },
     [](const ConversionOptions& o) { return o.skipLines == 0 ? std::string() : std::to_string(o.skipLines); }},
    {"header-lines", '\0', "N", OptionGroup::Input,
     "with --header, the header is N lines (2 to 9): each\n"
     "column's names joined by a space, an empty one over\n"
     "others taking the name to its left (a title over the\n"
     "columns it spans)",
     "a whole number from 1 to 9", false,
     [](ConversionOptions& o, std::string_view v) { return SetOptionalNumber(o.headerLines, v, 1, 9, 1); },
     [](const ConversionOptions& o) { return OptionalNumberText(o.headerLines, 1); }},
    {"last-line", '\0', "N", OptionGroup::Input,
     "records that start past line N of an input are not read\n"
     "(another table below the first, notes after the\n"
     "records); line N counts the lines --skip-lines skips",
     "a whole number from 1 to 4294967295", false,
     [](ConversionOptions& o, std::string_view v) { return SetOptionalNumber(o.lastLine, v, 1, ~std::uint32_t{0}, 0); },
     [](const ConversionOptions& o) { return OptionalNumberText(o.lastLine, 0); }},
    {"quote", '\0', "C", OptionGroup::Input,
     "with --rfc4180, C quotes a field instead of \" (' say);\n"
     "none: quotes are data like any other byte",
     "one byte (not white space, CR, LF, 0x1A or NUL), or none", false,
     [](ConversionOptions& o, std::string_view v) { return SetMark(o.quote, v, '"', true); },
     [](const ConversionOptions& o) {
         return o.quote == '"' ? std::string() : o.quote == '\0' ? std::string("none") : std::string(1, o.quote);
     }},
    {"escape", '\0', "C", OptionGroup::Input,
     "with --rfc4180, C makes the byte after it data, a quote\n"
     "or the delimiter too (\\\" as \\ writes it), in and out\n"
     "of quotes; without it a quote inside quotes is doubled",
     "one byte (not white space, CR, LF, 0x1A or NUL)", false,
     [](ConversionOptions& o, std::string_view v) { return SetMark(o.escape, v, '\0', false); },
     [](const ConversionOptions& o) { return o.escape == '\0' ? std::string() : std::string(1, o.escape); }},
    {"skip-spaces", '\0', "", OptionGroup::Input,
     "with --rfc4180, spaces after a delimiter are not data,\n"
     "so a quote after them still opens a quoted field\n"
     "(a, \"b, c\" is two values)",
     "nothing", false,
     [](ConversionOptions& o, std::string_view v) { return SetSwitch(o.skipSpaces, v); },
     [](const ConversionOptions& o) { return SwitchText(o.skipSpaces); }},
    {"text-export", '\0', "", OptionGroup::Input,
     "the input is a database's text export (PostgreSQL's COPY\n"
     "and \\copy text format, MySQL's and MariaDB's SELECT ...\n"
     "INTO OUTFILE), not CSV: no quotes; \\N alone is NULL; \\t\n"
     "\\n \\r \\b \\f \\v \\0 \\Z stand for tab, LF, CR, backspace,\n"
     "FF, VT, NUL and 0x1A, and a backslash before any other\n"
     "byte (a line break, the delimiter, \\) makes it data; a\n"
     "line is a record, an empty one too; a line \\. ends the\n"
     "data. Give -d tab for the tab these write by default",
     "nothing", false,
     [](ConversionOptions& o, std::string_view v) { return SetSwitch(o.textExport, v); },
     [](const ConversionOptions& o) { return SwitchText(o.textExport); }},
    {"rejects", '\0', "FILE", OptionGroup::Output,
     "records that would not load go to FILE as read, a line\n"
     "each, instead of the statements: another number of\n"
     "values than the fields, a NUL the dialect cannot write,\n"
     "a statement over --max-statement-bytes alone, a chosen\n"
     "column missing, bytes --encoding lacks; FILE.log says\n"
     "INPUT:LINE: why of each. Both are written anew by each\n"
     "run",
     "a file name on one line", false,
     [](ConversionOptions& o, std::string_view v) {
         if (!v.empty() && !KeptOnALine(v)) return false;
         o.rejects = v;
         return true;
     },
     [](const ConversionOptions& o) { return o.rejects; }},
    {"decimal-comma", '\0', "", OptionGroup::Output,
     "with --create-table, decimals written with a comma (3,49)\n"
     "make a column NUMERIC (DECIMAL for mysql) as those with a\n"
     "point do, its values then written with a point (3.49);\n"
     "the run says which columns",
     "nothing", false,
     [](ConversionOptions& o, std::string_view v) { return SetSwitch(o.decimalComma, v); },
     [](const ConversionOptions& o) { return SwitchText(o.decimalComma); }},
    {"split-rows", '\0', "N", OptionGroup::Output,
     "the output becomes numbered parts of at most N rows\n"
     "each (out.sql: out.00001.sql, ...), each a whole script\n"
     "that loads alone (its own session lines, BEGIN/COMMIT,\n"
     "COPY blocks); --create-table in out.create.sql, to load\n"
     "first; out.manifest.json, written last, lists the parts.\n"
     "Each run writes them anew",
     "a whole number from 1 to 4294967295", false,
     [](ConversionOptions& o, std::string_view v) { return SetOptionalNumber(o.splitRows, v, 1, ~std::uint32_t{0}, 0); },
     [](const ConversionOptions& o) { return OptionalNumberText(o.splitRows, 0); }},
    {"split-bytes", '\0', "N", OptionGroup::Output,
     "as --split-rows, parts of at most N bytes (K, M, G: KiB,\n"
     "MiB, GiB), unless one statement is larger; with\n"
     "--split-rows, whichever is reached first",
     "a number of bytes from 4096 (4K), K, M or G after it for KiB, MiB or GiB", false,
     [](ConversionOptions& o, std::string_view v) {
         if (v.empty()) {
             o.splitBytes = 0;
             return true;
         }
         return SetBytes(o.splitBytes, v, kMinSplitBytes);
     },
     [](const ConversionOptions& o) { return o.splitBytes == 0 ? std::string() : std::to_string(o.splitBytes); }},
    {"max-rejects", '\0', "N", OptionGroup::Output,
     "with --rejects, more than N records set aside stop the\n"
     "run, as a failure",
     "a whole number from 0 to 4294967294", false,
     [](ConversionOptions& o, std::string_view v) {
         return SetOptionalNumber(o.maxRejects, v, 0, kNoRejectLimit - 1, kNoRejectLimit);
     },
     [](const ConversionOptions& o) { return OptionalNumberText(o.maxRejects, kNoRejectLimit); }},
    {"jobs", 'j', "N", OptionGroup::Output,
     "convert on N threads at once (by default one for each\n"
     "core the run may use), the input cut where records end:\n"
     "the same bytes as with 1. A pipe, gzip or --encoding is\n"
     "read and decoded on the run's own thread. --check,\n"
     "--rejects, splits, batches, COPY, several inputs,\n"
     "--last-line and --text-export convert on one",
     "a whole number from 1 to 256", false,
     [](ConversionOptions& o, std::string_view v) { return SetOptionalNumber(o.jobs, v, 1, kMostJobs, 0); },
     [](const ConversionOptions& o) { return OptionalNumberText(o.jobs, 0); }},
};
// clang-format on

constexpr std::size_t kHelpColumn = 22;

}  // namespace

std::span<const OptionFact> OptionFacts() {
    return kFacts;
}

const OptionFact* OptionNamed(std::string_view name) {
    for (const OptionFact& fact : kFacts) {
        if (fact.name == name) return &fact;
    }
    return nullptr;
}

std::string BadValueText(const OptionFact& fact, std::string_view value) {
    std::string text = "--";
    text.append(fact.name).append(" takes ").append(fact.expects).append(", not '").append(value).append("'");
    return text;
}

std::string SettingsKey(const OptionFact& fact) {
    std::string key;
    for (const char c : fact.name) {
        if (c != '-') key += static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    }
    return key;
}

std::string HelpEntry(char shortName, std::string_view name, std::string_view valueName, std::string_view help) {
    std::string entry = shortName != '\0' ? std::string("  -") + shortName + ", --" : std::string("      --");
    entry.append(name);
    if (!valueName.empty()) entry.append(" ").append(valueName);
    if (entry.size() < kHelpColumn) {
        entry.append(kHelpColumn - entry.size(), ' ');
    } else {
        entry.append("\n").append(kHelpColumn, ' ');
    }
    for (const char c : help) {
        entry += c;
        if (c == '\n') entry.append(kHelpColumn, ' ');
    }
    entry += '\n';
    return entry;
}

}  // namespace rowsmith
