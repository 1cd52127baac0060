#include "test_support.h"

#include <sched.h>
#include <sys/mount.h>

#include <cerrno>
#include <cstring>

#include <cstdlib>
#include <fstream>
#include <iterator>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace rowsmith {

void PrintTo(const ConversionSettings& s, std::ostream* os) {
    *os << "{input=" << s.inputFile << " output=" << s.outputFile << " table=" << s.tableName
        << " fields=" << s.fieldNames << "}";
}

}  // namespace rowsmith

namespace rowsmith::test {

void TempDirTest::SetUp() {
    previous_ = std::filesystem::current_path();
    std::string pattern = (std::filesystem::temp_directory_path() / "rowsmith-test-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    std::filesystem::current_path(dir_);
}

void TempDirTest::TearDown() {
    std::filesystem::current_path(previous_);
    std::error_code ignored;
    std::filesystem::permissions(dir_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(dir_, ignored);
}

Messages Heads(Messages messages) {
    for (auto& [text, caption] : messages) text = text.substr(0, text.find("\n\n"));
    return messages;
}

bool AsUnprivilegedUser(const std::function<bool()>& check) {
    if (::geteuid() != 0) return check();
    const pid_t child = ::fork();
    if (child == 0) {
        constexpr uid_t kNobody = 65534;
        const bool dropped = ::setgid(kNobody) == 0 && ::setuid(kNobody) == 0;
        ::_exit(dropped && check() ? 0 : 1);
    }
    int status = 0;
    return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

pid_t StartProcess(const std::vector<std::string>& command, const std::string& stdinPath, const std::string& stdoutPath,
                   const std::string& stderrPath) {
    std::vector<std::string> args = command;
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, stdinPath.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, stdoutPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, stderrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return spawned == 0 ? pid : -1;
}

int WaitForExit(pid_t pid) {
    int status = 0;
    if (pid <= 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

std::string ConvertProgram() {
    return ROWSMITH_CONVERT_PATH;
}

pid_t StartCli(const std::vector<std::string>& args, const CliSetup& setup, const std::string& name) {
    std::vector<std::string> all = {setup.program.empty() ? ConvertProgram() : setup.program};
    all.insert(all.end(), args.begin(), args.end());
    const std::string outPath = setup.stdoutPath.empty() ? name + ".out" : setup.stdoutPath;
    const std::string errPath = name + ".err";
    if (setup.stdoutPath.empty()) ::unlink(outPath.c_str());
    const pid_t child = ::fork();
    if (child != 0) return child;
    const auto reopen = [](int fd, const std::string& path, int flags) {
        const int opened = ::open(path.c_str(), flags, 0644);
        if (opened >= 0 && opened != fd) {
            ::dup2(opened, fd);
            ::close(opened);
        }
    };
    reopen(STDIN_FILENO, setup.stdinPath, O_RDONLY);
    reopen(STDOUT_FILENO, outPath, O_WRONLY | O_CREAT | O_APPEND);
    reopen(STDERR_FILENO, errPath, O_WRONLY | O_CREAT | O_TRUNC);
    if (setup.inChild) setup.inChild();
    std::vector<char*> argv;
    for (std::string& arg : all) argv.push_back(arg.data());
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
}

CliRun FinishCli(pid_t pid, const CliSetup& setup, const std::string& name) {
    CliRun run;
    int status = 0;
    if (pid > 0 && ::waitpid(pid, &status, 0) == pid) {
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    run.err = ReadBytes(name + ".err");
    ::unlink((name + ".err").c_str());
    if (setup.stdoutPath.empty()) {
        run.out = ReadBytes(name + ".out");
        ::unlink((name + ".out").c_str());
    }
    return run;
}

CliRun RunCli(const std::vector<std::string>& args, const CliSetup& setup) {
    return FinishCli(StartCli(args, setup), setup);
}

bool MountSmallDisk(const std::filesystem::path& dir, std::size_t bytes, std::string& why) {
    if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        why = std::string("no private mount namespace: ") + std::strerror(errno);
        return false;
    }
    if (::mount("tmpfs", dir.c_str(), "tmpfs", 0, ("size=" + std::to_string(bytes)).c_str()) != 0) {
        why = std::string("mount: ") + std::strerror(errno);
        return false;
    }
    return true;
}

std::string ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace rowsmith::test
