// Saving the settings over any kind of db.ini, with any step of the
// replace failing: a save either succeeds and loads back, links kept, or
// shows its message and leaves the old file (and everything it links to)
// exactly as it was; never a temporary file left behind. Byte 0 picks the
// step that fails (or none), byte 1 what db.ini is; the rest, cut at NUL
// bytes, gives the four values.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "io/replace_file.h"
#include "settings/settings_file.h"

namespace {

namespace fs = std::filesystem;

class Recorder : public rowsmith::MessageOwner {
public:
    void ShowMessage(const std::string&, const std::string&) override { ++shown; }
    int shown = 0;
};

int failingStep = -1;
int FailStep(rowsmith::ReplaceStep step) {
    return static_cast<int>(step) == failingStep ? ENOSPC : 0;
}

std::string Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void Write(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// What a value comes back as: line breaks and 0x1A as spaces, trailing white
// space gone.
std::string Saved(std::string value) {
    for (char& c : value) {
        if (c == '\n' || c == '\r' || c == '\x1A') c = ' ';
    }
    while (!value.empty() && (value.back() == ' ' || (value.back() >= '\t' && value.back() <= '\r'))) value.pop_back();
    return value;
}

fs::path workDir;
fs::path startDir;  // given back after every input: libFuzzer names files relative to it

void RemoveWorkDir() {
    std::error_code ignored;
    fs::remove_all(workDir, ignored);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::string pattern = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    pattern += "/rowsmith-fuzz-save-XXXXXX";
    if (!::mkdtemp(pattern.data())) std::abort();
    workDir = pattern;
    startDir = fs::current_path();
    std::atexit(RemoveWorkDir);
    rowsmith::SetReplaceFaultHook(FailStep);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    std::error_code ignored;
    fs::remove_all(workDir, ignored);
    fs::create_directory(workDir);
    fs::current_path(workDir);

    failingStep = data[0] % 8 < 6 ? data[0] % 8 : -1;
    const std::string old = "CREATOR=DB 1.0\r\nINPUT=old\r\n";
    // What db.ini is, and the file a save would really replace.
    fs::path target = "db.ini";
    bool saveable = true;
    switch (data[1] % 7) {
        case 0:  // none
            break;
        case 1:
            Write("db.ini", old);
            break;
        case 2:  // a link to a file
            Write("real.ini", old);
            fs::create_symlink("real.ini", "db.ini");
            target = "real.ini";
            break;
        case 3:  // a chain ending nowhere
            fs::create_symlink("b.ini", "db.ini");
            fs::create_symlink("c.ini", "b.ini");
            target = "c.ini";
            break;
        case 4:  // a folder
            fs::create_directory("db.ini");
            saveable = false;
            break;
        case 5:  // a pipe
            ::mkfifo("db.ini", 0600);
            saveable = false;
            break;
        case 6:  // too large to be ours
            Write("db.ini", std::string((1 << 20) + 1, 'x'));
            saveable = false;
            break;
    }
    const bool existed = fs::is_regular_file(target);
    const std::string before = existed ? Read(target) : "";

    std::vector<std::string> values(4);
    std::size_t at = 0;
    for (std::size_t i = 2; i < size; ++i) {
        if (data[i] == 0 && at < 3) {
            ++at;
        } else {
            values[at] += static_cast<char>(data[i]);
        }
    }
    const rowsmith::ConversionSettings settings{values[0], values[1], values[2], values[3]};
    Recorder owner;
    rowsmith::SaveSettings(settings, owner);

    const bool shouldFail = !saveable || failingStep >= 0;
    if ((owner.shown != 0) != shouldFail) std::abort();
    if (shouldFail) {
        if (existed && Read(target) != before) std::abort();
        if (!existed && saveable && fs::exists(target)) std::abort();
    } else {
        rowsmith::ConversionSettings loaded;
        if (rowsmith::LoadSettings(loaded) != 0) std::abort();
        const rowsmith::ConversionSettings expected{Saved(values[0]), Saved(values[1]), Saved(values[2]),
                                                    Saved(values[3])};
        if (!(loaded == expected)) std::abort();
        if (data[1] % 7 == 2 && !fs::is_symlink("db.ini")) std::abort();
        if (data[1] % 7 == 3 && (!fs::is_symlink("db.ini") || !fs::is_symlink("b.ini"))) std::abort();
    }
    for (const auto& entry : fs::directory_iterator(".")) {
        if (entry.path().filename().string().find(".ini.") != std::string::npos) std::abort();  // a temporary file
    }
    fs::current_path(startDir);
    return 0;
}
