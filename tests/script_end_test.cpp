// Where a file of statements ends safely: literals, names, comments, COPY
// blocks and client lines read as each client reads them, so that text
// inside a value never passes for a statement.
#include <string>

#include <gtest/gtest.h>

#include "convert/sql/script_end.h"

namespace rowsmith {
namespace {

TEST(ScriptEndTest, FindsTheLastWholeStatementAndTheTransactionItLeaves) {
    struct Case {
        const char* what;
        Dialect dialect;
        std::string text;
        std::string whole;  // the text up to the end of its last whole statement
        bool inside;        // a transaction is left open there
    };
    const std::string row = "INSERT INTO t VALUES ( 'a' );\r\n";
    const Case cases[] = {
        {"nothing", Dialect::Standard, "", "", false},
        {"whole statements", Dialect::Standard, row + row, row + row, false},
        {"cut inside a literal", Dialect::Standard, row + "INSERT INTO t VALUES ( 'b", row, false},
        {"cut between CR and LF", Dialect::Standard, row + "BEGIN;\r", row + "BEGIN;\r", true},
        {"cut inside a literal that holds a statement's end", Dialect::Sqlite,
         "BEGIN;\r\n" + row + "INSERT INTO t VALUES ( 'x );\r\n", "BEGIN;\r\n" + row, true},
        // A value holding a COMMIT; line is no COMMIT.
        {"a COMMIT; line inside a value", Dialect::Standard,
         "BEGIN;\r\nINSERT INTO t VALUES ( 'x\r\nCOMMIT;\r\ny' );\r\n",
         "BEGIN;\r\nINSERT INTO t VALUES ( 'x\r\nCOMMIT;\r\ny' );\r\n", true},
        {"a doubled quote, then the end", Dialect::Standard, "INSERT INTO t VALUES ( 'it''s' );\n",
         "INSERT INTO t VALUES ( 'it''s' );\n", false},
        {"committed", Dialect::Postgresql, "BEGIN;\r\n" + row + "COMMIT;\r\n", "BEGIN;\r\n" + row + "COMMIT;\r\n",
         false},
        {"rolled back, written in lower case", Dialect::Sqlite, "begin transaction;\n" + row + "rollback;\n",
         "begin transaction;\n" + row + "rollback;\n", false},
        {"a savepoint rolled back leaves it open", Dialect::Postgresql, "BEGIN;\nROLLBACK TO SAVEPOINT s;\n",
         "BEGIN;\nROLLBACK TO SAVEPOINT s;\n", true},
        {"MySQL commits at CREATE", Dialect::MySql, "BEGIN;\nCREATE TABLE t ( a TEXT );\n",
         "BEGIN;\nCREATE TABLE t ( a TEXT );\n", false},
        // MySQL reads \' as a quote inside the literal; standard SQL ends it there.
        {"a backslash escape, MySQL", Dialect::MySql, "INSERT INTO t VALUES ( 'a\\'b' );\n",
         "INSERT INTO t VALUES ( 'a\\'b' );\n", false},
        {"the same, standard SQL", Dialect::Standard, "INSERT INTO t VALUES ( 'a\\'b' );\n", "", false},
        {"E'' in PostgreSQL", Dialect::Postgresql, "SELECT E'it\\'s';\n", "SELECT E'it\\'s';\n", false},
        {"dollar quotes", Dialect::Postgresql, "DO $f$ BEGIN; 'x $f$;\nBEGIN;\n", "DO $f$ BEGIN; 'x $f$;\nBEGIN;\n",
         true},
        {"a quoted name holding a quote", Dialect::Standard, "INSERT INTO t ( \"it's\" ) VALUES ( 'a' );\n",
         "INSERT INTO t ( \"it's\" ) VALUES ( 'a' );\n", false},
        {"a bracketed name, SQLite", Dialect::Sqlite, "INSERT INTO t ( [it's] ) VALUES ( 'a' );\n",
         "INSERT INTO t ( [it's] ) VALUES ( 'a' );\n", false},
        {"comments", Dialect::Standard, "-- don't\n/* it's; */" + row, "-- don't\n/* it's; */" + row, false},
        {"a comment never ended", Dialect::Standard, row + "-- note", row, false},
        {"a hash comment, MySQL", Dialect::MySql, "# don't\n" + row, "# don't\n" + row, false},
        {"COPY blocks and psql's lines", Dialect::Postgresql,
         "\\set ON_ERROR_STOP on\nCOPY t ( a ) FROM stdin;\nit's;\t\\N\n\\.\n",
         "\\set ON_ERROR_STOP on\nCOPY t ( a ) FROM stdin;\nit's;\t\\N\n\\.\n", false},
        {"a COPY statement longer than the words kept of others", Dialect::Postgresql,
         "COPY people ( id, name, pair, amount, note, day, more ) FROM stdin;\n1\tx\n\\.\n",
         "COPY people ( id, name, pair, amount, note, day, more ) FROM stdin;\n1\tx\n\\.\n", false},
        {"a COPY block cut inside a row", Dialect::Postgresql, "BEGIN;\nCOPY t ( a ) FROM stdin;\nx\ny", "BEGIN;\n",
         true},
        {"a COPY block whose end marker is cut", Dialect::Postgresql, "COPY t ( a ) FROM stdin;\nx\n\\.", "", false},
    };
    for (const Case& c : cases) {
        // Fed in pieces of every size: nothing depends on where they end.
        for (std::size_t piece = 1; piece <= c.text.size() + 1; piece += piece < 4 ? 1 : 7) {
            ScriptReader pieces(c.dialect);
            for (std::size_t at = 0; at < c.text.size(); at += piece) pieces.Feed(c.text.substr(at, piece));
            const ScriptEnd end = pieces.End();
            EXPECT_EQ(end.wholeEnd, c.whole.size()) << c.what << ", pieces of " << piece;
            EXPECT_EQ(end.insideTransaction, c.inside) << c.what << ", pieces of " << piece;
            EXPECT_EQ(end.size, c.text.size()) << c.what;
            const bool cut = c.text.find_first_not_of(" \t\r\n", c.whole.size()) != std::string::npos;
            EXPECT_EQ(end.CutShort(), cut) << c.what << ", pieces of " << piece;
            if (cut) {
                EXPECT_EQ(end.tailStart, c.text.find_first_not_of(" \t\r\n", c.whole.size())) << c.what;
            }
        }
    }
}

TEST(ScriptEndTest, OnlyRowsmithsOwnStatementsCutShortMayBeTakenAway) {
    for (const char* ours : {"INSERT INTO t VALUES ( 'a", "INS", "COPY t ( a ) FROM stdin;\nx", "BEGI", "\\set ON",
                             "SET NAMES", "CREATE TABLE IF NOT EXISTS t ( a"}) {
        EXPECT_TRUE(RowsmithsCutStatement(ours)) << ours;
    }
    for (const char* theirs : {"SELECT 1", "-- note", "insert into t", "UPDATE t SET a = 'b", "CREATE INDEX"}) {
        EXPECT_FALSE(RowsmithsCutStatement(theirs)) << theirs;
    }
}

}  // namespace
}  // namespace rowsmith
