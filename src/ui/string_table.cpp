#include "ui/string_table.h"

namespace rowsmith {

namespace {

struct StringEntry {
    int id;
    const char* text;
};

constexpr StringEntry kStrings[] = {
    {kStrAboutMenuItem, "&About Rowsmith..."},
    {kStrSocketsFailed, "Windows sockets initialization failed."},
    {kStrHelpFailed, "Failed to launch help."},
};

}  // namespace

QString LoadString(int id) {
    for (const StringEntry& entry : kStrings) {
        if (entry.id == id) return QString::fromUtf8(entry.text);
    }
    return {};
}

}  // namespace rowsmith
