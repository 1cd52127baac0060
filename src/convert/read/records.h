#pragma once

// The records of an input under a run's reading options, one at a time:
// under the line rules each line a record (row_rules.h), with --rfc4180
// standard CSV records (csv_reader.h), with --text-export a database's
// text export (text_export_reader.h); after the lines --skip-lines skips.
// How a run, a check, detection and the preview all read an input.
//
// Where nothing needs a record's values one by one, a record is handed out
// whole, as its bytes stand, for the block scanner to write (row_scanner.h):
// the fast way. Where values are compared with NULL markers, columns are chosen,
// or the keys of rows compared (ReadsValues), or where the reader is asked
// to, each record's values are read.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "convert/options/column_choice.h"
#include "convert/options/conversion_options.h"
#include "convert/read/csv_reader.h"
#include "convert/read/problems.h"
#include "convert/read/row_rules.h"
#include "convert/read/skipped_lines.h"
#include "convert/read/text_export_reader.h"
#include "io/byte_source.h"
#include "io/text_mode_reader.h"

namespace rowsmith {

// Whether a run reads each record as values, not through the scanner: to
// choose among them, for COPY's form of tab-separated input
// (row_scanner.cpp), to see the keys of rows that may meet in one
// statement, or to write decimal commas as points.
bool ReadsValues(const ConversionOptions& options);

// The names of a header of several lines, one per column: the column's
// names from top to bottom, blanks trimmed, joined by a space. An empty
// name above the last line takes the name to its left in its line (a title
// over the columns it spans, as spreadsheets merge cells), up to a column
// that a line above names itself.
std::vector<std::string> JoinedHeader(const std::vector<std::vector<std::string>>& lines);

class Records {
public:
    // everyValue: every record's values are read, whatever the options.
    Records(ByteSource& source, const ConversionOptions& options, std::size_t blockSize, bool everyValue = false);

    // From now on only these columns are a record's values (--columns).
    void Choose(const std::vector<ChosenColumn>& columns);
    // The places of the chosen columns where the row scanner can write them
    // (RowScanner::Choose); empty where records must be read as values.
    const std::vector<std::size_t>& scannable() const { return scannable_; }
    // From now on records are handed out whole where they can be, for a
    // scanner that writes the scannable columns alone: their values are
    // read only when asked.
    void ScanChosen();
    // A check: each record's faults go to problems; utf8: the text must be UTF-8.
    void Check(ProblemObserver* problems, bool utf8);

    // Reads the next record: 0, kEndOfInput at the end, or the code of
    // what stopped the reading (Describe says it in words).
    int Next();
    // The same, and its values (all of them) copied into values.
    int NextValues(std::vector<std::string>& values);
    // The header's names: its record, or with --header-lines its records
    // joined (JoinedHeader).
    int NextHeader(std::vector<std::string>& names);

    // Whether the record read last is handed out whole: text() holds its
    // bytes (without its line end, followed by kPadding readable bytes).
    bool whole() const { return whole_; }
    std::string_view text() const { return rules_ == Rules::Lines ? line_ : record_; }

    // Reads the values of a record that is not whole: 0, kMissingColumn
    // when it lacks a chosen column, or kTooManyFields.
    int ReadValues();
    // Its values (the chosen ones, with --columns), each followed by
    // kLiteralPadding readable bytes, whether each was written in quotes,
    // the bytes in the input that hold them all, and how many values the
    // record had where only some are chosen (0: all are).
    const std::vector<std::string_view>& values() const { return chosen_ ? chosen_->values() : values_; }
    const std::vector<bool>& quoted() const;
    std::string_view bytes() const;
    std::size_t recordValues() const { return chosen_ ? values_.size() : 0; }

    // Hands the values of the record read last (the chosen ones) to
    // each(value, quoted), one after another, until it returns false; a
    // quoted value of a whole standard CSV record still has its quotes
    // doubled. Nothing for a record without a chosen column.
    template <typename Each>
    void ForEachValue(Each&& each);

