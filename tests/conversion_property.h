#pragma once

// One property of every conversion, checked by the property test over
// every dialect, NULL choice, delimiter and rule set, and by the fuzz
// targets on whatever they find: the run writes statements that read back
// into exactly the values the independent reading of the rules gives; the
// block scanner writes byte for byte what the plain rules write; the CSV
// reader, given its input in pieces of any size, reads what Python's csv
// module reads.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>
#include <string_view>

#include "convert/options/conversion_options.h"

namespace rowsmith::test {

inline constexpr char kPropertyDelimiters[] = {',', ';', '\t', '|'};

// Ways of reading beyond the line rules and standard CSV's defaults, each
// held to the property on its own.
struct ReadingRules {
    const char* name;
    bool rfc4180;
    char quote;
    char escape;
    bool skipSpaces;
    bool textExport;
    std::uint32_t skipLines;
};
inline constexpr ReadingRules kReadingRules[] = {
    {"apostrophe_quotes", true, '\'', '\0', false, false, 0},
    {"no_quotes", true, '\0', '\0', false, false, 0},
    {"backslash_escapes", true, '"', '\\', false, false, 0},
    {"spaces_skipped", true, '"', '\0', true, false, 0},
    {"all_at_once", true, '\'', '\\', true, false, 1},
    {"text_export", false, '"', '\0', false, true, 0},
    {"text_export_below_a_line", false, '"', '\0', false, true, 1},
    {"csv_below_two_lines", true, '"', '\0', false, false, 2},
    {"lines_below_two_lines", false, '"', '\0', false, false, 2},
};

// options read by rules.
void ApplyRules(const ReadingRules& rules, ConversionOptions& options);

struct ConversionCase {
    ConversionOptions options;
    std::string input;
    std::size_t piece = 1;  // the input arrives in pieces of at most this many bytes
    std::string fields;     // the field names, where not the property's own
};

// Whether the rules make a value NULL: empty ones, or unquoted empty ones,
// as the NULL choice says; unquoted ones equal to a token as they were read
// (asRead, before NUL bytes are dropped from value).
bool ExpectedNull(const ConversionOptions& options, const std::string& asRead, const std::string& value, bool quoted);

// The column type --create-table must give values (NULLs left out) in
// dialect, by the reference's own reading of each type's written-back form.
std::string ExpectedType(const std::vector<std::string>& values, Dialect dialect);

// Whether a run on two threads, its input cut into pieces of about
// pieceBytes where records end (0: of a size the case chooses), writes and
// says what a run on one does; empty when so, else what differs.
std::string CheckJobs(const ConversionCase& c, std::size_t pieceBytes = 0);

// A case of the given reading and writing options from any bytes: the
// first two choose the statement options and the size of the pieces, the
// rest the input, over an alphabet that makes every rule fire.
ConversionCase CaseFromBytes(const ConversionOptions& options, std::string_view bytes);

// A case from a fuzzer's bytes: the first chooses the dialect, the NULL
// choice, the delimiter and the rule set, and when its top bit is set the
// next one chooses among kReadingRules; the rest go to CaseFromBytes.
ConversionCase FuzzCase(std::string_view bytes);

// The first disagreement between what the engine does with the case and
// what it must do; empty when there is none.
std::string CheckConversion(const ConversionCase& c);

}  // namespace rowsmith::test
