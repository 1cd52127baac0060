#include "settings/settings_file.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdint>

#include <string_view>

#include "convert/messages.h"
#include "io/replace_file.h"
#include "io/text_mode.h"
#include "io/text_mode_reader.h"
#include "io/unique_fd.h"

namespace rowsmith {

namespace {

// The keys of "db.ini", in the order they are written after CREATOR.
struct SettingsKey {
    std::string_view key;
    std::string ConversionSettings::*member;
};

constexpr SettingsKey kSettingsKeys[] = {
    {"OUTPUT", &ConversionSettings::outputFile},
    {"INPUT", &ConversionSettings::inputFile},
    {"TABLE", &ConversionSettings::tableName},
    {"FIELDS", &ConversionSettings::fieldNames},
};

constexpr std::string_view kCreatorLine = "CREATOR=DB 1.0";

// The boxes are single-line, so a line break can only come from a value
// that was set some other way. Each CR or LF is written as a space, so the
// value keeps its line in "db.ini", in this program and in any editor; so is
// 0x1A, which would end the text there when it is read back.
std::string OneLine(std::string value) {
    for (char& c : value) {
        if (c == '\n' || c == '\r' || c == '\x1A') c = ' ';
    }
    return value;
}

// Opens "db.ini" for reading when it is a regular file no larger than
// kMaxSettingsFileSize: never waits on a pipe or a device. 0 or an errno
// (EFBIG for a file too large, EINVAL for one that is not a regular file).
int OpenSettingsFile(UniqueFd& file) {
    file = UniqueFd(::open(kSettingsFileName, O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!file) return errno;
    struct stat info {};
    if (::fstat(file.get(), &info) != 0) return errno;
    if (!S_ISREG(info.st_mode)) return EINVAL;
    if (static_cast<std::uint64_t>(info.st_size) > kMaxSettingsFileSize) return EFBIG;
    return 0;
}

void ApplyLine(std::string_view line, ConversionSettings& settings) {
    line = TrimTrailingSpace(line);
    const std::size_t equals = line.find('=');
    const std::string_view key = line.substr(0, equals);
    const std::string_view value = equals == std::string_view::npos ? std::string_view() : line.substr(equals + 1);
    for (const SettingsKey& entry : kSettingsKeys) {
        if (entry.key == key) settings.*entry.member = std::string(value);
    }
}

}  // namespace

int LoadSettings(ConversionSettings& settings) {
    UniqueFd file;
    if (const int error = OpenSettingsFile(file)) return error;
    TextModeReader reader(file.get(), 4096);
    std::string_view line;
    int status;
    while ((status = reader.NextLine(line)) == 0) ApplyLine(line, settings);
    return status == kEndOfInput ? 0 : status;
}

void LoadSettings(ConversionSettings& settings, MessageOwner& owner) {
    if (LoadSettings(settings) == EFBIG) {
        owner.ShowMessage(std::string(kSettingsTooLargeMessage.text), std::string(kSettingsTooLargeMessage.caption));
    }
}

std::string SettingsFileText(const ConversionSettings& settings) {
    std::string text(kCreatorLine);
    for (const SettingsKey& entry : kSettingsKeys) {
        text.append("\n").append(entry.key).append("=").append(OneLine(settings.*entry.member));
    }
    text.append("\n\n");
    return text;
}

void SaveSettings(const ConversionSettings& settings, MessageOwner& owner) {
    // A file this large was never written here: it is left as it is.
    struct stat old {};
    const bool tooLarge = ::stat(kSettingsFileName, &old) == 0 && S_ISREG(old.st_mode) &&
                          static_cast<std::uint64_t>(old.st_size) > kMaxSettingsFileSize;
    if (tooLarge || ReplaceFile(kSettingsFileName, ToDiskText(SettingsFileText(settings))) != 0) {
        owner.ShowMessage(std::string(kWriteFailedMessage.text), std::string(kWriteFailedMessage.caption));
    }
}

}  // namespace rowsmith
