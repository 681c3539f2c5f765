// The SQL flavour written for PostgreSQL, with the functions of PgFunctions.h.
#pragma once

#include <string>
#include <string_view>

#include "db/jet/Dialect.h"

namespace tessaly::db::postgres {

// The one PostgreSQL dialect object (stateless, shared by all connections).
// Names are double-quoted in the attendance database's own spelling, so a
// statement may spell them in any letter case as Jet allowed and the rows
// come back named as the tables declare them; placeholders are $1, $2, ...;
// Jet's functions are the pg_temp.jet_... functions each connection creates.
const jet::Dialect& PgDialect();

// The attendance database's own spelling of a table, saved query or column
// name given in any letter case, or the name as given when it is none of
// them (an alias, a table of the host's own).
std::string_view CatalogSpelling(std::string_view name);

}  // namespace tessaly::db::postgres
