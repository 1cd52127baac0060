#pragma once

// A run's output as numbered parts (--split-rows, --split-bytes), each a
// whole script that loads on its own, and a manifest that names them:
//   out.sql -> out.create.sql (the table, with --create-table), out.00001.sql,
//              out.00002.sql, ..., out.manifest.json
// Every run writes the parts anew. The manifest goes first, so that one is
// there only after a run that wrote every part whole: it is written last,
// atomically, once each part is on the disk.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "convert/options/conversion_options.h"
#include "convert/run/statement_output.h"
#include "io/file_system.h"
#include "io/sha256.h"
#include "io/unique_fd.h"

namespace rowsmith {

// Where a part's rows come from: the first and last row's input and line.
struct PartSpan {
    std::string firstInput;
    std::uint64_t firstLine = 0;
    std::string lastInput;
    std::uint64_t lastLine = 0;
};

struct PartFacts {
    std::string file;    // its name, in the output's folder
    bool table = false;  // the part that creates the table
    std::uint64_t rows = 0;
    std::uint64_t bytes = 0;
    std::string sha256;
    PartSpan span;
};

class OutputParts {
public:
    // The name of part number of output (0: the table's part), and of the manifest.
    static std::string PartName(const std::string& output, std::size_t number);
    static std::string ManifestName(const std::string& output);

    // inputs: the files the run reads, which no part may be.
    OutputParts(std::string output, std::vector<FileInfo> inputs);
    OutputParts(const OutputParts&) = delete;
    OutputParts& operator=(const OutputParts&) = delete;
    ~OutputParts();

    // Takes the manifest of an earlier run away and opens the first part
    // (the table's, with tablePart). Each call that returns an errno (or
    // kPartIsInput) names the file in failedFile().
    int Start(bool tablePart);
    // The part being written, its blocks of blockSize bytes.
    StatementOutput& Output(std::size_t blockSize);
    StatementOutput& Current() { return *current_; }
    // A row of the part being written.
    void AddRow(const std::string& input, std::uint64_t line);
    // Ends the part being written, once its last bytes are in the output,
    // and opens the next one. Current() is always an output: after a
    // failure, one that keeps nothing.
    int Next();
    // Ends the last part, takes away parts an earlier run left past it,
    // and writes the manifest: manifest's text, given the parts.
    int Finish(const std::vector<std::string>& inputNames, const ConversionOptions& options, const std::string& table);
    // After a run that failed or was cancelled: the part being written is
    // taken away; the whole ones stay, and no manifest says they are all.
    void Abandon();

    const std::vector<PartFacts>& parts() const { return done_; }
    const std::string& failedFile() const { return failed_; }
    const std::string& manifest() const { return manifest_; }

private:
    int Open(std::size_t number);
    int Close();
    // Whether the file at name is one of the inputs; takes it away unless it is.
    bool IsInput(const std::string& name) const;
    int Remove(const std::string& name);

    std::string output_;
    std::string manifest_;
    std::vector<FileInfo> inputs_;
    std::size_t blockSize_ = StatementOutput::kDefaultBlockSize;
    std::size_t number_ = 0;  // of the part being written
    UniqueFd fd_;
    Sha256 hash_;
    std::unique_ptr<StatementOutput> current_;
    PartFacts facts_;    // of the part being written
    bool ours_ = false;  // its file is this run's to take away: not an input
    std::vector<PartFacts> done_;
    std::string failed_;
};

// The manifest's text (JSON): the inputs, the table, the options that are
// not their defaults, whether the parts must load in order, and each part.
std::string ManifestText(const std::vector<PartFacts>& parts, const std::vector<std::string>& inputNames,
                         const ConversionOptions& options, const std::string& table);

}  // namespace rowsmith
