// The options for the database that loads the output: dialects, NULL for
// empty values, many rows per INSERT, one transaction per run, and the
// count of rows that do not match the field names.
#include <algorithm>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "convert/run/conversion_run.h"
#include "convert/run/output_parts.h"
#include "convert/run/run_message.h"
#include "convert/read/csv_reader.h"
#include "convert/sql/column_types.h"
#include "convert/sql/sql_dialect.h"
#include "inputs.h"
#include "io/sha256.h"
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
        std::string standard;  // PostgreSQL's too
        std::string sqlite;
        std::string mySql;
    };
    const Case cases[] = {
        {"", "''", "''", "''"},
        {"plain", "'plain'", "'plain'", "'plain'"},
        {"O'Brien", "'O''Brien'", "'O''Brien'", "'O''Brien'"},
        {"C:\\new\\table", "'C:\\new\\table'", "'C:\\new\\table'", "'C:\\\\new\\\\table'"},
        {"ends\\", "'ends\\'", "'ends\\'", "'ends\\\\'"},
        {"\\'", "'\\'''", "'\\'''", "'\\\\'''"},
        {std::string("a\0b", 3), "'ab'", "'ab'", "'a\\0b'"},
        {"\\0\\n", "'\\0\\n'", "'\\0\\n'", "'\\\\0\\\\n'"},
        {"\"quoted\"", "'\"quoted\"'", "'\"quoted\"'", "'\"quoted\"'"},
        // The sqlite3 and mariadb shells drop a CR before an LF as they read
        // a line, so neither may see one inside a literal.
        {"a\r\nb", "'a\r\nb'", "'a'||char(13)||'\nb'", "'a\\r\\nb'"},
        {"\r", "'\r'", "''||char(13)||''", "'\\r'"},
    };
    for (const Case& c : cases) {
        const std::pair<const DialectRules*, std::string> forms[] = {{&kStandardRules, c.standard},
                                                                     {&kPostgresqlRules, c.standard},
                                                                     {&kSqliteRules, c.sqlite},
                                                                     {&kMySqlRules, c.mySql}};
        for (const auto& [rules, expected] : forms) {
            std::string literal;
            AppendLiteral(*rules, c.value, literal);
            EXPECT_EQ(literal, expected) << DialectName(rules->dialect) << ": " << c.value;
        }
    }
}

