#include "db/db_clients.h"

#include <libpq-fe.h>
#include <mysql.h>
#include <sqlite3.h>

#include <cstdlib>
#include <filesystem>
#include <memory>

#include <gtest/gtest.h>

#include "test_support.h"

namespace rowsmith::test {

namespace {

namespace fs = std::filesystem;

// The servers of a test run live in ROWSMITH_DB_DIR/<server>.
std::string ServerDir(const char* server, const char* name, std::string& why) {
    const char* runDir = std::getenv("ROWSMITH_DB_DIR");
    const fs::path dir = fs::path(runDir ? runDir : "") / server;
    if (!runDir || !fs::exists(dir / "ready")) {
        why = std::string("no ") + name + " server was started for this run (is it installed?)";
        return {};
    }
    return dir.string();
}

// Runs a client with sqlFile as its standard input. Run as users run them,
// the clients go on past a failed statement and may exit 0 after one: an
// error said on standard error counts as a failure too.
int RunClient(const std::vector<std::string>& command, const std::string& sqlFile, std::string& errors) {
    const int status = WaitForExit(StartProcess(command, sqlFile, "/dev/null", "client-errors.txt"));
    errors = ReadBytes("client-errors.txt");
    std::string lower = errors;
    for (char& c : lower) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    const bool said = lower.find("error") != std::string::npos;
    return status != 0 ? status : said ? 1 : 0;
}

std::vector<std::string> SqliteClient(const std::string& databaseFile, Strictness how) {
    std::vector<std::string> command = {"/usr/bin/sqlite3"};
    if (how == Strictness::Strict) command.emplace_back("-bail");
    command.push_back(databaseFile);
    return command;
}

std::vector<std::string> PostgresClient(const std::string& dir, Strictness how, const std::string& database) {
    // -X leaves out a ~/.psqlrc of the machine's; the connection is the test server's.
    std::vector<std::string> command = {"/usr/bin/psql", "-X", "-q", "-h", dir, "-U", "postgres", "-d", database};
    if (how == Strictness::Strict) command.insert(command.end(), {"-v", "ON_ERROR_STOP=1"});
    return command;
}

std::vector<std::string> MariaDbClient(const std::string& dir, const std::string& database, Strictness how) {
    // The client's own defaults, as a user's: no option file of the machine's.
    std::vector<std::string> command = {"/usr/bin/mariadb", "--no-defaults", "--socket=" + dir + "/sock", "-uroot"};
    // The binary character set passes every byte of a literal as it is.
    if (how == Strictness::Strict) command.emplace_back("--default-character-set=binary");
    if (!database.empty()) command.push_back(database);
    return command;
}

}  // namespace

Database SqliteDatabase(const std::string& file) {
    return {"SQLite",
            Dialect::Sqlite,
            "text",
            [file](const std::string& sql, std::string& errors) { return LoadIntoSqlite(file, sql, errors); },
            [file](const std::string& query) { return QuerySqlite(file, query); },
            SqliteClient(file, Strictness::AsUsersRunIt)};
}

std::optional<Database> PostgresDatabase(std::string& why, const std::string& database) {
    const std::string server = PostgresDir(why);
    if (server.empty()) return std::nullopt;
    return Database{"PostgreSQL",
                    Dialect::Postgresql,
                    "text",
                    [server, database](const std::string& sql, std::string& errors) {
                        return LoadIntoPostgres(server, sql, errors, Strictness::AsUsersRunIt, database);
                    },
                    [server, database](const std::string& query) { return QueryPostgres(server, query, database); },
                    PostgresClient(server, Strictness::AsUsersRunIt, database)};
}

std::optional<Database> MariaDatabase(const std::string& database, std::string& why) {
    const std::string server = MariaDbDir(why);
    if (server.empty()) return std::nullopt;
    WriteBytes("create-database.sql", "DROP DATABASE IF EXISTS " + database + ";\nCREATE DATABASE " + database + ";\n");
    std::string errors;
    if (LoadIntoMariaDb(server, "", "create-database.sql", errors) != 0) {
        why = "cannot make a database: " + errors;
        return std::nullopt;
    }
    return Database{"MariaDB",
                    Dialect::MySql,
                    "longblob",
                    [server, database](const std::string& sql, std::string& said) {
                        return LoadIntoMariaDb(server, database, sql, said);
                    },
                    [server, database](const std::string& query) { return QueryMariaDb(server, database, query); },
                    MariaDbClient(server, database, Strictness::AsUsersRunIt)};
}

std::string PostgresDir(std::string& why) {
    return ServerDir("pg", "PostgreSQL", why);
}

std::string MariaDbDir(std::string& why) {
    return ServerDir("mariadb", "MariaDB", why);
}

int LoadIntoSqlite(const std::string& databaseFile, const std::string& sqlFile, std::string& errors, Strictness how) {
    return RunClient(SqliteClient(databaseFile, how), sqlFile, errors);
}

int LoadIntoPostgres(const std::string& dir, const std::string& sqlFile, std::string& errors, Strictness how,
                     const std::string& database) {
    return RunClient(PostgresClient(dir, how, database), sqlFile, errors);
}

int LoadIntoMariaDb(const std::string& dir, const std::string& database, const std::string& sqlFile,
                    std::string& errors, Strictness how) {
    return RunClient(MariaDbClient(dir, database, how), sqlFile, errors);
}

std::vector<Row> QuerySqlite(const std::string& databaseFile, const std::string& query) {
    sqlite3* raw = nullptr;
    EXPECT_EQ(sqlite3_open(databaseFile.c_str(), &raw), SQLITE_OK);
    std::unique_ptr<sqlite3, int (*)(sqlite3*)> db(raw, sqlite3_close);
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db.get(), query.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
        ADD_FAILURE() << query << ": " << sqlite3_errmsg(db.get());
        return {};
    }
    std::vector<Row> rows;
    while (sqlite3_step(statement) == SQLITE_ROW) {
        Row row;
        for (int i = 0; i < sqlite3_column_count(statement); ++i) {
            if (sqlite3_column_type(statement, i) == SQLITE_NULL) {
                row.emplace_back();
                continue;
            }
            const auto* bytes = static_cast<const char*>(sqlite3_column_blob(statement, i));
            row.emplace_back(
                std::string(bytes ? bytes : "", static_cast<std::size_t>(sqlite3_column_bytes(statement, i))));
        }
        rows.push_back(std::move(row));
    }
    sqlite3_finalize(statement);
    return rows;
}

