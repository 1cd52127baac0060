#include "convert/row_scanner.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>

#include "convert/byte_blocks.h"
#include "convert/conversion_options.h"
#include "convert/row_rules.h"
#include "convert/sql_dialect.h"
#include "io/text_mode.h"

namespace rowsmith {

namespace {

constexpr char kComma = ',';
constexpr char kDoubleQuote = '"';
constexpr char kSingleQuote = '\'';
constexpr std::string_view kNull = "NULL";

char* WriteText(std::string_view text, char* out) {
    std::memcpy(out, text.data(), text.size());
    return out + text.size();
}

// What one stop writes: kWidth bytes, of which length count. Four bytes
// hold every stop of dialects whose escapes are short, so that a stop is
// one small store; longer escapes take a whole block.
template <std::size_t kWidth>
struct StopText {
    char bytes[kWidth] = {};
    std::uint32_t length = 0;
};

template <std::size_t kWidth>
constexpr StopText<kWidth> MakeStopText(std::string_view text) {
    StopText<kWidth> stop;
    for (std::size_t i = 0; i < text.size(); ++i) stop.bytes[i] = text[i];
    stop.length = static_cast<std::uint32_t>(text.size());
    return stop;
}

constexpr std::string_view kFieldEnd = "','";
constexpr std::string_view kNullFieldEnd = ",'";

template <const DialectRules& kRules>
constexpr std::size_t kStopWidth = LongestEscape(kRules) < 4 ? 4 : blocks::kSize;

// What each byte of a value becomes in the dialect, and what a field's end
// and a NULL field's end write.
template <const DialectRules& kRules>
struct StopTexts {
    using Text = StopText<kStopWidth<kRules>>;
    Text bytes[256];
    Text fieldEnd = MakeStopText<kStopWidth<kRules>>(kFieldEnd);
    Text nullFieldEnd = MakeStopText<kStopWidth<kRules>>(kNullFieldEnd);
    constexpr StopTexts() {
        for (int b = 0; b < 256; ++b) {
            const char c = static_cast<char>(b);
            bytes[b] = MakeStopText<kStopWidth<kRules>>(std::string_view(&c, 1));
        }
        for (const Escape& escape : kRules.escapes) {
            bytes[static_cast<unsigned char>(escape.byte)] = MakeStopText<kStopWidth<kRules>>(escape.text);
        }
    }
};
template <const DialectRules& kRules>
inline constexpr StopTexts<kRules> kStopTexts{};

// A bit for each delimiter and double quote of the block, and for each byte
// the dialect escapes.
template <const DialectRules& kRules>
inline unsigned StopBytes(const blocks::Block& block, char delimiter) {
    unsigned bits = blocks::EqualAny(block, delimiter, kDoubleQuote);
    for (const Escape& escape : kRules.escapes) bits |= blocks::Equal(block, escape.byte);
    return bits;
}

// Copies [from, to), at most sixteen bytes, to out.
inline char* CopyRun(const char* from, const char* to, char* out) {
    blocks::Copy(out, from);
    return out + (to - from);
}

// Where the writing of one line stands between two stops: only delimiters,
// double quotes and the bytes the dialect escapes change anything, and the
// bytes between them are copied in runs. kEmptyAsNull writes an empty value
// as NULL.
template <const DialectRules& kRules, bool kEmptyAsNull>
struct LineWriter {
    char* out;
    const char* copied;                      // bytes before this one are written
    const char* fieldStart;                  // first byte of the current field
    char* valueStart;                        // where the value of a quoted field begins
    char* fieldOut;                          // where the value of the current field begins
    const char* afterDoubleQuote = nullptr;  // a delimiter here follows a double quote
    std::size_t closed = 0;                  // fields ended by a delimiter
    bool inQuotes = false;

    LineWriter(const char* line, char* at) : out(at), copied(line), fieldStart(line), valueStart(at), fieldOut(at) {}

    // The byte at stop is a delimiter, a double quote or one the dialect
    // escapes; the bytes before it, since the last stop, are ordinary.
    void Stop(const char* stop, char delimiter) {
        out = CopyRun(copied, stop, out);
        copied = stop + 1;
        const char c = *stop;
        // A delimiter ends a field, except inside a quoted field, which only
        // a double quote followed by one ends; the byte before that
        // delimiter (the closing quote) is dropped, and an opening quote
        // right before it leaves an empty value.
        const bool closes = c == delimiter && (!inQuotes || afterDoubleQuote == stop);
        // A double quote opening a field protects its delimiters and is not kept.
        const bool opens = c == kDoubleQuote && stop == fieldStart;
        out -= closes && inQuotes && out > valueStart;
        // Any other byte is written as its dialect writes it, so the value
        // stays one SQL string whatever it holds. Each stop writes a whole
        // stop text and keeps what counts: the choices below compile to
        // conditional moves, not branches.
        constexpr const StopTexts<kRules>& texts = kStopTexts<kRules>;
        const auto* text = &texts.bytes[static_cast<unsigned char>(c)];
        if (closes) text = &texts.fieldEnd;
        std::size_t length = opens ? 0 : text->length;
        if constexpr (kEmptyAsNull) {
            // An empty value goes back over its opening quote as NULL.
            if (closes && out == fieldOut) {
                out = WriteText(kNull, fieldOut - 1);
                text = &texts.nullFieldEnd;
                length = text->length;
            }
        }
        std::memcpy(out, text->bytes, sizeof text->bytes);
        out += length;
        if (opens) valueStart = out;
        if (closes) fieldStart = copied, fieldOut = out, ++closed;
        if (c == kDoubleQuote) afterDoubleQuote = copied;
        inQuotes = (inQuotes || opens) && !closes;
    }

