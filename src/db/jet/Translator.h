// Jet SQL in, the engine's SQL out: lexer, parser and emitter behind one call.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "db/Parameter.h"

namespace tessaly::db::jet {

class Dialect;

// One column of a crosstab (TRANSFORM ... PIVOT without an IN list): a value
// the pivot expression takes in the data, and the column's name.
struct PivotValue {
  bool null = false;  // the column of the rows whose pivot is Null
  Parameter value;
  std::string name;
};

// What the database holds under a name of a table a statement reads, for an
// engine that resolves less than Jet did. The translator asks only where the
// answer changes the statement: DISTINCTROW over joined tables (a saved query
// has no row identity) and a select alias read in WHERE, GROUP BY or HAVING
// over joined tables (Jet read a column of that name first).
struct NamedObject {
  bool found = false;        // the database holds a table or saved query so named
  bool saved_query = false;  // it is a saved query
  std::vector<std::string> columns;
};
class Catalog {
 public:
  // The answer stays good until the next call.
  virtual const NamedObject& Find(std::string_view name) = 0;

 protected:
  ~Catalog() = default;
};

// The outcome of translating one statement. On failure, sql is empty and
// error_number / error_description carry what the Jet engine would have
// reported (for example -2147217900 "Syntax error in date in query
// expression '...'."); error_offset is the byte offset where reading failed.
struct Translation {
  bool ok = false;
  bool returns_rows = false;  // a SELECT
  std::string sql;
  // SELECT ... INTO: the new table's name; sql is then the SELECT whose rows
  // fill it, and the backend makes the table (MakeTable).
  std::string make_table;
  // TRANSFORM ... PIVOT without an IN list, translated without its pivot
  // values: sql is the query of the distinct pivot values, in the order of
  // the crosstab's columns; translate again with its rows as pivot values.
  bool needs_pivot_values = false;
  // With lift_literals, the text, number and date literals of the statement,
  // in the order of their numbers; sql names them through the dialect's
  // placeholders.
  std::vector<Parameter> parameters;
  int32_t error_number = 0;
  std::string error_description;
  size_t error_offset = 0;
};

// Translates exactly one Jet statement (a trailing ";" and blanks are allowed;
// a second statement is refused with "Characters found after end of SQL
// statement.").
// With lift_literals, literal values become numbered parameters (see
// Parameter), except where the engine reads a number as a column ordinal
// (ORDER BY and GROUP BY) or a count (TOP).
// With ansi89_wildcards, LIKE reads the wildcards of Access's own query
// designer (* ? # [!...]) instead of the provider's ANSI ones (% _ [^...]);
// ALIKE always reads the ANSI ones.
// pivot_values: the columns of a crosstab whose statement lists none.
// names: the database's tables and saved queries, for an engine that needs
// them (see Catalog); null when it does not.
Translation Translate(std::string_view jet_sql, const Dialect& dialect, bool lift_literals = false,
                      bool ansi89_wildcards = false,
                      const std::vector<PivotValue>* pivot_values = nullptr,
                      Catalog* names = nullptr);

}  // namespace tessaly::db::jet
