#pragma once

// What the user is told of a run, worked out from its report alone: the
// window's message box and rowsmith-convert's lines on standard error say
// the same things, each in its own form.

#include <string>
#include <string_view>
#include <vector>

#include "convert/run/run_report.h"

namespace rowsmith {

struct RunMessage {
    std::string text;
    std::string caption;
};

// How a count is written: plain digits, or as the window's locale groups them.
using NumberWriter = std::string (*)(std::uint64_t n);
std::string PlainNumber(std::uint64_t n);

// The window's message: the report's text, then what was appended to
// outputName (or why it could not be), then any notes; counts written by
// number.
RunMessage WindowMessage(const RunReport& report, std::string_view outputName, NumberWriter number = PlainNumber);

// rowsmith-convert's lines, each said as "rowsmith-convert: LINE": what
// failed, naming the file as Unix tools do ("FILE: reason"), then the notes.
// Nothing for a run that went well and has nothing to note.
std::vector<std::string> CommandLineLines(const RunReport& report, std::string_view inputName,
                                          std::string_view outputName);

}  // namespace rowsmith
