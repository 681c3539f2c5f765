#include "db/jet/Grouping.h"

#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "db/Rules.h"
#include "tessaly/Error.h"

namespace tessaly::db::jet {
namespace {

// Whether an expression holds an aggregate outside any subquery.
bool HoldsAggregate(const Ast& ast, NodeId root) {
  // Most select items are a column or "*": no list to walk.
  const NodeKind kind = ast[root].kind;
  if (kind == NodeKind::kColumn || kind == NodeKind::kStar) return false;
  std::vector<NodeId> pending{root};
  while (!pending.empty()) {
    const Node& n = ast[pending.back()];
    pending.pop_back();
    if (n.kind == NodeKind::kCall && IsAggregate(static_cast<JetFunction>(n.op))) return true;
    ForEachOperand(ast, n, [&](NodeId child) { pending.push_back(child); });
  }
  return false;
}

// Whether an aggregate outside any subquery takes an aggregate in its
// argument (Avg(Sum(x))).
bool NestsAggregate(const Ast& ast, NodeId root) {
  if (ast[root].kind == NodeKind::kColumn || ast[root].kind == NodeKind::kStar) return false;
  std::vector<NodeId> pending{root};
  while (!pending.empty()) {
    const Node& n = ast[pending.back()];
    pending.pop_back();
    if (n.kind == NodeKind::kCall && IsAggregate(static_cast<JetFunction>(n.op))) {
      for (NodeId arg = n.a; arg != kNoNode; arg = ast[arg].next) {
        if (HoldsAggregate(ast, arg)) return true;
      }
      continue;  // an aggregate's argument holds none, as just seen
    }
    ForEachOperand(ast, n, [&](NodeId child) { pending.push_back(child); });
  }
  return false;
}

// Jet's refusal of an aggregate where it cannot stand, naming the clause's
// expression as written.
ParseFailure MisplacedAggregate(std::string_view where, std::string_view expression,
                                uint32_t offset) {
  std::string text = "Cannot have aggregate function in ";
  text += where;
  text += " (";
  text += expression;
  text += ").";
  return ParseFailure{errnum::kSyntax, std::move(text), offset};
}

uint64_t Mix(uint64_t h, uint64_t v) { return (h ^ v) * 0x100000001b3ull + (h >> 29); }

uint64_t HashText(std::string_view s, bool fold) {
  uint64_t h = 0xcbf29ce484222325ull;
  for (char c : s) h = Mix(h, static_cast<unsigned char>(fold ? rules::LowerAscii(c) : c));
  return h;
}

class Check {
 public:
  Check(const Ast& ast, const SelectParts& select) : ast_(ast), select_(select), shapes_(ast) {
    for (NodeId g = select.group_by; g != kNoNode; g = ast[g].next) {
      grouped_.emplace(shapes_.Hash(ast[g].a), ast[g].a);
    }
  }

  // Whether expression root, read where the aliases of the items before
  // `before` (all of them: kNoNode) are known, is made only of what a
  // totals query may show.
  bool Allowed(NodeId root, NodeId before) {
    std::vector<NodeId> pending{root};
    while (!pending.empty()) {
      const NodeId id = pending.back();
      pending.pop_back();
      if (IsGrouped(id)) continue;
      const Node& n = ast_[id];
      switch (n.kind) {
        case NodeKind::kNumber:
        case NodeKind::kText:
        case NodeKind::kDate:
        case NodeKind::kBool:
        case NodeKind::kNull:
        case NodeKind::kParameter:
        case NodeKind::kSubquery:
        case NodeKind::kExists: continue;
        case NodeKind::kCall:
          if (IsAggregate(static_cast<JetFunction>(n.op))) continue;
          break;
        case NodeKind::kColumn:
          if (IsOuter(n) || IsAlias(n, before)) continue;
          return false;
        case NodeKind::kStar: return false;
        default: break;
      }
      ForEachOperand(ast_, n, [&](NodeId child) { pending.push_back(child); });
    }
    return true;
  }

  // Whether a select item is grouped under its alias (GROUP BY may name
  // an item's alias where the tables have no such column).
  bool GroupedByAlias(const Node& item) const {
    if (item.text2.empty()) return false;
    for (NodeId g = select_.group_by; g != kNoNode; g = ast_[g].next) {
      const Node& e = ast_[ast_[g].a];
      if (e.kind == NodeKind::kColumn && e.text2.empty() &&
          rules::EqualsNoCase(e.text, item.text2)) {
        return true;
      }
    }
    return false;
  }

