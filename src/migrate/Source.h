// What the migration reads: the tables of an Access database with their
// fields, indexes and rows, its relationships and the rows of its query
// table. The Access file reader is one; the tests hand over others.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "access/QueryText.h"
#include "tessaly/db/Variant.h"
#include "tessaly/migrate/Migrate.h"

namespace tessaly::migrate {

// Jet's field types, as the file numbers them.
enum class FieldType : uint8_t {
  kYesNo = 1,
  kByte = 2,
  kInteger = 3,
  kLong = 4,
  kCurrency = 5,
  kSingle = 6,
  kDouble = 7,
  kDateTime = 8,
  kBinary = 9,
  kText = 10,
  kOle = 11,
  kMemo = 12,
  kGuid = 15,
  kDecimal = 16,
  kComplex = 18,
};

struct Field {
  std::string name;
  FieldType type = FieldType::kText;
  int size = 0;  // characters of a Text field, bytes of a Binary one
  bool autonumber = false;
  uint8_t precision = 0, scale = 0;  // of a Decimal field
};

struct Index {
  std::string name;
  std::vector<std::string> columns;
  std::vector<bool> descending;  // beside columns
  bool primary = false;
  bool unique = false;
};

struct Table {
  std::string name;
  std::vector<Field> fields;
  std::vector<Index> indexes;
  int64_t rows = 0;  // as the file counts them
  int64_t next_autonumber = 1;  // the number its AutoNumber field gives next
};

struct Relationship {
  std::string name;
  std::string table;       // the table whose rows refer
  std::string referenced;  // the table they refer to
  std::vector<std::string> columns, referenced_columns;
  bool cascade_update = false, cascade_delete = false;
};

// A table's rows in the file's order, one at a time.
class RowReader {
 public:
  virtual ~RowReader() = default;
  // The next row into *row, one value a field in the table's order: Null, a
  // Boolean (Yes/No), Byte, Integer, Long, Currency, Single, Double (a
  // Double or Date/Time), Decimal, String (Text, Memo, a GUID's text), or an
  // array of Bytes (Binary, OLE object); Empty for a value the library keeps
  // no kind of (a complex field's). False at the end.
  // Throws tessaly::Error naming the source and the table.
  virtual bool Next(std::vector<db::Variant>* row) = 0;
};

class Source {
 public:
  virtual ~Source() = default;
  // What the source is, for messages and the report (the file's path).
  virtual std::string Name() const = 0;
  // The user tables, in the source's order.
  virtual std::vector<Table> Tables() = 0;
  virtual std::vector<Relationship> Relationships() = 0;
  // The rows of the saved queries' table, every query's rows together.
  virtual std::vector<access::QueryRow> QueryRows() = 0;
  // The names of the saved queries, by the object ids their rows carry.
  virtual std::vector<std::pair<int32_t, std::string>> QueryNames() = 0;
  virtual std::unique_ptr<RowReader> Rows(const Table& table) = 0;
};

// Migrate (tessaly/migrate/Migrate.h) from any source.
Report Migrate(Source& source, db::Connection& target, const Options& options,
               const std::function<void(const Progress&)>& progress = {},
               Report* partial = nullptr);

}  // namespace tessaly::migrate
