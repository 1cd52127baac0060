// Reading the input as real programs write it: standard CSV quoting, other
// delimiters, a header line, character sets and gzip.
#include <iconv.h>
#include <zlib.h>

#include <algorithm>
#include <iostream>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "convert/detect/format_detection.h"
#include "convert/detect/input_preview.h"
#include "convert/detect/whole_scan.h"
#include "convert/run/conversion_run.h"
#include "convert/read/csv_reader.h"
#include "io/charset_tables.h"
#include "io/gzip_source.h"
#include "io/iconv_source.h"
#include "io/status.h"
#include "io/unique_fd.h"
#include "io/open_file.h"
#include "io/text_mode.h"
#include "pieces_source.h"
#include "reference_rules.h"
#include "test_support.h"

namespace rowsmith {
namespace {

namespace fs = std::filesystem;
using test::ReadBytes;
using test::TempDirTest;
using test::WriteBytes;
using Records = std::vector<std::vector<std::string>>;

// Every record CsvReader gives for bytes; error is the status that ended it.
Records ReadAll(const std::string& bytes, char delimiter, std::size_t blockSize, std::uint32_t seed, int& status,
                std::string* why = nullptr) {
    std::mt19937 random(seed);
    test::PiecesSource source(bytes, [&random] { return std::size_t{1} + random() % 40; });
    CsvReader reader(source, delimiter, blockSize);
    Records records;
    std::vector<std::string_view> values;
    std::uint64_t line = 0;
    while ((status = reader.Next(values, line)) == 0) records.emplace_back(values.begin(), values.end());
    if (why) *why = reader.Describe(status);
    return records;
}

TEST(CsvReader, ReadsRecordsAsStandardCsv) {
    struct Case {
        std::string bytes;
        Records records;
    };
    const Case cases[] = {
        {"a,b\r\nc,d\r\n", {{"a", "b"}, {"c", "d"}}},
        {"\"Smith, John\",\"says \"\"hi\"\", ok\"\n", {{"Smith, John", "says \"hi\", ok"}}},
        {"\"line\nbreak\",x\r\n\"cr lf\r\ninside\",y\n", {{"line\nbreak", "x"}, {"cr lf\r\ninside", "y"}}},
        {"a\rb\rc", {{"a"}, {"b"}, {"c"}}},
        {"a\n\n\r\n\nb\n", {{"a"}, {"b"}}},
        {"ab\"c,d\n", {{"ab\"c", "d"}}},
        {"\"ab\"cd,e\n", {{"abcd", "e"}}},
        {" a , b \n", {{" a ", " b "}}},
        {",\n,,\n", {{"", ""}, {"", "", ""}}},
        {"a,\n", {{"a", ""}}},
        {"a,", {{"a", ""}}},
        {"\"\"\n", {{""}}},
        {"\"\",\"\"\"\"\n", {{"", "\""}}},
        {"x\xEF\xBB\xBF\n", {{"x\xEF\xBB\xBF"}}},
        {std::string("a\x1A\0b,c\n", 7), {{std::string("a\x1A\0b", 4), "c"}}},
        {"", {}},
        {"\n\n", {}},
    };
    for (const Case& c : cases) {
        int status = 0;
        EXPECT_EQ(ReadAll(c.bytes, ',', 4096, 1, status), c.records) << c.bytes;
        EXPECT_EQ(status, kEndOfInput) << c.bytes;
        EXPECT_EQ(reference::CsvRecords(c.bytes).records, c.records) << "reference: " << c.bytes;
    }
}

TEST(CsvReader, AQuotedFieldNeverClosedNamesTheLineWhereItOpened) {
    struct Case {
        std::string bytes;
        Records records;
        std::string why;
    };
    // Every line break counts, inside quotes too: CR LF as one, a CR or an
    // LF alone as one each, wherever the blocks end.
    const Case cases[] = {
        {"a,b\r\nc,\"d\r\ne,f\r\ng\n", {{"a", "b"}}, "the quoted field that opens on line 2 is never closed"},
        {"\"a\rb\nc\",x\n\"open\n", {{"a\rb\nc", "x"}}, "the quoted field that opens on line 4 is never closed"},
        {"\"a\r\r\n\nb\"\r\"", {{"a\r\r\n\nb"}}, "the quoted field that opens on line 5 is never closed"},
    };
    for (const Case& c : cases) {
        for (const std::size_t block : {std::size_t{16}, std::size_t{4096}}) {
            int status = 0;
            std::string why;
            EXPECT_EQ(ReadAll(c.bytes, ',', block, 7, status, &why), c.records);
            EXPECT_EQ(status, kUnclosedQuote);
            EXPECT_EQ(why, c.why) << testing::PrintToString(c.bytes);
        }
    }
}

TEST(Delimiters, OneByteOrANameButNothingThatQuotesOrEndsALine) {
    EXPECT_EQ(DelimiterFromName(";"), ';');
    EXPECT_EQ(DelimiterFromName("tab"), '\t');
    EXPECT_EQ(DelimiterFromName("space"), ' ');
    for (const char delimiter : {',', ';', '\t', ' ', '|'}) {
        EXPECT_EQ(DelimiterFromName(DelimiterName(delimiter)), delimiter);
    }
    EXPECT_EQ(DelimiterFromName("|"), '|');
    for (const char* bad : {"", ";;", "\"", "'", "\\", "\r", "\n", "comma"}) {
        EXPECT_EQ(DelimiterFromName(bad), std::nullopt) << bad;
    }
    EXPECT_EQ(DelimiterFromName(std::string(1, '\0')), std::nullopt);
}

// bytes compressed as gzip, in members of at most memberSize bytes.
std::string Gzip(const std::string& bytes, std::size_t memberSize = std::string::npos) {
    std::string out;
    for (std::size_t at = 0; at < bytes.size() || at == 0; at += memberSize) {
        const std::string part = bytes.substr(at, memberSize);
        z_stream z{};
        EXPECT_EQ(deflateInit2(&z, 6, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY), Z_OK);
        std::string member(deflateBound(&z, static_cast<uLong>(part.size())) + 32, '\0');
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(part.data()));
        z.avail_in = static_cast<uInt>(part.size());
        z.next_out = reinterpret_cast<Bytef*>(member.data());
        z.avail_out = static_cast<uInt>(member.size());
        EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
        member.resize(z.total_out);
        deflateEnd(&z);
        out += member;
        if (memberSize == std::string::npos) break;
    }
    return out;
}

class ReadingRunTest : public TempDirTest {
protected:
    RunReport Run(const std::string& input, const std::string& fields, const ConversionOptions& options) {
        WriteBytes("in.csv", input);
        fs::remove("out.sql");
        ConversionSettings settings{"in.csv", "out.sql", "T", fields};
        return ConvertFile(settings, nullptr, options);
    }
};

TEST_F(ReadingRunTest, EachReadingOptionGivesTheValuesOfTheFile) {
    const auto statement = [](const std::string& fields, const std::string& values) {
        return "INSERT INTO T ( " + fields + " ) VALUES ( " + values + " );\r\n";
    };
    const ConversionOptions rfc{.rfc4180 = true};
    const ConversionOptions header{.header = true};
    const ConversionOptions rfcHeader{.header = true, .rfc4180 = true};
    struct Case {
        const char* what;
        std::string input;
        std::string fields;
        ConversionOptions options;
        std::string output;
    };
    const Case cases[] = {
        {"standard quoting", "1,\"Smith, John\",\"says \"\"hi\"\"\"\r\n2,\"two\r\nlines\",x\r\n\r\n", "a, b, c", rfc,
         statement("a, b, c", "'1','Smith, John','says \"hi\"'") + statement("a, b, c", "'2','two\r\nlines','x'")},
        {"header makes the field list", " id ,\"last name\",select,\"say \"\"hi\"\"\"\n1,2,3,4\n", "", rfcHeader,
         statement("\"id\", \"last name\", \"select\", \"say \"\"hi\"\"\"", "'1','2','3','4'")},
        {"header for MySQL",
         "id,`odd`\n1,2\n",
         "",
         {.dialect = Dialect::MySql, .header = true, .rfc4180 = true},
         "SET NAMES utf8mb4;\r\n" + statement("`id`, ```odd```", "'1','2'")},
        {"typed fields win over the header", "x,y\n1,2\n", "a, b", header, statement("a, b", "'1','2'")},
        {"header under the line rules", "id,name\r\n1,O'Brien\r\n", "", header,
         statement("\"id\", \"name\"", "'1','O''Brien'")},
        {"header of an empty file", "", "", header, ""},
        {"tabs", "a\tb c\t\"d\te\"\n", "F", {.delimiter = '\t'}, statement("F", "'a','b c','d\te'")},
        {"semicolons", "a;\"b;c\";d,e\n", "F", {.rfc4180 = true, .delimiter = ';'}, statement("F", "'a','b;c','d,e'")},
        {"windows-1252",
         "caf\xE9,\x80\n",
         "F",
         {.encoding = "windows-1252"},
         statement("F", "'caf\xC3\xA9','\xE2\x82\xAC'")},
        {"a UTF-8 byte-order mark",
         "\xEF\xBB\xBF"
         "a,b\n",
         "F", rfc, statement("F", "'a','b'")},
        {"utf-16 with a byte-order mark",
         std::string("\xFF\xFE"
                     "a\0,\0\xE9\0\n\0",
                     10),
         "F",
         {.rfc4180 = true, .encoding = "UTF-16"},
         statement("F", "'a','\xC3\xA9'")},
        // Without --encoding, the mark says how the text is written, as
        // Excel's "Unicode text" exports say it; no NUL byte of UTF-16 is read.
        {"utf-16 by its byte-order mark alone",
         std::string("\xFF\xFE"
                     "a\0\t\0\xE9\0\r\0\n\0",
                     12),
         "F",
         {.delimiter = '\t'},
         statement("F", "'a','\xC3\xA9'")},
        {"utf-16 big-endian, standard CSV", std::string("\xFE\xFF\0\"\0a\0,\0\"\0\n", 12), "F", rfc,
         statement("F", "'a,'")},
        // Lines above the records; numbers of lines still count them.
        {"a title and a blank line above the header",
         "Sales report, March\r\n\r\nid,name\r\n1,\"a\r\nb\"\r\n",
         "",
         {.header = true, .rfc4180 = true, .skipLines = 2},
         statement("\"id\", \"name\"", "'1','a\r\nb'")},
        {"a title above lines", "title, with \"quotes\n1,a\n", "F", {.skipLines = 1}, statement("F", "'1','a'")},
        // Names over names, a title over the columns it spans.
        {"a header of two lines",
         "Name,Sales,,Cost,\r\n,2023,2024,2023,2024\r\nAnn,10,12,3,4\r\n",
         "",
         {.header = true, .headerLines = 2},
         statement("\"Name\", \"Sales 2023\", \"Sales 2024\", \"Cost 2023\", \"Cost 2024\"",
                   "'Ann','10','12','3','4'")},
        {"a title spans no further than the one above it",
         "A,,,B\nx,,y,\n1,2,3,4\n5,6,7,8\n",
         "",
         {.header = true, .rfc4180 = true, .headerLines = 3},
         statement("\"A x 1\", \"A x 2\", \"A y 3\", \"B 4\"", "'5','6','7','8'")},
        // A record that starts on the last line is read whole; one past it is not.
        {"records up to a line",
         "1,\"a\nb\"\n2,c\n\nx\n",
         "F",
         {.rfc4180 = true, .lastLine = 1},
         statement("F", "'1','a\nb'")},
        {"records up to a line below those skipped",
         "title\n1,a\n2,b\n3,c\n",
         "F",
         {.skipLines = 1, .lastLine = 3},
         statement("F", "'1','a'") + statement("F", "'2','b'")},
        {"apostrophes quote",
         "1,'O''Brien, Pat','x'\n",
         "F",
         {.rfc4180 = true, .quote = '\''},
         statement("F", "'1','O''Brien, Pat','x'")},
        {"no quotes at all", "\"a,b\"\n", "F", {.rfc4180 = true, .quote = '\0'}, statement("F", "'\"a','b\"'")},
        {"backslash escapes",
         "1,\"say \\\"hi\\\", \\\\ok\",a\\,b\n",
         "F",
         {.rfc4180 = true, .escape = '\\'},
         statement("F", "'1','say \"hi\", \\ok','a,b'")},
        {"spaces after delimiters",
         "a, \"b, c\",  d\n",
         "F",
         {.rfc4180 = true, .skipSpaces = true},
         statement("F", "'a','b, c','d'")},
        // As psql's \copy and MySQL's INTO OUTFILE write them.
        {"a PostgreSQL text export",
         "1\tO'Brien\t\\N\n2\ttab\\there\\nline\t\\\\\n\\.\nnot data\n",
         "a, b, c",
         {.delimiter = '\t', .textExport = true},
         statement("a, b, c", "'1','O''Brien',NULL") + statement("a, b, c", "'2','tab\there\nline','\\'")},
        {"a MySQL export: an escaped line break, a CR as data",
         "1\tline\\\nbreak\tcr\r\n2\t\\N\t\n",
         "a, b, c",
         {.null = NullMode::UnquotedEmpty, .delimiter = '\t', .textExport = true},
         statement("a, b, c", "'1','line\nbreak','cr\r'") + statement("a, b, c", "'2',NULL,''")},
        {"gzip", Gzip("a,b\r\nc,d\r\n"), "F", {}, statement("F", "'a','b'") + statement("F", "'c','d'")},
        {"gzip of several members",
         Gzip("1\n2\n3\n4\n", 3),
         "F",
         {},
         statement("F", "'1'") + statement("F", "'2'") + statement("F", "'3'") + statement("F", "'4'")},
    };
    for (const Case& c : cases) {
        const RunReport report = Run(c.input, c.fields, c.options);
        EXPECT_EQ(report.status, RunStatus::Done) << c.what << ": " << report.text;
        EXPECT_EQ(ReadBytes("out.sql"), c.output) << c.what;
    }
}

// Each inflater this build has reads the same streams to the same bytes,
// and damaged ones to the same words, however the compressed bytes arrive.
TEST(GzipSourceTest, EveryInflaterReadsAlikeAndNamesTheSameDamage) {
    std::string text;
    for (int i = 0; i < 60000; ++i) text += std::to_string(i * 7919) + ",value " + std::to_string(i) + "\n";
    const std::string whole = Gzip(text);
    const auto changed = [](std::string bytes, std::size_t at, char to) {
        bytes[at] = to;
        return bytes;
    };
    struct Case {
        const char* what;
        std::string input;
        std::string text;    // what reads out, or its start when reason is given
        const char* reason;  // the damage, or null
    };
    const Case cases[] = {
        {"one member", whole, text, nullptr},
        {"several members", Gzip(text, 70001), text, nullptr},
        {"an empty member between", Gzip("a\n") + Gzip("") + Gzip("b\n"), "a\nb\n", nullptr},
        {"cut short", whole.substr(0, whole.size() - 3), "", "the compressed data ends early"},
        {"wrong check", changed(whole, whole.size() - 6, static_cast<char>(whole[whole.size() - 6] ^ 1)), "",
         "incorrect data check"},
        {"unknown method", changed(whole, 2, 7), "", "unknown compression method"},
        {"no gzip after a member", Gzip("a\n") + "\x1f\x8c" + std::string(20, 'x'), "a\n", "incorrect header check"},
    };
    for (const Inflater inflater : {Inflater::Isal, Inflater::Zlib}) {
        if (!HasInflater(inflater)) {
            std::cout << "This build has no ISA-L: its inflater is not tested.\n";
            continue;
        }
        std::mt19937 random(7);
        for (const Case& c : cases) {
            test::PiecesSource pieces(c.input, [&random] { return std::size_t{1} << (random() % 18); });
            GzipSource gzip(pieces, inflater);
            std::string read;
            std::vector<char> buffer(65536);
            int error = 0;
            for (std::size_t got = 1; got != 0 && error == 0;) {
                error = gzip.Read(buffer.data(), 1 + random() % buffer.size(), got);
                read.append(buffer.data(), got);
            }
            const std::string where = std::string(c.what) + (inflater == Inflater::Isal ? ", ISA-L" : ", zlib");
            if (c.reason == nullptr) {
                EXPECT_EQ(error, 0) << where << ": " << gzip.Describe(error);
                EXPECT_EQ(read, c.text) << where;
            } else {
                EXPECT_EQ(error, kDamagedGzip) << where;
                EXPECT_EQ(gzip.Describe(error), std::string("damaged gzip data: ") + c.reason) << where;
                EXPECT_EQ(read.substr(0, c.text.size()), c.text) << where;
            }
        }
    }
}

// What a decoder makes of bytes: its text, and how it ended (0, EILSEQ,
// EINVAL) after how many bytes.
struct Decoded {
    std::string text;
    int error = 0;
    std::size_t used = 0;
    bool operator==(const Decoded&) const = default;
};

template <typename Decode>
Decoded DecodeWith(std::string bytes, const Decode& decode) {
    Decoded decoded;
    std::string out(bytes.size() * 4 + 16, '\0');
    char* in = bytes.data();
    std::size_t inLeft = bytes.size();
    char* at = out.data();
    std::size_t outLeft = out.size();
    decoded.error = decode(&in, &inLeft, &at, &outLeft) == static_cast<std::size_t>(-1) ? errno : 0;
    decoded.used = bytes.size() - inLeft;
    decoded.text = out.substr(0, out.size() - outLeft);
    return decoded;
}

// The Windows build decodes from tables read off glibc's iconv: each set
// must read every byte and pair of bytes, and text of random bytes and the
// set's own characters, cut anywhere, exactly as glibc reads them, to the
// same text, the same failure, after the same bytes.
TEST(CharsetTablesTest, EverySetReadsAsGlibcReadsIt) {
    // Under the sanitizers, which look for memory faults, every pair and a
    // tenth of the random text.
#if defined(ROWSMITH_SANITIZED)
    constexpr int kTexts = 300;
#else
    constexpr int kTexts = 3000;
#endif
    std::mt19937 random(29);
    for (const std::string& name : TableCharsetNames()) {
        const iconv_t glibc = ::iconv_open("UTF-8", name.c_str());
        ASSERT_NE(glibc, reinterpret_cast<iconv_t>(-1)) << name << " is no name glibc knows";
        void* table = OpenTableDecoder("UTF-8", name.c_str());
        ASSERT_NE(table, nullptr) << name;
        std::vector<std::string> inputs;
        for (unsigned pair = 0; pair < 0x10000; ++pair) {
            inputs.push_back({static_cast<char>(pair >> 8), static_cast<char>(pair & 0xFF)});
        }
        // Text of the set's own characters: runs of high bytes, and digits
        // between them (GB18030's four-byte sequences hold two).
        for (int round = 0; round < kTexts; ++round) {
            std::string text;
            const std::size_t size = 1 + random() % 24;
            for (std::size_t i = 0; i < size; ++i) {
                const unsigned pick = random() % 8;
                text += static_cast<char>(pick < 4   ? 0x81 + random() % 0x7E
                                          : pick < 6 ? '0' + random() % 10
                                                     : random() % 256);
            }
            inputs.push_back(text);
            inputs.push_back(text.substr(0, random() % (text.size() + 1)));
        }
        for (const std::string& input : inputs) {
            const Decoded expected =
                DecodeWith(input, [&](char** in, std::size_t* inLeft, char** out, std::size_t* outLeft) {
                    ::iconv(glibc, nullptr, nullptr, nullptr, nullptr);
                    return ::iconv(glibc, in, inLeft, out, outLeft);
                });
            const Decoded got =
                DecodeWith(input, [&](char** in, std::size_t* inLeft, char** out, std::size_t* outLeft) {
                    TableDecode(table, nullptr, nullptr, nullptr, nullptr);
                    return TableDecode(table, in, inLeft, out, outLeft);
                });
            if (got == expected) continue;
            ADD_FAILURE() << name << " reads " << ::testing::PrintToString(input) << " as "
                          << ::testing::PrintToString(got.text) << " (" << got.error << " after " << got.used
                          << "), glibc as " << ::testing::PrintToString(expected.text) << " (" << expected.error
                          << " after " << expected.used << ")";
            break;
        }
        CloseTableDecoder(table);
        ::iconv_close(glibc);
    }
    EXPECT_EQ(OpenTableDecoder("UTF-8", "no-such-set"), nullptr);
}

// Every character set reads as iconv reads it in one go, whether through a
// table of its bytes or through iconv in pieces: the same text (with what a
// set that combines characters holds back at the end), and at an invalid
// byte the same failure on the same line.
TEST(IconvSourceTest, DecodesAsIconvDoesInOneGo) {
    struct Case {
        const char* encoding;
        bool byTable;
    };
    const Case cases[] = {{"latin1", true},  {"windows-1252", true}, {"ISO-8859-7", true},
                          {"KOI8-R", true},  {"CP437", true},        {"IBM037", true},
                          {"CP1255", false}, {"UTF-16LE", false},    {"SHIFT_JIS", false}};
    std::mt19937 random(11);
    for (const Case& c : cases) {
        for (int round = 0; round < 40; ++round) {
            std::string input;
            const std::size_t size = std::size_t{1} << (round % 13);  // short ones hold no invalid byte
            for (std::size_t i = 0; i < size; ++i) {
                const unsigned pick = random() % 16;
                input += pick == 0 ? '\n' : static_cast<char>(pick < 12 ? 'a' + random() % 26 : random() % 256);
            }
            if (round % 2 != 0) input += '\xE0';  // a letter a set may hold back, to combine
            // iconv in one go, up to the first invalid byte.
            const iconv_t descriptor = ::iconv_open("UTF-8", c.encoding);
            ASSERT_NE(descriptor, reinterpret_cast<iconv_t>(-1)) << c.encoding;
            std::string expected(input.size() * 4 + 16, '\0');
            char* in = input.data();
            std::size_t inLeft = input.size();
            char* out = expected.data();
            std::size_t outLeft = expected.size();
            const bool valid = ::iconv(descriptor, &in, &inLeft, &out, &outLeft) != static_cast<std::size_t>(-1);
            if (valid) ::iconv(descriptor, nullptr, nullptr, &out, &outLeft);  // what the set held back
            ::iconv_close(descriptor);
            expected.resize(expected.size() - outLeft);

            test::PiecesSource pieces(input, [&random] { return 1 + random() % 5000; });
            std::unique_ptr<IconvSource> source;
            ASSERT_EQ(IconvSource::Open(pieces, c.encoding, source), 0);
            EXPECT_EQ(source->decodesByTable(), c.byTable) << c.encoding;
            std::string read;
            std::vector<char> buffer(4096);
            int error = 0;
            for (std::size_t got = 1; got != 0 && error == 0;) {
                error = source->Read(buffer.data(), 1 + random() % buffer.size(), got);
                read.append(buffer.data(), got);
            }
            EXPECT_EQ(read, expected) << c.encoding;
            EXPECT_EQ(error, valid ? 0 : kInvalidText) << c.encoding;
            if (!valid) {
                const auto line = std::count(expected.begin(), expected.end(), '\n') + 1;
                EXPECT_EQ(source->Describe(error),
                          "line " + std::to_string(line) + " is not valid " + c.encoding + " text");
            }
        }
    }
}

TEST_F(ReadingRunTest, ALongLineDecodesWhereverItsCharactersFallInTheBlocks) {
    // One byte, then two-byte characters past the first block: the decoder
    // is offered room for half a character.
    const std::string line = "a" + std::string(700000, '\xE9');
    std::string utf8 = "a";
    for (int i = 0; i < 700000; ++i) utf8 += "\xC3\xA9";
    const RunReport report = Run(line + "\n", "F", {.encoding = "latin1"});
    EXPECT_EQ(report.status, RunStatus::Done) << report.text;
    EXPECT_EQ(ReadBytes("out.sql"), "INSERT INTO T ( F ) VALUES ( '" + utf8 + "' );\r\n");
}

TEST_F(ReadingRunTest, BadInputSaysWhatAndWhereAndKeepsWholeStatements) {
    const ConversionOptions rfc{.rfc4180 = true};
    const ConversionOptions utf8{.encoding = "UTF-8"};
    std::string large;
    for (int i = 0; i < 400000; ++i) large += std::to_string(i) + ",row\n";
    std::string damaged = Gzip(large);
    damaged[damaged.size() * 3 / 4] ^= 0x55;
    struct Case {
        const char* what;
        std::string input;
        ConversionOptions options;
        std::string text;
        std::string output;
    };
    const std::string one = "INSERT INTO T ( F ) VALUES ( 'a' );\r\n";
    const Case cases[] = {
        {"unclosed quote", "a\n\"b\nc\n", rfc,
         "Cannot read \"in.csv\": the quoted field that opens on line 2 is never closed", one},
        {"invalid bytes", "a\nb\xFF\n", utf8, "Cannot read \"in.csv\": line 2 is not valid UTF-8 text", one},
        {"truncated gzip",
         Gzip("a\nb\nc\n").substr(0, 12),
         {},
         "Cannot read \"in.csv\": damaged gzip data: the compressed data ends early",
         ""},
    };
    for (const Case& c : cases) {
        const RunReport report = Run(c.input, "F", c.options);
        EXPECT_EQ(report.status, RunStatus::ReadFailed) << c.what;
        EXPECT_EQ(report.text, c.text) << c.what;
        EXPECT_EQ(report.caption, "Error Reading File");
        EXPECT_EQ(ReadBytes("out.sql"), c.output) << c.what;
    }
    const RunReport report = Run(damaged, "F", {});
    EXPECT_EQ(report.status, RunStatus::ReadFailed);
    EXPECT_EQ(report.text.rfind("Cannot read \"in.csv\": damaged gzip data: ", 0), 0u) << report.text;
    // What came before the damage is converted, in whole statements.
    const std::string output = ReadBytes("out.sql");
    ASSERT_GT(output.size(), 5u);
    EXPECT_EQ(output.substr(output.size() - 5), " );\r\n");
    EXPECT_EQ(output.rfind("INSERT INTO T ( F ) VALUES ( '0','row' );\r\n", 0), 0u);
}

}  // namespace
}  // namespace rowsmith