    // The line ends at end: the last value is written even when it is
    // empty, as a delimiter ending a field always opens another.
    char* Finish(const char* end) {
        // A quoted field still open at the end of the line loses its last byte.
        if (inQuotes && out > valueStart) out -= kStopTexts<kRules>.bytes[static_cast<unsigned char>(end[-1])].length;
        if constexpr (kEmptyAsNull) {
            if (out == fieldOut) return WriteText(kNull, fieldOut - 1);
        }
        *out++ = kSingleQuote;
        return out;
    }
};

// The values of one line in the dialect of kRules; kCommas makes the
// delimiter the constant comma. Each combination is its own function, so
// the plain form pays for no option.
template <const DialectRules& kRules, bool kEmptyAsNull, bool kCommas = false>
char* WriteValuesOf(std::string_view line, char givenDelimiter, char* out, std::size_t& count) {
    // With kCommas the delimiter is a constant the compiler builds its
    // masks from once: the form almost every run takes.
    const char delimiter = kCommas ? kComma : givenDelimiter;
    line = TrimLine(line, delimiter);
    const char* const end = line.data() + line.size();
    *out++ = kSingleQuote;
    LineWriter<kRules, kEmptyAsNull> writer(line.data(), out);
    for (const char* block = line.data(); block < end; block += blocks::kSize) {
        const auto left = static_cast<std::size_t>(end - block);
        unsigned stops = StopBytes<kRules>(blocks::Load(block), delimiter);
        if (left < blocks::kSize) stops &= (1u << left) - 1;
        for (; stops != 0; stops &= stops - 1) writer.Stop(block + __builtin_ctz(stops), delimiter);
        const char* blockEnd = left < blocks::kSize ? end : block + blocks::kSize;
        writer.out = CopyRun(writer.copied, blockEnd, writer.out);
        writer.copied = blockEnd;
    }
    count = writer.closed + 1;
    return writer.Finish(end);
}

// The scanner of a dialect, for a NULL choice and delimiter.
template <const DialectRules& kRules>
RowScanner::ValuesWriter WriterFor(const ConversionOptions& options) {
    if (options.emptyAsNull) return &WriteValuesOf<kRules, true>;
    return options.delimiter == kComma ? &WriteValuesOf<kRules, false, true> : &WriteValuesOf<kRules, false>;
}

RowScanner::ValuesWriter WriterFor(const ConversionOptions& options) {
    switch (options.dialect) {
        case Dialect::Sqlite:
            return WriterFor<kSqliteRules>(options);
        case Dialect::MySql:
            return WriterFor<kMySqlRules>(options);
        case Dialect::Standard:
        case Dialect::Postgresql:
            break;
    }
    return WriterFor<kStandardRules>(options);
}

constexpr RowScanner::ValuesWriter kPlainForm = &WriteValuesOf<kStandardRules, false, true>;

}  // namespace

std::string InsertHead(std::string_view tableName, std::string_view fieldNames) {
    std::string head = "INSERT INTO ";
    head.append(tableName);
    if (CountFieldNames(fieldNames) > 0) head.append(" ( ").append(fieldNames).append(" )");
    head.append(" VALUES ( ");
    return head;
}

RowScanner::RowScanner(std::string_view tableName, std::string_view fieldNames, const ConversionOptions& options,
                       std::string_view lineEnd)
    : lineEnd_(lineEnd),
      delimiter_(options.delimiter),
      maxEscape_(std::max<std::size_t>(LongestEscape(RulesOf(options.dialect)), 5)),
      writeValues_(WriterFor(options)) {
    const std::string head = InsertHead(tableName, fieldNames);
    head_ = lineEnd == kDiskLineEnd ? ToDiskText(head) : head;
    tail_ = " );";
    tail_.append(lineEnd);
}

char* RowScanner::WriteRow(std::string_view line, char* out, std::size_t& count) const {
    out = WriteText(head_, out);
    // The plain form is written by a call the compiler can inline here:
    // it is the one almost every run takes.
    if (writeValues_ == kPlainForm) {
        out = WriteValuesOf<kStandardRules, false, true>(line, delimiter_, out, count);
    } else {
        out = WriteValues(line, out, count);
    }
    return WriteText(tail_, out);
}

void RowScanner::AppendRow(std::string_view line, std::string& text) const {
    // WriteRow reads a little past the end of the line.
    std::string padded(line.size() + kPadding, '\0');
    line.copy(padded.data(), line.size());
    const std::size_t start = text.size();
    text.resize(start + MaxRowSize(line.size()));
    char* end = WriteRow(std::string_view(padded.data(), line.size()), text.data() + start);
    text.resize(static_cast<std::size_t>(end - text.data()));
}

}  // namespace rowsmith
