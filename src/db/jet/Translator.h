// Jet SQL in, the engine's SQL out: lexer, parser and emitter behind one call.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "db/Parameter.h"
#include "db/jet/Ast.h"

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
  // True for an engine that resolves names as Jet did and is asked only
  // for the columns a * stands for in SELECT ... INTO over joined tables:
  // every other statement is written as without a catalog.
  virtual bool ColumnsOnly() const { return false; }
  // For a catalog whose answers, and the names the engine's dialect reads,
  // are kept until its own statements change the schema: a number, unique in
  // the process, that changes whenever they may change. A translation is
  // kept by its shape while it stands. 0: none is kept.
  virtual uint64_t Generation() const { return 0; }

 protected:
  ~Catalog() = default;
};

// A change of an existing table's own definition: ALTER TABLE ... ADD
// CONSTRAINT, DROP CONSTRAINT, ALTER COLUMN, DROP INDEX, and CREATE INDEX
// ... WITH PRIMARY or WITH DISALLOW NULL. An engine that cannot change a
// table's definition in place remakes the table with the edited one, so the
// backend makes it (Backend::AlterTable) from these pieces, all or nothing.
struct TableEdit {
  std::string table;  // Jet's name of the table
  // A constraint to add, in the engine's SQL as CREATE TABLE writes it
  // (" CONSTRAINT name PRIMARY KEY (...)"); key: it is the table's key.
  std::string add;
  bool key = false;
  // Columns that refuse Null afterwards: a key's, those of an index WITH
  // DISALLOW NULL. Existing Nulls make the edit fail.
  std::vector<std::string> required;
  // Jet's name of an index or constraint of the table to drop.
  std::string drop;
  // ALTER COLUMN: the column, its new type, and the engine's expression of
  // each row's new value from the old one (Jet's conversion function).
  std::string column;
  JetType type = JetType::kText;
  uint32_t width = 0;
  std::string conversion;
  // A statement in the engine's SQL to run once the table is edited (the
  // index of WITH DISALLOW NULL).
  std::string then;
};

struct Translation;

// A crosstab whose columns are the values its pivot takes in the data, read
// once: its statement is parsed once, and written once the values are known.
// The plan views into the statement's text, which must outlive it.
class PivotPlan {
 public:
  PivotPlan(const Ast& ast, NodeId root, std::string_view jet_sql, const Dialect& dialect,
            bool lift_literals, bool ansi89_wildcards, Catalog* names);
  // The crosstab with a column for each of values (the rows of the
  // translation's sql, in order).
  Translation Write(const std::vector<PivotValue>& values) const;

 private:
  Ast ast_;
  NodeId root_;
  std::string_view jet_sql_;
  const Dialect& dialect_;
  bool lift_literals_;
  bool ansi89_wildcards_;
  Catalog* names_;
};

// The outcome of translating one statement. On failure, sql is empty and
// error_number / error_description carry what the Jet engine would have
// reported (for example -2147217900 "Syntax error in date in query
// expression '...'."); error_offset is the byte offset of the token where
// reading failed, for a statement the parser refused.
struct Translation {
  bool ok = false;
  bool returns_rows = false;  // a SELECT
  std::string sql;
  // SELECT ... INTO: the new table's name; sql is then the SELECT whose rows
  // fill it, and the backend makes the table (MakeTable).
  std::string make_table;
  // DROP TABLE: Jet's name of the table; sql drops it, and the backend runs
  // it (DropTable).
  std::string drop_table;
  // A change of an existing table's definition (sql is then empty), which
  // the backend makes (AlterTable).
  std::optional<TableEdit> edit;
  // TRANSFORM ... PIVOT without an IN list: sql is the query of the
  // distinct pivot values, in the order of the crosstab's columns, and the
  // plan writes the crosstab from its rows (see PivotPlan).
  std::shared_ptr<const PivotPlan> pivot;
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
  std::optional<size_t> error_offset;
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
// names: the database's tables and saved queries, for an engine that needs
// them (see Catalog); null when it does not.
Translation Translate(std::string_view jet_sql, const Dialect& dialect, bool lift_literals = false,
                      bool ansi89_wildcards = false, Catalog* names = nullptr);

class LiftedInsert;

// The engine's statement kept for the shape of an INSERT whose literals the
// writer read itself (LiftedInsert), into lifted.sql: the literals are its
// parameters, in order. False when the translator keeps none for its shape
// (or it is not lifted): the statement is then written out and translated
// (Translate with lift_literals), which keeps its shape for the next.
bool TranslateLifted(LiftedInsert& lifted, const Dialect& dialect, bool ansi89_wildcards,
                     Catalog* names);

}  // namespace tessaly::db::jet