namespace rowsmith {
namespace {

// Detection on small files whose answers are known: the header, the byte
// order of UTF-16 written without a mark, the first record the line rules
// read otherwise than standard CSV.
TEST(DetectionTest, JudgesSmallFilesWhoseAnswersAreKnown) {
    const auto utf16 = [](std::string_view ascii, bool bigEndian) {
        std::string text;
        for (const char c : ascii) text.append(bigEndian ? std::string{'\0', c} : std::string{c, '\0'});
        return text;
    };
    struct Case {
        const char* what;
        std::string bytes;
        bool header;
        std::string encoding;         // as said, the start of it
        std::size_t firstDifference;  // 0: the line rules read it alike
        std::string options;          // the reading options proposed
    };
    const Case cases[] = {
        {"names over numbers", "name,age\nAnn,31\nBob,45\n", true, "ascii", 0, "--header"},
        {"names over codes of one length", "id,zip\n1,01234\n2,98765\n", true, "ascii", 0, "--header"},
        {"numbers alone", "1,2\n3,4\n5,6\n", false, "ascii", 0, ""},
        {"text of the same length throughout", "a,b\nc,d\ne,f\n", false, "ascii", 0, ""},
        {"UTF-16 little-endian without a mark", utf16("id,name\n1,Ann\n2,Bob\n", false), true, "UTF-16LE", 0,
         "--header --encoding UTF-16LE"},
        {"UTF-16 big-endian without a mark", utf16("id,name\n1,Ann\n2,Bob\n", true), true, "UTF-16BE", 0,
         "--header --encoding UTF-16BE"},
        {"a doubled quote in the third record", "x,y\n1,2\n\"a\"\"b\",c\n", false, "ascii", 3, "--rfc4180"},
        {"a line break in quotes in the second", "x,y\n\"a\nb\",c\n", false, "ascii", 2, "--rfc4180"},
        // Lines above the header; times that split every record evenly at ':'.
        {"a title, a note and a blank line above",
         "Sales report\nGenerated 2024-01-01\n\nregion,total,when\nNorth,12.5,00:15\nSouth,3.25,01:30\n", true, "ascii",
         0, "--skip-lines 3 --header"},
        // As psql's \copy and MySQL's INTO OUTFILE write them.
        {"a text export", "1\tO'Brien\t\\N\n2\tx\\\ty\t\\\\\n", false, "ascii", 0, "--text-export -d tab"},
        {"a text export with a header", "id\tname\n1\t\\N\n2\tAnn\n", true, "ascii", 0,
         "--text-export -d tab --header"},
        // As psql's \copy ... CSV and sqlite3's .mode csv write NULL and ''.
        {"NULL bare and '' in quotes", "id,name,note\n1,\"\",\n2,x,\"y\"\n", true, "ascii", 0,
         "--header --null unquoted-empty"},
        {"names of words over words", "First Name,Email\nJohn,j@x.com\nMary,m@y.org\n", true, "ascii", 0, "--header"},
        {"years over figures", "region,2023,2024\nNorth,1.5,2.5\nSouth,3.5,4.25\n", true, "ascii", 0, "--header"},
        {"names over dates and times", "day,open\n2024-03-01,09:00\n3/2/2024,9:30\n", true, "ascii", 0, "--header"},
        {"dates and times alone", "2024-03-01,09:00\n2024-03-02,09:30\n", false, "ascii", 0, ""},
        {"names empty and repeated", "id,,id\n1,2,3\n4,5,6\n", true, "ascii", 0, "--header"},
        {"a first row like the rest", "Ann,31,yes\nBob,45,no\n", false, "ascii", 0, ""},
        // Other quotes, and spaces after the delimiters before them.
        {"apostrophes quote", "id,name\n1,'Smith, John'\n2,'Ann'\n", true, "ascii", 2,
         "--rfc4180 --quote \"'\" --header"},
        {"an apostrophe in a word quotes nothing", "id,name\n1,O'Brien\n2,Ann\n", true, "ascii", 0, "--header"},
        {"spaces after the delimiters", "id, name, note\n1, \"Smith, John\", x\n2, \"Ann\", y\n", true, "ascii", 1,
         "--rfc4180 --skip-spaces --header"},
        {"backslashes escape quotes", "id,note\n1,\"say \\\"hi\\\", ok\"\n2,\"a path C:\\\\x\"\n", true, "ascii", 2,
         "--rfc4180 --escape '\\' --header"},
        {"a backslash that ends a value escapes nothing", "id,path\n1,\"C:\\\"\n2,\"D:\\\"\n", true, "ascii", 0,
         "--header"},
        // A colon within values (times, addresses) is not their delimiter.
        // Headers of more lines than one; a second table, notes below the records.
        {"a title over the columns it spans", "Name,Sales,,Cost,\n,2023,2024,2023,2024\nAnn,10,12,3,4\nBob,11,13,5,6\n",
         true, "ascii", 0, "--header --header-lines 2"},
        {"units under the names", "height,weight\ncm,kg\n180,75\n165,60\n170,66\n", true, "ascii", 0,
         "--header --header-lines 2"},
        {"a year column under one line of names", "name,born\nAnn,1980\nBob,1975\nCid,1990\n", true, "ascii", 0,
         "--header"},
        {"a second table below a blank line", "id,name,amount\n1,Ann,3.5\n2,Bob,4.25\n\n\nregion,total\nnorth,5\n",
         true, "ascii", 0, "--last-line 3 --header"},
        {"notes below the records", "id,amount\n1,3.5\n2,4.25\n3,1\n\nSource: our books\n", true, "ascii", 0,
         "--last-line 4 --header"},
        {"a blank line between records of one table", "id,amount\n1,3.5\n\n2,4.25\n3,1\n", true, "ascii", 3,
         "--rfc4180 --header"},
        {"times alone", "09:15\n10:30\n11:45\n", false, "ascii", 0, ""},
        {"addresses alone", "https://a.org/x\nhttps://b.org/y\nhttps://c.org/z\n", false, "ascii", 0, ""},
    };
    for (const Case& c : cases) {
        InputSample sample;
        sample.head = c.bytes;
        sample.whole = true;
        const Detection detection = DetectFormat(sample);
        EXPECT_EQ(detection.header, c.header) << c.what;
        EXPECT_EQ(detection.encoding.substr(0, c.encoding.size()), c.encoding) << c.what;
        EXPECT_EQ(detection.firstDifference, c.firstDifference) << c.what;
        EXPECT_EQ(ReadingOptionsLine(detection.reading), c.options) << c.what;
    }
}

// Text that is not UTF-8, in the sets real exports are written in: the set
// whose reading looks like words is the one proposed.
TEST(DetectionTest, GuessesTheCharacterSetFromTheText) {
    const std::pair<const char*, const char*> cases[] = {
        {"windows-1252", "name,city\nRen\u00e9,K\u00f6ln\nJos\u00e9,Z\u00fcrich\n"},
        {"windows-1251",
         "\u0438\u043c\u044f,\u0433\u043e\u0440\u043e\u0434\n\u0418\u0432\u0430\u043d,"
         "\u041c\u043e\u0441\u043a\u0432\u0430\n"},
        {"KOI8-R",
         "\u0438\u043c\u044f,\u0433\u043e\u0440\u043e\u0434\n\u0418\u0432\u0430\u043d,"
         "\u041c\u043e\u0441\u043a\u0432\u0430\n"},
        {"windows-1253",
         "\u03cc\u03bd\u03bf\u03bc\u03b1,\u03c0\u03cc\u03bb\u03b7\n\u0393\u03b9\u03ce\u03c1"
         "\u03b3\u03bf\u03c2,\u0391\u03b8\u03ae\u03bd\u03b1\n"},
        {"MACINTOSH", "name,city\nRen\u00e9,K\u00f6ln\nJos\u00e9,Z\u00fcrich\n"},
        {"windows-1250", "imi\u0119,miasto\n\u0141ukasz,\u0141\u00f3d\u017a\nJi\u0159\u00ed,Gda\u0144sk\n"},
        {"windows-1254", "ad,\u015fehir\nAy\u015fe,\u0130stanbul\n\u00c7a\u011fr\u0131,\u0130zmir\n"},
        {"windows-1257", "v\u0101rds,pils\u0113ta\nJ\u0101nis,R\u012bga\n\u0160ar\u016bnas,Kaunas\n"},
        // Sets that read each other's letters as letters: the reading whose
        // accented letters one language writes together.
        {"windows-1252", "pr\u00e9nom,ville\nFran\u00e7ois,Besan\u00e7on\nH\u00e9l\u00e8ne,N\u00eemes\n"},
        {"windows-1252", "nombre,ciudad\nJos\u00e9 Mu\u00f1oz,C\u00f3rdoba\nI\u00f1aki,Logro\u00f1o\n"},
        {"windows-1252", "navn,by\nS\u00f8ren,\u00c5rhus\n\u00c6ble,\u00c5lborg\n"},
        {"windows-1250",
         "n\u00e9v,v\u00e1ros\nKov\u00e1cs P\u00e9ter,Gy\u0151r\nSzab\u00f3 Anna,P\u00e9cs\nT\u00f3th "
         "\u00d6d\u00f6n,Debrecen\n"},
        {"windows-1250", "jm\u00e9no,m\u011bsto\nJi\u0159\u00ed Nov\u00e1k,Praha\nPetr Dvo\u0159\u00e1k,Brno\n"},
        {"windows-1257", "vardas\n\u017dygimantas\n\u0160iauliai\n"},
        {"windows-1257", "vardas,miestas\n\u0160ar\u016bnas,Vilnius\nR\u016bta,Klaip\u0117da\n"},
        {"SHIFT_JIS", "\u540d\u524d,\u90fd\u5e02\n\u7530\u4e2d,\u6771\u4eac\n\u3055\u304f\u3089,\u5927\u962a\n"},
        {"EUC-JP", "\u540d\u524d,\u90fd\u5e02\n\u7530\u4e2d,\u6771\u4eac\n\u3055\u304f\u3089,\u5927\u962a\n"},
        {"GB18030", "\u540d\u5b57,\u57ce\u5e02\n\u5f20\u4f1f,\u5317\u4eac\n\u738b\u82b3,\u4e0a\u6d77\n"},
        {"BIG5", "\u540d\u5b57,\u57ce\u5e02\n\u5f35\u5049,\u53f0\u5317\n\u738b\u82b3,\u9ad8\u96c4\n"},
        {"EUC-KR", "\uc774\ub984,\ub3c4\uc2dc\n\uae40\ucca0\uc218,\uc11c\uc6b8\n"},
    };
    for (const auto& [charset, text] : cases) {
        // The bytes as the set writes the text, by iconv, not by the code under test.
        iconv_t cd = iconv_open(charset, "UTF-8");
        ASSERT_NE(cd, reinterpret_cast<iconv_t>(-1)) << charset;
        std::string in(text);
        std::string out(in.size() * 4, '\0');
        char* from = in.data();
        char* to = out.data();
        std::size_t fromLeft = in.size();
        std::size_t toLeft = out.size();
        ASSERT_NE(iconv(cd, &from, &fromLeft, &to, &toLeft), static_cast<std::size_t>(-1)) << charset;
        iconv_close(cd);
        out.resize(out.size() - toLeft);
        InputSample sample;
        sample.head = out;
        sample.whole = true;
        const Detection detection = DetectFormat(sample);
        EXPECT_EQ(detection.reading.encoding, charset) << detection.encoding;
    }
}

// Evidence past the sample: a regular file is scanned to its end for its
// first quote and for bytes past ASCII, wherever the blocks of the scan cut
// its lines and characters.
TEST_F(ReadingRunTest, DetectionScansTheRestOfARegularFile) {
    std::string rows = "id,name\n";
    for (int i = 0; rows.size() < InputSample::kHeadBytes + 300000; ++i) rows += std::to_string(i) + ",n\n";
    // A line of 3 MiB with a two-byte character across the end of the scan's
    // second 1 MiB block, which starts where the sample ends.
    const std::size_t blockEnd = InputSample::kHeadBytes + (std::size_t{2} << 20);
    std::string longLine = "9,";
    longLine.resize(blockEnd - 1 - (rows.size() + 0), 'x');
    longLine += "\xC3\xA9";
    while (longLine.size() < (std::size_t{3} << 20)) longLine += "x\xC3\xA9";
    struct Case {
        const char* what;
        std::string bytes;
        std::string encoding;  // the start of what is said
        bool rfc4180;
        std::uint64_t quoteAt;
    };
    const Case cases[] = {
        {"a quote past the sample", rows + "1,\"a, b\"\n" + rows, "ascii", true, rows.size() + 2},
        {"one byte of windows-1252 in the middle", rows + "1,caf\xE9\n" + rows, "windows-1252", false, 0},
        {"UTF-8 across the blocks", rows + longLine + "\n" + rows, "utf-8", false, 0},
        {"nothing but ASCII", rows + rows, "ascii", false, 0},
    };
    for (const Case& c : cases) {
        WriteBytes("big.csv", c.bytes);
        UniqueFd file;
        ASSERT_EQ(OpenForReading("big.csv", file), 0);
        InputSample sample;
        std::string reason;
        ASSERT_EQ(ReadSample(file.get(), sample, reason), 0) << reason;
        EXPECT_TRUE(sample.rest.scanned) << c.what;
        const Detection detection = DetectFormat(sample);
        EXPECT_EQ(detection.encoding.substr(0, c.encoding.size()), c.encoding) << c.what << ": " << detection.encoding;
        EXPECT_EQ(detection.reading.rfc4180, c.rfc4180) << c.what;
        EXPECT_EQ(detection.quoteBeyond, c.quoteAt) << c.what;
        // The preview, drawn at each change, reads the start alone.
        UniqueFd again;
        ASSERT_EQ(OpenForReading("big.csv", again), 0);
        InputSample start;
        ASSERT_EQ(ReadSample(again.get(), start, reason, false), 0) << reason;
        EXPECT_FALSE(start.rest.scanned) << c.what;
    }
}

// A large file is scanned in ranges on threads: they find what one scan
// does, the lines kept too, where they fall on both sides of a cut.
TEST_F(ReadingRunTest, TheScanOnThreadsFindsWhatOneScanFinds) {
    const std::size_t size = std::size_t{70} << 20;
    std::string bytes;
    bytes.reserve(size + 64);
    while (bytes.size() < size / 2 - 40000) bytes += "12345,name,\n";
    while (bytes.size() < size / 2 + 140000) bytes += "1,caf\xC3\xA9\n";
    bytes += "2,\"q\"\n";
    while (bytes.size() < size * 3 / 4) bytes += "12345,name,\n";
    bytes += "3,caf\xE9\n";
    while (bytes.size() < size) bytes += "12345,name,\n";
    WriteBytes("big.csv", bytes);
    UniqueFd file;
    ASSERT_EQ(OpenForReading("big.csv", file), 0);
    ScanEvidence one;
    ASSERT_EQ(ScanRest(file.get(), 100, bytes.size(), one), 0);
    EXPECT_FALSE(one.utf8);
    EXPECT_EQ(one.firstQuote, bytes.find('"'));
    for (const unsigned threads : {2U, 3U, 8U}) {
        ScanEvidence many;
        ASSERT_EQ(ScanRest(file.get(), 100, bytes.size(), many, threads), 0);
        EXPECT_TRUE(many.scanned);
        EXPECT_EQ(many.firstQuote, one.firstQuote) << threads;
        EXPECT_EQ(many.nonAscii, one.nonAscii) << threads;
        EXPECT_EQ(many.utf8, one.utf8) << threads;
        EXPECT_EQ(many.lines, one.lines) << threads;
    }
}

// The report is text whatever the names hold: a NUL byte and bytes not
// UTF-8 are shown escaped, names in another character set decoded; the
// options line still ends it. And each reason says what was seen: NUL
// bytes; blanks, not quotes.
TEST(DetectionTest, TheReportIsTextAndSaysWhatWasSeen) {
    struct Case {
        std::string bytes;
        std::vector<std::string> said;
        std::string options;
    };
    const Case cases[] = {
        {std::string("a,b\0c\n1,2\n", 10),
         {"header: yes: \"a\", \"b\\x00c\"\n", "NUL bytes: 1 in the records sampled"},
         "--header"},
        {"n\xE9m,x\n1,2\n", {"header: yes: \"n\xC3\xA9m\", \"x\"\n"}, "--header"},
        {"a,b \nc,d\n",
         {"quoting: RFC 4180 (no quotes: values of record 1 end in blanks, which the line rules drop"},
         "--rfc4180"},
    };
    for (const Case& c : cases) {
        InputSample sample;
        sample.head = c.bytes;
        sample.whole = true;
        const std::string report = DetectionReport(DetectFormat(sample));
        for (const std::string& said : c.said) EXPECT_NE(report.find(said), std::string::npos) << report;
        EXPECT_TRUE(IsUtf8(report)) << report;
        EXPECT_EQ(report.find('\0'), std::string::npos);
        EXPECT_NE(report.rfind("\noptions: " + c.options), std::string::npos) << report;
    }
}

}  // namespace
}  // namespace rowsmith

