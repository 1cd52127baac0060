#pragma once

#include <string>
#include <string_view>

namespace rowsmith {

// Every text and caption the conversion and settings code shows the user.
struct Message {
    std::string_view text;
    std::string_view caption;
};

inline constexpr Message kDoneMessage{"Done", "Done"};
inline constexpr Message kWriteFailedMessage{"Save to File", "Error Writing File"};
inline constexpr Message kSameFileMessage{"The output file is the same as the input file.", "Error Writing File"};
inline constexpr Message kCancelledMessage{"Conversion cancelled.", "Cancelled"};
inline constexpr std::string_view kReadFailedCaption = "Error Reading File";

// `Cannot read "path": reason`, the text shown when the input cannot be read.
std::string ReadFailedText(std::string_view path, int error);

}  // namespace rowsmith
