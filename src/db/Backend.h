// The seam between the database layer and an engine (SQLite now, PostgreSQL
// later). Everything engine-specific lives behind it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tessaly/db/Variant.h"

namespace tessaly::db {
namespace jet {
class Dialect;
}

namespace internal {

// The rows of one result, held whole. Shared between a recordset and the
// fields read from it, so a field view never outlives its data.
struct ResultData {
  std::vector<std::string> names;
  std::vector<Variant> cells;  // row-major: row r, column c at r * names.size() + c
  size_t row_count = 0;
  // Lower-cased names for lookups that ignore letter case, same order.
  std::vector<std::string> folded_names;
};

class Backend {
 public:
  virtual ~Backend() = default;

  // The SQL flavour the translator writes for this engine.
  virtual const jet::Dialect& dialect() const = 0;

  // Runs one statement in the engine's own SQL. When it yields columns and
  // out is not null, every row goes into *out (names, folded_names, cells,
  // row_count), each cell a Variant of the column's declared kind. Returns
  // the number of rows changed. Throws tessaly::Error with the Jet number and
  // wording for the engine's failure.
  virtual int32_t Run(const std::string& sql, ResultData* out) = 0;

  virtual void Begin() = 0;
  virtual void Commit() = 0;
  virtual void Rollback() = 0;
};

// Opens a SQLite database file (or ":memory:"). Throws tessaly::Error.
std::unique_ptr<Backend> OpenSqlite(const std::string& target);

}  // namespace internal
}  // namespace tessaly::db