namespace rowsmith {
namespace {

// The preview shows a statement for each record it shows, whatever comes
// before the first (the session's setting, the table to create).
TEST_F(ReadingRunTest, ThePreviewShowsAStatementForEachRecordItShows) {
    std::string input = "id,v\n";
    for (int i = 0; i < 10; ++i) input += std::to_string(i) + ",x\n";
    WriteBytes("in.csv", input);
    for (const bool create : {false, true}) {
        const ConversionOptions options{.dialect = Dialect::Postgresql, .header = true, .createTable = create};
        const InputPreview preview = PreviewInput({"in.csv", "", "t", ""}, options, 3);
        EXPECT_EQ(preview.titles, (std::vector<std::string>{"id", "v"}));
        EXPECT_EQ(preview.records.size(), 3u);
        std::size_t statements = 0;
        for (std::size_t at = 0; (at = preview.statements.find("INSERT INTO", at)) != std::string::npos; ++at)
            ++statements;
        EXPECT_EQ(statements, 3u) << preview.statements;
        EXPECT_EQ(preview.statements.find("CREATE TABLE") != std::string::npos, create) << preview.statements;
    }
    // Each value shown is marked as the run writes it: NULL, or text.
    WriteBytes("in.csv", "id,v\n1,\n2,\"\"\n\\N,x\n");
    const ConversionOptions nulls{.null = NullMode::UnquotedEmpty, .header = true, .nullTokens = {"\\N"}};
    const InputPreview preview = PreviewInput({"in.csv", "", "t", ""}, nulls, 3);
    EXPECT_EQ(preview.nulls, (std::vector<std::vector<bool>>{{false, true}, {false, false}, {true, false}}));
}

}  // namespace
}  // namespace rowsmith
