// Decoding as iconv decodes (charset_tables.h): the Unicode forms by rule,
// every other set by the tables tools/charset_tables.cpp reads off glibc's
// iconv when the program is built, so that a byte glibc refuses is refused
// here too (Windows' own decoders take 0x81 in windows-1252, say).
#include "io/charset_tables.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace rowsmith {

namespace {

struct CharsetRun {
    std::uint32_t from;   // the first key of the run
    std::uint32_t count;  // how many keys, one after another
    std::uint32_t first;  // the character the first key reads as; the others follow it
};

struct LastBytes {
    int count;               // how many bytes end a sequence of this length
    std::int16_t rank[256];  // each byte's place among them, -1 for none
};

struct CharsetTable {
    const char* name;
    const char* aliases;  // space-separated
    const CharsetRun* valid[4];
    std::size_t validCount[4];
    const CharsetRun* begins[3];
    std::size_t beginCount[3];
    LastBytes last[4];
};

#include "charset_tables.inc"  // made at build time

// UTF-16 and UTF-32 without an order named take it from a byte-order mark
// at the start, taken away, as glibc reads them: little-endian until a
// big-endian mark is met, and big-endian from then on, for as long as the
// decoder lives (a reset lets a mark be looked for again, no more).
enum class Form { Table, Utf8, Utf16Le, Utf16Be, Utf32Le, Utf32Be, Utf16, Utf32 };

struct Decoder {
    Form form = Form::Table;
    const CharsetTable* table = nullptr;
    bool toUtf32 = false;  // UTF-32LE out, else UTF-8
    bool atStart = true;   // for Utf16 and Utf32: a mark may come next
    bool bigEndian = false;
};

// A name as iconv compares names: letters in upper case, without the marks
// between its parts.
std::string Plain(std::string_view name) {
    std::string plain;
    for (const char c : name) {
        if (c == '-' || c == '_' || c == ' ' || c == '.' || c == ':') continue;
        plain += static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    }
    return plain;
}

bool Names(const CharsetTable& table, const std::string& plain) {
    if (Plain(table.name) == plain) return true;
    std::string_view aliases = table.aliases;
    while (!aliases.empty()) {
        const std::size_t space = std::min(aliases.find(' '), aliases.size());
        if (Plain(aliases.substr(0, space)) == plain) return true;
        aliases.remove_prefix(std::min(space + 1, aliases.size()));
    }
    return false;
}

// The run of runs[0, count) that holds key, or null.
const CharsetRun* Find(const CharsetRun* runs, std::size_t count, std::uint32_t key) {
    const CharsetRun* end = runs + count;
    const CharsetRun* after =
        std::upper_bound(runs, end, key, [](std::uint32_t k, const CharsetRun& run) { return k < run.from; });
    if (after == runs) return nullptr;
    const CharsetRun* run = after - 1;
    return key - run->from < run->count ? run : nullptr;
}

enum class Read { Character, Cut, Invalid };

// Reads one character from in[0, size) as the table's set has it.
Read ByTable(const CharsetTable& table, const unsigned char* in, std::size_t size, char32_t& c, std::size_t& used) {
    std::uint32_t sequence = 0;
    for (std::size_t length = 1; length <= 4; ++length) {
        if (size < length) return Read::Cut;  // the bytes so far begin a longer sequence
        sequence = (sequence << 8) | in[length - 1];
        const LastBytes& last = table.last[length - 1];
        const int rank = last.rank[in[length - 1]];
        if (rank >= 0) {
            const std::uint32_t key =
                (sequence >> 8) * static_cast<std::uint32_t>(last.count) + static_cast<std::uint32_t>(rank);
            if (const CharsetRun* run = Find(table.valid[length - 1], table.validCount[length - 1], key)) {
                c = static_cast<char32_t>(run->first + (key - run->from));
                used = length;
                return Read::Character;
            }
        }
        if (length == 4 || Find(table.begins[length - 1], table.beginCount[length - 1], sequence) == nullptr)
            return Read::Invalid;
    }
    return Read::Invalid;
}

// UTF-8 as glibc reads it: the old five- and six-byte forms too, up to
// 0x7FFFFFFF (refused only where UTF-32 is asked for); never a form longer
// than it needs, nor a surrogate. A sequence cut off by the end is EINVAL
// while the bytes there continue it, whatever they will come to.
Read ByUtf8(const unsigned char* in, std::size_t size, char32_t& c, std::size_t& used) {
    struct Lead {
        unsigned char from, to;  // lead bytes
        std::size_t length;
        char32_t bits;   // the lead's bits of the character
        char32_t least;  // the smallest character of this length
    };
    static constexpr Lead kLeads[] = {
        {0x00, 0x7F, 1, 0x7F, 0},       {0xC2, 0xDF, 2, 0x1F, 0x80},     {0xE0, 0xEF, 3, 0x0F, 0x800},
        {0xF0, 0xF7, 4, 0x07, 0x10000}, {0xF8, 0xFB, 5, 0x03, 0x200000}, {0xFC, 0xFD, 6, 0x01, 0x4000000},
    };
    const Lead* lead = nullptr;
    for (const Lead& candidate : kLeads) {
        if (in[0] >= candidate.from && in[0] <= candidate.to) lead = &candidate;
    }
    if (lead == nullptr) return Read::Invalid;
    c = in[0] & lead->bits;
    for (std::size_t i = 1; i < lead->length; ++i) {
        if (i >= size) return Read::Cut;
        if ((in[i] & 0xC0U) != 0x80) return Read::Invalid;
        c = (c << 6) | (in[i] & 0x3FU);
    }
    if (c < lead->least || (c >= 0xD800 && c <= 0xDFFF)) return Read::Invalid;
    used = lead->length;
    return Read::Character;
}

bool Scalar(char32_t c) {
    return c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF);
}

