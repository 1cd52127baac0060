#include <string>

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

}  // namespace
}  // namespace rowsmith
