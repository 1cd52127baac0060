#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "settings/settings_file.h"
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

const ConversionSettings kPrevious{"in0", "out0", "table0", "fields0"};

using SettingsFileTest = TempDirTest;

TEST_F(SettingsFileTest, SavesTheExactFormatAndLoadsItBack) {
    const ConversionSettings saved{"/data/in put.csv", "out.sql", "people", "id, name"};
    RecordingOwner owner;
    SaveSettings(saved, owner);
    EXPECT_TRUE(owner.messages.empty());
    EXPECT_EQ(ReadBytes("db.ini"),
              "CREATOR=DB 1.0\r\nOUTPUT=out.sql\r\nINPUT=/data/in put.csv\r\nTABLE=people\r\n"
              "FIELDS=id, name\r\n\r\n");
    ConversionSettings loaded;
    LoadSettings(loaded);
    EXPECT_EQ(loaded, saved);
    // Nothing is left beside it.
    EXPECT_EQ(std::distance(fs::directory_iterator("."), fs::directory_iterator()), 1);
}

TEST_F(SettingsFileTest, ReadsKeysByTheirRules) {
    struct Case {
        std::string file;
        ConversionSettings expected;
    };
    const Case cases[] = {
        {"INPUT=a\nOUTPUT=b\nTABLE=c\nFIELDS=d\n", {"a", "b", "c", "d"}},
        {"TABLE=x\r\nTABLE=y\r\n", {"in0", "out0", "y", "fields0"}},
        {"TABLE\n", {"in0", "out0", "", "fields0"}},
        {"TABLE=a=b\n", {"in0", "out0", "a=b", "fields0"}},
        {"TABLE=t  \t\n", {"in0", "out0", "t", "fields0"}},
        {"TABLE= t\n", {"in0", "out0", " t", "fields0"}},
        {"table=x\n TABLE=y\nTABLE =z\nCREATOR=w\n", kPrevious},
        {"INPUT=last line", {"last line", "out0", "table0", "fields0"}},
        {"\xEF\xBB\xBF"
         "INPUT=i\n",
         {"i", "out0", "table0", "fields0"}},
        {"", kPrevious},
        {std::string("\0\xFF\x1A"
                     "INPUT=x\n",
                     11),
         kPrevious},
    };
    for (const Case& c : cases) {
        WriteBytes("db.ini", c.file);
        ConversionSettings loaded = kPrevious;
        LoadSettings(loaded);
        EXPECT_EQ(loaded, c.expected) << "file: " << c.file;
    }
}

TEST_F(SettingsFileTest, MissingFileChangesNothingAndCreatesNothing) {
    ConversionSettings loaded = kPrevious;
    LoadSettings(loaded);
    EXPECT_EQ(loaded, kPrevious);
    EXPECT_FALSE(fs::exists("db.ini"));
}

TEST_F(SettingsFileTest, LineBreaksInAValueBecomeSpaces) {
    RecordingOwner owner;
    SaveSettings({"a\nb", "c\r\nd", "e\rf", "g"}, owner);
    EXPECT_EQ(ReadBytes("db.ini"), "CREATOR=DB 1.0\r\nOUTPUT=c  d\r\nINPUT=a b\r\nTABLE=e f\r\nFIELDS=g\r\n\r\n");
    ConversionSettings loaded;
    LoadSettings(loaded);
    EXPECT_EQ(loaded, (ConversionSettings{"a b", "c  d", "e f", "g"}));
}

TEST_F(SettingsFileTest, FailedSaveIsReportedAndKeepsTheOldFile) {
    fs::create_directory("db.ini");
    RecordingOwner owner;
    SaveSettings(kPrevious, owner);
    EXPECT_EQ(owner.messages, test::kWriteFailedMessage);
    EXPECT_TRUE(fs::is_directory("db.ini"));
    fs::remove("db.ini");

    // A read-only file and a directory without write access both refuse.
    const std::string old = "CREATOR=DB 1.0\r\nINPUT=old\r\n";
    fs::permissions(dir(), fs::perms::all);
    fs::create_directory("locked");
    WriteBytes("locked/db.ini", old);
    WriteBytes("db.ini", old);
    fs::permissions("db.ini", fs::perms::owner_read | fs::perms::others_read);
    fs::permissions("locked",
                    fs::perms::owner_read | fs::perms::owner_exec | fs::perms::others_read | fs::perms::others_exec);
    EXPECT_TRUE(AsUnprivilegedUser([] {
        RecordingOwner refused;
        SaveSettings(kPrevious, refused);
        if (refused.messages != test::kWriteFailedMessage) return false;
        fs::current_path("locked");
        refused.messages.clear();
        SaveSettings(kPrevious, refused);
        return refused.messages == test::kWriteFailedMessage;
    }));
    EXPECT_EQ(ReadBytes("db.ini"), old);
    EXPECT_EQ(ReadBytes("locked/db.ini"), old);
    EXPECT_EQ(std::distance(fs::directory_iterator("locked"), fs::directory_iterator()), 1);
}

TEST_F(SettingsFileTest, SavingThroughALinkReplacesItsTarget) {
    fs::create_directory("real");
    WriteBytes("real/settings.ini", "INPUT=old\n");
    fs::create_symlink("real/settings.ini", "db.ini");
    RecordingOwner owner;
    SaveSettings(kPrevious, owner);
    EXPECT_TRUE(owner.messages.empty());
    EXPECT_TRUE(fs::is_symlink("db.ini"));
    ConversionSettings loaded;
    LoadSettings(loaded);
    EXPECT_EQ(loaded, kPrevious);
}

}  // namespace
}  // namespace rowsmith
