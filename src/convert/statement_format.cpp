#include "convert/statement_format.h"

#include <cstring>

#include "convert/text_mode.h"

namespace rowsmith {

namespace {

constexpr char kComma = ',';
constexpr char kDoubleQuote = '"';
constexpr char kSingleQuote = '\'';

// Copies [from, to) as the inside of an SQL string: a single quote is doubled,
// so the value stays one string literal whatever it holds.
char* WriteLiteralBody(const char* from, const char* to, char* out) {
    for (; from != to; ++from) {
        if (*from == kSingleQuote) *out++ = kSingleQuote;
        *out++ = *from;
    }
    return out;
}

char* WriteText(std::string_view text, char* out) {
    std::memcpy(out, text.data(), text.size());
    return out + text.size();
}

// The end of the unquoted field starting at p: the next comma, or end.
const char* UnquotedFieldEnd(const char* p, const char* end) {
    if (p >= end) return end;
    const void* comma = std::memchr(p, kComma, static_cast<std::size_t>(end - p));
    return comma ? static_cast<const char*>(comma) : end;
}

// For a quoted field whose opening quote is at quote: the comma that closes
// it, which is the first comma right after a double quote (the opening quote
// counts), or end when the field runs to the end of the line.
const char* QuotedFieldEnd(const char* quote, const char* end) {
    const char* p = quote + 1;
    while (p < end) {
        const char* comma = UnquotedFieldEnd(p, end);
        if (comma == end || comma[-1] == kDoubleQuote) return comma;
        p = comma + 1;
    }
    return end;
}

}  // namespace

StatementFormat::StatementFormat(std::string_view tableName, std::string_view fieldNames,
                                 std::string_view lineEnd) {
    std::string head = "INSERT INTO ";
    head.append(tableName).append(" ( ").append(fieldNames).append(" ) VALUES ( ");
    const bool diskForm = lineEnd == kDiskLineEnd;
    head_ = diskForm ? ToDiskText(head) : head;
    tail_ = " );";
    tail_.append(lineEnd);
}

char* StatementFormat::WriteRow(std::string_view line, char* out) const {
    line = TrimTrailingSpace(line);
    const char* p = line.data();
    const char* const end = p + line.size();

    out = WriteText(head_, out);
    *out++ = kSingleQuote;
    // Each pass writes one field; a comma that ends a field always opens
    // another, so the line's last value is written even when it is empty.
    for (;;) {
        const char* valueEnd;
        const char* fieldEnd;
        if (p < end && *p == kDoubleQuote) {
            // A double quote opening a field protects its commas; the field
            // ends at a double quote followed by a comma, and the byte before
            // that comma (normally the closing quote) is dropped. An unclosed
            // field runs to the end of the line and loses its last byte there.
            fieldEnd = QuotedFieldEnd(p, end);
            ++p;
            valueEnd = fieldEnd > p ? fieldEnd - 1 : p;
        } else {
            fieldEnd = UnquotedFieldEnd(p, end);
            valueEnd = fieldEnd;
        }
        out = WriteLiteralBody(p, valueEnd, out);
        if (fieldEnd == end) break;
        *out++ = kSingleQuote;
        *out++ = kComma;
        *out++ = kSingleQuote;
        p = fieldEnd + 1;
    }
    *out++ = kSingleQuote;
    return WriteText(tail_, out);
}

void StatementFormat::AppendRow(std::string_view line, std::string& text) const {
    const std::size_t start = text.size();
    text.resize(start + MaxRowSize(line.size()));
    char* end = WriteRow(line, text.data() + start);
    text.resize(static_cast<std::size_t>(end - text.data()));
}

}  // namespace rowsmith
