#include "convert/read/row_scanner.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

#include "io/byte_blocks.h"
#include "convert/options/conversion_options.h"
#include "convert/read/row_rules.h"
#include "convert/sql/null_choice.h"
#include "convert/sql/sql_dialect.h"
#include "io/text_mode.h"

namespace rowsmith {

namespace {

constexpr char kComma = ',';
constexpr char kDoubleQuote = '"';
constexpr char kSingleQuote = '\'';

// What a value is written between, and what stands for NULL: quotes, a
// comma and NULL in SQL, nothing, a tab and \N in COPY's text format.
template <const DialectRules& kRules>
constexpr std::size_t kOpen = kRules.quoted ? 1 : 0;  // the bytes before a value
template <const DialectRules& kRules>
constexpr std::string_view kNull = kRules.null;
template <const DialectRules& kRules>
constexpr std::string_view kFieldEnd = kRules.quoted ? "','" : "\t";
template <const DialectRules& kRules>
constexpr std::string_view kNullFieldEnd = kRules.quoted ? ",'" : "\t";

char* WriteText(std::string_view text, char* out) {
    std::memcpy(out, text.data(), text.size());
    return out + text.size();
}

// Copies [from, to) to out. Most runs between two stops are short: those
// are one sixteen-byte copy, whatever counts of it.
inline char* CopyRun(const char* from, const char* to, char* out) {
    const auto size = static_cast<std::size_t>(to - from);
    if (size <= blocks::kSize) [[likely]] {
        blocks::Copy(out, from);
    } else {
        std::memcpy(out, from, size);
    }
    return out + size;
}

// What a byte the scanner stops at writes: kWidth bytes, of which length
// count. Four bytes hold every stop of dialects whose escapes are short,
// so that a stop is one small store; longer escapes take a whole block.
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

template <const DialectRules& kRules>
constexpr std::size_t kStopWidth = LongestEscape(kRules) < 4 ? 4 : blocks::kSize;

// The bytes the scanner looks for: the delimiter, the double quote, and
// each byte the dialect escapes, in that order.
template <const DialectRules& kRules>
constexpr std::size_t kLookedFor = 2 + kRules.escapes.size();

// Where the mask of NUL bytes is among them when the dialect drops NUL
// bytes; 0 when it does not.
template <const DialectRules& kRules>
constexpr std::size_t kNulAt = [] {
    for (std::size_t i = 0; i < kRules.escapes.size(); ++i) {
        if (kRules.escapes[i].byte == '\0' && kRules.escapes[i].text.empty()) return 2 + i;
    }
    return std::size_t{0};
}();

template <const DialectRules& kRules>
constexpr std::array<char, kLookedFor<kRules>> LookedFor(char delimiter) {
    std::array<char, kLookedFor<kRules>> bytes{delimiter, kDoubleQuote};
    for (std::size_t i = 0; i < kRules.escapes.size(); ++i) bytes[2 + i] = kRules.escapes[i].byte;
    return bytes;
}

}  // namespace

// What each byte writes where the scanner stops at it, for one dialect and
// delimiter: a delimiter ending a field writes "','", a double quote that
// opens a field nothing, an escaped byte its escape. And what each byte
// writes as part of a value, for the last byte a quoted field still open
// at the end of the line loses.
template <const DialectRules& kRules>
struct RowScanner::StopTable {
    using Text = StopText<kStopWidth<kRules>>;
    Text stops[256];
    std::uint8_t written[256];
    Text nullFieldEnd = MakeStopText<kStopWidth<kRules>>(kNullFieldEnd<kRules>);
    char delimiter;
    NullChoice nulls;
    // Bit n: a marker of n bytes (63 for any longer), so that most values
    // are told apart from every marker by their length alone.
    std::uint64_t markerLengths = 0;

    // With --columns: whether the field at each place is written (1) or
    // left out (0); the fields past its end are left out. Empty: all are
    // written.
    std::vector<std::uint8_t> kept;