 private:
  bool IsGrouped(NodeId id) {
    if (grouped_.empty()) return false;
    const auto [first, last] = grouped_.equal_range(shapes_.Hash(id));
    for (auto it = first; it != last; ++it) {
      if (shapes_.Same(id, it->second)) return true;
    }
    return false;
  }

  // A column of a table the select does not read: a correlated reference
  // to an outer query's row, one value for the whole group.
  bool IsOuter(const Node& column) const {
    if (column.text2.empty()) return false;
    return !AnySource(ast_, select_.from, [&](const Node& source, NodeId) {
      const std::string_view name = source.text2.empty() ? source.text : source.text2;
      return rules::EqualsNoCase(name, column.text2) ||
             (source.kind == NodeKind::kTable && rules::EqualsNoCase(source.text, column.text2));
    });
  }

  // A select alias of an item before `before`, which is checked itself.
  bool IsAlias(const Node& column, NodeId before) const {
    if (!column.text2.empty()) return false;
    for (NodeId i = select_.items; i != kNoNode && i != before; i = ast_[i].next) {
      if (rules::EqualsNoCase(ast_[i].text2, column.text)) return true;
    }
    return false;
  }

  const Ast& ast_;
  const SelectParts& select_;
  ExpressionShapes shapes_;
  std::unordered_multimap<uint64_t, NodeId> grouped_;
};

ParseFailure NotAggregated(std::string_view expression, uint32_t offset) {
  std::string text =
      "You tried to execute a query that does not include the specified expression '";
  text += expression;
  text += "' as part of an aggregate function.";
  return ParseFailure{errnum::kSyntax, std::move(text), offset};
}

}  // namespace

bool HoldsSubquery(const Ast& ast, NodeId root) {
  std::vector<NodeId> pending{root};
  while (!pending.empty()) {
    const Node& n = ast[pending.back()];
    pending.pop_back();
    if (n.kind == NodeKind::kSubquery || n.kind == NodeKind::kExists) return true;
    ForEachOperand(ast, n, [&](NodeId child) { pending.push_back(child); });
  }
  return false;
}

uint64_t ExpressionShapes::Hash(NodeId root) {
  // Children first, without recursion: a chain of thousands of terms is a
  // tree that deep.
  std::vector<std::pair<NodeId, bool>> pending{{root, false}};
  while (!pending.empty()) {
    const auto [id, ready] = pending.back();
    pending.pop_back();
    if (hashes_.contains(id)) continue;
    const Node& n = ast_[id];
    if (!ready) {
      pending.emplace_back(id, true);
      ForEachOperand(ast_, n, [&](NodeId child) {
        if (!hashes_.contains(child)) pending.emplace_back(child, false);
      });
      continue;
    }
    uint64_t h = Mix(Mix(static_cast<uint64_t>(n.kind) + 1, n.op), n.flag);
    switch (n.kind) {
      case NodeKind::kSubquery:
      case NodeKind::kExists: h = Mix(h, id); break;  // equal only to itself
      case NodeKind::kColumn: h = Mix(h, HashText(n.text, true)); break;
      case NodeKind::kNumber:
      case NodeKind::kText: h = Mix(h, HashText(n.text, false)); break;
      default: break;
    }
    ForEachOperand(ast_, n, [&](NodeId child) { h = Mix(h, hashes_.at(child)); });
    hashes_.emplace(id, h);
  }
  return hashes_.at(root);
}

bool ExpressionShapes::Same(NodeId x, NodeId y) const {
  std::vector<std::pair<NodeId, NodeId>> pending{{x, y}};
  while (!pending.empty()) {
    const auto [i, j] = pending.back();
    pending.pop_back();
    if (i == j) continue;
    const Node& a = ast_[i];
    const Node& b = ast_[j];
    if (a.kind != b.kind || a.op != b.op || a.flag != b.flag) return false;
    switch (a.kind) {
      case NodeKind::kSubquery:
      case NodeKind::kExists: return false;
      case NodeKind::kColumn:
        if (!rules::EqualsNoCase(a.text, b.text)) return false;
        if (!a.text2.empty() && !b.text2.empty() && !rules::EqualsNoCase(a.text2, b.text2)) {
          return false;
        }
        break;
      case NodeKind::kNumber:
      case NodeKind::kText:
        if (a.text != b.text) return false;
        break;
      case NodeKind::kDate:
        if (ast_.dates[a.a] != ast_.dates[b.a]) return false;
        continue;
      default: break;
    }
    std::vector<NodeId> left, right;
    ForEachOperand(ast_, a, [&](NodeId c) { left.push_back(c); });
    ForEachOperand(ast_, b, [&](NodeId c) { right.push_back(c); });
    if (left.size() != right.size()) return false;
    for (size_t k = 0; k < left.size(); ++k) pending.emplace_back(left[k], right[k]);
  }
  return true;
}

namespace {
// Where an aggregate stands: Jet's refusal of one it cannot, or nothing.
std::optional<ParseFailure> CheckAggregates(const Ast& ast, const SelectParts& select);
// What a totals query shows: Jet's refusal (3122, 3120), or nothing.
std::optional<ParseFailure> CheckShown(const Ast& ast, const SelectParts& select);
}  // namespace

std::optional<ParseFailure> CheckGrouping(const Ast& ast, const SelectParts& select,
                                          bool aggregates) {
  // Rows are chosen and grouped before any aggregate is known, and an
  // aggregate is of rows, never of a group's aggregates.
  if (aggregates) {
    if (std::optional<ParseFailure> misplaced = CheckAggregates(ast, select)) return misplaced;
  }
  return CheckShown(ast, select);
}

namespace {

std::optional<ParseFailure> CheckAggregates(const Ast& ast, const SelectParts& select) {
  if (select.where != kNoNode && HoldsAggregate(ast, select.where)) {
    return MisplacedAggregate("WHERE clause", select.where_text, ast[select.where].offset);
  }
  for (NodeId g = select.group_by; g != kNoNode; g = ast[g].next) {
    if (HoldsAggregate(ast, ast[g].a)) {
      return MisplacedAggregate("GROUP BY clause", ast[g].text, ast[g].offset);
    }
  }
  for (NodeId i = select.items; i != kNoNode; i = ast[i].next) {
    if (NestsAggregate(ast, ast[i].a)) {
      return MisplacedAggregate("expression", ast[i].text, ast[i].offset);
    }
  }
  if (select.having != kNoNode && NestsAggregate(ast, select.having)) {
    return MisplacedAggregate("expression", select.having_text, ast[select.having].offset);
  }
  for (NodeId o = select.order_by; o != kNoNode; o = ast[o].next) {
    if (NestsAggregate(ast, ast[o].a)) {
      return MisplacedAggregate("expression", ast[o].text, ast[o].offset);
    }
  }

  return std::nullopt;
}

std::optional<ParseFailure> CheckShown(const Ast& ast, const SelectParts& select) {
  bool totals = select.group_by != kNoNode || select.having != kNoNode;
  for (NodeId i = select.items; i != kNoNode && !totals; i = ast[i].next) {
    totals = HoldsAggregate(ast, ast[i].a);
  }
  for (NodeId o = select.order_by; o != kNoNode && !totals; o = ast[o].next) {
    totals = HoldsAggregate(ast, ast[o].a);
  }
  if (!totals) return std::nullopt;

  Check check(ast, select);
  for (NodeId i = select.items; i != kNoNode; i = ast[i].next) {
    const Node& item = ast[i];
    if (ast[item.a].kind == NodeKind::kStar) {
      if (select.group_by != kNoNode) {
        return ParseFailure{errnum::kSyntax, "Cannot group on fields selected with '*'.",
                            item.offset};
      }
      return NotAggregated(item.text, item.offset);
    }
    if (check.GroupedByAlias(item) || check.Allowed(item.a, i)) continue;
    return NotAggregated(item.text, item.offset);
  }
  if (select.having != kNoNode && !check.Allowed(select.having, kNoNode)) {
    return NotAggregated(select.having_text, ast[select.having].offset);
  }
  for (NodeId o = select.order_by; o != kNoNode; o = ast[o].next) {
    const Node& key = ast[o];
    // A number sorts by the select item it counts.
    if (ast[key.a].kind == NodeKind::kNumber) continue;
    if (!check.Allowed(key.a, kNoNode)) return NotAggregated(key.text, key.offset);
  }
  return std::nullopt;
}

}  // namespace

}  // namespace tessaly::db::jet
