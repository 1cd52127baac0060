#pragma once

#include <cstdint>
#include <string>

#include "convert/conversion_settings.h"
#include "convert/message_owner.h"

namespace rowsmith {

// The relative name used when the output file box is empty.
inline constexpr const char* kDefaultOutputFile = "db.csv";

enum class RunStatus { Done, Cancelled, ReadFailed, WriteFailed, SameFile };

// How a run ended, with the message the user is to see.
struct RunReport {
    RunStatus status;
    std::string text;
    std::string caption;
    int error = 0;  // the errno behind a failed read or write, when there is one
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

// The reports of a failed read of path and of a failed write.
RunReport ReadFailedReport(const std::string& path, int error);
RunReport WriteFailedReport(int error);

// Converts what inputFd reads into statements appended to outputFd, with
// the table and field names of settings; inputName names the input in
// messages. Refuses when both are the same file. Closes neither.
RunReport ConvertStreams(int inputFd, const std::string& inputName, int outputFd, const ConversionSettings& settings,
                         RunObserver* observer = nullptr);

// The whole run behind Convert: opens the input, refuses an output that is
// the same file, appends a statement per input line to the output (an empty
// output name becomes "db.csv" in settings) and says how it went.
RunReport ConvertFile(ConversionSettings& settings, RunObserver* observer = nullptr);

// ConvertFile, with its message shown through owner once the observer has
// heard that the run is over.
void RunConversion(ConversionSettings& settings, MessageOwner& owner);
void RunConversion(ConversionSettings& settings, MessageOwner& owner, RunObserver* observer);

}  // namespace rowsmith