char32_t Unit(const unsigned char* in, std::size_t size, bool little) {
    char32_t unit = 0;
    for (std::size_t i = 0; i < size; ++i) unit |= static_cast<char32_t>(in[little ? i : size - 1 - i]) << (8 * i);
    return unit;
}

Read ByUtf16(const unsigned char* in, std::size_t size, bool little, char32_t& c, std::size_t& used) {
    if (size < 2) return Read::Cut;
    c = Unit(in, 2, little);
    used = 2;
    if (c >= 0xDC00 && c <= 0xDFFF) return Read::Invalid;
    if (c < 0xD800 || c > 0xDBFF) return Read::Character;
    if (size < 4) return Read::Cut;
    const char32_t low = Unit(in + 2, 2, little);
    if (low < 0xDC00 || low > 0xDFFF) return Read::Invalid;
    c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
    used = 4;
    return Read::Character;
}

Read ByUtf32(const unsigned char* in, std::size_t size, bool little, char32_t& c, std::size_t& used) {
    if (size < 4) return Read::Cut;
    c = Unit(in, 4, little);
    used = 4;
    return Scalar(c) ? Read::Character : Read::Invalid;
}

Read ReadOne(const Decoder& decoder, const unsigned char* in, std::size_t size, char32_t& c, std::size_t& used) {
    switch (decoder.form) {
        case Form::Table:
            return ByTable(*decoder.table, in, size, c, used);
        case Form::Utf8:
            return ByUtf8(in, size, c, used);
        case Form::Utf16Le:
        case Form::Utf16Be:
            return ByUtf16(in, size, decoder.form == Form::Utf16Le, c, used);
        case Form::Utf32Le:
        case Form::Utf32Be:
            return ByUtf32(in, size, decoder.form == Form::Utf32Le, c, used);
        case Form::Utf16:
        case Form::Utf32:
            break;  // read in the order found
    }
    return Read::Invalid;
}

// c in UTF-8 (the longer old forms too) or UTF-32LE into out; its size in
// bytes.
std::size_t Write(char32_t c, bool utf32, unsigned char* out) {
    if (utf32) {
        for (int i = 0; i < 4; ++i) out[i] = static_cast<unsigned char>(c >> (8 * i));
        return 4;
    }
    if (c < 0x80) {
        out[0] = static_cast<unsigned char>(c);
        return 1;
    }
    std::size_t size = 2;
    while (size < 6 && c >= (char32_t{1} << (5 * size + 1))) ++size;
    for (std::size_t i = size - 1; i > 0; --i) {
        out[i] = static_cast<unsigned char>(0x80 | (c & 0x3F));
        c >>= 6;
    }
    out[0] = static_cast<unsigned char>((0xFF00U >> size) | c);
    return size;
}

void* Failed() {
    errno = EINVAL;
    return nullptr;
}

}  // namespace