// A column left text says why: the first value no type held, and what it
// would have become.
TEST(ColumnTypes, SayWhichValueKeptAColumnTextAndWhy) {
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"1", "02134"}, "line 3: 02134 would read back as 2134"},
        {{"+5"}, "line 2: +5 would read back as 5"},
        {{"-0"}, "line 2: -0 would read back as 0"},
        {{"9223372036854775808"}, "line 2: 9223372036854775808 is beyond a 64-bit integer"},
        {{"1.50", "2.5"}, "line 3: 2.5 has 1 decimal, where the values before it have 2"},
        {{"1.50", "3"}, "line 3: 3 would read back as 3.00"},
        {{"00.5"}, "line 2: 00.5 would read back as 0.5"},
        {{"-0.00"}, "line 2: -0.00 would read back as 0.00"},
        {{"2024-02-29", "2023-02-29"}, "line 3: 2023-02-29 is no day of the calendar"},
        {{"2024-02-29 24:00:00"},
         "line 2: 2024-02-29 24:00:00 is not an integer, a decimal, a date or a date and time"},
        {{"a\nb"}, "line 2: a... is not an integer, a decimal, a date or a date and time"},
        {{""}, "line 2: an empty value is not an integer, a decimal, a date or a date and time"},
    };
    for (const auto& [values, why] : cases) {
        ColumnTally tally(Dialect::Postgresql, 1);
        for (std::size_t i = 0; i < values.size(); ++i) tally.Add(0, values[i], i + 2);
        EXPECT_EQ(tally.WhyText(0), why) << values.back();
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
         {.null = NullMode::Empty},
         head + "'a',NULL,NULL );\r\n" + head + "NULL,NULL );\r\n",
         {2, 2, 1, 1, 0, 0, 0, 4}},
        // Only unquoted empty values and markers are NULL; a line's field is
        // quoted when it starts with a quote.
        {"unquoted empty as NULL, and markers",
         "\\N,,\"\"\n\"\\N\",NA,\"NA\"\n",
         "",
         {.null = NullMode::UnquotedEmpty, .nullTokens = {"\\N", "NA"}},
         "INSERT INTO T VALUES ( NULL,NULL,'' );\r\nINSERT INTO T VALUES ( '\\N',NULL,'NA' );\r\n",
         {2, 2, 0, 0, 0, 0, 0, 3}},
        {"the same as standard CSV, two rows a statement",
         "\\N,,\"\"\r\n\"\\N\",NA,\"NA\"\r\n",
         "",
         {.null = NullMode::UnquotedEmpty, .rowsPerInsert = 2, .rfc4180 = true, .nullTokens = {"\\N", "NA"}},
         "INSERT INTO T VALUES ( NULL,NULL,'' ),\r\n( '\\N',NULL,'NA' );\r\n",
         {1, 2, 0, 0, 0, 0, 0, 3}},
        {"a marker is every empty value too with --null empty",
         "NA,\"\"\n",
         "",
         {.null = NullMode::Empty, .nullTokens = {"NA"}},
         "INSERT INTO T VALUES ( NULL,NULL );\r\n",
         {1, 1, 0, 0, 0, 0, 0, 2}},
        {"mysql",
         "C:\\new\\table,x\\\n",
         "id, v",
         {.dialect = Dialect::MySql},
         "SET NAMES utf8mb4;\r\n" + head + "'C:\\\\new\\\\table','x\\\\' );\r\n",
         {1, 1, 0, 0}},
        {"mysql, standard CSV",
         "\"C:\\new\",\"x\\\"\"\"\n",
         "id, v",
         {.dialect = Dialect::MySql, .rfc4180 = true},
         "SET NAMES utf8mb4;\r\n" + head + "'C:\\\\new','x\\\\\"' );\r\n",
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
        {"a tab delimiter keeps empty last fields",
         "1\tx\t\t\r\n",
         "F",
         {.delimiter = '\t'},
         "INSERT INTO T ( F ) VALUES ( '1','x','','' );\r\n",
         {1, 1, 1, 1}},
        {"NUL dropped where asked",
         std::string("a\0b,\0\n", 6),
         "id, v",
         {.nul = NulChoice::Strip},
         head + "'ab','' );\r\n",
         {1, 1, 0, 0, 2}},
        {"NUL kept by MySQL",
         std::string("a\0b\n", 4),
         "id",
         {.dialect = Dialect::MySql},
         "SET NAMES utf8mb4;\r\nINSERT INTO T ( id ) VALUES ( 'a\\0b' );\r\n",
         {1, 1, 0, 0}},
        // An integer type only where every value but NULL reads back as it
        // stands: -0, +5 and 02134 do not, nor past 64 bits.
        {"a table whose types keep every value",
         "9223372036854775807,-9223372036854775808,-0,+5\n0,9223372036854775808,5,02134\n,-1,7,1\n",
         "id, v, w, z",
         {.dialect = Dialect::Sqlite, .null = NullMode::Empty, .transaction = true, .createTable = true},
         "BEGIN;\r\nCREATE TABLE IF NOT EXISTS T ( id INTEGER, v TEXT, w TEXT, z TEXT );\r\n"
         "INSERT INTO T ( id, v, w, z ) VALUES ( '9223372036854775807','-9223372036854775808','-0','+5' );\r\n"
         "INSERT INTO T ( id, v, w, z ) VALUES ( '0','9223372036854775808','5','02134' );\r\n"
         "INSERT INTO T ( id, v, w, z ) VALUES ( NULL,'-1','7','1' );\r\nCOMMIT;\r\n",
         {3, 3, 0, 0, 0, 0, 0, 1}},
        {"quoted integers are integers too",
         "-2,\"\",5\r\n\"1\",\"a\"\"b\",6\r\n\"1\"2,x,\"7\"x\r\n",
         "id, v, w",
         {.dialect = Dialect::Postgresql, .rfc4180 = true, .createTable = true},
         "SET standard_conforming_strings = on;\r\nCREATE TABLE IF NOT EXISTS T ( id BIGINT, v TEXT, w TEXT );\r\n"
         "INSERT INTO T ( id, v, w ) VALUES ( '-2','','5' );\r\nINSERT INTO T ( id, v, w ) VALUES ( '1','a\"b','6' "
         ");\r\n"
         "INSERT INTO T ( id, v, w ) VALUES ( '12','x','7x' );\r\n",
         {3, 3, 0, 0}},
        // MySQL commits at CREATE TABLE: the table comes before BEGIN;.
        {"a MySQL table sized for its longest value, a type given",
         "-1," + std::string(70000, 'x') + "\n",
         "\"id\", v",
         {.dialect = Dialect::MySql, .transaction = true, .createTable = true, .columnTypes = {"id=SMALLINT"}},
         "SET NAMES utf8mb4;\r\nCREATE TABLE IF NOT EXISTS T ( \"id\" SMALLINT, v MEDIUMTEXT );\r\nBEGIN;\r\n"
         "INSERT INTO T ( \"id\", v ) VALUES ( '-1','" +
             std::string(70000, 'x') + "' );\r\nCOMMIT;\r\n",
         {1, 1, 0, 0}},
        // The types, the quotes and the count of values follow the chosen
        // columns: the record's own count is held against the header.
        {"columns chosen by name, in another order, one renamed",
         "id,name,zip\na,\"\",5\nb,,7,extra\n",
         "",
         {.null = NullMode::UnquotedEmpty, .header = true, .createTable = true, .columns = "name=who, zip"},
         "CREATE TABLE IF NOT EXISTS T ( \"who\" TEXT, \"zip\" BIGINT );\r\n"
         "INSERT INTO T ( \"who\", \"zip\" ) VALUES ( '','5' );\r\nINSERT INTO T ( \"who\", \"zip\" ) VALUES ( "
         "NULL,'7' "
         ");\r\n",
         {2, 2, 1, 3, 0, 0, 0, 1}},
        {"columns chosen by number, standard CSV",
         "x,\"y\"\"\",z\r\n1,2,3\r\n",
         "a, b",
         {.rfc4180 = true, .columns = "3,2"},
         "INSERT INTO T ( a, b ) VALUES ( 'z','y\"' );\r\nINSERT INTO T ( a, b ) VALUES ( '3','2' );\r\n",
         {2, 2, 0, 0}},
        {"a header name of digits in quotes, a number renamed",
         "2,1\nx,y\n",
         "",
         {.header = true, .columns = "\"1\", 1=first"},
         "INSERT INTO T ( \"1\", \"first\" ) VALUES ( 'y','x' );\r\n",
         {1, 1, 0, 0}},
        {"COPY blocks for psql, NULL as \\N",
         "1,a\\b\n,\"x\ty\"\n",
         "id, v",
         {.dialect = Dialect::Postgresql, .null = NullMode::UnquotedEmpty, .copy = true},
         "\\set ON_ERROR_STOP on\nSET standard_conforming_strings = on;\r\nCOPY T ( id, v ) FROM "
         "stdin;\n1\ta\\\\b\n\\N\tx\\ty\n\\.\n",
         {1, 2, 0, 0, 0, 0, 0, 1}},
        // A NULL key meets no other; 01 may be 1 where the key is a number.
        {"a key met in the open statement starts a new one",
         "1,a\n2,b\n01,c\n,d\n,e\n",
         "id, v",
         {.dialect = Dialect::Sqlite,
          .null = NullMode::Empty,
          .rowsPerInsert = 10,
          .onConflict = OnConflict::Update,
          .key = "id"},
         "INSERT INTO T ( id, v ) VALUES ( '1','a' ),\r\n( '2','b' ) ON CONFLICT ( id ) DO UPDATE SET v = "
         "excluded.v;\r\nINSERT INTO T ( id, v ) VALUES ( '01','c' ),\r\n( NULL,'d' ),\r\n( NULL,'e' ) ON CONFLICT ( "
         "id "
         ") DO UPDATE SET v = excluded.v;\r\n",
         {2, 5, 0, 0, 0, 0, 0, 2}},
        // 1e0 is 1 to PostgreSQL: together they would fail the statement.
        {"a key equal in the column's type starts a new statement",
         "1,a\n1e0,b\n2,c\n",
         "id, v",
         {.dialect = Dialect::Postgresql, .rowsPerInsert = 10, .onConflict = OnConflict::Update, .key = "id"},
         "SET standard_conforming_strings = on;\r\nINSERT INTO T ( id, v ) VALUES ( '1','a' ) ON CONFLICT ( id ) DO "
         "UPDATE SET v = excluded.v;\r\nINSERT INTO T ( id, v ) VALUES ( '1e0','b' ),\r\n( '2','c' ) ON CONFLICT ( id "
         ") DO UPDATE SET v = excluded.v;\r\n",
         {2, 3, 0, 0}},
        {"the key made the created table's primary key",
         "1,a\n2,b\n",
         "id, v",
         {.dialect = Dialect::Sqlite, .createTable = true, .onConflict = OnConflict::Update, .key = "id"},
         "CREATE TABLE IF NOT EXISTS T ( id INTEGER, v TEXT, PRIMARY KEY ( id ) );\r\nINSERT INTO T ( id, v ) VALUES ( "
         "'1','a' ) ON CONFLICT ( id ) DO UPDATE SET v = excluded.v;\r\nINSERT INTO T ( id, v ) VALUES ( '2','b' ) ON "
         "CONFLICT ( id ) DO UPDATE SET v = excluded.v;\r\n",
         {2, 2, 0, 0}},
        // A primary key holds no NULL.
        {"a key with a NULL, given alone, is a unique one",
         "1,a\n,b\n",
         "id, v",
         {.dialect = Dialect::Postgresql, .null = NullMode::Empty, .createTable = true, .key = "id"},
         "SET standard_conforming_strings = on;\r\nCREATE TABLE IF NOT EXISTS T ( id BIGINT, v TEXT, UNIQUE ( id ) "
         ");\r\nINSERT INTO T ( id, v ) VALUES ( '1','a' );\r\nINSERT INTO T ( id, v ) VALUES ( NULL,'b' );\r\n",
         {2, 2, 0, 0, 0, 0, 0, 1}},
        {"a MySQL text key as long as its longest value",
         "ab,1\nabcd,2\n",
         "code, n",
         {.dialect = Dialect::MySql, .createTable = true, .onConflict = OnConflict::Ignore, .key = "code"},
         "SET NAMES utf8mb4;\r\nCREATE TABLE IF NOT EXISTS T ( code VARCHAR(4), n BIGINT, PRIMARY KEY ( code ) "
         ");\r\nINSERT INTO T ( code, n ) VALUES ( 'ab','1' ) ON DUPLICATE KEY UPDATE code = code;\r\nINSERT INTO T ( "
         "code, n ) VALUES ( 'abcd','2' ) ON DUPLICATE KEY UPDATE code = code;\r\n",
         {2, 2, 0, 0}},
        {"a header name holding a line break, written as read",
         "\"a\nb\",c\r\n1,2\r\n",
         "",
         {.header = true, .rfc4180 = true, .createTable = true},
         "CREATE TABLE IF NOT EXISTS T ( \"a\nb\" BIGINT, \"c\" BIGINT );\r\nINSERT INTO T ( \"a\nb\", \"c\" ) VALUES "
         "( "
         "'1','2' );\r\n",
         {1, 1, 0, 0}},
        {"an update with every column in the key leaves the held row",
         "1,a\n",
         "id, v",
         {.dialect = Dialect::Sqlite, .onConflict = OnConflict::Update, .key = "id, v"},
         "INSERT INTO T ( id, v ) VALUES ( '1','a' ) ON CONFLICT ( id, v ) DO NOTHING;\r\n",
         {1, 1, 0, 0}},
        // A marker is NULL to the column types too, not a value that is no number.
        {"the types of a table with NULL markers",
         "1\nNA\n\"NA\"\n2\n",
         "n",
         {.dialect = Dialect::Sqlite, .nullTokens = {"NA"}, .createTable = true},
         "CREATE TABLE IF NOT EXISTS T ( n TEXT );\r\nINSERT INTO T ( n ) VALUES ( '1' );\r\nINSERT INTO T ( n ) "
         "VALUES ( NULL );\r\nINSERT INTO T ( n ) VALUES ( 'NA' );\r\nINSERT INTO T ( n ) VALUES ( '2' );\r\n",
         {4, 4, 0, 0, 0, 0, 0, 1}},
        {"the types of a table with NULL markers, unquoted",
         "1\nNA\n2\n",
         "n",
         {.dialect = Dialect::Sqlite, .nullTokens = {"NA"}, .createTable = true},
         "CREATE TABLE IF NOT EXISTS T ( n INTEGER );\r\nINSERT INTO T ( n ) VALUES ( '1' );\r\nINSERT INTO T ( n "
         ") VALUES ( NULL );\r\nINSERT INTO T ( n ) VALUES ( '2' );\r\n",
         {3, 3, 0, 0, 0, 0, 0, 1}},
        {"the last column by number",
         "id,v,w\n1,2,3\n",
         "",
         {.header = true, .columns = "3"},
         "INSERT INTO T ( \"w\" ) VALUES ( '3' );\r\n",
         {1, 1, 0, 0}},
        {"statements end before their size limit",
         std::string(400, 'x') + "\n" + std::string(400, 'y') + "\n" + std::string(400, 'z') + "\n" +
             std::string(1100, 'w') + "\n",
         "",
         {.rowsPerInsert = 100, .maxStatementBytes = 1024},
         "INSERT INTO T VALUES ( '" + std::string(400, 'x') + "' ),\r\n( '" + std::string(400, 'y') +
             "' );\r\nINSERT INTO T VALUES ( '" + std::string(400, 'z') + "' );\r\nINSERT INTO T VALUES ( '" +
             std::string(1100, 'w') + "' );\r\n",
         {3, 4, 0, 0, 0, 1, 4}},
    };
    for (const Case& c : cases) {
        const RunReport report = Run(c.input, c.fields, c.options);
        EXPECT_EQ(report.status, RunStatus::Done) << c.what;
        EXPECT_EQ(ReadBytes("out.sql"), c.output) << c.what;
        EXPECT_EQ(report.counts.statements, c.counts.statements) << c.what;
        EXPECT_EQ(report.counts.rows, c.counts.rows) << c.what;
        EXPECT_EQ(report.counts.mismatchedRows, c.counts.mismatchedRows) << c.what;
        EXPECT_EQ(report.counts.firstMismatchLine, c.counts.firstMismatchLine) << c.what;
        EXPECT_EQ(report.counts.droppedNuls, c.counts.droppedNuls) << c.what;
        EXPECT_EQ(report.counts.oversizedRows, c.counts.oversizedRows) << c.what;
        EXPECT_EQ(report.counts.firstOversizedLine, c.counts.firstOversizedLine) << c.what;
        EXPECT_EQ(report.counts.nulls, c.counts.nulls) << c.what;
    }
}

