// The options for the database that loads the output: dialects, NULL for
// empty values, many rows per INSERT, one transaction per run, and the
// count of rows that do not match the field names.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "convert/conversion_run.h"
#include "convert/sql_dialect.h"
#include "inputs.h"
#include "test_support.h"

namespace rowsmith {
namespace {

namespace fs = std::filesystem;
using test::ReadBytes;
using test::RecordingOwner;
using test::TempDirTest;
using test::WriteBytes;

TEST(SqlDialect, QuotesEachValueSoThatItsDatabaseReadsItBack) {
    struct Case {
        std::string value;
        std::string standard;
        std::string mySql;
    };
    const Case cases[] = {
        {"", "''", "''"},
        {"plain", "'plain'", "'plain'"},
        {"O'Brien", "'O''Brien'", "'O''Brien'"},
        {"C:\\new\\table", "'C:\\new\\table'", "'C:\\\\new\\\\table'"},
        {"ends\\", "'ends\\'", "'ends\\\\'"},
        {"\\'", "'\\'''", "'\\\\'''"},
        {std::string("a\0b", 3), std::string("'a\0b'", 5), "'a\\0b'"},
        {"\\0\\n", "'\\0\\n'", "'\\\\0\\\\n'"},
        {"\"quoted\"", "'\"quoted\"'", "'\"quoted\"'"},
    };
    for (const Case& c : cases) {
        std::string standard;
        std::string mySql;
        AppendLiteral(kStandardRules, c.value, standard);
        AppendLiteral(kMySqlRules, c.value, mySql);
        EXPECT_EQ(standard, c.standard) << c.value;
        EXPECT_EQ(mySql, c.mySql) << c.value;
    }
}

TEST(LoadOptions, CountsFieldNamesOutsideParenthesesAndQuotes) {
    const std::pair<std::string, std::size_t> cases[] = {
        {"", 0},          {"  \t", 0},           {"id", 1},
        {"id, name", 2},  {"a,b,", 3},           {"\"last, first\", age", 2},
        {"`a,b`,c", 2},   {"[a,b],c", 2},        {"f(1,2), g", 2},
        {"'x,y','z'", 2}, {"\"a\"\"b,c\",d", 2},
    };
    for (const auto& [fields, count] : cases) EXPECT_EQ(CountFieldNames(fields), count) << fields;
}

class LoadRunTest : public TempDirTest {
protected:
    RunReport Run(const std::string& input, const std::string& fields, const ConversionOptions& options,
                  RunObserver* observer = nullptr) {
        WriteBytes("in.csv", input);
        fs::remove("out.sql");
        ConversionSettings settings{"in.csv", "out.sql", "T", fields};
        return ConvertFile(settings, observer, options);
    }
};

TEST_F(LoadRunTest, WritesTheStatementsEachOptionAsks) {
    const std::string head = "INSERT INTO T ( id, v ) VALUES ( ";
    struct Case {
        const char* what;
        std::string input;
        std::string fields;
        ConversionOptions options;
        std::string output;
        RowCounts counts;
    };
    const Case cases[] = {
        {"default", "1,a\n2,b\n", "id, v", {}, head + "'1','a' );\r\n" + head + "'2','b' );\r\n", {2, 2, 0, 0}},
        {"two rows per insert",
         "1,a\n2,b\n3,c\n",
         "id, v",
         {.rowsPerInsert = 2},
         head + "'1','a' ),\r\n( '2','b' );\r\n" + head + "'3','c' );\r\n",
         {2, 3, 0, 0}},
        {"a row of another length starts a statement",
         "1,a\n2\n3,c\n4,d\n",
         "id, v",
         {.rowsPerInsert = 100},
         head + "'1','a' );\r\n" + head + "'2' );\r\n" + head + "'3','c' ),\r\n( '4','d' );\r\n",
         {3, 4, 1, 2}},
        {"transaction",
         "1,a\n",
         "id, v",
         {.transaction = true},
         "BEGIN;\r\n" + head + "'1','a' );\r\nCOMMIT;\r\n",
         {1, 1, 0, 0}},
        {"transaction of nothing",
         "",
         "id, v",
         {.rowsPerInsert = 100, .transaction = true},
         "BEGIN;\r\nCOMMIT;\r\n",
         {0, 0, 0, 0}},
        {"both",
         "1,a\n2,b\n",
         "id, v",
         {.rowsPerInsert = 100, .transaction = true},
         "BEGIN;\r\n" + head + "'1','a' ),\r\n( '2','b' );\r\nCOMMIT;\r\n",
         {1, 2, 0, 0}},
        {"empty as NULL",
         "a,,\"\"\n,\n",
         "id, v",
         {.emptyAsNull = true},
         head + "'a',NULL,NULL );\r\n" + head + "NULL,NULL );\r\n",
         {2, 2, 1, 1}},
        {"mysql",
         "C:\\new\\table,x\\\n",
         "id, v",
         {.dialect = Dialect::MySql},
         head + "'C:\\\\new\\\\table','x\\\\' );\r\n",
         {1, 1, 0, 0}},
        {"mysql, standard CSV",
         "\"C:\\new\",\"x\\\"\"\"\n",
         "id, v",
         {.dialect = Dialect::MySql, .rfc4180 = true},
         head + "'C:\\\\new','x\\\\\"' );\r\n",
         {1, 1, 0, 0}},
        {"no field names", "a\n", "", {}, "INSERT INTO T VALUES ( 'a' );\r\n", {1, 1, 0, 0}},
        {"blank field names",
         "a,b\n",
         " ",
         {.rowsPerInsert = 2},
         "INSERT INTO T VALUES ( 'a','b' );\r\n",
         {1, 1, 0, 0}},
        {"names from a header, a row too short",
         "id,v\n1,a\n2\n",
         "",
         {.header = true},
         "INSERT INTO T ( \"id\", \"v\" ) VALUES ( '1','a' );\r\nINSERT INTO T ( \"id\", \"v\" ) VALUES ( '2' );\r\n",
         {2, 2, 1, 3}},
    };
    for (const Case& c : cases) {
        const RunReport report = Run(c.input, c.fields, c.options);
        EXPECT_EQ(report.status, RunStatus::Done) << c.what;
        EXPECT_EQ(ReadBytes("out.sql"), c.output) << c.what;
        EXPECT_EQ(report.counts.statements, c.counts.statements) << c.what;
        EXPECT_EQ(report.counts.rows, c.counts.rows) << c.what;
        EXPECT_EQ(report.counts.mismatchedRows, c.counts.mismatchedRows) << c.what;
        EXPECT_EQ(report.counts.firstMismatchLine, c.counts.firstMismatchLine) << c.what;
    }
}

TEST_F(LoadRunTest, RefusesAnEmptyTableNameBeforeWritingAnything) {
    WriteBytes("in.csv", "a\n");
    for (const char* table : {"", "  "}) {
        ConversionSettings settings{"in.csv", "out.sql", table, "F"};
        RecordingOwner owner;
        RunConversion(settings, owner);
        EXPECT_EQ(owner.messages,
                  (test::Messages{
                      {"The table name is empty: INSERT INTO needs the table to insert into.", "No Table Name"}}));
        EXPECT_FALSE(fs::exists("out.sql"));
    }
}

class CancelAt : public RunObserver {
public:
    explicit CancelAt(int calls) : left_(calls) {}
    bool Continue(std::uint64_t, std::uint64_t) override { return --left_ > 0; }

private:
    int left_;
};

TEST_F(LoadRunTest, ACancelledTransactionEndsItsStatementAndRollsBack) {
    const int lines = 200000;
    CancelAt cancel(2);
    const RunReport report =
        Run(test::QuotedLines(lines).input, "a,b,c", {.rowsPerInsert = 500, .transaction = true}, &cancel);
    EXPECT_EQ(report.status, RunStatus::Cancelled);
    const std::string output = ReadBytes("out.sql");
    ASSERT_GT(output.size(), 20u);
    EXPECT_EQ(output.substr(0, 8), "BEGIN;\r\n");
    EXPECT_EQ(output.substr(output.size() - 14), ";\r\nROLLBACK;\r\n");
    EXPECT_EQ(output.find("COMMIT"), std::string::npos);
    EXPECT_LT(report.counts.rows, static_cast<std::uint64_t>(lines));
    EXPECT_EQ(report.counts.statements, (report.counts.rows + 499) / 500);
}

}  // namespace
}  // namespace rowsmith
