#include "convert/detect/table_bounds.h"

#include <algorithm>
#include <map>

#include "convert/detect/format_detection.h"

namespace rowsmith {

using Record = std::vector<std::string>;

std::size_t PreambleLines(const std::vector<Record>& lines, std::size_t common) {
    if (common < 2) return 0;
    std::size_t first = 0;
    while (first < lines.size() && first <= 20 && lines[first].size() < common) ++first;
    if (first == 0 || first > 20 || first == lines.size() || lines[first].size() != common) return 0;
    std::size_t alike = 0;
    const std::size_t seen = std::min<std::size_t>(lines.size(), first + 200);
    for (std::size_t i = first; i < seen; ++i) alike += lines[i].size() == common ? 1U : 0U;
    return alike * 10 >= (seen - first) * 9 ? first : 0;
}

TableEnd FindTableEnd(const std::vector<Record>& records, const std::vector<std::uint64_t>& starts,
                      const std::vector<Record>& lines) {
    const auto blank = [&lines](std::uint64_t line) {
        return line >= 1 && line <= lines.size() && lines[line - 1].size() == 1 && lines[line - 1][0].empty();
    };
    // The field counts of the records above the one looked at.
    std::map<std::size_t, std::size_t> above;
    for (std::size_t next = 0; next < records.size(); ++next) {
        const std::size_t common = CommonCount(above).first;
        ++above[records[next].size()];
        if (next < 2 || common < 2 || records[next].size() == common || !blank(starts[next] - 1)) continue;
        std::size_t other = 0;
        for (std::size_t i = next; i < records.size(); ++i) other += records[i].size() != common ? 1U : 0U;
        if (other * 10 < (records.size() - next) * 9) continue;
        std::uint64_t last = starts[next] - 1;
        while (blank(last)) --last;
        return {static_cast<std::size_t>(last), static_cast<std::size_t>(starts[next]), records[next].size()};
    }
    return {};
}

}  // namespace rowsmith
