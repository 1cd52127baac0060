#include "convert/options/conversion_options.h"

#include "convert/options/column_choice.h"
#include "io/iconv_source.h"
#include "io/text_mode.h"

namespace rowsmith {

namespace {

// Delimiters that go by a name, where the byte itself would not survive in
// a command line or a settings file.
struct NamedDelimiter {
    std::string_view name;
    char byte;
};
constexpr NamedDelimiter kNamedDelimiters[] = {{"tab", '\t'}, {"space", ' '}};

}  // namespace

std::optional<char> DelimiterFromName(std::string_view name) {
    for (const NamedDelimiter& named : kNamedDelimiters) {
        if (named.name == name) return named.byte;
    }
    if (name.size() != 1) return std::nullopt;
    const char c = name[0];
    constexpr std::string_view kRefused("\"'\\\r\n\v\f\x1A\0", 9);
    if (kRefused.find(c) != std::string_view::npos) return std::nullopt;
    return c;
}

namespace {

// What the character set and the NULL markers leave unreadable.
std::string ReadingProblem(const ConversionOptions& options) {
    if (!options.encoding.empty() && !EncodingKnown(options.encoding)) return UnknownEncodingText(options.encoding);
    // A byte past ASCII would be matched inside the UTF-8 the decoder
    // writes, not where the input has it.
    if (!options.encoding.empty() && static_cast<unsigned char>(options.delimiter) >= 0x80) {
        return "the delimiter must be an ASCII byte when the input has a character set (--encoding)";
    }
    for (const std::string& token : options.nullTokens) {
        // No field read holds the delimiter outside quotes.
        if (token.find(options.delimiter) != std::string::npos) {
            return "the NULL marker '" + token + "' holds the delimiter '" + DelimiterName(options.delimiter) +
                   "', so no field can be it";
        }
    }
    return {};
}

// What the rule set's options leave unreadable.
std::string RulesProblem(const ConversionOptions& options) {
    if (options.textExport && options.rfc4180)
        return "--text-export and --rfc4180 are two ways of reading the input: give one";
    const bool quoting = options.quote != '"' || options.escape != '\0' || options.skipSpaces;
    if (quoting && !options.rfc4180) {
        const char* given = options.quote != '"' ? "--quote" : options.escape != '\0' ? "--escape" : "--skip-spaces";
        return std::string(given) + " is for the standard CSV rules: give --rfc4180 too";
    }
    if (options.quote != '\0' && options.quote == options.delimiter) return "the quote and the delimiter are one byte";
    if (options.escape != '\0' && options.escape == options.delimiter)
        return "the escape and the delimiter are one byte";
    if (options.escape != '\0' && options.escape == options.quote)
        return "a quote inside quotes is read doubled without --escape: give --escape only for another byte";
    if (options.headerLines > 1 && !options.header)
        return "--header-lines is the number of lines the header takes: give --header too";
    if (options.lastLine != 0 && options.lastLine <= options.skipLines + (options.header ? options.headerLines : 0))
        return "--last-line " + std::to_string(options.lastLine) + " leaves no line of records to read";
    const auto ascii = [](char c) { return static_cast<unsigned char>(c) < 0x80; };
    if (!options.encoding.empty() && (!ascii(options.quote) || !ascii(options.escape)))
        return "the quote and the escape must be ASCII bytes when the input has a character set (--encoding)";
    return {};
}

// What the chosen statements cannot write.
std::string WritingProblem(const ConversionOptions& options) {
    if (!options.columnTypes.empty() && !options.createTable) return "--type is for the table --create-table writes";
    if (options.copy && options.dialect != Dialect::Postgresql)
        return "--copy writes PostgreSQL's COPY, which no other database reads: give --dialect postgresql too";
    if (options.onConflict != OnConflict::None) {
        if (options.dialect == Dialect::Standard)
            return "standard SQL has no form for --on-conflict: give --dialect sqlite, postgresql or mysql";
        if (options.copy) return "COPY cannot skip or update rows: --on-conflict writes INSERT statements, not --copy";
        if (CountFieldNames(options.key) == 0) return "--on-conflict needs the key's columns: give --key";
    }
    if (!options.key.empty() && options.onConflict == OnConflict::None && !options.createTable)
        return "--key is for --on-conflict, or for the key of the table --create-table writes";
    if (options.decimalComma && !options.createTable)
        return "--decimal-comma types columns of decimal commas: give --create-table too";
    if (options.maxRejects != kNoRejectLimit && options.rejects.empty())
        return "--max-rejects counts the records --rejects sets aside: give --rejects FILE too";
    return {};
}

// What the lists of columns leave unreadable.
std::string ListProblem(const ConversionOptions& options) {
    if (!QuotesClosed(options.key)) return UnclosedQuoteText("--key", options.key);
    if (!QuotesClosed(options.columns)) return UnclosedQuoteText("--columns", options.columns);
    // Without a header only numbers choose columns: the list is checked now.
    if (!options.columns.empty() && !options.header) {
        std::string problem;
        ChooseColumns(options.columns, nullptr, problem);
        if (!problem.empty()) return problem;
    }
    return {};
}

}  // namespace

std::string OptionsProblem(const ConversionOptions& options) {
    // In the order a user reads the options: reading, writing, the lists.
    for (auto* problemOf : {&ReadingProblem, &RulesProblem, &WritingProblem, &ListProblem}) {
        if (std::string problem = problemOf(options); !problem.empty()) return problem;
    }
    return {};
}

std::string DelimiterName(char delimiter) {
    for (const NamedDelimiter& named : kNamedDelimiters) {
        if (named.byte == delimiter) return std::string(named.name);
    }
    return std::string(1, delimiter);
}

std::size_t CountFieldNames(std::string_view fieldNames) {
    return SplitFieldNames(fieldNames).size();
}

namespace {

// Splits a field list at its commas outside parentheses, brackets and
// quotes, handing each part to add(end); the quote still open at the end,
// or NUL.
template <typename Add>
char SplitAtCommas(std::string_view fieldNames, Add&& add) {
    int depth = 0;      // open parentheses and brackets
    char quote = '\0';  // the quote a quoted part opened with, if inside one
    for (std::size_t i = 0; i < fieldNames.size(); ++i) {
        const char c = fieldNames[i];
        if (quote != '\0') {
            if (c == quote) quote = '\0';  // a doubled quote reopens at once
        } else if (c == '\'' || c == '"' || c == '`') {
            quote = c;
        } else if (c == '(' || c == '[') {
            ++depth;
        } else if ((c == ')' || c == ']') && depth > 0) {
            --depth;
        } else if (c == ',' && depth == 0) {
            add(i);
        }
    }
    add(fieldNames.size());
    return quote;
}

}  // namespace

std::vector<std::string> SplitFieldNames(std::string_view fieldNames) {
    std::vector<std::string> names;
    if (TrimTrailingSpace(fieldNames).empty()) return names;
    std::size_t start = 0;
    SplitAtCommas(fieldNames, [&names, fieldNames, &start](std::size_t end) {
        names.emplace_back(TrimSpace(fieldNames.substr(start, end - start)));
        start = end + 1;
    });
    return names;
}

WrittenName ReadName(std::string_view text) {
    text = TrimSpace(text);
    WrittenName name{std::string(text), std::string(text)};
    if (text.size() < 2) return name;
    const char open = text.front();
    const char close = open == '[' ? ']' : open;
    if ((open != '"' && open != '`' && open != '[') || text.back() != close) return name;
    name.quoted = true;
    name.plain.clear();
    for (std::size_t i = 1; i + 1 < text.size(); ++i) {
        name.plain += text[i];
        if (open != '[' && text[i] == close && text[i + 1] == close) ++i;  // a doubled quote is one
    }
    return name;
}

std::size_t EqualsOf(std::string_view entry) {
    char quote = '\0';
    for (std::size_t i = 0; i < entry.size(); ++i) {
        const char c = entry[i];
        if (quote != '\0') {
            if (c == quote) quote = '\0';
        } else if (c == '"' || c == '`') {
            quote = c;
        } else if (c == '[') {
            quote = ']';
        } else if (c == '=') {
            return i;
        }
    }
    return std::string_view::npos;
}

bool QuotesClosed(std::string_view fieldNames) {
    return SplitAtCommas(fieldNames, [](std::size_t) {}) == '\0';
}

std::string UnclosedQuoteText(std::string_view option, std::string_view list) {
    std::string text(option);
    return text.append(" has a quote that is never closed: ").append(list);
}

}  // namespace rowsmith
