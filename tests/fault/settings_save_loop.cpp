// Saves two different records to db.ini in the current directory, in turn,
// until it is killed: the settings-save half of the kill test.
#include "settings/settings_file.h"

namespace {

class NoMessages : public rowsmith::MessageOwner {
public:
    void ShowMessage(const std::string&, const std::string&) override {}
};

}  // namespace

int main() {
    const rowsmith::ConversionSettings records[] = {
        {"first-input.csv", "first-output.sql", "first_table", "a, b, c"},
        {"second input with a much longer name.csv", "second.sql", "second", "x"},
    };
    NoMessages owner;
    for (unsigned long i = 0;; ++i) rowsmith::SaveSettings(records[i % 2], owner);
}
