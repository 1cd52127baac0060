// The property of conversion_property.h on random inputs, for every
// dialect, NULL choice, delimiter and rule set.
#include <algorithm>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "conversion_property.h"
#include "convert/read/row_scanner.h"
#include "convert/sql/column_types.h"
#include "convert/sql/sql_dialect.h"
#include "inputs.h"
#include "reference_rules.h"

namespace rowsmith::test {
namespace {

using Dimensions = std::tuple<const DialectRules*, NullMode, char, bool>;  // dialect, NULL, delimiter, standard CSV

class ConversionProperty : public ::testing::TestWithParam<Dimensions> {};

// The sanitizers' run looks for memory faults, some ten times slower: it
// takes a tenth of the rounds over every form (where the faults would lie),
// the plain run all of them, and the fuzzers go on from there.
#if defined(ROWSMITH_SANITIZED)
constexpr int kRounds = 30;
#else
constexpr int kRounds = 300;
#endif

TEST_P(ConversionProperty, HoldsForRandomInputs) {
    const auto [rules, null, delimiter, rfc4180] = GetParam();
    const ConversionOptions options{
        .dialect = rules->dialect, .null = null, .rfc4180 = rfc4180, .delimiter = delimiter};
    std::mt19937 random(20261208u + static_cast<unsigned>(delimiter));
    for (int round = 0; round < kRounds; ++round) {
        std::string bytes(2 + random() % 48, '\0');
        // Every other round is all of the alphabet, where the rules' bytes meet more often.
        for (char& byte : bytes) byte = static_cast<char>(random() & (round % 2 != 0 ? 0x7F : 0xFF));
        const std::string failure = CheckConversion(CaseFromBytes(options, bytes));
        ASSERT_TRUE(failure.empty()) << failure;
    }
}

// The text as UTF-16 (little-endian, with its byte-order mark), for ASCII text.
std::string Utf16(std::string_view text) {
    std::string bytes = "\xFF\xFE";
    for (const char c : text) bytes.append({c, '\0'});
    return bytes;
}

// Lines of every kind the readers take apart: quotes doubled and across
// lines, empty values, CR LF, non-ASCII text, a value of 3 KB now and then.
std::string ManyLines(std::size_t count) {
    std::string text;
    for (std::size_t i = 0; i < count; ++i) {
        text += std::to_string(i) + ",\"n\"\"" + std::to_string(i % 7) + "\",,caf\xC3\xA9";
        if (i % 5 == 0) text += ",\"two\nlines\"";
        if (i % 97 == 0) text += "," + std::string(3000, 'v');
        text += i % 3 == 0 ? "\r\n" : "\n";
    }
    return text;
}

// Cut into pieces of every size (a few sizes for a long input), inputs
// whose records end where quotes, line breaks, a 0x1A, a NUL or a missing
// column make them hard to cut convert on two threads as on one, in every
// mode: dialects, NULL choices, columns, upserts, typed tables, character
// sets, and the modes that convert on one thread whatever --jobs says.
TEST(JobsProperty, EveryCutWritesWhatOneThreadWrites) {
    const ConversionOptions standard{.rfc4180 = true};
    struct Row {
        std::string input;
        ConversionOptions options;
        std::string fields;
    };
    std::vector<Row> rows = {
        {"a,b\r\nc\n\nd,e,f\n\"x,y\"\nlast", {}, "x,y"},
        {"a,b\nc,d\x1a\ne,f\ng\n", {}, "x,y"},
        {std::string("a,b\nc\0d,e\nf,g\n", 14), {}, "x,y"},
        {std::string("a\0b,c\nd,e\n", 11), {.nul = NulChoice::Strip}, "x,y"},
        {"a,b,c\nd,e,f\ng,h\ni,j,k\n", {.columns = "1,3"}, ""},
        {"\"a\nb\",c\r\n\"x\"\"y\",z\nab\"c,d\n\"q\n\n\",r\n\n", standard, "x,y"},
        {"a,b\n\"c,d\ne,f\n", standard, "x,y"},
        {"a,b\rc,d\re,\"f\r\"\r\n1,2\n", standard, "x,y"},
        {"title\nh1,h2\r\n1,\"2\n3\"\n4,5\n", {.header = true, .rfc4180 = true, .skipLines = 1}, ""},
        {"h1,h2\nx,y\n1,\"2\n\"\n3,4\n", {.header = true, .rfc4180 = true, .headerLines = 2}, ""},
        {"a,,\"\"\nb\\c,\"e\"\"f\"\n,\n",
         {.dialect = Dialect::MySql, .null = NullMode::Empty, .transaction = true},
         "x,y"},
        {"NA,x\ny,NA\nz\n", {.dialect = Dialect::Postgresql, .nullTokens = {"NA"}, .columns = "2,1"}, ""},
        {"1,a\n2,b\n1,c\n", {.dialect = Dialect::Sqlite, .onConflict = OnConflict::Update, .key = "id"}, "id,v"},
        {"1,2.5\n2,3.5\nx,4\n", {.dialect = Dialect::Postgresql, .createTable = true}, "a,b"},
        {"1;2,5\n2;3,25\n", {.delimiter = ';', .createTable = true, .decimalComma = true}, "a,b"},
        {"a\tb\nc\td\n", {.dialect = Dialect::Postgresql, .delimiter = '\t', .copy = true}, "x,y"},
        {"1,a\n2,b\n3,c\n", {.rowsPerInsert = 2}, "x,y"},
        {"caf\xE9,b\nx\x80,y\n", {.encoding = "windows-1252"}, "x,y"},
        {Utf16("a,b\r\nc\r\n\"d\ne\",f\n"), {}, "x,y"},
        {Utf16("a,b\r\nc\r\n\"d\ne\",f\n"), standard, "x,y"},
        {ManyLines(3000), {}, "a,b,c,d,e"},
        {ManyLines(3000), {.null = NullMode::UnquotedEmpty, .rfc4180 = true}, "a,b,c,d,e"},
    };
    // Headers whose CR ends one of the reader's blocks (4096 bytes, after a
    // few looked at first): the LF that goes with it comes first in what
    // the threads read.
    for (std::size_t size = 4090; size < 4106; ++size)
        rows.push_back({std::string(size, 'h') + "\r\n1\n2,3,4\n5,6\n", {.header = true, .rfc4180 = true}, ""});
    for (const Row& row : rows) {
        ConversionCase c{row.options, row.input, row.input.size(), row.fields};
        std::vector<std::size_t> pieces = {1, 97, 4096, 65536};
        if (row.input.size() < 200) {
            pieces.clear();
            for (std::size_t piece = 1; piece <= row.input.size() + 1; ++piece) pieces.push_back(piece);
        }
        for (const std::size_t piece : pieces) {
            const std::string failure = CheckJobs(c, piece);
            ASSERT_TRUE(failure.empty()) << failure << "\n  in pieces of " << piece << " of "
                                         << row.input.substr(0, 200);
        }
    }
}

std::string Name(const ::testing::TestParamInfo<Dimensions>& info) {
    const auto [rules, null, delimiter, rfc4180] = info.param;
    const char* const delimiters[] = {"comma", "semicolon", "tab", "bar"};
    const char* const nulls[] = {"_", "_null_", "_unquotednull_"};
    const std::size_t which = std::string_view(kPropertyDelimiters, std::size(kPropertyDelimiters)).find(delimiter);
    return std::string(DialectName(rules->dialect)) + nulls[static_cast<int>(null)] + delimiters[which] +
           (rfc4180 ? "_csv" : "_lines");
}

INSTANTIATE_TEST_SUITE_P(EveryForm, ConversionProperty,
                         ::testing::Combine(::testing::ValuesIn(kDialects),
                                            ::testing::Values(NullMode::None, NullMode::Empty, NullMode::UnquotedEmpty),
                                            ::testing::ValuesIn(kPropertyDelimiters), ::testing::Bool()),
                         Name);

// The column types on random columns of values near each type's edges:
// what --create-table gives is what the reference's reading of each type's
// written-back form gives, in every dialect.
TEST(ColumnTypesProperty, EveryTypeIsOneEachValueReadsBackAsWritten) {
    const char* const kPieces[] = {"0", "1", "9", "-", ".", "00", "12", " ", ":", "922337203685477580", "+", "e5"};
    std::mt19937 random(20261209u);
    const auto pick = [&random](std::initializer_list<const char*> choices) {
        return std::string(choices.begin()[random() % choices.size()]);
    };
    for (int round = 0; round < kRounds * 10; ++round) {
        // Most columns' values are of one shape, as a column of a file is.
        std::vector<std::string> values(1 + random() % 4);
        const auto shape = random() % 4;
        for (std::string& value : values) {
            const auto made = random() % 5 == 0 ? random() % 4 : shape;
            switch (made) {
                case 0:  // a date, or a date and time
                case 1:
                    value = pick({"0000", "0001", "1900", "2000", "2023", "2024", "9999"}) + "-" +
                            pick({"00", "01", "02", "02", "04", "12", "13"}) + "-" +
                            pick({"00", "01", "28", "29", "29", "30", "31", "32"});
                    if (made == 1) {
                        value += pick({" ", " ", "T"}) + pick({"00", "23", "24"}) + ":" + pick({"00", "59", "60"}) +
                                 ":" + pick({"00", "59", "60", "5"});
                    }
                    break;
                case 2:  // a decimal
                    value = pick({"", "", "-", "+"}) + pick({"0", "00", "1", "12", "", "99999999999999999999"}) +
                            pick({".", ".", ""}) + pick({"0", "00", "5", "50", "25", ""});
                    break;
                default:
                    for (auto pieces = 1 + random() % 5; pieces > 0; --pieces)
                        value += kPieces[random() % std::size(kPieces)];
                    break;
            }
        }
        for (const Dialect dialect : {Dialect::Standard, Dialect::Sqlite, Dialect::Postgresql, Dialect::MySql}) {
            ColumnTally tally(dialect, 1);
            for (const std::string& value : values) tally.Add(0, value, 2);
            std::string shown;
            for (const std::string& value : values) shown += " '" + value + "'";
            ASSERT_EQ(tally.TypeOf(0, dialect), ExpectedType(values, dialect)) << DialectName(dialect) << ":" << shown;
            // A text column says which value kept it so.
            EXPECT_EQ(tally.WhyText(0).empty(), tally.TypeOf(0, dialect) != "TEXT") << shown;
            // With --decimal-comma, the same values with a comma for each
            // point have the same type (dates and times aside, which have
            // no point).
            const bool commas = std::any_of(values.begin(), values.end(),
                                            [](const std::string& v) { return v.find(',') != std::string::npos; });
            if (commas) continue;
            ColumnTally comma(dialect, 1);
            comma.DecimalsWithComma();
            for (std::string value : values) {
                std::replace(value.begin(), value.end(), '.', ',');
                comma.Add(0, value, 2);
            }
            const std::string type = ExpectedType(values, dialect);
            if (type.find("NUMERIC") != std::string::npos || type.find("DECIMAL") != std::string::npos ||
                type == "BIGINT" || type == "INTEGER") {
                ASSERT_EQ(comma.TypeOf(0, dialect), type) << DialectName(dialect) << ", commas:" << shown;
            }
        }
    }
}

// Every other way of reading, for every dialect and NULL choice.
using RulesDimensions = std::tuple<const DialectRules*, NullMode, const ReadingRules*>;

class ReadingRulesProperty : public ::testing::TestWithParam<RulesDimensions> {};

TEST_P(ReadingRulesProperty, HoldsForRandomInputs) {
    const auto [dialect, null, rules] = GetParam();
    ConversionOptions options{.dialect = dialect->dialect, .null = null};
    ApplyRules(*rules, options);
    options.delimiter = rules->textExport ? '\t' : ',';
    std::mt19937 random(20261209u);
    // Many more forms than rounds matter in each: a third of the rounds.
    for (int round = 0; round < kRounds / 3; ++round) {
        std::string bytes(2 + random() % 48, '\0');
        for (char& byte : bytes) byte = static_cast<char>(random() & (round % 2 != 0 ? 0x7F : 0xFF));
        const std::string failure = CheckConversion(CaseFromBytes(options, bytes));
        ASSERT_TRUE(failure.empty()) << failure;
    }
}

const ReadingRules* const kRulesList[] = {&kReadingRules[0], &kReadingRules[1], &kReadingRules[2],
                                          &kReadingRules[3], &kReadingRules[4], &kReadingRules[5],
                                          &kReadingRules[6], &kReadingRules[7], &kReadingRules[8]};
static_assert(std::size(kRulesList) == std::size(kReadingRules));

std::string RulesName(const ::testing::TestParamInfo<RulesDimensions>& info) {
    const auto [dialect, null, rules] = info.param;
    return std::string(DialectName(dialect->dialect)) + (null == NullMode::None ? "_" : "_unquotednull_") + rules->name;
}

INSTANTIATE_TEST_SUITE_P(EveryRule, ReadingRulesProperty,
                         ::testing::Combine(::testing::ValuesIn(kDialects),
                                            ::testing::Values(NullMode::None, NullMode::UnquotedEmpty),
                                            ::testing::ValuesIn(kRulesList)),
                         RulesName);

// Each vector unit's scanner this build has: the property above holds them
// all to the plain rules; here each is named, and one the processor cannot
// run is reported as skipped. Lines of quoted lines strung together cross
// the scanners' blocks.
class ScanKindTest : public ::testing::TestWithParam<ScanKind> {};

TEST_P(ScanKindTest, WritesLongLinesAsTheReadingOfTheRules) {
    if (!KindRuns(GetParam())) GTEST_SKIP() << "this processor cannot run the " << KindName(GetParam()) << " scanner";
    const RowScanner scanner("T", "F", {}, "\r\n", GetParam());
    const std::string input = QuotedLines(400).input;
    std::string line;
    for (std::size_t at = 0, n = 0; at < input.size(); at = input.find('\n', at) + 1, ++n) {
        line += input.substr(at, input.find('\r', at) - at);
        if (n % 9 != 8) continue;
        std::string statement;
        scanner.AppendRow(line, statement);
        ASSERT_EQ(statement, "INSERT INTO T ( F ) VALUES ( " + reference::ValueList(line) + " );\r\n");
        line.clear();
    }
}

INSTANTIATE_TEST_SUITE_P(EveryKind, ScanKindTest, ::testing::Values(ScanKind::Scalar, ScanKind::Sse2, ScanKind::Avx2),
                         [](const ::testing::TestParamInfo<ScanKind>& kind) {
                             return std::string(KindName(kind.param));
                         });

}  // namespace
}  // namespace rowsmith::test
