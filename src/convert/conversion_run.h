#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "convert/conversion_options.h"
#include "convert/conversion_settings.h"
#include "convert/message_owner.h"
#include "io/byte_source.h"

namespace rowsmith {

// The relative name used when the output file box is empty.
inline constexpr const char* kDefaultOutputFile = "db.csv";

enum class RunStatus { Done, Cancelled, ReadFailed, WriteFailed, SameFile, NoTable, NoMemory };

// What a run wrote.
struct RowCounts {
    std::uint64_t statements = 0;  // INSERT statements
    std::uint64_t rows = 0;        // rows in them, one per line read
    // Rows whose number of values differs from the number of field names
    // (counted only when the field names are known), and the input line of
    // the first of them.
    std::uint64_t mismatchedRows = 0;
    std::uint64_t firstMismatchLine = 0;
};

// How a run ended, with the message the user is to see.
struct RunReport {
    RunStatus status = RunStatus::Done;
    std::string text;
    std::string caption;
    int error = 0;       // the errno behind a failed read or write, when there is one
    std::string reason;  // a failed read or write: what went wrong, in words
    std::string detail;  // more to say after text, or nothing
    RowCounts counts;
    std::size_t fieldCount = 0;  // names in the field list, 0 when unknown
};

// Watches a long run: told how far the input has been read, once per block,
// and how the run ended, before its message is shown.
class RunObserver {
public:
    virtual ~RunObserver() = default;
    // bytesRead of totalBytes (0 when the size is unknown) have been read.
    // Returning false stops the run after the statement being written.
    virtual bool Continue(std::uint64_t bytesRead, std::uint64_t totalBytes) = 0;
    // The run is over; its message comes next.
    virtual void Finished(const RunReport& /*report*/) {}
};

// The reports of a failed read of path (reason: what went wrong, in words;
// empty: the system's words for error) and of a failed write.
RunReport ReadFailedReport(const std::string& path, int error, const std::string& reason = {});
RunReport WriteFailedReport(int error);

// Converts what inputFd reads into statements appended to outputFd, with
// the table and field names of settings; inputName names the input in
// messages. Refuses an empty table name, and input and output that are the
// same file, before writing anything. Closes neither.
RunReport ConvertStreams(int inputFd, const std::string& inputName, int outputFd, const ConversionSettings& settings,
                         const ConversionOptions& options = {}, RunObserver* observer = nullptr);

// The run itself, on the bytes of file (totalBytes of them, 0 when not
// known): what ConvertStreams does once its checks are done. A seam for
// tests, which hand it bytes in pieces of their choosing.
RunReport ConvertSource(ByteSource& file, const std::string& inputName, int outputFd,
                        const ConversionSettings& settings, const ConversionOptions& options, RunObserver* observer,
                        std::uint64_t totalBytes);

// The whole run behind Convert: refuses an empty table name, opens the
// input, refuses an output that is the same file, appends a statement per
// input line to the output (an empty output name becomes "db.csv" in
// settings) and says how it went.
RunReport ConvertFile(ConversionSettings& settings, RunObserver* observer = nullptr,
                      const ConversionOptions& options = {});

// ConvertFile, with its message shown through owner once the observer has
// heard that the run is over.
void RunConversion(ConversionSettings& settings, MessageOwner& owner);
void RunConversion(ConversionSettings& settings, MessageOwner& owner, RunObserver* observer,
                   const ConversionOptions& options = {});

}  // namespace rowsmith
