// Exports as real programs write them, read with --rfc4180 and loaded into
// SQLite and PostgreSQL: every table holds exactly the values Python's csv
// module reads from the same file, and, for the well-formed files that
// PostgreSQL's own COPY reads, exactly what COPY reads too.
#include <libpq-fe.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "convert/run/conversion_run.h"
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

struct CorpusFile {
    const char* name;
    char delimiter;
    const char* encoding;  // "" for bytes as they are
    bool copyReadsIt;      // well-formed for COPY: no BOM, no compression, no other character set
};

const CorpusFile kFiles[] = {
    {"spreadsheet-lf.csv", ',', "", true},
    {"database-crlf.csv", ',', "", false},
    {"quotes-everywhere.csv", ',', "", true},
    {"semicolons.csv", ';', "", true},
    {"tabs.tsv", '\t', "", true},
    {"header-keywords.csv", ',', "", true},
    {"windows-1252.csv", ',', "windows-1252", false},
    {"utf16-bom.csv", ',', "UTF-16", false},
    {"utf8-bom.csv", ',', "", false},
    {"gzip.csv.gz", ',', "", false},
    {"unclosed.csv", ',', "", false},
};

fs::path CorpusPath(const char* name) {
    return fs::path(ROWSMITH_TEST_DATA_DIR) / "csv" / name;
}

std::string FromHex(const std::string& hex) {
    std::string bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return bytes;
}

// The rows a Python command prints, a line each, its values in hex
// separated by commas.
std::vector<Row> PythonRows(const std::vector<std::string>& command) {
    EXPECT_EQ(test::WaitForExit(test::StartProcess(command, "/dev/null", "python.txt", "python-errors.txt")), 0)
        << ReadBytes("python-errors.txt");
    std::vector<Row> records;
    const std::string text = ReadBytes("python.txt");
    fs::remove("python.txt");
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        Row row;
        std::size_t from = 0;
        for (;;) {
            const std::size_t comma = line.find(',', from);
            row.emplace_back(FromHex(line.substr(from, comma - from)));
            if (comma == std::string::npos) break;
            from = comma + 1;
        }
        records.push_back(std::move(row));
    }
    return records;
}

// The records Python's csv module reads from the file at path.
std::vector<Row> PythonRecords(const std::string& path, char delimiter, const char* encoding) {
    std::vector<std::string> command = {"/usr/bin/python3", ROWSMITH_PYTHON_CSV, path, std::string(1, delimiter)};
    if (*encoding) command.emplace_back(encoding);
    return PythonRows(command);
}

// The header of header-keywords.csv, names with blanks and SQL keywords, as
// the field list of a table made with those names.
std::string HeaderTableScript(const std::string& table, const test::Database& db) {
    const ConversionOptions options{.dialect = db.dialect, .header = true, .rfc4180 = true};
    const std::string sqlFile = table + ".sql";
    std::string create = "CREATE TABLE " + table + " (";
    for (const char* name : {"id", "select", "last name", "order", "from"}) {
        create +=
            std::string(create.back() == '(' ? " " : ", ") + QuoteIdentifier(db.dialect, name) + " " + db.anyBytesType;
    }
    WriteBytes(sqlFile, create + " );\n");
    ConversionSettings settings{CorpusPath("header-keywords.csv").string(), sqlFile, table, ""};
    EXPECT_EQ(ConvertFile(settings, nullptr, options).status, RunStatus::Done);
    return sqlFile;
}

const std::vector<Row> kHeaderTableRows = {{"1", "2", "3", "4", "5"}};

class CsvCorpusTest : public TempDirTest {
protected:
    struct Prepared {
        std::string table;
        std::size_t columns = 0;
        std::vector<Row> expected;  // Python's records; without the unclosed one
        std::string createTable;
        std::string sqlFile;
    };

