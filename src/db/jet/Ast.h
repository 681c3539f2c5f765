// The parsed form of one Jet statement: a pool of nodes addressed by index.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "db/JetFunctionTable.h"
#include "db/Parameter.h"
#include "tessaly/db/Date.h"

namespace tessaly::db::jet {

using NodeId = uint32_t;
inline constexpr NodeId kNoNode = UINT32_MAX;

using db::JetFunction;
using db::JetFunctionInfo;


// Functions over the rows of a group.
inline bool IsAggregate(JetFunction f) {
  switch (f) {
    case JetFunction::kAvg:
    case JetFunction::kCount:
    case JetFunction::kFirst:
    case JetFunction::kLast:
    case JetFunction::kMax:
    case JetFunction::kMin:
    case JetFunction::kStDev:
    case JetFunction::kStDevP:
    case JetFunction::kSum:
    case JetFunction::kVar:
    case JetFunction::kVarP: return true;
    default: return false;
  }
}

// The functions over the rows of a table Access adds (DLookup, DCount, ...),
// each the subquery its arguments describe.
inline bool IsDomain(JetFunction f) {
  switch (f) {
    case JetFunction::kDAvg:
    case JetFunction::kDCount:
    case JetFunction::kDFirst:
    case JetFunction::kDLast:
    case JetFunction::kDLookup:
    case JetFunction::kDMax:
    case JetFunction::kDMin:
    case JetFunction::kDSum: return true;
    default: return false;
  }
}


// The function called name (any letter case), or nullptr when Jet knows none.
const JetFunctionInfo* FindJetFunction(std::string_view name);

// Binary operators, loosest first as Jet binds them.
enum class BinaryOp : uint8_t {
  kImp,
  kEqv,
  kXor,
  kOr,
  kAnd,
  kEq,
  kNe,
  kLt,
  kGt,
  kLe,
  kGe,
  kConcat,  // &
  kAdd,
  kSub,
  kMod,
  kIntDiv,  // backslash
  kMul,
  kDiv,
  kPow,
};

inline bool IsComparison(BinaryOp op) { return op >= BinaryOp::kEq && op <= BinaryOp::kGe; }

enum class JoinKind : uint8_t { kInner, kLeft, kRight };

// The field types of Jet's data definition, each under every name Jet reads
// for it: X(name, how a message names it).
#define TESSALY_JET_TYPES(X) \
  X(Text, "TEXT")            \
  X(Memo, "MEMO")            \
  X(Byte, "BYTE")            \
  X(Short, "SHORT")          \
  X(Long, "LONG")            \
  X(Single, "SINGLE")        \
  X(Double, "DOUBLE")        \
  X(Currency, "CURRENCY")    \
  X(DateTime, "DATETIME")    \
  X(YesNo, "YESNO")          \
  X(Counter, "COUNTER")      \
  X(Decimal, "DECIMAL")      \
  X(Binary, "BINARY")        \
  X(LongBinary, "LONGBINARY")

enum class JetType : uint8_t {
#define TESSALY_JET_TYPE_ENUM(name, shown) k##name,
  TESSALY_JET_TYPES(TESSALY_JET_TYPE_ENUM)
#undef TESSALY_JET_TYPE_ENUM
};

// A Decimal's precision (1 to 28 digits in all) and scale (0 to its
// precision, digits after the point) in the one width a column type carries.
inline uint32_t DecimalWidth(uint32_t precision, uint32_t scale) { return precision << 8 | scale; }
inline uint32_t DecimalPrecision(uint32_t width) { return width >> 8; }
inline uint32_t DecimalScale(uint32_t width) { return width & 0xff; }

// The type a DDL type word names (TEXT, VARCHAR, INTEGER, AUTOINCREMENT, ...),
// or false for a word Jet does not know as a type.
bool FindJetType(std::string_view word, JetType* type);

// What a CONSTRAINT clause (or a column's own PRIMARY KEY, UNIQUE, REFERENCES)
// makes.
// In a kConstraint's op: the kind in the low bits, a reference's actions
// above them.
enum class ConstraintKind : uint8_t { kPrimaryKey, kUnique, kForeignKey, kNotNull };
inline constexpr uint8_t kConstraintKindBits = 0x0f;
inline constexpr uint8_t kOnDeleteCascade = 0x10;
inline constexpr uint8_t kOnDeleteSetNull = 0x20;
inline constexpr uint8_t kOnUpdateCascade = 0x40;
inline constexpr uint8_t kOnUpdateSetNull = 0x80;
inline ConstraintKind KindOf(uint8_t constraint_op) {
  return static_cast<ConstraintKind>(constraint_op & kConstraintKindBits);
}

enum class NodeKind : uint8_t {
  // Expressions.
  kNumber,  // text: as written
  kText,    // text: the literal with its delimiters, as written
  kDate,    // a: index into Ast::dates
  kBool,    // flag: true
  kNull,
  // text: name, text2: qualifier (table or alias) or empty; c: for a name
  // that reads a select alias, the alias's expression (see RewriteSelects)
  kColumn,
  kStar,      // "*" or "t.*" (text2: the qualifier)
  kUnary,     // op: kSub for negation; a: operand
  kNot,       // a: operand
  kBinary,    // op: BinaryOp; a, b
  kCall,      // op: JetFunction; text: name as written; a: first argument (list);
              // text2: a domain function's whole call as written; c: for First or
              // Last in a crosstab's cell, the rows it takes alone (a kPivotIs), or none
  kLike,      // a LIKE b; flag: NOT LIKE; op: 1 for ALIKE (always the ANSI wildcards)
  kIsNull,    // a IS NULL; flag: IS NOT NULL
  kIn,        // a IN (b...): b is a list, or one kSubquery; flag: NOT IN
  kBetween,   // a BETWEEN b AND c; flag: NOT BETWEEN
  kExists,    // a: kSubquery
  kSubquery,  // a: a kSelect node
  // Pieces of statements.
  kSelectItem,  // a: expression; text: the expression as written; text2: alias or empty
  kOrderItem,   // a: expression; text: the expression as written; flag: DESC
  kTable,       // text: name; text2: alias or empty
  kDerived,     // a: kSelect node; text2: alias
  kJoin,        // op: JoinKind; a: left source, b: right source, c: condition
  kAssign,      // a: kColumn, b: expression
  // Statements.
  kParameter,  // a name Jet cannot resolve (Forms!f!c, a declared parameter): text
  kSelect,     // a: index into Ast::selects
  // a UNION [ALL] b: a is a kSelect or kUnion, b a kSelect; c: the ORDER BY
  // items of the whole union (kOrderItem list) or none; flag: ALL
  kUnion,
  kInsert,  // a: kTable, b: columns (list) or none, c: values (list) or a kSelect node
  kUpdate,  // a: kTable, b: assignments (list), c: condition or none
  kDelete,  // a: the source (kTable or kJoin), b: the kTable rows go from, c: condition or none
  // Data definition.
  kColumnDef,    // text: name; op: JetType; a: width or 0 (a counter's seed, a Decimal's
                 // DecimalWidth); b: constraints
                 // (list); c: a counter's step; flag: NOT NULL
  kConstraint,   // op: ConstraintKind; text: name or empty; a: columns (kColumn list);
                 // text2: referenced table; b: referenced columns (list)
  kCreateTable,  // text: name; a: kColumnDef and kConstraint list
  kCreateIndex,  // text: index; text2: table; a: columns (kOrderItem list); flag: UNIQUE;
                 // op: IndexOption
  kDropTable,    // text: name
  kDropIndex,    // text: index; text2: table
  kAlterTable,   // text: table; op: AlterAction; a: kColumnDef or kConstraint, or text2
  // TRANSFORM a SELECT b PIVOT c: a is the cell value (with aggregates), b a
  // kSelect, c a kPivot; text: a as written
  kTransform,
  kPivot,  // a: the pivot expression; b: the IN list of column values, or none; text: a as
           // written; c: the condition the pivot's values are read under, or none
  // What a crosstab is written as (see RewriteCrosstab). A select item: a,
  // over the group's rows that b (a kPivotIs) takes, Null when it takes none.
  kCell,
  // The rows of a crosstab's column: those whose pivot a sorts as the value
  // b (a literal of the IN list, or a kValue), or is Null when b is none.
  kPivotIs,
  // The argument of another aggregate in a crosstab's cell: b (1 when none)
  // on the rows a (a kPivotIs) takes, Null on the others, which it skips.
  kOnRows,
  kValue,  // a value read from the data: a is its index into Ast::values
  // SELECT DISTINCT the values of the pivot a of the rows of sources b (or
  // none) that meet c (or all), in the order of the crosstab's columns.
  kPivotValues,
  // The statements an UPDATE or DELETE over joined tables is written as (see
  // RewriteJoinedWrites).
  kRowIdentity,  // the engine's identity of a row of the table named (name or alias) text
  kMadeName,     // a name the translator made (a capture table's, a column of it): text
  // The rows of a join, or of a capture table: a: the sources, or none for the
  // table named text; b: the condition they meet, or none; c: none for all of
  // them, else a key (kRowIdentity or kMadeName): the first row whose key is
  // the identity of the row of text2
  kJoinedRows,
  kRowIn,  // the identity of text's row IN (SELECT a, the key, of b, a kJoinedRows)
  // UPDATE text AS text2 SET a WHERE b (a kRowIn); a: kAssign (a value in
  // place) and kAssignRow list
  kRowUpdate,
  kAssignRow,   // a: kAssign list, each column given its value from b's row (a kJoinedRows)
  kRowDelete,   // DELETE FROM text WHERE a (a kRowIn)
  kEachUpdate,  // a: kRowUpdate list, all run at once; answers the count of b's rows (a
                // kJoinedRows)
  // INSERT INTO text (a capture table) of b's rows (a kJoinedRows); a: kAssign
  // list, each a column (kMadeName) and what it holds for the row
  kCapture,
  kCreateCapture,  // the capture table a (a kCapture) needs, made where missing
  kClearCapture,   // DELETE FROM text, a capture table
  kPlan,           // b run as one with the statements of list a before it and of list c after
};

// What ALTER TABLE does.
enum class AlterAction : uint8_t {
  kAddColumn,
  kAddConstraint,
  kDropColumn,
  kDropConstraint,
  kAlterColumn
};

// The WITH option of CREATE INDEX.
enum class IndexOption : uint8_t { kNone, kPrimary, kDisallowNull, kIgnoreNull };

// One node. Lists (arguments, select items, ...) are chained through next.
struct Node {
  NodeKind kind = NodeKind::kNull;
  uint8_t op = 0;
  bool flag = false;
  uint32_t offset = 0;  // where the node's text starts in the statement
  NodeId a = kNoNode;
  NodeId b = kNoNode;
  NodeId c = kNoNode;
  NodeId next = kNoNode;
  std::string_view text;
  std::string_view text2;
};

struct SelectParts {
  bool distinct = false;
  bool distinct_row = false;  // DISTINCTROW: one row per row of the tables selected from
  bool top_percent = false;   // TOP n PERCENT
  std::string_view top;       // the number after TOP, or empty
  std::string_view into;      // SELECT ... INTO table: the new table's name, or empty
  NodeId items = kNoNode;
  NodeId from = kNoNode;  // a list of sources
  NodeId where = kNoNode;
  std::string_view where_text;  // the WHERE condition as written
  NodeId group_by = kNoNode;
  NodeId having = kNoNode;
  std::string_view having_text;  // the HAVING condition as written
  NodeId order_by = kNoNode;
  // Written by the rewrite passes. TOP n with ties: the ORDER BY items as
  // the rows' own expressions (kOrderItem list), or none when TOP n is the
  // first n rows.
  NodeId ties = kNoNode;
  // DISTINCTROW over a join: the tables it keeps one row of each of, as a
  // list of kTable nodes whose a is the table among the sources; flag: an
  // outer join may leave the table out of a joined row. None when
  // DISTINCTROW changes nothing.
  NodeId distinct_tables = kNoNode;
};

// Owns the nodes of one statement. Views point into the statement text, which
// must outlive the tree.
struct Ast {
  std::vector<Node> nodes;
  std::vector<SelectParts> selects;
  std::vector<Date> dates;
  std::vector<Parameter> values;  // of kValue nodes
  // Texts a rewrite pass wrote (a domain function's criteria with the row's
  // values in their places), which its nodes view into. Shared, so that a
  // copy of the tree (a crosstab's plan) keeps them where they are.
  std::vector<std::shared_ptr<const std::string>> texts;

