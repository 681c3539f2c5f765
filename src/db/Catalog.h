// The attendance database described once, whatever the engine: its tables
// with their columns (in the kinds of db/ColumnKind.h), keys and indexes, and
// its saved queries. Each engine's backend writes its own definitions from
// this description.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tessaly/db/ColumnKind.h"

namespace tessaly::db::internal {

using db::ColumnKind;

struct Column {
  std::string name;
  ColumnKind kind;
  int width = 0;  // characters, for kText only
  uint8_t flags = 0;
};

struct Table {
  std::string name;
  std::vector<Column> columns;
  // Each entry is the column list of one (non-unique) index.
  std::vector<std::vector<std::string>> indexes;
};

// A saved query: every column of `table`, and, when `adds_employee` is set,
// the employee's name and department from T_Emp as F_EmpName and F_Dept,
// joined on the employee number so that a row of an unknown employee still
// shows (with empty name and department).
struct View {
  std::string name;
  std::string table;
  bool adds_employee = false;
};

// The tables and saved queries, in the order they are created.
const std::vector<Table>& Tables();
const std::vector<View>& Views();
// The table of that name (exact spelling), or nullptr.
const Table* FindTable(std::string_view name);

}  // namespace tessaly::db::internal
