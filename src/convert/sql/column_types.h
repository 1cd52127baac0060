#pragma once

// The column types of a CREATE TABLE that keeps every value as it was
// read: a column gets a type only when each of its values, NULL aside, is
// written the one way the database writes that type back (value_forms.h):
// a 64-bit integer, a decimal of one scale, a date, a date and time. Any
// other column is text, for MySQL and MariaDB of a size that holds its
// longest value, and the value that kept it so is told.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "convert/options/conversion_options.h"
#include "convert/sql/value_forms.h"

namespace rowsmith {

// What the values of each column have been, a column per place in a row,
// for the columns of a table in a dialect.
class ColumnTally {
public:
    // everything: every value counts to the end, for a key's NULLs and
    // longest values, not only those that may still change a type.
    ColumnTally(Dialect dialect, std::size_t columns, bool everything = false)
        : dialect_(dialect), columns_(columns, Column{KindsOf(dialect)}), wanted_(columns), everything_(everything) {}

    // A value that is not NULL, in column column (0-based), of the record
    // on line line. Called for every value of a file: inline.
    void Add(std::size_t column, std::string_view value, std::uint64_t line = 0) {
        if (column >= columns_.size()) return;  // not the table's
        Column& tally = columns_[column];
        tally.any = true;
        if (value.size() > tally.longest) tally.longest = value.size();
        if (tally.kinds != 0) Narrow(tally, value, line);
        while (wanted_ > 0 && Settled(columns_[wanted_ - 1])) --wanted_;
    }
    // A value written as NULL, in column column.
    void AddNull(std::size_t column) {
        if (column < columns_.size()) columns_[column].null = true;
    }
    // Whether the column holds a NULL, and the bytes of its longest value:
    // known to the end only where every value counts.
    bool HasNull(std::size_t column) const { return column < columns_.size() && columns_[column].null; }
    std::size_t Longest(std::size_t column) const { return column < columns_.size() ? columns_[column].longest : 0; }
    // Values from now on come from the input named so: where a run reads
    // several, what kept a column text names the input with its line.
    void ReadingFrom(std::string inputName) { inputName_ = std::move(inputName); }
    // From now on decimals are written with a comma (--decimal-comma).
    void DecimalsWithComma() { point_ = ','; }
    // Whether the column is a decimal one whose values have a comma for a
    // point: written with a point instead.
    bool CommaDecimals(std::size_t column) const {
        return point_ == ',' && column < columns_.size() && columns_[column].any &&
               (columns_[column].kinds & kIntegerKind) == 0 && (columns_[column].kinds & kDecimalKind) != 0;
    }
    // The columns whose values still matter: up to the last one whose type
    // more values could change (text stays text, and outside MySQL its size
    // does not count). Values past them need not be looked at.
    std::size_t wanted() const { return wanted_; }
    // The type for column in dialect: one its values fit, or text long enough.
    std::string TypeOf(std::size_t column, Dialect dialect) const;
    // For a text column that has values: "line 3: 01234 would read back as
    // 1234" ("b.csv line 3: ..." after ReadingFrom), the first value no type
    // held. Empty for any other.
    std::string WhyText(std::size_t column) const;

private:
    struct Column {
        std::uint8_t kinds = 0;   // the value kinds every value so far is of
        bool any = false;         // there has been a value
        bool null = false;        // there has been a NULL
        std::size_t longest = 0;  // bytes of the longest value, or more
        DecimalShape decimals;    // while decimals: the most digits before the point, and after it
        std::string why;          // once text: what the first value no type held was
    };
    // Takes from column's kinds those value is not of.
    void Narrow(Column& column, std::string_view value, std::uint64_t line) const;
    bool Settled(const Column& column) const;

    Dialect dialect_;
    std::vector<Column> columns_;
    std::size_t wanted_;
    bool everything_;
    std::string inputName_;
    char point_ = '.';
};

// A column of the table to create: its name as the statements write it,
// and as a --type NAME=TYPE names it.
struct TableColumn {
    std::string sqlName;
    std::string plainName;
};

// The text type that holds any value in dialect, when the values are not known.
std::string AnyTextType(Dialect dialect);

// The longest text MySQL indexes in a key of utf8mb4 text, in characters.
inline constexpr std::size_t kMySqlLongestKeyText = 768;

// "CREATE TABLE IF NOT EXISTS table ( name TYPE, ..., PRIMARY KEY ( k ) );"
// with the types of tally (nullptr: not known, every column text) and those
// --type gives, and the key's columns (keys: their places) as its primary
// key, or as a UNIQUE one where a key value is NULL or may be (a primary
// key holds none); MySQL's text key columns are VARCHAR of their longest
// value. problem names a --type column that is not in the table, or a key
// too long for MySQL, and the text is then empty. notes, where given, gets
// "name: TEXT (line 3: why)" for each text column tally has values of.
std::string CreateTableText(std::string_view table, const std::vector<TableColumn>& columns, const ColumnTally* tally,
                            const ConversionOptions& options, const std::vector<std::size_t>& keys,
                            std::string& problem, std::vector<std::string>* notes = nullptr);

}  // namespace rowsmith
