// The attendance database's definitions in SQLite's own SQL.
#pragma once

#include <string>
#include <vector>

namespace tessaly::db::sqlite {

// The statements that create, where missing, every table, index and saved
// query of the catalog, in order. Built once.
const std::vector<std::string>& SchemaStatements();

// The check of a Date/Time column (written as column): only the stored form
// of Date::ToStored, "yyyy-mm-dd" or "yyyy-mm-dd hh:mm:ss", of the years 100
// to 9999, as Jet's dates run.
std::string StoredDateCheck(const std::string& column);

}  // namespace tessaly::db::sqlite