    // Converts file with --rfc4180, in the database's dialect, into a script
    // that creates its table and fills it.
    Prepared Prepare(const CorpusFile& file, int index, const test::Database& db) {
        Prepared p;
        p.table = "corpus_" + std::to_string(index);
        p.expected = PythonRecords(CorpusPath(file.name).string(), file.delimiter, file.encoding);
        for (const Row& row : p.expected) p.columns = std::max(p.columns, row.size());
        std::string fields;
        p.createTable = "CREATE TABLE " + p.table + " (";
        for (std::size_t i = 1; i <= p.columns; ++i) {
            fields += (i > 1 ? ", c" : "c") + std::to_string(i);
            p.createTable += (i > 1 ? ", c" : " c") + std::to_string(i) + " " + db.anyBytesType;
        }
        p.createTable += " );\n";
        const ConversionOptions options{
            .dialect = db.dialect, .rfc4180 = true, .delimiter = file.delimiter, .encoding = file.encoding};
        p.sqlFile = p.table + ".sql";
        WriteBytes(p.sqlFile, p.createTable);
        ConversionSettings settings{CorpusPath(file.name).string(), p.sqlFile, p.table, fields};
        const RunReport report = ConvertFile(settings, nullptr, options);
        if (std::string(file.name) == "unclosed.csv") {
            EXPECT_EQ(report.status, RunStatus::ReadFailed);
            EXPECT_NE(report.text.find("the quoted field that opens on line 3 is never closed"), std::string::npos)
                << report.text;
            p.expected.pop_back();  // Python keeps the open field; Rowsmith stops before it
        } else {
            EXPECT_EQ(report.status, RunStatus::Done) << file.name << ": " << report.text;
        }
        EXPECT_EQ(report.counts.mismatchedRows, 0u) << file.name;
        return p;
    }

    // Each file's script run by the database's own client: the table holds
    // what Python reads, line breaks inside values too.
    void CheckThroughClient(const test::Database& db, int firstIndex) {
        int index = firstIndex;
        for (const CorpusFile& file : kFiles) {
            const Prepared p = Prepare(file, ++index, db);
            std::string errors;
            ASSERT_EQ(db.load(p.sqlFile, errors), 0) << db.name << ", " << file.name << ": " << errors;
            EXPECT_EQ(db.query("SELECT * FROM " + p.table), p.expected) << db.name << ", " << file.name;
        }
        std::string errors;
        ASSERT_EQ(db.load(HeaderTableScript("named", db), errors), 0) << errors;
        EXPECT_EQ(db.query("SELECT * FROM named"), kHeaderTableRows);
    }
};

TEST_F(CsvCorpusTest, SqliteHoldsWhatPythonReads) {
    CheckThroughClient(test::SqliteDatabase((dir() / "corpus.db").string()), 0);
}

TEST_F(CsvCorpusTest, MariaDbHoldsWhatPythonReads) {
    std::string why;
    const std::optional<test::Database> db = test::MariaDatabase("corpus", why);
    if (!db) GTEST_SKIP() << why;
    CheckThroughClient(*db, 200);
}

