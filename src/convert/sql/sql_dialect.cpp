#include "convert/sql/sql_dialect.h"

#include <cstring>
#include <utility>

#include "io/byte_blocks.h"

namespace rowsmith {

namespace {

char* Put(std::string_view text, char* out) {
    std::memcpy(out, text.data(), text.size());
    return out + text.size();
}

// The bytes of the block that the dialect escapes: a bit each.
template <const DialectRules& kRules, typename Blocks, std::size_t... kIndex>
unsigned EscapesIn(const typename Blocks::Block& block, std::index_sequence<kIndex...>) {
    return (Blocks::Equal(block, kRules.escapes[kIndex].byte) | ...);
}

// The literal writer of one dialect, its escaped bytes known to the compiler.
template <const DialectRules& kRules, typename Blocks>
char* WriteLiteralOf(std::string_view value, char* out) {
    if constexpr (kRules.quoted) *out++ = '\'';
    const char* p = value.data();
    const char* const end = p + value.size();
    // Sixteen bytes are looked at and stored at a time; those up to the next
    // escaped one count.
    while (p < end) {
        const typename Blocks::Block block = Blocks::Load(p);
        Blocks::Store(out, block);
        const auto left = static_cast<std::size_t>(end - p);
        unsigned bits = EscapesIn<kRules, Blocks>(block, std::make_index_sequence<kRules.escapes.size()>());
        if (left < blocks::kSize) bits &= (1u << left) - 1;
        if (bits == 0) {
            const std::size_t n = left < blocks::kSize ? left : blocks::kSize;
            out += n;
            p += n;
            continue;
        }
        const auto n = static_cast<std::size_t>(__builtin_ctz(bits));
        out = Put(EscapeOf(kRules, p[n])->text, out + n);
        p += n + 1;
    }
    if constexpr (kRules.quoted) *out++ = '\'';
    return out;
}

}  // namespace

const DialectRules& RulesOf(Dialect dialect) {
    for (const DialectRules* rules : kDialects) {
        if (rules->dialect == dialect) return *rules;
    }
    return kStandardRules;
}

// The literal writer of one dialect, with the blocks the run uses.
template <const DialectRules& kRules>
char* WriteLiteralOf(std::string_view value, char* out) {
    return blocks::WithBlocks([value, out](auto kind) { return WriteLiteralOf<kRules, decltype(kind)>(value, out); });
}

char* WriteLiteral(const DialectRules& rules, std::string_view value, char* out) {
    if (!rules.quoted) return WriteLiteralOf<kCopyTextRules>(value, out);
    switch (rules.dialect) {
        case Dialect::Sqlite:
            return WriteLiteralOf<kSqliteRules>(value, out);
        case Dialect::MySql:
            return WriteLiteralOf<kMySqlRules>(value, out);
        case Dialect::Standard:
        case Dialect::Postgresql:
            break;
    }
    return WriteLiteralOf<kStandardRules>(value, out);
}

void AppendLiteral(const DialectRules& rules, std::string_view value, std::string& out) {
    std::string padded(value.size() + kLiteralPadding, '\0');
    value.copy(padded.data(), value.size());
    const std::size_t start = out.size();
    out.resize(start + MaxLiteralSize(rules, value.size()));
    char* end = WriteLiteral(rules, std::string_view(padded.data(), value.size()), out.data() + start);
    out.resize(static_cast<std::size_t>(end - out.data()));
}

std::string QuoteIdentifier(Dialect dialect, std::string_view name) {
    const char quote = RulesOf(dialect).identifierQuote;
    std::string identifier(1, quote);
    for (const char c : name) {
        if (c == quote) identifier += quote;
        identifier += c;
    }
    identifier += quote;
    return identifier;
}

std::string ComparedName(Dialect dialect, std::string_view name) {
    std::string compared(name);
    if (dialect == Dialect::Postgresql || dialect == Dialect::Standard) {
        if (compared.size() > kPostgresqlNameBytes) {
            std::size_t cut = kPostgresqlNameBytes;
            while (cut > 0 && (static_cast<unsigned char>(compared[cut]) & 0xC0) == 0x80) --cut;
            compared.resize(cut);
        }
    }
    if (dialect != Dialect::Postgresql) {
        for (char& c : compared) c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return compared;
}

std::string NameFolding(Dialect dialect) {
    switch (dialect) {
        case Dialect::Sqlite:
            return "SQLite does not tell case apart in names";
        case Dialect::MySql:
            return "MySQL and MariaDB do not tell case apart in column names";
        case Dialect::Postgresql:
            return "PostgreSQL keeps only the first 63 bytes of a name";
        case Dialect::Standard:
            break;
    }
    return "SQLite, MySQL and MariaDB do not tell case apart in names, and PostgreSQL keeps only their first 63 "
           "bytes";
}

}  // namespace rowsmith
