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
#include "reference_rules.h"

namespace {

class PiecesSource : public rowsmith::ByteSource {
public:
    PiecesSource(std::string_view bytes, std::size_t piece) : bytes_(bytes), piece_(piece) {}
    int Read(char* buffer, std::size_t size, std::size_t& got) override {
        got = std::min({size, piece_, bytes_.size() - at_});
        std::memcpy(buffer, bytes_.data() + at_, got);
        at_ += got;
        return 0;
    }
    std::uint64_t bytesFromFile() const override { return at_; }

private:
    std::string_view bytes_;
    std::size_t piece_;
    std::size_t at_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    static const char kDelimiters[] = {',', ';', '\t', '|'};
    const char delimiter = kDelimiters[data[0] & 3];
    const std::size_t blockSize = 16 + ((data[0] >> 2) & 15) * 7;
    const std::size_t piece = 1 + (data[0] >> 6) * 13;
    const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);

    PiecesSource source(bytes, piece);
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
