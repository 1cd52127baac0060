#pragma once

// The databases a run writes for, as --dialect names them. How each one
// reads SQL text is convert/sql/sql_dialect.h's to say.

#include <optional>
#include <string>
#include <string_view>

namespace rowsmith {

enum class Dialect { Standard, Sqlite, Postgresql, MySql };

// Every dialect, in the order lists show them.
inline constexpr Dialect kAllDialects[] = {Dialect::Standard, Dialect::Sqlite, Dialect::Postgresql, Dialect::MySql};

// The name --dialect takes for dialect: "standard", "sqlite", ...
std::string_view DialectName(Dialect dialect);
// The dialect a name stands for; "mariadb" is another name for mysql,
// "postgres" for postgresql.
std::optional<Dialect> DialectFromName(std::string_view name);
// The names --dialect takes, as a message lists them.
std::string DialectNames();

}  // namespace rowsmith