    StopTable(const ConversionOptions& options, const std::vector<std::size_t>& chosen)
        : delimiter(options.delimiter), nulls(options) {
        for (const std::string& marker : options.nullTokens)
            markerLengths |= std::uint64_t{1} << std::min<std::size_t>(marker.size(), 63);
        if (!chosen.empty()) kept.assign(*std::max_element(chosen.begin(), chosen.end()) + 1, 0);
        for (const std::size_t place : chosen) kept[place] = 1;
        for (int b = 0; b < 256; ++b) {
            const char c = static_cast<char>(b);
            const Escape* escape = EscapeOf(kRules, c);
            const std::string_view text = escape ? escape->text : std::string_view(&c, 1);
            stops[b] = MakeStopText<kStopWidth<kRules>>(text);
            written[b] = static_cast<std::uint8_t>(text.size());
        }
        stops[static_cast<unsigned char>(kDoubleQuote)] = MakeStopText<kStopWidth<kRules>>("");
        stops[static_cast<unsigned char>(delimiter)] = MakeStopText<kStopWidth<kRules>>(kFieldEnd<kRules>);
    }

    // Whether the field at place is left out.
    bool LeavesOut(std::size_t place) const { return !kept.empty() && (place >= kept.size() || kept[place] == 0); }
};

namespace {

// Which values the scanner writes as NULL: none, every empty one, those
// empty of fields not begun with a quote, or those the NULL choice names
// when asked of each (Asked: it has markers to compare them with). Asked
// is also the one form that leaves out fields --columns does not take, so
// that the others pay for neither.
enum class EmptyNull { None, Every, Unquoted, Asked };

// Writes the values of one line at a time, sixty-four bytes of it at once:
// Kind gives a bit mask over them for each byte looked for, and the rules
// of row_rules.h become operations on those masks, so that the work per
// block does not grow with the delimiters and quotes in it. Only the bytes
// whose output differs from the input stop the copying: delimiters that
// end a field, quotes that open one, and bytes the dialect escapes. The
// closing quote before a delimiter that ends a quoted field is copied and
// then taken back.
//
// Standard CSV records (kRecords) take the same way, once the reader has
// found them regular (csv_reader.h): each quote that opens a quoted field
// stands at its start, each that closes one is followed by a delimiter or
// another quote, so the quotes before a byte tell whether it is inside one.
// Every quote is dropped but the second of a doubled pair.
template <typename Kind, const DialectRules& kRules, EmptyNull kEmpties, bool kCommas, bool kRecords>
struct LineScan {
    // Whether the scanner follows which fields begin with a quote: an empty
    // value of such a field may stay a string, and only the others' bytes
    // are their values, to be compared with markers.
    static constexpr bool kQuotedStay = kEmpties == EmptyNull::Unquoted || kEmpties == EmptyNull::Asked;

    using Table = RowScanner::StopTable<kRules>;

    // Where the masks of the block before end: whether its last byte was a
    // delimiter (the first byte of a line starts a field, as if it followed
    // one), a double quote, inside a quoted field, or the quote opening one.
    std::uint64_t lastDelimiter = 1;
    std::uint64_t lastQuote = 0;
    std::uint64_t lastInside = 0;
    std::uint64_t lastOpening = 0;
    std::uint64_t carry = 0;        // a quoted field goes on into the next block
    std::uint64_t lastClosing = 0;  // of a record: the block before ended with a closing quote
    std::size_t fieldEnds = 0;
    std::uint64_t nuls = 0;  // NUL bytes the dialect drops, seen

    // The bytes of the block at chunk (valid: those that are the line's)
    // whose output differs from the input, and whose closing quote is
    // taken back (back).
    struct Stops {
        std::uint64_t all;
        std::uint64_t fieldEnds;
        std::uint64_t back;
        std::uint64_t skipsQuote;  // field ends followed by an opening quote
        std::uint64_t inside;      // bytes inside a quoted field
        std::uint64_t opening;     // quotes that open one
    };

    [[gnu::always_inline]] Stops Classify(const char* chunk, std::uint64_t valid, char delimiter) {
        const auto masks = Kind::Match(chunk, LookedFor<kRules>(delimiter));
        const std::uint64_t d = masks[0] & valid;
        const std::uint64_t q = masks[1] & valid;
        std::uint64_t escaped = 0;
        for (std::size_t k = 2; k < masks.size(); ++k) escaped |= masks[k];
        escaped &= valid;
        if constexpr (kNulAt<kRules> != 0) nuls |= masks[kNulAt<kRules>] & valid;
        if constexpr (kRecords) {
            return ClassifyRecord(d, q, escaped);
        } else {
            return ClassifyLine(d, q, escaped, valid);
        }
    }

