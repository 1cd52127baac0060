#include "convert/run/fields.h"

#include <algorithm>

#include "convert/options/column_choice.h"
#include "convert/read/row_scanner.h"
#include "convert/sql/sql_dialect.h"
#include "convert/sql/upsert.h"
#include "io/status.h"
#include "io/text_mode.h"

namespace rowsmith {

namespace {

// The columns a typed field list names: as written, and without the
// quotes around a quoted name.
std::vector<TableColumn> ColumnsOf(std::string_view list) {
    std::vector<TableColumn> columns;
    for (const std::string& entry : SplitFieldNames(list)) {
        WrittenName name = ReadName(entry);
        columns.push_back({std::move(name.written), std::move(name.plain)});
    }
    return columns;
}

// Whether two names are one to the database.
bool SameName(Dialect dialect, std::string_view a, std::string_view b) {
    return a == b || ComparedName(dialect, a) == ComparedName(dialect, b);
}

// The name a header's column gets where its own is empty or another's:
// columnN for no name, NAME_2 (_3, ...) for one given before; never one
// the header gives or has given.
std::string GivenName(const std::vector<std::string>& names, std::size_t i, std::size_t column, Dialect dialect) {
    std::string base = names[i].empty() ? "column" + std::to_string(column + 1) : names[i];
    const auto taken = [&names, i, dialect](const std::string& name) {
        for (std::size_t j = 0; j < names.size(); ++j) {
            if (j != i && SameName(dialect, names[j], name)) return true;
        }
        return false;
    };
    if (names[i].empty() && !taken(base)) return base;
    for (std::size_t suffix = 2;; ++suffix) {
        // Where the database keeps only a name's first bytes, the base is
        // cut (at a character's start) until the suffix is kept too.
        std::string cut = base;
        std::string name;
        for (;;) {
            name = cut;
            name.append("_").append(std::to_string(suffix));
            if (cut.empty() || ComparedName(dialect, name).size() == name.size()) break;
            cut.pop_back();
            while (!cut.empty() && (static_cast<unsigned char>(cut.back()) & 0xC0) == 0x80) cut.pop_back();
        }
        if (!taken(name)) return name;
    }
}

// What a name given says: "column 3 of the header has no name: it is named
// column3 here".
std::string NamingText(const std::vector<std::string>& names, std::size_t i, std::size_t first,
                       const std::string& given, const std::vector<std::size_t>& columns, Dialect dialect) {
    const std::string place = std::to_string(columns[i] + 1);
    const std::string named = ": column " + place + " is named \"" + given + "\"";
    if (names[i].empty()) return "column " + place + " of the header has no name: it is named \"" + given + "\"";
    const std::string other = std::to_string(columns[first] + 1);
    if (names[first] == names[i]) {
        return "columns " + other + " and " + place + " of the header are both named \"" + names[i] + "\"" + named;
    }
    return "columns " + other + " and " + place + " of the header, \"" + names[first] + "\" and \"" + names[i] +
           "\", are one name to the database: " + NameFolding(dialect) + named;
}

// The field list a header record gives: each name without the blanks
// around it, quoted as an identifier. A name that is empty, or one given
// before, gets one of its own (GivenName), and notes says so. Empty when a
// name holds a NUL byte that is not to be dropped; problem says which.
// places: where each name stands in the header, when not one after another.
Fields FieldsFromHeader(std::vector<std::string> names, const ConversionOptions& options, std::string& problem,
                        const std::vector<ChosenColumn>* places = nullptr) {
    Fields fields{{}, names.size(), {}, true};
    std::vector<std::size_t> columns(names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        columns[i] = places != nullptr ? (*places)[i].index : i;
        std::string& name = names[i];
        if (name.find('\0') != std::string::npos && options.nul == NulChoice::Refuse) {
            problem = "the header names column " + std::to_string(columns[i] + 1) +
                      " with a NUL byte, which no name can hold";
            return {};
        }
        std::erase(name, '\0');
        name = std::string(TrimSpace(name));
    }
    const std::vector<std::string> read = names;
    for (std::size_t i = 0; i < names.size(); ++i) {
        std::size_t first = 0;
        while (first < i && !SameName(options.dialect, names[first], names[i])) ++first;
        if (names[i].empty() || first < i) {
            const std::string given = GivenName(names, i, columns[i], options.dialect);
            fields.notes.push_back(NamingText(read, i, first, given, columns, options.dialect));
            names[i] = given;
        }
        if (!fields.list.empty()) fields.list += ", ";
        const std::string quoted = QuoteIdentifier(options.dialect, names[i]);
        fields.list += quoted;
        fields.columns.push_back({quoted, names[i]});
    }
    return fields;
}

// With --columns: hands records the columns chosen against the header
// (nullptr: none), and makes their names the field list unless --fields
// gives one. The report of what is wrong with the choice, if anything.
std::optional<RunReport> ChooseFields(Records& records, const RunContext& run, const std::vector<std::string>* header,
                                      Fields& fields) {
    std::string problem;
    const std::vector<ChosenColumn> chosen = ChooseColumns(run.options.columns, header, problem);
    if (problem.empty() && fields.count != 0) {
        if (std::any_of(chosen.begin(), chosen.end(), [](const ChosenColumn& c) { return c.renamed; })) {
            problem = "--columns names columns (NAME=NEW) and --fields names them too: give the names once";
        } else if (fields.count != chosen.size()) {
            problem = "--fields names " + std::to_string(fields.count) + " columns, and --columns chooses " +
                      std::to_string(chosen.size());
        }
    }
    // What the header lacks is the file's to say; a list that cannot be
    // read, or does not go with --fields, is the options'.
    if (!problem.empty() && header != nullptr && chosen.empty())
        return ReadFailedReport(run.inputName, kBadHeader, problem);
    if (!problem.empty()) return BadOptionsReport(problem);
    records.Choose(chosen);
    if (fields.count != 0 || chosen.front().name.empty()) return std::nullopt;
    std::vector<std::string> names;
    names.reserve(chosen.size());
    for (const ChosenColumn& column : chosen) names.push_back(column.name);
    fields = FieldsFromHeader(std::move(names), run.options, problem, &chosen);
    if (!problem.empty()) return ReadFailedReport(run.inputName, kBadHeader, problem);
    return std::nullopt;
}

// The field list of the header's names, where no other is given.
std::optional<RunReport> NamedFields(const std::vector<std::string>& names, const Records& records,
                                     const RunContext& run, Fields& fields) {
    std::string problem;
    fields = FieldsFromHeader(names, run.options, problem);
    if (!problem.empty()) {
        if (run.problems == nullptr) return ReadFailedReport(run.inputName, kBadHeader, problem);
        // A check goes on, holding the records against the header's size.
        run.problems->Problem(records.number(), problem);
        fields.count = names.size();
    }
    // A check lists the names it gave, as problems of the header.
    if (run.problems != nullptr) {
        for (const std::string& note : fields.notes) run.problems->Problem(records.number(), note);
        fields.notes.clear();
    }
    return std::nullopt;
}

}  // namespace

std::optional<RunReport> ReadFields(Records& records, const RunContext& run, Fields& fields,
                                    std::size_t& checkedValues) {
    const ConversionOptions& options = run.options;
    fields = Fields{run.settings.fieldNames, CountFieldNames(run.settings.fieldNames)};
    std::vector<std::string> names;
    bool headerRead = false;
    if (options.header) {
        // The header names the fields, unless they are given; nothing is
        // written before it is read.
        const int error = records.NextHeader(names);
        if (error == kStopped) return StoppedReport();
        if (error > 0 || (error < 0 && error != kEndOfInput)) {
            return ReadFailedReport(run.inputName, error, records.Describe(error));
        }
        headerRead = error == 0;
        if (headerRead && fields.count == 0 && options.columns.empty()) {
            if (std::optional<RunReport> failed = NamedFields(names, records, run, fields)) return failed;
        }
    }
    checkedValues = fields.count;
    if (!options.columns.empty() && (headerRead || !options.header)) {
        if (std::optional<RunReport> failed = ChooseFields(records, run, headerRead ? &names : nullptr, fields))
            return failed;
        checkedValues = headerRead ? names.size() : 0;
    }
    fields.headerRead = headerRead;
    return std::nullopt;
}

std::string CreateTable(Fields& fields, const RunContext& run, const ColumnTally* tally, std::string& problem) {
    if (fields.columns.empty() && fields.count != 0) fields.columns = ColumnsOf(fields.list);
    if (fields.columns.empty()) {
        problem = "--create-table needs the names of the columns: give --fields or --header";
        return {};
    }
    // The key the upserts look at is the table's.
    const std::vector<std::size_t> keys =
        run.options.key.empty() ? std::vector<std::size_t>() : KeyPlaces(run.options.key, fields.columns, problem);
    if (!problem.empty()) return {};
    // In the file's text form: the names typed with their line breaks as
    // CR LF, a header's as read.
    std::vector<TableColumn> columns = fields.columns;
    for (TableColumn& column : columns) column.sqlName = fields.asRead ? column.sqlName : ToDiskText(column.sqlName);
    return CreateTableText(ToDiskText(run.settings.tableName), columns, tally, run.options, keys, problem,
                           &fields.typeNotes);
}

std::optional<RunReport> FormOf(const RunContext& run, Fields& fields, StatementForm& form) {
    const ConversionOptions& options = run.options;
    if (options.copy) form.copyHead = CopyHead(run.settings.tableName, fields.list);
    if (options.onConflict == OnConflict::None) return std::nullopt;
    std::string problem;
    if (fields.columns.empty()) fields.columns = ColumnsOf(fields.list);
    form.keys = KeyPlaces(options.key, fields.columns, problem);
    if (fields.columns.empty()) problem = "--on-conflict needs the names of the columns: give --fields or --header";
    if (!problem.empty()) return BadOptionsReport(problem);
    form.conflict = ConflictClause(options, fields.columns, form.keys);
    return std::nullopt;
}

}  // namespace rowsmith
