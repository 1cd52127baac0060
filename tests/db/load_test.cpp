// The load options in real databases: the output of --empty-as-null,
// --rows-per-insert and --transaction, run by each database's own client,
// holds the same values as the one-row form; a run cut short with
// --transaction adds nothing.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "convert/detect/format_detection.h"
#include "convert/options/input_list.h"
#include "convert/run/conversion_run.h"
#include "io/open_file.h"
#include "io/unique_fd.h"
#include "io/write_all.h"
#include "convert/row_conversion.h"
#include "conversion_property.h"
#include "db/db_clients.h"
#include "reference_rules.h"
#include "test_support.h"

namespace rowsmith {
namespace {

namespace fs = std::filesystem;
using test::CancelAfter;
using test::ReadBytes;
using test::Row;
using test::TempDirTest;
using test::Value;
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

// What a database holds for the input: the rule values, NULL where the
// options' NULL choice says; sorted, as a table has no order.
std::vector<Row> Expected(const std::string& input, const ConversionOptions& options) {
    std::vector<Row> rows;
    for (const std::string& line : reference::TextLines(input)) {
        Row row;
        std::vector<bool> quoted;
        const std::vector<std::string> values = reference::Values(line, ',', &quoted);
        for (std::size_t i = 0; i < values.size(); ++i) {
            if (test::ExpectedNull(options, values[i], values[i], quoted[i])) {
                row.emplace_back();
            } else {
                row.emplace_back(values[i]);
            }
        }
        rows.push_back(std::move(row));
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

// The values users mean, one case a cell: empty fields, quoted and not;
// NULL markers, quoted and not; numbers that are not what they look like;
// a long value; text in Windows-1252. Written in UTF-8; the file the run
// reads is in Windows-1252.
const char* const kTableCases =
    "id,code,num,name,note\r\n"
    "1,02134,9223372036854775807,NULL,x\r\n"
    "2,+5,-9223372036854775808,\"NULL\",\"\"\r\n"
    "3,-0,0,\\N,LONG\r\n"
    "4,9223372036854775808,,NA,Zo\xC3\xAB\r\n"
    "5,1e5,\"\",\"\",y\r\n"
    "6,1.50,-1,,z\r\n"
    "7,2024-02-30,7,\"\\N\",\"a,b\"\r\n";

// Keys met inside one statement (1) and across statements (2), NULL keys,
// and values a line or a COPY field could lose: CR LF, a tab, backslashes,
// \. alone and on a line of its own.
const char* const kKeyCases =
    "id,v\r\n"
    "1,first\r\n"
    "2,\"two\r\nlines\"\r\n"
    "1,again\r\n"
    ",null key\r\n"
    ",\"null key, again\"\r\n"
    "3,\"tab\there\"\r\n"
    "4,C:\\new\\\r\n"
    "5,\\.\r\n"
    "6,\"a\n\\.\nb\"\r\n"
    "2,\"\"\r\n";

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

    // Each NULL choice with --create-table: the table the run creates holds
    // every value as the rules read it, NULL against '' too.
    void CheckCreatedTables(const test::Database& db) {
        std::string text = kTableCases;
        text.replace(text.find("LONG"), 4, std::string(70000, 'v'));
        std::string windows = text;
        windows.replace(windows.find("\xC3\xAB"), 2, "\xEB");
        WriteBytes("cases.csv", windows);
        const reference::CsvReading reading = reference::CsvRecords(text);
        struct Choice {
            const char* table;
            ConversionOptions options;
            std::vector<std::size_t> columns = {0, 1, 2, 3, 4};  // what the table holds, by place
            std::vector<const char*> names = {"id", "code", "num", "name", "note"};
            std::uint32_t rows = 3;  // a statement's: one a statement goes through the scanner
        };
        const Choice choices[] = {
            {"t_none", {}},
            {"t_empty", {.null = NullMode::Empty}},
            {"t_unquoted", {.null = NullMode::UnquotedEmpty, .nullTokens = {"NULL", "\\N"}}},
            {"t_chosen",
             {.null = NullMode::UnquotedEmpty, .columns = "note=remark, 3, id"},
             {4, 2, 0},
             {"remark", "num", "id"}},
            {"t_scanned", {.null = NullMode::UnquotedEmpty, .nullTokens = {"NULL", "\\N"}}, {0, 1, 2, 3, 4}, {}, 1},
            {"t_kept", {.nullTokens = {"NULL"}, .columns = "code, 4"}, {1, 3}, {"code", "name"}, 1},
            {"t_one_thread", {.null = NullMode::Empty, .jobs = 1}, {0, 1, 2, 3, 4}, {}, 1},
        };
        for (Choice choice : choices) {
            // Two threads, the input cut in pieces, wherever one is not asked for.
            if (choice.options.jobs == 0) choice.options.jobs = 2;
            choice.options.dialect = db.dialect;
            choice.options.header = choice.options.rfc4180 = choice.options.createTable = true;
            choice.options.encoding = "windows-1252";
            choice.options.rowsPerInsert = choice.rows;
            if (choice.names.empty()) choice.names = {"id", "code", "num", "name", "note"};
            ConversionSettings settings{"cases.csv", std::string(choice.table) + ".sql", choice.table, ""};
            const RunReport report = ConvertFile(settings, nullptr, choice.options);
            ASSERT_EQ(report.status, RunStatus::Done) << report.text;
            std::string errors;
            ASSERT_EQ(db.load(settings.outputFile, errors), 0) << db.name << " " << choice.table << ": " << errors;
            std::vector<Row> expected;
            for (std::size_t r = 1; r < reading.records.size(); ++r) {
                Row row;
                for (const std::size_t i : choice.columns) {
                    const std::string& value = reading.records[r][i];
                    const bool null = test::ExpectedNull(choice.options, value, value, reading.quoted[r][i]);
                    row.push_back(null ? Value() : Value(value));
                }
                expected.push_back(row);
            }
            // Every cell as the text it reads back as, whatever its type.
            std::string select = "SELECT";
            for (const char* column : choice.names) {
                select += std::string(select.size() > 6 ? ", " : " ") + "CAST(" + column + " AS " +
                          (db.dialect == Dialect::MySql ? "CHAR" : "TEXT") + ")";
            }
            std::vector<Row> rows = db.query(select + " FROM " + choice.table);
            std::sort(rows.begin(), rows.end());
            std::sort(expected.begin(), expected.end());
            EXPECT_EQ(rows, expected) << db.name << " " << choice.table;
        }
    }

    // --on-conflict into an empty table and into one holding some keys:
    // the table ends as the rows loaded one at a time leave it. --copy
    // (PostgreSQL) loads every row as it stands.
    void CheckKeyedLoads(const test::Database& db) {
        WriteBytes("keys.csv", kKeyCases);
        const reference::CsvReading reading = reference::CsvRecords(kKeyCases);
        const ConversionOptions base{.dialect = db.dialect,
                                     .null = NullMode::UnquotedEmpty,
                                     .rowsPerInsert = 3,
                                     .header = true,
                                     .rfc4180 = true};
        std::vector<Row> all;  // every row, as read
        for (std::size_t r = 1; r < reading.records.size(); ++r) {
            Row row;
            for (std::size_t i = 0; i < 2; ++i) {
                const std::string& value = reading.records[r][i];
                row.push_back(test::ExpectedNull(base, value, value, reading.quoted[r][i]) ? Value() : Value(value));
            }
            all.push_back(row);
        }
        const std::vector<Row> prefilled = {{"1", "old"}, {"6", "old 6"}};
        std::string errors;
        for (const OnConflict action : {OnConflict::Ignore, OnConflict::Update}) {
            for (const bool full : {false, true}) {
                const std::string table = std::string("up_") + (action == OnConflict::Ignore ? "ignore" : "update") +
                                          (full ? "_full" : "_empty");
                std::string create =
                    "CREATE TABLE " + table + " ( id VARCHAR(20) UNIQUE, v " + db.anyBytesType + " );\n";
                std::vector<Row> expected = full ? prefilled : std::vector<Row>();
                for (const Row& row : expected)
                    create += "INSERT INTO " + table + " VALUES ('" + *row[0] + "', '" + *row[1] + "');\n";
                WriteBytes(table + "_made.sql", create);
                ASSERT_EQ(db.load(table + "_made.sql", errors), 0) << db.name << ": " << errors;
                // One row at a time: a NULL key meets nothing.
                for (const Row& row : all) {
                    const auto same = std::find_if(expected.begin(), expected.end(),
                                                   [&row](const Row& held) { return row[0] && held[0] == row[0]; });
                    if (same == expected.end()) {
                        expected.push_back(row);
                    } else if (action == OnConflict::Update) {
                        *same = row;
                    }
                }
                ConversionOptions options = base;
                options.onConflict = action;
                options.key = "id";
                ConversionSettings settings{"keys.csv", table + ".sql", table, ""};
                ASSERT_EQ(ConvertFile(settings, nullptr, options).status, RunStatus::Done);
                ASSERT_EQ(db.load(table + ".sql", errors), 0) << db.name << " " << table << ": " << errors;
                std::vector<Row> rows = db.query("SELECT id, v FROM " + table);
                std::sort(rows.begin(), rows.end());
                std::sort(expected.begin(), expected.end());
                EXPECT_EQ(rows, expected) << db.name << " " << table;
            }
        }
        if (db.dialect != Dialect::Postgresql) return;
        WriteBytes("copied_made.sql", "CREATE TABLE copied ( id TEXT, v TEXT );\n");
        ASSERT_EQ(db.load("copied_made.sql", errors), 0) << errors;
        ConversionOptions copy = base;
        copy.copy = copy.transaction = true;
        ConversionSettings settings{"keys.csv", "copied.sql", "copied", ""};
        ASSERT_EQ(ConvertFile(settings, nullptr, copy).status, RunStatus::Done);
        ASSERT_EQ(db.load("copied.sql", errors), 0) << errors;
        std::vector<Row> rows = db.query("SELECT id, v FROM copied");
        std::sort(rows.begin(), rows.end());
        std::sort(all.begin(), all.end());
        EXPECT_EQ(rows, all);
    }

    // A spreadsheet's export: names under a title over the columns it
    // spans, and a second table below a blank line. The options detection
    // proposes create and load the first table, and --skip-lines down to
    // the line it names the second.
    void CheckSpreadsheetTables(const test::Database& db) {
        WriteBytes("sheet.csv",
                   "Name,Sales,,Cost,\r\n,2023,2024,2023,2024\r\nAnn,10,12,3,4\r\n\"O'Brien, Pat\",11,13,5,6\r\n"
                   "\r\nregion,total\r\nnorth,5\r\nsouth,7\r\n");
        const std::optional<Detection> detection = DetectFile("sheet.csv");
        ASSERT_TRUE(detection);
        ConversionOptions options = WithReadingOf({.dialect = db.dialect, .createTable = true}, *detection);
        EXPECT_EQ(ReadingOptionsLine(options), "--last-line 4 --header --header-lines 2");
        ConversionSettings first{"sheet.csv", "sheet.sql", "sheet", ""};
        ASSERT_EQ(ConvertFile(first, nullptr, options).status, RunStatus::Done);
        std::string errors;
        ASSERT_EQ(db.load("sheet.sql", errors), 0) << db.name << ": " << errors;
        const std::string text = db.dialect == Dialect::MySql ? " AS CHAR)" : " AS TEXT)";
        const std::string sales = "CAST(" + QuoteIdentifier(db.dialect, "Sales 2024") + text;
        const std::string name = QuoteIdentifier(db.dialect, "Name");
        EXPECT_EQ(db.query("SELECT " + name + ", " + sales + " FROM sheet ORDER BY " + name),
                  (std::vector<Row>{{"Ann", "12"}, {"O'Brien, Pat", "13"}}))
            << db.name;
        options.skipLines = static_cast<std::uint32_t>(detection->nextTable - 1);
        options.headerLines = 1;
        options.lastLine = 0;
        ConversionSettings second{"sheet.csv", "totals.sql", "totals", ""};
        ASSERT_EQ(ConvertFile(second, nullptr, options).status, RunStatus::Done);
        ASSERT_EQ(db.load("totals.sql", errors), 0) << db.name << ": " << errors;
        EXPECT_EQ(db.query("SELECT region, CAST(total" + text + " FROM totals ORDER BY region"),
                  (std::vector<Row>{{"north", "5"}, {"south", "7"}}))
            << db.name;
    }

    void Check(const test::Database& db) {
        CheckSpreadsheetTables(db);
        const std::string input = MakeInput(3000);
        WriteBytes("input.csv", input);
        std::string tables;
        for (const char* table : {"one", "opt", "marked", "cancelled", "failed", "retried"}) {
            tables += std::string("CREATE TABLE ") + table + " ( id " + db.anyBytesType + ", a " + db.anyBytesType +
                      ", b " + db.anyBytesType + " );\n";
        }
        WriteBytes("tables.sql", tables);
        std::string errors;
        ASSERT_EQ(db.load("tables.sql", errors), 0) << db.name << ": " << errors;

        const ConversionOptions plain{.dialect = db.dialect};
        const ConversionOptions options{
            .dialect = db.dialect, .null = NullMode::Empty, .rowsPerInsert = 500, .transaction = true};

        ASSERT_EQ(db.load(Convert("one", plain), errors), 0) << db.name << ": " << errors;
        ASSERT_EQ(db.load(Convert("opt", options), errors), 0) << db.name << ": " << errors;
        // Only unquoted empty values and markers NULL: "" and "a, b" stay text.
        const ConversionOptions marked{.dialect = db.dialect,
                                       .null = NullMode::UnquotedEmpty,
                                       .rowsPerInsert = 500,
                                       .nullTokens = {"plain", "\\"}};
        ASSERT_EQ(db.load(Convert("marked", marked), errors), 0) << db.name << ": " << errors;
        auto sorted = [&db](const char* table) {
            std::vector<Row> rows = db.query(std::string("SELECT id, a, b FROM ") + table);
            std::sort(rows.begin(), rows.end());
            return rows;
        };
        EXPECT_EQ(sorted("one"), Expected(input, plain)) << db.name;
        EXPECT_EQ(sorted("opt"), Expected(input, options)) << db.name;
        EXPECT_EQ(sorted("marked"), Expected(input, marked)) << db.name;

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
        // Retried after such a failure (a run killed, say): the retry rolls
        // the unfinished transaction back, so the rows are there once.
        CheckCreatedTables(db);
        CheckKeyedLoads(db);

        const std::string retried = ReadBytes(Convert("retried", options));
        WriteBytes("retried.sql", retried.substr(0, retried.find(";\r\nINSERT", retried.size() / 2) + 3));
        ConversionSettings again{"input.csv", "retried.sql", "retried", "id, a, b"};
        EXPECT_TRUE(ConvertFile(again, nullptr, options).closedUnfinished);
        EXPECT_EQ(db.load("retried.sql", errors), 0) << db.name << ": " << errors;
        EXPECT_EQ(sorted("retried"), Expected(input, options)) << db.name;
    }
};

TEST_F(LoadOptionsInDatabases, Sqlite) {
    Check(test::SqliteDatabase((dir() / "load.db").string()));
}

TEST_F(LoadOptionsInDatabases, Postgresql) {
    std::string why;
    const std::optional<test::Database> db = test::PostgresDatabase(why);
    if (!db) GTEST_SKIP() << why;
    WriteBytes("drop.sql",
               "DROP TABLE IF EXISTS one, opt, marked, cancelled, failed, retried, t_none, t_empty, t_unquoted, "
               "t_chosen, up_ignore_empty, up_ignore_full, up_update_empty, up_update_full, copied;\n");
    std::string errors;
    ASSERT_EQ(db->load("drop.sql", errors), 0) << errors;
    Check(*db);
}

TEST_F(LoadOptionsInDatabases, MariaDb) {
    std::string why;
    const std::optional<test::Database> db = test::MariaDatabase("options", why);
    if (!db) GTEST_SKIP() << why;
    Check(*db);
}

// Values at the edges of dates, times and decimals, and values that look
// like them but would not read back the same (odd).
const char* const kTypedValues =
    "id,d,ts,amt,odd\n"
    "1,2024-02-29,2024-02-29 23:59:59,123456789012345678901234567890123456.78,2023-02-29\n"
    "2,0001-01-01,0001-01-01 00:00:00,-0.50,-0.00\n"
    "3,9999-12-31,9999-12-31 00:00:00,1.50,00.5\n"
    "4,2000-01-01,1999-12-31 12:30:00,0.00,1e5\n";

std::vector<Row> TypedRows() {
    std::vector<Row> rows;
    const std::vector<std::string> lines = reference::TextLines(kTypedValues);
    for (std::size_t i = 1; i < lines.size(); ++i) {
        Row row;
        for (const std::string& value : reference::Values(lines[i], ',')) row.emplace_back(value);
        rows.push_back(row);
    }
    return rows;
}

// Each way a script could stop being one safe unit, through the clients as
// users run them (a plain psql, mariadb with its own defaults, sqlite3):
// failed COPY statements, runs killed as they wrote and made again, values
// that look like statements, settings of the server, keys equal in their
// type. Each ends with every row loaded exactly once, or none where the
// load stops, and nothing of the data run as SQL: the victim table stays.
class ScriptSafetyInDatabases : public TempDirTest {
protected:
    struct Case {
        const char* what;
        std::vector<Dialect> only;  // the databases it is for; empty: all
        std::string input;          // with a header
        ConversionOptions options;  // the dialect is the database's
        std::string table;          // its CREATE TABLE, {T} for its name, {ANY} a type of any bytes; or none
        std::string cutAt;          // the first run was killed inside this text of its output; "" for not
        std::size_t cutOffset = 0;  // where in the text
        std::vector<Row> expected;  // what "SELECT <select> FROM T" gives
        std::string select = "id, v";
        bool loadStops = false;  // the client stops at an error
        int loads = 1;
        bool serverSettingOff = false;           // loaded into a database with standard_conforming_strings off
        std::map<Dialect, std::string> created;  // what the output's CREATE TABLE holds, by database
        const char* rejected = nullptr;          // with --rejects: the records set aside, as the file holds them
        const char* rejectedLines = "";          // and the lines its log names, as "2 5"
        std::vector<std::string> more;           // inputs read after in.csv into the same table
    };

    static std::string Fill(std::string text, const std::string& table, const test::Database& db) {
        for (std::size_t at; (at = text.find("{T}")) != std::string::npos;) text.replace(at, 3, table);
        for (std::size_t at; (at = text.find("{ANY}")) != std::string::npos;) text.replace(at, 5, db.anyBytesType);
        return text;
    }

    static void Setup(const test::Database& db, const std::string& sql) {
        WriteBytes("setup.sql", sql);
        std::string errors;
        ASSERT_EQ(db.load("setup.sql", errors), 0) << db.name << ": " << errors;
    }

    void CheckEach(const test::Database& db, const test::Database* settingOff) {
        const Case cases[] = {
            {"a COPY into a table without one of its columns",
             {Dialect::Postgresql},
             "id,name,note\nDROP TABLE victim;,x,y\n",
             {.rfc4180 = true, .copy = true},
             "CREATE TABLE {T} ( id text, name text );",
             "",
             0,
             {},
             "id, name",
             true},
            // The second block's COPY fails in the aborted transaction.
            {"a bad row in a transaction, then rows that are SQL",
             {Dialect::Postgresql},
             "v\n1\n2,extra\nROLLBACK;\nDROP TABLE victim;\n",
             {.rowsPerInsert = 2, .transaction = true, .rfc4180 = true, .copy = true},
             "CREATE TABLE {T} ( v text );",
             "",
             0,
             {},
             "v",
             true},
            {"killed inside a literal that would close it, run again",
             {},
             "id,v\n1,a\n2,'); DROP TABLE victim; --\n3,c\n",
             {.rowsPerInsert = 2, .transaction = true},
             "CREATE TABLE {T} ( id {ANY}, v {ANY} );",
             "DROP TABLE",
             4,
             {{"1", "a"}, {"2", "'); DROP TABLE victim; --"}, {"3", "c"}}},
            {"killed inside a COPY row, run again",
             {Dialect::Postgresql},
             "id,v\n1,a\n2,b\n3,DROP TABLE victim;\n4,d\n",
             {.rowsPerInsert = 2, .transaction = true, .copy = true},
             "CREATE TABLE {T} ( id text, v text );",
             "DROP TABLE",
             6,
             {{"1", "a"}, {"2", "b"}, {"3", "DROP TABLE victim;"}, {"4", "d"}}},
            {"a COMMIT; line inside a value, killed after it",
             {},
             "id,v\r\n1,\"x\r\nCOMMIT;\r\ny\"\r\n2,b\r\n",
             {.transaction = true, .rfc4180 = true},
             "CREATE TABLE {T} ( id {ANY}, v {ANY} );",
             "y' );\r\n",
             7,
             {{"1", "x\r\nCOMMIT;\r\ny"}, {"2", "b"}}},
            {"a value ending in a backslash, read with standard_conforming_strings off",
             {Dialect::Postgresql},
             "id,v\n1,a\\\n2,'); DROP TABLE victim; --\n",
             {.rowsPerInsert = 2},
             "CREATE TABLE {T} ( id text, v text );",
             "",
             0,
             {{"1", "a\\"}, {"2", "'); DROP TABLE victim; --"}},
             "id, v",
             false,
             1,
             true},
            {"a character of four bytes",
             {},
             "id,v\n1,\xF0\x9F\x98\x80\n",
             {.createTable = true},
             "",
             "",
             0,
             {{"1", "\xF0\x9F\x98\x80"}}},
            // 1, 1.0 and 1e0 are one number; the last row's value stays.
            {"keys equal as numbers in one batch",
             {Dialect::Postgresql},
             "id,v\n1,a\n1.0,b\n1e0,c\n2,d\n",
             {.rowsPerInsert = 10,
              .createTable = true,
              .columnTypes = {"id=NUMERIC"},
              .onConflict = OnConflict::Update,
              .key = "id"},
             "",
             "",
             0,
             {{"c"}, {"d"}},
             "v"},
            {"dates in other forms in one batch",
             {Dialect::Postgresql},
             "id,v\n2020-01-02,a\n2020-1-2,b\n01/02/2020,c\n",
             {.rowsPerInsert = 10,
              .createTable = true,
              .columnTypes = {"id=DATE"},
              .onConflict = OnConflict::Update,
              .key = "id"},
             "",
             "",
             0,
             {{"c"}},
             "v"},
            {"the key made the created table's, loaded twice",
             {},
             "id,v\n1,a\n2,b\n1,c\n",
             {.rowsPerInsert = 5, .createTable = true, .onConflict = OnConflict::Update, .key = "id"},
             "",
             "",
             0,
             {{"1", "c"}, {"2", "b"}},
             "id, v",
             false,
             2},
            // Every typed column reads back byte for byte: values at the
            // edges of each type, and values that only look like one.
            {"dates, times and decimals typed where each reads back the same, text where no type does",
             {},
             kTypedValues,
             {.rfc4180 = true, .createTable = true},
             "",
             "",
             0,
             TypedRows(),
             "id, d, ts, amt, odd",
             false,
             1,
             false,
             {{Dialect::Postgresql,
               "( \"id\" BIGINT, \"d\" DATE, \"ts\" TIMESTAMP, \"amt\" NUMERIC(38,2), \"odd\" TEXT )"},
              {Dialect::MySql, "( `id` BIGINT, `d` DATE, `ts` DATETIME, `amt` DECIMAL(38,2), `odd` TEXT )"},
              {Dialect::Sqlite, "( \"id\" INTEGER, \"d\" TEXT, \"ts\" TEXT, \"amt\" TEXT, \"odd\" TEXT )"}}},
            // The good rows load in one transaction; the others are set aside as they stand.
            {"records that would not load set aside, the rest in one transaction",
             {},
             "id,v\n1,a\n2,b,extra\n3,\"c\r\nd\"\n4\r\n\n5,\"e\"\"\",\n6,\"never\nclosed\n",
             {.rowsPerInsert = 2, .transaction = true, .rfc4180 = true, .createTable = true},
             "",
             "",
             0,
             {{"1", "a"}, {"3", "c\r\nd"}},
             "id, v",
             false,
             1,
             false,
             {},
             "2,b,extra\n4\n5,\"e\"\"\",\n6,\"never\nclosed\n",
             "3 6 8 9"},
            // One table from three files: types that fit all of them (zip
            // read back as 01234, not 1234), one transaction, each file's
            // header left out.
            {"three files into one table",
             {},
             "id,zip\n1,12345\n",
             {.rowsPerInsert = 2, .transaction = true, .createTable = true, .key = "id"},
             "",
             "",
             0,
             {{"1", "12345"}, {"2", "01234"}, {"3", "99999"}},
             "id, zip",
             false,
             1,
             false,
             {},
             nullptr,
             "",
             {"id,zip\n2,01234\n", "id,zip\n3,99999\n"}},
            // Decimal commas: a decimal column, written with points, where
            // the database has decimals; kept as written where not.
            {"decimal commas typed and written with points",
             {Dialect::Postgresql, Dialect::MySql},
             "id;v\n1;3,49\n2;-0,50\n3;12,00\n",
             {.delimiter = ';', .createTable = true, .decimalComma = true},
             "",
             "",
             0,
             {{"1", "3.49"}, {"2", "-0.50"}, {"3", "12.00"}},
             "id, v",
             false,
             1,
             false,
             {{Dialect::Postgresql, "(4,2)"}, {Dialect::MySql, "(4,2)"}}},
            {"decimal commas kept where the database has no decimals",
             {Dialect::Sqlite},
             "id;v\n1;3,49\n2;-0,50\n",
             {.delimiter = ';', .createTable = true, .decimalComma = true},
             "",
             "",
             0,
             {{"1", "3,49"}, {"2", "-0,50"}},
             "id, v",
             false,
             1,
             false,
             {{Dialect::Sqlite, "\"v\" TEXT"}}},
            {"records that would not load set aside from COPY's blocks",
             {Dialect::Postgresql},
             "id,v\n1,a\n2\n3,\"b\tc\"\n4,x,y\n",
             {.rfc4180 = true, .copy = true},
             "CREATE TABLE {T} ( id text, v text );",
             "",
             0,
             {{"1", "a"}, {"3", "b\tc"}},
             "id, v",
             false,
             1,
             false,
             {},
             "2\n4,x,y\n",
             "3 5"},
        };
        int number = 0;
        for (const Case& c : cases) {
            ++number;
            if (!c.only.empty() && std::find(c.only.begin(), c.only.end(), db.dialect) == c.only.end()) continue;
            const test::Database& target = c.serverSettingOff && settingOff != nullptr ? *settingOff : db;
            const std::string table = "safe_" + std::to_string(number);
            Setup(target, "DROP TABLE IF EXISTS " + table + ";\n" + Fill(c.table, table, db) + "\n");
            WriteBytes("in.csv", c.input);
            ConversionOptions options = c.options;
            options.dialect = db.dialect;
            options.header = true;
            if (c.rejected != nullptr) options.rejects = "rejects.csv";
            // More inputs are listed in the input box, as the window's picker and drops list them.
            std::vector<std::string> inputs = {"in.csv"};
            for (const std::string& more : c.more) {
                inputs.push_back("more \"" + std::to_string(inputs.size()) + "\".csv");
                WriteBytes(inputs.back(), more);
            }
            ConversionSettings settings{InputListText(inputs), table + ".sql", table, ""};
            ASSERT_EQ(ConvertFile(settings, nullptr, options).status, RunStatus::Done) << c.what;
            if (const auto created = c.created.find(db.dialect); created != c.created.end()) {
                EXPECT_NE(ReadBytes(settings.outputFile).find(created->second), std::string::npos)
                    << c.what << ": " << ReadBytes(settings.outputFile);
            }
            if (c.rejected != nullptr) {
                EXPECT_EQ(ReadBytes("rejects.csv"), c.rejected) << c.what;
                std::string lines;
                for (const std::string& entry : reference::TextLines(ReadBytes("rejects.csv.log")))
                    lines += (lines.empty() ? "" : " ") + entry.substr(7, entry.find(':', 7) - 7);
                EXPECT_EQ(lines, c.rejectedLines) << c.what << ": " << ReadBytes("rejects.csv.log");
            }
            if (!c.cutAt.empty()) {
                // Killed as it wrote: the output ends inside the text. The
                // run made again appends to what is left.
                const std::string first = ReadBytes(settings.outputFile);
                const std::size_t at = first.find(c.cutAt);
                ASSERT_NE(at, std::string::npos) << c.what << ": " << first;
                WriteBytes(settings.outputFile, first.substr(0, at + c.cutOffset));
                ASSERT_EQ(ConvertFile(settings, nullptr, options).status, RunStatus::Done) << c.what;
            }
            for (int load = 0; load < c.loads; ++load) {
                std::string errors;
                const int status = target.load(settings.outputFile, errors);
                EXPECT_EQ(status != 0, c.loadStops) << db.name << ", " << c.what << ": " << errors;
            }
            // Each column as the text it reads back as, whatever its type.
            std::string select;
            for (const std::string& column : SplitFieldNames(c.select)) {
                select += (select.empty() ? "CAST(" : ", CAST(") + column +
                          (db.dialect == Dialect::MySql ? " AS CHAR)" : " AS TEXT)");
            }
            std::vector<Row> rows = target.query("SELECT " + select + " FROM " + table);
            std::sort(rows.begin(), rows.end());
            EXPECT_EQ(rows, c.expected) << db.name << ", " << c.what;
            // Nothing of the data ran as SQL.
            EXPECT_EQ(target.query("SELECT x FROM victim"), std::vector<Row>{{"1"}}) << db.name << ", " << c.what;
        }
    }
};

TEST_F(ScriptSafetyInDatabases, Sqlite) {
    const test::Database db = test::SqliteDatabase((dir() / "safe.db").string());
    Setup(db, "CREATE TABLE victim ( x TEXT );\nINSERT INTO victim VALUES ( '1' );\n");
    CheckEach(db, nullptr);
}

TEST_F(ScriptSafetyInDatabases, Postgresql) {
    std::string why;
    const std::optional<test::Database> db = test::PostgresDatabase(why);
    if (!db) GTEST_SKIP() << why;
    // A database whose server setting reads backslashes as escapes.
    Setup(*db,
          "DROP DATABASE IF EXISTS safe_off;\nCREATE DATABASE safe_off;\n"
          "ALTER DATABASE safe_off SET standard_conforming_strings = off;\n"
          "DROP TABLE IF EXISTS victim;\nCREATE TABLE victim ( x text );\nINSERT INTO victim VALUES ( '1' );\n");
    const std::optional<test::Database> off = test::PostgresDatabase(why, "safe_off");
    ASSERT_TRUE(off) << why;
    Setup(*off, "CREATE TABLE victim ( x text );\nINSERT INTO victim VALUES ( '1' );\n");
    CheckEach(*db, &*off);
}

TEST_F(ScriptSafetyInDatabases, MariaDb) {
    std::string why;
    const std::optional<test::Database> db = test::MariaDatabase("safety", why);
    if (!db) GTEST_SKIP() << why;
    Setup(*db, "CREATE TABLE victim ( x TEXT );\nINSERT INTO victim VALUES ( '1' );\n");
    CheckEach(*db, nullptr);
}

TEST_F(LoadOptionsInDatabases, MariaDbTakesEveryRowOfHugeBatchesAtItsDefaultPacketSize) {
    std::string why;
    const std::optional<test::Database> db = test::MariaDatabase("batches", why);
    if (!db) GTEST_SKIP() << why;
    // 100,000 rows of about 200 bytes: one statement of them all passes the
    // 16 MiB a server takes by default; statements end at 1 MiB instead.
    std::string input;
    for (int i = 0; i < 100000; ++i) input += std::to_string(i) + ",O'Brien," + std::string(180, 'x') + "\r\n";
    WriteBytes("input.csv", input);
    WriteBytes("table.sql", "CREATE TABLE huge ( id longblob, a longblob, b longblob );\n");
    std::string errors;
    ASSERT_EQ(db->load("table.sql", errors), 0) << errors;
    ConversionSettings settings{"input.csv", "huge.sql", "huge", "id, a, b"};
    const RunReport report = ConvertFile(settings, nullptr, {.dialect = Dialect::MySql, .rowsPerInsert = 100000});
    EXPECT_EQ(report.status, RunStatus::Done);
    EXPECT_GT(report.counts.statements, 16u);
    EXPECT_EQ(db->load("huge.sql", errors), 0) << errors;
    EXPECT_EQ(db->query("SELECT count(*) FROM huge"), (std::vector<Row>{{"100000"}}));
    // Without the bound the one statement is refused.
    ConversionSettings unbounded{"input.csv", "unbounded.sql", "huge", "id, a, b"};
    ConvertFile(unbounded, nullptr, {.dialect = Dialect::MySql, .rowsPerInsert = 100000, .maxStatementBytes = 1 << 30});
    EXPECT_NE(db->load("unbounded.sql", errors), 0);
    EXPECT_NE(errors.find("Server has gone away"), std::string::npos) << errors;
}

// Loads in parts, as the README loads them: the table's part first, then
// the others by two clients at once, one client killed in the middle of its
// part and that part loaded again alone; after a conversion that was
// cancelled and run again. Every row is there once.
class PartsInDatabases : public test::TempDirTest {
protected:
    static std::string ShellWords(const std::vector<std::string>& words) {
        std::string text;
        for (const std::string& word : words) text += " '" + word + "'";
        return text;
    }

    // inTransaction: whether the database has a transaction open, to see the
    // killed client's statements there before it dies.
    void Check(const test::Database& db, const std::function<bool()>& inTransaction, bool parallel = true) {
#ifdef ROWSMITH_SANITIZED
        const int rows = 100000;  // the sanitizers look at the run's memory, not at its scale
#else
        const int rows = 1000000;
#endif
        std::string input = "id,name\n";
        for (int i = 1; i <= rows; ++i) input += std::to_string(i) + ",\"O'Brien, " + std::to_string(i % 97) + "\"\n";
        WriteBytes("in.csv", input);
        const std::string table = "parts_" + std::to_string(static_cast<int>(db.dialect));
        WriteBytes("drop.sql", "DROP TABLE IF EXISTS " + table + ";\n");
        std::string errors;
        ASSERT_EQ(db.load("drop.sql", errors), 0) << errors;
        ConversionSettings settings{"in.csv", "load.sql", table, ""};
        const ConversionOptions options{.dialect = db.dialect,
                                        .rowsPerInsert = 100,
                                        .transaction = true,
                                        .header = true,
                                        .rfc4180 = true,
                                        .createTable = true,
                                        .key = "id",
                                        .splitRows = rows / 8};
        CancelAfter cancel(2);
        ASSERT_EQ(ConvertFile(settings, &cancel, options).status, RunStatus::Cancelled);
        ASSERT_FALSE(fs::exists("load.manifest.json"));
        const RunReport report = ConvertFile(settings, nullptr, options);
        ASSERT_EQ(report.status, RunStatus::Done) << report.reason;
        ASSERT_EQ(report.parts, 9u);
        ASSERT_EQ(db.load("load.create.sql", errors), 0) << db.name << ": " << errors;

        // A client killed in the middle of part 2: its statements reached the server.
        const std::string part = ReadBytes("load.00002.sql");
        const std::size_t half = part.find('\n', part.size() / 2) + 1;
        ASSERT_EQ(::mkfifo("half.fifo", 0600), 0);
        // Opened for both, so that the client's open returns at once and
        // never sees the input end.
        UniqueFd fifo(::open("half.fifo", O_RDWR | O_CLOEXEC));
        const pid_t client = test::StartProcess(db.client, "half.fifo", "/dev/null", "killed-errors.txt");
        {
            ASSERT_EQ(WriteAll(fifo.get(), part.data(), half), 0);
            bool open = false;
            for (int wait = 0; wait < 1000 && !open; ++wait) {
                open = inTransaction();
                if (!open) ::usleep(10000);
            }
            EXPECT_TRUE(open) << db.name << ": the killed client's transaction never showed";
            ::kill(client, SIGKILL);
            test::WaitForExit(client);
        }
        // The others, two at a time, as the README has them loaded; then the killed one again.
        std::string command = "ls load.0000[13-9].sql | xargs -I{} -P " + std::string(parallel ? "2" : "1") +
                              " sh -c '\"$@\" < \"$0\"' {}" + ShellWords(db.client);
        const pid_t all = test::StartProcess({"/bin/sh", "-c", command}, "/dev/null", "/dev/null", "all-errors.txt");
        EXPECT_EQ(test::WaitForExit(all), 0) << db.name << ": " << ReadBytes("all-errors.txt");
        EXPECT_EQ(db.load("load.00002.sql", errors), 0) << db.name << ": " << errors;
        const std::string n = std::to_string(rows);
        EXPECT_EQ(db.query("SELECT 'once' FROM (SELECT count(*) AS n, count(DISTINCT id) AS d, min(id) AS lo, "
                           "max(id) AS hi FROM " +
                           table + ") AS s WHERE n = " + n + " AND d = " + n + " AND lo = 1 AND hi = " + n),
                  (std::vector<Row>{{"once"}}))
            << db.name;
    }
};

TEST_F(PartsInDatabases, Sqlite) {
    const test::Database db = test::SqliteDatabase((dir() / "parts.db").string());
    // One writer at a time: the parts load one after another. A transaction
    // being written has its journal beside the database.
    Check(
        db, [this] { return fs::exists(dir() / "parts.db-journal"); }, false);
}

TEST_F(PartsInDatabases, Postgresql) {
    std::string why;
    const std::optional<test::Database> db = test::PostgresDatabase(why);
    if (!db) GTEST_SKIP() << why;
    Check(*db, [&db] {
        return db->query("SELECT count(*) FROM pg_stat_activity WHERE state LIKE 'idle in transaction%'") !=
               std::vector<Row>{{"0"}};
    });
}

TEST_F(PartsInDatabases, MariaDb) {
    std::string why;
    const std::optional<test::Database> db = test::MariaDatabase("parts", why);
    if (!db) GTEST_SKIP() << why;
    Check(*db,
          [&db] { return db->query("SELECT count(*) FROM information_schema.innodb_trx") != std::vector<Row>{{"0"}}; });
}

}  // namespace
}  // namespace rowsmith
