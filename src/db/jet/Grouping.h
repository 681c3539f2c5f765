// Jet's rule for totals queries: what a select that groups its rows may show.
#pragma once

#include <cstdint>
#include <optional>
#include <unordered_map>

#include "db/jet/Ast.h"
#include "db/jet/Parser.h"

namespace tessaly::db::jet {

// Tells expressions written alike apart from the rest: names in any letter
// case, a column with or without its table's name. Hashes are kept per node,
// so every node of a select is hashed once however many grouped expressions
// it is compared with.
class ExpressionShapes {
 public:
  explicit ExpressionShapes(const Ast& ast) : ast_(ast) {}

  uint64_t Hash(NodeId root);
  bool Same(NodeId x, NodeId y) const;

 private:
  const Ast& ast_;
  std::unordered_map<NodeId, uint64_t> hashes_;
};

// In a select with GROUP BY, HAVING or an aggregate in its select list or
// ORDER BY, every select item, the HAVING condition and every sort key must
// be made of aggregates, constants, grouped expressions and columns of an
// outer query; a select alias counts as its item. Returns Jet's refusal for
// the first that is not (3122, naming the expression as written; 3120 for
// "*" beside a GROUP BY), or nothing. Subqueries are selects of their own.
// Before that, an aggregate in WHERE (3096) or GROUP BY (3098), or one
// inside another's argument (3095), is refused naming its clause.
// Whether an expression holds a subquery (or EXISTS), at any depth.
bool HoldsSubquery(const Ast& ast, NodeId root);

// aggregates: whether the statement calls any aggregate at all (when not,
// none can be misplaced).
std::optional<ParseFailure> CheckGrouping(const Ast& ast, const SelectParts& select,
                                          bool aggregates);

}  // namespace tessaly::db::jet