TEST_F(CsvCorpusTest, PostgresqlHoldsWhatPythonAndCopyRead) {
    std::string why;
    const std::string server = test::PostgresDir(why);
    if (server.empty()) GTEST_SKIP() << why;
    const std::string conninfo = "host=" + server + " user=postgres dbname=postgres";
    std::unique_ptr<PGconn, void (*)(PGconn*)> conn(PQconnectdb(conninfo.c_str()), PQfinish);
    ASSERT_EQ(PQstatus(conn.get()), CONNECTION_OK) << PQerrorMessage(conn.get());
    std::string loadErrors;
    const std::optional<test::Database> db = test::PostgresDatabase(why);
    ASSERT_EQ(test::LoadIntoPostgres(server, HeaderTableScript("named", *db), loadErrors), 0) << loadErrors;
    EXPECT_EQ(test::QueryPostgres(server, "SELECT * FROM named"), kHeaderTableRows);
    int index = 100;
    for (const CorpusFile& file : kFiles) {
        const Prepared p = Prepare(file, ++index, *db);
        std::string errors;
        ASSERT_EQ(test::LoadIntoPostgres(server, p.sqlFile, errors), 0) << file.name << ": " << errors;
        EXPECT_EQ(test::QueryPostgres(server, "SELECT * FROM " + p.table), p.expected) << file.name;
        if (!file.copyReadsIt) continue;

        // COPY ... (FORMAT csv) into a table of its own, with empty values
        // as '' (COPY reads an unquoted empty value as NULL).
        const std::string copyTable = p.table + "_copy";
        std::string create = p.createTable;
        create.replace(create.find(p.table), p.table.size(), copyTable);
        PQclear(PQexec(conn.get(), create.c_str()));
        std::string copy = "COPY " + copyTable + " FROM STDIN (FORMAT csv, DELIMITER E'\\x" +
                           (file.delimiter == '\t'                  ? std::string("09")
                            : std::string(1, file.delimiter) == ";" ? "3b"
                                                                    : "2c") +
                           "')";
        PGresult* started = PQexec(conn.get(), copy.c_str());
        ASSERT_EQ(PQresultStatus(started), PGRES_COPY_IN) << PQerrorMessage(conn.get());
        PQclear(started);
        const std::string bytes = ReadBytes(CorpusPath(file.name));
        ASSERT_EQ(PQputCopyData(conn.get(), bytes.data(), static_cast<int>(bytes.size())), 1);
        ASSERT_EQ(PQputCopyEnd(conn.get(), nullptr), 1);
        PGresult* done = PQgetResult(conn.get());
        EXPECT_EQ(PQresultStatus(done), PGRES_COMMAND_OK) << file.name << ": " << PQerrorMessage(conn.get());
        PQclear(done);
        std::vector<Row> copied = test::QueryPostgres(server, "SELECT * FROM " + copyTable);
        for (Row& row : copied) {
            for (test::Value& value : row) {
                if (!value) value = "";
            }
        }
        EXPECT_EQ(copied, p.expected) << file.name << ", as COPY reads it";
    }
}

// Files as programs export them, and how Python must be told to read
// each: --sniff's options line must read them to the same values.
struct SniffCase {
    const char* name;
    std::string bytes;
    char delimiter;        // for Python
    const char* encoding;  // for Python; "" for bytes as they are
    const char* options;   // the options line --sniff gives
};

std::string Utf16(std::string_view ascii, bool bigEndian) {
    std::string text = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (const char c : ascii) text.append(bigEndian ? std::string{'\0', c} : std::string{c, '\0'});
    return text;
}

// A file longer than the sample's head whose one byte outside ASCII is in its last line.
std::string LongAsciiThenLatin() {
    std::string text = "n,word\n";
    for (int i = 0; text.size() < (std::size_t{200} << 10); ++i) text += std::to_string(i) + ",plain\n";
    return text + "99999,caf\xE9\n";
}

const std::vector<SniffCase>& SniffCases() {
    static const std::vector<SniffCase> cases = {
        {"excel-utf8.csv",
         "\xEF\xBB\xBFid,name,note\r\n1,\"Smith, John\",\"says \"\"hi\"\"\"\r\n2,Zo\xC3\xAB,\"two\r\nlines\"\r\n", ',',
         "utf-8-sig", "--rfc4180 --header"},
        {"libreoffice.csv", "id,city,price\n1,K\xC3\xB6ln,3.5\n2,\"New York, NY\",12\n", ',', "", "--header"},
        {"google-sheets.csv", "name,qty\r\nApple,3\r\n\"Pear \"\"green\"\"\",5", ',', "", "--rfc4180 --header"},
        {"decimal-commas.csv", "Artikel;Preis;Menge\r\nK\xE4se;3,50;2\r\nBr\xF6tchen;0,45;10\r\n", ';', "windows-1252",
         "-d ';' --header --encoding windows-1252"},
        {"tabs.tsv", "id\tword\n1\talpha\n2\tbeta, gamma\n", '\t', "", "-d tab --header"},
        {"pipes.txt", "1|x|2024-01-01\n2|y|2024-01-02\n3|z|2024-01-03\n", '|', "", "-d '|'"},
        {"unicode-text.txt", Utf16("id\tname\r\n1\tJos\xE9\r\n2\tAna\r\n", false), '\t', "utf-16", "-d tab --header"},
        {"utf16-be.csv", Utf16("id,name\n1,Lee\n2,Kim\n", true), ',', "utf-16", "--header"},
        {"latin-at-end.csv", LongAsciiThenLatin(), ',', "windows-1252", "--header --encoding windows-1252"},
        {"no-header.csv", "1,2\n3,4\n", ',', "", ""},
        {"one-column.csv", "amount\n12\n7\n", ',', "", "--header"},
        {"empty.csv", "", ',', "", ""},
    };
    return cases;
}

