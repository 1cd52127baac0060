#pragma once

// Standard CSV (RFC 4180, as real programs write it), one record at a time:
// - a field that starts with a double quote is quoted: inside it "" is one
//   quote, and the delimiter, CR and LF are part of the value; a quote that
//   closes it and is followed by other bytes goes on as an unquoted field
//   ("ab"cd gives abcd);
// - a double quote inside an unquoted field is an ordinary byte (ab"c);
// - a record ends at LF, CR LF or CR outside quotes; an empty line is no
//   record at all;
// - values keep their blanks; bytes are read as they are (0x1A is an
//   ordinary byte);
// - a quoted field still open at the end of the input is an error that
//   names the line where it opened.
// Only one record is held in memory, besides one block of input. The values
// a record gives are followed by kLiteralPadding readable bytes.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "io/byte_blocks.h"
#include "io/byte_source.h"

namespace rowsmith {

// What a record of standard CSV is written with: the delimiter, the byte
// that quotes a field ('\0': none), the byte that makes the next one data
// ('\0': none; a quote inside quotes is then doubled), and whether spaces
// at a field's start are left out (so that a quote after them opens it).
struct CsvRules {
    char delimiter = ',';
    char quote = '"';
    char escape = '\0';
    bool skipSpaces = false;
};

class CsvReader {
public:
    static constexpr std::size_t kBlockSize = std::size_t{1} << 20;
    // The most fields a record may have: far more than any database takes
    // in a row, few enough that a record's fields take less memory than its
    // bytes may (each field is kept by where it ends).
    static constexpr std::size_t kMaxFields = std::size_t{1} << 20;

    CsvReader(ByteSource& source, char delimiter, std::size_t blockSize = kBlockSize);
    // Records written with rules: with a quote other than ", an escape or
    // spaces skipped, none is handed out whole. Lines are counted from
    // firstLine (lines skipped before the source's first byte).
    CsvReader(ByteSource& source, const CsvRules& rules, std::size_t blockSize = kBlockSize,
              std::uint64_t firstLine = 1);

    // Sets values to the next record's values (views valid until the next
    // call) and line to the line it starts on, and returns 0. Returns
    // kEndOfInput at the end; kUnclosedQuote for a quoted field never closed,
    // kLineTooLong for a record longer than TextModeReader::kMaxLineSize
    // (its delimiters counted) and kTooManyFields for one of more than
    // kMaxFields fields (see Describe); or the code of a failed read, on
    // this and every later call.
    int Next(std::vector<std::string_view>& values, std::uint64_t& line);
    // The same, but a record written regularly that lies whole in the block
    // read is not split: record is set to its bytes (without its line end,
    // followed by kWide readable bytes) and values left empty. Regularly:
    // each quote that opens a quoted field is the field's first byte, and
    // each other quote inside one is doubled. The quotes before a byte then
    // tell whether it is inside a quoted field, and the record reads as the
    // rules above read it; any other goes through them, record is empty
    // and values set.
    int Next(std::vector<std::string_view>& values, std::string_view& record, std::uint64_t& line);

    // The values of a record Next handed out whole, to each(value, quoted)
    // one after another until it returns false: a quoted one as it stands between its quotes, a
    // quote in it still doubled (so at most its size, and never a number).
    template <typename Each>
    static void ForEachRegularValue(std::string_view record, char delimiter, Each&& each) {
        for (std::size_t at = 0;;) {
            if (at < record.size() && record[at] == '"') {
                // To the quote that is not doubled: the delimiter or the end follows.
                const std::size_t close = ClosingQuote(record, at);
                const std::string_view inner = record.substr(at + 1, close - at - 1);
                // Bytes after the closing quote go on with the value ("12"3 is 123).
                const std::size_t end = close < record.size() ? record.find(delimiter, close + 1) : close;
                const bool more =
                    end == close + 1 || close == record.size()
                        ? each(inner, true)
                        : each(std::string(inner).append(record.substr(close + 1, end - close - 1)), true);
                if (!more || end >= record.size()) return;
                at = end + 1;
                continue;
            }
            const std::size_t end = record.find(delimiter, at);
            const bool more =
                each(record.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at), false);
            if (!more || end == std::string_view::npos) return;
            at = end + 1;
        }
    }

    // Where the quoted field opening at record[at] closes: at the quote that
    // is not doubled (the end, were there none).
    static std::size_t ClosingQuote(std::string_view record, std::size_t at) {
        std::size_t close = record.find('"', at + 1);
        while (close != std::string_view::npos && close + 1 < record.size() && record[close + 1] == '"') {
            close = record.find('"', close + 2);
        }
        return close == std::string_view::npos ? record.size() : close;
    }

