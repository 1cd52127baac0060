#include "convert/run/typing.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "convert/options/column_choice.h"
#include "convert/read/records.h"
#include "convert/sql/null_choice.h"
#include "io/input_source.h"
#include "io/status.h"
#include "io/stop_request.h"

namespace rowsmith {

namespace {

// One value of a record into the column types, unless it is written as NULL.
struct Tallier {
    Tallier(ColumnTally& into, const NullChoice& of, std::uint64_t on)
        : tally(into), nulls(of), any(of.any()), line(on) {}
    // Whether the next value matters too.
    bool operator()(std::string_view value, bool quoted) {
        if (!any || !nulls.Null(value, quoted)) {
            tally.Add(column, value, line);
        } else {
            tally.AddNull(column);
        }
        return ++column < tally.wanted();
    }
    ColumnTally& tally;
    const NullChoice& nulls;
    bool any;  // some values may be NULL
    std::uint64_t line;
    std::size_t column = 0;
};

// The header read, and the columns chosen: the number of the table's
// columns (those the field list names, or the header's); or nothing where
// the columns cannot be chosen (the conversion says what is wrong before it
// writes). status: that of reading the header.
std::optional<std::size_t> TableColumns(Records& records, const RunContext& run, int& status) {
    std::size_t columns = CountFieldNames(run.settings.fieldNames);
    std::vector<std::string> names;
    if (run.options.header) {
        status = records.NextHeader(names);
        if (columns == 0) columns = names.size();
    }
    if (run.options.columns.empty() || status != 0) return columns;
    std::string problem;
    const std::vector<ChosenColumn> chosen =
        ChooseColumns(run.options.columns, run.options.header ? &names : nullptr, problem);
    if (!problem.empty()) return std::nullopt;
    records.Choose(chosen);
    return chosen.size();
}

// Reads every record into the column types; false, with the report, when
// the input cannot be read or the run is stopped.
bool TallyRecords(Records& records, const RunContext& run, ColumnTally& tally, bool adding, RunReport& failed) {
    int status = 0;
    const std::optional<std::size_t> columns = TableColumns(records, run, status);
    if (!columns) return true;
    // A key's NULLs and longest values count to the end. A later input's
    // values go with the earlier ones'.
    if (!adding) tally = ColumnTally(run.options.dialect, *columns, !run.options.key.empty());
    if (run.options.decimalComma) tally.DecimalsWithComma();
    // With several inputs, what keeps a column text names the input too.
    if (!run.later.empty()) tally.ReadingFrom(run.inputName);
    const NullChoice nulls(run.options);
    std::uint64_t blocks = 0;
    while (status == 0 && (status = records.Next()) == 0) {
        // Once no value can change a type, the records are still read, for
        // their faults, but no longer looked into.
        if (tally.wanted() > 0) records.ForEachValue(Tallier{tally, nulls, records.number()});
        if (records.reads() != blocks) {
            blocks = records.reads();
            const bool cancelled = run.observer && !run.observer->Continue(records.bytesConsumed(), run.totalBytes);
            if (cancelled || StopSignal() != 0) status = kStopped;
        }
    }
    // A quoted field never closed is a record the run sets aside, where it does.
    const bool setAside = status == kUnclosedQuote && run.setsAside();
    if (status == kEndOfInput || setAside) return true;
    failed = status == kStopped ? StoppedReport() : ReadFailedReport(run.inputName, status, records.Describe(status));
    return false;
}

}  // namespace

// The first of a run's two readings of the input, for --create-table.
bool TallyInput(const RunContext& run, std::size_t block, ColumnTally& tally, RunReport& failed, bool adding) {
    InputSource input(*run.typingInput);
    // Records the run sets aside for bytes their character set lacks are read past here too.
    if (!run.options.rejects.empty() && !run.options.encoding.empty()) input.SubstituteInvalid();
    if (const int error = input.Open(run.options.encoding)) {
        failed = error == kStopped ? StoppedReport() : ReadFailedReport(run.inputName, error, input.Describe(error));
        return false;
    }
    Records records(input, run.options, block);
    return TallyRecords(records, run, tally, adding, failed);
}

}  // namespace rowsmith
