// Faults a user's machine can throw at the converter: a full disk, paths it
// may not use, odd settings files, and the program killed mid-way.
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <random>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "convert/run/conversion_run.h"
#include "inputs.h"
#include "io/status.h"
#include "settings/settings_file.h"
#include "test_support.h"

namespace rowsmith {
namespace {

namespace fs = std::filesystem;
using test::AsUnprivilegedUser;
using test::Messages;
using test::ReadBytes;
using test::RecordingOwner;
using test::StartProcess;
using test::TempDirTest;
using test::WaitForExit;
using test::WriteBytes;

// True when text is a run of whole statements taken from the start of all.
bool IsWholeStatementPrefix(const std::string& text, const std::string& all) {
    return all.compare(0, text.size(), text) == 0 &&
           (text.size() == all.size() || (text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0) ||
            text.empty());
}

class FaultTest : public TempDirTest {
protected:
    // A small disk mounted at small/ would keep the folder from going.
    void TearDown() override {
        ::umount2((dir() / "small").c_str(), MNT_DETACH);
        TempDirTest::TearDown();
    }
};

TEST_F(FaultTest, FullDiskStopsTheRunWithWholeStatementsAndKeepsEverythingElse) {
    fs::create_directory("small");
    std::string why;
    if (!test::MountSmallDisk(dir() / "small", 256 * 1024, why)) {
        GTEST_SKIP() << "cannot mount a small file system here (" << why << ")";
    }
    const test::Lines lines = test::QuotedLines(20000);
    WriteBytes("input.csv", lines.input);
    const std::string earlier = "-- earlier content\r\n";
    WriteBytes("small/out.sql", earlier);

    ConversionSettings settings{"input.csv", "small/out.sql", "T", "F"};
    RecordingOwner owner;
    RunConversion(settings, owner);
    EXPECT_EQ(test::Heads(owner.messages), test::kWriteFailedMessage);
    EXPECT_NE(owner.messages[0].first.find("\n\nsmall/out.sql: No space left on device.\n"), std::string::npos);
    const std::string output = ReadBytes("small/out.sql");
    ASSERT_EQ(output.compare(0, earlier.size(), earlier), 0);
    const std::string added = output.substr(earlier.size());
    EXPECT_TRUE(IsWholeStatementPrefix(added, lines.statements)) << "ends: " << added.substr(added.size() - 40);
    EXPECT_LT(added.size(), lines.statements.size());
    EXPECT_EQ(ReadBytes("input.csv"), lines.input);

    // A settings save on the full disk fails and leaves the old file whole.
    fs::current_path("small");
    fs::remove("out.sql");
    const ConversionSettings old{"old.csv", "old.sql", "old", "a"};
    SaveSettings(old, owner);
    const std::string oldBytes = ReadBytes("db.ini");
    ASSERT_FALSE(oldBytes.empty());
    {
        std::FILE* filler = std::fopen("filler", "wb");
        const std::string block(4096, 'x');
        while (std::fwrite(block.data(), 1, block.size(), filler) == block.size() && std::fflush(filler) == 0) {
        }
        std::fclose(filler);
    }
    owner.messages.clear();
    SaveSettings({std::string(100000, 'n'), "new.sql", "new", "b"}, owner);
    EXPECT_EQ(owner.messages, test::kWriteFailedMessage);
    EXPECT_EQ(ReadBytes("db.ini"), oldBytes);
    EXPECT_EQ(std::distance(fs::directory_iterator("."), fs::directory_iterator()), 2);  // db.ini, filler
}

TEST_F(FaultTest, FullDiskTakesBackAWholeTransactionOfManyRows) {
    WriteBytes("input.csv", test::QuotedLines(100000).input);
    // Statements of about 40 KB, across block ends.
    const ConversionOptions options{.rowsPerInsert = 700, .transaction = true};
    ConversionSettings whole{"input.csv", "whole.sql", "T", "F"};
    ASSERT_EQ(ConvertFile(whole, nullptr, options).status, RunStatus::Done);
    const std::string all = ReadBytes("whole.sql");

    fs::create_directory("small");
    std::string why;
    if (!test::MountSmallDisk(dir() / "small", 2560 * 1024, why)) {
        GTEST_SKIP() << "cannot mount a small file system here (" << why << ")";
    }
    ConversionSettings settings{"input.csv", "small/out.sql", "T", "F"};
    const std::string earlier = "-- earlier\r\n";
    WriteBytes("small/out.sql", earlier);
    // The transaction is one unit on disk: it goes whole, so that a retry
    // appends it once.
    const RunReport failed = ConvertFile(settings, nullptr, options);
    EXPECT_EQ(failed.status, RunStatus::WriteFailed);
    EXPECT_TRUE(failed.undone);
    EXPECT_EQ(ReadBytes("small/out.sql"), earlier);
    // Without one, whole statements stay.
    const RunReport plain = ConvertFile(settings, nullptr, {.rowsPerInsert = 700});
    EXPECT_EQ(plain.status, RunStatus::WriteFailed);
    const std::string added = ReadBytes("small/out.sql").substr(earlier.size());
    ASSERT_FALSE(added.empty());
    EXPECT_EQ(added.substr(added.size() - 3), ";\r\n");
    EXPECT_EQ(all.compare(8, added.size(), added), 0);  // after BEGIN;
    // Statements written apart on two threads go whole too.
    WriteBytes("small/out.sql", earlier);
    const RunReport apart = ConvertFile(settings, nullptr, {.transaction = true, .jobs = 2});
    EXPECT_EQ(apart.status, RunStatus::WriteFailed);
    EXPECT_TRUE(apart.undone);
    EXPECT_EQ(ReadBytes("small/out.sql"), earlier);
}

TEST_F(FaultTest, PathsThatCannotBeUsedAreReportedAndPathsWithSpacesWork) {
    fs::permissions(dir(), fs::perms::all);
    WriteBytes("secret.csv", "a\n");
    fs::permissions("secret.csv", fs::perms::owner_read);
    WriteBytes("input.csv", "a\n");
    fs::permissions("input.csv", fs::perms::owner_read | fs::perms::others_read);
    WriteBytes("readonly.sql", "-- kept\n");
    fs::permissions("readonly.sql", fs::perms::owner_read | fs::perms::others_read);
    EXPECT_TRUE(AsUnprivilegedUser([] {
        RecordingOwner owner;
        ConversionSettings cannotRead{"secret.csv", "out.sql", "T", "F"};
        RunConversion(cannotRead, owner);
        ConversionSettings cannotWrite{"input.csv", "readonly.sql", "T", "F"};
        RunConversion(cannotWrite, owner);
        return test::Heads(owner.messages) ==
               Messages{{"Cannot read \"secret.csv\": Permission denied", "Error Reading File"},
                        test::kWriteFailedMessage[0]};
    }));
    EXPECT_EQ(ReadBytes("readonly.sql"), "-- kept\n");

    fs::create_directory("my data \xC3\xA9t\xC3\xA9");
    WriteBytes("my data \xC3\xA9t\xC3\xA9/in put \xE2\x9C\x93.csv", "caf\xC3\xA9,1\n");
    ConversionSettings spaced{"my data \xC3\xA9t\xC3\xA9/in put \xE2\x9C\x93.csv",
                              "my data \xC3\xA9t\xC3\xA9/out put.sql", "T", "F"};
    RecordingOwner owner;
    RunConversion(spaced, owner);
    EXPECT_EQ(test::Heads(owner.messages), test::kDoneMessage);
    EXPECT_EQ(ReadBytes(spaced.outputFile), "INSERT INTO T ( F ) VALUES ( 'caf\xC3\xA9','1' );\r\n");
}

TEST_F(FaultTest, OddSettingsFilesNeverBreakLoadingAndNeverGetHalfWritten) {
    // Binary garbage (without 0x1A, which would end the text there) before
    // a real key: the key still counts.
    std::mt19937 random(5);
    std::string garbage((1 << 20) - 64, '\0');
    for (char& c : garbage) c = static_cast<char>(random() % 0x1A);
    WriteBytes("db.ini", garbage + "\nTABLE=after garbage\n");
    ConversionSettings loaded;
    LoadSettings(loaded);
    EXPECT_EQ(loaded.tableName, "after garbage");

    // A huge file is not ours: it is neither read (the record keeps what
    // it had) nor replaced.
    std::string huge;
    for (int i = 0; huge.size() < (32u << 20); ++i) huge += "NOTE=" + std::to_string(i) + " filler line\r\n";
    huge += "INPUT=" + std::string(3 << 20, 'i') + "\r\nFIELDS=last\r\n";
    WriteBytes("db.ini", huge);
    EXPECT_EQ(LoadSettings(loaded), kTooLarge);
    EXPECT_EQ(loaded.tableName, "after garbage");
    EXPECT_EQ(loaded.fieldNames, "");
    RecordingOwner refused;
    SaveSettings(loaded, refused);
    EXPECT_EQ(refused.messages, test::kWriteFailedMessage);
    EXPECT_EQ(ReadBytes("db.ini"), huge);

    // A link to a device is not replaced by a file.
    fs::remove("db.ini");
    fs::create_symlink("/dev/null", "db.ini");
    RecordingOwner owner;
    SaveSettings(loaded, owner);
    EXPECT_EQ(owner.messages, test::kWriteFailedMessage);
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
    EXPECT_TRUE(fs::is_symlink("db.ini"));
}

TEST_F(FaultTest, AKilledConversionLeavesTheInputAndEarlierOutputAndAPrefixOfTheStatements) {
    const test::Lines lines = test::QuotedLines(1500000);
    const std::string& statements = lines.statements;
    WriteBytes("input.csv", lines.input);
    const std::string earlier = "-- earlier content\r\n";
    std::mt19937 random(11);
    int whole = 0;
    int cut = 0;
    int finished = 0;
    for (int trial = 0; trial < 8; ++trial) {
        WriteBytes("out.sql", earlier);
        const pid_t pid = test::StartCli({"-t", "T", "-f", "F", "-o", "out.sql", "input.csv"});
        ASSERT_GT(pid, 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(2 + random() % 40));
        ::kill(pid, SIGKILL);
        const bool exited = test::FinishCli(pid).status == 0;

        const std::string output = ReadBytes("out.sql");
        ASSERT_EQ(output.compare(0, earlier.size(), earlier), 0) << "trial " << trial;
        const std::string added = output.substr(earlier.size());
        // Whatever was written is the start of the statements, in order.
        ASSERT_EQ(statements.compare(0, added.size(), added), 0) << "trial " << trial;
        if (exited) {
            EXPECT_EQ(added.size(), statements.size());
            ++finished;
        } else if (IsWholeStatementPrefix(added, statements)) {
            ++whole;
        } else {
            ++cut;
        }
    }
    EXPECT_EQ(ReadBytes("input.csv"), lines.input);
    // Linux ends a write(2) early at a page boundary when the writer is
    // killed, so a kill that lands inside a write can cut the last statement
    // short; it can never reorder, repeat or garble what came before.
    std::cout << "killed runs: " << whole << " ended on a whole statement, " << cut << " cut inside their last write; "
              << finished << " finished before the kill\n";
}

TEST_F(FaultTest, AKilledSettingsSaveLeavesTheOldOrTheNewFile) {
    const std::string old = "CREATOR=DB 1.0\r\nINPUT=old.csv\r\n";
    const std::string first = SettingsFileText({"first-input.csv", "first-output.sql", "first_table", "a, b, c"});
    const std::string second =
        SettingsFileText({"second input with a much longer name.csv", "second.sql", "second", "x"});
    std::mt19937 random(3);
    for (int trial = 0; trial < 20; ++trial) {
        WriteBytes("db.ini", old);
        const pid_t pid = StartProcess({ROWSMITH_SAVE_LOOP_PATH}, "/dev/null", "/dev/null", "stderr.txt");
        ASSERT_GT(pid, 0);
        std::this_thread::sleep_for(std::chrono::microseconds(500 + random() % 20000));
        ::kill(pid, SIGKILL);
        WaitForExit(pid);
        std::string saved = ReadBytes("db.ini");
        // On disk every LF is CR LF.
        std::string text;
        for (std::size_t i = 0; i < saved.size(); ++i) {
            if (!(saved[i] == '\r' && i + 1 < saved.size() && saved[i + 1] == '\n')) text += saved[i];
        }
        EXPECT_TRUE(saved == old || text == first || text == second) << "trial " << trial << ": " << saved;
        for (const auto& entry : fs::directory_iterator(".")) {
            if (entry.path().filename().string().rfind("db.ini.", 0) == 0) fs::remove(entry.path());
        }
    }
}

}  // namespace
}  // namespace rowsmith
