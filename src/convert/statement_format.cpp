#include "convert/statement_format.h"

#include <bit>
#include <cstdint>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "convert/row_conversion.h"
#include "io/text_mode.h"

namespace rowsmith {

namespace {

constexpr char kComma = ',';
constexpr char kDoubleQuote = '"';
constexpr char kSingleQuote = '\'';
constexpr char kBackslash = '\\';

// Up to three bytes as a word that memcpy stores in their order.
constexpr std::uint32_t Word(char a, char b = 0, char c = 0) {
    const auto byte = [](char x) { return static_cast<std::uint32_t>(static_cast<unsigned char>(x)); };
    return std::endian::native == std::endian::little ? byte(a) | byte(b) << 8 | byte(c) << 16
                                                      : byte(a) << 24 | byte(b) << 16 | byte(c) << 8;
}
constexpr std::uint32_t kTwoQuotes = Word(kSingleQuote, kSingleQuote);
constexpr std::uint32_t kQuoteCommaQuote = Word(kSingleQuote, kComma, kSingleQuote);
constexpr std::uint32_t kTwoBackslashes = Word(kBackslash, kBackslash);
constexpr std::uint32_t kEscapedNul = Word(kBackslash, '0');
constexpr std::string_view kNull = "NULL";

char* WriteText(std::string_view text, char* out) {
    std::memcpy(out, text.data(), text.size());
    return out + text.size();
}

// The line is read in blocks of sixteen bytes: a mask finds the commas and
// quotes in a block, and the ordinary bytes between them are copied sixteen
// at a time. A copy reads and stores sixteen bytes whatever it counts, so it
// reads up to 31 bytes past the end of the line (StatementFormat::kPadding)
// and stores past what counts; those bytes are written over later, or lie
// in the scratch room that MaxRowSize leaves.
constexpr std::size_t kBlock = 16;

#ifdef __SSE2__
inline unsigned Matches(__m128i bytes, char c) {
    return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(c))));
}

// A bit for each comma, double quote and single quote of the block at p,
// and with kMySql for each backslash and NUL.
template <bool kMySql>
inline unsigned SpecialBytes(const char* p, char delimiter) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    unsigned bits = Matches(bytes, delimiter) | Matches(bytes, kDoubleQuote) | Matches(bytes, kSingleQuote);
    if constexpr (kMySql) bits |= Matches(bytes, kBackslash) | Matches(bytes, '\0');
    return bits;
}
#else
template <bool kMySql>
inline unsigned SpecialBytes(const char* p, char delimiter) {
    unsigned bits = 0;
    for (std::size_t i = 0; i < kBlock; ++i) {
        const bool special = p[i] == delimiter || p[i] == kDoubleQuote || p[i] == kSingleQuote ||
                             (kMySql && (p[i] == kBackslash || p[i] == '\0'));
        if (special) bits |= 1u << i;
    }
    return bits;
}
#endif

// Copies [from, to), at most sixteen bytes, to out.
inline char* CopyRun(const char* from, const char* to, char* out) {
    std::memcpy(out, from, kBlock);
    return out + (to - from);
}

// How many bytes the dialect writes for byte c of a value.
template <bool kMySql>
constexpr std::size_t EncodedLength(char c) {
    return c == kSingleQuote || (kMySql && (c == kBackslash || c == '\0')) ? 2 : 1;
}