TEST_F(CsvCorpusTest, SniffedOptionsReadEachExportAsPythonDoes) {
    const test::Database db = test::SqliteDatabase((dir() / "sniffed.db").string());
    int index = 0;
    for (const SniffCase& file : SniffCases()) {
        SCOPED_TRACE(file.name);
        WriteBytes(file.name, file.bytes);
        const test::CliRun sniffed = test::RunCli({"--sniff", file.name});
        ASSERT_EQ(sniffed.status, 0) << sniffed.err;
        const std::size_t last = sniffed.out.rfind("options:");
        ASSERT_NE(last, std::string::npos) << sniffed.out;
        const std::string options = sniffed.out.substr(last);
        EXPECT_EQ(options, std::string("options:") + (*file.options ? " " : "") + file.options + "\n") << sniffed.out;

        std::vector<Row> expected = PythonRecords(file.name, file.delimiter, file.encoding);
        std::vector<std::string> words = reference::ShellWords(options.substr(8, options.size() - 9));
        const bool header = std::find(words.begin(), words.end(), "--header") != words.end();
        if (expected.empty()) continue;
        // The table's columns: the header's names, or c1, c2, ...
        const std::string table = "sniffed_" + std::to_string(++index);
        std::string create = "CREATE TABLE " + table + " (";
        std::string fields;
        for (std::size_t i = 0; i < expected.front().size(); ++i) {
            const std::string name = header ? *expected.front()[i] : "c" + std::to_string(i + 1);
            create += (i > 0 ? ", " : " ") + QuoteIdentifier(Dialect::Sqlite, name) + " TEXT";
            fields += (i > 0 ? "," : "") + name;
        }
        if (header) expected.erase(expected.begin());
        std::vector<std::string> args = {"-t", table, "--dialect", "sqlite"};
        if (!header) args.insert(args.end(), {"-f", fields});
        args.insert(args.end(), words.begin(), words.end());
        args.emplace_back(file.name);
        const test::CliRun converted = test::RunCli(args);
        ASSERT_EQ(converted.status, 0) << converted.err;
        // A run with the options it proposes has nothing more to hint.
        EXPECT_EQ(converted.err.find("hint:"), std::string::npos) << converted.err;
        WriteBytes(table + ".sql", "BEGIN;\n" + create + " );\n" + converted.out + "COMMIT;\n");
        std::string errors;
        ASSERT_EQ(db.load(table + ".sql", errors), 0) << errors;
        EXPECT_EQ(db.query("SELECT * FROM " + table), expected);
    }
}

}  // namespace
}  // namespace rowsmith

