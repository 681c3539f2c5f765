// The seam between the database layer and an engine (SQLite now, PostgreSQL
// later). Everything engine-specific lives behind it.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "db/Parameter.h"

#include "tessaly/db/Variant.h"

namespace tessaly::db {
namespace jet {
class Dialect;
}

namespace internal {

// The cells of a result, row after row, in blocks of whole rows: a result of
// any size is filled without moving the cells already read, and each row's
// cells stay side by side.
class CellStore {
 public:
  // Empties the store for rows of `columns` cells.
  void Reset(size_t columns) {
    columns_ = columns;
    blocks_.clear();
    size_ = 0;
  }
  void push_back(Variant value) {
    if (size_ % (kRowsPerBlock * columns_) == 0) {
      blocks_.emplace_back().reserve(kRowsPerBlock * columns_);
    }
    blocks_.back().push_back(std::move(value));
    ++size_;
  }
  size_t size() const { return size_; }
  // Cell i of the row-major sequence: row i / columns, column i % columns.
  const Variant& operator[](size_t i) const {
    const size_t per_block = kRowsPerBlock * columns_;
    return blocks_[i / per_block][i % per_block];
  }
  const Variant& at(size_t i) const {
    if (i >= size_) throw std::out_of_range("cell index");
    return (*this)[i];
  }

 private:
  static constexpr size_t kRowsPerBlock = 1024;
  size_t columns_ = 1;
  size_t size_ = 0;
  std::vector<std::vector<Variant>> blocks_;
};

// The rows of one result, held whole. Shared between a recordset and the
// fields read from it, so a field view never outlives its data.
struct ResultData {
  std::vector<std::string> names;
  CellStore cells;  // row-major: row r, column c at r * names.size() + c
  size_t row_count = 0;
  // Lower-cased names for lookups that ignore letter case, same order.
  std::vector<std::string> folded_names;
};

class Backend {
 public:
  virtual ~Backend() = default;

  // The SQL flavour the translator writes for this engine.
  virtual const jet::Dialect& dialect() const = 0;

  // Runs one statement in the engine's own SQL, with its lifted literals bound
  // to their placeholders. When it yields columns and
  // out is not null, every row goes into *out (names, folded_names, cells,
  // row_count), each cell a Variant of the column's declared kind. Returns
  // the number of rows changed. Throws tessaly::Error with the Jet number and
  // wording for the engine's failure.
  virtual int32_t Run(const std::string& sql, std::span<const Parameter> parameters,
                      ResultData* out) = 0;
  int32_t Run(const std::string& sql, ResultData* out) { return Run(sql, {}, out); }

  virtual void Begin() = 0;
  virtual void Commit() = 0;
  virtual void Rollback() = 0;
};

// Opens a SQLite database file (or ":memory:"). Throws tessaly::Error.
std::unique_ptr<Backend> OpenSqlite(const std::string& target);

}  // namespace internal
}  // namespace tessaly::db
