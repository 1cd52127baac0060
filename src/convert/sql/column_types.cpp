#include "convert/sql/column_types.h"

#include <algorithm>

namespace rowsmith {

namespace {

// The longest values MySQL's TEXT and MEDIUMTEXT hold, in bytes.
constexpr std::size_t kMySqlText = 65535;
constexpr std::size_t kMySqlMediumText = 16777215;

// The NAME of a --type NAME=TYPE, read as names are, and its TYPE.
std::pair<WrittenName, std::string_view> NameAndType(std::string_view entry) {
    const std::size_t equals = EqualsOf(entry);
    return {ReadName(entry.substr(0, equals)), entry.substr(equals + 1)};
}

}  // namespace

void ColumnTally::Narrow(Column& column, std::string_view value, std::uint64_t line) const {
    std::uint8_t kinds = column.kinds;
    const auto drop = [&kinds](ValueKind kind) { kinds = static_cast<std::uint8_t>(kinds & ~kind); };
    if ((kinds & kIntegerKind) != 0 && !IsCanonicalInteger(value)) drop(kIntegerKind);
    if ((kinds & kDecimalKind) != 0) {
        // Every value of one scale: NUMERIC(p,2) writes 1.5 back as 1.50.
        DecimalShape shape;
        const bool fits = IsCanonicalDecimal(value, shape, point_) &&
                          (column.decimals.scale == 0 || shape.scale == column.decimals.scale) &&
                          std::max(shape.whole, column.decimals.whole) + shape.scale <= MaxDecimalDigits(dialect_) &&
                          shape.scale <= MaxDecimalScale(dialect_);
        if (fits) {
            column.decimals.scale = shape.scale;
            column.decimals.whole = std::max(shape.whole, column.decimals.whole);
        } else {
            drop(kDecimalKind);
        }
    }
    if ((kinds & kDateKind) != 0 && !IsCalendarDate(value)) drop(kDateKind);
    if ((kinds & kTimestampKind) != 0 && !IsTimestamp(value)) drop(kTimestampKind);
    if (kinds == 0) {
        column.why = (inputName_.empty() ? "line " : inputName_ + " line ") + std::to_string(line) + ": " +
                     rowsmith::WhyText(value, column.kinds, column.decimals.scale, dialect_, point_);
    }
    column.kinds = kinds;
}

bool ColumnTally::Settled(const Column& column) const {
    return !everything_ && column.kinds == 0 && (dialect_ != Dialect::MySql || column.longest > kMySqlMediumText);
}

std::string ColumnTally::TypeOf(std::size_t column, Dialect dialect) const {
    const Column none;
    const Column& tally = column < columns_.size() ? columns_[column] : none;
    if (tally.any && (tally.kinds & kIntegerKind) != 0) return dialect == Dialect::Sqlite ? "INTEGER" : "BIGINT";
    if (tally.any && (tally.kinds & kDecimalKind) != 0) {
        const DecimalShape& shape = tally.decimals;
        return std::string(dialect == Dialect::MySql ? "DECIMAL(" : "NUMERIC(") +
               std::to_string(std::max<std::size_t>(shape.whole + shape.scale, 1)) + "," + std::to_string(shape.scale) +
               ")";
    }
    if (tally.any && (tally.kinds & kDateKind) != 0) return "DATE";
    // MySQL's TIMESTAMP turns to and from the session's time zone; DATETIME keeps what it is given.
    if (tally.any && (tally.kinds & kTimestampKind) != 0) return dialect == Dialect::MySql ? "DATETIME" : "TIMESTAMP";
    if (dialect != Dialect::MySql) return "TEXT";
    return tally.longest <= kMySqlText ? "TEXT" : tally.longest <= kMySqlMediumText ? "MEDIUMTEXT" : "LONGTEXT";
}

std::string ColumnTally::WhyText(std::size_t column) const {
    return column < columns_.size() && columns_[column].any ? columns_[column].why : std::string();
}

std::string AnyTextType(Dialect dialect) {
    return dialect == Dialect::MySql ? "LONGTEXT" : "TEXT";
}

namespace {

// The types --type gives, in place of those types holds; given marks the
// columns they name. A name the table lacks is the problem.
bool GiveTypes(const std::vector<TableColumn>& columns, const ConversionOptions& options,
               std::vector<std::string>& types, std::vector<bool>& given, std::string& problem) {
    given.assign(columns.size(), false);
    for (const std::string& entry : options.columnTypes) {
        const auto [name, type] = NameAndType(entry);
        bool found = false;
        for (std::size_t i = 0; i < columns.size(); ++i) {
            if (columns[i].plainName == name.plain || columns[i].sqlName == name.written) {
                types[i] = type;
                given[i] = true;
                found = true;
            }
        }
        if (!found) {
            problem = "--type names the column \"" + name.plain + "\", which the table does not have (";
            for (std::size_t i = 0; i < columns.size(); ++i) problem += (i > 0 ? ", " : "") + columns[i].plainName;
            problem += ")";
            return false;
        }
    }
    return true;
}

// MySQL indexes no TEXT: a text key column is as long as its longest value.
bool SizeKeysForMySql(const std::vector<TableColumn>& columns, const ColumnTally* tally,
                      const std::vector<std::size_t>& keys, const std::vector<bool>& given,
                      std::vector<std::string>& types, std::string& problem) {
    for (const std::size_t key : keys) {
        if (!types[key].ends_with("TEXT") || given[key]) continue;
        const std::size_t longest = tally != nullptr ? tally->Longest(key) : kMySqlLongestKeyText;
        if (longest > kMySqlLongestKeyText) {
            problem = "the key column " + columns[key].plainName + " holds values of " + std::to_string(longest) +
                      " bytes, longer than the " + std::to_string(kMySqlLongestKeyText) +
                      " characters MySQL indexes: give it a type with --type";
            return false;
        }
        types[key] = "VARCHAR(" + std::to_string(std::max<std::size_t>(longest, 1)) + ")";
    }
    return true;
}

// ", PRIMARY KEY ( k )", or UNIQUE where a key value is NULL or may be.
std::string KeyClause(const std::vector<TableColumn>& columns, const ColumnTally* tally,
                      const std::vector<std::size_t>& keys) {
    if (keys.empty()) return {};
    const bool nulls = tally == nullptr ||
                       std::any_of(keys.begin(), keys.end(), [tally](std::size_t key) { return tally->HasNull(key); });
    std::string clause = nulls ? ", UNIQUE ( " : ", PRIMARY KEY ( ";
    for (std::size_t i = 0; i < keys.size(); ++i) clause.append(i > 0 ? ", " : "").append(columns[keys[i]].sqlName);
    return clause + " )";
}

}  // namespace

std::string CreateTableText(std::string_view table, const std::vector<TableColumn>& columns, const ColumnTally* tally,
                            const ConversionOptions& options, const std::vector<std::size_t>& keys,
                            std::string& problem, std::vector<std::string>* notes) {
    std::vector<std::string> types;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        types.push_back(tally != nullptr ? tally->TypeOf(i, options.dialect) : AnyTextType(options.dialect));
    }
    std::vector<bool> given;
    if (!GiveTypes(columns, options, types, given, problem)) return {};
    for (std::size_t i = 0; notes != nullptr && tally != nullptr && i < columns.size(); ++i) {
        if (const std::string why = tally->WhyText(i); !given[i] && !why.empty())
            notes->push_back(columns[i].plainName + ": TEXT (" + why + ")");
    }
    if (options.dialect == Dialect::MySql && !SizeKeysForMySql(columns, tally, keys, given, types, problem)) return {};
    std::string text = "CREATE TABLE IF NOT EXISTS ";
    text.append(table).append(" ( ");
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (i > 0) text += ", ";
        text.append(columns[i].sqlName).append(" ").append(types[i]);
    }
    return text + KeyClause(columns, tally, keys) + " );";
}

}  // namespace rowsmith
