#include "db/sqlite/SqliteSchema.h"

#include <iterator>

#include "db/Catalog.h"

namespace tessaly::db::sqlite {
namespace {

using internal::Column;
using internal::Table;
using internal::View;
using K = ColumnKind;

// SQLite's form of each kind: the declared type, and for numbers the storage
// classes a value may have and the range Jet's column would hold.
struct SqliteKind {
  const char* type;
  const char* storage;  // for ck_type_, or nullptr
  const char* min;      // for ck_range_, or nullptr
  const char* max;
};

const SqliteKind& SqliteKindOf(ColumnKind kind) {
  static constexpr SqliteKind kKinds[] = {
      // In the order of ColumnKind.
      {"TEXT", nullptr, nullptr, nullptr},
      {"TINYINT", "'integer', 'null'", "0", "255"},
      {"SMALLINT", "'integer', 'null'", "-32768", "32767"},
      {"INTEGER", "'integer', 'null'", "-2147483648", "2147483647"},
      {"SINGLE", "'integer', 'real', 'null'", "-3.4028234663852886e38", "3.4028234663852886e38"},
      {"DATETIME", nullptr, nullptr, nullptr},
  };
  static_assert(std::size(kKinds) == static_cast<size_t>(ColumnKind::kDate) + 1);
  return kKinds[static_cast<size_t>(kind)];
}

void AppendCheck(std::string& sql, std::string_view prefix, const std::string& column,
                 const std::string& condition) {
  sql += " CONSTRAINT ";
  sql += prefix;
  sql += column;
  sql += " CHECK (";
  sql += condition;
  sql += ')';
}

// The declared type; the backend reads a column's values back by this name
// ("VARCHAR(10)", "SMALLINT", "DATETIME", ...).
std::string SqliteTypeName(const Column& column) {
  if (column.kind == K::kText && column.width > 0) {
    return "VARCHAR(" + std::to_string(column.width) + ')';
  }
  return SqliteKindOf(column.kind).type;
}

// One column of CREATE TABLE. The type check comes before the range check so
// that a text in a number column is reported as a type mismatch.
std::string SqliteColumnDefinition(const Column& c) {
  const SqliteKind& kind = SqliteKindOf(c.kind);
  std::string sql = c.name + ' ' + SqliteTypeName(c);
  if (c.kind == K::kText) sql += " COLLATE NOCASE";  // Jet compares text without case
  if (c.flags & kPrimaryKey) {
    // INTEGER PRIMARY KEY is SQLite's rowid; AUTOINCREMENT keeps numbers of
    // deleted rows from coming back, as Jet's AutoNumber did.
    sql += (c.flags & kAutoNumber) ? " PRIMARY KEY AUTOINCREMENT" : " NOT NULL PRIMARY KEY";
  }
  if (c.flags & kZeroDefault) sql += " NOT NULL DEFAULT 0";
  if (c.kind == K::kText && c.width > 0) {
    AppendCheck(sql, "ck_size_", c.name, "length(" + c.name + ") <= " + std::to_string(c.width));
  }
  if (kind.storage != nullptr) {
    AppendCheck(sql, "ck_type_", c.name, "typeof(" + c.name + ") IN (" + kind.storage + ')');
    AppendCheck(sql, "ck_range_", c.name, c.name + " BETWEEN " + kind.min + " AND " + kind.max);
  }
  if (c.kind == K::kDate) AppendCheck(sql, "ck_type_", c.name, StoredDateCheck(c.name));
  return sql;
}

}  // namespace

// The year is compared as a text: beside the column's numeric affinity a
// written '0100' would be read as the number 100.
std::string StoredDateCheck(const std::string& column) {
  const std::string day = "[0-9][0-9][0-9][0-9]-[0-1][0-9]-[0-3][0-9]";
  return column + " IS NULL OR typeof(" + column + ") = 'text' AND substr(" + column +
         ", 1, 4) >= '0100' AND (" + column + " GLOB '" + day + "' OR " + column + " GLOB '" + day +
         " [0-2][0-9]:[0-5][0-9]:[0-5][0-9]')";
}

namespace {

std::string SqliteCreateTable(const Table& table) {
  std::string sql = "CREATE TABLE IF NOT EXISTS " + table.name + " (";
  for (size_t i = 0; i < table.columns.size(); ++i) {
    if (i > 0) sql += ", ";
    sql += SqliteColumnDefinition(table.columns[i]);
  }
  sql += ')';
  return sql;
}

std::string SqliteCreateIndex(const Table& table, const std::vector<std::string>& columns) {
  std::string name = "ix_" + table.name;
  std::string list;
  for (const std::string& column : columns) {
    name += '_' + column;
    if (!list.empty()) list += ", ";
    list += column;
  }
  return "CREATE INDEX IF NOT EXISTS " + name + " ON " + table.name + " (" + list + ')';
}

// The saved query names each column, so that it keeps the table's declared
// types (and so the kinds the backend reads) and its collation.
std::string SqliteCreateView(const View& view) {
  const Table* table = internal::FindTable(view.table);
  std::string sql = "CREATE VIEW IF NOT EXISTS " + view.name + " AS SELECT ";
  for (size_t i = 0; i < table->columns.size(); ++i) {
    if (i > 0) sql += ", ";
    sql += "t." + table->columns[i].name + " AS " + table->columns[i].name;
  }
  if (view.adds_employee) sql += ", e.F_Name AS F_EmpName, e.F_Dept AS F_Dept";
  sql += " FROM " + table->name + " AS t";
  if (view.adds_employee) sql += " LEFT JOIN T_Emp AS e ON e.F_EmpID = t.F_EmpID";
  return sql;
}

}  // namespace

const std::vector<std::string>& SchemaStatements() {
  static const std::vector<std::string> statements = [] {
    std::vector<std::string> all;
    for (const Table& table : internal::Tables()) all.push_back(SqliteCreateTable(table));
    for (const Table& table : internal::Tables()) {
      for (const auto& columns : table.indexes) all.push_back(SqliteCreateIndex(table, columns));
    }
    for (const View& view : internal::Views()) all.push_back(SqliteCreateView(view));
    return all;
  }();
  return statements;
}

}  // namespace tessaly::db::sqlite
