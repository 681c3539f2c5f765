// The attendance database's definitions in SQLite's own SQL.
#pragma once

#include <string>
#include <vector>

namespace tessaly::db::sqlite {

// The statements that create, where missing, every table, index and saved
// query of the catalog, in order. Built once.
const std::vector<std::string>& SchemaStatements();

}  // namespace tessaly::db::sqlite
