#include "settings/settings_file.h"

#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <string_view>

#include "convert/run/messages.h"
#include "convert/options/option_table.h"
#include "io/file_system.h"
#include "io/replace_file.h"
#include "io/text_mode.h"
#include "io/text_mode_reader.h"
#include "io/unique_fd.h"

namespace rowsmith {

namespace {

// The keys of "db.ini", in the order they are written after CREATOR.
struct ValueKey {
    std::string_view key;
    std::string ConversionSettings::*member;
};

constexpr ValueKey kSettingsKeys[] = {
    {"OUTPUT", &ConversionSettings::outputFile},
    {"INPUT", &ConversionSettings::inputFile},
    {"TABLE", &ConversionSettings::tableName},
    {"FIELDS", &ConversionSettings::fieldNames},
};

constexpr std::string_view kCreatorKey = "CREATOR";
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
// kMaxSettingsFileSize: never waits on a pipe or a device. 0, an errno,
// kTooLarge or kNotRegularFile.
int OpenSettingsFile(UniqueFd& file) {
    FileInfo info;
    if (const int error = OpenRegularFile(kSettingsFileName, file, info)) return error;
    return info.size > kMaxSettingsFileSize ? kTooLarge : 0;
}

// A line cut at its first "=" (without one, all key), trailing blanks gone.
std::pair<std::string_view, std::string_view> KeyAndValue(std::string_view line, bool& hasEquals) {
    line = TrimTrailingSpace(line);
    const std::size_t equals = line.find('=');
    hasEquals = equals != std::string_view::npos;
    return {line.substr(0, equals), hasEquals ? line.substr(equals + 1) : std::string_view()};
}

// Applies one line; false when the line is not one Rowsmith writes.
bool ApplyLine(std::string_view line, ConversionSettings& settings, ConversionOptions* options) {
    bool hasEquals = false;
    const auto [key, value] = KeyAndValue(line, hasEquals);
    if (key.empty() && !hasEquals) return true;  // an empty line
    for (const ValueKey& entry : kSettingsKeys) {
        if (entry.key == key) {
            settings.*entry.member = std::string(value);
            return true;
        }
    }
    if (key == kCreatorKey) return hasEquals;
    // The options follow FIELDS, each only when it differs from its default,
    // so that a file with default options is exactly the plain one.
    for (const OptionFact& fact : OptionFacts()) {
        if (SettingsKey(fact) == key) {
            ConversionOptions scratch;
            return fact.set(options ? *options : scratch, value) && hasEquals;
        }
    }
    return false;
}

// Reads "db.ini" into settings (and options); 0 or an errno. ours says
// whether every line is one Rowsmith writes.
int ReadSettingsFile(ConversionSettings& settings, ConversionOptions* options, bool& ours) {
    ours = true;
    UniqueFd file;
    if (const int error = OpenSettingsFile(file)) return error;
    TextModeReader reader(file.get(), 4096);
    std::string_view line;
    int status;
    while ((status = reader.NextLine(line)) == 0) {
        if (!ApplyLine(line, settings, options)) ours = false;
    }
    return status == kEndOfInput ? 0 : status;
}

}  // namespace

int LoadSettings(ConversionSettings& settings) {
    bool ours = true;
    return ReadSettingsFile(settings, nullptr, ours);
}

int LoadSettings(ConversionSettings& settings, ConversionOptions* options) {
    bool ours = true;
    return ReadSettingsFile(settings, options, ours);
}

void LoadSettings(ConversionSettings& settings, MessageOwner& owner, ConversionOptions* options) {
    if (LoadSettings(settings, options) == kTooLarge) {
        owner.ShowMessage(std::string(kSettingsTooLargeMessage.text), std::string(kSettingsTooLargeMessage.caption));
    }
}

std::string SettingsFileText(const ConversionSettings& settings, const ConversionOptions& options) {
    std::string text(kCreatorLine);
    for (const ValueKey& entry : kSettingsKeys) {
        text.append("\n").append(entry.key).append("=").append(OneLine(settings.*entry.member));
    }
    for (const OptionFact& fact : OptionFacts()) {
        const std::string value = fact.get(options);
        if (value.empty()) continue;
        // An option given more than once keeps a line for each value.
        std::string_view rest = value;
        for (bool more = true; more;) {
            const std::size_t end = fact.repeats ? rest.find('\n') : std::string_view::npos;
            more = end != std::string_view::npos;
            text.append("\n").append(SettingsKey(fact)).append("=").append(OneLine(std::string(rest.substr(0, end))));
            if (more) rest.remove_prefix(end + 1);
        }
    }
    text.append("\n\n");
    return text;
}

SettingsSave SaveSettingsFile(const ConversionSettings& settings, const ConversionOptions& options) {
    SettingsSave save;
    std::error_code ignored;
    save.path = (std::filesystem::current_path(ignored) / kSettingsFileName).string();
    // Another program's file is never replaced: one too large to be ours, or
    // one that holds lines Rowsmith does not write.
    ConversionSettings scratch;
    bool ours = true;
    const int readError = ReadSettingsFile(scratch, nullptr, ours);
    if (readError == kTooLarge || (readError == 0 && !ours)) {
        save.foreign = true;
        return save;
    }
    save.error = ReplaceFile(kSettingsFileName, ToDiskText(SettingsFileText(settings, options)));
    return save;
}

void SaveSettings(const ConversionSettings& settings, MessageOwner& owner) {
    const SettingsSave save = SaveSettingsFile(settings, ConversionOptions{});
    if (save.foreign || save.error != 0) {
        owner.ShowMessage(std::string(kWriteFailedMessage.text), std::string(kWriteFailedMessage.caption));
    }
}

}  // namespace rowsmith