void* OpenTableDecoder(const char* to, const char* from) {
    const std::string out = Plain(to);
    if (out != "UTF8" && out != "UTF32LE") return Failed();
    auto* decoder = new Decoder;
    decoder->toUtf32 = out == "UTF32LE";
    static constexpr std::pair<const char*, Form> kForms[] = {
        {"UTF8", Form::Utf8},       {"UTF16LE", Form::Utf16Le}, {"UTF16BE", Form::Utf16Be}, {"UTF32LE", Form::Utf32Le},
        {"UTF32BE", Form::Utf32Be}, {"UTF16", Form::Utf16},     {"UTF32", Form::Utf32},
    };
    const std::string in = Plain(from);
    for (const auto& [name, form] : kForms) {
        if (in == name) {
            decoder->form = form;
            return decoder;
        }
    }
    for (const CharsetTable& table : kCharsets) {
        if (Names(table, in)) {
            decoder->table = &table;
            return decoder;
        }
    }
    delete decoder;
    return Failed();
}

// For UTF-16 and UTF-32 named without an order: a mark at the start of
// from[0, left), passed over. False while the bytes are too few to tell.
bool PassMark(Decoder& decoder, const unsigned char*& from, std::size_t& left) {
    const std::size_t size = decoder.form == Form::Utf32 ? 4 : 2;
    if (left < size) return false;
    const char32_t mark = Unit(from, size, true);
    const char32_t swapped = size == 4 ? 0xFFFE0000 : 0xFFFE;
    if (mark == 0xFEFF || mark == swapped) {
        decoder.bigEndian = decoder.bigEndian || mark == swapped;
        from += size;
        left -= size;
    }
    decoder.atStart = false;
    return true;
}

std::size_t TableDecode(void* descriptor, char** in, std::size_t* inLeft, char** out, std::size_t* outLeft) {
    Decoder& decoder = *static_cast<Decoder*>(descriptor);
    if (in == nullptr || *in == nullptr) {
        decoder.atStart = true;
        return 0;
    }
    auto* from = reinterpret_cast<const unsigned char*>(*in);
    std::size_t left = *inLeft;
    int error = 0;
    const bool ordered = decoder.form != Form::Utf16 && decoder.form != Form::Utf32;
    if (!ordered && decoder.atStart && left > 0 && !PassMark(decoder, from, left)) error = EINVAL;
    Decoder as = decoder;
    if (decoder.form == Form::Utf16) as.form = decoder.bigEndian ? Form::Utf16Be : Form::Utf16Le;
    if (decoder.form == Form::Utf32) as.form = decoder.bigEndian ? Form::Utf32Be : Form::Utf32Le;
    while (left > 0 && error == 0) {
        char32_t c = 0;
        std::size_t used = 0;
        const Read read = ReadOne(as, from, left, c, used);
        if (read != Read::Character || (decoder.toUtf32 && c > 0x10FFFF)) {
            error = read == Read::Cut ? EINVAL : EILSEQ;
            break;
        }
        unsigned char bytes[6];
        const std::size_t size = Write(c, decoder.toUtf32, bytes);
        if (size > *outLeft) {
            error = E2BIG;
            break;
        }
        std::memcpy(*out, bytes, size);
        *out += size;
        *outLeft -= size;
        from += used;
        left -= used;
    }
    *in = reinterpret_cast<char*>(const_cast<unsigned char*>(from));
    *inLeft = left;
    if (error == 0) return 0;
    errno = error;
    return static_cast<std::size_t>(-1);
}

void CloseTableDecoder(void* descriptor) {
    delete static_cast<Decoder*>(descriptor);
}

std::vector<std::string> TableCharsetNames() {
    std::vector<std::string> names = {"UTF-8", "UTF-16LE", "UTF-16BE", "UTF-32LE", "UTF-32BE", "UTF-16", "UTF-32"};
    for (const CharsetTable& table : kCharsets) {
        names.emplace_back(table.name);
        std::string_view aliases = table.aliases;
        while (!aliases.empty()) {
            const std::size_t space = std::min(aliases.find(' '), aliases.size());
            names.emplace_back(aliases.substr(0, space));
            aliases.remove_prefix(std::min(space + 1, aliases.size()));
        }
    }
    return names;
}

}  // namespace rowsmith
