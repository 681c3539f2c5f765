// The engine-specific half of the emitter: how one engine's SQL writes what
// Jet's SQL says. The parser and the emitter never test which engine they
// write for; every difference is a hook here.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "db/Rules.h"
#include "db/jet/Ast.h"
#include "tessaly/db/Date.h"

namespace tessaly::db::jet {

// The operands of the construct a hook writes. Write appends operand index
// to out, parenthesised when it is itself an operator expression, so it can
// stand next to any operator; WriteArgument appends it bare, for places that
// delimit it anyway (function arguments, CASE branches).
class Operands {
 public:
  virtual size_t size() const = 0;
  virtual void Write(size_t index, std::string& out) const = 0;
  virtual void WriteArgument(size_t index, std::string& out) const = 0;
  // True when the operand is a plain column reference (it then compares
  // with its column's own collation).
  virtual bool IsColumn(size_t index) const = 0;
  // True when the operand is a text literal (inline or lifted), whose type
  // an engine with strict types may have to state beside other operands.
  virtual bool IsText(size_t index) const = 0;
  // The value of a text literal operand (delimiters and doubled quotes
  // removed), lifted or not; nullptr for any other operand. Valid while the
  // hook runs.
  virtual const std::string* TextValue(size_t index) const = 0;

 protected:
  ~Operands() = default;
};

// Implementations hold nothing but the connection's regional setting, so one
// is shared by every connection with that setting; all hooks append to out.
class Dialect {
 public:
  virtual ~Dialect() = default;

  // The regional setting the engine's functions answer in.
  rules::Region region() const { return region_; }

