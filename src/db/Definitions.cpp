#include "db/Definitions.h"

#include <utility>

#include "db/jet/Dialect.h"

namespace tessaly::db::internal {
namespace {

using jet::JetType;

JetType JetTypeOf(const ColumnDef& column) {
  switch (column.kind) {
    case ColumnKind::kText: return column.width > 0 ? JetType::kText : JetType::kMemo;
    case ColumnKind::kByte: return JetType::kByte;
    case ColumnKind::kInt16: return JetType::kShort;
    case ColumnKind::kInt32: return JetType::kLong;
    case ColumnKind::kSingle: return JetType::kSingle;
    case ColumnKind::kDate: return JetType::kDateTime;
  }
  return JetType::kMemo;
}

std::string CreateTable(const TableDef& table, const jet::Dialect& dialect,
                        const DefinitionForms& forms) {
  std::string sql = "CREATE TABLE IF NOT EXISTS ";
  dialect.Identifier(table.name, sql);
  sql += " (";
  for (const ColumnDef& column : table.columns) {
    if (&column != &table.columns.front()) sql += ", ";
    dialect.Identifier(column.name, sql);
    sql += ' ';
    if (column.flags & kAutoNumber) {
      dialect.ColumnType(column.name, static_cast<JetType>(forms.numbered_type), 0, false, sql);
      sql += forms.numbered_key;
      continue;
    }
    // Never the dialect's key form: a key the library or the host numbers
    // is the engine's plain whole number.
    dialect.ColumnType(column.name, JetTypeOf(column), column.width, false, sql);
    if (column.flags & kPrimaryKey) sql += " NOT NULL PRIMARY KEY";
    if (column.flags & kZeroDefault) sql += " NOT NULL DEFAULT 0";
  }
  sql += ')';
  return sql;
}

std::string CreateIndex(const TableDef& table, const std::vector<std::string>& columns,
                        const jet::Dialect& dialect) {
  std::string name = "ix_" + table.name;
  std::string list;
  for (const std::string& column : columns) {
    name += '_' + column;
    if (!list.empty()) list += ", ";
    dialect.Identifier(column, list);
  }
  std::string sql = "CREATE INDEX IF NOT EXISTS ";
  dialect.Identifier(name, sql);
  sql += " ON ";
  dialect.Identifier(table.name, sql);
  return sql + " (" + list + ')';
}

// The saved query names each column, so that it keeps the table's types
// (and so the kinds the backend reads) and its collation.
std::string CreateView(const ViewDef& view, const Definitions& described,
                       const jet::Dialect& dialect, const DefinitionForms& forms) {
  std::string sql(forms.create_view);
  dialect.Identifier(view.name, sql);
  sql += " AS SELECT ";
  auto shown = [&](const char* source, const std::string& column, const std::string& as) {
    sql += source;
    dialect.Identifier(column, sql);
    sql += " AS ";
    dialect.Identifier(as, sql);
  };
  const char* separator = "";
  for (const ColumnDef& column : described.Find(view.table)->columns) {
    sql += std::exchange(separator, ", ");
    shown("t.", column.name, column.name);
  }
  for (const auto& [column, as] : view.lookup_columns) {
    sql += ", ";
    shown("e.", column, as);
  }
  sql += " FROM ";
  dialect.Identifier(view.table, sql);
  sql += " AS t";
  if (view.lookup_table.empty()) return sql += forms.lone_view_source;
  sql += " LEFT JOIN ";
  dialect.Identifier(view.lookup_table, sql);
  sql += " AS e ON e.";
  dialect.Identifier(view.lookup_key, sql);
  sql += " = t.";
  dialect.Identifier(view.lookup_key, sql);
  return sql;
}

}  // namespace

std::vector<std::string> DefinitionStatements(const Definitions& described,
                                              const jet::Dialect& dialect,
                                              const DefinitionForms& forms) {
  std::vector<std::string> all;
  for (const TableDef& table : described.tables) all.push_back(CreateTable(table, dialect, forms));
  for (const TableDef& table : described.tables) {
    for (const auto& columns : table.indexes) all.push_back(CreateIndex(table, columns, dialect));
  }
  for (const ViewDef& view : described.views) {
    all.push_back(CreateView(view, described, dialect, forms));
  }
  return all;
}

}  // namespace tessaly::db::internal
