#pragma once

#include "ui/dialog_builder.h"

namespace rowsmith {

// Control IDs shared by the dialogs and their command tables.
enum ControlId : int {
    kIdOk = 1,      // Quit in the main window, OK in the About box
    kIdCancel = 2,  // Escape, the close box, the window menu's Close
    kIdAboutCommand = 16,
    kIdInputFile = 1000,
    kIdOutputFile = 1001,
    kIdBrowseInput = 1002,
    kIdBrowseOutput = 1003,
    kIdConvert = 1004,
    kIdFieldNames = 1005,
    kIdTableName = 1007,
    kIdHelp = 1009,
    kIdBanner = 1045,
};

inline constexpr int kAboutBoxTemplateId = 100;
inline constexpr int kConverterTemplateId = 102;

extern const DialogTemplate kAboutBoxTemplate;
extern const DialogTemplate kConverterTemplate;

}  // namespace rowsmith