    [[gnu::always_inline]] Stops ClassifyRecord(std::uint64_t d, std::uint64_t q, std::uint64_t escaped) {
        // Inside a quoted field after byte i: an odd number of quotes up to it.
        const std::uint64_t after = PrefixXor(q) ^ (std::uint64_t{0} - lastInside);
        const std::uint64_t before = (after << 1) | lastInside;
        const std::uint64_t opening = q & ~before;
        const std::uint64_t closing = q & before;
        const std::uint64_t kept = opening & ((closing << 1) | lastClosing);  // "" is one quote
        Stops stops{};
        stops.fieldEnds = d & ~before;
        stops.opening = opening;
        stops.skipsQuote = stops.fieldEnds & (opening >> 1);
        stops.all = stops.fieldEnds | (q & ~kept & ~(stops.fieldEnds << 1)) | escaped;
        lastInside = after >> 63;
        lastClosing = closing >> 63;
        fieldEnds += static_cast<std::size_t>(std::popcount(stops.fieldEnds));
        return stops;
    }

    [[gnu::always_inline]] Stops ClassifyLine(std::uint64_t d, std::uint64_t q, std::uint64_t escaped,
                                              std::uint64_t valid) {
        // A double quote opens a quoted field where a field starts; a
        // delimiter right after a double quote ends it. Inside runs from
        // each opening up to the next such delimiter: adding the openings
        // to the complement of the ends carries through exactly those runs.
        const std::uint64_t starts = (d << 1) | lastDelimiter;
        const std::uint64_t openings = q & starts;
        const std::uint64_t afterQuote = d & ((q << 1) | lastQuote);
        const std::uint64_t notEnds = ~afterQuote;
        std::uint64_t sum = 0;
        const bool over = __builtin_add_overflow(openings, notEnds, &sum);
        const bool overAgain = __builtin_add_overflow(sum, carry, &sum);
        const std::uint64_t carried = sum ^ notEnds ^ openings;
        const std::uint64_t inside = (carried | openings) & notEnds & valid;
        const std::uint64_t opening = inside & ~((inside << 1) | lastInside);
        const std::uint64_t closes = afterQuote & ((inside << 1) | lastInside);
        Stops stops;
        stops.inside = inside;
        stops.opening = opening;
        stops.fieldEnds = d & ~inside;
        // A quote opening the next field right after a delimiter is passed
        // over with it: one stop for the two.
        stops.skipsQuote = stops.fieldEnds & (opening >> 1);
        stops.all = stops.fieldEnds | (opening & ~(stops.fieldEnds << 1)) | escaped;
        // The quote before a closing delimiter goes, unless it opened the field.
        stops.back = closes & ~((opening << 1) | lastOpening);
        lastDelimiter = d >> 63;
        lastQuote = q >> 63;
        lastInside = inside >> 63;
        lastOpening = opening >> 63;
        carry = over || overAgain ? 1 : 0;
        fieldEnds += static_cast<std::size_t>(std::popcount(stops.fieldEnds));
        return stops;
    }

    // Whether the field whose bytes are [from, to) and whose value was
    // written at [fieldOut, out) is NULL.
    [[gnu::always_inline]] static bool IsNull(const Table& table, const char* from, const char* to, bool quoted,
                                              const char* fieldOut, const char* out) {
        const bool empty = out == fieldOut;  // no bytes, or only NUL bytes the dialect drops
        if constexpr (kEmpties == EmptyNull::Asked) {
            // A field begun with a quote is NULL only empty, and then only
            // where every empty value is; the others' bytes are their values.
            if (quoted) return empty && table.nulls.everyEmpty();
            const auto size = static_cast<std::size_t>(to - from);
            if (!empty && ((table.markerLengths >> std::min<std::size_t>(size, 63)) & 1) == 0) return false;
            return table.nulls.Null(std::string_view(from, size), false);
        } else {
            return empty && !(kQuotedStay && quoted);
        }
    }

