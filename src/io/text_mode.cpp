#include "io/text_mode.h"

namespace rowsmith {

std::string ToDiskText(std::string_view text) {
    std::string disk;
    disk.reserve(text.size());
    for (char c : text) {
        if (c == '\n') disk += '\r';
        disk += c;
    }
    return disk;
}

}  // namespace rowsmith
