#pragma once

// "db.ini": the four values of the window, kept between runs as key=value
// lines in the current directory.

#include <cstdint>
#include <string>

#include "convert/options/conversion_options.h"
#include "convert/options/conversion_settings.h"
#include "convert/run/message_owner.h"

namespace rowsmith {

inline constexpr const char* kSettingsFileName = "db.ini";
// A larger "db.ini" is not ours: it is neither read nor replaced.
inline constexpr std::uint64_t kMaxSettingsFileSize = std::uint64_t{1} << 20;

// Fills settings from "db.ini". A missing or unreadable file changes nothing
// and creates nothing; keys that do not occur keep their values. Only a
// regular file is read, never waited for, and only up to 1 MiB. Returns 0
// or the errno of what kept the file from being read.
int LoadSettings(ConversionSettings& settings);
// The same, with the options the window keeps there too (options may be null).
int LoadSettings(ConversionSettings& settings, ConversionOptions* options);
// The same, telling owner about a file too large to be read.
void LoadSettings(ConversionSettings& settings, MessageOwner& owner, ConversionOptions* options = nullptr);

// Replaces "db.ini" with the values of settings. The old file stays whole
// when anything fails, and the failure is shown through owner. A "db.ini"
// that is not Rowsmith's (larger than 1 MiB, or holding a section line, a
// key Rowsmith does not know or a line without "=") is never replaced.
void SaveSettings(const ConversionSettings& settings, MessageOwner& owner);

// How a save went: error is 0 or the errno of the failure; foreign is set
// when "db.ini" belongs to another program and was left alone.
struct SettingsSave {
    int error = 0;
    bool foreign = false;
    std::string path;  // the full name of "db.ini", for messages
};
// Saves settings and options to "db.ini" and says how it went; shows nothing.
SettingsSave SaveSettingsFile(const ConversionSettings& settings, const ConversionOptions& options);

// The text of "db.ini" for settings, with LF line ends (memory form). The
// options follow the four values, each only when it is not its default.
std::string SettingsFileText(const ConversionSettings& settings, const ConversionOptions& options = {});

}  // namespace rowsmith
