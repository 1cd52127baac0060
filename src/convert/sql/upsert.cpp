#include "convert/sql/upsert.h"

#include <algorithm>

#include "io/text_mode.h"

namespace rowsmith {

namespace {}  // namespace

std::vector<std::size_t> KeyPlaces(std::string_view keyList, const std::vector<TableColumn>& columns,
                                   std::string& problem) {
    std::vector<std::size_t> places;
    for (const std::string& entry : SplitFieldNames(keyList)) {
        const WrittenName name = ReadName(entry);
        const auto found = std::find_if(columns.begin(), columns.end(), [&name](const TableColumn& column) {
            return column.sqlName == name.written || column.plainName == name.plain;
        });
        if (found == columns.end()) {
            std::string names;
            for (const TableColumn& column : columns) names.append(names.empty() ? "" : ", ").append(column.plainName);
            problem = "--key names \"";
            problem.append(name.plain).append("\", which is not among the fields (").append(names).append(")");
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

}  // namespace rowsmith
