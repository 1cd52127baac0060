// Every line of the tricky corpus, converted by the engine, goes into real
// databases: the statement must run, add exactly one row, and every column
// must hold exactly the bytes the rules give for that field (worked out
// here by the plain reference reading, not by the engine).
#include <libpq-fe.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "convert/conversion_run.h"
#include "convert/row_conversion.h"
#include "db/db_clients.h"
#include "reference_rules.h"
#include "test_support.h"

namespace rowsmith {
namespace {

namespace fs = std::filesystem;
using test::ReadBytes;
using test::TempDirTest;
using test::WriteBytes;

struct CorpusLine {
    std::string name;   // file:line, for messages
    std::string bytes;  // as in the file, with its line end
};

std::vector<CorpusLine> LoadCorpus() {
    std::vector<CorpusLine> lines;
    for (const char* file : {"tricky.csv", "large-lines.csv", "backslashes.csv"}) {
        const std::string bytes = ReadBytes(fs::path(ROWSMITH_TEST_DATA_DIR) / file);
        EXPECT_FALSE(bytes.empty()) << file;
        std::size_t start = 0;
        for (int number = 1; start < bytes.size(); ++number) {
            const std::size_t lf = bytes.find('\n', start);
            const std::size_t end = lf == std::string::npos ? bytes.size() : lf + 1;
            lines.push_back({std::string(file) + ":" + std::to_string(number), bytes.substr(start, end - start)});
            start = end;
        }
    }
    return lines;
}

// One line made ready for a database: its statement from the engine, and
// the values it must give.
struct Case {
    std::string name;
    std::string table;
    std::string statement;
    std::string mySqlStatement;  // with the MySQL dialect
    std::vector<std::string> values;
    bool hasNul = false;
};

class DatabaseRoundTripTest : public TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        int index = 0;
        for (const CorpusLine& line : LoadCorpus()) {
            Case c;
            c.name = line.name;
            c.table = "row_" + std::to_string(++index);
            const std::vector<std::string> text = reference::TextLines(line.bytes);
            ASSERT_EQ(text.size(), 1u) << line.name;
            c.values = reference::Values(text[0]);
            c.hasNul = line.bytes.find('\0') != std::string::npos;

            std::string fields;
            for (std::size_t i = 1; i <= c.values.size(); ++i) fields += (i > 1 ? "," : "") + Column(i);
            WriteBytes("line.csv", line.bytes);
            fs::remove("line.sql");
            ConversionSettings settings{"line.csv", "line.sql", c.table, fields};
            ASSERT_EQ(ConvertFile(settings).status, RunStatus::Done) << line.name;
            c.statement = ReadBytes("line.sql");
            fs::remove("line.sql");
            ASSERT_EQ(ConvertFile(settings, nullptr, {.dialect = Dialect::MySql}).status, RunStatus::Done) << line.name;
            c.mySqlStatement = ReadBytes("line.sql");
            cases.push_back(std::move(c));
        }
        ASSERT_GE(cases.size(), 45u);
    }

    static std::string Column(std::size_t i) { return "c" + std::to_string(i); }

    static std::string CreateTable(const Case& c) {
        std::string sql = "CREATE TABLE " + c.table + " (";
        for (std::size_t i = 1; i <= c.values.size(); ++i) sql += (i > 1 ? ", " : " ") + Column(i) + " text";
        return sql + " )";
    }

    // Neither database takes a NUL byte inside the text of a statement: such
    // a line is checked against the rules only.
    static bool SkipNul(const Case& c, const char* database) {
        if (!c.hasNul) return false;
        std::cout << c.name << ": holds a NUL byte, which " << database
                  << " cannot take inside SQL text; its statement is checked against the rules only\n";
        EXPECT_EQ(c.statement,
                  "INSERT INTO " + c.table + " ( " + StatementFields(c) + " ) VALUES ( " + ValueList(c) + " );\r\n");
        return true;
    }
    static std::string StatementFields(const Case& c) {
        std::string fields;
        for (std::size_t i = 1; i <= c.values.size(); ++i) fields += (i > 1 ? "," : "") + Column(i);
        return fields;
    }
    static std::string ValueList(const Case& c) {
        std::string list;
        for (const std::string& value : c.values) list += (list.empty() ? "" : ",") + reference::Literal(value);
        return list;
    }

    std::vector<Case> cases;
};

