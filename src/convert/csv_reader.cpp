#include "convert/csv_reader.h"

#include <cerrno>
#include <cstring>

#include "io/text_mode_reader.h"

namespace rowsmith {

namespace {

constexpr char kQuote = '"';
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool IsLineEnd(char c) {
    return c == '\n' || c == '\r';
}

}  // namespace

CsvReader::CsvReader(ByteSource& source, char delimiter, std::size_t blockSize)
    : source_(source), delimiter_(delimiter), capacity_(blockSize < 16 ? 16 : blockSize),
      buffer_(new char[capacity_]) {}

bool CsvReader::Fill() {
    if (inputEnded_ || error_ != 0) return false;
    std::size_t got = 0;
    std::size_t size = 0;
    // Three bytes at least at the start, to see a byte-order mark whole.
    do {
        error_ = source_.Read(buffer_.get() + size, capacity_ - size, got);
        size += got;
    } while (error_ == 0 && got > 0 && atStart_ && size < kByteOrderMark.size());
    if (error_ != 0 || size == 0) {
        inputEnded_ = true;
        return false;
    }
    next_ = buffer_.get();
    end_ = next_ + size;
    if (atStart_) {
        atStart_ = false;
        if (std::string_view(next_, size).substr(0, 3) == kByteOrderMark) next_ += 3;
    }
    return true;
}

void CsvReader::EndField() {
    ends_.push_back(record_.size());
}

void CsvReader::CountLines(const char* from, const char* to) {
    for (const char* p = from; p < to; ++p) {
        if (*p == '\r' || (*p == '\n' && !afterCr_)) ++line_;
        afterCr_ = *p == '\r';
    }
}

int CsvReader::Next(std::vector<std::string_view>& values, std::uint64_t& line) {
    if (error_ != 0) return error_;
    record_.clear();
    ends_.clear();
    line = line_;
    for (;;) {
        if (next_ == end_ && !Fill()) break;
        if (skipLf_) {
            skipLf_ = false;
            if (*next_ == '\n') {
                ++next_;
                continue;
            }
        }
        const char c = *next_;
        switch (state_) {
            case State::StartRecord:
                if (IsLineEnd(c)) {  // an empty line: no record
                    ++next_;
                    ++line_;
                    skipLf_ = c == '\r';
                    line = line_;
                    continue;
                }
                state_ = State::StartField;
                [[fallthrough]];
            case State::StartField:
                if (c == kQuote) {
                    ++next_;
                    state_ = State::InQuotedField;
                    quoteLine_ = line_;
                    afterCr_ = false;
                    continue;
                }
                state_ = State::InField;
                [[fallthrough]];
            case State::InField: {
                // The bytes up to the next delimiter or line end are the value's.
                const char* p = next_;
                while (p < end_ && *p != delimiter_ && !IsLineEnd(*p)) ++p;
                record_.append(next_, static_cast<std::size_t>(p - next_));
                next_ = p;
                if (p == end_) continue;
                break;
            }
            case State::InQuotedField: {
                // Everything up to the next quote, line ends too, is the value's.
                const void* quote = std::memchr(next_, kQuote, static_cast<std::size_t>(end_ - next_));
                const char* p = quote ? static_cast<const char*>(quote) : end_;
                CountLines(next_, p);
                record_.append(next_, static_cast<std::size_t>(p - next_));
                next_ = p;
                if (p == end_) continue;
                ++next_;
                state_ = State::QuoteInQuotedField;
                continue;
            }
            case State::QuoteInQuotedField:
                if (c == kQuote) {  // "" is one quote
                    record_ += kQuote;
                    ++next_;
                    state_ = State::InQuotedField;
                    continue;
                }
                if (c != delimiter_ && !IsLineEnd(c)) {
                    state_ = State::InField;
                    continue;
                }
                break;
        }
        // At a delimiter or a line end, outside quotes.
        const char stop = *next_++;
        EndField();
        if (stop == delimiter_) {
            state_ = State::StartField;
            continue;
        }
        ++line_;
        skipLf_ = stop == '\r';
        state_ = State::StartRecord;
        break;
    }
    if (error_ != 0) return error_;
    if (state_ == State::InQuotedField) {
        error_ = EBADMSG;
        return error_;
    }
    if (state_ == State::StartRecord && ends_.empty()) return kEndOfInput;
    if (state_ != State::StartRecord) {  // the input ended inside the last record
        EndField();
        state_ = State::StartRecord;
    }
    values.clear();
    std::size_t start = 0;
    for (const std::size_t end : ends_) {
        values.emplace_back(record_.data() + start, end - start);
        start = end;
    }
    return 0;
}

std::string CsvReader::Describe(int error) const {
    if (error == EBADMSG && quoteLine_ != 0) {
        return "the quoted field that opens on line " + std::to_string(quoteLine_) + " is never closed";
    }
    return source_.Describe(error);
}

}  // namespace rowsmith
