#pragma once

// How each database reads SQL text: one row of facts per dialect. A value
// is written between single quotes, each byte as itself unless its
// dialect's table escapes it. The plain rules, the CSV path and the block
// scanner all write values from these tables.

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

#include "convert/options/dialect.h"

namespace rowsmith {

// A byte that a dialect writes inside a string literal as other text.
struct Escape {
    char byte;
    std::string_view text;
};

struct DialectRules {
    Dialect dialect;
    char identifierQuote;             // around a name from a header line
    std::span<const Escape> escapes;  // every other byte stands for itself
    bool quoted = true;               // a value stands between single quotes
    // The statement each run starts with, where a setting of the server
    // or client could make it read the values otherwise; empty for none.
    std::string_view session = {};
    // What stands for NULL.
    std::string_view null = "NULL";
};

// Standard SQL: a single quote is doubled, so the literal holds exactly the
// value's bytes in any database that reads literals as the standard does
// (SQLite, PostgreSQL, MySQL and MariaDB with NO_BACKSLASH_ESCAPES). A NUL
// byte has no place in SQL text (the clients read lines as C strings and
// lose what follows it), so it is never written: a value holding one is
// refused, or the byte dropped where the user asks for that.
inline constexpr Escape kStandardEscapes[] = {{'\'', "''"}, {'\0', ""}};
inline constexpr DialectRules kStandardRules{Dialect::Standard, '"', kStandardEscapes};

// SQLite: the standard form, and a CR written as an expression, because the
// sqlite3 shell drops a CR before an LF inside a literal as it reads a line.
inline constexpr Escape kSqliteEscapes[] = {{'\'', "''"}, {'\0', ""}, {'\r', "'||char(13)||'"}};
inline constexpr DialectRules kSqliteRules{Dialect::Sqlite, '"', kSqliteEscapes};

// PostgreSQL: the standard form, which psql reads as it stands once
// standard_conforming_strings is on (a database or server may still have it
// off, and then reads a backslash as an escape): each run sets it.
inline constexpr DialectRules kPostgresqlRules{Dialect::Postgresql, '"', kStandardEscapes, true,
                                               "SET standard_conforming_strings = on;"};

// MySQL and MariaDB in their default sql_mode read a backslash in a literal
// as the start of an escape: the backslash is doubled too, NUL written as
// \0, and CR and LF as \r and \n, as dump tools write them, because the
// mariadb and mysql clients drop a CR before an LF as they read a line.
// Each run sets the connection's character set to utf8mb4, as dump tools
// do: the clients' own default (utf8mb3 in some) refuses 4-byte characters.
inline constexpr Escape kMySqlEscapes[] = {{'\'', "''"}, {'\\', "\\\\"}, {'\0', "\\0"}, {'\r', "\\r"}, {'\n', "\\n"}};
inline constexpr DialectRules kMySqlRules{Dialect::MySql, '`', kMySqlEscapes, true, "SET NAMES utf8mb4;"};

// PostgreSQL's COPY text format, a row a line: no quotes; a backslash,
// tab, LF and CR escaped with a backslash, so no value can end its row or
// field, nor be the end marker \. alone; NUL, which PostgreSQL cannot
// store, dropped as in the standard form. Not a dialect of its own: the
// form --copy writes rows in for psql.
inline constexpr Escape kCopyTextEscapes[] = {{'\\', "\\\\"}, {'\t', "\\t"}, {'\n', "\\n"}, {'\r', "\\r"}, {'\0', ""}};
inline constexpr DialectRules kCopyTextRules{Dialect::Postgresql, '"', kCopyTextEscapes, false, {}, "\\N"};
// psql reads a COPY block's rows as SQL when its COPY statement fails (a
// table missing, a transaction aborted), unless told to stop at the first
// error: each COPY run tells it so first, on a line of its own.
inline constexpr std::string_view kCopySessionLine = "\\set ON_ERROR_STOP on\n";

inline constexpr const DialectRules* kDialects[] = {&kStandardRules, &kSqliteRules, &kPostgresqlRules, &kMySqlRules};

const DialectRules& RulesOf(Dialect dialect);

// The dialect's escape of byte c; null when c stands for itself.
constexpr const Escape* EscapeOf(const DialectRules& rules, char c) {
    for (const Escape& escape : rules.escapes) {
        if (escape.byte == c) return &escape;
    }
    return nullptr;
}

// True when the dialect cannot write a NUL byte, and so drops it.
constexpr bool DropsNul(const DialectRules& rules) {
    const Escape* nul = EscapeOf(rules, '\0');
    return nul && nul->text.empty();
}

// True when value is written as no bytes at all in the dialect: it is
// empty, or nothing but NUL bytes the dialect drops. Such a value is NULL
// where empty values are.
constexpr bool WrittenEmpty(const DialectRules& rules, std::string_view value) {
    return value.find_first_not_of('\0') == std::string_view::npos && (value.empty() || DropsNul(rules));
}

// The longest text any byte of the dialect becomes.
constexpr std::size_t LongestEscape(const DialectRules& rules) {
    std::size_t longest = 1;
    for (const Escape& escape : rules.escapes) longest = escape.text.size() > longest ? escape.text.size() : longest;
    return longest;
}

// Bytes WriteLiteral may read past the end of a value (their values do not
// matter), and may store past the end of what it writes.
inline constexpr std::size_t kLiteralPadding = 16;

// Room a literal of a value of valueSize bytes needs, or NULL, with the
// padding WriteLiteral stores into.
constexpr std::size_t MaxLiteralSize(const DialectRules& rules, std::size_t valueSize) {
    return LongestEscape(rules) * valueSize + 4 + kLiteralPadding;
}

// value as a string literal of the dialect, written at out, which must have
// room for MaxLiteralSize bytes; returns the end of what it wrote. It reads
// the value sixteen bytes at a time, so kLiteralPadding bytes after it must
// be readable.
char* WriteLiteral(const DialectRules& rules, std::string_view value, char* out);
// The same for any value, appended to out.
void AppendLiteral(const DialectRules& rules, std::string_view value, std::string& out);

// name as an identifier of the dialect: between its identifier quotes, an
// inner one doubled.
std::string QuoteIdentifier(Dialect dialect, std::string_view name);

// The longest name PostgreSQL keeps, in bytes: it cuts a longer one there
// (at a character's start), so two names alike in their first 63 bytes are one.
inline constexpr std::size_t kPostgresqlNameBytes = 63;

// A quoted name as the dialect's database tells names apart: SQLite, MySQL
// and MariaDB do not tell ASCII case apart in column names, PostgreSQL
// keeps the first 63 bytes; standard SQL may go to any of them, so both.
// Two names of a table that give the same text are one to the database.
std::string ComparedName(Dialect dialect, std::string_view name);
// Why, in words, for a message: "SQLite does not tell case apart in names".
std::string NameFolding(Dialect dialect);

}  // namespace rowsmith
