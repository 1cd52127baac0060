// The helpers of test_support.h that start and watch other processes, and
// mount a small disk: Linux only.
#include <sched.h>
#include <sys/mount.h>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "test_support.h"

extern char** environ;

namespace rowsmith::test {

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

}  // namespace rowsmith::test