namespace rowsmith {
namespace {

// What the databases' own clients export, read back with the options
// --sniff proposes (and the dialect): every table loaded by its client as
// users run it holds exactly the rows exported, NULL apart from ''. The
// rows hold what text exports escape and CSV exports quote.
const std::vector<Row> kExportedRows = {
    {"1", "plain"},          {"2", ""},
    {"3", std::nullopt},     {"4", "tab\there"},
    {"5", "line\nbreak"},    {"6", "back\\slash"},
    {"7", "say \"hi\", ok"}, {"8", "Zo\xC3\xAB"},
};

// The source rows as SQL; backslashEscapes for a database that reads a
// backslash in a literal as an escape (MariaDB by default).
std::string SourceScript(const std::string& anyBytesType, bool backslashEscapes = false) {
    std::string script = "CREATE TABLE src ( id " + anyBytesType + ", note " + anyBytesType + " );\n";
    for (const Row& row : kExportedRows) {
        std::string note = "NULL";
        if (row[1]) {
            note = "'";
            for (const char c : *row[1]) note.append(c == '\'' || (c == '\\' && backslashEscapes) ? 2 : 1, c);
            note += "'";
        }
        script += "INSERT INTO src VALUES ( '" + *row[0] + "', " + note + " );\n";
    }
    return script;
}

class RealExportsTest : public TempDirTest {};

TEST_F(RealExportsTest, LoadExactlyWithTheSniffedOptions) {
    std::string why;
    const std::string pgDir = test::PostgresDir(why);
    if (pgDir.empty()) GTEST_SKIP() << why;
    std::string errors;
    // PostgreSQL's text and CSV exports, as psql's \copy writes them.
    WriteBytes("pg-export.sql", "DROP TABLE IF EXISTS src;\n" + SourceScript("TEXT") +
                                    "\\copy src to 'psql-text.txt'\n"
                                    "\\copy src to 'psql.csv' with (format csv, header)\n");
    ASSERT_EQ(test::LoadIntoPostgres(pgDir, "pg-export.sql", errors, test::Strictness::Strict), 0) << errors;
    // SQLite's CSV, as its shell's .mode csv writes it.
    WriteBytes(
        "sqlite-export.sql",
        SourceScript("TEXT") + ".headers on\n.mode csv\n.output sqlite.csv\nSELECT * FROM src;\n.output stdout\n");
    ASSERT_EQ(test::LoadIntoSqlite("export.db", "sqlite-export.sql", errors, test::Strictness::Strict), 0) << errors;
    std::vector<std::string> exports = {"psql-text.txt", "psql.csv", "sqlite.csv"};
    // MariaDB's SELECT ... INTO OUTFILE, where the server may write here.
    std::vector<test::Database> databases = {test::SqliteDatabase((dir() / "loaded.db").string())};
    if (const std::string mariaDir = test::MariaDbDir(why); !mariaDir.empty()) {
        const std::optional<test::Database> maria = test::MariaDatabase("exported", why);
        ASSERT_TRUE(maria) << why;
        fs::permissions(dir(), fs::perms::all, fs::perm_options::add);
        const std::string outfile = (dir() / "mariadb-outfile.txt").string();
        WriteBytes("maria-export.sql",
                   SourceScript("LONGBLOB", true) + "SELECT * FROM src INTO OUTFILE '" + outfile + "';\n");
        if (test::LoadIntoMariaDb(mariaDir, "exported", "maria-export.sql", errors, test::Strictness::Strict) == 0) {
            exports.push_back("mariadb-outfile.txt");
        } else {
            ADD_FAILURE() << "the server wrote no export: " << errors;
        }
        databases.push_back(*maria);
    }
    const std::optional<test::Database> pg = test::PostgresDatabase(why);
    ASSERT_TRUE(pg) << why;
    databases.push_back(*pg);

    int index = 0;
    for (const std::string& file : exports) {
        SCOPED_TRACE(file);
        const test::CliRun sniffed = test::RunCli({"--sniff", file});
        ASSERT_EQ(sniffed.status, 0) << sniffed.err;
        const std::size_t last = sniffed.out.rfind("options:");
        ASSERT_NE(last, std::string::npos) << sniffed.out;
        const std::vector<std::string> words =
            reference::ShellWords(sniffed.out.substr(last + 8, sniffed.out.size() - last - 9));
        const bool header = std::find(words.begin(), words.end(), "--header") != words.end();
        // The CSV exports write a header, the text exports none.
        EXPECT_EQ(header, file.ends_with(".csv")) << sniffed.out;
        for (const test::Database& db : databases) {
            SCOPED_TRACE(db.name);
            const std::string table = "loaded_" + std::to_string(++index);
            std::vector<std::string> args = {"-t", table, "--dialect", std::string(DialectName(db.dialect))};
            if (!header) args.insert(args.end(), {"-f", "id, note"});
            args.insert(args.end(), words.begin(), words.end());
            args.emplace_back(file);
            const test::CliRun converted = test::RunCli(args);
            ASSERT_EQ(converted.status, 0) << converted.err;
            EXPECT_EQ(converted.err.find("hint:"), std::string::npos) << converted.err;
            WriteBytes(table + ".sql", "CREATE TABLE " + table + " ( id " + db.anyBytesType + ", note " +
                                           db.anyBytesType + " );\n" + converted.out);
            ASSERT_EQ(db.load(table + ".sql", errors), 0) << errors << "\n" << converted.out;
            EXPECT_EQ(db.query("SELECT id, note FROM " + table + " ORDER BY id"), kExportedRows) << sniffed.out;
        }
    }
}

}  // namespace
}  // namespace rowsmith

