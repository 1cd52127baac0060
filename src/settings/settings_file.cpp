#include "settings/settings_file.h"

#include <fcntl.h>

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
// value keeps its line in "db.ini", in this program and in any editor.
std::string OneLine(std::string value) {
    for (char& c : value) {
        if (c == '\n' || c == '\r') c = ' ';
    }
    return value;
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

void LoadSettings(ConversionSettings& settings) {
    UniqueFd file(::open(kSettingsFileName, O_RDONLY | O_CLOEXEC));
    if (!file) return;
    TextModeReader reader(file.get(), 4096);
    std::string_view line;
    while (reader.NextLine(line) == 0) ApplyLine(line, settings);
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
    if (ReplaceFile(kSettingsFileName, ToDiskText(SettingsFileText(settings))) != 0) {
        owner.ShowMessage(std::string(kWriteFailedMessage.text), std::string(kWriteFailedMessage.caption));
    }
}

}  // namespace rowsmith
