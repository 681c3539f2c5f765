// Writes rows into one table of a connected database fast: in bulk where the
// engine takes rows so (COPY on the server, inside the host's transaction);
// otherwise each shape of row (which of its values are Null) is one Jet
// INSERT, translated once by the connection into the engine's prepared
// statement, then run with the row's values bound.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "db/Backend.h"
#include "db/Parameter.h"

namespace tessaly::db {
class Connection;
}

namespace tessaly::migrate {

class RowWriter {
 public:
  struct Column {
    std::string name;
    db::Parameter::Kind kind;
  };
  RowWriter(db::Connection& connection, std::string table, std::vector<Column> columns);

  // Writes one row: values beside the columns, each of its column's kind;
  // null[i] set for a Null. The values' texts are moved out. Throws
  // tessaly::Error as the engine refuses the row.
  void Write(std::vector<db::Parameter>& values, const std::vector<uint8_t>& null);
  // Writes what is still gathered; throws as Write. Rows written in bulk are
  // refused together, here or in Write, without saying which one failed.
  void Finish();

 private:
  struct Shape {
    std::string prepared;         // the engine's statement, empty to run the Jet text
    std::vector<size_t> columns;  // the column of each of its parameters
  };
  const Shape& ShapeOf(const std::vector<uint8_t>& null);
  std::string JetInsert(const std::vector<uint8_t>& null,
                        const std::vector<db::Parameter>* values) const;

  db::Connection& connection_;
  std::string table_;
  std::vector<Column> columns_;
  std::map<std::vector<uint8_t>, Shape> shapes_;
  std::vector<db::Parameter> bound_;
  std::unique_ptr<db::internal::BulkLoad> bulk_;
};

}  // namespace tessaly::migrate
