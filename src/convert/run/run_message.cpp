#include "convert/run/run_message.h"

#include <algorithm>
#include <cstring>

#include "convert/run/messages.h"
#include "convert/run/rejects.h"
#include "io/stop_request.h"

namespace rowsmith {

namespace {

// "N thing" or "N things", N written by number.
struct Counter {
    NumberWriter number;
    std::string operator()(std::uint64_t n, const char* one, const char* many) const {
        return number(n) + " " + (n == 1 ? one : many);
    }
};

// "3 statements with 5 rows were appended to FILE."
std::string AppendedText(const RowCounts& counts, std::string_view output, Counter counted) {
    return counted(counts.statements, "statement", "statements") + " with " + counted(counts.rows, "row", "rows") +
           (counts.statements == 1 ? " was" : " were") + " appended to " + std::string(output) + ".";
}

// Where a split output's statements went: "3 statements with 5 rows were
// written to 2 parts (out.00001.sql to out.00002.sql); out.manifest.json
// lists them." After a run that did not end well, the whole parts it left.
std::string PartsText(const RunReport& report, Counter counted) {
    const std::string range = report.parts == 1 ? report.firstPart : report.firstPart + " to " + report.lastPart;
    if (report.manifest.empty()) {
        if (report.parts == 0) return "No whole part was written, and no manifest.";
        return counted(report.parts, "whole part stays", "whole parts stay") + " (" + range +
               "), but no manifest: they do not hold every row.";
    }
    std::string text = counted(report.counts.statements, "statement", "statements") + " with " +
                       counted(report.counts.rows, "row", "rows") + (report.counts.statements == 1 ? " was" : " were") +
                       " written to " + counted(report.parts, "part", "parts") + " (" + range + "); " +
                       report.manifest + " lists them.";
    if (report.tablePart) text += " " + report.firstPart + " creates the table: load it first.";
    return text;
}

// What every front end says after the outcome itself.
std::vector<std::string> Notes(const RunReport& report, Counter counted = {PlainNumber}) {
    const RowCounts& counts = report.counts;
    std::vector<std::string> notes;
    for (const std::string& note : report.notes) notes.push_back(Sentence(note));
    if (report.cutBytes > 0) {
        notes.push_back("The output ended with " + counted(report.cutBytes, "byte", "bytes") +
                        " of a statement cut short (a run stopped by force, say); " +
                        (report.cutBytes == 1 ? "it was" : "they were") + " taken away before this run's statements.");
    }
    if (report.closedUnfinished) notes.emplace_back(kClosedUnfinishedNote);
    if (report.joinedTransaction) notes.emplace_back(kJoinedTransactionNote);
    if (counts.mismatchedRows > 0) {
        std::string text =
            MismatchText(counts.mismatchedRows, counts.firstMismatchLine, report.fieldCount, counted.number);
        // Of several inputs, the one the line is in.
        if (!counts.firstMismatchInput.empty())
            text.insert(text.find(". ", text.rfind("line ")), " of " + counts.firstMismatchInput);
        notes.push_back(std::move(text));
    }
    if (counts.rejected > 0) {
        notes.push_back(counted(counts.rejected, "record", "records") + " would not load and " +
                        (counts.rejected == 1 ? "was" : "were") + " set aside in " + report.rejectsFile + "; " +
                        RejectsFile::LogPath(report.rejectsFile) + " names the line and reason of each.");
    }
    if (counts.droppedNuls > 0) {
        notes.push_back(counted(counts.droppedNuls, "NUL byte was", "NUL bytes were") + " dropped from the values.");
    }
    if (counts.nulls > 0) {
        notes.push_back(counted(counts.nulls, "value was", "values were") + " written as NULL.");
    }
    if (counts.oversizedRows > 0) {
        notes.push_back(counted(counts.oversizedRows, "row makes a statement", "rows make statements") +
                        " longer than " + std::to_string(report.statementLimit) + " bytes on " +
                        (counts.oversizedRows == 1 ? "its own: line " : "their own; the first is line ") +
                        std::to_string(counts.firstOversizedLine) +
                        ". A server that takes no longer statement refuses it.");
    }
    if (report.undone) notes.emplace_back(kUndoneNote);
    if (report.endUncertain) notes.emplace_back(kOutputEndUncertain);
    return notes;
}

}  // namespace

std::string PlainNumber(std::uint64_t n) {
    return std::to_string(n);
}

RunMessage WindowMessage(const RunReport& report, std::string_view outputName, NumberWriter number) {
    RunMessage message{report.text, report.caption};
    std::vector<std::string> lines;
    const bool ended = report.status == RunStatus::Done || report.status == RunStatus::Cancelled;
    if (ended) {
        lines.push_back(report.split ? PartsText(report, {number}) : AppendedText(report.counts, outputName, {number}));
    } else if ((report.status == RunStatus::WriteFailed && report.error != 0) ||
               report.status == RunStatus::UnsafeOutput) {
        lines.push_back((report.failedFile.empty() ? std::string(outputName) : report.failedFile) + ": " +
                        report.reason + ".");
    }
    if (report.split && !ended) lines.push_back(PartsText(report, {number}));
    for (std::string& note : Notes(report, {number})) lines.push_back(std::move(note));
    for (std::size_t i = 0; i < lines.size(); ++i) message.text += (i == 0 ? "\n\n" : "\n") + lines[i];
    return message;
}

std::vector<std::string> CommandLineLines(const RunReport& report, std::string_view inputName,
                                          std::string_view outputName) {
    std::vector<std::string> lines = report.typeNotes;
    for (std::string& note : Notes(report)) lines.push_back(std::move(note));
    if (report.split) lines.push_back(PartsText(report, {PlainNumber}));
    switch (report.status) {
        case RunStatus::Done:
            break;
        case RunStatus::Cancelled:
            if (report.stopSignal != 0) {
                lines.push_back(std::string("stopped by ") + SignalName(report.stopSignal) +
                                "; the output holds whole statements only");
            } else {
                lines.push_back(report.text);
            }
            break;
        case RunStatus::ReadFailed:
            lines.push_back((report.failedFile.empty() ? std::string(inputName) : report.failedFile) + ": " +
                            report.reason);
            break;
        case RunStatus::WriteFailed:
        case RunStatus::UnsafeOutput:
            lines.push_back((report.failedFile.empty() ? std::string(outputName) : report.failedFile) + ": " +
                            report.reason);
            break;
        default:
            lines.push_back(report.text);
            break;
    }
    // The failure first, as Unix tools say it; the notes after it.
    if (report.status != RunStatus::Done && lines.size() > 1) {
        std::rotate(lines.begin(), lines.end() - 1, lines.end());
    }
    return lines;
}

}  // namespace rowsmith
