#include <sys/stat.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "convert/options/input_list.h"
#include "convert/run/conversion_run.h"
#include "inputs.h"
#include "test_support.h"

namespace rowsmith {
namespace {

namespace fs = std::filesystem;
using test::AsUnprivilegedUser;
using test::Messages;
using test::ReadBytes;
using test::RecordingOwner;
using test::TempDirTest;
using test::WriteBytes;

const Messages kSameFile = {{"The output file is the same as the input file.", "Error Writing File"}};

class ConversionRunTest : public TempDirTest {
protected:
    // Converts input.csv (or inputFile) into outputFile with table T and fields F.
    Messages Run(std::string outputFile = "out.sql", std::string inputFile = "input.csv") {
        settings.inputFile = std::move(inputFile);
        settings.outputFile = std::move(outputFile);
        settings.tableName = "T";
        settings.fieldNames = "F";
        RecordingOwner owner;
        RunConversion(settings, owner);
        return owner.messages;
    }

    ConversionSettings settings;
};

std::string Statement(const std::string& values) {
    return "INSERT INTO T ( F ) VALUES ( " + values + " );\r\n";
}

TEST_F(ConversionRunTest, WritesOneStatementPerLineWithCrLf) {
    struct Case {
        std::string input;
        std::string output;
    };
    const Case cases[] = {
        {"a,b\r\n\"c,d\",e\r\n", Statement("'a','b'") + Statement("'c,d','e'")},
        {"a\n\nb\n", Statement("'a'") + Statement("''") + Statement("'b'")},
        // The last line counts even without its line feed.
        {"a\nb", Statement("'a'") + Statement("'b'")},
        {"", ""},
        // 0x1A ends the input, in the middle of a line too.
        {"a\nb\x1A"
         "c\nd\n",
         Statement("'a'") + Statement("'b'")},
        {"a\rb\r,c\r\n", Statement("'a\rb\r','c'")},
        {"\xEF\xBB\xBF"
         "x,y\n",
         Statement("'x','y'")},
        {"O'Brien\n", Statement("'O''Brien'")},
    };
    for (const Case& c : cases) {
        WriteBytes("input.csv", c.input);
        fs::remove("out.sql");
        EXPECT_EQ(test::Heads(Run()), test::kDoneMessage);
        EXPECT_EQ(ReadBytes("out.sql"), c.output) << "input: " << c.input;
    }
}

TEST_F(ConversionRunTest, AppendsToWhatTheOutputHolds) {
    WriteBytes("input.csv", "1\n2\n");
    WriteBytes("out.sql", "-- kept\n");
    EXPECT_EQ(test::Heads(Run()), test::kDoneMessage);
    EXPECT_EQ(test::Heads(Run()), test::kDoneMessage);
    EXPECT_EQ(ReadBytes("out.sql"),
              "-- kept\n" + Statement("'1'") + Statement("'2'") + Statement("'1'") + Statement("'2'"));
}

TEST_F(ConversionRunTest, EmptyOutputNameMeansDbCsvHere) {
    WriteBytes("input.csv", "a\n");
    EXPECT_EQ(test::Heads(Run("")), test::kDoneMessage);
    EXPECT_EQ(settings.outputFile, "db.csv");
    EXPECT_EQ(ReadBytes("db.csv"), Statement("'a'"));
}

TEST_F(ConversionRunTest, UnreadableInputIsReportedAndCreatesNothing) {
    fs::create_directory("folder");
    struct Case {
        std::string input;
        std::string text;
    };
    const Case cases[] = {
        {"missing.csv", "Cannot read \"missing.csv\": No such file or directory"},
        {"", "Cannot read \"\": No such file or directory"},
        {"folder", "Cannot read \"folder\": Is a directory"},
        {"nodir/a.csv", "Cannot read \"nodir/a.csv\": No such file or directory"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Run("out.sql", c.input), (Messages{{c.text, "Error Reading File"}}));
        EXPECT_FALSE(fs::exists("missing.csv"));
    }
    EXPECT_FALSE(fs::exists("out.sql"));
}

// Several inputs in the box, in double quotes, are read in turn into the
// one output; any other text, or a file of that very name, is one input.
TEST_F(ConversionRunTest, AListInTheInputBoxIsReadInTurn) {
    WriteBytes("a.csv", "1\n");
    WriteBytes("b \"2\".csv", "2\n");
    WriteBytes("\"a.csv\" \"c.csv\"", "3\n");
    struct Case {
        std::string box;
        std::string output;  // "" where the run stops before writing
        std::string message;
    };
    const Case cases[] = {
        {"\"a.csv\" \"b \"\"2\"\".csv\" \"a.csv\"", Statement("'1'") + Statement("'2'") + Statement("'1'"), "Done"},
        {"\"a.csv\"", Statement("'1'"), "Done"},
        {"\"a.csv\" \"c.csv\"", Statement("'3'"), "Done"},  // a file so named
        {"\"b.csv\" \"a.csv\"", "", "Cannot read \"b.csv\": No such file or directory"},
        {"\"a.csv\" \"missing.csv\"", "", "Cannot read \"missing.csv\": No such file or directory"},
        // Not a whole list: one name, which no file has.
        {"\"a.csv\"  \"a.csv\"", "", "Cannot read \"\"a.csv\"  \"a.csv\"\": No such file or directory"},
        {"\"a.csv\" \"\"", "", "Cannot read \"\"a.csv\" \"\"\": No such file or directory"},
    };
    for (const Case& c : cases) {
        fs::remove("out.sql");
        const Messages said = Run("out.sql", c.box);
        ASSERT_EQ(said.size(), 1u) << c.box;
        EXPECT_EQ(said[0].first.substr(0, c.message.size()), c.message) << c.box;
        EXPECT_EQ(fs::exists("out.sql") ? ReadBytes("out.sql") : "", c.output) << c.box;
    }
    // Any names, listed, read back as they were.
    std::mt19937 random(7);
    for (int round = 0; round < 500; ++round) {
        std::vector<std::string> names(1 + random() % 3);
        for (std::string& name : names) {
            for (std::size_t n = 1 + random() % 6; n > 0; --n) name += " \"a/"[random() % 4];
        }
        if (names.size() == 1 && fs::exists(names[0])) continue;
        EXPECT_EQ(InputNames(InputListText(names)), names) << InputListText(names);
    }
}

TEST_F(ConversionRunTest, OutputThatCannotBeOpenedIsReportedOnce) {
    WriteBytes("input.csv", "a\nb\nc\n");
    fs::create_directory("folder");
    EXPECT_EQ(Run("nodir/out.sql"),
              (Messages{{"Save to File\n\nnodir/out.sql: No such file or directory.", "Error Writing File"}}));
    EXPECT_EQ(test::Heads(Run("folder")), test::kWriteFailedMessage);
    EXPECT_EQ(test::Heads(Run("/dev/full")), test::kWriteFailedMessage);
}

TEST_F(ConversionRunTest, OutputInADirectoryWithoutWriteAccessIsReported) {
    WriteBytes("input.csv", "a\n");
    fs::permissions(dir(), fs::perms::all);
    fs::permissions("input.csv", fs::perms::owner_read | fs::perms::others_read);
    fs::create_directory("locked");
    fs::permissions("locked",
                    fs::perms::owner_read | fs::perms::owner_exec | fs::perms::others_read | fs::perms::others_exec);
    EXPECT_TRUE(AsUnprivilegedUser([this] { return test::Heads(Run("locked/out.sql")) == test::kWriteFailedMessage; }));
    EXPECT_FALSE(fs::exists("locked/out.sql"));
}

TEST_F(ConversionRunTest, RefusesToAppendToTheInputItself) {
    const std::string input = "a,b\n";
    WriteBytes("input.csv", input);
    fs::create_symlink("input.csv", "link.csv");
    fs::create_directory("sub");
    for (const char* output : {"input.csv", "./input.csv", "sub/../input.csv", "link.csv"}) {
        EXPECT_EQ(Run(output), kSameFile) << output;
        EXPECT_EQ(ReadBytes("input.csv"), input);
    }
    WriteBytes("db.csv", input);
    EXPECT_EQ(Run("", "db.csv"), kSameFile);
    EXPECT_EQ(ReadBytes("db.csv"), input);
}

class Canceller : public RunObserver {
public:
    bool Continue(std::uint64_t bytesRead, std::uint64_t totalBytes) override {
        ++calls;
        lastTotal = totalBytes;
        EXPECT_LE(bytesRead, totalBytes);
        return false;
    }
    int calls = 0;
    std::uint64_t lastTotal = 0;
};

TEST_F(ConversionRunTest, CancelKeepsWholeStatementsAndSaysSo) {
    const test::Lines lines = test::QuotedLines(300000);
    WriteBytes("input.csv", lines.input);
    // On one thread, and on two, which write pieces converted apart.
    for (const std::uint32_t jobs : {1U, 2U}) {
        settings = {"input.csv", "out.sql", "T", "F"};
        fs::remove("out.sql");
        Canceller canceller;
        RecordingOwner owner;
        RunConversion(settings, owner, &canceller, {.jobs = jobs});
        EXPECT_EQ(test::Heads(owner.messages), (Messages{{"Conversion cancelled.", "Cancelled"}}));
        EXPECT_EQ(canceller.calls, 1);
        EXPECT_EQ(canceller.lastTotal, lines.input.size());

        // Whole statements from the start, and not all of them.
        const std::string output = ReadBytes("out.sql");
        ASSERT_FALSE(output.empty()) << jobs;
        EXPECT_EQ(lines.statements.compare(0, output.size(), output), 0) << jobs;
        EXPECT_EQ(output.substr(output.size() - 5), " );\r\n") << jobs;
        EXPECT_LT(output.size(), lines.statements.size()) << jobs;
    }
}

}  // namespace
}  // namespace rowsmith
