#include "convert/run/table_check.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "convert/options/conversion_options.h"
#include "io/file_system.h"

namespace rowsmith {

namespace {

// What the statement at text[at] holds between "( " and " );".
std::string_view ListOf(std::string_view text, std::size_t at, std::size_t head) {
    const std::size_t from = at + head;
    std::size_t end = text.find(" );", from);
    return end == std::string_view::npos ? std::string_view() : text.substr(from, end - from);
}

// "with zip BIGINT, where this run's values need zip TEXT".
std::string Difference(std::string_view before, std::string_view now) {
    // The entries ("name TYPE", "PRIMARY KEY ( k )") split as a field list is.
    const std::vector<std::string> old = SplitFieldNames(before);
    const std::vector<std::string> wanted = SplitFieldNames(now);
    for (std::size_t i = 0; i < std::min(old.size(), wanted.size()); ++i) {
        if (old[i] != wanted[i]) {
            return "with " + old[i] + ", where this run's values need " + wanted[i];
        }
    }
    return "with " + std::to_string(old.size()) + " entries, where this run's need " + std::to_string(wanted.size());
}

}  // namespace

std::string OtherTableBefore(int fd, std::string_view create, std::string_view table) {
    const std::string head = "CREATE TABLE IF NOT EXISTS " + std::string(table) + " ( ";
    if (!create.starts_with(head)) return {};
    const std::string_view now = ListOf(create, 0, head.size());
    // The file a block at a time; what follows a block goes on from the
    // start of a statement it cuts, or from a head it may cut.
    constexpr std::size_t kBlock = std::size_t{8} << 20;
    std::string text;
    std::uint64_t offset = 0;
    for (;;) {
        const std::size_t kept = text.size();
        text.resize(kept + kBlock);
        std::size_t got = 0;
        if (ReadAt(fd, text.data() + kept, kBlock, offset, got) != 0) return {};
        text.resize(kept + got);
        offset += got;
        std::size_t resume = std::string::npos;
        for (std::size_t at = text.find(head); at != std::string::npos; at = text.find(head, at + 1)) {
            const std::string_view before = ListOf(text, at, head.size());
            if (before.data() == nullptr) {
                resume = at;
                break;
            }
            if (before != now) {
                return "the output creates the table " + std::string(table) + " already, " + Difference(before, now) +
                       ": append to another output, or give the column that --type";
            }
        }
        if (got == 0) return {};
        std::size_t drop = text.size() > head.size() ? text.size() - head.size() : 0;
        // A statement that never ends is no table: it is not held for ever.
        if (resume != std::string::npos && text.size() - resume < kBlock * 4) drop = std::min(drop, resume);
        text.erase(0, drop);
    }
}

}  // namespace rowsmith
