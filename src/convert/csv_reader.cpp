#include "convert/csv_reader.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "io/byte_blocks.h"
#include "convert/sql_dialect.h"
#include "io/status.h"
#include "io/text_mode_reader.h"

namespace rowsmith {

namespace {

constexpr char kQuote = '"';

// Copies bytes from p to out until the first one of a, b and c (or end),
// and returns where it stopped. Whole blocks are looked at, and stored, at
// a time, so out needs a block of room past what counts.
inline const char* CopyUntil(const char* p, const char* end, char*& out, char a, char b, char c) {
    while (end - p >= static_cast<std::ptrdiff_t>(blocks::kSize)) {
        const blocks::Block block = blocks::Load(p);
        blocks::Store(out, block);
        if (const unsigned bits = blocks::EqualAny(block, a, b, c)) {
            const int n = __builtin_ctz(bits);
            out += n;
            return p + n;
        }
        p += blocks::kSize;
        out += blocks::kSize;
    }
    while (p < end && *p != a && *p != b && *p != c) *out++ = *p++;
    return p;
}

bool IsLineEnd(char c) {
    return c == '\n' || c == '\r';
}

}  // namespace

CsvReader::CsvReader(ByteSource& source, char delimiter, std::size_t blockSize)
    : source_(source),
      delimiter_(delimiter),
      capacity_(blockSize < 16 ? 16 : blockSize),
      buffer_(new char[capacity_]) {}

bool CsvReader::Fill() {
    if (inputEnded_ || error_ != 0) return false;
    std::size_t got = 0;
    error_ = source_.Read(buffer_.get(), capacity_, got);
    if (error_ != 0 || got == 0) {
        inputEnded_ = true;
        return false;
    }
    ++reads_;
    next_ = buffer_.get();
    end_ = next_ + got;
    if (skipLf_ && *next_ == '\n') ++next_;
    skipLf_ = false;
    return true;
}

bool CsvReader::ReserveRecord() {
    if (recordSize_ > TextModeReader::kMaxLineSize) return false;
    static_assert(kLiteralPadding <= blocks::kSize, "the values are followed by a block of room");
    const std::size_t needed = recordSize_ + static_cast<std::size_t>(end_ - next_) + blocks::kSize;
    if (needed <= recordCapacity_) return true;
    const std::size_t capacity = std::max(needed, 2 * recordCapacity_);
    // Zeroed, as whole blocks are read past the last value.
    std::unique_ptr<char[]> larger(new char[capacity]());
    if (recordSize_ > 0) std::memcpy(larger.get(), record_.get(), recordSize_);
    record_ = std::move(larger);
    recordCapacity_ = capacity;
    return true;
}

inline void CsvReader::NoteCrAt(const char* p) {
    skipLf_ = *p == '\r' && p + 1 == end_;
}

inline const char* CsvReader::SkipEmptyLine(const char* p) {
    const char c = *p++;
    ++line_;
    if (c == '\r' && p < end_ && *p == '\n') ++p;
    NoteCrAt(p - 1);
    return p;
}

inline const char* CsvReader::EndField(const char* p, char* out, bool& recordEnded) {
    const char stop = *p++;
    ends_.push_back(static_cast<std::size_t>(out - record_.get()));
    if (stop == delimiter_) {
        state_ = State::StartField;
        return p;
    }
    ++line_;
    if (stop == '\r' && p < end_ && *p == '\n') ++p;
    NoteCrAt(p - 1);
    state_ = State::StartRecord;
    recordEnded = true;
    return p;
}

inline const char* CsvReader::CopyUnquoted(const char* p, char*& out, bool& recordEnded) {
    // The bytes up to the next delimiter or line end are the value's.
    state_ = State::InField;
    p = CopyUntil(p, end_, out, delimiter_, '\r', '\n');
    return p < end_ ? EndField(p, out, recordEnded) : p;
}

inline const char* CsvReader::CopyQuoted(const char* p, char*& out) {
    // Everything up to the next quote, line ends too, is the value's; a CR
    // LF pair counts as one line break, a CR or LF alone as one each.
    for (;;) {
        const char* from = p;
        p = CopyUntil(p, end_, out, kQuote, '\r', '\n');
        if (p > from) afterCr_ = false;
        if (p == end_ || *p == kQuote) break;
        if (*p == '\r' || !afterCr_) ++line_;
        afterCr_ = *p == '\r';
        *out++ = *p++;
    }
    if (p == end_) return p;
    afterCr_ = false;
    state_ = State::QuoteInQuotedField;
    return p + 1;
}

inline const char* CsvReader::StartField(const char* p, char*& out, bool& recordEnded) {
    if (*p != kQuote) return CopyUnquoted(p, out, recordEnded);
    quoteLine_ = line_;
    state_ = State::InQuotedField;
    return CopyQuoted(p + 1, out);
}

inline const char* CsvReader::AfterQuote(const char* p, char*& out, bool& recordEnded) {
    if (*p == kQuote) {  // "" is one quote
        *out++ = kQuote;
        state_ = State::InQuotedField;
        return CopyQuoted(p + 1, out);
    }
    // A quote that closed the field and other bytes after it: they go on
    // as an unquoted field.
    if (*p != delimiter_ && !IsLineEnd(*p)) return CopyUnquoted(p, out, recordEnded);
    return EndField(p, out, recordEnded);
}

bool CsvReader::ScanBlock() {
    const char* p = next_;
    char* const base = record_.get();
    char* out = base + recordSize_;
    bool recordEnded = false;
    while (p < end_ && !recordEnded) {
        switch (state_) {
            case State::StartRecord:
                if (IsLineEnd(*p)) {  // an empty line: no record
                    p = SkipEmptyLine(p);
                    recordLine_ = line_;
                } else {
                    p = StartField(p, out, recordEnded);
                }
                break;
            case State::StartField:
                p = StartField(p, out, recordEnded);
                break;
            case State::InField:
                p = CopyUnquoted(p, out, recordEnded);
                break;
            case State::InQuotedField:
                p = CopyQuoted(p, out);
                break;
            case State::QuoteInQuotedField:
                p = AfterQuote(p, out, recordEnded);
                break;
        }
    }
    next_ = p;
    recordSize_ = static_cast<std::size_t>(out - base);
    return recordEnded;
}

void CsvReader::CollectValues(std::vector<std::string_view>& values) const {
    values.clear();
    std::size_t start = 0;
    for (const std::size_t end : ends_) {
        values.emplace_back(record_.get() + start, end - start);
        start = end;
    }
}

int CsvReader::Next(std::vector<std::string_view>& values, std::uint64_t& line) {
    if (error_ != 0) return error_;
    recordSize_ = 0;
    ends_.clear();
    recordLine_ = line_;
    bool recordEnded = false;
    while (!recordEnded) {
        if (next_ == end_ && !Fill()) break;
        // The record has room for every byte left in the block, so the scan
        // copies without looking.
        if (!ReserveRecord()) return error_ = kLineTooLong;
        recordEnded = ScanBlock();
    }
    line = recordLine_;
    if (error_ != 0) return error_;
    if (!recordEnded) {
        if (state_ == State::InQuotedField) return error_ = kUnclosedQuote;
        if (state_ == State::StartRecord) return kEndOfInput;
        ends_.push_back(recordSize_);  // the input ended inside the last record
        state_ = State::StartRecord;
    }
    CollectValues(values);
    return 0;
}

std::string CsvReader::Describe(int error) const {
    if (error == kUnclosedQuote) {
        return "the quoted field that opens on line " + std::to_string(quoteLine_) + " is never closed";
    }
    if (error == kLineTooLong) {
        return "the record that starts on line " + std::to_string(recordLine_) + " is longer than " +
               std::to_string(TextModeReader::kMaxLineSize >> 20) + " MiB, the longest Rowsmith reads";
    }
    return source_.Describe(error);
}

}  // namespace rowsmith