// A header's column with no name, or with one given before (as the
// database compares names), gets a name of its own, and the report says
// which; the names the header gives are never taken.
TEST_F(LoadRunTest, HeaderColumnsWithoutANameOfTheirOwnAreNamedAndTheReportSaysSo) {
    struct Case {
        const char* what;
        std::string header;
        Dialect dialect;
        std::string fields;  // as written
        std::vector<std::string> notes;
    };
    const std::string n63(63, 'n');
    const Case cases[] = {
        {"a name given twice",
         "id,v,id",
         Dialect::Standard,
         "\"id\", \"v\", \"id_2\"",
         {"columns 1 and 3 of the header are both named \"id\": column 3 is named \"id_2\""}},
        {"a name missing, a name of blanks, and the name the first would get taken",
         "column1,,  ",
         Dialect::Standard,
         "\"column1\", \"column2\", \"column3\"",
         {"column 2 of the header has no name: it is named \"column2\"",
          "column 3 of the header has no name: it is named \"column3\""}},
        {"a name missing whose given name the header has",
         ",column1",
         Dialect::Sqlite,
         "\"column1_2\", \"column1\"",
         {"column 1 of the header has no name: it is named \"column1_2\""}},
        {"a suffixed name the header has too",
         "a,a,a_2",
         Dialect::MySql,
         "`a`, `a_3`, `a_2`",
         {"columns 1 and 2 of the header are both named \"a\": column 2 is named \"a_3\""}},
        {"names one to SQLite",
         "id,ID",
         Dialect::Sqlite,
         "\"id\", \"ID_2\"",
         {"columns 1 and 2 of the header, \"id\" and \"ID\", are one name to the database: SQLite does not tell "
          "case apart in names: column 2 is named \"ID_2\""}},
        // The suffix must survive the database's cut, or no name is ever free.
        {"names one to PostgreSQL",
         n63 + "a," + n63 + "b",
         Dialect::Postgresql,
         "\"" + n63 + "a\", \"" + std::string(61, 'n') + "_2\"",
         {"columns 1 and 2 of the header, \"" + n63 + "a\" and \"" + n63 +
          "b\", are one name to the database: PostgreSQL keeps only the first 63 bytes of a name: column 2 is "
          "named \"" +
          std::string(61, 'n') + "_2\""}},
    };
    for (const Case& c : cases) {
        const RunReport report = Run(c.header + "\n1,2,3\n", "", {.dialect = c.dialect, .header = true});
        ASSERT_EQ(report.status, RunStatus::Done) << c.what << ": " << report.text;
        const std::string output = ReadBytes("out.sql");
        const std::size_t insert = output.find("INSERT");
        EXPECT_EQ(output.substr(insert, output.find(" )") - insert), "INSERT INTO T ( " + c.fields) << c.what;
        EXPECT_EQ(report.notes, c.notes) << c.what;
    }
}

