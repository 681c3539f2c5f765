// The attendance database's definitions in PostgreSQL's own SQL.
#pragma once

#include <string>
#include <vector>

namespace tessaly::db::postgres {

// The statements that create, where missing, the Byte domain and every table,
// index and saved query of the catalog, in order. Built once.
const std::vector<std::string>& SchemaStatements();

// The check of a Date/Time column (written as column, quoted): the years 100
// to 9999, as Jet's dates run; beyond them a type mismatch, as a text that is
// no date.
std::string DateRangeCheck(const std::string& column);

}  // namespace tessaly::db::postgres
