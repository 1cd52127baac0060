#include "convert/options/dialect.h"

namespace rowsmith {

std::string_view DialectName(Dialect dialect) {
    switch (dialect) {
        case Dialect::Sqlite:
            return "sqlite";
        case Dialect::Postgresql:
            return "postgresql";
        case Dialect::MySql:
            return "mysql";
        case Dialect::Standard:
            break;
    }
    return "standard";
}

std::optional<Dialect> DialectFromName(std::string_view name) {
    if (name == "mariadb") return Dialect::MySql;
    if (name == "postgres") return Dialect::Postgresql;
    for (const Dialect dialect : kAllDialects) {
        if (DialectName(dialect) == name) return dialect;
    }
    return std::nullopt;
}

std::string DialectNames() {
    std::string names;
    for (const Dialect dialect : kAllDialects) names.append(DialectName(dialect)).append(", ");
    return names + "mariadb or postgres";
}

}  // namespace rowsmith
