#include "tessaly/db/Schema.h"

#include <string>
#include <vector>

#include "db/Backend.h"
#include "tessaly/Error.h"
#include "tessaly/db/Connection.h"
#include "schema/Attendance.h"

namespace tessaly::db {

namespace {

// Refuses, before anything is created, a table or saved query of one of the
// attendance database's names that holds other columns: creating "where
// missing" would keep it and fail half-way on its first index or query.
void RefuseClash(internal::Backend& engine, const std::string& name,
                 const std::vector<std::string>& expected) {
  const std::vector<std::string> found = engine.ColumnsOf(name);
  if (found.empty() || found == expected) return;
  std::string columns;
  for (const std::string& column : found) {
    if (!columns.empty()) columns += ", ";
    columns += column;
  }
  throw Error(errnum::kFail, "The database already holds '" + name +
                                 "', which is not the attendance database's (its columns: " +
                                 columns + "). Nothing was created.");
}

}  // namespace

// Definitions go to the engine in its own SQL: they are no Jet statements, so
// the translator has no part in them. They run as one unit: a database either
// gets every missing table, index and saved query or none. A second run, or a
// run over a database an older version created in part, only adds what is
// missing.
void CreateSchema(Connection& connection) {
  internal::Backend& engine = internal::BackendOf(connection);
  const internal::Definitions& attendance = schema::Attendance();
  for (const internal::TableDef& table : attendance.tables) {
    RefuseClash(engine, table.name, internal::Definitions::ColumnNames(table));
  }
  for (const internal::ViewDef& view : attendance.views) {
    RefuseClash(engine, view.name, attendance.ColumnNames(view));
  }
  engine.RunAsOne(engine.SchemaStatements(attendance));
}

}  // namespace tessaly::db
