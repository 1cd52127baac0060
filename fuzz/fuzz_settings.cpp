// The settings reader on any bytes: loading never fails, a file that is not
// Rowsmith's is never replaced, and what it loads saves and loads back the
// same (a line break inside a value is saved as a space, so the first save
// may turn a CR into a space, and no later one changes anything).
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "settings/settings_file.h"

namespace {

class Silent : public rowsmith::MessageOwner {
public:
    void ShowMessage(const std::string&, const std::string&) override { std::abort(); }
};

std::string OneLine(std::string value) {
    for (char& c : value) {
        if (c == '\r' || c == '\n') c = ' ';
    }
    return value;
}

rowsmith::ConversionSettings Load() {
    rowsmith::ConversionSettings settings;
    rowsmith::LoadSettings(settings);
    return settings;
}

// Every run works in a directory of its own, in memory where there is a
// memory file system (each save is flushed to disk), removed at exit.
std::string workDir;

void RemoveWorkDir() {
    ::unlink((workDir + "/db.ini").c_str());
    ::rmdir(workDir.c_str());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::string pattern = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    pattern += "/rowsmith-fuzz-settings-XXXXXX";
    if (!::mkdtemp(pattern.data()) || ::chdir(pattern.c_str()) != 0) std::abort();
    workDir = pattern;
    std::atexit(RemoveWorkDir);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::FILE* file = std::fopen("db.ini", "wb");
    if (!file || std::fwrite(data, 1, size, file) != size || std::fclose(file) != 0) std::abort();
    const rowsmith::ConversionSettings first = Load();
    Silent owner;
    const rowsmith::SettingsSave save = rowsmith::SaveSettingsFile(first, {});
    if (save.error != 0) std::abort();
    if (save.foreign) {
        // Another program's file is left byte for byte; saved afresh, the
        // values it gave come back all the same.
        std::FILE* left = std::fopen("db.ini", "rb");
        std::string bytes(size + 1, '\0');
        const std::size_t got = left ? std::fread(bytes.data(), 1, bytes.size(), left) : 0;
        if (left) std::fclose(left);
        if (got != size || bytes.compare(0, size, reinterpret_cast<const char*>(data), size) != 0) std::abort();
        ::unlink("db.ini");
        rowsmith::SaveSettings(first, owner);
    }
    const rowsmith::ConversionSettings second = Load();
    const rowsmith::ConversionSettings expected{OneLine(first.inputFile), OneLine(first.outputFile),
                                                OneLine(first.tableName), OneLine(first.fieldNames)};
    if (!(second == expected)) std::abort();
    rowsmith::SaveSettings(second, owner);
    if (!(Load() == second)) std::abort();
    return 0;
}
