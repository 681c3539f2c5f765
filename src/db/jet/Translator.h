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
  // Statements that run before and after sql as one unit with it
  // (Backend::RunGroup), sql's parameters bound to sql alone; the count is
  // sql's. An UPDATE that changes several joined tables on an engine whose
  // statement sees its own writes: before makes the table that sql fills
  // with the joined rows, after writes each table from it and empties it.
  // A counter numbered from a seed the engine sets apart from the table.
  std::vector<std::string> before, after;
  // sql answers one row of one cell: the number of records it changed, as
  // Jet counts them (an UPDATE that changes several joined tables at once).
  bool answers_count = false;
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
Translation Translate(std::string_view jet_sql, const Dialect& dialect, bool lift_literals = false,
                      bool ansi89_wildcards = false,
                      const std::vector<PivotValue>* pivot_values = nullptr);

}  // namespace tessaly::db::jet
