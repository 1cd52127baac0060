#pragma once

// The three databases as the tests reach them: their own command-line
// clients load a file of statements, as a user would, and their C libraries
// read the rows back byte for byte.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "convert/sql/sql_dialect.h"

namespace rowsmith::test {

using Value = std::optional<std::string>;  // nothing for NULL
using Row = std::vector<Value>;

// A database as a test uses it: the dialect it reads, a column type that
// keeps any bytes, its own client running a file of statements as a user
// would (0 when every statement ran), and a query that reads each value's
// exact bytes.
struct Database {
    std::string name;
    Dialect dialect;
    std::string anyBytesType;
    std::function<int(const std::string& sqlFile, std::string& errors)> load;
    std::function<std::vector<Row>(const std::string& query)> query;
    // The client's command as users run it, reading statements on its standard input.
    std::vector<std::string> client;
};

// SQLite in file; PostgreSQL; MariaDB in a new, empty database. Nothing,
// with why, for a server this run did not start.
Database SqliteDatabase(const std::string& file);
std::optional<Database> PostgresDatabase(std::string& why, const std::string& database = "postgres");
std::optional<Database> MariaDatabase(const std::string& database, std::string& why);

// The throw-away servers of this test run, or an empty string (with why
// set) when none was started.
std::string PostgresDir(std::string& why);
std::string MariaDbDir(std::string& why);

// How a client is run: as the README tells users to run it (sqlite3 db <
// file, a plain psql, mariadb with its own defaults), which goes on past a
// failed statement; or strictly, stopping at the first error (-bail,
// ON_ERROR_STOP) and, for MariaDB, passing bytes as they are.
enum class Strictness { AsUsersRunIt, Strict };

// Each client runs the statements in sqlFile; 0 when it exited 0 and said no
// error, else its exit status or 1. Its messages go to errors.
int LoadIntoSqlite(const std::string& databaseFile, const std::string& sqlFile, std::string& errors,
                   Strictness how = Strictness::AsUsersRunIt);
int LoadIntoPostgres(const std::string& dir, const std::string& sqlFile, std::string& errors,
                     Strictness how = Strictness::AsUsersRunIt, const std::string& database = "postgres");
int LoadIntoMariaDb(const std::string& dir, const std::string& database, const std::string& sqlFile,
                    std::string& errors, Strictness how = Strictness::AsUsersRunIt);

// Every row of query, with each column's exact bytes. A failed query fails
// the test and gives no rows.
std::vector<Row> QuerySqlite(const std::string& databaseFile, const std::string& query);
std::vector<Row> QueryPostgres(const std::string& dir, const std::string& query,
                               const std::string& database = "postgres");
std::vector<Row> QueryMariaDb(const std::string& dir, const std::string& database, const std::string& query);

}  // namespace rowsmith::test
