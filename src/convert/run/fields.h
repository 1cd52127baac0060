#pragma once

// The run's step from options and header to the statements' form: the
// field list (typed, a header's, or the columns chosen), the table to
// create, COPY's head and the conflict clause.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "convert/read/records.h"
#include "convert/run/conversion_run.h"
#include "convert/run/statement_writer.h"
#include "convert/sql/column_types.h"

namespace rowsmith {

// The field list of a run, and its number of names (0 when not known);
// with --create-table, the names one by one.
struct Fields {
    std::string list;
    std::size_t count = 0;
    std::vector<TableColumn> columns;
    bool asRead = false;      // a header's names: written as read, a line break in one too
    bool headerRead = false;  // with --header: the input had one (an empty input has none)
    // Names given to a header's columns that had none, or another's: what
    // the run tells of them.
    std::vector<std::string> notes;
    // With --create-table: for each text column, the value that kept it so.
    std::vector<std::string> typeNotes;
};

// The fields of a run: those given, or the header's (read here), or the
// columns --columns chooses; checkedValues: what each record's number of
// values is held against (with --columns, the header's, as the record has
// them). The report of what stops the run before it writes, if anything.
std::optional<RunReport> ReadFields(Records& records, const RunContext& run, Fields& fields,
                                    std::size_t& checkedValues);

// The CREATE TABLE statement of a run with --create-table, in the output's
// text form, or its problem.
std::string CreateTable(Fields& fields, const RunContext& run, const ColumnTally* tally, std::string& problem);

// What the statements hold besides the rows: COPY's head line, the
// conflict clause and the key's places; or the report of what is wrong.
std::optional<RunReport> FormOf(const RunContext& run, Fields& fields, StatementForm& form);

}  // namespace rowsmith
