// What the tools do under other writers, signals, memory and process
// limits, odd descriptors and hostile settings files: never lose what is
// not theirs, never abort, always say what happened.
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "cli/command_line.h"
#include "convert/row_conversion.h"
#include "convert/stop_request.h"
#include "reference_rules.h"
#include "settings/settings_file.h"
#include "test_support.h"

namespace rowsmith {
namespace {

namespace fs = std::filesystem;
using test::ReadBytes;
using test::RecordingOwner;
using test::TempDirTest;
using test::WriteBytes;

// Runs rowsmith-convert with args in a child that setup prepares first
// (limits, descriptors); standard error goes to stderr.txt. The exit
// status, or 128 + signal when a signal ended it.
// The program is ROWSMITH_CONVERT_PATH unless program names another copy.
int RunConvert(const std::vector<std::string>& args, const std::function<void()>& setup, pid_t* started = nullptr,
               bool wait = true, const char* program = nullptr) {
    const pid_t child = ::fork();
    if (child == 0) {
        const int err = ::open("stderr.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(err, STDERR_FILENO);
        setup();
        std::vector<std::string> all = {program ? program : ROWSMITH_CONVERT_PATH};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& arg : all) argv.push_back(arg.data());
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    if (started) *started = child;
    if (!wait) return 0;
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

int Wait(pid_t child) {
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

void OutputTo(const char* path, int flags) {
    const int fd = ::open(path, flags, 0644);
    ::dup2(fd, STDOUT_FILENO);
}

// Lines of every kind of quoting, and all the statements they give.
std::string MakeInput(int lines, std::string* statements = nullptr) {
    std::string input;
    for (int i = 0; i < lines; ++i) {
        const std::string line = std::to_string(i) + ",\"O'Brien, " + std::to_string(i % 97) + "\",it's\r\n";
        input += line;
        if (statements) *statements += "INSERT INTO T ( F ) VALUES ( " + reference::ValueList(line) + " );\r\n";
    }
    return input;
}

class RobustnessTest : public TempDirTest {
protected:
    void TearDown() override {
        ::umount2((dir() / "small").c_str(), MNT_DETACH);
        ClearStopRequest();
        TempDirTest::TearDown();
    }
};

// Another program appends to the output while a run goes on; when the disk
// fills, the run must not cut the other program's bytes away.
class AppendsBetween : public RunObserver {
public:
    explicit AppendsBetween(std::string path) : path_(std::move(path)) {}
    bool Continue(std::uint64_t, std::uint64_t) override {
        if (!done_) {
            done_ = true;
            const int fd = ::open(path_.c_str(), O_WRONLY | O_APPEND);
            EXPECT_EQ(::write(fd, kTheirs, std::strlen(kTheirs)), static_cast<ssize_t>(std::strlen(kTheirs)));
            ::close(fd);
        }
        return true;
    }
    static constexpr const char* kTheirs = "-- written by another program\r\n";

private:
    std::string path_;
    bool done_ = false;
};

TEST_F(RobustnessTest, AFailedWriteNeverCutsAwayWhatAnotherProgramWrote) {
    WriteBytes("input.csv", MakeInput(200000));
    fs::create_directory("small");
    std::string why;
    if (!test::MountSmallDisk(dir() / "small", 3 << 20, why)) GTEST_SKIP() << why;

    ConversionSettings settings{"input.csv", "small/out.sql", "T", "F"};
    AppendsBetween other("small/out.sql");
    RecordingOwner owner;
    RunConversion(settings, owner, &other);
    ASSERT_EQ(owner.messages.size(), 1u);
    EXPECT_EQ(owner.messages[0].first,
              "Save to File\n\nAnother program wrote to the output file during the conversion, so its end may hold "
              "part of a statement.");
    EXPECT_NE(ReadBytes("small/out.sql").find(AppendsBetween::kTheirs), std::string::npos);

    // Alone on the file, a run cuts back to its last whole statement.
    fs::remove("small/out.sql");
    owner.messages.clear();
    RunConversion(settings, owner);
    EXPECT_EQ(owner.messages, test::kWriteFailedMessage);
    const std::string output = ReadBytes("small/out.sql");
    EXPECT_EQ(output.substr(output.size() - 5), " );\r\n");
}

TEST_F(RobustnessTest, StandardOutputOpenedAtItsStartKeepsWholeStatements) {
    // As with 1<>out.sql: written from offset 0, not appended.
    std::string statements;
    WriteBytes("input.csv", MakeInput(200000, &statements));
    fs::create_directory("small");
    std::string why;
    if (!test::MountSmallDisk(dir() / "small", 3 << 20, why)) GTEST_SKIP() << why;
    WriteBytes("small/out.sql", "-- old --\n");
    EXPECT_EQ(RunConvert({"-t", "T", "-f", "F", "input.csv"}, [] { OutputTo("small/out.sql", O_RDWR); }), 1);
    const std::string output = ReadBytes("small/out.sql");
    ASSERT_GT(output.size(), 1000u);
    EXPECT_EQ(statements.compare(0, output.size(), output), 0) << "ends: " << output.substr(output.size() - 40);
}

TEST_F(RobustnessTest, TwoRunsOnOneOutputTakeTurns) {
    std::string statements;
    WriteBytes("a.csv", MakeInput(300000, &statements));
    std::string other;
    std::string otherStatements;
    for (int i = 0; i < 300000; ++i) {
        other += "other " + std::to_string(i) + "\n";
        otherStatements += "INSERT INTO U ( G ) VALUES ( 'other " + std::to_string(i) + "' );\r\n";
    }
    WriteBytes("b.csv", other);
    pid_t first = 0;
    pid_t second = 0;
    RunConvert(
        {"-t", "T", "-f", "F", "-o", "out.sql", "a.csv"}, [] {}, &first, false);
    RunConvert(
        {"-t", "U", "-f", "G", "-o", "out.sql", "b.csv"}, [] {}, &second, false);
    EXPECT_EQ(Wait(first), 0);
    EXPECT_EQ(Wait(second), 0);
    // Each run's statements stand together, one run after the other.
    const std::string output = ReadBytes("out.sql");
    EXPECT_TRUE(output == statements + otherStatements || output == otherStatements + statements);
}

TEST_F(RobustnessTest, SignalsStopAfterWholeStatements) {
    std::string statements;
    WriteBytes("input.csv", MakeInput(3000000, &statements));
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        fs::remove("out.sql");
        pid_t child = 0;
        RunConvert(
            {"-t", "T", "-f", "F", "-o", "out.sql", "input.csv"}, [] {}, &child, false);
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        ::kill(child, signal);
        const int status = Wait(child);
        const std::string output = ReadBytes("out.sql");
        if (status == 0) {  // finished first on a fast machine
            EXPECT_EQ(output, statements);
            continue;
        }
        EXPECT_EQ(status, 128 + signal) << ReadBytes("stderr.txt");
        EXPECT_NE(ReadBytes("stderr.txt").find("the output holds whole statements only"), std::string::npos);
        ASSERT_LT(output.size(), statements.size());
        EXPECT_EQ(statements.compare(0, output.size(), output), 0);
        EXPECT_EQ(output.substr(output.size() - 5), " );\r\n");
    }
}

TEST_F(RobustnessTest, AnEndlessLineIsAnErrorNeverAnAbort) {
    // An endless line: /dev/zero holds no line feed.
    EXPECT_EQ(RunConvert({"-t", "T", "-f", "F", "-o", "out.sql", "/dev/zero"}, [] {}), 1);
    EXPECT_EQ(ReadBytes("stderr.txt"),
              "rowsmith-convert: /dev/zero: line 1 is longer than 64 MiB, the longest Rowsmith reads\n");
    EXPECT_EQ(ReadBytes("out.sql"), "");
}

TEST_F(RobustnessTest, MemoryAndThreadLimitsAreErrorsWithMessagesNeverAborts) {
#ifdef ROWSMITH_SANITIZED
    GTEST_SKIP() << "the sanitizers' runtime needs more address space and threads than these limits leave";
#endif
    // Little memory: a message and status 1, whatever runs out first.
    WriteBytes("long.csv", "a\n" + std::string(100 << 20, 'x') + "\n");
    const int limited = RunConvert({"-t", "T", "-f", "F", "-o", "out.sql", "long.csv"}, [] {
        const rlimit memory{80 << 20, 80 << 20};
        ::setrlimit(RLIMIT_AS, &memory);
    });
    EXPECT_EQ(limited, 1) << ReadBytes("stderr.txt");
    EXPECT_EQ(ReadBytes("stderr.txt").rfind("rowsmith-convert: ", 0), 0u);

    // No thread to be had: the writer works on the main thread.
    std::string statements;
    WriteBytes("input.csv", MakeInput(100000, &statements));
    fs::permissions(dir(), fs::perms::all);
    // A copy the unprivileged user may run wherever the build tree lies.
    fs::copy_file(ROWSMITH_CONVERT_PATH, "rowsmith-convert");
    fs::permissions("rowsmith-convert", fs::perms::all);
    const auto noThreads = [] {
        const rlimit processes{0, 0};
        ::setrlimit(RLIMIT_NPROC, &processes);
    };
    EXPECT_TRUE(test::AsUnprivilegedUser([&noThreads] {
        return RunConvert({"-t", "T", "-f", "F", "-o", "threads.sql", "input.csv"}, noThreads, nullptr, true,
                          "./rowsmith-convert") == 0;
    }));
    EXPECT_TRUE(ReadBytes("threads.sql") == statements) << ReadBytes("stderr.txt");
    // The same for gzip input, which is read ahead on a thread of its own.
    ASSERT_EQ(
        test::WaitForExit(test::StartProcess({"/bin/gzip", "-k", "input.csv"}, "/dev/null", "/dev/null", "gzip.txt")),
        0);
    fs::permissions("input.csv.gz", fs::perms::all);
    EXPECT_TRUE(test::AsUnprivilegedUser([&noThreads] {
        return RunConvert({"-t", "T", "-f", "F", "-o", "threads-gz.sql", "input.csv.gz"}, noThreads, nullptr, true,
                          "./rowsmith-convert") == 0;
    }));
    EXPECT_TRUE(ReadBytes("threads-gz.sql") == statements) << ReadBytes("stderr.txt");
}

TEST_F(RobustnessTest, AnInputThatShrinksWhileReadIsAnError) {
    WriteBytes("input.csv", MakeInput(400000));
    class Truncates : public RunObserver {
    public:
        bool Continue(std::uint64_t, std::uint64_t) override {
            if (!done) fs::resize_file("input.csv", 1000);
            done = true;
            return true;
        }
        bool done = false;
    } truncates;
    ConversionSettings settings{"input.csv", "out.sql", "T", "F"};
    const RunReport report = ConvertFile(settings, &truncates);
    EXPECT_EQ(report.status, RunStatus::ReadFailed);
    EXPECT_EQ(report.text, "Cannot read \"input.csv\": the file became shorter while it was read");
}

TEST_F(RobustnessTest, NonBlockingOutputIsWaitedOnAndUnwritableHelpFails) {
    std::string statements;
    WriteBytes("input.csv", MakeInput(50000, &statements));
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    pid_t child = 0;
    RunConvert(
        {"-t", "T", "-f", "F", "input.csv"},
        [&pipeFds] {
            ::dup2(pipeFds[1], STDOUT_FILENO);
            ::close(pipeFds[0]);
            ::fcntl(STDOUT_FILENO, F_SETFL, ::fcntl(STDOUT_FILENO, F_GETFL) | O_NONBLOCK);
        },
        &child, false);
    ::close(pipeFds[1]);
    std::string received;
    char buffer[4096];
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // let the pipe fill
    for (ssize_t n; (n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;)
        received.append(buffer, static_cast<std::size_t>(n));
    ::close(pipeFds[0]);
    EXPECT_EQ(Wait(child), 0) << ReadBytes("stderr.txt");
    EXPECT_EQ(received, statements);

    for (const char* option : {"--help", "--version"}) {
        EXPECT_EQ(RunConvert({option}, [] { OutputTo("/dev/full", O_WRONLY); }), 1) << option;
        EXPECT_EQ(ReadBytes("stderr.txt"), "rowsmith-convert: standard output: No space left on device\n");
    }
}

TEST(CommandLineAgain, ParsesASecondCommandLineWhole) {
    for (int round = 0; round < 2; ++round) {
        std::vector<std::string> args = {"rowsmith-convert", "-tT", "-fF", "-oout.sql", "in.csv"};
        std::vector<char*> argv;
        for (std::string& arg : args) argv.push_back(arg.data());
        argv.push_back(nullptr);
        const CommandLine line = ParseCommandLine(static_cast<int>(args.size()), argv.data());
        EXPECT_EQ(line.action, CommandLine::Action::Convert) << line.error;
        EXPECT_EQ(line.table, "T");
        EXPECT_EQ(line.output, "out.sql");
        EXPECT_EQ(line.input, "in.csv");
    }
}

const ConversionSettings kValues{"in.csv", "out.sql", "people", "id, name"};

TEST_F(RobustnessTest, HostileSettingsFilesAreNeitherFollowedNorWaitedFor) {
    fs::permissions(dir(), fs::perms::all);
    RecordingOwner owner;

    // A FIFO is not waited for, nor replaced; neither is a link to a device.
    ASSERT_EQ(::mkfifo("db.ini", 0666), 0);
    ConversionSettings loaded;
    EXPECT_EQ(LoadSettings(loaded), EINVAL);
    SaveSettings(kValues, owner);
    EXPECT_EQ(owner.messages, test::kWriteFailedMessage);
    EXPECT_TRUE(fs::is_fifo("db.ini"));
    fs::remove("db.ini");
    fs::create_symlink("/dev/zero", "db.ini");
    EXPECT_EQ(LoadSettings(loaded), EINVAL);
    EXPECT_EQ(loaded, ConversionSettings{});
    fs::remove("db.ini");

    // 0x1A in a value is saved as a space, so the keys after it still load.
    owner.messages.clear();
    SaveSettings({"a\x1A"
                  "b",
                  "o", "t", "f"},
                 owner);
    EXPECT_TRUE(owner.messages.empty());
    EXPECT_EQ(LoadSettings(loaded), 0);
    EXPECT_EQ(loaded, (ConversionSettings{"a b", "o", "t", "f"}));

    // A chain of links: the last name gets the file, the links stay.
    fs::remove("db.ini");
    fs::create_symlink("b.ini", "db.ini");
    fs::create_symlink("c.ini", "b.ini");
    SaveSettings(kValues, owner);
    EXPECT_TRUE(fs::is_symlink("db.ini"));
    EXPECT_TRUE(fs::is_symlink("b.ini"));
    EXPECT_TRUE(fs::is_regular_file("c.ini"));
    ConversionSettings chained;
    EXPECT_EQ(LoadSettings(chained), 0);
    EXPECT_EQ(chained, kValues);
}

TEST_F(RobustnessTest, ALinkPlantedInASharedStickyFolderIsNotFollowed) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root, to play two users";
    fs::create_directory("shared");
    fs::permissions("shared", fs::perms::all | fs::perms::sticky_bit);
    WriteBytes("victim.txt", "precious\n");
    fs::permissions("victim.txt", fs::perms::all);
    // Planted by another user (nobody), pointing at the victim's file.
    fs::create_symlink(fs::absolute("victim.txt"), "shared/db.ini");
    ASSERT_EQ(::lchown("shared/db.ini", 65534, 65534), 0);
    fs::current_path("shared");
    RecordingOwner owner;
    SaveSettings(kValues, owner);
    fs::current_path(dir());
    EXPECT_EQ(owner.messages, test::kWriteFailedMessage);
    EXPECT_EQ(ReadBytes("victim.txt"), "precious\n");
    EXPECT_TRUE(fs::is_symlink("shared/db.ini"));
}

TEST_F(RobustnessTest, ASaveKeepsTheOwnerAndModeAndFallsBackToWritingInPlace) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root, to save a user's file";
    WriteBytes("db.ini", "INPUT=old\r\n");
    ASSERT_EQ(::chown("db.ini", 65534, 65534), 0);
    fs::permissions("db.ini", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    RecordingOwner owner;
    SaveSettings(kValues, owner);
    EXPECT_TRUE(owner.messages.empty());
    struct stat info {};
    ASSERT_EQ(::stat("db.ini", &info), 0);
    EXPECT_EQ(info.st_uid, 65534u);
    EXPECT_EQ(info.st_gid, 65534u);
    EXPECT_EQ(info.st_mode & 0777, 0640u);

    // A folder the user may not write to, holding a db.ini the user may.
    fs::permissions(dir(), fs::perms::all);
    fs::create_directory("locked");
    WriteBytes("locked/db.ini", "INPUT=old\r\n");
    ASSERT_EQ(::chown("locked/db.ini", 65534, 65534), 0);
    fs::permissions("locked", fs::perms::owner_all | fs::perms::others_read | fs::perms::others_exec);
    EXPECT_TRUE(test::AsUnprivilegedUser([] {
        fs::current_path("locked");
        RecordingOwner owner;
        SaveSettings(kValues, owner);
        ConversionSettings loaded;
        return owner.messages.empty() && LoadSettings(loaded) == 0 && loaded == kValues;
    }));
}

}  // namespace
}  // namespace rowsmith
