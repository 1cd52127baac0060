#include "convert/csv_reader.h"

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "io/text_mode_reader.h"

namespace rowsmith {

namespace {

constexpr char kQuote = '"';
constexpr std::size_t kBlock = 16;  // bytes looked at together

// Copies bytes from p to out until the first one of the three given (or
// end), and returns where it stopped. Sixteen bytes are looked at, and
// stored, at a time, so out needs sixteen bytes of room past what counts.
inline const char* CopyUntil(const char* p, const char* end, char*& out, char a, char b, char c) {
#ifdef __SSE2__
    const __m128i va = _mm_set1_epi8(a);
    const __m128i vb = _mm_set1_epi8(b);
    const __m128i vc = _mm_set1_epi8(c);
    while (end - p >= static_cast<std::ptrdiff_t>(kBlock)) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), bytes);
        const __m128i hits =
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(bytes, va), _mm_cmpeq_epi8(bytes, vb)), _mm_cmpeq_epi8(bytes, vc));
        if (const unsigned bits = static_cast<unsigned>(_mm_movemask_epi8(hits))) {
            const int n = __builtin_ctz(bits);
            out += n;
            return p + n;
        }
        p += kBlock;
        out += kBlock;
    }
#endif
    while (p < end && *p != a && *p != b && *p != c) *out++ = *p++;
    return p;
}
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

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
    ++reads_;
    next_ = buffer_.get();
    end_ = next_ + size;
    if (atStart_) {
        atStart_ = false;
        if (std::string_view(next_, size).substr(0, 3) == kByteOrderMark) next_ += 3;
    }
    return true;
}

bool CsvReader::ReserveRecord() {
    if (recordSize_ > TextModeReader::kMaxLineSize) return false;
    const std::size_t needed = recordSize_ + static_cast<std::size_t>(end_ - next_) + kBlock;
    if (needed <= recordCapacity_) return true;
    const std::size_t capacity = std::max(needed, 2 * recordCapacity_);
    std::unique_ptr<char[]> larger(new char[capacity]);
    if (recordSize_ > 0) std::memcpy(larger.get(), record_.get(), recordSize_);
    record_ = std::move(larger);
    recordCapacity_ = capacity;
    return true;
}

int CsvReader::Next(std::vector<std::string_view>& values, std::uint64_t& line) {
    if (error_ != 0) return error_;
    recordSize_ = 0;
    ends_.clear();
    line = line_;
    bool recordEnded = false;
    while (!recordEnded) {
        if (next_ == end_) {
            if (!Fill()) break;
            if (skipLf_ && *next_ == '\n') ++next_;
            skipLf_ = false;
            if (next_ == end_) continue;
        }
        // The record has room for every byte left in the block, so the loop
        // below copies without looking.
        if (!ReserveRecord()) {
            recordLine_ = line;
            return error_ = E2BIG;
        }
        const char* p = next_;
        const char* const end = end_;
        char* const base = record_.get();
        char* out = base + recordSize_;
        while (p < end && !recordEnded) {
            const char c = *p;
            switch (state_) {
                case State::StartRecord:
                    if (IsLineEnd(c)) {  // an empty line: no record
                        ++p;
                        ++line_;
                        line = line_;
                        if (c == '\r' && p < end && *p == '\n') ++p;
                        skipLf_ = c == '\r' && p == end;
                        continue;
                    }
                    state_ = State::StartField;
                    [[fallthrough]];
                case State::StartField:
                    if (c == kQuote) {
                        ++p;
                        state_ = State::InQuotedField;
                        quoteLine_ = line_;
                        continue;
                    }
                    state_ = State::InField;
                    [[fallthrough]];
                case State::InField:
                    // The bytes up to the next delimiter or line end are the value's.
                    p = CopyUntil(p, end, out, delimiter_, '\r', '\n');
                    if (p == end) continue;
                    break;
                case State::InQuotedField:
                    // Everything up to the next quote, line ends too, is the value's.
                    while ((p = CopyUntil(p, end, out, kQuote, '\r', '\n')) < end && *p != kQuote) {
                        if (*p == '\r' || !afterCr_) ++line_;  // CR LF is one line end
                        afterCr_ = *p == '\r';
                        *out++ = *p++;
                    }
                    if (p == end) continue;
                    ++p;
                    afterCr_ = false;
                    state_ = State::QuoteInQuotedField;
                    continue;
                case State::QuoteInQuotedField:
                    if (c == kQuote) {  // "" is one quote
                        *out++ = kQuote;
                        ++p;
                        state_ = State::InQuotedField;
                        continue;
                    }
                    if (c != delimiter_ && !IsLineEnd(c)) {
                        state_ = State::InField;
                        continue;
                    }
                    break;
            }
            // At a delimiter or a line end, outside quotes: the field ends.
            const char stop = *p++;
            ends_.push_back(static_cast<std::size_t>(out - base));
            if (stop == delimiter_) {
                state_ = State::StartField;
                continue;
            }
            ++line_;
            if (stop == '\r' && p < end && *p == '\n') ++p;
            skipLf_ = stop == '\r' && p == end;
            state_ = State::StartRecord;
            recordEnded = true;
        }
        next_ = p;
        recordSize_ = static_cast<std::size_t>(out - base);
    }
    if (error_ != 0) return error_;
    if (!recordEnded) {
        if (state_ == State::InQuotedField) return error_ = EBADMSG;
        if (state_ == State::StartRecord) return kEndOfInput;
        ends_.push_back(recordSize_);  // the input ended inside the last record
        state_ = State::StartRecord;
    }
    values.clear();
    std::size_t start = 0;
    for (const std::size_t end : ends_) {
        values.emplace_back(record_.get() + start, end - start);
        start = end;
    }
    return 0;
}

std::string CsvReader::Describe(int error) const {
    if (error == EBADMSG && quoteLine_ != 0) {
        return "the quoted field that opens on line " + std::to_string(quoteLine_) + " is never closed";
    }
    if (error == E2BIG) {
        return "the record that starts on line " + std::to_string(recordLine_) + " is longer than " +
               std::to_string(TextModeReader::kMaxLineSize >> 20) + " MiB, the longest Rowsmith reads";
    }
    return source_.Describe(error);
}

}  // namespace rowsmith
