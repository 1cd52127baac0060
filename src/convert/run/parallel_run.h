#pragma once

// A run's records converted on several threads: the input is read on the
// run's thread and cut into pieces where records end, each piece is turned
// into statements apart, and the statements are written in the input's
// order: the same bytes, counts and messages as one thread gives.

#include <cstddef>
#include <functional>

#include "convert/run/conversion_run.h"
#include "convert/run/outcome.h"

namespace rowsmith {

class Records;
class RowScanner;
class StatementWriter;
struct StatementForm;

// The threads a run converts on: jobs, or for 0 as many as the process has
// cores to run on.
unsigned JobsFor(unsigned jobs);

// Whether the records of a run can be converted on several threads: where
// their ends can be found ahead, one to a statement, with nothing told of
// each one as it goes (a check, records set aside, parts, a preview) and
// one input. The others are converted as one thread does.
bool ConvertsInParallel(const RunContext& run, const Records& records, const StatementWriter& writer);

// What a piece is converted with, as the run converts its records.
struct PieceForm {
    const RowScanner& scanner;
    std::size_t fieldCount;
    const StatementForm& form;
    std::size_t pieceBytes;  // a piece's size, or more where a record is longer
    unsigned jobs;
};

// Converts the records of a piece of input one at a time (ConvertEach).
using EachRecord = std::function<Outcome(Records&, StatementWriter&, const RunContext&)>;

// Converts the rest of records, after its header, on form.jobs threads into
// writer's statements. From a piece that one thread converts otherwise
// than its own (a record that fails or is refused, a quoted field open at
// its end, a 0x1A that ends the input, a record longer than a piece can
// be), the rest is converted one record at a time on the caller's thread,
// the failure described in the outcome's reason.
Outcome ConvertInParallel(Records& records, StatementWriter& writer, const PieceForm& form, const RunContext& run,
                          const EachRecord& each);

}  // namespace rowsmith
