// TRANSFORM ... PIVOT: the crosstab as a grouping select with a column for
// each pivot value, and the query that reads those values from the data.

#include <string>

#include "db/jet/Emitter.h"
#include "db/jet/Passes.h"

namespace tessaly::db::jet {

NodeId RewriteCrosstab(Ast& ast, NodeId root, const std::vector<PivotValue>* values) {
  const Node transform = ast[root];
  const Node pivot = ast[transform.c];
  const NodeId query = transform.b;
  NodeId last = ast.selects[ast[query].a].items;
  while (ast[last].next != kNoNode) last = ast[last].next;
  // The TRANSFORM value over the rows of the pivot value key alone: each
  // aggregate outside another takes only those rows. First and Last take
  // Null like any value, so they leave the others out; the others skip
  // their argument's Null on the others.
  auto column = [&](NodeId key, std::string_view name) {
    const NodeId rows = ast.Add(NodeKind::kPivotIs, pivot.a, key);
    const NodeId value = Rewritten(
        ast, transform.a, false,
        [&](Node& call) {
          const auto function = static_cast<JetFunction>(call.op);
          if (!IsAggregate(function) || call.a == kNoNode) return false;
          if (function == JetFunction::kFirst || function == JetFunction::kLast) {
            call.c = rows;
            return true;
          }
          const Node argument = ast[call.a];
          const bool star = argument.kind == NodeKind::kStar;  // Count(*) counts the rows
          call.a = ast.Add(NodeKind::kOnRows, rows, star ? kNoNode : call.a);
          ast[call.a].next = argument.next;
          return true;
        },
        NodeKind::kCall);
    const NodeId item = ast.Add(NodeKind::kSelectItem, ast.Add(NodeKind::kCell, value, rows));
    ast[item].text2 = name;
    ast[last].next = item;
    last = item;
  };
  if (values != nullptr) {
    for (const PivotValue& v : *values) {
      if (v.null) {
        column(kNoNode, "<>");  // as Jet heads the column of Null
        continue;
      }
      ast.values.push_back(v.value);
      column(ast.Add(NodeKind::kValue, static_cast<NodeId>(ast.values.size() - 1)),
             ast.Keep(v.name));
    }
  }
  // A listed value heads its column as written, a text without its quotes.
  for (NodeId v = pivot.b; v != kNoNode; v = ast[v].next) {
    const Node value = ast[v];
    switch (value.kind) {
      case NodeKind::kText: column(v, ast.Keep(TextOfLiteral(value.text))); break;
      case NodeKind::kDate: column(v, ast.Keep(ast.dates[value.a].ToStored())); break;
      case NodeKind::kUnary: column(v, ast.Keep("-" + std::string(ast[value.a].text))); break;
      default: column(v, value.text); break;
    }
  }
  // Its rows come in the order of their headings, unless it sorts them.
  SelectParts& select = ast.selects[ast[query].a];
  if (select.order_by == kNoNode) select.order_by = select.group_by;
  return query;
}

NodeId PivotValuesQuery(Ast& ast, NodeId root) {
  const Node pivot = ast[ast[root].c];
  return ast.Add(NodeKind::kPivotValues, pivot.a, ast.selects[ast[ast[root].b].a].from, pivot.c);
}

}  // namespace tessaly::db::jet