    // What one stop writes: the byte's text, and where the field it ends
    // is NULL, the value goes back over its opening quote as NULL.
    [[gnu::always_inline]] static char* WriteStop(const Table& table, const char* at, bool endsField, bool quoted,
                                                  const char* fieldIn, char* out, char* fieldOut, std::size_t& nulls) {
        const auto* text = &table.stops[static_cast<unsigned char>(*at)];
        if constexpr (kEmpties != EmptyNull::None) {
            if (endsField && IsNull(table, fieldIn, at, quoted, fieldOut, out)) {
                out = WriteText(kNull<kRules>, fieldOut - kOpen<kRules>);
                text = &table.nullFieldEnd;
                ++nulls;
            }
        }
        std::memcpy(out, text->bytes, sizeof text->bytes);
        return out + text->length;
    }

    // A quoted field still open at the end of the line loses its last byte,
    // unless that is its opening quote.
    [[gnu::always_inline]] static char* TakeBackUnclosedEnd(std::string_view line, const Table& table,
                                                            const Stops& stops, char* out, RowMarks& marks) {
        if (line.empty()) return out;
        const std::size_t last = (line.size() - 1) % kWide;
        // Open: no quote other than the opening one ends the field.
        marks.openAtEnd =
            ((stops.inside >> last) & 1) != 0 && (line.back() != '"' || ((stops.opening >> last) & 1) != 0);
        if (((stops.inside & ~stops.opening) >> last & 1) != 0) {
            out -= table.written[static_cast<unsigned char>(line.back())];
        }
        return out;
    }

    // Where the scan is in the line's fields.
    struct Field {
        char* out;              // where the value of the current field begins
        char* const firstOut;   // that of the first
        const char* in;         // and its bytes
        bool quoted = false;    // the current field began with a quote
        std::size_t place = 0;  // its place
        std::size_t nulls = 0;  // values written as NULL
    };

    // Writes what comes up to the stop at chunk[i] and the stop's own text.
    [[gnu::always_inline]] static char* Stop(const Table& table, const Stops& stops, const char* chunk, int i,
                                             const char*& copied, char* out, Field& field) {
        const char* at = chunk + i;
        out = CopyRun(copied, at, out);
        copied = at + 1 + ((stops.skipsQuote >> i) & 1);
        out -= (stops.back >> i) & 1;
        const bool endsField = ((stops.fieldEnds >> i) & 1) != 0;
        bool leftOut = false;
        if constexpr (kEmpties == EmptyNull::Asked) {
            // A field --columns does not take: its value is taken back.
            leftOut = endsField && table.LeavesOut(field.place);
            field.place += endsField ? 1 : 0;
        }
        if (leftOut) {
            out = field.out;
        } else {
            out = WriteStop(table, at, endsField, field.quoted, field.in, out, field.out, field.nulls);
            if constexpr (kEmpties != EmptyNull::None) field.out = endsField ? out : field.out;
        }
        if constexpr (kQuotedStay) {
            // The next field is quoted where the quote after the
            // delimiter was passed over with it.
            field.quoted =
                endsField ? ((stops.skipsQuote >> i) & 1) != 0 : field.quoted || ((stops.opening >> i) & 1) != 0;
        }
        if constexpr (kEmpties == EmptyNull::Asked) {
            if (endsField) field.in = at + 1;
        }
        return out;
    }

    // Ends the values after the last field's bytes, at end in the line.
    [[gnu::always_inline]] static char* EndValues(const Table& table, const char* end, char* out, const Field& field,
                                                  RowMarks& marks) {
        if constexpr (kEmpties == EmptyNull::Asked) {
            if (table.LeavesOut(field.place)) {
                // The last field is left out: so is the field end written
                // after the last one taken, and the values end as that
                // one's did (a line without the chosen fields is not written).
                marks.nulls = field.nulls;
                return field.out == field.firstOut ? field.out : field.out - kNullFieldEnd<kRules>.size();
            }
        }
        if constexpr (kEmpties != EmptyNull::None) {
            if (IsNull(table, field.in, end, field.quoted, field.out, out)) {
                marks.nulls = field.nulls + 1;
                return WriteText(kNull<kRules>, field.out - kOpen<kRules>);
            }
            marks.nulls = field.nulls;
        }
        if constexpr (kRules.quoted) *out++ = kSingleQuote;
        return out;
    }

