// Writes an Ast as one engine's SQL through a Dialect.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "db/Parameter.h"
#include "db/jet/Ast.h"
#include "db/jet/Depth.h"
#include "db/jet/Dialect.h"
#include "db/jet/Grouping.h"
#include "db/jet/Translator.h"

namespace tessaly::db::jet {

// A literal's value as a lifted parameter. A number: a whole number that
// fits 64 bits, else one strtod reads whole; false for any other, which is
// left in the statement. A text: its characters between the delimiters,
// doubled delimiters read once.
bool NumberParameter(std::string_view text, Parameter& p);
std::string TextOfLiteral(std::string_view literal);
// The same into value, whose room is used again.
void AssignTextOfLiteral(std::string_view literal, std::string& value);

// Every operator expression that stands as an operand is parenthesised, so
// Jet's precedence survives whatever the engine's is. Comparisons, IN,
// BETWEEN, LIKE, GROUP BY and ORDER BY terms that involve no plain column
// (and no number) ask the dialect to ignore letter case, as Jet's do. A
// select item that is neither a column nor aliased gets Jet's name for it,
// Expr1000, Expr1001, ... A truth value that is itself a result (a select
// item, an inserted or assigned value, what Iif, Switch, Choose or Nz gives
// back) is written as Jet's -1/0.
class Emitter {
 public:
  // With parameters, text, number and date literals are appended there and
  // written as the dialect's placeholders; without, they are written inline.
  // ansi89_wildcards: LIKE (not ALIKE) reads Access's * ? # wildcards.
  // names: the database's tables, where the engine needs them.
  Emitter(const Ast& ast, const Dialect& dialect, std::vector<Parameter>* parameters = nullptr,
          bool ansi89_wildcards = false, Catalog* names = nullptr)
      : ast_(ast),
        dialect_(dialect),
        parameters_(parameters),
        ansi89_(ansi89_wildcards),
        levels_(dialect.ExpressionLevels()),
        names_(names),
        shapes_(ast) {}

  // The change of a table's definition Statement made instead of writing a
  // statement (see TableEdit), or none.
  std::optional<TableEdit>& edit() { return edit_; }
  // The statements Statement wrote to run before and after its own, as
  // one unit with it (see Translation::before), and whether its statement
  // answers its count as a row.
  std::vector<std::string>& before() { return before_; }
  std::vector<std::string>& after() { return after_; }
  bool answers_count() const { return answers_count_; }

  // Thrown by Statement when operators or joins nest too deeply to write
  // (a chain such as a+a+...+a of thousands of terms); Jet refuses such a
  // statement as too complex.
  struct TooComplex {};
  // Thrown by Statement for a statement Jet runs but this engine cannot run
  // as Jet would; carries the error the host sees.
  struct Refused {
    int32_t number;
    std::string description;
  };

  // Appends the statement rooted at root to out. Throws TooComplex.
  void Statement(NodeId root, std::string& out);

 private:
  friend class NodeOperands;

