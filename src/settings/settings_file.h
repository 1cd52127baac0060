#pragma once

// "db.ini": the four values of the window, kept between runs as key=value
// lines in the current directory.

#include <string>

#include "convert/conversion_settings.h"
#include "convert/message_owner.h"

namespace rowsmith {

inline constexpr const char* kSettingsFileName = "db.ini";

// Fills settings from "db.ini". A missing or unreadable file changes nothing
// and creates nothing; keys that do not occur keep their values.
void LoadSettings(ConversionSettings& settings);

// Replaces "db.ini" with the values of settings. The old file stays whole
// when anything fails, and the failure is shown through owner.
void SaveSettings(const ConversionSettings& settings, MessageOwner& owner);

// The text of "db.ini" for settings, with LF line ends (memory form).
std::string SettingsFileText(const ConversionSettings& settings);

}  // namespace rowsmith
