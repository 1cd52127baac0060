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
#include "convert/run/conversion_run.h"
#include "io/stop_request.h"
#include "inputs.h"
#include "io/status.h"
#include "settings/settings_file.h"
#include "test_support.h"

namespace rowsmith {
namespace {

namespace fs = std::filesystem;
using test::CliRun;
using test::ReadBytes;
using test::RecordingOwner;
using test::RunCli;
using test::StartCli;
using test::TempDirTest;
using test::WriteBytes;

void OutputTo(const char* path, int flags) {
    const int fd = ::open(path, flags, 0644);
    ::dup2(fd, STDOUT_FILENO);
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
    WriteBytes("input.csv", test::QuotedLines(200000).input);
    fs::create_directory("small");
    std::string why;
    if (!test::MountSmallDisk(dir() / "small", 3 << 20, why)) GTEST_SKIP() << why;

    ConversionSettings settings{"input.csv", "small/out.sql", "T", "F"};
    AppendsBetween other("small/out.sql");
    RecordingOwner owner;
    RunConversion(settings, owner, &other);
    EXPECT_EQ(test::Heads(owner.messages), test::kWriteFailedMessage);
    const std::string text = owner.messages[0].first;
    EXPECT_NE(text.find("\n\nsmall/out.sql: No space left on device.\n"), std::string::npos) << text;
    EXPECT_EQ(text.substr(text.rfind('\n') + 1),
              "Another program wrote to the output file during the conversion, so its end may hold part of a "
              "statement.");
    EXPECT_NE(ReadBytes("small/out.sql").find(AppendsBetween::kTheirs), std::string::npos);

    // Alone on the file, a run cuts back to its last whole statement.
    fs::remove("small/out.sql");
    owner.messages.clear();
    RunConversion(settings, owner);
    EXPECT_EQ(test::Heads(owner.messages), test::kWriteFailedMessage);
    const std::string output = ReadBytes("small/out.sql");
    EXPECT_EQ(output.substr(output.size() - 5), " );\r\n");
}

TEST_F(RobustnessTest, StandardOutputOpenedAtItsStartKeepsWholeStatements) {
    // As with 1<>out.sql: written from offset 0, not appended.
    const test::Lines lines = test::QuotedLines(200000);
    const std::string& statements = lines.statements;
    WriteBytes("input.csv", lines.input);
    fs::create_directory("small");
    std::string why;
    if (!test::MountSmallDisk(dir() / "small", 3 << 20, why)) GTEST_SKIP() << why;
    WriteBytes("small/out.sql", "-- old --\n");
    EXPECT_EQ(
        RunCli({"-t", "T", "-f", "F", "input.csv"}, {.inChild = [] { OutputTo("small/out.sql", O_RDWR); }}).status, 1);
    const std::string output = ReadBytes("small/out.sql");
    ASSERT_GT(output.size(), 1000u);
    EXPECT_EQ(statements.compare(0, output.size(), output), 0) << "ends: " << output.substr(output.size() - 40);
}

TEST_F(RobustnessTest, TwoRunsOnOneOutputTakeTurnsThroughOneSharedDescriptorToo) {
    const test::Lines lines = test::QuotedLines(300000);
    const std::string& statements = lines.statements;
    WriteBytes("a.csv", lines.input);
    std::string other;
    std::string otherStatements;
    for (int i = 0; i < 300000; ++i) {
        other += "other " + std::to_string(i) + "\n";
        otherStatements += "INSERT INTO U ( G ) VALUES ( 'other " + std::to_string(i) + "' );\r\n";
    }
    WriteBytes("b.csv", other);
    for (const bool shared : {false, true}) {
        fs::remove("out.sql");
        // As ( a & b & wait ) > out.sql: one open file both inherit.
        const int fd = ::open("out.sql", O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        test::CliSetup setup;
        if (shared) setup.inChild = [fd] { ::dup2(fd, STDOUT_FILENO); };
        setup.stdoutPath = shared ? "/dev/null" : "";
        const std::vector<std::string> output =
            shared ? std::vector<std::string>{} : std::vector<std::string>{"-o", "out.sql"};
        auto args = [&output](std::vector<std::string> words) {
            words.insert(words.end() - 1, output.begin(), output.end());
            return words;
        };
        const pid_t first = StartCli(args({"-t", "T", "-f", "F", "a.csv"}), setup, "first");
        const pid_t second = StartCli(args({"-t", "U", "-f", "G", "b.csv"}), setup, "second");
        ::close(fd);
        EXPECT_EQ(test::FinishCli(first, setup, "first").status, 0);
        EXPECT_EQ(test::FinishCli(second, setup, "second").status, 0);
        // Each run's statements stand together, one run after the other.
        const std::string written = ReadBytes("out.sql");
        EXPECT_TRUE(written == statements + otherStatements || written == otherStatements + statements)
            << (shared ? "shared" : "apart");
    }
}

// Waits for a run that was sent a signal: its status, or -1 when it has not
// ended after five seconds (it is then killed).
int EndedWithin5Seconds(pid_t child) {
    for (int i = 0; i < 500; ++i) {
        int status = 0;
        if (::waitpid(child, &status, WNOHANG) == child) {
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    return -1;
}

TEST_F(RobustnessTest, EveryWaitEndsOnAStopSignalAndNothingIsWrittenWithoutTheLock) {
    WriteBytes("big.csv", test::QuotedLines(200000).input);
    WriteBytes("out.sql", "-- kept\r\n");
    ASSERT_EQ(::mkfifo("in.fifo", 0644), 0);
    ASSERT_EQ(::mkfifo("out.fifo", 0644), 0);
    int idle[2];
    int full[2];
    ASSERT_EQ(::pipe(idle), 0);
    ASSERT_EQ(::pipe(full), 0);
    // Another run holding the output's lock: this process, by a record lock.
    const int locked = ::open("out.sql", O_WRONLY);
    struct flock lock {};
    lock.l_type = F_WRLCK;
    ASSERT_EQ(::fcntl(locked, F_SETLK, &lock), 0);
    struct Case {
        const char* what;
        std::vector<std::string> args;
        std::function<void()> inChild;
        int signal;
    };
    const Case cases[] = {
        {"an idle standard input", {"-"}, [&idle] { ::dup2(idle[0], STDIN_FILENO); }, SIGINT},
        {"an input FIFO nobody writes to", {"in.fifo"}, {}, SIGTERM},
        {"an output FIFO nobody reads", {"-o", "out.fifo", "big.csv"}, {}, SIGHUP},
        {"a full output pipe", {"big.csv"}, [&full] { ::dup2(full[1], STDOUT_FILENO); }, SIGTERM},
        {"the lock of another run", {"-o", "out.sql", "big.csv"}, {}, SIGINT},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"-t", "T", "-f", "F"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const pid_t child = StartCli(args, {.stdoutPath = "/dev/null", .inChild = c.inChild});
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        ::kill(child, c.signal);
        EXPECT_EQ(EndedWithin5Seconds(child), 128 + c.signal) << c.what << ": " << ReadBytes("cli.err");
        EXPECT_NE(ReadBytes("cli.err").find("stopped by"), std::string::npos) << c.what << ": " << ReadBytes("cli.err");
    }
    EXPECT_EQ(ReadBytes("out.sql"), "-- kept\r\n");
    for (const int fd : {idle[0], idle[1], full[0], full[1], locked}) ::close(fd);
}

TEST_F(RobustnessTest, SignalsStopAfterWholeStatements) {
    const test::Lines lines = test::QuotedLines(3000000);
    const std::string& statements = lines.statements;
    WriteBytes("input.csv", lines.input);
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        fs::remove("out.sql");
        const pid_t child = StartCli({"-t", "T", "-f", "F", "-o", "out.sql", "input.csv"});
        // Once it writes, it has its handlers: signalled sooner, it would
        // end as the signal's default does, whatever the machine's load.
        for (int waited = 0; waited < 5000; ++waited) {
            std::error_code missing;
            const std::uintmax_t size = fs::file_size("out.sql", missing);
            if (!missing && size > 0) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        ::kill(child, signal);
        const CliRun run = test::FinishCli(child);
        const std::string output = ReadBytes("out.sql");
        if (run.status == 0) {  // finished first on a fast machine
            EXPECT_EQ(output, statements);
            continue;
        }
        EXPECT_EQ(run.status, 128 + signal) << run.err;
        EXPECT_NE(run.err.find("the output holds whole statements only"), std::string::npos);
        ASSERT_LT(output.size(), statements.size());
        EXPECT_EQ(statements.compare(0, output.size(), output), 0);
        EXPECT_EQ(output.substr(output.size() - 5), " );\r\n");
    }
}

TEST_F(RobustnessTest, AnEndlessLineIsAnErrorNeverAnAbort) {
    // An endless line: /dev/zero holds no line feed.
    const CliRun run = RunCli({"-t", "T", "-f", "F", "-o", "out.sql", "/dev/zero"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "rowsmith-convert: /dev/zero: line 1 is longer than 64 MiB, the longest Rowsmith reads\n");
    EXPECT_EQ(ReadBytes("out.sql"), "");
}

TEST_F(RobustnessTest, MemoryAndThreadLimitsAreErrorsWithMessagesNeverAborts) {
#ifdef ROWSMITH_SANITIZED
    GTEST_SKIP() << "the sanitizers' runtime needs more address space and threads than these limits leave";
#endif
    // Little memory: a message and status 1, whatever runs out first.
    WriteBytes("long.csv", "a\n" + std::string(100 << 20, 'x') + "\n");
    const CliRun limited = RunCli({"-t", "T", "-f", "F", "-o", "out.sql", "long.csv"}, {.inChild = [] {
                                      const rlimit memory{80 << 20, 80 << 20};
                                      ::setrlimit(RLIMIT_AS, &memory);
                                  }});
    EXPECT_EQ(limited.status, 1) << limited.err;
    EXPECT_EQ(limited.err.rfind("rowsmith-convert: ", 0), 0u);

    // No thread to be had: the writer works on the main thread.
    const test::Lines lines = test::QuotedLines(100000);
    WriteBytes("input.csv", lines.input);
    fs::permissions(dir(), fs::perms::all);
    // A copy the unprivileged user may run wherever the build tree lies.
    fs::copy_file(test::ConvertProgram(), "rowsmith-convert");
    fs::permissions("rowsmith-convert", fs::perms::all);
    const test::CliSetup noThreads{.inChild =
                                       [] {
                                           const rlimit processes{0, 0};
                                           ::setrlimit(RLIMIT_NPROC, &processes);
                                       },
                                   .program = "./rowsmith-convert"};
    EXPECT_TRUE(test::AsUnprivilegedUser([&noThreads] {
        return RunCli({"-t", "T", "-f", "F", "-o", "threads.sql", "input.csv"}, noThreads).status == 0;
    }));
    EXPECT_TRUE(ReadBytes("threads.sql") == lines.statements);
    // The same for gzip input, which is read ahead on a thread of its own.
    ASSERT_EQ(
        test::WaitForExit(test::StartProcess({"/bin/gzip", "-k", "input.csv"}, "/dev/null", "/dev/null", "gzip.txt")),
        0);
    fs::permissions("input.csv.gz", fs::perms::all);
    EXPECT_TRUE(test::AsUnprivilegedUser([&noThreads] {
        return RunCli({"-t", "T", "-f", "F", "-o", "threads-gz.sql", "input.csv.gz"}, noThreads).status == 0;
    }));
    EXPECT_TRUE(ReadBytes("threads-gz.sql") == lines.statements);
}

// A file cut short, or cut and written again (a log rotated, a copy still
// being made), while it is read fails the run: with a transaction, before
// its COMMIT;, and the output is as it was.
TEST_F(RobustnessTest, AnInputThatChangesWhileReadIsAnError) {
    const std::string input = test::QuotedLines(400000).input;
    struct Case {
        const char* what;
        std::function<void()> change;
        std::string reason;
    };
    const Case cases[] = {
        {"cut short", [] { fs::resize_file("input.csv", 1000); }, "the file became shorter while it was read"},
        {"cut and written again",
         [&input] {
             // The rows of another day: every line one byte further on.
             fs::resize_file("input.csv", 0);
             WriteBytes("input.csv", "x\n" + input + input);
         },
         "the file changed while it was read"},
    };
    for (const Case& c : cases) {
        for (const bool transaction : {false, true}) {
            WriteBytes("input.csv", input);
            WriteBytes("out.sql", "");
            class Changes : public RunObserver {
            public:
                explicit Changes(const std::function<void()>& change) : change_(change) {}
                bool Continue(std::uint64_t, std::uint64_t) override {
                    if (!done_) change_();
                    done_ = true;
                    return true;
                }

            private:
                const std::function<void()>& change_;
                bool done_ = false;
            } changes(c.change);
            ConversionSettings settings{"input.csv", "out.sql", "T", "F"};
            const RunReport report = ConvertFile(settings, &changes, {.transaction = transaction});
            EXPECT_EQ(report.status, RunStatus::ReadFailed) << c.what;
            EXPECT_EQ(report.text, "Cannot read \"input.csv\": " + c.reason) << c.what;
            if (transaction) {
                EXPECT_EQ(ReadBytes("out.sql"), "") << c.what;
            }
        }
    }
}

TEST_F(RobustnessTest, NonBlockingOutputIsWaitedOnAndUnwritableHelpFails) {
    const test::Lines lines = test::QuotedLines(50000);
    const std::string& statements = lines.statements;
    WriteBytes("input.csv", lines.input);
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    const pid_t child = StartCli({"-t", "T", "-f", "F", "input.csv"}, {.inChild = [&pipeFds] {
                                     ::dup2(pipeFds[1], STDOUT_FILENO);
                                     ::close(pipeFds[0]);
                                     ::fcntl(STDOUT_FILENO, F_SETFL, ::fcntl(STDOUT_FILENO, F_GETFL) | O_NONBLOCK);
                                 }});
    ::close(pipeFds[1]);
    std::string received;
    char buffer[4096];
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // let the pipe fill
    for (ssize_t n; (n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;)
        received.append(buffer, static_cast<std::size_t>(n));
    ::close(pipeFds[0]);
    const CliRun run = test::FinishCli(child);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(received, statements);

    for (const char* option : {"--help", "--version"}) {
        const CliRun full = RunCli({option}, {.stdoutPath = "/dev/full"});
        EXPECT_EQ(full.status, 1) << option;
        EXPECT_EQ(full.err, "rowsmith-convert: standard output: No space left on device\n");
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
    EXPECT_EQ(LoadSettings(loaded), kNotRegularFile);
    SaveSettings(kValues, owner);
    EXPECT_EQ(owner.messages, test::kWriteFailedMessage);
    EXPECT_TRUE(fs::is_fifo("db.ini"));
    fs::remove("db.ini");
    fs::create_symlink("/dev/zero", "db.ini");
    EXPECT_EQ(LoadSettings(loaded), kNotRegularFile);
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
    // The victim is a settings file Rowsmith would replace, so that only the
    // link's owner keeps it safe.
    const std::string precious = "CREATOR=DB 1.0\r\nINPUT=precious\r\n";
    WriteBytes("victim.txt", precious);
    fs::permissions("victim.txt", fs::perms::all);
    // Planted by another user (nobody), pointing at the victim's file.
    fs::create_symlink(fs::absolute("victim.txt"), "shared/db.ini");
    ASSERT_EQ(::lchown("shared/db.ini", 65534, 65534), 0);
    fs::current_path("shared");
    RecordingOwner owner;
    SaveSettings(kValues, owner);
    fs::current_path(dir());
    EXPECT_EQ(owner.messages, test::kWriteFailedMessage);
    EXPECT_EQ(ReadBytes("victim.txt"), precious);
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
        RecordingOwner lockedOwner;
        SaveSettings(kValues, lockedOwner);
        ConversionSettings loaded;
        return lockedOwner.messages.empty() && LoadSettings(loaded) == 0 && loaded == kValues;
    }));
}

}  // namespace
}  // namespace rowsmith