    // From now on original() gives each record's bytes as they stand in
    // the input (after decoding), even where it is read as values.
    void KeepOriginals();
    // The record read last (or the one Next failed on: a quoted field never
    // closed takes the rest of the input) as it was read: without the line
    // end after it.
    std::string_view original() const;

    // For another reader that takes over between records (parallel_run.h):
    // whether it can find where records end by their line ends alone (under
    // the line rules, or standard CSV's with its quote, where the quotes
    // before a line end tell whether it ends a record, unless a quote
    // stands inside an unquoted field); the bytes read but not handed out,
    // more and skipLf as CsvReader::Unread gives them; the source the rest
    // comes from; and the line the next record is counted from.
    bool CutsAtLineEnds() const;
    std::string_view Unread(bool& more, bool& skipLf) const;
    ByteSource& rest() { return skipped_ ? static_cast<ByteSource&>(*skipped_) : source_; }
    std::uint64_t nextLine() const { return rules_ == Rules::Standard ? csv_->line() : number_ + 1; }
    // Starts over on what the source gives from now on, counting lines
    // from firstLine, with the buffers it has; reads as other does (its
    // chosen columns, whole records or values).
    void Restart(std::uint64_t firstLine);
    void ReadAs(const Records& other);
    // Under the line rules: a 0x1A byte ended the input before its end.
    bool endedAtMark() const { return lines_ && lines_->endedAtMark(); }

    // The line the record read last starts on.
    std::uint64_t number() const { return number_; }
    // Bytes taken from the file so far, and blocks read: cheap to ask.
    std::uint64_t bytesConsumed() const;
    std::uint64_t reads() const;
    std::string Describe(int error) const;
    // The line a failure of reading stops at.
    std::uint64_t failedLine() const { return rules_ == Rules::Lines ? number_ + 1 : number_; }

private:
    enum class Rules { Lines, Standard, TextExport };

    // The values of the line read last, or of a standard CSV record handed
    // out whole (there only to be counted: a quote inside a quoted one stays
    // doubled), where they lie in it; false past CsvReader::kMaxFields.
    bool SplitWhole();
    // Whether each value the reader read was quoted.
    const std::vector<bool>& ReaderQuoted() const;
    // A check's look at the record read last; scanned: the row scanner
    // writes it, and says itself where a quote is open at its end.
    void Inspect(bool scanned);
    // Whether the record read last starts past --last-line: the end.
    bool PastLastLine();

    ByteSource& source_;
    const ConversionOptions& options_;
    const Rules rules_;
    const bool everyValue_;
    bool asValues_;  // every record's values are read
    std::optional<SkippedLines> skipped_;
    std::optional<TextModeReader> lines_;
    std::optional<CsvReader> csv_;
    std::optional<TextExportReader> export_;
    std::string_view line_;    // under the line rules: the line read last
    std::string_view record_;  // with --rfc4180: a record handed out whole
    bool whole_ = false;
    bool past_ = false;        // a record past --last-line was met: the end
    bool valuesRead_ = false;  // ReadValues read the record read last
    int valuesStatus_ = 0;     // and said so
    std::vector<std::string_view> values_;
    std::vector<bool> quoted_;
    std::uint64_t number_ = 0;
    std::optional<ChosenValues<std::string_view>> chosen_;
    std::vector<std::size_t> scannable_;
    ProblemObserver* problems_ = nullptr;
    bool utf8_ = false;
};

template <typename Each>
void Records::ForEachValue(Each&& each) {
    if (chosen_ || !whole_) {
        if (ReadValues() != 0) return;
        for (std::size_t i = 0; i < values().size() && each(values()[i], quoted()[i]); ++i) {
        }
        return;
    }
    if (rules_ == Rules::Standard) return CsvReader::ForEachRegularValue(record_, options_.delimiter, each);
    rowsmith::ForEachValue(line_, options_.delimiter, each);
}

}  // namespace rowsmith
