#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <sys/types.h>

#include "convert/options/conversion_settings.h"
#include "convert/run/message_owner.h"
#include "convert/run/run_report.h"

namespace rowsmith {
// Lets test failures show a record's four values.
void PrintTo(const ConversionSettings& settings, std::ostream* os);
}  // namespace rowsmith

namespace rowsmith::test {

// Lets a run go on for calls looks at its progress, then stops it.
class CancelAfter : public RunObserver {
public:
    explicit CancelAfter(int calls) : left_(calls) {}
    bool Continue(std::uint64_t, std::uint64_t) override { return --left_ > 0; }

private:
    int left_;
};

// Runs each test in a fresh temporary directory, which it removes afterwards.
class TempDirTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    const std::filesystem::path& dir() const { return dir_; }

private:
    std::filesystem::path previous_;
    std::filesystem::path dir_;
};

// Messages as (text, caption) pairs, and the ones most tests look for.
using Messages = std::vector<std::pair<std::string, std::string>>;
inline const Messages kDoneMessage = {{"Done", "Done"}};
inline const Messages kWriteFailedMessage = {{"Save to File", "Error Writing File"}};

// The messages with their texts cut before the lines of detail after the
// first, for tests of what comes first.
Messages Heads(Messages messages);

// Keeps every message instead of showing it.
class RecordingOwner : public MessageOwner {
public:
    void ShowMessage(const std::string& text, const std::string& caption) override {
        messages.emplace_back(text, caption);
    }
    Messages messages;
};

// Runs check as a user without root's rights over files (in a child
// process when the tests run as root) and returns its answer.
bool AsUnprivilegedUser(const std::function<bool()>& check);

// Starts program with args, its standard streams opened on the given paths
// (standard output appends). Returns the process id, or -1.
pid_t StartProcess(const std::vector<std::string>& command, const std::string& stdinPath, const std::string& stdoutPath,
                   const std::string& stderrPath);
// Waits for pid: its exit status, or -1 when it did not exit normally.
int WaitForExit(pid_t pid);

// How rowsmith-convert is run: its standard input, its standard output
// (empty: captured), what its process does before it starts (limits,
// descriptors), and the program (empty: the one this build made).
struct CliSetup {
    std::string stdinPath = "/dev/null";
    std::string stdoutPath;
    std::function<void()> inChild;
    std::string program;
};
// How it ended: the exit status (128 + N when signal N ended it), what it
// wrote to standard output when that was captured, and to standard error.
struct CliRun {
    int status = -1;
    std::string out;
    std::string err;
};
// The rowsmith-convert this build made.
std::string ConvertProgram();
// Runs rowsmith-convert with args and waits for it.
CliRun RunCli(const std::vector<std::string>& args, const CliSetup& setup = {});
// The same in two steps, for tests that signal or race it meanwhile; each
// run started in the same folder at once needs its own name.
pid_t StartCli(const std::vector<std::string>& args, const CliSetup& setup = {}, const std::string& name = "cli");
CliRun FinishCli(pid_t pid, const CliSetup& setup = {}, const std::string& name = "cli");

// Mounts a tmpfs of the given size at dir, inside a mount namespace of this
// test process's own, so that it goes away with the process whatever
// happens; false, with why set, where that cannot be done.
bool MountSmallDisk(const std::filesystem::path& dir, std::size_t bytes, std::string& why);

std::string ReadBytes(const std::filesystem::path& path);
void WriteBytes(const std::filesystem::path& path, const std::string& bytes);

}  // namespace rowsmith::test
