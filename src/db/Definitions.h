// Tables and saved queries described whatever the engine: their columns in
// the kinds of db/ColumnKind.h, keys and indexes. An engine writes its own
// definitions from such a description; what the tables are for is known
// above the engines.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tessaly/db/ColumnKind.h"

namespace tessaly::db::jet {
class Dialect;
}

namespace tessaly::db::internal {

struct ColumnDef {
  std::string name;
  ColumnKind kind;
  int width = 0;  // characters, for kText only
  uint8_t flags = 0;
};

struct TableDef {
  std::string name;
  std::vector<ColumnDef> columns;
  // Each entry is the column list of one (non-unique) index.
  std::vector<std::vector<std::string>> indexes;
};

// A saved query: every column of `table` and, when lookup_table is named,
// some of that table's columns (each under its shown name), joined on
// lookup_key so that a row without a match still shows, with Nulls there.
struct ViewDef {
  std::string name;
  std::string table;
  std::string lookup_table;
  std::string lookup_key;
  std::vector<std::pair<std::string, std::string>> lookup_columns;  // column, shown as
};

// The tables and saved queries of one database, in the order they are made.
struct Definitions {
  std::vector<TableDef> tables;
  std::vector<ViewDef> views;

  // The table of that name (exact spelling), or nullptr.
  const TableDef* Find(std::string_view name) const {
    for (const TableDef& table : tables) {
      if (table.name == name) return &table;
    }
    return nullptr;
  }
  // The column names of a table's or saved query's rows, in order.
  static std::vector<std::string> ColumnNames(const TableDef& table) {
    std::vector<std::string> names;
    for (const ColumnDef& column : table.columns) names.push_back(column.name);
    return names;
  }
  std::vector<std::string> ColumnNames(const ViewDef& view) const {
    std::vector<std::string> names = ColumnNames(*Find(view.table));
    for (const auto& [column, shown] : view.lookup_columns) names.push_back(shown);
    return names;
  }
};

// What an engine writes beyond its dialect's column types.
struct DefinitionForms {
  // The words before a saved query's name.
  std::string_view create_view;
  // A saved query that joins nothing is followed by this after its table.
  std::string_view lone_view_source;
  // A key the database numbers: the Jet type written for it, then these
  // words.
  uint8_t numbered_type;  // a jet::JetType
  std::string_view numbered_key;
};

// The statements that create, where missing, every table, index and saved
// query described, in that order: each column through the dialect's
// ColumnType, so a table described here holds its values as one a statement
// makes.
std::vector<std::string> DefinitionStatements(const Definitions& described,
                                              const jet::Dialect& dialect,
                                              const DefinitionForms& forms);

}  // namespace tessaly::db::internal