TEST_F(LoadRunTest, WhatARunCannotWriteStopsItAndAFailedTransactionTakesItsStatementsBack) {
    struct Case {
        const char* what;
        std::string input;
        ConversionOptions options;
        std::string text;     // the report's
        std::string output;   // what the output holds after "-- kept\r\n"
        bool undone = false;  // it was written, and taken back
    };
    const std::string one = "INSERT INTO T ( F ) VALUES ( 'a' );\r\n";
    const Case cases[] = {
        {"a NUL byte",
         std::string("a\nb\0\nc\n", 7),
         {},
         "Cannot read \"in.csv\": line 2 holds a NUL byte, which the standard dialect cannot write (--nul strip "
         "drops such bytes)",
         one},
        {"a NUL byte in a transaction",
         std::string("a\nb\0\nc\n", 7),
         {.transaction = true},
         "Cannot read \"in.csv\": line 2 holds a NUL byte, which the standard dialect cannot write (--nul strip "
         "drops such bytes)",
         "",
         true},
        {"an unclosed quote in a transaction",
         "a\n\"b\n",
         {.transaction = true, .rfc4180 = true},
         "Cannot read \"in.csv\": the quoted field that opens on line 2 is never closed",
         "",
         true},
        // The open block still ends, so that psql reads on past it.
        {"a NUL byte in a COPY row",
         std::string("a\nb\0\n", 5),
         {.dialect = Dialect::Postgresql, .copy = true},
         "Cannot read \"in.csv\": line 2 holds a NUL byte, which the postgresql dialect cannot write (--nul strip "
         "drops such bytes)",
         "\\set ON_ERROR_STOP on\nSET standard_conforming_strings = on;\r\nCOPY T ( F ) FROM stdin;\na\n\\.\n"},
        {"a record without a chosen column",
         "id,v\n1,a\n2\n",
         {.transaction = true, .header = true, .columns = "v"},
         "Cannot read \"in.csv\": line 3 has 1 value, and --columns takes column 2",
         "",
         true},
        {"a standard CSV record without a chosen column, after one of quotes",
         "id,v,w\n1,\"a\"\"\",b\n\"2\",\"x\"\n",
         {.transaction = true, .header = true, .rfc4180 = true, .columns = "w"},
         "Cannot read \"in.csv\": line 3 has 2 values, and --columns takes column 3",
         "",
         true},
        // A record read as values takes memory for each: their number is bounded.
        {"a line of too many fields",
         "a\n" + std::string(CsvReader::kMaxFields + 1, ',') + "\n",
         {.rowsPerInsert = 2, .transaction = true, .columns = "1"},
         "Cannot read \"in.csv\": line 2 has more than 1048576 fields, the most Rowsmith reads",
         "",
         true},
        {"a record of too many fields",
         "a\n" + std::string(CsvReader::kMaxFields + 1, ',') + "\n",
         {.transaction = true, .rfc4180 = true},
         "Cannot read \"in.csv\": the record that starts on line 2 has more than 1048576 fields, the most Rowsmith "
         "reads",
         "",
         true},
        {"columns the header lacks",
         "id,v\n1,2\n",
         {.header = true, .columns = "v, x, Id"},
         "Cannot read \"in.csv\": --columns names \"x\" and \"Id\", which the header does not have; its columns are "
         "\"id\" and \"v\"",
         ""},
    };
    for (const Case& c : cases) {
        WriteBytes("in.csv", c.input);
        WriteBytes("out.sql", "-- kept\r\n");
        ConversionSettings settings{"in.csv", "out.sql", "T", c.options.header ? "" : "F"};
        const RunReport report = ConvertFile(settings, nullptr, c.options);
        EXPECT_EQ(report.status, RunStatus::ReadFailed) << c.what;
        EXPECT_EQ(report.text, c.text) << c.what;
        EXPECT_EQ(ReadBytes("out.sql"), "-- kept\r\n" + c.output) << c.what;
        EXPECT_EQ(report.undone, c.undone) << c.what;
    }
}

