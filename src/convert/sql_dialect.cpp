#include "convert/sql_dialect.h"

#include <cstring>

#include "convert/byte_blocks.h"

namespace rowsmith {

namespace {

// The bytes of the block that the dialect escapes: a bit each.
unsigned EscapedBytes(const DialectRules& rules, const blocks::Block& block) {
    unsigned bits = 0;
    for (const Escape& escape : rules.escapes) bits |= blocks::Equal(block, escape.byte);
    return bits;
}

char* Put(std::string_view text, char* out) {
    std::memcpy(out, text.data(), text.size());
    return out + text.size();
}

}  // namespace

const DialectRules& RulesOf(Dialect dialect) {
    for (const DialectRules* rules : kDialects) {
        if (rules->dialect == dialect) return *rules;
    }
    return kStandardRules;
}

std::optional<Dialect> DialectFromName(std::string_view name) {
    if (name == "mariadb") return Dialect::MySql;
    for (const DialectRules* rules : kDialects) {
        if (rules->name == name) return rules->dialect;
    }
    return std::nullopt;
}

std::string DialectNames() {
    std::string names;
    for (const DialectRules* rules : kDialects) names.append(rules->name).append(", ");
    return names + "or mariadb";
}

char* WriteLiteral(const DialectRules& rules, std::string_view value, char* out) {
    *out++ = '\'';
    const char* p = value.data();
    const char* const end = p + value.size();
    while (p < end) {
        // The bytes up to the next escaped one are copied whole, sixteen at
        // a time while whole blocks remain.
        const char* next = p;
        for (;;) {
            if (end - next < static_cast<std::ptrdiff_t>(blocks::kSize)) {
                while (next < end && EscapeOf(rules, *next).empty()) ++next;
                break;
            }
            const blocks::Block block = blocks::Load(next);
            if (const unsigned bits = EscapedBytes(rules, block)) {
                next += __builtin_ctz(bits);
                break;
            }
            next += blocks::kSize;
        }
        out = Put(std::string_view(p, static_cast<std::size_t>(next - p)), out);
        if (next == end) break;
        out = Put(EscapeOf(rules, *next), out);
        p = next + 1;
    }
    *out++ = '\'';
    return out;
}

void AppendLiteral(const DialectRules& rules, std::string_view value, std::string& out) {
    const std::size_t start = out.size();
    out.resize(start + MaxLiteralSize(rules, value.size()));
    char* end = WriteLiteral(rules, value, out.data() + start);
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

}  // namespace rowsmith
