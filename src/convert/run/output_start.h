#pragma once

// The run's first step on its output: what the file ends with, read as the
// database's client reads it, and made safe to append to.

#include <cstdint>
#include <optional>

#include "convert/options/conversion_options.h"
#include "convert/run/run_report.h"

namespace rowsmith {

// What a run found at the end of its output before it appended to it.
struct OutputStart {
    bool insideTransaction = false;  // the statements there leave a transaction open
    std::uint64_t cutBytes = 0;      // bytes of a statement cut short, taken away
};

// Reads the output (through tailFd, a reading descriptor of the regular file
// outputFd writes) as the client of the run's dialect reads it, and takes
// away a statement of Rowsmith's that a run cut short (killed while it
// wrote), so that nothing this run writes continues it. A cut text that is
// not Rowsmith's is left alone, and the run stopped. The report that stops
// the run, if any.
std::optional<RunReport> ReadyOutput(int tailFd, int outputFd, const ConversionOptions& options, OutputStart& start);

}  // namespace rowsmith