// With --rejects the same records go aside, as they stand in the input,
// and the run writes the rest; more than --max-rejects of them fail it.
TEST_F(LoadRunTest, WhatWouldNotLoadIsSetAsideAsItStandsAndTheRestWritten) {
    struct Case {
        const char* what;
        std::string input;
        ConversionOptions options;
        std::string output;   // what the output holds after "-- kept\r\n"
        std::string rejects;  // the file's bytes
        std::string log;      // and its log's
        std::string failure;  // the report's text, where the run fails
    };
    const std::string head = "INSERT INTO T ( F, G ) VALUES ( ";
    const std::string tooMany = "3" + std::string(CsvReader::kMaxFields + 1, ',');
    const Case cases[] = {
        {"another number of values, a statement a row",
         "1,a\n2\n3,c,d\r\n4,d\n",
         {},
         head + "'1','a' );\r\n" + head + "'4','d' );\r\n",
         "2\n3,c,d\n",
         "in.csv:2: has 1 value instead of 2\nin.csv:3: has 3 values instead of 2\n"},
        {"another number of values, rows of a statement",
         "1,a\n2\n3,c\n",
         {.rowsPerInsert = 5},
         head + "'1','a' ),\r\n( '3','c' );\r\n",
         "2\n",
         "in.csv:2: has 1 value instead of 2\n"},
        {"a NUL byte, and quotes kept as written",
         std::string("1,\"a\"\"\"\n2,\"b\0\"\n", 15),
         {.rfc4180 = true, .nullTokens = {"N"}},
         head + "'1','a\"' );\r\n",
         std::string("2,\"b\0\"\n", 7),
         "in.csv:2: holds a NUL byte, which the standard dialect cannot write (--nul strip drops such bytes)\n"},
        {"a NUL byte in a COPY block",
         std::string("1,a\n2,\0\n3,c\n", 12),
         {.dialect = Dialect::Postgresql, .copy = true},
         "\\set ON_ERROR_STOP on\nSET standard_conforming_strings = on;\r\nCOPY T ( F, G ) FROM stdin;\n1\ta\n3\tc\n"
         "\\.\n",
         std::string("2,\0\n", 4),
         "in.csv:2: holds a NUL byte, which the postgresql dialect cannot write (--nul strip drops such bytes)\n"},
        {"a statement over the limit on its own",
         "1,a\n2," + std::string(1100, 'b') + "\n",
         {.maxStatementBytes = 1024},
         head + "'1','a' );\r\n",
         "2," + std::string(1100, 'b') + "\n",
         "in.csv:2: makes a statement of 1143 bytes on its own, over --max-statement-bytes 1024\n"},
        {"too many fields",
         "1,a\n" + tooMany + "\n",
         {.rowsPerInsert = 2, .columns = "1,2"},
         head + "'1','a' );\r\n",
         tooMany + "\n",
         "in.csv:2: line 2 has more than 1048576 fields, the most Rowsmith reads\n"},
        {"bytes the character set lacks, in UTF-8 as U+FFFD",
         "1,caf\xE9\n2,x\x81\n",
         {.encoding = "windows-1252"},
         head + "'1','caf\xC3\xA9' );\r\n",
         "2,x\xEF\xBF\xBD\n",
         "in.csv:2: holds bytes that are not valid windows-1252 text (here each as U+FFFD)\n"},
        {"a quoted field never closed",
         "1,a\n\"4,\nd\n",
         {.rfc4180 = true},
         head + "'1','a' );\r\n",
         "\"4,\nd\n",
         "in.csv:2: the quoted field that opens on line 2 is never closed\n"},
        {"more than --max-rejects, in a transaction",
         "1,a\n2\n3\n4,d\n",
         {.transaction = true, .maxRejects = 1},
         "",
         "2\n3\n",
         "in.csv:2: has 1 value instead of 2\nin.csv:3: has 1 value instead of 2\n",
         "Cannot read \"in.csv\": more than 1 records would not load (--max-rejects 1); the last is line 3, and "
         "rejects.csv.log names each"},
    };
    for (const Case& c : cases) {
        WriteBytes("in.csv", c.input);
        WriteBytes("out.sql", "-- kept\r\n");
        ConversionOptions options = c.options;
        options.rejects = "rejects.csv";
        ConversionSettings settings{"in.csv", "out.sql", "T", "F, G"};
        const RunReport report = ConvertFile(settings, nullptr, options);
        EXPECT_EQ(report.status, c.failure.empty() ? RunStatus::Done : RunStatus::ReadFailed) << c.what;
        EXPECT_EQ(report.text, c.failure.empty() ? "Done" : c.failure) << c.what;
        EXPECT_EQ(ReadBytes("out.sql"), "-- kept\r\n" + c.output) << c.what;
        EXPECT_EQ(ReadBytes("rejects.csv"), c.rejects) << c.what;
        EXPECT_EQ(ReadBytes("rejects.csv.log"), c.log) << c.what;
        EXPECT_EQ(report.counts.mismatchedRows, 0u) << c.what;
    }
    // Never over the input or the output; never without a file to count for.
    WriteBytes("in.csv", "1,a\n");
    for (const char* path : {"in.csv", "out.sql"}) {
        ConversionSettings settings{"in.csv", "out.sql", "T", "F, G"};
        const RunReport report = ConvertFile(settings, nullptr, {.rejects = path});
        EXPECT_EQ(report.status, RunStatus::BadOptions) << path;
        EXPECT_EQ(ReadBytes("in.csv"), "1,a\n");
    }
    EXPECT_EQ(OptionsProblem({.maxRejects = 3}),
              "--max-rejects counts the records --rejects sets aside: give --rejects FILE too");
    EXPECT_EQ(OptionsProblem({.decimalComma = true}),
              "--decimal-comma types columns of decimal commas: give --create-table too");
}

