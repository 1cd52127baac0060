#pragma once

// What a run would make of the start of its input: the first records as
// the reading options read them, and the first statements as the run
// writes them. For the window's preview, redrawn as the options change.

#include <cstddef>
#include <string>
#include <vector>

#include "convert/options/conversion_options.h"
#include "convert/options/conversion_settings.h"

namespace rowsmith {

struct InputPreview {
    static constexpr std::size_t kSampleBytes = std::size_t{64} << 10;

    std::vector<std::string> titles;                // with --header, the header's names
    std::vector<std::vector<std::string>> records;  // the first records' values, in UTF-8 where decoded
    std::vector<std::vector<bool>> nulls;           // of each of those values, whether the run writes NULL
    std::string statements;                         // the first statements, line ends as LF
    std::string problem;                            // why the records stop short, in words; empty if nothing
};

// The preview of settings.inputFile's start, up to records records (after
// the header) and the statements of as many rows. The run is made on the
// file's first kSampleBytes only, so the column types --create-table
// shows are those of that much.
InputPreview PreviewInput(const ConversionSettings& settings, const ConversionOptions& options,
                          std::size_t records = 20);

}  // namespace rowsmith
