#pragma once

// "db.ini": the four values of the window, kept between runs as key=value
// lines in the current directory.

#include <cstdint>
#include <string>

#include "convert/conversion_settings.h"
#include "convert/message_owner.h"

namespace rowsmith {

inline constexpr const char* kSettingsFileName = "db.ini";
// A larger "db.ini" is not ours: it is neither read nor replaced.
inline constexpr std::uint64_t kMaxSettingsFileSize = std::uint64_t{1} << 20;

// Fills settings from "db.ini". A missing or unreadable file changes nothing
// and creates nothing; keys that do not occur keep their values. Only a
// regular file is read, never waited for, and only up to 1 MiB. Returns 0
// or the errno of what kept the file from being read.
int LoadSettings(ConversionSettings& settings);
// The same, telling owner about a file too large to be read.
void LoadSettings(ConversionSettings& settings, MessageOwner& owner);

// Replaces "db.ini" with the values of settings. The old file stays whole
// when anything fails, and the failure is shown through owner.
void SaveSettings(const ConversionSettings& settings, MessageOwner& owner);

// The text of "db.ini" for settings, with LF line ends (memory form).
std::string SettingsFileText(const ConversionSettings& settings);

}  // namespace rowsmith
