#pragma once

// A whole run: the input's records into statements appended to the output.

#include <cstdint>
#include <string>
#include <vector>

#include "convert/options/conversion_options.h"
#include "convert/options/conversion_settings.h"
#include "convert/run/message_owner.h"
#include "convert/run/run_report.h"
#include "io/byte_source.h"

namespace rowsmith {

class OutputParts;
class RejectsFile;

// The relative name used when the output file box is empty.
inline constexpr const char* kDefaultOutputFile = "db.csv";

// An input a run reads after the one before it, into the same table: its
// bytes, its name, and as RunContext has them for its first input, the
// regular file it reads and the second reading of --create-table.
struct LaterInput {
    ByteSource* input = nullptr;
    std::string name;
    FdSource* file = nullptr;
    ByteSource* typing = nullptr;
    FdSource* typingFile = nullptr;
};

// What one run works on, once its files are open.
struct RunContext {
    ByteSource& input;      // the input's bytes
    std::string inputName;  // the input, as messages name it
    int outputFd;           // where the statements are appended
    const ConversionSettings& settings;
    const ConversionOptions& options;
    RunObserver* observer = nullptr;
    std::uint64_t totalBytes = 0;  // the input's size, 0 when not known
    // With a transaction: the output ends inside a transaction another run
    // left unfinished, to be rolled back before this run's begins.
    bool closeUnfinished = false;
    // The size of the blocks the input is read in and the output written
    // in; 0 for the usual size (tests give small ones).
    std::size_t blockSize = 0;
    // The same bytes again from their start, read first for the column
    // types of --create-table; nullptr where they cannot be read twice.
    ByteSource* typingInput = nullptr;
    // A check (--check): the run writes to an output nobody keeps, tells
    // problems of every problem it meets and goes on past each one it can.
    ProblemObserver* problems = nullptr;
    // Where input and typingInput read a regular file: the file they read,
    // held to what was read of it before the run's last statement, and the
    // second reading to the bytes of the first.
    FdSource* inputFile = nullptr;
    FdSource* typingFile = nullptr;
    // The run stops after so many rows, as if the input ended there (a
    // preview's first statements); 0 for all.
    std::uint64_t rowLimit = 0;
    // With --rejects, where records that would not load go; nullptr where
    // they are only counted (a preview, a check).
    RejectsFile* rejects = nullptr;
    // The output, read from its start (a regular file's), for a table an
    // earlier run created there; -1 for none.
    int outputReader = -1;
    // Inputs read after this one, in order, into the same table: their
    // header must be this one's, and each record counts as this one's do.
    std::vector<LaterInput> later;
    // Bytes of the inputs before this one, for the observer.
    std::uint64_t bytesBefore = 0;
    // With --split-rows or --split-bytes: the parts the statements go
    // into, instead of outputFd.
    OutputParts* parts = nullptr;
    // The size of the pieces the input is cut into for several threads
    // (parallel_run.h); 0 for the block size (tests give small ones).
    std::size_t pieceBytes = 0;

    // Whether records that would not load are set aside (--rejects), not
    // written: never by a check, which names them instead.
    bool setsAside() const { return !options.rejects.empty() && problems == nullptr; }
};

// The run itself, on the bytes of the context's input. A seam for tests,
// which hand it bytes in pieces of their choosing.
RunReport ConvertSource(const RunContext& run);

// An input of a run, open: its descriptor and its name in messages.
struct OpenInput {
    int fd;
    std::string name;
};

// ConvertStreams over several inputs, one after another, into the one
// table: one CREATE TABLE whose types fit every input, one transaction,
// and a header that must be the same in each (a difference stops the run
// before it writes, naming both inputs).
RunReport ConvertInputs(const std::vector<OpenInput>& inputs, int outputFd, const ConversionSettings& settings,
                        const ConversionOptions& options = {}, RunObserver* observer = nullptr,
                        ProblemObserver* problems = nullptr);

// ConvertInputs into parts of the output named output (output_parts.h):
// each part written anew, and the manifest last, after a run that went well.
RunReport ConvertInputsToParts(const std::vector<OpenInput>& inputs, const std::string& output,
                               const ConversionSettings& settings, const ConversionOptions& options = {},
                               RunObserver* observer = nullptr);

// Converts what inputFd reads into statements appended to outputFd, with
// the table and field names of settings; inputName names the input in
// messages. Refuses an empty table name, and input and output that are the
// same file, before writing anything. Closes neither.
RunReport ConvertStreams(int inputFd, const std::string& inputName, int outputFd, const ConversionSettings& settings,
                         const ConversionOptions& options = {}, RunObserver* observer = nullptr,
                         ProblemObserver* problems = nullptr);

// The whole run behind Convert: refuses an empty table name, opens the
// input, refuses an output that is the same file, appends a statement per
// input line to the output (an empty output name becomes "db.csv" in
// settings) and says how it went.
RunReport ConvertFile(ConversionSettings& settings, RunObserver* observer = nullptr,
                      const ConversionOptions& options = {});

// ConvertFile, with its message (run_message.h) shown through owner.
void RunConversion(ConversionSettings& settings, MessageOwner& owner);
void RunConversion(ConversionSettings& settings, MessageOwner& owner, RunObserver* observer,
                   const ConversionOptions& options = {});

}  // namespace rowsmith
