#include "convert/option_table.h"

#include <charconv>
#include <cstdint>

namespace rowsmith {

namespace {

// A switch is on for "1" and off for "0" or nothing.
bool SetSwitch(bool& flag, std::string_view value) {
    flag = value == "1";
    return value == "1" || value == "0" || value.empty();
}

std::string SwitchText(bool on) {
    return on ? "1" : "";
}

// A whole number from low to high, digits only.
bool SetNumber(std::uint32_t& number, std::string_view value, std::uint32_t low, std::uint32_t high) {
    std::uint32_t parsed = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), parsed);
    if (value.empty() || value[0] == '+' || error != std::errc() || end != value.data() + value.size()) return false;
    if (parsed < low || parsed > high) return false;
    number = parsed;
    return true;
}

// clang-format off
constexpr OptionFact kFacts[] = {
    // In the order db.ini keeps them.
    {"header", '\0', "", OptionGroup::Input,
     "the first record names the fields and is not converted;\n"
     "without --fields the names, trimmed and quoted as\n"
     "identifiers, become the field list",
     "nothing",
     [](ConversionOptions& o, std::string_view v) { return SetSwitch(o.header, v); },
     [](const ConversionOptions& o) { return SwitchText(o.header); }},
    {"rfc4180", '\0', "", OptionGroup::Input,
     "standard CSV quoting: \"\" inside quotes is one quote, and\n"
     "delimiters and line breaks inside quotes are data; a record\n"
     "ends at LF, CR LF or CR; empty lines give nothing; bytes\n"
     "are read as they are",
     "nothing",
     [](ConversionOptions& o, std::string_view v) { return SetSwitch(o.rfc4180, v); },
     [](const ConversionOptions& o) { return SwitchText(o.rfc4180); }},
    {"delimiter", 'd', "C", OptionGroup::Input,
     "C separates fields instead of the comma: one byte, or tab", "one byte, tab or space (not a quote, backslash, CR, LF or NUL)",
     [](ConversionOptions& o, std::string_view v) {
         const std::optional<char> delimiter = DelimiterFromName(v);
         if (delimiter) o.delimiter = *delimiter;
         return delimiter.has_value();
     },
     [](const ConversionOptions& o) { return o.delimiter == ',' ? std::string() : DelimiterName(o.delimiter); }},
    {"encoding", '\0', "NAME", OptionGroup::Input,
     "the input is in character set NAME (any iconv knows, such\n"
     "as windows-1252, latin1, utf-16); the output is UTF-8",
     // Any name is kept: whether iconv knows it is checked where it is
     // used (EncodingKnown), so a settings file from another machine stays ours.
     "the name of a character set",
     [](ConversionOptions& o, std::string_view v) {
         o.encoding = v;
         return true;
     },
     [](const ConversionOptions& o) { return o.encoding; }},
    {"dialect", '\0', "NAME", OptionGroup::Output,
     "how values are written for the database that loads them:\n"
     "  standard  single quotes doubled, nothing else escaped\n"
     "            (SQLite, PostgreSQL; also MySQL and MariaDB\n"
     "            when their sql_mode has NO_BACKSLASH_ESCAPES)\n"
     "  mysql     also backslashes doubled and NUL as \\0, for\n"
     "            MySQL and MariaDB in their default sql_mode;\n"
     "            mariadb is another name for it (it needs a\n"
     "            connection character set in which byte 0x5C\n"
     "            is always a backslash: not big5, gbk or sjis)",
     "standard, mysql or mariadb",
     [](ConversionOptions& o, std::string_view v) {
         const std::optional<Dialect> dialect = DialectFromName(v);
         if (dialect) o.dialect = *dialect;
         return dialect.has_value();
     },
     [](const ConversionOptions& o) {
         return o.dialect == Dialect::Standard ? std::string() : std::string(RulesOf(o.dialect).name);
     }},
    {"empty-as-null", '\0', "", OptionGroup::Output, "write an empty value as NULL instead of ''", "nothing",
     [](ConversionOptions& o, std::string_view v) { return SetSwitch(o.emptyAsNull, v); },
     [](const ConversionOptions& o) { return SwitchText(o.emptyAsNull); }},
    {"rows-per-insert", '\0', "N", OptionGroup::Output,
     "up to N rows (1 to 100000, default 1) in one INSERT, a row\n"
     "a line; a row with another number of values than its\n"
     "statement's first row starts a new statement",
     "a whole number from 1 to 100000",
     [](ConversionOptions& o, std::string_view v) { return SetNumber(o.rowsPerInsert, v, 1, kMaxRowsPerInsert); },
     [](const ConversionOptions& o) { return o.rowsPerInsert == 1 ? std::string() : std::to_string(o.rowsPerInsert); }},
    {"transaction", '\0', "", OptionGroup::Output,
     "put BEGIN; before the statements and COMMIT; after them;\n"
     "a run that fails or is cancelled writes no COMMIT; (a\n"
     "cancelled one writes ROLLBACK;), so loading it adds nothing",
     "nothing",
     [](ConversionOptions& o, std::string_view v) { return SetSwitch(o.transaction, v); },
     [](const ConversionOptions& o) { return SwitchText(o.transaction); }},
};
// clang-format on

constexpr std::size_t kHelpColumn = 22;

}  // namespace

std::span<const OptionFact> OptionFacts() {
    return kFacts;
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
    if (entry.size() < kHelpColumn - 1) {
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
