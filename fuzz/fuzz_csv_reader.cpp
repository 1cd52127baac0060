// The standard CSV reader on any bytes, read in pieces of any size through
// blocks of any size, against the plain reading of Python's csv module. The
// first byte picks the delimiter, the block size and the size of the pieces.
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "convert/csv_reader.h"
#include "io/text_mode_reader.h"
#include "pieces_source.h"
#include "reference_rules.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    static const char kDelimiters[] = {',', ';', '\t', '|'};
    const char delimiter = kDelimiters[data[0] & 3];
    const std::size_t blockSize = 16 + ((data[0] >> 2) & 15) * 7;
    const std::size_t piece = 1 + (data[0] >> 6) * 13;
    const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);

    rowsmith::test::PiecesSource source(bytes, [piece] { return piece; });
    rowsmith::CsvReader reader(source, delimiter, blockSize);
    std::vector<std::vector<std::string>> records;
    std::vector<std::string_view> values;
    std::uint64_t line = 0;
    int status;
    while ((status = reader.Next(values, line)) == 0) records.emplace_back(values.begin(), values.end());

    const rowsmith::reference::CsvReading expected = rowsmith::reference::CsvRecords(bytes, delimiter);
    if (expected.unclosed) {
        if (status != EBADMSG || records.size() > expected.records.size()) std::abort();
        if (!std::equal(records.begin(), records.end(), expected.records.begin())) std::abort();
    } else if (status != rowsmith::kEndOfInput || records != expected.records) {
        std::abort();
    }
    return 0;
}
