#pragma once

#include <QString>
#include <QStringList>
#include <string_view>

namespace rowsmith {

// What a Browse button asks the file picker for.
struct FilePickerRequest {
    const char* defaultExtension;  // "*.csv": added to a name typed without one
    const char* filterList;        // "Text (pattern)|pattern|...||"
    bool several = false;          // whether several files may be chosen at once
};

// Turns a "|"-separated filter list ("CSV Files (*.csv)|*.csv|...||") into
// Qt's name filters ("CSV Files (*.csv)", ...). Patterns are separated by
// ";" in the list and "*.*" means every file, as "*" does in Qt.
QStringList NameFiltersFromList(std::string_view filterList);

// "csv" for "*.csv"; empty when there is no extension.
QString SuffixFromDefaultExtension(std::string_view defaultExtension);

}  // namespace rowsmith
