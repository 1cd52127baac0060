// Every line of the tricky corpus, converted by the engine in each
// database's dialect, goes into that database through its own client, as a
// user runs the output (sqlite3 < file, psql -f, mariadb <): every
// statement runs and adds exactly one row, every column holds exactly the
// bytes the rules give for its field (worked out by the plain reference
// reading, not by the engine), NUL bytes are refused or dropped where the
// dialect cannot write them, and the victim table the injection lines aim
// at survives.
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "convert/run/conversion_run.h"
#include "db/db_clients.h"
#include "reference_rules.h"
#include "test_support.h"

namespace rowsmith {
namespace {

namespace fs = std::filesystem;
using test::Database;
using test::ReadBytes;
using test::Row;
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

class DatabaseRoundTripTest : public TempDirTest {
protected:
    // The statement for one line in the database's dialect, or nothing when
    // the run refuses the line.
    static std::string Convert(const CorpusLine& line, const std::string& table, std::size_t columns,
                               const ConversionOptions& options) {
        std::string fields;
        for (std::size_t i = 1; i <= columns; ++i) fields += (i > 1 ? ",c" : "c") + std::to_string(i);
        WriteBytes("line.csv", line.bytes);
        fs::remove("line.sql");
        ConversionSettings settings{"line.csv", "line.sql", table, fields};
        const RunReport report = ConvertFile(settings, nullptr, options);
        return report.status == RunStatus::Done ? ReadBytes("line.sql") : std::string();
    }

    void Check(const Database& db) {
        const bool dropsNul = DropsNul(RulesOf(db.dialect));
        // MyISAM rows take a thousand columns; InnoDB's do not.
        const std::string engine = db.dialect == Dialect::MySql ? " ENGINE=MyISAM" : "";
        std::string script = "DROP TABLE IF EXISTS victims;\nCREATE TABLE victims ( id " + db.anyBytesType +
                             " );\nINSERT INTO victims VALUES ( '1' );\n";
        std::vector<std::pair<std::string, Row>> expected;
        int index = 0;
        for (const CorpusLine& line : LoadCorpus()) {
            const std::vector<std::string> text = reference::TextLines(line.bytes);
            ASSERT_EQ(text.size(), 1u) << line.name;
            std::vector<std::string> values = reference::Values(text[0]);
            const std::string table = "rt_" + std::to_string(++index);
            const bool hasNul = line.bytes.find('\0') != std::string::npos;
            // By default a NUL the dialect cannot write stops the run at its
            // line, before anything of it is written.
            if (dropsNul && hasNul) {
                EXPECT_EQ(Convert(line, table, values.size(), {.dialect = db.dialect}), "") << line.name;
            }
            const std::string statement =
                Convert(line, table, values.size(), {.dialect = db.dialect, .nul = NulChoice::Strip});
            ASSERT_FALSE(statement.empty()) << line.name;
            script += "DROP TABLE IF EXISTS " + table + ";\nCREATE TABLE " + table + " (";
            for (std::size_t i = 1; i <= values.size(); ++i) {
                script += (i > 1 ? ", c" : " c") + std::to_string(i) + " " + db.anyBytesType;
            }
            script += " )" + engine + ";\n" + statement;
            Row row;
            for (std::string& value : values) {
                if (dropsNul) std::erase(value, '\0');
                row.emplace_back(std::move(value));
            }
            expected.emplace_back(table, std::move(row));
        }
        ASSERT_GE(expected.size(), 45u);
        WriteBytes("load.sql", script);
        std::string errors;
        ASSERT_EQ(db.load("load.sql", errors), 0) << db.name << ": " << errors;
        for (const auto& [table, row] : expected) {
            EXPECT_EQ(db.query("SELECT * FROM " + table), std::vector<Row>{row}) << db.name << ", " << table;
        }
        EXPECT_EQ(db.query("SELECT id FROM victims"), (std::vector<Row>{{"1"}})) << db.name;
    }
};

TEST_F(DatabaseRoundTripTest, SqliteThroughTheSqlite3Shell) {
    Check(test::SqliteDatabase((dir() / "roundtrip.db").string()));
}

TEST_F(DatabaseRoundTripTest, PostgresqlThroughPsql) {
    std::string why;
    const std::optional<Database> db = test::PostgresDatabase(why);
    if (!db) GTEST_SKIP() << why;
    Check(*db);
}

TEST_F(DatabaseRoundTripTest, MariaDbThroughTheMariadbClient) {
    std::string why;
    const std::optional<Database> db = test::MariaDatabase("roundtrip", why);
    if (!db) GTEST_SKIP() << why;
    Check(*db);
}

}  // namespace
}  // namespace rowsmith
