#pragma once

// How a run converts its records one at a time, and how that ended: shared
// by the run and the conversion on several threads (parallel_run.h).

#include <cstdint>
#include <string>

#include "convert/options/conversion_options.h"

namespace rowsmith {

class Records;
class StatementWriter;

// How the loop over the records ended.
struct Outcome {
    int readError = 0;   // 0 at the end of the input, or a failure's code
    int writeError = 0;  // 0, or the code of a failed write
    int refused = 0;     // a record the writer refused (kNulInValue), or 0
    std::uint64_t refusedLine = 0;
    std::string reason;      // what refused or readError says, where the records cannot
    std::string input;       // the input that failed, where not the one read last
    bool cancelled = false;  // by the observer or a stop request
    bool Failed() const { return readError != 0 || writeError != 0 || refused != 0; }
};

// Adds the record read last to the statements: whole, through the scanner,
// or as its values. 0 or the code of what stopped it.
int AddRecord(Records& records, StatementWriter& writer, const ConversionOptions& options);

}  // namespace rowsmith
