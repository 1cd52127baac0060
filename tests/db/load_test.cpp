// The load options in real databases: the output of --empty-as-null,
// --rows-per-insert and --transaction, run by each database's own client,
// holds the same values as the one-row form; a run cut short with
// --transaction adds nothing.
#include <algorithm>
#include <filesystem>
#include <functional>
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
using test::Row;
using test::TempDirTest;
using test::WriteBytes;

// Rows of three fields with empty values, quotes, backslashes, quoted commas
// and text in several scripts.
std::string MakeInput(int rows) {
    const char* const kValues[] = {"",   "plain",      "O'Brien", "\"a, b\"", "C:\\new\\",
                                   "\\", "Zo\xC3\xAB", "\"\"",    "x\\'y",    "\xE6\x97\xA5"};
    std::string input;
    for (int i = 0; i < rows; ++i) {
        input += std::to_string(i) + "," + kValues[i % 10] + "," + kValues[(i * 7 + 3) % 10] + "\r\n";
    }
    return input;
}

// What a database holds for the input: the rule values, NULL for empty ones
// with emptyAsNull; sorted, as a table has no order.
std::vector<Row> Expected(const std::string& input, bool emptyAsNull) {
    std::vector<Row> rows;
    for (const std::string& line : reference::TextLines(input)) {
        Row row;
        for (const std::string& value : reference::Values(line)) {
            if (emptyAsNull && value.empty()) {
                row.emplace_back();
            } else {
                row.emplace_back(value);
            }
        }
        rows.push_back(std::move(row));
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

class CancelAfter : public RunObserver {
public:
    explicit CancelAfter(int calls) : left_(calls) {}
    bool Continue(std::uint64_t, std::uint64_t) override { return --left_ > 0; }

private:
    int left_;
};

struct Database {
    const char* name;
    Dialect dialect;
    const char* columnType;
    // Runs the file of statements; 0 when every statement ran.
    std::function<int(const std::string& sqlFile, std::string& errors)> load;
    std::function<std::vector<Row>(const std::string& query)> query;
};

class LoadOptionsInDatabases : public TempDirTest {
protected:
    // The input converted into table with options; the statements' file.
    std::string Convert(const std::string& table, const ConversionOptions& options, RunObserver* observer = nullptr) {
        const std::string output = table + ".sql";
        ConversionSettings settings{"input.csv", output, table, "id, a, b"};
        const RunReport report = ConvertFile(settings, observer, options);
        EXPECT_EQ(report.status, observer ? RunStatus::Cancelled : RunStatus::Done) << report.text;
        return output;
    }

    void Check(const Database& db) {
        const std::string input = MakeInput(3000);
        WriteBytes("input.csv", input);
        std::string tables;
        for (const char* table : {"one", "opt", "cancelled", "failed"}) {
            tables += std::string("CREATE TABLE ") + table + " ( id " + db.columnType + ", a " + db.columnType +
                      ", b " + db.columnType + " );\n";
        }
        WriteBytes("tables.sql", tables);
        std::string errors;
        ASSERT_EQ(db.load("tables.sql", errors), 0) << db.name << ": " << errors;

        const ConversionOptions plain{.dialect = db.dialect};
        const ConversionOptions options{
            .dialect = db.dialect, .emptyAsNull = true, .rowsPerInsert = 500, .transaction = true};

        ASSERT_EQ(db.load(Convert("one", plain), errors), 0) << db.name << ": " << errors;
        ASSERT_EQ(db.load(Convert("opt", options), errors), 0) << db.name << ": " << errors;
        auto sorted = [&db](const char* table) {
            std::vector<Row> rows = db.query(std::string("SELECT id, a, b FROM ") + table);
            std::sort(rows.begin(), rows.end());
            return rows;
        };
        EXPECT_EQ(sorted("one"), Expected(input, false)) << db.name;
        EXPECT_EQ(sorted("opt"), Expected(input, true)) << db.name;

        // Cancelled: BEGIN; and whole statements, then ROLLBACK;.
        CancelAfter cancel(1);
        const std::string cancelled = ReadBytes(Convert("cancelled", options, &cancel));
        ASSERT_NE(cancelled.find("INSERT INTO cancelled"), std::string::npos);
        ASSERT_EQ(cancelled.find("COMMIT"), std::string::npos);
        EXPECT_EQ(db.load("cancelled.sql", errors), 0) << db.name << ": " << errors;
        EXPECT_TRUE(sorted("cancelled").empty()) << db.name;
        // Failed: the run stopped after some statements and wrote no end at all.
        const std::string all = ReadBytes(Convert("failed", options));
        const std::size_t cut = all.find(";\r\nINSERT", all.size() / 2);
        ASSERT_NE(cut, std::string::npos);
        WriteBytes("failed.sql", all.substr(0, cut + 3));
        EXPECT_EQ(db.load("failed.sql", errors), 0) << db.name << ": " << errors;
        EXPECT_TRUE(sorted("failed").empty()) << db.name;
    }
};

TEST_F(LoadOptionsInDatabases, Sqlite) {
    const std::string file = (dir() / "load.db").string();
    Check({"SQLite", Dialect::Standard, "text",
           [&file](const std::string& sql, std::string& errors) { return test::LoadIntoSqlite(file, sql, errors); },
           [&file](const std::string& query) { return test::QuerySqlite(file, query); }});
}

TEST_F(LoadOptionsInDatabases, Postgresql) {
    std::string why;
    const std::string server = test::PostgresDir(why);
    if (server.empty()) GTEST_SKIP() << why;
    std::string errors;
    WriteBytes("drop.sql", "DROP TABLE IF EXISTS one, opt, cancelled, failed;\n");
    ASSERT_EQ(test::LoadIntoPostgres(server, "drop.sql", errors), 0) << errors;
    Check({"PostgreSQL", Dialect::Standard, "text",
           [&server](const std::string& sql, std::string& said) { return test::LoadIntoPostgres(server, sql, said); },
           [&server](const std::string& query) { return test::QueryPostgres(server, query); }});
}

TEST_F(LoadOptionsInDatabases, MariaDb) {
    std::string why;
    const std::string server = test::MariaDbDir(why);
    if (server.empty()) GTEST_SKIP() << why;
    std::string errors;
    WriteBytes("create.sql", "DROP DATABASE IF EXISTS options;\nCREATE DATABASE options;\n");
    ASSERT_EQ(test::LoadIntoMariaDb(server, "", "create.sql", errors), 0) << errors;
    Check({"MariaDB", Dialect::MySql, "longblob",
           [&server](const std::string& sql, std::string& said) {
               return test::LoadIntoMariaDb(server, "options", sql, said);
           },
           [&server](const std::string& query) { return test::QueryMariaDb(server, "options", query); }});
}

}  // namespace
}  // namespace rowsmith