TEST_F(DatabaseRoundTripTest, SqliteGetsEveryValueByteForByte) {
    sqlite3* raw = nullptr;
    ASSERT_EQ(sqlite3_open(":memory:", &raw), SQLITE_OK);
    std::unique_ptr<sqlite3, int (*)(sqlite3*)> db(raw, sqlite3_close);
    for (const Case& c : cases) {
        if (SkipNul(c, "SQLite")) continue;
        ASSERT_EQ(sqlite3_exec(db.get(), CreateTable(c).c_str(), nullptr, nullptr, nullptr), SQLITE_OK)
            << c.name << ": " << sqlite3_errmsg(db.get());
        char* error = nullptr;
        EXPECT_EQ(sqlite3_exec(db.get(), c.statement.c_str(), nullptr, nullptr, &error), SQLITE_OK)
            << c.name << ": " << (error ? error : "");
        sqlite3_free(error);
        EXPECT_EQ(sqlite3_changes(db.get()), 1) << c.name;

        sqlite3_stmt* select = nullptr;
        ASSERT_EQ(sqlite3_prepare_v2(db.get(), ("SELECT * FROM " + c.table).c_str(), -1, &select, nullptr), SQLITE_OK);
        std::vector<std::vector<std::string>> rows;
        while (sqlite3_step(select) == SQLITE_ROW) {
            std::vector<std::string> row;
            for (int i = 0; i < sqlite3_column_count(select); ++i) {
                const auto* bytes = static_cast<const char*>(sqlite3_column_blob(select, i));
                row.emplace_back(bytes ? bytes : "", static_cast<std::size_t>(sqlite3_column_bytes(select, i)));
                EXPECT_EQ(sqlite3_column_type(select, i), SQLITE_TEXT) << c.name;
            }
            rows.push_back(row);
        }
        sqlite3_finalize(select);
        ASSERT_EQ(rows.size(), 1u) << c.name;
        EXPECT_EQ(rows[0], c.values) << c.name;
    }
    // The injection attempts made no table go away.
    sqlite3_stmt* count = nullptr;
    ASSERT_EQ(
        sqlite3_prepare_v2(db.get(), "SELECT count(*) FROM sqlite_master WHERE type = 'table'", -1, &count, nullptr),
        SQLITE_OK);
    ASSERT_EQ(sqlite3_step(count), SQLITE_ROW);
    const auto withoutNul = std::count_if(cases.begin(), cases.end(), [](const Case& c) { return !c.hasNul; });
    EXPECT_EQ(sqlite3_column_int(count, 0), withoutNul);
    sqlite3_finalize(count);
}

TEST_F(DatabaseRoundTripTest, PostgresqlGetsEveryValueByteForByte) {
    std::string why;
    const std::string dir = test::PostgresDir(why);
    if (dir.empty()) GTEST_SKIP() << why;
    const std::string conninfo = "host=" + dir + " user=postgres dbname=postgres";
    std::unique_ptr<PGconn, void (*)(PGconn*)> conn(PQconnectdb(conninfo.c_str()), PQfinish);
    ASSERT_EQ(PQstatus(conn.get()), CONNECTION_OK) << PQerrorMessage(conn.get());
    auto exec = [&conn](const std::string& sql, ExecStatusType expected, const std::string& name) {
        std::unique_ptr<PGresult, void (*)(PGresult*)> result(PQexec(conn.get(), sql.c_str()), PQclear);
        EXPECT_EQ(PQresultStatus(result.get()), expected) << name << ": " << PQerrorMessage(conn.get());
        return std::string(PQcmdTuples(result.get()));
    };
    for (const Case& c : cases) {
        if (SkipNul(c, "PostgreSQL")) continue;
        exec("DROP TABLE IF EXISTS " + c.table, PGRES_COMMAND_OK, c.name);
        exec(CreateTable(c), PGRES_COMMAND_OK, c.name);
        EXPECT_EQ(exec(c.statement, PGRES_COMMAND_OK, c.name), "1") << c.name;

        // Binary results give each text column's bytes exactly.
        std::unique_ptr<PGresult, void (*)(PGresult*)> rows(
            PQexecParams(conn.get(), ("SELECT * FROM " + c.table).c_str(), 0, nullptr, nullptr, nullptr, nullptr, 1),
            PQclear);
        ASSERT_EQ(PQresultStatus(rows.get()), PGRES_TUPLES_OK) << c.name;
        ASSERT_EQ(PQntuples(rows.get()), 1) << c.name;
        std::vector<std::string> row;
        for (int i = 0; i < PQnfields(rows.get()); ++i) {
            row.emplace_back(PQgetvalue(rows.get(), 0, i), static_cast<std::size_t>(PQgetlength(rows.get(), 0, i)));
        }
        EXPECT_EQ(row, c.values) << c.name;
    }
}

TEST_F(DatabaseRoundTripTest, MariaDbGetsEveryValueByteForByteThroughTheMySqlDialect) {
    std::string why;
    const std::string dir = test::MariaDbDir(why);
    if (dir.empty()) GTEST_SKIP() << why;
    // One script, run by the mariadb client as a user would run the output:
    // the client itself splits it into statements, so an injected statement
    // would run. The victim table must survive.
    std::string script =
        "DROP DATABASE IF EXISTS roundtrip;\nCREATE DATABASE roundtrip;\nUSE roundtrip;\n"
        "CREATE TABLE victims ( id int );\nINSERT INTO victims VALUES ( 1 );\n";
    for (const Case& c : cases) {
        std::string create = "CREATE TABLE " + c.table + " (";
        for (std::size_t i = 1; i <= c.values.size(); ++i) create += (i > 1 ? ", " : " ") + Column(i) + " longblob";
        // InnoDB rows cannot hold a thousand columns; MyISAM ones can.
        script += create + " ) ENGINE=MyISAM;\n" + c.mySqlStatement;
    }
    WriteBytes("load.sql", script);
    std::string errors;
    ASSERT_EQ(test::LoadIntoMariaDb(dir, "", "load.sql", errors), 0) << errors;
    for (const Case& c : cases) {
        const std::vector<test::Row> rows = test::QueryMariaDb(dir, "roundtrip", "SELECT * FROM " + c.table);
        ASSERT_EQ(rows.size(), 1u) << c.name;
        const test::Row expected(c.values.begin(), c.values.end());
        EXPECT_EQ(rows[0], expected) << c.name;
    }
    EXPECT_EQ(test::QueryMariaDb(dir, "roundtrip", "SELECT id FROM victims"), (std::vector<test::Row>{{"1"}}));
}

}  // namespace
}  // namespace rowsmith