// A second --create-table run into an output that creates the table with
// other types or columns stops before it writes: its values would load
// into the first's types.
TEST_F(LoadRunTest, ATableCreatedBeforeWithOtherTypesStopsTheRun) {
    struct Case {
        const char* what;
        std::string second;
        std::string problem;
    };
    const Case cases[] = {
        {"the same types", "id,zip\n2,23456\n", ""},
        {"a value the first types would change", "id,zip\n2,01234\n",
         "the output creates the table T already, with \"zip\" BIGINT, where this run's values need \"zip\" TEXT: "
         "append to another output, or give the column that --type"},
        {"another column", "id,zip,city\n2,3,x\n",
         "the output creates the table T already, with 2 entries, where this run's need 3: append to another "
         "output, or give the column that --type"},
    };
    for (const Case& c : cases) {
        std::filesystem::remove("out.sql");
        WriteBytes("first.csv", "id,zip\n1,12345\n");
        WriteBytes("second.csv", c.second);
        const ConversionOptions options{.header = true, .createTable = true};
        ConversionSettings first{"first.csv", "out.sql", "T", ""};
        ASSERT_EQ(ConvertFile(first, nullptr, options).status, RunStatus::Done) << c.what;
        const std::string before = ReadBytes("out.sql");
        ConversionSettings second{"second.csv", "out.sql", "T", ""};
        const RunReport report = ConvertFile(second, nullptr, options);
        EXPECT_EQ(report.status, c.problem.empty() ? RunStatus::Done : RunStatus::BadOptions) << c.what;
        EXPECT_EQ(report.reason, c.problem) << c.what;
        if (!c.problem.empty()) {
            EXPECT_EQ(ReadBytes("out.sql"), before) << c.what;
        }
    }
}

// Columns and keys that cannot be chosen stop the run before it writes,
// saying which.
TEST_F(LoadRunTest, ColumnsAndKeysThatCannotBeChosenStopTheRun) {
    struct Case {
        const char* what;
        std::string fields;
        ConversionOptions options;
        RunStatus status;
        std::string reason;
    };
    const Case cases[] = {
        {"one column past the header's",
         "",
         {.header = true, .columns = "4"},
         RunStatus::ReadFailed,
         "--columns takes column 4, and the header has 3"},
        {"a column taken twice",
         "",
         {.header = true, .columns = "2, v"},
         RunStatus::ReadFailed,
         "--columns takes column 2 twice"},
        {"a column taken twice, by number",
         "a, b",
         {.columns = "2,2"},
         RunStatus::BadOptions,
         "--columns takes column 2 twice"},
        {"a key not among the fields",
         "id, v",
         {.dialect = Dialect::Sqlite, .onConflict = OnConflict::Ignore, .key = "x"},
         RunStatus::BadOptions,
         "--key names \"x\", which is not among the fields (id, v)"},
        {"a quoted key read as the fields are",
         "\"a\"\"b\", c",
         {.dialect = Dialect::Sqlite, .createTable = true, .columnTypes = {"\"a\"\"b\"=INTEGER"}, .key = "\"a\"\"b\""},
         RunStatus::Done,
         ""},
    };
    for (const Case& c : cases) {
        const RunReport report = Run("id,v,w\n1,2,3\n", c.fields, c.options);
        EXPECT_EQ(report.status, c.status) << c.what << ": " << report.text;
        EXPECT_EQ(report.reason, c.reason) << c.what;
    }
}

