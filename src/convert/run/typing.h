#pragma once

// The first of a run's two readings of its input, for --create-table: every
// value into the column types, before the first statement is written.

#include <cstddef>

#include "convert/run/conversion_run.h"
#include "convert/sql/column_types.h"

namespace rowsmith {

// Reads every record of run.typingInput into tally (adding: with what it
// holds already, from inputs before); false, with the report in failed,
// when the input cannot be read or the run is stopped.
bool TallyInput(const RunContext& run, std::size_t block, ColumnTally& tally, RunReport& failed, bool adding = false);

}  // namespace rowsmith