  // #...#: a date and time value (already checked by the parser).
  virtual void DateLiteral(const Date& value, std::string& out) const = 0;
  // A text value (delimiters and doubled quotes already removed).
  virtual void TextLiteral(std::string_view value, std::string& out) const = 0;
  // The place of lifted parameter number (1, 2, ...) in the statement.
  virtual void Placeholder(size_t number, std::string& out) const = 0;
  // A table, column or alias name exactly as Jet names it (may be any UTF-8).
  virtual void Identifier(std::string_view name, std::string& out) const = 0;
  // A name that stands for a table in a statement: where FROM gives it (a
  // table's own name or an alias) and where it qualifies a column or a
  // row. Jet finds an alias in any letter case too. The default is
  // Identifier's.
  virtual void Qualifier(std::string_view name, std::string& out) const;
  // True and False, which Jet stores as -1 and 0.
  virtual void BooleanLiteral(bool value, std::string& out) const = 0;
  // Operand 0, a condition, as a value that is kept (a select item, an
  // inserted or assigned value): Jet's -1 for true, 0 for false.
  virtual void TruthValue(const Operands& condition, std::string& out) const = 0;
  // The word operators: And and Or over a chain of two or more operands (a
  // And b And c ...), Xor, Eqv and Imp over two.
  virtual void Logical(BinaryOp op, const Operands& operands, std::string& out) const = 0;
  // Not operand 0, a condition.
  virtual void Not(const Operands& operand, std::string& out) const = 0;
  // Not operand 0, a number: Jet's Not is bitwise on numbers (Not 1 is -2,
  // Not -1 is 0), after rounding to a whole number; Null stays Null.
  virtual void BitNot(const Operands& operand, std::string& out) const;
  // -operand 0, which is no number written in the statement: Jet reads a
  // text that spells a number as that number (any other raises 13) and a
  // date as its serial. Plain minus by default.
  virtual void Negate(const Operands& operand, std::string& out) const;
  // A call of one of Jet's functions other than Iif, with its arguments
  // (Count(*) has one operand that writes "*").
  virtual void Function(JetFunction function, const Operands& args, std::string& out) const = 0;
  // A whole number from operand index by rounding half to even, for Choose's
  // index. The default calls round(), which rounds so on both engines here
  // only when told the operand is a double; engines override as they need.
  virtual void RoundToWhole(const Operands& operands, size_t index, std::string& out) const;
  // a & b & ...: text concatenation of two or more operands where a Null
  // counts as empty text (all Null gives Null); a date joins as its text in
  // the regional setting, as CStr writes it.
  virtual void Concat(const Operands& operands, std::string& out) const = 0;
  // Operand index of a comparison, sort key or IN/BETWEEN test that must
  // ignore letter case as Jet does (operands that are plain columns already
  // compare by their column's case-insensitive collation).
  virtual void CaseInsensitive(const Operands& operands, size_t index, std::string& out) const = 0;
  // Operand text_index, a text literal, compared with operand column_index,
  // a plain column. Jet matched a number column with a text that reads as
  // one of its numbers, and any other text matched nothing, failing nothing.
  // The default writes the text as it is.
  virtual void TextBesideColumn(const Operands& operands, size_t text_index, size_t column_index,
                                std::string& out) const;
  // Operand index, an expression that is neither a column nor a literal,
  // compared with a plain column (either side of a comparison, an item of
  // its IN list, a bound of its BETWEEN): a text compares with the column's
  // rule, without regard to letter case, as the column compares with a text
  // literal. The default writes the operand as it is, for an engine that
  // compares by the column's collation whatever stands beside it.
  virtual void BesideColumn(const Operands& operands, size_t index, std::string& out) const;
  // Operand 0, the subquery of x IN (SELECT ...), whose values compare with
  // x as texts compare, without regard to letter case. The default writes it
  // as it is.
  virtual void InSubquery(const Operands& subquery, std::string& out) const;
  // Iif(condition, then, else): only the chosen branch is evaluated; a
  // numeric condition is true when non-zero, Null is false.
  virtual void Iif(const Operands& operands, std::string& out) const = 0;
  // a [NOT] LIKE b, ignoring letter case: with the provider's ANSI wildcards
  // (% _ [a-c] [^a-c]) or, with ansi89, Access's own (* ? # [a-c] [!a-c]).
  virtual void Like(const Operands& operands, bool negated, bool ansi89,
                    std::string& out) const = 0;
  // The arithmetic operators: +, - and * over a chain of two or more
  // operands (a + b + c ... read from the left), /, \, Mod and ^ over two.
  // + adds numbers and joins two texts; a date plus or minus a number is a
  // date that many days away, a date minus a date the days between them.
  // The default writes the chain "a op b op c" with plain SQL's spelling.
  virtual void Operator(BinaryOp op, const Operands& operands, std::string& out) const;
  // Operand 0, a value standing alone as a WHERE, HAVING or ON condition (a
  // Yes/No column, a function's result): Jet takes it as true when it is
  // not zero. The default writes it as it is.
  virtual void Condition(const Operands& value, std::string& out) const;
  // After a sort key of ORDER BY (descending or not): Jet sorts Null before
  // every value, so first ascending and last descending. The default writes
  // nothing, for an engine that sorts Null so by itself.
  virtual void SortNulls(bool descending, std::string& out) const;
  // After a subquery in FROM that the statement leaves unnamed, the n-th
  // (1, 2, ...): an engine that wants every one named names it here. The
  // default writes nothing.
  virtual void UnnamedSubquery(size_t n, std::string& out) const;
  // The limit of SELECT TOP n, written after ORDER BY. Jet's TOP keeps every
  // row tied with the n-th under the ORDER BY: with order_terms (the ORDER BY
  // list as written there) and source (the statement's FROM ... HAVING text),
  // the default counts the rows up to the n-th one's last peer with window
  // functions; without, it is a plain LIMIT.
  virtual void Limit(std::string_view count, std::string_view order_terms, std::string_view source,
                     std::string& out) const;
  // The limit of SELECT TOP percent PERCENT, written after ORDER BY:
  // percent (a whole number) hundredths of the rows, rounded up, and the
  // rows tied with the last of them as Limit keeps them. Without
  // order_terms the rows counted are those of query, the select itself as
  // written so far; the default then writes a LIMIT of a counting subquery.
  virtual void LimitPercent(std::string_view percent, std::string_view order_terms,
                            std::string_view source, std::string_view query,
                            std::string& out) const;
  // A value that tells the rows of table (a name or alias in FROM) apart,
  // for DISTINCTROW and for the UPDATE and DELETE of joined tables; false
  // when the engine has none (DISTINCTROW then has no effect, such a write
  // is refused).
  virtual bool RowIdentity(std::string_view table, std::string& out) const;
  // Whether a grouping by RowIdentity lets the select list read the other
  // columns of that row. An engine that reads them only when they are
  // grouped by too gets DISTINCTROW as the selected tables' rows that the
  // join yields: FROM (SELECT DISTINCT id(t) AS jet_row1 FROM <the join>
  // WHERE ...) AS jet_rows INNER JOIN t ON id(t) = jet_rows.jet_row1.
  virtual bool IdentityGroupsItsColumns() const;
  // Whether the engine finds a grouped expression in the select list,
  // HAVING and ORDER BY only when it is written there as GROUP BY writes it
  // (wrapped by CaseInsensitive). Such an engine gets the wrapped form
  // wherever the grouped expression appears again.
  virtual bool MatchesGroupsAsWritten() const;
  // How an UPDATE over joined tables that changes several of them is
  // written. True: as one statement whose parts (WITH w AS (UPDATE ...))
  // all read the rows as they were before it, answering its count as its
  // one row. False (the default), for an engine whose statement sees its
  // own writes: the joined rows' identities and new values are captured
  // into a temporary table first, then each table is written from it, all
  // run as one unit.
  virtual bool WritesReadOneSnapshot() const { return false; }

