#pragma once

#include <QString>

namespace rowsmith {

enum StringId : int {
    kStrAboutMenuItem = 101,
    kStrSocketsFailed = 103,
    kStrHelpFailed = 61703,
};

// The program's string table; an unknown ID gives an empty string.
QString LoadString(int id);

}  // namespace rowsmith
