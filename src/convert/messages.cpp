#include "convert/messages.h"

#include <cstring>

namespace rowsmith {

std::string ReadFailedText(std::string_view path, int error) {
    std::string text = "Cannot read \"";
    text.append(path).append("\": ").append(std::strerror(error));
    return text;
}

}  // namespace rowsmith