// The values of one line; kMySql escapes backslashes and NULs, kEmptyAsNull
// writes an empty value as NULL. Each combination is its own function, so
// the plain form pays nothing for the options.
template <bool kMySql, bool kEmptyAsNull, bool kCommas = false>
char* WriteValuesOf(std::string_view line, char givenDelimiter, char* out, std::size_t& count) {
    // With kCommas the delimiter is a constant the compiler builds its
    // masks from once: the form almost every run takes.
    const char delimiter = kCommas ? kComma : givenDelimiter;
    line = TrimTrailingSpace(line);
    const char* p = line.data();
    const char* const end = p + line.size();

    *out++ = kSingleQuote;
    // Only delimiters and quotes (and for MySQL backslashes and NULs) change
    // anything; the bytes between them are copied in runs. A delimiter ending
    // a field always opens another, so the line's last value is written even
    // when it is empty.
    std::size_t closed = 0;      // fields ended by a comma
    const char* fieldStart = p;  // first byte of the current field
    bool inQuotes = false;
    char* valueStart = out;                  // where the value of a quoted field begins
    char* fieldOut = out;                    // where the value of the current field begins
    const char* copied = p;                  // bytes before this one are written
    const char* afterDoubleQuote = nullptr;  // a comma here follows a double quote
    for (const char* block = p; block < end; block += kBlock) {
        const auto left = static_cast<std::size_t>(end - block);
        unsigned stops = SpecialBytes<kMySql>(block, delimiter);
        if (left < kBlock) stops &= (1u << left) - 1;
        while (stops != 0) {
            const char* stop = block + __builtin_ctz(stops);
            stops &= stops - 1;
            out = CopyRun(copied, stop, out);
            copied = stop + 1;
            const char c = *stop;
            const bool isDelimiter = c == delimiter;
            const bool isDoubleQuote = c == kDoubleQuote;
            // A delimiter ends a field, except inside a quoted field, which only
            // a double quote followed by one ends; the byte before that
            // delimiter (the closing quote) is dropped, and an opening quote
            // right before it leaves an empty value.
            const bool closes = isDelimiter && (!inQuotes || afterDoubleQuote == stop);
            // A double quote opening a field protects its commas and is not kept.
            const bool opens = isDoubleQuote && stop == fieldStart;
            out -= closes && inQuotes && out > valueStart;
            // A single quote is doubled, so the value stays one SQL string
            // whatever it holds; for MySQL a backslash is doubled and a NUL
            // written as \0. Any other byte here is an ordinary one. Each stop
            // writes four bytes and keeps those that count: the choices below
            // compile to conditional moves, not branches.
            std::uint32_t bytes = Word(c);
            std::size_t length = 1;
            if (c == kSingleQuote) bytes = kTwoQuotes, length = 2;
            if constexpr (kMySql) {
                if (c == kBackslash) bytes = kTwoBackslashes, length = 2;
                if (c == '\0') bytes = kEscapedNul, length = 2;
            }
            if (closes) bytes = kQuoteCommaQuote, length = 3;
            if (opens) length = 0;
            if constexpr (kEmptyAsNull) {
                // An empty value goes back over its opening quote as NULL.
                if (closes && out == fieldOut) {
                    out = WriteText(kNull, fieldOut - 1);
                    bytes = Word(kComma, kSingleQuote), length = 2;
                }
            }
            std::memcpy(out, &bytes, 4);
            out += length;
            if (opens) valueStart = out;
            if (closes) fieldStart = copied, fieldOut = out, ++closed;
            if (isDoubleQuote) afterDoubleQuote = copied;
            inQuotes = (inQuotes || opens) && !closes;
        }
        const char* blockEnd = left < kBlock ? end : block + kBlock;
        out = CopyRun(copied, blockEnd, out);
        copied = blockEnd;
    }
    // A quoted field still open at the end of the line loses its last byte.
    if (inQuotes && out > valueStart) out -= EncodedLength<kMySql>(end[-1]);
    count = closed + 1;
    if constexpr (kEmptyAsNull) {
        if (out == fieldOut) return WriteText(kNull, fieldOut - 1);
    }
    *out++ = kSingleQuote;
    return out;
}

}  // namespace

StatementFormat::StatementFormat(std::string_view tableName, std::string_view fieldNames,
                                 const ConversionOptions& options, std::string_view lineEnd)
    : lineEnd_(lineEnd), delimiter_(options.delimiter) {
    const std::string head = InsertHead(tableName, fieldNames);
    const bool diskForm = lineEnd == kDiskLineEnd;
    head_ = diskForm ? ToDiskText(head) : head;
    tail_ = " );";
    tail_.append(lineEnd);
    const bool mySql = options.dialect == Dialect::MySql;
    writeValues_ = mySql ? (options.emptyAsNull ? &WriteValuesOf<true, true> : &WriteValuesOf<true, false>)
                         : (options.emptyAsNull ? &WriteValuesOf<false, true> : &WriteValuesOf<false, false>);
    if (writeValues_ == &WriteValuesOf<false, false> && options.delimiter == kComma) {
        writeValues_ = &WriteValuesOf<false, false, true>;
    }
}

char* StatementFormat::WriteRow(std::string_view line, char* out, std::size_t& count) const {
    out = WriteText(head_, out);
    // The plain form is written by a call the compiler can inline here:
    // it is the one almost every run takes.
    if (writeValues_ == &WriteValuesOf<false, false, true>) {
        out = WriteValuesOf<false, false, true>(line, delimiter_, out, count);
    } else {
        out = WriteValues(line, out, count);
    }
    return WriteText(tail_, out);
}

void StatementFormat::AppendRow(std::string_view line, std::string& text) const {
    // WriteRow reads a little past the end of the line.
    std::string padded(line.size() + kPadding, '\0');
    line.copy(padded.data(), line.size());
    const std::size_t start = text.size();
    text.resize(start + MaxRowSize(line.size()));
    char* end = WriteRow(std::string_view(padded.data(), line.size()), text.data() + start);
    text.resize(static_cast<std::size_t>(end - text.data()));
}

}  // namespace rowsmith