    // The bytes read but not handed out yet, between records; more: whether
    // the source may hold more after them. For a reader that another takes
    // over from, which reads the rest itself: an LF first in what it reads
    // goes with the CR before when skipLf is set.
    std::string_view Unread(bool& more, bool& skipLf) const {
        more = !inputEnded_ && error_ == 0;
        skipLf = skipLf_ && next_ == end_;
        return {next_, static_cast<std::size_t>(end_ - next_)};
    }
    // Starts over on what the source gives from now on, counting lines from
    // firstLine, with the buffers it has: one reader for many pieces of input.
    void Restart(std::uint64_t firstLine);
    // The line the next byte is on.
    std::uint64_t line() const { return line_; }

    // For each value the last Next set, whether its field began with a quote.
    const std::vector<bool>& quoted() const { return quoted_; }

    // Bytes taken from the file so far.
    std::uint64_t bytesConsumed() const { return source_.bytesFromFile(); }
    // How many blocks have been read: cheap to ask after every record.
    std::uint64_t reads() const { return reads_; }
    // From now on the bytes of each record split into values are kept, as
    // they stand in the input: recordBytes() gives those of the last one,
    // without the empty lines before it and the line end after it.
    void KeepRecordBytes() { keepBytes_ = true; }
    std::string_view recordBytes() const;
    // The reason for an error Next returned.
    std::string Describe(int error) const;

private:
    enum class State { StartRecord, StartField, InField, InQuotedField, QuoteInQuotedField, Escaped };

    // Reads the next block; false at the end of the input or on an error.
    bool Fill();
    // Makes room in the record for the rest of the block; false when the
    // record would grow past the longest there may be.
    bool ReserveRecord();
    // Runs the state machine over the block from next_, copying values into
    // the record; true once the record has ended.
    bool ScanBlock();
    // One step of each state from p; each returns where the scan goes on.
    const char* SkipEmptyLine(const char* p);
    const char* StartField(const char* p, char*& out, bool& recordEnded);
    const char* CopyUnquoted(const char* p, char*& out, bool& recordEnded);
    const char* CopyQuoted(const char* p, char*& out);
    const char* AfterQuote(const char* p, char*& out, bool& recordEnded);
    // The byte after an escape at p is data; then the field goes on.
    const char* Escape(const char* p, char*& out, bool inQuotes);
    // Copies bytes until a, b, c or the escape, one at a time: the way
    // where an escape may stand.
    const char* CopyUntilEscape(const char* p, char*& out, char a, char b, char c);
    // A delimiter or line end at p, outside quotes, ends the field.
    const char* EndField(const char* p, char* out, bool& recordEnded);
    // A CR at the end of a block: an LF at the start of the next goes with it.
    void NoteCrAt(const char* p);
    // The values of the record just ended.
    void CollectValues(std::vector<std::string_view>& values) const;
    // Whether a regular record starts at next_ and ends in the block; sets
    // its end, where the next one begins and the line breaks inside it.
    bool FindRegularRecord(const char*& recordEnd, const char*& after, std::uint64_t& breaks) const;
    template <typename Kind>
    bool FindRegular(const char*& recordEnd, const char*& after, std::uint64_t& breaks) const;

    ByteSource& source_;
    const char delimiter_;
    const char quote_;
    const char escape_;
    const bool skipSpaces_;
    const bool regular_;                    // records may be handed out whole
    const bool vector_ = blocks::Vector();  // the blocks the run uses
    std::size_t capacity_;
    std::unique_ptr<char[]> buffer_;
    const char* next_ = nullptr;  // the next byte to look at
    const char* end_ = nullptr;   // the end of what the buffer holds
    std::uint64_t reads_ = 0;
    std::uint64_t fromSource_ = 0;  // bytes read from the source
    bool inputEnded_ = false;
    int error_ = 0;

    State state_ = State::StartRecord;
    bool skipLf_ = false;           // a CR just ended a record: an LF right after it goes with it
    bool afterCr_ = false;          // inside quotes, the last byte was a CR
    std::uint64_t line_ = 1;        // the line being read
    std::uint64_t quoteLine_ = 0;   // where the open quoted field began
    std::uint64_t recordLine_ = 0;  // where the record being read began
    bool keepBytes_ = false;        // the record's own bytes are kept, in bytes_
    std::string bytes_;
    std::unique_ptr<char[]> record_;  // the values, one after another
    std::size_t recordCapacity_ = 0;
    std::size_t recordSize_ = 0;
    std::vector<std::size_t> ends_;
    std::vector<bool> quoted_;      // of each field ended, whether it began with a quote
    bool fieldQuoted_ = false;      // the field being read began with a quote
    bool escapedInQuotes_ = false;  // an escape ended the block inside quotes
};

}  // namespace rowsmith
