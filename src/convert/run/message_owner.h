#pragma once

#include <string>

namespace rowsmith {

// Whatever shows the user a message: the main window in the program, a
// recorder in tests, standard error in the command-line tool.
class MessageOwner {
public:
    virtual ~MessageOwner() = default;
    // Shows text under caption and returns once the user has dismissed it.
    virtual void ShowMessage(const std::string& text, const std::string& caption) = 0;
};

}  // namespace rowsmith