namespace rowsmith {
namespace {

// A public suite's files, each with the records it must read as: --sniff's
// options read every one of them so, loaded into SQLite by its own client.
TEST_F(CsvCorpusTest, APublicSuitesFilesReadAsItsAnswersByTheSniffedOptions) {
    const test::Database db = test::SqliteDatabase((dir() / "suite.db").string());
    // The answer as rows: the names of the first object, then each object's values.
    const std::string answers =
        "import json, sys\n"
        "rows = json.load(open(sys.argv[1], encoding='utf-8'))\n"
        "names = list(rows[0].keys())\n"
        "for row in [names] + [[r[n] for n in names] for r in rows]:\n"
        "    print(','.join(v.encode().hex() for v in row))\n";
    int index = 0;
    for (const auto& entry : fs::directory_iterator(fs::path(ROWSMITH_TEST_DATA_DIR) / "csv-spectrum")) {
        if (entry.path().extension() != ".csv") continue;
        const std::string name = entry.path().stem().string();
        SCOPED_TRACE(name);
        fs::copy_file(entry.path(), name + ".csv");
        std::vector<Row> expected =
            PythonRows({"/usr/bin/python3", "-c", answers, fs::path(entry.path()).replace_extension(".json").string()});
        ASSERT_FALSE(expected.empty());
        const test::CliRun sniffed = test::RunCli({"--sniff", name + ".csv"});
        ASSERT_EQ(sniffed.status, 0) << sniffed.err;
        const std::size_t last = sniffed.out.rfind("options:");
        const std::vector<std::string> words =
            reference::ShellWords(sniffed.out.substr(last + 8, sniffed.out.size() - last - 9));
        // Every file of the suite has a header.
        ASSERT_NE(std::find(words.begin(), words.end(), "--header"), words.end()) << sniffed.out;
        const std::string table = "suite_" + std::to_string(++index);
        std::string create = "CREATE TABLE " + table + " (";
        for (std::size_t i = 0; i < expected.front().size(); ++i)
            create += (i > 0 ? ", " : " ") + QuoteIdentifier(Dialect::Sqlite, *expected.front()[i]) + " TEXT";
        expected.erase(expected.begin());
        std::vector<std::string> args = {"-t", table, "--dialect", "sqlite"};
        args.insert(args.end(), words.begin(), words.end());
        args.push_back(name + ".csv");
        const test::CliRun converted = test::RunCli(args);
        ASSERT_EQ(converted.status, 0) << converted.err;
        WriteBytes(table + ".sql", create + " );\n" + converted.out);
        std::string errors;
        ASSERT_EQ(db.load(table + ".sql", errors), 0) << errors;
        EXPECT_EQ(db.query("SELECT * FROM " + table), expected) << sniffed.out;
    }
    EXPECT_EQ(index, 11);
}

}  // namespace
}  // namespace rowsmith
