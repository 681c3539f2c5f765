// Jet's rule for totals queries: what a select that groups its rows may show.
#pragma once

#include <optional>

#include "db/jet/Ast.h"
#include "db/jet/Parser.h"

namespace tessaly::db::jet {

// In a select with GROUP BY, HAVING or an aggregate in its select list or
// ORDER BY, every select item, the HAVING condition and every sort key must
// be made of aggregates, constants, grouped expressions and columns of an
// outer query; a select alias counts as its item. Returns Jet's refusal for
// the first that is not (3122, naming the expression as written; 3120 for
// "*" beside a GROUP BY), or nothing. Subqueries are selects of their own.
std::optional<ParseFailure> CheckGrouping(const Ast& ast, const SelectParts& select);

}  // namespace tessaly::db::jet
