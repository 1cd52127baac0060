// The text-mode reader on any bytes, through blocks of any size, against the
// plain reading of the rules. The first byte picks the block size.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "io/text_mode_reader.h"
#include "reference_rules.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::size_t blockSize = 16 + data[0];
    const std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    const int fd = ::memfd_create("text", 0);
    if (fd < 0 || ::write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()) ||
        ::lseek(fd, 0, SEEK_SET) != 0) {
        std::abort();
    }
    std::vector<std::string> lines;
    {
        rowsmith::TextModeReader reader(fd, blockSize);
        std::string_view line;
        int status;
        while ((status = reader.NextLine(line)) == 0) lines.emplace_back(line);
        if (status != rowsmith::kEndOfInput) std::abort();
    }
    ::close(fd);
    if (lines != rowsmith::reference::TextLines(bytes)) std::abort();
    return 0;
}