  // How many levels of operators and function calls one statement text may
  // nest on this engine; 0 (the default) for as many as Jet's statements
  // do. Deeper, the emitter writes each part below the limit as a one-column
  // query of its own, its leaves (columns, literals, subqueries, aggregates)
  // as its placeholders 1, 2, ..., and has Evaluate run it.
  virtual int ExpressionLevels() const { return 0; }
  // The value of such a query for one row: operand 0 is the query's text,
  // the others the values of its placeholders in order. Called only when
  // ExpressionLevels is not 0.
  virtual void Evaluate(const Operands& query_and_values, std::string& out) const;

  // Data definition. The type of a new column (a TEXT's width > 0, 0 for
  // Memo) with what the engine needs to hold Jet's values as Jet does
  // (collation, range checks). key: the column is the table's only key
  // column. Returns true when the written type made the column the table's
  // key itself (an engine whose numbering column must be its key), so that
  // no PRIMARY KEY is written for it.
  // The default writes standard SQL's type names and never makes a key.
  virtual bool ColumnType(std::string_view name, JetType type, uint32_t width, bool key,
                          std::string& out) const;
  // A counter numbered from seed in steps of step (not from 1 in steps of
  // 1) in table: written in place of ColumnType's counter and returning as
  // it does; statements that must run once the table is made go to after.
  // Called only when CounterRefusal is empty. The default writes ColumnType's.
  virtual bool NumberedCounter(std::string_view table, std::string_view name, bool key,
                               int32_t seed, int32_t step, std::string& out,
                               std::vector<std::string>& after) const;
  // Empty when the engine numbers a counter (the table's key or not) from
  // seed in steps of step; otherwise the description of Jet's refusal to
  // give. The default numbers from 1 in steps of 1 only.
  virtual std::string_view CounterRefusal(bool key, int32_t seed, int32_t step) const;
  // The engine's name of Jet's index name of table. Jet names an index
  // (and a constraint) within its table, an engine within the database:
  // the table's name goes in front, "table.index".
  virtual void IndexName(std::string_view table, std::string_view index, std::string& out) const;

 protected:
  explicit Dialect(rules::Region region = rules::Region::kFixed) : region_(region) {}

  // name(arg, arg, ...).
  static void Call(std::string_view name, const Operands& args, std::string& out);
  // The engine's function for Jet's function, prefix (a schema, or
  // nothing) and its name in the table of Jet's functions, called with the
  // arguments; one whose answer depends on the regional setting is called
  // as name(setting, arg, ...), the setting as its number in rules::Region,
  // so the statement's text carries it to the engine.
  void EngineCall(JetFunction function, std::string_view prefix, const Operands& args,
                  std::string& out) const;
  // " CONSTRAINT <prefix><column> CHECK (condition)", a check ColumnType
  // writes after a column's type, named by what it checks and the column.
  void ColumnCheck(std::string_view prefix, std::string_view column, const std::string& condition,
                   std::string& out) const;
  // The setting's number as those calls write it.
  std::string_view RegionNumber() const;
  // The functions every engine writes alike in plain SQL: the aggregates
  // Avg, Count, Max, Min and Sum, Abs, Switch (through Condition) and Choose
  // (through RoundToWhole). False for any other function, which the engine
  // writes itself.
  bool CommonFunction(JetFunction function, const Operands& args, std::string& out) const;

 private:
  rules::Region region_;
};

}  // namespace tessaly::db::jet