// What the output ends with decides where a run begins: a transaction left
// open is rolled back first, a statement of Rowsmith's cut short (a run
// killed as it wrote) is taken away, and text of anyone else's that is no
// whole statement stops the run before it writes.
TEST_F(LoadRunTest, WhatTheOutputEndsWithDecidesWhereTheRunBegins) {
    const std::string row = "INSERT INTO T ( F ) VALUES ( 'new' );\r\n";
    const std::string unfinished = "BEGIN;\r\nINSERT INTO T ( F ) VALUES ( 'old' );\r\n";
    const ConversionOptions transaction{.transaction = true};
    const ConversionOptions copy{.dialect = Dialect::Postgresql, .transaction = true, .copy = true};
    const std::string copyRun =
        "\\set ON_ERROR_STOP on\nSET standard_conforming_strings = on;\r\nBEGIN;\r\n"
        "COPY T ( F ) FROM stdin;\nnew\n\\.\nCOMMIT;\r\n";
    struct Case {
        const char* what;
        std::string before;
        ConversionOptions options;
        std::string kept;  // what stays of before
        std::string added;
        std::uint64_t cut = 0;
        bool closed = false;
        bool joined = false;
        RunStatus status = RunStatus::Done;
    };
    const std::string transactionRun = "BEGIN;\r\n" + row + "COMMIT;\r\n";
    const Case cases[] = {
        {"a transaction left open", unfinished, transaction, unfinished, "ROLLBACK;\r\n" + transactionRun, 0, true},
        {"one after a finished one", "BEGIN;\r\nCOMMIT;\r\n" + unfinished, transaction,
         "BEGIN;\r\nCOMMIT;\r\n" + unfinished, "ROLLBACK;\r\n" + transactionRun, 0, true},
        // The BEGIN; may stand far back, many blocks of the file before its end.
        {"one begun far back", "COMMIT;\r\nBEGIN;\r\n" + test::QuotedLines(5000).statements, transaction,
         "COMMIT;\r\nBEGIN;\r\n" + test::QuotedLines(5000).statements, "ROLLBACK;\r\n" + transactionRun, 0, true},
        {"a finished one", unfinished + "COMMIT;\r\n", transaction, unfinished + "COMMIT;\r\n", transactionRun},
        {"a COMMIT; line inside a value", "BEGIN;\r\nINSERT INTO T ( F ) VALUES ( 'x\r\nCOMMIT;\r\ny' );\r\n",
         transaction, "BEGIN;\r\nINSERT INTO T ( F ) VALUES ( 'x\r\nCOMMIT;\r\ny' );\r\n",
         "ROLLBACK;\r\n" + transactionRun, 0, true},
        {"a statement cut inside a literal", unfinished + "INSERT INTO T ( F ) VALUES ( ');\r\nDROP", transaction,
         unfinished, "ROLLBACK;\r\n" + transactionRun, 38, true},
        {"the same, a run without a transaction",
         unfinished + "INSERT INTO T ( F ) VAL",
         {},
         unfinished,
         row,
         23,
         false,
         true},
        {"a COPY block cut inside a row", "BEGIN;\r\nCOPY T ( F ) FROM stdin;\nold\nol", copy, "BEGIN;\r\n",
         "ROLLBACK;\r\n" + copyRun, 31, true},
        {"cut between a statement's CR and LF",
         row + "INSERT INTO T ( F ) VALUES ( 'x' );\r",
         {},
         row + "INSERT INTO T ( F ) VALUES ( 'x' );\r",
         row},
        {"someone else's text, no whole statement", "SELECT 'a", transaction, "SELECT 'a", "", 0, false, false,
         RunStatus::UnsafeOutput},
    };
    for (const Case& c : cases) {
        WriteBytes("in.csv", "new\n");
        WriteBytes("out.sql", c.before);
        ConversionSettings settings{"in.csv", "out.sql", "T", "F"};
        const RunReport report = ConvertFile(settings, nullptr, c.options);
        EXPECT_EQ(report.status, c.status) << c.what;
        EXPECT_EQ(ReadBytes("out.sql"), c.kept + c.added) << c.what;
        EXPECT_EQ(report.cutBytes, c.cut) << c.what;
        EXPECT_EQ(report.closedUnfinished, c.closed) << c.what;
        EXPECT_EQ(report.joinedTransaction, c.joined) << c.what;
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

// PostgreSQL's batches end where they load fastest unless the user says
// otherwise; the other databases' keep to the statement limit.
TEST_F(LoadRunTest, BatchesEndWhereTheirDatabaseLoadsThemFastest) {
    std::string input;
    for (int i = 0; i < 300; ++i) input += std::to_string(i) + "," + std::string(990, 'x') + "\n";
    struct Case {
        ConversionOptions options;
        std::uint64_t statements;
        std::size_t longest;  // bytes of a statement at most
    };
    const Case cases[] = {
        {{.dialect = Dialect::Postgresql, .rowsPerInsert = 1000}, 19, kPostgresBatchBytes},
        {{.dialect = Dialect::Postgresql, .rowsPerInsert = 1000, .maxStatementBytes = 1 << 20}, 1, 1 << 20},
        {{.dialect = Dialect::Postgresql, .rowsPerInsert = 10}, 30, kPostgresBatchBytes},
        {{.dialect = Dialect::Sqlite, .rowsPerInsert = 1000}, 1, kDefaultStatementBytes},
        {{.dialect = Dialect::MySql, .rowsPerInsert = 1000}, 1, kDefaultStatementBytes},
    };
    for (const Case& c : cases) {
        const RunReport report = Run(input, "id, v", c.options);
        EXPECT_EQ(report.counts.statements, c.statements) << DialectName(c.options.dialect);
        EXPECT_EQ(report.counts.rows, 300u);
        const std::string output = ReadBytes("out.sql");
        std::size_t longest = 0;
        for (std::size_t at = 0, end; (end = output.find(";\r\n", at)) != std::string::npos; at = end + 3)
            longest = std::max(longest, end + 3 - at);
        EXPECT_LE(longest, c.longest) << DialectName(c.options.dialect);
    }
}

TEST_F(LoadRunTest, ACancelledTransactionEndsItsStatementAndRollsBack) {
    const int lines = 200000;
    test::CancelAfter cancel(2);
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

namespace rowsmith {
namespace {

// What a manifest says of each part, read back with a pattern of its own.
struct ListedPart {
    std::string file;
    std::uint64_t rows = 0;
    std::uint64_t bytes = 0;
    std::string sha256;
};

std::vector<ListedPart> ListedParts(const std::string& manifest) {
    static const std::regex kPart(
        R"re(\{"file": "([^"]+)"(?:, "createsTable": true)?, "rows": (\d+)(?:, "first": \{[^}]*\}, "last": \{[^}]*\})?, "bytes": (\d+), "sha256": "([0-9a-f]{64})"\})re");
    std::vector<ListedPart> parts;
    for (auto it = std::sregex_iterator(manifest.begin(), manifest.end(), kPart); it != std::sregex_iterator(); ++it)
        parts.push_back({(*it)[1], std::stoull((*it)[2]), std::stoull((*it)[3]), (*it)[4]});
    return parts;
}

std::string Sha256Of(const std::string& bytes) {
    Sha256 hash;
    hash.Add(bytes.data(), bytes.size());
    return hash.Hex();
}

// Split output: parts that are each a whole script, under their limits,
// holding every row once in order, and a manifest that tells them true.
TEST_F(LoadRunTest, SplitOutputIsWholeScriptsListedByAManifest) {
    const int lines = 3000;
    const test::Lines input = test::QuotedLines(lines);
    struct Case {
        const char* what;
        ConversionOptions options;
        std::string start;  // what each part of rows begins with
        std::string end;    // and ends with
    };
    const Case cases[] = {
        {"rows", {.splitRows = 700}, "INSERT", ";\r\n"},
        {"bytes, one row a statement", {.splitBytes = 4096}, "INSERT", ";\r\n"},
        {"both, in transactions",
         {.transaction = true, .splitRows = 50, .splitBytes = 8192},
         "BEGIN;\r\n",
         "COMMIT;\r\n"},
        {"batches",
         {.dialect = Dialect::MySql, .rowsPerInsert = 64, .transaction = true, .splitBytes = 20000},
         "SET NAMES utf8mb4;\r\nBEGIN;\r\n",
         ");\r\nCOMMIT;\r\n"},
        {"upserts",
         {.dialect = Dialect::Sqlite,
          .rowsPerInsert = 10,
          .onConflict = OnConflict::Update,
          .key = "F",
          .splitRows = 500},
         "INSERT",
         "ON CONFLICT ( F ) DO NOTHING;\r\n"},
        {"COPY",
         {.dialect = Dialect::Postgresql, .copy = true, .splitRows = 1000},
         std::string(kCopySessionLine) + "SET standard_conforming_strings = on;\r\nCOPY ",
         "\\.\n"},
    };
    for (const Case& c : cases) {
        const RunReport report = Run(input.input, "F", c.options);
        ASSERT_EQ(report.status, RunStatus::Done) << c.what << ": " << report.reason;
        EXPECT_FALSE(fs::exists("out.sql")) << c.what;
        const std::string manifest = ReadBytes("out.manifest.json");
        const std::vector<ListedPart> parts = ListedParts(manifest);
        ASSERT_EQ(parts.size(), report.parts) << c.what;
        // Rows of one key may sit in two parts: upserts load them in order.
        const bool inOrder = c.options.onConflict != OnConflict::None;
        EXPECT_NE(manifest.find(inOrder ? "\"loadInOrder\": true" : "\"loadInOrder\": false"), std::string::npos)
            << c.what;
        std::uint64_t rows = 0;
        std::string statements;
        for (const ListedPart& part : parts) {
            const std::string bytes = ReadBytes(part.file);
            EXPECT_EQ(bytes.size(), part.bytes) << c.what << ": " << part.file;
            EXPECT_EQ(Sha256Of(bytes), part.sha256) << c.what << ": " << part.file;
            EXPECT_EQ(bytes.substr(0, c.start.size()), c.start) << c.what << ": " << part.file;
            EXPECT_TRUE(bytes.ends_with(c.end)) << c.what << ": " << part.file;
            EXPECT_LE(part.rows, c.options.splitRows != 0 ? c.options.splitRows : lines) << c.what;
            EXPECT_LE(part.bytes, c.options.splitBytes != 0 ? c.options.splitBytes : bytes.size()) << c.what;
            rows += part.rows;
            std::istringstream text(bytes);
            for (std::string line; std::getline(text, line);)
                if (line.starts_with("INSERT")) statements += line + "\n";
        }
        EXPECT_EQ(rows, static_cast<std::uint64_t>(lines)) << c.what;
        // One row a statement: the statements of one output, cut between two.
        if (c.options.rowsPerInsert == 1 && !c.options.copy) {
            EXPECT_TRUE(statements == input.statements) << c.what;
        }
        // Fewer parts the next time: the ones past them go.
        const RunReport again = Run(input.input, "F", {.splitRows = lines});
        EXPECT_EQ(again.parts, 1u) << c.what;
        for (const ListedPart& part : parts) EXPECT_EQ(fs::exists(part.file), part.file == "out.00001.sql") << c.what;
    }

    // A row that begins a part is counted once, whichever way it is read.
    std::string nuls;
    for (int i = 0; i < 10; ++i) nuls += std::string("a\0b,", 4) + std::to_string(i) + "\n";
    for (const char* columns : {"", "1"}) {  // the scanner's rows, and values read one by one
        const RunReport dropped = Run(nuls, "F", {.nul = NulChoice::Strip, .columns = columns, .splitRows = 3});
        EXPECT_EQ(dropped.counts.droppedNuls, 10u) << columns;
        EXPECT_EQ(dropped.counts.rows, 10u) << columns;
        EXPECT_EQ(dropped.counts.statements, 10u) << columns;
    }

    // Cancelled: the whole parts stay, the one being written goes, and no manifest.
    test::CancelAfter cancel(3);
    const RunReport cancelled =
        Run(test::QuotedLines(200000).input, "F", {.transaction = true, .splitRows = 20000}, &cancel);
    EXPECT_EQ(cancelled.status, RunStatus::Cancelled);
    EXPECT_FALSE(fs::exists("out.manifest.json"));
    ASSERT_GT(cancelled.parts, 0u);
    for (std::size_t number = 1; number <= cancelled.parts; ++number) {
        EXPECT_TRUE(ReadBytes(OutputParts::PartName("out.sql", number)).ends_with("COMMIT;\r\n")) << number;
    }
    EXPECT_FALSE(fs::exists(OutputParts::PartName("out.sql", cancelled.parts + 1)));

    // A part, or a file a run takes away, that is an input stops the run, the input kept.
    struct Refusal {
        const char* input;
        ConversionOptions options;
        const char* parts;  // what the message says of them
    };
    const Refusal refusals[] = {
        {"out.00002.sql", {.splitRows = 1}, "1 whole part stays (out.00001.sql), but no manifest"},
        {"out.manifest.json", {.splitRows = 1}, "No whole part was written"},
        {"out.create.sql", {.splitRows = 1}, "No whole part was written"},
        {"out.00002.sql", {.splitRows = 5}, "1 whole part stays (out.00001.sql), but no manifest"},
    };
    for (const Refusal& r : refusals) {
        WriteBytes(r.input, "1\n2\n3\n");
        ConversionSettings settings{r.input, "out.sql", "T", "F"};
        const RunReport refused = ConvertFile(settings, nullptr, r.options);
        EXPECT_EQ(refused.status, RunStatus::WriteFailed) << r.input;
        EXPECT_TRUE(
            WindowMessage(refused, "out.sql")
                .text.starts_with("Save to File\n\n" + std::string(r.input) + ": it is one of the inputs.\n" + r.parts))
            << WindowMessage(refused, "out.sql").text;
        EXPECT_EQ(ReadBytes(r.input), "1\n2\n3\n");
        fs::remove(r.input);
    }
}

}  // namespace
}  // namespace rowsmith