    [[gnu::always_inline]] static char* Write(std::string_view line, const Table& table, char* out, std::size_t& count,
                                              RowMarks& marks) {
        const char delimiter = kCommas ? kComma : table.delimiter;
        if constexpr (!kRecords) line = TrimLine(line, delimiter);
        const char* const end = line.data() + line.size();
        if constexpr (kRules.quoted) *out++ = kSingleQuote;
        Field field{out, out, line.data()};
        const char* copied = line.data();
        LineScan scan;
        Stops stops{};
        for (const char* chunk = line.data(); chunk < end; chunk += kWide) {
            const auto left = static_cast<std::size_t>(end - chunk);
            const std::uint64_t valid = left >= kWide ? ~std::uint64_t{0} : (std::uint64_t{1} << left) - 1;
            stops = scan.Classify(chunk, valid, delimiter);
            for (std::uint64_t each = stops.all; each != 0; each &= each - 1)
                out = Stop(table, stops, chunk, std::countr_zero(each), copied, out, field);
        }
        out = CopyRun(copied, end, out);
        if constexpr (!kRecords) out = TakeBackUnclosedEnd(line, table, stops, out, marks);
        count = scan.fieldEnds + 1;
        marks.nul = scan.nuls != 0;
        return EndValues(table, end, out, field, marks);
    }
};

}  // namespace

namespace {

template <typename Kind, const DialectRules& kRules, EmptyNull kEmpties, bool kCommas, bool kRecords>
char* ScanLine(std::string_view line, const void* table, char* out, std::size_t& count, RowMarks& marks) {
    using Scan = LineScan<Kind, kRules, kEmpties, kCommas, kRecords>;
    return Scan::Write(line, *static_cast<const typename Scan::Table*>(table), out, count, marks);
}

#ifdef ROWSMITH_AVX2_KIND
// Built for AVX2 whatever the build targets, with the whole scan inlined
// into it, so that the masks are made with AVX2 instructions.
template <const DialectRules& kRules, EmptyNull kEmpties, bool kCommas, bool kRecords>
[[gnu::flatten]] ROWSMITH_AVX2_TARGET char* ScanLineAvx2(std::string_view line, const void* table, char* out,
                                                         std::size_t& count, RowMarks& marks) {
    using Scan = LineScan<Avx2Kind, kRules, kEmpties, kCommas, kRecords>;
    return Scan::Write(line, *static_cast<const typename Scan::Table*>(table), out, count, marks);
}
#endif

template <const DialectRules& kRules, EmptyNull kEmpties, bool kCommas, bool kRecords>
RowScanner::ValuesWriter WriterOfKind(ScanKind kind) {
    switch (kind) {
        case ScanKind::Avx2:
#ifdef ROWSMITH_AVX2_KIND
            return &ScanLineAvx2<kRules, kEmpties, kCommas, kRecords>;
#endif
        case ScanKind::Sse2:
#ifdef ROWSMITH_SSE2_KIND
            return &ScanLine<Sse2Kind, kRules, kEmpties, kCommas, kRecords>;
#endif
        case ScanKind::Scalar:
            break;
    }
    return &ScanLine<ScalarKind, kRules, kEmpties, kCommas, kRecords>;
}

template <const DialectRules& kRules, EmptyNull kEmpties, bool kCommas>
RowScanner::ValuesWriter WriterOfRules(bool records, ScanKind kind) {
    return records ? WriterOfKind<kRules, kEmpties, kCommas, true>(kind)
                   : WriterOfKind<kRules, kEmpties, kCommas, false>(kind);
}

// The scanner of a dialect, for a rule set, NULL choice, column choice,
// delimiter and kind.
template <const DialectRules& kRules>
RowScanner::ValuesWriter WriterFor(const ConversionOptions& options, bool chooses, ScanKind kind) {
    // With a comma the delimiter is a constant the compiler builds its
    // masks from: the form almost every run takes.
    const bool commas = options.delimiter == kComma;
    const bool records = options.rfc4180;
    const NullChoice nulls(options);
    if (nulls.comparesValues() || chooses) {
        return commas ? WriterOfRules<kRules, EmptyNull::Asked, true>(records, kind)
                      : WriterOfRules<kRules, EmptyNull::Asked, false>(records, kind);
    }
    if (nulls.everyEmpty()) {
        return commas ? WriterOfRules<kRules, EmptyNull::Every, true>(records, kind)
                      : WriterOfRules<kRules, EmptyNull::Every, false>(records, kind);
    }
    if (nulls.unquotedEmpty()) {
        return commas ? WriterOfRules<kRules, EmptyNull::Unquoted, true>(records, kind)
                      : WriterOfRules<kRules, EmptyNull::Unquoted, false>(records, kind);
    }
    return commas ? WriterOfRules<kRules, EmptyNull::None, true>(records, kind)
                  : WriterOfRules<kRules, EmptyNull::None, false>(records, kind);
}

}  // namespace

namespace {

// start, the table, the field list in parentheses unless it is blank, end.
std::string Head(std::string_view start, std::string_view tableName, std::string_view fieldNames,
                 std::string_view end) {
    std::string head(start);
    head.append(tableName);
    if (CountFieldNames(fieldNames) > 0) head.append(" ( ").append(fieldNames).append(" )");
    head.append(end);
    return head;
}

}  // namespace

std::string InsertHead(std::string_view tableName, std::string_view fieldNames) {
    return Head("INSERT INTO ", tableName, fieldNames, " VALUES ( ");
}

std::string CopyHead(std::string_view tableName, std::string_view fieldNames) {
    return Head("COPY ", tableName, fieldNames, " FROM stdin;\n");
}

RowScanner::RowScanner(std::string_view tableName, std::string_view fieldNames, const ConversionOptions& options,
                       std::string_view lineEnd, ScanKind kind, bool namesAsRead)
    : lineEnd_(lineEnd),
      maxEscape_(std::max<std::size_t>(LongestEscape(RulesOf(options.dialect)), 5)),
      kind_(KindRuns(kind) ? kind : ChosenKind()),
      options_(options) {
    Choose({});
    if (lineEnd != kDiskLineEnd) {
        head_ = InsertHead(tableName, fieldNames);
    } else if (namesAsRead) {
        head_ = InsertHead(ToDiskText(tableName), fieldNames);
    } else {
        head_ = ToDiskText(InsertHead(tableName, fieldNames));
    }
    EndRowsWith("");
}

template <const DialectRules& kRules>
void RowScanner::Use() {
    table_ = std::make_shared<const StopTable<kRules>>(options_, chosen_);
    writeValues_ = WriterFor<kRules>(options_, !chosen_.empty(), kind_);
}

void RowScanner::Choose(std::vector<std::size_t> places) {
    chosen_ = std::move(places);
    // The COPY form escapes the tab it separates values with: a tab
    // delimiter cannot be told from a tab inside a quoted field by the
    // byte alone, so that input goes by the values (ReadsValues).
    if (options_.copy) {
        Use<kCopyTextRules>();
    } else if (options_.dialect == Dialect::Sqlite) {
        Use<kSqliteRules>();
    } else if (options_.dialect == Dialect::MySql) {
        Use<kMySqlRules>();
    } else {
        Use<kStandardRules>();
    }
}

void RowScanner::EndRowsWith(std::string_view clause) {
    tail_ = " )";
    tail_.append(clause).append(";").append(lineEnd_);
    tailAt_ = (head_.size() + blocks::kSize - 1) / blocks::kSize * blocks::kSize;
    blocks_.assign(tailAt_ + (tail_.size() + blocks::kSize - 1) / blocks::kSize * blocks::kSize, '\0');
    head_.copy(blocks_.data(), head_.size());
    tail_.copy(blocks_.data() + tailAt_, tail_.size());
}

char* RowScanner::WriteRow(std::string_view line, char* out, std::size_t& count, RowMarks& marks) const {
    // The head and tail go in whole blocks, the same few every line: the
    // bytes past their ends are written over or lie in the scratch room.
    for (std::size_t i = 0; i < head_.size(); i += blocks::kSize) blocks::Copy(out + i, blocks_.data() + i);
    out = writeValues_(line, table_.get(), out + head_.size(), count, marks);
    for (std::size_t i = 0; i < tail_.size(); i += blocks::kSize) blocks::Copy(out + i, blocks_.data() + tailAt_ + i);
    return out + tail_.size();
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