std::vector<Row> QueryPostgres(const std::string& dir, const std::string& query, const std::string& database) {
    const std::string conninfo = "host=" + dir + " user=postgres dbname=" + database;
    std::unique_ptr<PGconn, void (*)(PGconn*)> conn(PQconnectdb(conninfo.c_str()), PQfinish);
    if (PQstatus(conn.get()) != CONNECTION_OK) {
        ADD_FAILURE() << PQerrorMessage(conn.get());
        return {};
    }
    // Binary results give each text column's bytes exactly.
    std::unique_ptr<PGresult, void (*)(PGresult*)> result(
        PQexecParams(conn.get(), query.c_str(), 0, nullptr, nullptr, nullptr, nullptr, 1), PQclear);
    if (PQresultStatus(result.get()) != PGRES_TUPLES_OK) {
        ADD_FAILURE() << query << ": " << PQerrorMessage(conn.get());
        return {};
    }
    std::vector<Row> rows;
    for (int r = 0; r < PQntuples(result.get()); ++r) {
        Row row;
        for (int i = 0; i < PQnfields(result.get()); ++i) {
            if (PQgetisnull(result.get(), r, i)) {
                row.emplace_back();
            } else {
                row.emplace_back(std::string(PQgetvalue(result.get(), r, i),
                                             static_cast<std::size_t>(PQgetlength(result.get(), r, i))));
            }
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

std::vector<Row> QueryMariaDb(const std::string& dir, const std::string& database, const std::string& query) {
    std::unique_ptr<MYSQL, void (*)(MYSQL*)> db(mysql_init(nullptr), mysql_close);
    mysql_options(db.get(), MYSQL_SET_CHARSET_NAME, "binary");
    const std::string socket = dir + "/sock";
    const char* schema = database.empty() ? nullptr : database.c_str();
    if (!mysql_real_connect(db.get(), nullptr, "root", nullptr, schema, 0, socket.c_str(), 0)) {
        ADD_FAILURE() << mysql_error(db.get());
        return {};
    }
    if (mysql_real_query(db.get(), query.data(), query.size()) != 0) {
        ADD_FAILURE() << query << ": " << mysql_error(db.get());
        return {};
    }
    std::unique_ptr<MYSQL_RES, void (*)(MYSQL_RES*)> result(mysql_store_result(db.get()), mysql_free_result);
    std::vector<Row> rows;
    if (!result) return rows;
    const unsigned columns = mysql_num_fields(result.get());
    while (MYSQL_ROW values = mysql_fetch_row(result.get())) {
        const unsigned long* lengths = mysql_fetch_lengths(result.get());
        Row row;
        for (unsigned i = 0; i < columns; ++i) {
            if (values[i]) {
                row.emplace_back(std::string(values[i], lengths[i]));
            } else {
                row.emplace_back();
            }
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

}  // namespace rowsmith::test