  std::string_view Keep(std::string text) {
    texts.push_back(std::make_shared<const std::string>(std::move(text)));
    return *texts.back();
  }
  NodeId Add(const Node& node) {
    nodes.push_back(node);
    return static_cast<NodeId>(nodes.size() - 1);
  }
  NodeId Add(NodeKind kind, NodeId a = kNoNode, NodeId b = kNoNode, NodeId c = kNoNode) {
    Node n;
    n.kind = kind;
    n.a = a;
    n.b = b;
    n.c = c;
    return Add(n);
  }
  const Node& operator[](NodeId id) const { return nodes[id]; }
  Node& operator[](NodeId id) { return nodes[id]; }
  void Clear() {
    nodes.clear();
    selects.clear();
    dates.clear();
    values.clear();
    texts.clear();
  }
};

// The name a table of the sources goes by: its alias, else its own.
inline std::string_view NameOf(const Node& table) {
  return table.text2.empty() ? table.text : table.text2;
}

// Calls visit(node, id) for each table and derived table of the FROM list
// that starts at sources, through its joins, leftmost first. Stops and
// returns true as soon as visit returns true.
template <class Visit>
bool AnySource(const Ast& ast, NodeId sources, Visit&& visit) {
  std::vector<NodeId> pending{sources};
  while (!pending.empty()) {
    const NodeId id = pending.back();
    pending.pop_back();
    if (id == kNoNode) continue;  // a select without FROM, or a join's missing side
    const Node& n = ast[id];
    if (n.next != kNoNode) pending.push_back(n.next);
    if (n.kind == NodeKind::kJoin) {
      pending.push_back(n.b);
      pending.push_back(n.a);
      continue;
    }
    if (visit(n, id)) return true;
  }
  return false;
}

// Whether a node of this kind has operands: a leaf, a date or value (a is
// its index) and a subquery (a select of its own) have none.
inline bool HasOperands(NodeKind kind) {
  switch (kind) {
    case NodeKind::kSubquery:
    case NodeKind::kExists:
    case NodeKind::kColumn:
    case NodeKind::kStar:
    case NodeKind::kNumber:
    case NodeKind::kText:
    case NodeKind::kDate:
    case NodeKind::kValue:
    case NodeKind::kBool:
    case NodeKind::kNull:
    case NodeKind::kParameter:
    case NodeKind::kRowIdentity:
    case NodeKind::kMadeName: return false;
    default: return true;
  }
}

// The direct operands of an expression node, lists included; a subquery
// of IN is one.
template <class Visit>
void ForEachOperand(const Ast& ast, const Node& n, Visit&& visit) {
  if (!HasOperands(n.kind)) return;
  switch (n.kind) {
    case NodeKind::kCall:
      for (NodeId arg = n.a; arg != kNoNode; arg = ast[arg].next) visit(arg);
      return;
    case NodeKind::kIn:
      visit(n.a);
      if (n.b == kNoNode) return;
      if (ast[n.b].kind == NodeKind::kSubquery) {
        visit(n.b);
      } else {
        for (NodeId v = n.b; v != kNoNode; v = ast[v].next) visit(v);
      }
      return;
    default:
      if (n.a != kNoNode) visit(n.a);
      if (n.b != kNoNode) visit(n.b);
      if (n.c != kNoNode) visit(n.c);
      return;
  }
}

}  // namespace tessaly::db::jet