  void Query(NodeId id, std::string& out);  // a kSelect or a kUnion
  void UnionMember(NodeId id, std::string& out);
  void Select(const SelectParts& select, std::string& out);
  void PivotValues(const Node& n, std::string& out);  // a kPivotValues
  // A crosstab's kCell, kOnRows or kPivotIs, which stands for no operator
  // of the statement: no level of it, nor of its nesting.
  void CellPart(const Node& n, std::string& out);
  void Update(const Node& n, std::string& out);
  void Delete(const Node& n, std::string& out);
  // The statements of an UPDATE or DELETE over joined tables, as
  // RewriteJoinedWrites wrote them (a kPlan's statements before and after
  // its own go to before_ and after_).
  void JoinedWrite(const Node& n, std::string& out);
  // " FROM rows [WHERE ...]" of a kJoinedRows.
  void JoinedRows(const Node& rows, std::string& out);
  void RowIn(const Node& in, std::string& out);  // a kRowIn
  // What a capture table's column or a joined row's key holds: a row's
  // identity, a name the translator made, or a value.
  void Held(NodeId id, std::string& out);
  // The dialect's identity of a row of table; refuses the statement when
  // the engine has none.
  void RowIdentity(std::string_view table, std::string& out);
  void CreateTable(const Node& n, std::string& out);
  void Constraint(const Node& c, std::string_view table, std::string& out);
  // Returns true when the definition made the column a key. The column's
  // named constraints are named within table.
  // in_key: the column is one of a key the table declares apart from it.
  bool ColumnDefinition(const Node& def, std::string_view table, bool key, std::string& out,
                        bool in_key = false);
  // The columns of a kColumn or kOrderItem list.
  std::vector<std::string> ColumnNames(NodeId first) const;
  void AlterColumn(const Node& alter, TableEdit& edit);
  void Names(NodeId first, std::string& out);        // (a, b, ...)
  void Definition(const Node& n, std::string& out);  // DDL statements
  void Source(NodeId id, std::string& out);
  void Sources(NodeId first, std::string& out);  // " FROM a, b, ..."
  // An expression that sorts, groups or picks a crosstab's column: text
  // compares without letter case there as everywhere in Jet.
  void SortKey(NodeId id, bool wrap, std::string& out);
  // GROUP BY / ORDER BY items (sorting: ORDER BY, where Null sorts as Jet
  // sorts it; ordinals: a number is a column ordinal, as written)
  void Terms(NodeId first, bool sorting, std::string& out, bool ordinals = true);
  // FROM the rows of the tables DISTINCTROW keeps (SelectParts::distinct_tables).
  void KeptRows(const SelectParts& select, std::string& out);
  void Expression(NodeId id, bool wrap, std::string& out);
  void ExpressionAt(const Node& n, NodeId id, bool wrap, std::string& out);
  // A WHERE, HAVING or ON condition: a bare value there (a Yes/No column, a
  // function) is true when not zero, through the dialect.
  void Filter(NodeId id, std::string& out);
  void Value(NodeId id, std::string& out);  // an expression whose value is kept
  bool IsTruthValue(NodeId id) const;
  // A number written in the statement, negated or not (-1, - -1).
  bool IsWrittenNumber(NodeId id) const;
  void Comparison(const Node& n, std::string& out);
  static bool IsChain(BinaryOp op);  // operators the dialect writes over a whole chain
  // A text literal's value: its delimiters dropped, doubled ones single.
  static std::string TextOf(const Node& text);
  void Chain(NodeId id, BinaryOp op, std::string& out);
  void Column(const Node& n, std::string& out);
  // Lifts a literal into a parameter; false when it must stay inline.
  bool LiftNumber(std::string_view text, std::string& out);
  void LiftText(std::string_view text, std::string& out);
  void LiftDate(const Date& date, std::string& out);
  bool CaseMatters(NodeId id) const;  // false for columns and non-text literals
  // A value the engine computes (a call, an operator, a subquery), whose
  // type it knows only as it runs: what Dialect::BesideColumn writes.
  bool IsComputed(NodeId id) const;
  // Whether an expression is one of folded_groups_.
  bool IsFoldedGroup(NodeId id);

  // A part of a deep expression written as a query of its own (see
  // Dialect::ExpressionLevels): the text it stands in, and the values of its
  // placeholders as that text writes them.
  struct Piece {
    Piece* enclosing;
    int enclosing_level;
    std::vector<std::string> values;
  };
  // Nodes a piece takes as values rather than writing them: those that read
  // the row or the group (columns, aggregates, subqueries), and a comparison
  // with a column, which compares by the column's own rules.
  bool IsPieceValue(const Node& n) const;
  static bool IsLiteral(NodeKind kind);
  // Writes a value of the current piece: its placeholder in the piece, and
  // write's text in the text the piece stands in (a value again when that
  // is a piece too).
  void PieceValue(const std::function<void(std::string&)>& write, std::string& out);
  void WritePiece(NodeId id, std::string& out);

  // One level of the tree being written; Statement refuses a tree deeper
  // than a thousand levels as too complex.
  struct Deeper : Depth {
    explicit Deeper(Emitter& emitter) : Depth(emitter.depth_, 1000, [] { return TooComplex{}; }) {}
  };

  const Ast& ast_;
  const Dialect& dialect_;
  std::vector<Parameter>* parameters_;
  bool ansi89_;
  std::string scratch_;
  int depth_ = 0;
  // Levels of operators and calls in the text being written, and the piece
  // being written, if any.
  int levels_ = 0;
  int level_ = 0;
  Piece* piece_ = nullptr;
  size_t unnamed_subqueries_ = 0;
  // The select being written is a subquery's that gives a value (IN,
  // a comparison), which may read the row of the statement around it.
  bool value_subquery_ = false;
  Catalog* names_;
  std::optional<TableEdit> edit_;
  std::vector<std::string> before_, after_;
  bool answers_count_ = false;
  // While the select list, HAVING and ORDER BY of a grouping select are
  // written for an engine that matches groups as written: the GROUP BY
  // terms it wraps, each written wrapped wherever it appears there.
  std::vector<NodeId> folded_groups_;
  ExpressionShapes shapes_;
};

}  // namespace tessaly::db::jet
