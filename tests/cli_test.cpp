#include <fcntl.h>
#include <pty.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli/command_line.h"
#include "cli/progress_line.h"
#include "convert/options/option_table.h"
#include "inputs.h"
#include "test_support.h"

namespace rowsmith {
namespace {

using test::CliRun;
using test::ReadBytes;
using test::RunCli;
using test::StartProcess;
using test::TempDirTest;
using test::WaitForExit;
using test::WriteBytes;

const std::vector<std::string> kTableAndFields = {"--table", "T", "--fields", "F"};

std::vector<std::string> Args(std::vector<std::string> more) {
    std::vector<std::string> args = kTableAndFields;
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

using CliTest = TempDirTest;

TEST_F(CliTest, RefusesBadCommandLinesWithStatus2) {
    const std::vector<std::vector<std::string>> cases = {
        {},          {"--table", "T", "in.csv"}, {"--fields", "F", "in.csv"},
        Args({}),    Args({"a.csv", "-"}),       Args({"--colour", "in.csv"}),
        {"--table"},
    };
    for (const auto& args : cases) {
        const CliRun result = RunCli(args);
        EXPECT_EQ(result.status, 2) << result.err;
        EXPECT_EQ(result.err.rfind("rowsmith-convert: ", 0), 0u) << result.err;
        EXPECT_NE(result.err.find("Usage: rowsmith-convert"), std::string::npos);
        EXPECT_EQ(result.out, "");
    }
}

TEST_F(CliTest, AnswersHelpAndVersion) {
    const CliRun help = RunCli({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("Usage: rowsmith-convert --table NAME --fields LIST [--output FILE] INPUT\n", 0), 0u);
    const CliRun version = RunCli({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "rowsmith-convert (Rowsmith) 1.0.0.1\n");
}

TEST_F(CliTest, ConvertsAFileOrStandardInputToStandardOutput) {
    WriteBytes("in.csv", "1,O'Brien\r\n\"a,b\",c");
    const std::string expected =
        "INSERT INTO T ( F ) VALUES ( '1','O''Brien' );\r\nINSERT INTO T ( F ) VALUES ( 'a,b','c' );\r\n";
    const CliRun fromFile = RunCli(Args({"in.csv"}));
    EXPECT_EQ(fromFile.status, 0);
    EXPECT_EQ(fromFile.out, expected);
    // Two values for the one field name F: said, and converted all the same.
    EXPECT_EQ(fromFile.err,
              "rowsmith-convert: 2 lines have a number of values other than the 1 field name; the first is line 1. "
              "Their statements will fail to load.\n");
    const CliRun fromStdin = RunCli(Args({"-"}), {.stdinPath = "in.csv"});
    EXPECT_EQ(fromStdin.status, 0);
    EXPECT_EQ(fromStdin.out, expected);
}

// On two threads, the same bytes and words as on one: into a pipe (written
// at once) and into a file (by the writing thread), from a file named and
// from standard input (no hints then: nothing is read again), and the
// mismatch said with the same line.
TEST_F(CliTest, TwoThreadsWriteAndSayWhatOneDoes) {
    WriteBytes("in.csv", test::QuotedLines(40000).input + "1,2\n");
    const std::vector<std::string> names = {"-t", "T", "-f", "a,b,c"};
    const auto args = [&names](std::vector<std::string> more) {
        more.insert(more.begin(), names.begin(), names.end());
        return more;
    };
    const CliRun one = RunCli(args({"--jobs", "1", "in.csv"}));
    ASSERT_EQ(one.status, 0);
    EXPECT_NE(one.err.find("line 40001"), std::string::npos) << one.err;
    for (const std::string input : {"in.csv", "-"}) {
        const CliRun two = RunCli(args({"-j", "2", input}), {.stdinPath = "in.csv"});
        EXPECT_EQ(two.status, 0);
        EXPECT_EQ(two.out, one.out) << input;
        if (input != "-") {
            EXPECT_EQ(two.err, one.err);
        }
    }
    ASSERT_EQ(RunCli(args({"-j", "2", "-o", "out.sql", "in.csv"})).status, 0);
    EXPECT_EQ(ReadBytes("out.sql"), one.out);
}

TEST_F(CliTest, AppendsToTheOutputFile) {
    WriteBytes("in.csv", "x\n");
    WriteBytes("out.sql", "-- earlier\n");
    EXPECT_EQ(RunCli(Args({"--output", "out.sql", "in.csv"})).status, 0);
    EXPECT_EQ(RunCli(Args({"-o", "out.sql", "in.csv"})).status, 0);
    const std::string statement = "INSERT INTO T ( F ) VALUES ( 'x' );\r\n";
    EXPECT_EQ(ReadBytes("out.sql"), "-- earlier\n" + statement + statement);
    EXPECT_EQ(RunCli(Args({"--output=", "in.csv"})).status, 0);
    EXPECT_EQ(ReadBytes("db.csv"), statement);
}

TEST_F(CliTest, ReportsEveryFailureWithStatus1) {
    WriteBytes("in.csv", "x\n");
    ::mkdir("folder", 0755);
    struct Case {
        std::vector<std::string> args;
        std::string message;
    };
    const Case cases[] = {
        {Args({"missing.csv"}), "missing.csv: No such file or directory"},
        {Args({"folder"}), "folder: Is a directory"},
        {Args({"-o", "/dev/full", "in.csv"}), "/dev/full: No space left on device"},
        {Args({"-o", "nodir/out.sql", "in.csv"}), "nodir/out.sql: No such file or directory"},
        {Args({"-o", "folder", "in.csv"}), "folder: Is a directory"},
        {Args({"-o", "./in.csv", "in.csv"}), "The output file is the same as the input file."},
        {{"--sniff", "missing.csv"}, "missing.csv: No such file or directory"},
        {{"--sniff", "folder"}, "folder: Is a directory"},
        {{"--check", "-f", "a", "folder"}, "folder: Is a directory"},
    };
    for (const Case& c : cases) {
        const CliRun result = RunCli(c.args);
        EXPECT_EQ(result.status, 1) << c.message;
        EXPECT_EQ(result.err, "rowsmith-convert: " + c.message + "\n");
    }
    EXPECT_FALSE(::access("missing.csv", F_OK) == 0);
    EXPECT_EQ(ReadBytes("in.csv"), "x\n");

    // Standard output that is the input file itself is refused too.
    const CliRun intoItself = RunCli(Args({"in.csv"}), {.stdoutPath = "in.csv"});
    EXPECT_EQ(intoItself.status, 1);
    EXPECT_EQ(ReadBytes("in.csv"), "x\n");
    // Standard output on a full device.
    EXPECT_EQ(RunCli(Args({"in.csv"}), {.stdoutPath = "/dev/full"}).status, 1);
    EXPECT_EQ(RunCli({"--sniff", "in.csv"}, {.stdoutPath = "/dev/full"}).err,
              "rowsmith-convert: standard output: No space left on device\n");
}

// Parses args after the program name.
CommandLine Parse(std::vector<std::string> args) {
    args.insert(args.begin(), "rowsmith-convert");
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    return ParseCommandLine(static_cast<int>(args.size()), argv.data());
}

TEST(CommandLineOptions, ReadsTheLoadOptions) {
    struct Case {
        std::vector<std::string> args;
        ConversionOptions options;
    };
    const Case cases[] = {
        {Args({"in.csv"}), {}},
        {Args({"--dialect", "mysql", "in.csv"}), {.dialect = Dialect::MySql}},
        {Args({"--dialect=mariadb", "in.csv"}), {.dialect = Dialect::MySql}},
        {Args({"--dialect", "standard", "in.csv"}), {}},
        {Args({"--empty-as-null", "in.csv"}), {.null = NullMode::Empty}},
        {Args({"--null", "empty", "in.csv"}), {.null = NullMode::Empty}},
        {Args({"--empty-as-null", "--null=none", "in.csv"}), {}},
        {Args({"--null-token", "\\N", "--null", "unquoted-empty", "--null-token", "N A", "in.csv"}),
         {.null = NullMode::UnquotedEmpty, .nullTokens = {"\\N", "N A"}}},
        {Args({"--rows-per-insert", "500", "--transaction", "in.csv"}), {.rowsPerInsert = 500, .transaction = true}},
        {Args({"--rows-per-insert=100000", "in.csv"}), {.rowsPerInsert = 100000}},
        {Args({"--rejects", "bad.csv", "--max-rejects=0", "in.csv"}), {.rejects = "bad.csv", .maxRejects = 0}},
        {Args({"--split-rows", "4294967295", "--split-bytes", "64M", "in.csv"}),
         {.splitRows = 4294967295U, .splitBytes = std::uint64_t{64} << 20}},
        {Args({"--split-bytes=4096", "in.csv"}), {.splitBytes = 4096}},
        {Args({"--split-bytes", "16777215G", "in.csv"}), {.splitBytes = std::uint64_t{16777215} << 30}},
    };
    for (const Case& c : cases) {
        const CommandLine line = Parse(c.args);
        EXPECT_EQ(line.action, CommandLine::Action::Convert) << line.error;
        EXPECT_EQ(line.options, c.options) << c.args[4];
    }
}

TEST(CommandLineOptions, RefusesBadValuesNamingThem) {
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {Args({"--dialect", "oracle", "in.csv"}),
         "--dialect takes standard, sqlite, postgresql, mysql, mariadb or postgres, not 'oracle'"},
        {Args({"--rows-per-insert", "0", "in.csv"}),
         "--rows-per-insert takes a whole number from 1 to 100000, not '0'"},
        {Args({"--rows-per-insert", "100001", "in.csv"}),
         "--rows-per-insert takes a whole number from 1 to 100000, not '100001'"},
        {Args({"--rows-per-insert", "-5", "in.csv"}),
         "--rows-per-insert takes a whole number from 1 to 100000, not '-5'"},
        {Args({"--rows-per-insert", "1e3", "in.csv"}),
         "--rows-per-insert takes a whole number from 1 to 100000, not '1e3'"},
        {Args({"--rows-per-insert", "+5", "in.csv"}),
         "--rows-per-insert takes a whole number from 1 to 100000, not '+5'"},
        {Args({"--null", "NULL", "in.csv"}), "--null takes none, empty or unquoted-empty, not 'NULL'"},
        {Args({"--split-rows", "0", "in.csv"}), "--split-rows takes a whole number from 1 to 4294967295, not '0'"},
        {Args({"--jobs", "0", "in.csv"}), "--jobs takes a whole number from 1 to 256, not '0'"},
        {Args({"-j", "257", "in.csv"}), "--jobs takes a whole number from 1 to 256, not '257'"},
        {Args({"--split-bytes", "4095", "in.csv"}),
         "--split-bytes takes a number of bytes from 4096 (4K), K, M or G after it for KiB, MiB or GiB, not '4095'"},
        {Args({"--split-bytes", "1T", "in.csv"}),
         "--split-bytes takes a number of bytes from 4096 (4K), K, M or G after it for KiB, MiB or GiB, not '1T'"},
        {Args({"--split-bytes", "17179869184G", "in.csv"}),
         "--split-bytes takes a number of bytes from 4096 (4K), K, M or G after it for KiB, MiB or GiB, not "
         "'17179869184G'"},
        {Args({"--null-token", "NA ", "in.csv"}),
         "--null-token takes text without CR, LF or 0x1A that does not end in white space, not 'NA '"},
        {Args({"--null-token", "", "in.csv"}),
         "--null-token takes text without CR, LF or 0x1A that does not end in white space, not ''"},
        {{"--table", "", "--fields", "F", "in.csv"}, "the table name given to --table is empty"},
        {{"--table", " \t", "--fields", "F", "in.csv"}, "the table name given to --table is empty"},
        // Options that do not go together, or lists that cannot be used.
        {Args({"--copy", "in.csv"}),
         "--copy writes PostgreSQL's COPY, which no other database reads: give --dialect postgresql too"},
        {Args({"--on-conflict", "skip", "in.csv"}), "--on-conflict takes ignore or update, not 'skip'"},
        {Args({"--on-conflict", "ignore", "--key", "F", "in.csv"}),
         "standard SQL has no form for --on-conflict: give --dialect sqlite, postgresql or mysql"},
        {Args({"--dialect", "mysql", "--on-conflict", "update", "in.csv"}),
         "--on-conflict needs the key's columns: give --key"},
        {Args({"--dialect", "postgresql", "--copy", "--on-conflict", "update", "--key", "F", "in.csv"}),
         "COPY cannot skip or update rows: --on-conflict writes INSERT statements, not --copy"},
        {Args({"--columns", "2,x", "in.csv"}), "--columns names \"x\", and only a header (--header) names columns"},
        // A stray quote would take the rest of a list into one name.
        {Args({"--header", "--columns", "id=a\"b,name", "in.csv"}),
         "--columns has a quote that is never closed: id=a\"b,name"},
        {Args({"--dialect", "sqlite", "--on-conflict", "update", "--key", "\"id, name", "in.csv"}),
         "--key has a quote that is never closed: \"id, name"},
        {Args({"--null-token", ",", "in.csv"}), "the NULL marker ',' holds the delimiter ',', so no field can be it"},
        {Args({"-d", ";", "--null-token", "a;b", "in.csv"}),
         "the NULL marker 'a;b' holds the delimiter ';', so no field can be it"},
        {Args({"--key", "id", "in.csv"}),
         "--key is for --on-conflict, or for the key of the table --create-table writes"},
        // Reading rules that cannot be read.
        {Args({"--skip-lines", "-1", "in.csv"}), "--skip-lines takes a whole number from 0 to 1000000, not '-1'"},
        {Args({"--quote", "ab", "--rfc4180", "in.csv"}),
         "--quote takes one byte (not white space, CR, LF, 0x1A or NUL), or none, not 'ab'"},
        {Args({"--escape", "none", "--rfc4180", "in.csv"}),
         "--escape takes one byte (not white space, CR, LF, 0x1A or NUL), not 'none'"},
        {Args({"--quote", "'", "in.csv"}), "--quote is for the standard CSV rules: give --rfc4180 too"},
        {Args({"--skip-spaces", "in.csv"}), "--skip-spaces is for the standard CSV rules: give --rfc4180 too"},
        {Args({"--text-export", "--rfc4180", "in.csv"}),
         "--text-export and --rfc4180 are two ways of reading the input: give one"},
        {Args({"--rfc4180", "-d", ";", "--quote", ";", "in.csv"}), "the quote and the delimiter are one byte"},
        {Args({"--rfc4180", "--escape", ",", "in.csv"}), "the escape and the delimiter are one byte"},
        {Args({"--rfc4180", "--escape", "\"", "in.csv"}),
         "a quote inside quotes is read doubled without --escape: give --escape only for another byte"},
        {Args({"--header-lines", "2", "in.csv"}),
         "--header-lines is the number of lines the header takes: give --header too"},
        {Args({"--header-lines", "10", "--header", "in.csv"}),
         "--header-lines takes a whole number from 1 to 9, not '10'"},
        {Args({"--skip-lines", "2", "--header", "--last-line", "3", "in.csv"}),
         "--last-line 3 leaves no line of records to read"},
        {Args({"--rfc4180", "--quote", "\xE9", "--encoding", "latin1", "in.csv"}),
         "the quote and the escape must be ASCII bytes when the input has a character set (--encoding)"},
    };
    for (const auto& [args, error] : cases) {
        const CommandLine line = Parse(args);
        EXPECT_EQ(line.action, CommandLine::Action::UsageError) << error;
        EXPECT_EQ(line.error, error);
    }
}

TEST(CommandLineOptions, HelpAndTheManPageNameEveryOption) {
    const std::string help = HelpText();
    const std::string manual = ReadBytes(std::string(ROWSMITH_SOURCE_DIR) + "/docs/rowsmith-convert.1");
    for (const OptionFact& fact : OptionFacts()) {
        std::string inManual = "\\-\\-";
        for (const char c : fact.name) inManual += c == '-' ? std::string("\\-") : std::string(1, c);
        EXPECT_NE(help.find("--" + std::string(fact.name)), std::string::npos) << fact.name;
        EXPECT_NE(manual.find(inManual), std::string::npos) << fact.name;
        if (fact.shortName != '\0') {
            EXPECT_NE(manual.find(std::string("\\-") + fact.shortName), std::string::npos) << fact.name;
        }
    }
    // Every page says which client encodings the standard form is not safe in.
    const std::string readme = ReadBytes(std::string(ROWSMITH_SOURCE_DIR) + "/README.md");
    const std::string page = ReadBytes(std::string(ROWSMITH_SOURCE_DIR) + "/docs/help.htm");
    for (std::string text : {help, manual, readme, page}) {
        std::replace(text.begin(), text.end(), '\n', ' ');
        EXPECT_NE(text.find("SJIS, BIG5, GBK, GB18030, UHC"), std::string::npos) << text.substr(0, 60);
    }
}

TEST(CommandLineOptions, ReadsTheReadingOptions) {
    const CommandLine plain = Parse({"-t", "T", "--header", "--rfc4180", "-d", ";", "--encoding", "latin1", "in.csv"});
    ASSERT_EQ(plain.action, CommandLine::Action::Convert) << plain.error;
    EXPECT_TRUE(plain.options.header);
    EXPECT_TRUE(plain.options.rfc4180);
    EXPECT_EQ(plain.options.delimiter, ';');
    EXPECT_EQ(plain.options.encoding, "latin1");
    EXPECT_EQ(Parse(Args({"--delimiter=tab", "in.csv"})).options.delimiter, '\t');

    const std::pair<std::vector<std::string>, std::string> bad[] = {
        {Args({"-d", ";;", "in.csv"}),
         "--delimiter takes one byte, tab or space (not a quote, backslash, CR, LF, VT, FF, 0x1A or NUL), not ';;'"},
        {Args({"-d", "\"", "in.csv"}),
         "--delimiter takes one byte, tab or space (not a quote, backslash, CR, LF, VT, FF, 0x1A or NUL), not '\"'"},
        {Args({"--encoding", "no-such-set", "in.csv"}), "the character set \"no-such-set\" is not known"},
        {Args({"-d", "\xA7", "--encoding", "latin1", "in.csv"}),
         "the delimiter must be an ASCII byte when the input has a character set (--encoding)"},
        {Args({"-d", "\v", "in.csv"}),
         "--delimiter takes one byte, tab or space (not a quote, backslash, CR, LF, VT, FF, 0x1A or NUL), not '\v'"},
        {{"-t", "T", "in.csv"}, "--fields is missing (or give --header)"},
    };
    for (const auto& [args, error] : bad) {
        const CommandLine line = Parse(args);
        EXPECT_EQ(line.action, CommandLine::Action::UsageError) << error;
        EXPECT_EQ(line.error, error);
    }
}

TEST_F(CliTest, ReadsCompressedStandardCsvWithAHeaderFromStandardInput) {
    WriteBytes("in.csv", "name,\"note\"\r\n\"Smith, J\",\"two\r\nlines\"\r\n");
    ASSERT_EQ(WaitForExit(StartProcess({"/bin/gzip", "-k", "in.csv"}, "/dev/null", "/dev/null", "gzip.txt")), 0);
    const CliRun result = RunCli({"-t", "t", "--header", "--rfc4180", "-"}, {.stdinPath = "in.csv.gz"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "INSERT INTO t ( \"name\", \"note\" ) VALUES ( 'Smith, J','two\r\nlines' );\r\n");
    WriteBytes("bad.csv", "a\n\"b\n");
    const CliRun unclosed = RunCli({"-t", "t", "-f", "a", "--rfc4180", "bad.csv"});
    EXPECT_EQ(unclosed.status, 1);
    EXPECT_EQ(unclosed.out, "INSERT INTO t ( a ) VALUES ( 'a' );\r\n");
    EXPECT_EQ(unclosed.err, "rowsmith-convert: bad.csv: the quoted field that opens on line 2 is never closed\n");
}

// --check reads everything and writes nothing; each seeded problem is said
// with its line, and a clean file exits 0.
TEST_F(CliTest, ChecksEveryRecordAndSaysEachProblemWithItsLine) {
    struct Case {
        std::vector<std::string> options;
        std::string bytes;
        std::vector<std::string> problems;  // "LINE: words the reason holds"
    };
    const Case cases[] = {
        {{"--rfc4180", "--header"}, "id,v\r\n1,\"two\r\nlines\"\r\n2,x\r\n", {}},
        {{"--rfc4180", "--header"},
         "id,v\n1,a\n2\n3,\"b\n4,c\n",
         {"3: has 1 value instead of 2", "4: opens on line 4"}},
        {{"--header"},
         "id,,id\n1,2,3\n",
         {"1: column 2 of the header has no name: it is named \"column2\"", "1: column 3 is named \"id_2\""}},
        {{"--header"}, "id,v,id\n1,2,3\n", {"1: columns 1 and 3 of the header are both named \"id\""}},
        {{"-f", "a,b"}, "1,caf\xE9\n2,ok\n3,\"open\n", {"1: not UTF-8", "3: still open at the end of the line"}},
        // Each way a line is written says so: by the scanner, a statement
        // of many rows, and the values one by one.
        {{"-f", "a,b", "--rows-per-insert", "3"},
         "1,\"ok\"\n2,\"\n3,\"a,b\"x\n",
         {"2: still open at the end of the line", "3: still open at the end of the line"}},
        {{"-f", "b", "--columns", "2"}, "1,\"ok\"\n2,\"\n", {"2: still open at the end of the line"}},
        // Header lines; records past the last line are not read.
        {{"--header", "--header-lines", "2", "--last-line", "4"},
         "a,b\nc,d\n1,2\n3\n\nnotes\n",
         {"4: has 1 value instead of 2"}},
        {{"-f", "a", "--encoding", "latin1"}, "caf\xE9\n", {}},
        {{"-f", "a,b", "--dialect", "postgresql"}, std::string("1,a\n2,b\0c\n", 10), {"2: NUL byte"}},
        {{"-f", "a,b", "--dialect", "postgresql", "--nul", "strip"}, std::string("1,a\n2,b\0c\n", 10), {}},
        {{"-f", "a", "--rows-per-insert", "5", "--max-statement-bytes", "1024"},
         "x\n" + std::string(1100, 'y') + "\n",
         {"2: makes a statement of 1"}},
        // A read that stops is the one problem, and still a failure.
        {{"--rfc4180", "-f", "a"}, "x\n\"open\n", {"2: opens on line 2"}},
        // A record too wide to read stops the check where it starts.
        {{"--rfc4180", "-f", "a"}, "x\n" + std::string(1100000, ',') + "\n", {"2: more than 1048576 fields"}},
        {{"--header", "--dialect", "sqlite"}, "id,Id\n1,2\n", {"1: are one name to the database"}},
        // Bytes the encoding lacks: each line named, and the check goes on.
        {{"-f", "a", "--encoding", "UTF-8"}, "a\nb\xFF\nc\nd\xC3\n", {"2: not valid UTF-8 text", "4: not valid UTF-8"}},
        {{"-f", "a", "--encoding", "windows-1252"},
         "a\n\x81\nb\n\x8D\xE9\n",
         {"2: not valid windows-1252", "4: not valid"}},
        // Without names, the number of values most records have is the one.
        {{}, "1\n2,3\n4,5\n6,7\n8,9,10\n", {"1: has 1 value, where most records have 2", "5: has 3 values, where"}},
        {{"--rfc4180"}, "a,b\n\"c\nd\",e\n", {}},
    };
    for (const Case& c : cases) {
        WriteBytes("in.csv", c.bytes);
        std::vector<std::string> args = {"--check"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        args.emplace_back("in.csv");
        const CliRun result = RunCli(args);
        SCOPED_TRACE(c.bytes.substr(0, 40));
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.status, c.problems.empty() ? 0 : 1) << result.err;
        std::vector<std::string> lines;
        for (std::size_t at = 0, end; (end = result.err.find('\n', at)) != std::string::npos; at = end + 1)
            lines.push_back(result.err.substr(at, end - at));
        if (c.problems.empty()) {
            EXPECT_EQ(result.err.rfind("in.csv: no problems in ", 0), 0u) << result.err;
        }
        ASSERT_EQ(lines.size(), c.problems.empty() ? 1 : c.problems.size()) << result.err;
        for (std::size_t i = 0; i < c.problems.size(); ++i) {
            const std::string& want = c.problems[i];
            const std::size_t colon = want.find(':');
            EXPECT_EQ(lines[i].rfind("in.csv:" + want.substr(0, colon) + ": ", 0), 0u) << lines[i];
            EXPECT_NE(lines[i].find(want.substr(colon + 2)), std::string::npos) << lines[i];
        }
    }
    // Past 100 problems, the rest are counted.
    std::string many;
    for (int i = 0; i < 150; ++i) many += "1,2\n";
    WriteBytes("in.csv", many);
    const CliRun result = RunCli({"--check", "-f", "a", "in.csv"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 101) << result.err;
    EXPECT_NE(result.err.find("in.csv: 150 problems in all; the first 100 are shown\n"), std::string::npos);
}

// A run with the default options converts an export as it always did, and
// says how it would read it better.
TEST_F(CliTest, HintsHowToReadAnExportTheDefaultsMisread) {
    WriteBytes("in.csv", "\xEF\xBB\xBFid,note\r\n1,\"says \"\"hi\"\"\"\r\n2,\"two\r\nlines\"\r\n");
    const CliRun result = RunCli({"-t", "t", "-f", "a, b", "in.csv"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out.substr(0, 45), "INSERT INTO t ( a, b ) VALUES ( 'id','note' )");
    EXPECT_NE(result.err.find("rowsmith-convert: hint: to read it so, use: --rfc4180 --header\n"), std::string::npos)
        << result.err;
    EXPECT_EQ(RunCli({"-t", "t", "--rfc4180", "--header", "in.csv"}).err, "");
}

TEST_F(CliTest, LoadOptionsReachTheOutputAndMismatchesAreReported) {
    WriteBytes("in.csv", "1,C:\\x\n2\n3,\n");
    const CliRun result = RunCli({"-t", "t", "-f", "id, v", "--dialect", "mysql", "--empty-as-null",
                                  "--rows-per-insert", "5", "--transaction", "in.csv"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out,
              "SET NAMES utf8mb4;\r\nBEGIN;\r\nINSERT INTO t ( id, v ) VALUES ( '1','C:\\\\x' );\r\n"
              "INSERT INTO t ( id, v ) VALUES ( '2' );\r\n"
              "INSERT INTO t ( id, v ) VALUES ( '3',NULL );\r\nCOMMIT;\r\n");
    EXPECT_EQ(result.err,
              "rowsmith-convert: 1 line has a number of values other than the 2 field names: line 2. "
              "Its statement will fail to load.\nrowsmith-convert: 1 value was written as NULL.\n");
    // What kept each column text, and where the records that would not load went.
    WriteBytes("typed.csv", "id,zip,day\n1,01234,2024-02-29\n2\n3,12345,2023-02-29\n");
    const CliRun typed = RunCli({"-t", "t", "--header", "--dialect", "postgresql", "--create-table", "--rejects",
                                 "bad.csv", "-o", "typed.sql", "typed.csv"});
    EXPECT_EQ(typed.status, 0);
    EXPECT_EQ(typed.err,
              "rowsmith-convert: zip: TEXT (line 2: 01234 would read back as 1234)\n"
              "rowsmith-convert: day: TEXT (line 4: 2023-02-29 is no day of the calendar)\n"
              "rowsmith-convert: 1 record would not load and was set aside in bad.csv; bad.csv.log names the line and "
              "reason of each.\n");
    EXPECT_EQ(ReadBytes("bad.csv"), "2\n");
    // Several inputs into one table; a header unlike the first's stops the
    // run before it writes, naming both; standard input only alone.
    WriteBytes("more.csv", "id,zip,day\n5,00001,2024-03-01\n");
    WriteBytes("other.csv", "id,zip,date\n6,1,2\n");
    WriteBytes("empty.csv", "");
    const CliRun many = RunCli(
        {"-t", "t", "--header", "--create-table", "--dialect", "postgresql", "typed.csv", "empty.csv", "more.csv"});
    EXPECT_EQ(many.status, 0);
    EXPECT_NE(many.out.find("( \"id\" BIGINT, \"zip\" TEXT, \"day\" TEXT )"), std::string::npos) << many.out;
    EXPECT_NE(many.out.find("( '5','00001','2024-03-01' )"), std::string::npos) << many.out;
    EXPECT_EQ(many.out.find("'id'"), std::string::npos) << many.out;
    EXPECT_NE(many.err.find("the 3 field names: line 3 of typed.csv. Its"), std::string::npos) << many.err;
    const CliRun chosen = RunCli({"-t", "t", "--header", "--columns", "day, id", "--rejects", "chosen.csv", "typed.csv",
                                  "empty.csv", "more.csv"});
    EXPECT_NE(chosen.out.find("( '2024-03-01','5' )"), std::string::npos) << chosen.out << chosen.err;
    const CliRun unlike = RunCli({"-t", "t", "--header", "-o", "unlike.sql", "typed.csv", "more.csv", "other.csv"});
    EXPECT_EQ(unlike.status, 1);
    EXPECT_EQ(unlike.err,
              "rowsmith-convert: other.csv: its header (id, zip, date) is not the one of typed.csv (id, zip, day), "
              "and the inputs go into one table\n");
    EXPECT_EQ(ReadBytes("unlike.sql"), "");
    const CliRun withStdin = RunCli({"-t", "t", "--header", "typed.csv", "-"});
    EXPECT_EQ(withStdin.status, 2);
    EXPECT_EQ(withStdin.err.substr(0, withStdin.err.find('\n')),
              "rowsmith-convert: standard input (-) can only be the one INPUT");
    const CliRun noTable = RunCli({"-t", " ", "-f", "a", "in.csv"});
    EXPECT_EQ(noTable.status, 2);
    EXPECT_EQ(noTable.out, "");
}

TEST_F(CliTest, SpeaksLikeAUnixTool) {
    WriteBytes("in.csv", "x\n");
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string err;
    };
    const Case cases[] = {
        // The offending option as written, inside a cluster too.
        {{"-qzt", "T", "in.csv"}, 2, "rowsmith-convert: unknown option -q\n"},
        {{"-tT", "-fF", "-x", "in.csv"}, 2, "rowsmith-convert: unknown option -x\n"},
        {{"--colour=red", "-tT", "in.csv"}, 2, "rowsmith-convert: unknown option --colour\n"},
        {{"-tT", "--fields"}, 2, "rowsmith-convert: option --fields needs a value\n"},
        {{"-tT", "-f"}, 2, "rowsmith-convert: option -f needs a value\n"},
    };
    for (const Case& c : cases) {
        const CliRun result = RunCli(c.args);
        EXPECT_EQ(result.status, c.status);
        EXPECT_EQ(result.err.substr(0, result.err.find('\n') + 1), c.err);
    }
    // Standard input and output by their names; a closed one said as such.
    EXPECT_EQ(RunCli(Args({"-"}), {.stdinPath = "."}).err, "rowsmith-convert: standard input: Is a directory\n");
    EXPECT_EQ(RunCli(Args({"in.csv"}), {.stdoutPath = "/dev/full"}).err,
              "rowsmith-convert: standard output: No space left on device\n");
    const CliRun closed = RunCli({"-tT", "-fF", "in.csv"}, {.inChild = [] { ::close(STDOUT_FILENO); }});
    EXPECT_EQ(closed.status, 1);
    EXPECT_EQ(closed.err, "rowsmith-convert: standard output is closed\n");
    EXPECT_EQ(ReadBytes("in.csv"), "x\n");
}

// What a terminal shows of a conversion whose input comes slowly (over
// more than the second after which the progress line appears), with
// standard output on the terminal too or in a file.
std::string OnATerminal(bool outputToTerminal) {
    int master = -1;
    int terminal = -1;
    EXPECT_EQ(::openpty(&master, &terminal, nullptr, nullptr, nullptr), 0);
    int feed[2];
    EXPECT_EQ(::pipe(feed), 0);
    const test::CliSetup setup{.stdoutPath = "out.sql", .inChild = [&] {
                                   ::dup2(feed[0], STDIN_FILENO);
                                   ::dup2(terminal, STDERR_FILENO);
                                   if (outputToTerminal) ::dup2(terminal, STDOUT_FILENO);
                                   ::close(feed[1]);
                                   ::close(master);
                               }};
    const pid_t child = test::StartCli({"-tT", "-fF", "-"}, setup);
    ::close(feed[0]);
    ::close(terminal);
    // The terminal is read all the while, so that the program never waits on it.
    std::string shown;
    std::thread reader([master, &shown] {
        char buffer[65536];
        for (ssize_t n; (n = ::read(master, buffer, sizeof buffer)) > 0;)
            shown.append(buffer, static_cast<std::size_t>(n));
    });
    const std::string block(1 << 16, 'x');
    for (int i = 0; i < 16; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        EXPECT_EQ(::write(feed[1], block.data(), block.size()), static_cast<ssize_t>(block.size()));
        EXPECT_EQ(::write(feed[1], "\n", 1), 1);
    }
    ::close(feed[1]);
    reader.join();
    ::close(master);
    EXPECT_EQ(test::FinishCli(child, setup).status, 0);
    return shown;
}

TEST_F(CliTest, TheProgressLineShowsOnlyOnATerminalThatIsNotTheOutput) {
    const std::string apart = OnATerminal(false);
    EXPECT_NE(apart.find(" MB  "), std::string::npos) << apart;
    EXPECT_EQ(apart.substr(apart.size() - 4), "\r\033[K");  // wiped before the end
    const std::string together = OnATerminal(true);
    EXPECT_EQ(together.find(" MB  "), std::string::npos);
    EXPECT_EQ(together.find('\033'), std::string::npos);
    EXPECT_EQ(together.rfind("INSERT INTO T ( F ) VALUES ( 'xxx", 0), 0u);
}

TEST(ProgressLine, DrawsInPlaceAndWipesItself) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    {
        ProgressLine progress(fds[1], true, std::chrono::milliseconds(0));
        EXPECT_TRUE(progress.Continue(50, 200));
        progress.Clear();
        ProgressLine unknownSize(fds[1], true, std::chrono::milliseconds(0));
        unknownSize.Continue(3000000, 0);
        unknownSize.Clear();
        ProgressLine notATerminal(fds[1], false, std::chrono::milliseconds(0));
        notATerminal.Continue(1, 2);
        notATerminal.Clear();
        ProgressLine notYet(fds[1], true, std::chrono::hours(1));
        notYet.Continue(1, 2);
        notYet.Clear();
    }
    ::close(fds[1]);
    char buffer[256];
    const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
    ::close(fds[0]);
    const std::string shown(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
    EXPECT_EQ(shown.substr(0, 6), "\r 25% ");
    EXPECT_NE(shown.find(" MB/s\r\033[K\r3.0 MB  "), std::string::npos) << shown;
    EXPECT_EQ(shown.substr(shown.size() - 4), "\r\033[K");
    EXPECT_EQ(std::count(shown.begin(), shown.end(), '%'), 1);
}

}  // namespace
}  // namespace rowsmith
