#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "convert/row_conversion.h"
#include "convert/read/row_scanner.h"

namespace rowsmith {
namespace {

struct RowCase {
    std::string line;
    std::string values;  // what stands between "VALUES ( " and " );"
};

// Lines as they come from a file, with their line feed.
const RowCase kRowCases[] = {
    {"a,b,c\n", "'a','b','c'"},
    {"\n", "''"},
    {"   \n", "''"},
    {"", "''"},
    {" a, b\n", "' a',' b'"},
    {"a,b  \t\r\n", "'a','b'"},
    {"\"a,b\",c\n", "'a,b','c'"},
    {"a,\"b\"\n", "'a','b'"},
    {"\"a\"\"b\",c\n", "'a\"\"b','c'"},
    {"\"\",x\n", "'','x'"},
    {"\",x\n", "'','x'"},
    {"a,,b\n", "'a','','b'"},
    {"a,b,\n", "'a','b',''"},
    {"a\"b,c\n", "'a\"b','c'"},
    {"x,a\"b,c\n", "'x','a\"b','c'"},
    {"\"abc,def\n", "'abc,de'"},
    {"\"a\" ,b\n", "'a\" ,'"},
    // Single quotes are doubled, so a value can never end its string early.
    {"O'Brien,x\n", "'O''Brien','x'"},
    {"'\n", "''''"},
    {"x'); DROP TABLE t; --\n", "'x''); DROP TABLE t; --'"},
    {"\"it's, here\",y\n", "'it''s, here','y'"},
    // Backslash is an ordinary byte.
    {"C:\\dir\\,end\\\n", "'C:\\dir\\','end\\'"},
    // Tabs separate nothing; trailing ones go with the rest of the white space.
    {"a\tb\tc\t\t\n", "'a\tb\tc'"},
    // A quote that is the second byte of the line is ordinary.
    {"x\"y,z\n", "'x\"y','z'"},
    // A lone quote opens a field that is empty once its last byte goes.
    {"\"\n", "''"},
    {"a,\"\n", "'a',''"},
    // A CR inside a line stays in its value.
    {"a\rb,c\r\n", "'a\rb','c'"},
    // A NUL is an ordinary byte for the trimming, but no SQL text holds it:
    // it is dropped (and a run refuses it, unless asked to drop it).
    {std::string("a\0 \n", 4), "'a'"},
    {std::string("a,\0b\r\n", 6), "'a','b'"},
};

// The statement the block scanner writes for line.
std::string FastRow(const std::string& line) {
    std::string statement;
    RowScanner("T", "F").AppendRow(line, statement);
    return statement;
}

TEST(ConvertRow, GivesTheStatementForEachLine) {
    for (const RowCase& c : kRowCases) {
        const std::string expected = "INSERT INTO T ( F ) VALUES ( " + c.values + " );\n";
        EXPECT_EQ(ConvertRow(c.line, "T", "F"), expected) << "line: " << c.line;
        EXPECT_EQ(FastRow(c.line), expected) << "fast path, line: " << c.line;
    }
}

TEST(ConvertRow, InsertsTableAndFieldNamesExactlyAsGiven) {
    EXPECT_EQ(ConvertRow("a\n", "", ""), "INSERT INTO  (  ) VALUES ( 'a' );\n");
    EXPECT_EQ(ConvertRow("a\n", "T", ""), "INSERT INTO T (  ) VALUES ( 'a' );\n");
    EXPECT_EQ(ConvertRow("1,2\n", "my 'table'", " id, name "),
              "INSERT INTO my 'table' (  id, name  ) VALUES ( '1','2' );\n");
    EXPECT_EQ(ConvertRow("a;\"b;c\";d,e\n", "T", "F", {.delimiter = ';'}),
              "INSERT INTO T ( F ) VALUES ( 'a','b;c','d,e' );\n");
}

TEST(RowScanner, DiskFormEndsEveryLineWithCrLf) {
    const RowScanner disk("T\nU", "F", {}, "\r\n");
    std::string text;
    disk.AppendRow("a\r\n", text);
    EXPECT_EQ(text, "INSERT INTO T\r\nU ( F ) VALUES ( 'a' );\r\n");
}

// With --columns the scanner leaves out the fields not chosen, whatever
// they hold and wherever the blocks end; with markers it writes the values
// equal to one as NULL, unless quoted. Every vector unit writes the same.
TEST(RowScanner, LeavesOutFieldsNotChosenAndComparesMarkers) {
    const std::string marker(70, 'm');  // longer than the lengths kept apart
    std::string wide;                   // thirty fields across blocks
    for (int i = 0; i < 30; ++i) wide += (i > 0 ? "," : "") + std::string(i == 29 ? "last" : "abcde");
    struct Case {
        const char* what;
        std::string line;
        ConversionOptions options;
        std::vector<std::size_t> chosen;
        std::string values;
        std::size_t count;  // the fields the line has
        std::size_t nulls;
    };
    // What the conversion property's short lines do not reach: blocks and
    // markers of every length.
    const Case cases[] = {
        {"middle and last left out", "a,b,c,d", {}, {0, 2}, "'a','c'", 4, 0},
        {"a NULL before fields left out", "1,,3,4", {.null = NullMode::Empty}, {1}, "NULL", 4, 1},
        {"across blocks", wide, {}, {0, 29}, "'abcde','last'", 30, 0},
        {"markers, quoted and not",
         marker + ",NA,\"NA\",NAN,x",
         {.nullTokens = {"NA", marker}},
         {},
         "NULL,NULL,'NA','NAN','x'",
         5,
         2},
    };
    for (const ScanKind kind : {ScanKind::Scalar, ScanKind::Sse2, ScanKind::Avx2}) {
        if (!KindRuns(kind)) continue;
        for (const Case& c : cases) {
            RowScanner scanner("T", "F", c.options, "\n", kind);
            scanner.Choose(c.chosen);
            const std::string padded = c.line + std::string(RowScanner::kPadding, ',');
            std::string out(scanner.MaxValuesSize(c.line.size()), '\0');
            std::size_t count = 0;
            RowMarks marks;
            const char* end =
                scanner.WriteValues(std::string_view(padded.data(), c.line.size()), out.data(), count, marks);
            out.resize(static_cast<std::size_t>(end - out.data()));
            EXPECT_EQ(out, c.values) << c.what;
            EXPECT_EQ(count, c.count) << c.what;
            EXPECT_EQ(marks.nulls, c.nulls) << c.what;
        }
    }
}

}  // namespace
}  // namespace rowsmith
