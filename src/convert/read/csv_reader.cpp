#include "convert/read/csv_reader.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstring>

#include "io/byte_blocks.h"
#include "convert/sql/sql_dialect.h"
#include "io/status.h"
#include "io/text_mode_reader.h"

namespace rowsmith {

namespace {

constexpr char kQuote = '"';

// Copies bytes from p to out until the first one of a, b and c (or end),
// and returns where it stopped. Whole blocks are looked at, and stored, at
// a time, so out needs a block of room past what counts.
template <typename Blocks>
inline const char* CopyUntil(const char* p, const char* end, char*& out, char a, char b, char c) {
    while (end - p >= static_cast<std::ptrdiff_t>(blocks::kSize)) {
        const typename Blocks::Block block = Blocks::Load(p);
        Blocks::Store(out, block);
        if (const unsigned bits = blocks::EqualAny<Blocks>(block, a, b, c)) {
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

// The same, with the blocks the run uses.
inline const char* CopyUntil(const char* p, const char* end, char*& out, char a, char b, char c, bool vector) {
#ifdef ROWSMITH_SSE2_KIND
    if (vector) return CopyUntil<blocks::Sse2>(p, end, out, a, b, c);
#endif
    return CopyUntil<blocks::Plain>(p, end, out, a, b, c);
}

bool IsLineEnd(char c) {
    return c == '\n' || c == '\r';
}

}  // namespace

CsvReader::CsvReader(ByteSource& source, char delimiter, std::size_t blockSize)
    : CsvReader(source, CsvRules{delimiter}, blockSize) {}

CsvReader::CsvReader(ByteSource& source, const CsvRules& rules, std::size_t blockSize, std::uint64_t firstLine)
    : source_(source),
      delimiter_(rules.delimiter),
      quote_(rules.quote),
      escape_(rules.escape),
      skipSpaces_(rules.skipSpaces),
      regular_(rules.quote == kQuote && rules.escape == '\0' && !rules.skipSpaces),
      capacity_(blockSize < 16 ? 16 : blockSize),
      buffer_(new char[capacity_ + kCopyAlignment + kWide]()),
      line_(firstLine) {}

void CsvReader::Restart(std::uint64_t firstLine) {
    next_ = end_ = nullptr;
    fromSource_ = 0;
    inputEnded_ = false;
    error_ = 0;
    state_ = State::StartRecord;
    skipLf_ = afterCr_ = fieldQuoted_ = escapedInQuotes_ = false;
    line_ = firstLine;
    quoteLine_ = recordLine_ = 0;
    recordSize_ = 0;
    ends_.clear();
    quoted_.clear();
    bytes_.clear();
}

bool CsvReader::Fill() {
    if (inputEnded_ || error_ != 0) return false;
    std::size_t got = 0;
    char* at = buffer_.get() + CopyOrigin(fromSource_, buffer_.get());
    error_ = source_.Read(at, capacity_, got);
    fromSource_ += got;
    if (error_ != 0 || got == 0) {
        inputEnded_ = true;
        return false;
    }
    ++reads_;
    next_ = at;
    end_ = next_ + got;
    if (skipLf_ && *next_ == '\n') ++next_;
    skipLf_ = false;
    return true;
}

bool CsvReader::ReserveRecord() {
    // The record's bytes as the file has them: its values and delimiters.
    if (recordSize_ + ends_.size() > TextModeReader::kMaxLineSize) return false;
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
    quoted_.push_back(fieldQuoted_);
    fieldQuoted_ = false;
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

const char* CsvReader::CopyUntilEscape(const char* p, char*& out, char a, char b, char c) {
    while (p < end_ && *p != a && *p != b && *p != c && *p != escape_) *out++ = *p++;
    return p;
}

const char* CsvReader::Escape(const char* p, char*& out, bool inQuotes) {
    if (p == end_) {
        state_ = State::Escaped;
        escapedInQuotes_ = inQuotes;
        return p;
    }
    // A line break made data still counts as a line.
    if (*p == '\n' || *p == '\r') ++line_;
    *out++ = *p++;
    state_ = inQuotes ? State::InQuotedField : State::InField;
    return p;
}

inline const char* CsvReader::CopyUnquoted(const char* p, char*& out, bool& recordEnded) {
    // The bytes up to the next delimiter or line end are the value's.
    state_ = State::InField;
    p = escape_ == '\0' ? CopyUntil(p, end_, out, delimiter_, '\r', '\n', vector_)
                        : CopyUntilEscape(p, out, delimiter_, '\r', '\n');
    if (p == end_) return p;
    if (escape_ != '\0' && *p == escape_) return Escape(p + 1, out, false);
    return EndField(p, out, recordEnded);
}

inline const char* CsvReader::CopyQuoted(const char* p, char*& out) {
    // Everything up to the next quote, line ends too, is the value's; a CR
    // LF pair counts as one line break, a CR or LF alone as one each.
    for (;;) {
        const char* from = p;
        p = escape_ == '\0' ? CopyUntil(p, end_, out, quote_, '\r', '\n', vector_)
                            : CopyUntilEscape(p, out, quote_, '\r', '\n');
        if (p > from) afterCr_ = false;
        if (p == end_ || *p == quote_) break;
        if (escape_ != '\0' && *p == escape_) {
            afterCr_ = false;
            return Escape(p + 1, out, true);
        }
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
    if (skipSpaces_) {
        state_ = State::StartField;
        while (p < end_ && *p == ' ') ++p;
        if (p == end_) return p;
    }
    if (quote_ == '\0' || *p != quote_) return CopyUnquoted(p, out, recordEnded);
    fieldQuoted_ = true;
    quoteLine_ = line_;
    state_ = State::InQuotedField;
    return CopyQuoted(p + 1, out);
}

inline const char* CsvReader::AfterQuote(const char* p, char*& out, bool& recordEnded) {
    if (*p == quote_) {  // "" is one quote
        *out++ = quote_;
        state_ = State::InQuotedField;
        return CopyQuoted(p + 1, out);
    }
    // A quote that closed the field and other bytes after it: they go on
    // as an unquoted field, the first of them data even if it escapes (as
    // Python's csv module reads it).
    if (*p != delimiter_ && !IsLineEnd(*p)) {
        if (*p == escape_) *out++ = *p++;
        state_ = State::InField;
        return p < end_ ? CopyUnquoted(p, out, recordEnded) : p;
    }
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
            case State::Escaped:
                p = Escape(p, out, escapedInQuotes_);
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

bool CsvReader::FindRegularRecord(const char*& recordEnd, const char*& after, std::uint64_t& breaks) const {
    return WithBaseKind([&](auto kind) { return FindRegular<decltype(kind)>(recordEnd, after, breaks); });
}

template <typename Kind>
bool CsvReader::FindRegular(const char*& recordEnd, const char*& after, std::uint64_t& breaks) const {
    std::uint64_t inside = 0;         // the block before ended inside quotes
    std::uint64_t lastDelimiter = 1;  // ... with a delimiter outside them (the record's start counts as one)
    std::uint64_t lastClosing = 0;    // ... with a closing quote
    std::uint64_t lastCr = 0;
    breaks = 0;
    for (const char* block = next_; block < end_; block += kWide) {
        const auto left = static_cast<std::size_t>(end_ - block);
        const std::uint64_t valid = left >= kWide ? ~std::uint64_t{0} : (std::uint64_t{1} << left) - 1;
        const auto masks = Kind::Match(block, std::array<char, 4>{kQuote, delimiter_, '\r', '\n'});
        const std::uint64_t q = masks[0] & valid;
        const std::uint64_t d = masks[1] & valid;
        const std::uint64_t cr = masks[2] & valid;
        const std::uint64_t lf = masks[3] & valid;
        const std::uint64_t afterByte = PrefixXor(q) ^ (std::uint64_t{0} - inside);
        const std::uint64_t before = (afterByte << 1) | inside;
        const std::uint64_t opening = q & ~before;
        const std::uint64_t closing = q & before;
        // The bytes up to the first line end outside quotes are the record's.
        const std::uint64_t ends = (cr | lf) & ~before;
        const std::uint64_t mine = ends != 0 ? (ends & (0 - ends)) - 1 : valid;
        // Every quote that opens a quoted part stands at a field's start, or
        // right after a closing one: "" inside quotes. (Bytes after a
        // closing quote read alike either way, up to a quote among them,
        // which this finds.)
        const std::uint64_t fieldStarts = ((d & ~before) << 1) | lastDelimiter;
        const std::uint64_t pairs = (closing << 1) | lastClosing;
        if ((opening & ~fieldStarts & ~pairs & mine) != 0) return false;
        // Line breaks inside quotes are rare: counted only where there are some.
        if (const std::uint64_t inner = (cr | (lf & ~((cr << 1) | lastCr))) & mine; inner != 0) {
            breaks += static_cast<std::size_t>(std::popcount(inner));
        }
        if (ends != 0) {
            recordEnd = block + std::countr_zero(ends);
            after = recordEnd + 1;
            // A CR at the block's end may have its LF in the next block.
            if (*recordEnd == '\r') {
                if (after == end_) return false;
                after += *after == '\n';
            }
            return true;
        }
        inside = afterByte >> 63;
        lastDelimiter = (d & ~before) >> 63;
        lastClosing = closing >> 63;
        lastCr = cr >> 63;
    }
    return false;
}

int CsvReader::Next(std::vector<std::string_view>& values, std::string_view& record, std::uint64_t& line) {
    record = {};
    if (error_ == 0 && regular_ && state_ == State::StartRecord) {
        if (next_ == end_) Fill();
        while (next_ < end_ && IsLineEnd(*next_)) next_ = SkipEmptyLine(next_);
        const char* recordEnd = nullptr;
        const char* after = nullptr;
        std::uint64_t breaks = 0;
        if (next_ < end_ && !skipLf_ && FindRegularRecord(recordEnd, after, breaks)) {
            record = std::string_view(next_, static_cast<std::size_t>(recordEnd - next_));
            values.clear();
            line = line_;
            line_ += breaks + 1;
            next_ = after;
            return 0;
        }
    }
    return Next(values, line);
}

int CsvReader::Next(std::vector<std::string_view>& values, std::uint64_t& line) {
    if (error_ != 0) return error_;
    recordSize_ = 0;
    ends_.clear();
    quoted_.clear();
    recordLine_ = line_;
    bytes_.clear();
    bool recordEnded = false;
    while (!recordEnded) {
        if (next_ == end_ && !Fill()) break;
        // The record has room for every byte left in the block, so the scan
        // copies without looking.
        line = recordLine_;  // a record too long or too wide fails where it starts
        if (ends_.size() > kMaxFields) return error_ = kTooManyFields;
        if (!ReserveRecord()) return error_ = kLineTooLong;
        const char* from = next_;
        recordEnded = ScanBlock();
        if (keepBytes_) bytes_.append(from, static_cast<std::size_t>(next_ - from));
    }
    line = recordLine_;
    if (error_ != 0) return error_;
    if (ends_.size() > kMaxFields) return error_ = kTooManyFields;
    if (!recordEnded) {
        if (state_ == State::InQuotedField || (state_ == State::Escaped && escapedInQuotes_))
            return error_ = kUnclosedQuote;
        if (state_ == State::StartRecord) return kEndOfInput;
        // An escape with nothing after it is the last byte of the value.
        if (state_ == State::Escaped) record_[recordSize_++] = escape_;
        ends_.push_back(recordSize_);  // the input ended inside the last record
        quoted_.push_back(fieldQuoted_);
        fieldQuoted_ = false;
        state_ = State::StartRecord;
    }
    CollectValues(values);
    return 0;
}

std::string_view CsvReader::recordBytes() const {
    // Empty lines hold nothing but line ends; the record ends with one.
    std::string_view bytes = bytes_;
    bytes.remove_prefix(std::min(bytes.size(), bytes.find_first_not_of("\r\n")));
    if (!bytes.empty() && bytes.back() == '\n') bytes.remove_suffix(1);
    if (!bytes.empty() && bytes.back() == '\r') bytes.remove_suffix(1);
    return bytes;
}

std::string CsvReader::Describe(int error) const {
    if (error == kUnclosedQuote) {
        return "the quoted field that opens on line " + std::to_string(quoteLine_) + " is never closed";
    }
    if (error == kLineTooLong) {
        return "the record that starts on line " + std::to_string(recordLine_) + " is longer than " +
               std::to_string(TextModeReader::kMaxLineSize >> 20) + " MiB, the longest Rowsmith reads";
    }
    if (error == kTooManyFields) {
        return "the record that starts on line " + std::to_string(recordLine_) + " has more than " +
               std::to_string(kMaxFields) + " fields, the most Rowsmith reads";
    }
    return source_.Describe(error);
}

}  // namespace rowsmith
