// iconv for Windows (io/windows/iconv.h): the Unicode forms by rule, every
// other set by the tables tools/charset_tables.cpp reads off glibc's iconv
// when the program is built, so that a byte glibc refuses is refused here
// too (Windows' own decoders take 0x81 in windows-1252, say).
#include "iconv.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

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

#include "charset_tables.inc"

enum class Form { Table, Utf8, Utf16Le, Utf16Be, Utf32Le, Utf32Be };

struct Decoder {
    Form form = Form::Table;
    const CharsetTable* table = nullptr;
    bool toUtf32 = false;  // UTF-32LE out, else UTF-8
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

bool Scalar(char32_t c) {
    return c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF);
}

Read ByUtf8(const unsigned char* in, std::size_t size, char32_t& c, std::size_t& used) {
    const unsigned char lead = in[0];
    if (lead < 0x80) {
        c = lead;
        used = 1;
        return Read::Character;
    }
    std::size_t length = 0;
    char32_t least = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        least = 0x80;
        c = lead & 0x1FU;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        least = 0x800;
        c = lead & 0x0FU;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        least = 0x10000;
        c = lead & 0x07U;
    } else {
        return Read::Invalid;
    }
    for (std::size_t i = 1; i < length; ++i) {
        if (i >= size) return Read::Cut;
        if ((in[i] & 0xC0U) != 0x80) return Read::Invalid;
        c = (c << 6) | (in[i] & 0x3FU);
        // Too long a form, or past the last character, shows by the second byte.
        if (i == 1 && ((length == 3 && c < 0x20) || (length == 4 && (c < 0x10 || c > 0x10F)))) return Read::Invalid;
        if (i == 1 && length == 3 && c >= 0x360 && c <= 0x37F) return Read::Invalid;  // a surrogate
    }
    if (c < least || !Scalar(c)) return Read::Invalid;
    used = length;
    return Read::Character;
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
    }
    return Read::Invalid;
}

// c in UTF-8 or UTF-32LE into out; its size in bytes.
std::size_t Write(char32_t c, bool utf32, unsigned char* out) {
    if (utf32) {
        for (int i = 0; i < 4; ++i) out[i] = static_cast<unsigned char>(c >> (8 * i));
        return 4;
    }
    if (c < 0x80) {
        out[0] = static_cast<unsigned char>(c);
        return 1;
    }
    if (c < 0x800) {
        out[0] = static_cast<unsigned char>(0xC0 | (c >> 6));
        out[1] = static_cast<unsigned char>(0x80 | (c & 0x3F));
        return 2;
    }
    if (c < 0x10000) {
        out[0] = static_cast<unsigned char>(0xE0 | (c >> 12));
        out[1] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
        out[2] = static_cast<unsigned char>(0x80 | (c & 0x3F));
        return 3;
    }
    out[0] = static_cast<unsigned char>(0xF0 | (c >> 18));
    out[1] = static_cast<unsigned char>(0x80 | ((c >> 12) & 0x3F));
    out[2] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
    out[3] = static_cast<unsigned char>(0x80 | (c & 0x3F));
    return 4;
}

iconv_t Failed() {
    errno = EINVAL;
    return reinterpret_cast<iconv_t>(-1);  // NOLINT(performance-no-int-to-ptr): iconv's own sentinel
}

}  // namespace

iconv_t iconv_open(const char* to, const char* from) {
    const std::string out = Plain(to);
    if (out != "UTF8" && out != "UTF32LE") return Failed();
    auto* decoder = new Decoder;
    decoder->toUtf32 = out == "UTF32LE";
    static constexpr std::pair<const char*, Form> kForms[] = {
        {"UTF8", Form::Utf8},       {"UTF16LE", Form::Utf16Le}, {"UTF16BE", Form::Utf16Be},
        {"UTF32LE", Form::Utf32Le}, {"UTF32BE", Form::Utf32Be},
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

std::size_t iconv(iconv_t descriptor, char** in, std::size_t* inLeft, char** out, std::size_t* outLeft) {
    // Every set here is read without state: a reset has nothing to do.
    if (in == nullptr || *in == nullptr) return 0;
    const Decoder& decoder = *static_cast<Decoder*>(descriptor);
    auto* from = reinterpret_cast<const unsigned char*>(*in);
    std::size_t left = *inLeft;
    int error = 0;
    while (left > 0) {
        char32_t c = 0;
        std::size_t used = 0;
        const Read read = ReadOne(decoder, from, left, c, used);
        if (read != Read::Character) {
            error = read == Read::Cut ? EINVAL : EILSEQ;
            break;
        }
        unsigned char bytes[4];
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

int iconv_close(iconv_t descriptor) {
    delete static_cast<Decoder*>(descriptor);
    return 0;
}
