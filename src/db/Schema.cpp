#include "tessaly/db/Schema.h"

#include "db/Backend.h"
#include "db/Catalog.h"
#include "tessaly/db/Connection.h"

namespace tessaly::db {

// Definitions go to the engine in its own SQL: they are no Jet statements, so
// the translator has no part in them. Every statement is CREATE ... IF NOT
// EXISTS, so a second run, or a run after one that stopped half-way, only adds
// what is missing.
void CreateSchema(Connection& connection) {
  for (const std::string& sql : internal::SqliteSchemaStatements()) {
    connection.backend().Run(sql, nullptr);
  }
}

}  // namespace tessaly::db
