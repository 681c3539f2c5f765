// The attendance database's definitions in PostgreSQL's own SQL.
#pragma once

#include <string>
#include <vector>

namespace tessaly::db::postgres {

// The statements that create, where missing, the Byte domain and every table,
// index and saved query of the catalog, in order. Built once.
const std::vector<std::string>& SchemaStatements();

}  // namespace tessaly::db::postgres
