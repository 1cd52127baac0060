#include "convert/upsert.h"

#include <algorithm>

#include "io/text_mode.h"

namespace rowsmith {

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// A decimal number: -?+?digits, a point and digits after it.
bool IsNumber(std::string_view text) {
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) text.remove_prefix(1);
    const std::size_t point = text.find('.');
    const std::string_view whole = text.substr(0, point);
    const std::string_view part = point == std::string_view::npos ? std::string_view() : text.substr(point + 1);
    return !(whole.empty() && part.empty()) && std::all_of(whole.begin(), whole.end(), IsDigit) &&
           std::all_of(part.begin(), part.end(), IsDigit);
}

// A number written one way: no +, no leading zeros, no trailing zeros after
// the point, and no point with nothing after it; zero without its sign.
std::string CanonicalNumber(std::string_view text) {
    const bool negative = text.front() == '-';
    if (text.front() == '-' || text.front() == '+') text.remove_prefix(1);
    std::size_t point = text.find('.');
    if (point != std::string_view::npos) {
        while (text.back() == '0') text.remove_suffix(1);
        if (text.back() == '.') text.remove_suffix(1), point = std::string_view::npos;
    }
    while (text.size() > 1 && text.front() == '0' && text[1] != '.') text.remove_prefix(1);
    if (text.empty() || text == "0") return "0";
    // Appended, not concatenated: GCC 12 sees a false -Wrestrict in "-" + text.
    std::string number(negative ? "-" : "");
    if (text.front() == '.') number.append("0");
    return number.append(text);
}

}  // namespace

std::vector<std::size_t> KeyPlaces(std::string_view keyList, const std::vector<TableColumn>& columns,
                                   std::string& problem) {
    std::vector<std::size_t> places;
    for (const std::string& name : SplitFieldNames(keyList)) {
        const auto found = std::find_if(columns.begin(), columns.end(), [&name](const TableColumn& column) {
            return column.sqlName == name || column.plainName == name;
        });
        if (found == columns.end()) {
            std::string names;
            for (const TableColumn& column : columns) names.append(names.empty() ? "" : ", ").append(column.plainName);
            problem = "--key names \"";
            problem.append(name).append("\", which is not among the fields (").append(names).append(")");
            return {};
        }
        places.push_back(static_cast<std::size_t>(found - columns.begin()));
    }
    if (places.empty()) problem = "--on-conflict needs the key's columns: give --key";
    return places;
}

std::string ConflictClause(const ConversionOptions& options, const std::vector<TableColumn>& columns,
                           const std::vector<std::size_t>& keys) {
    if (options.onConflict == OnConflict::None) return {};
    std::vector<std::string_view> others;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (std::find(keys.begin(), keys.end(), i) == keys.end()) others.push_back(columns[i].sqlName);
    }
    const bool update = options.onConflict == OnConflict::Update && !others.empty();
    std::string clause;
    if (options.dialect == Dialect::MySql) {
        clause = " ON DUPLICATE KEY UPDATE ";
        if (!update) {
            const std::string& key = columns[keys.front()].sqlName;
            return clause.append(key).append(" = ").append(key);
        }
        for (std::size_t i = 0; i < others.size(); ++i)
            clause.append(i > 0 ? ", " : "").append(others[i]).append(" = VALUES(").append(others[i]).append(")");
        return clause;
    }
    clause = " ON CONFLICT ( ";
    for (std::size_t i = 0; i < keys.size(); ++i) clause.append(i > 0 ? ", " : "").append(columns[keys[i]].sqlName);
    clause.append(" ) DO ");
    if (!update) return clause.append("NOTHING");
    clause.append("UPDATE SET ");
    for (std::size_t i = 0; i < others.size(); ++i)
        clause.append(i > 0 ? ", " : "").append(others[i]).append(" = excluded.").append(others[i]);
    return clause;
}

void AppendKeyPart(std::string_view value, std::string& key) {
    value = TrimSpace(value);
    std::string folded = IsNumber(value) ? CanonicalNumber(value) : std::string(value);
    for (char& c : folded) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    // Its length first, so that no two keys of several parts run together.
    key.append(std::to_string(folded.size())).append(":").append(folded);
}

}  // namespace rowsmith
