#pragma once

// What a run gives back: how it ended and what it wrote.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "convert/read/problems.h"
#include "convert/run/messages.h"

namespace rowsmith {

enum class RunStatus {
    Done,
    Cancelled,
    ReadFailed,
    WriteFailed,
    SameFile,
    NoTable,
    NoMemory,
    BadOptions,
    UnsafeOutput,  // the output ends with text the run must not continue
};

// What a run wrote.
struct RowCounts {
    std::uint64_t statements = 0;  // INSERT statements
    std::uint64_t rows = 0;        // rows in them, one per record read
    // Rows whose number of values differs from the number of field names
    // (counted only when the field names are known), and the input line of
    // the first of them.
    std::uint64_t mismatchedRows = 0;
    std::uint64_t firstMismatchLine = 0;
    // NUL bytes dropped from values (--nul strip).
    std::uint64_t droppedNuls = 0;
    // Rows whose statement alone passes the statement limit, and the first.
    std::uint64_t oversizedRows = 0;
    std::uint64_t firstOversizedLine = 0;
    // Values written as NULL.
    std::uint64_t nulls = 0;
    // With --rejects: records set aside instead of written, and the line of the last.
    std::uint64_t rejected = 0;
    std::uint64_t lastRejectedLine = 0;
    // Where a run reads several inputs: the one of the first uneven row.
    std::string firstMismatchInput;
};

struct RunReport {
    RunStatus status = RunStatus::Done;
    std::string text;  // the message's first line, as the window shows it
    std::string caption;
    int error = 0;              // the code behind a failed read or write (io/status.h)
    std::string reason;         // a failed read or write: what went wrong, in words
    bool endUncertain = false;  // after a failed write: another program wrote to the output too
    int stopSignal = 0;         // the signal that stopped a cancelled run, or 0
    // With a transaction: the run failed and what it wrote was taken out of
    // the output again (undone), or the output ended inside a transaction
    // another run left unfinished, which this one rolled back first.
    bool undone = false;
    bool closedUnfinished = false;
    // The output ended with a statement a run cut short (killed while it
    // wrote): so many bytes of it were taken away before this run's.
    std::uint64_t cutBytes = 0;
    // The output ends inside a transaction, which this run, having none of
    // its own, goes on inside.
    bool joinedTransaction = false;
    RowCounts counts;
    // What the run did of its own that a user should know (names it gave
    // the header's columns), a sentence each without its full stop.
    std::vector<std::string> notes;
    // With --create-table, "zip: TEXT (line 3: 01234 would read back as
    // 1234)" for each text column: what the command line and the preview
    // show, not the window's message.
    std::vector<std::string> typeNotes;
    std::string rejectsFile;  // with --rejects, where records were set aside
    std::string failedFile;   // a write failed on this file, not the output
    // With --split-rows or --split-bytes (split): the whole parts written
    // (the first and last of them), and the manifest, once written.
    bool split = false;
    std::size_t parts = 0;
    std::string firstPart;
    std::string lastPart;
    bool tablePart = false;  // the first part creates the table
    std::string manifest;
    std::size_t fieldCount = 0;      // names in the field list, 0 when unknown
    std::size_t statementLimit = 0;  // the bytes a statement keeps under, 0 for none
};

// Watches a long run: told how far the input has been read, once per block.
class RunObserver {
public:
    virtual ~RunObserver() = default;
    // bytesRead of totalBytes (0 when the size is unknown) have been read.
    // Returning false stops the run after the statement being written.
    virtual bool Continue(std::uint64_t bytesRead, std::uint64_t totalBytes) = 0;
};

// The reports of a run's ends: with a status and its message; stopped by a
// stop request before it wrote; a failed read of path (reason: what went
// wrong, in words; empty: the words for error); a failed write; options
// that do not go together (problem: why).
RunReport MakeReport(RunStatus status, Message message);
RunReport StoppedReport();
RunReport ReadFailedReport(const std::string& path, int error, const std::string& reason = {});
RunReport WriteFailedReport(int error);
RunReport BadOptionsReport(const std::string& problem);

}  // namespace rowsmith
