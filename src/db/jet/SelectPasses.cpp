// The rewrites of each select for the engine, from tree to tree: the sort
// keys of TOP with ties, the result names ORDER BY sorts by, the columns
// WHERE, GROUP BY and HAVING read under a select alias's name over one
// table, and the tables DISTINCTROW keeps one row of each of.

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "db/Rules.h"
#include "db/jet/Dialect.h"
#include "db/jet/Passes.h"
#include "db/jet/Translator.h"

namespace tessaly::db::jet {

std::string_view ItemName(const Ast& ast, const Node& item) {
  if (!item.text2.empty()) return item.text2;
  const Node& e = ast[item.a];
  return e.kind == NodeKind::kColumn ? e.text : std::string_view();
}

std::string_view ResultName(const Ast& ast, const SelectParts& select, std::string_view name) {
  for (NodeId i = select.items; i != kNoNode; i = ast[i].next) {
    const std::string_view own = ItemName(ast, ast[i]);
    if (!own.empty() && rules::EqualsNoCase(own, name)) return own;
  }
  return name;
}

std::string_view OnlySourceName(const Ast& ast, const SelectParts& select) {
  if (select.from == kNoNode) return {};
  const Node& source = ast[select.from];
  if (source.next != kNoNode) return {};
  if (source.kind == NodeKind::kTable) return source.text2.empty() ? source.text : source.text2;
  return source.kind == NodeKind::kDerived ? source.text2 : std::string_view();
}

namespace {

// Nodes whose a, b and c are no operands to rewrite: leaves, a date (a is
// its index), and subqueries, which are selects of their own.
bool Leaf(NodeKind kind) {
  switch (kind) {
    case NodeKind::kSubquery:
    case NodeKind::kExists:
    case NodeKind::kColumn:
    case NodeKind::kStar:
    case NodeKind::kNumber:
    case NodeKind::kText:
    case NodeKind::kDate:
    case NodeKind::kBool:
    case NodeKind::kNull:
    case NodeKind::kParameter: return true;
    default: return false;
  }
}

// Whether the list at first reads a column (outside its subqueries) that
// wanted picks, without recursion: a chain of thousands of terms is a tree
// that deep, and most clauses have nothing to rewrite.
template <class Wanted>
bool ReadsAny(const Ast& ast, NodeId first, const Wanted& wanted) {
  std::vector<NodeId> pending{first};
  while (!pending.empty()) {
    const NodeId id = pending.back();
    pending.pop_back();
    if (id == kNoNode) continue;
    const Node& n = ast[id];
    pending.push_back(n.next);
    if (n.kind == NodeKind::kColumn && wanted(n)) return true;
    if (Leaf(n.kind)) continue;
    pending.insert(pending.end(), {n.a, n.b, n.c});
  }
  return false;
}

// The list at first with change applied to each column it reads outside its
// subqueries. A node on the way to a changed column is copied rather than
// changed, so that what another clause shares (the sort keys of TOP with
// ties, the WHERE a crosstab reads its columns under) stays as it was.
template <class Change>
NodeId Rewritten(Ast& ast, NodeId first, const Change& change) {
  std::vector<NodeId> list;
  for (NodeId e = first; e != kNoNode; e = ast[e].next) list.push_back(e);
  NodeId next = kNoNode;
  bool rest_changed = false;
  for (size_t i = list.size(); i-- > 0;) {
    Node n = ast[list[i]];
    bool changed = rest_changed;
    n.next = next;
    if (n.kind == NodeKind::kColumn) {
      changed = change(n) || changed;
    } else if (!Leaf(n.kind)) {
      for (NodeId* operand : {&n.a, &n.b, &n.c}) {
        if (*operand == kNoNode) continue;
        const NodeId rewritten = Rewritten(ast, *operand, change);
        changed = changed || rewritten != *operand;
        *operand = rewritten;
      }
    }
    next = changed ? ast.Add(n) : list[i];
    rest_changed = changed;
  }
  return next;
}

template <class Change>
NodeId RewrittenWhereRead(Ast& ast, NodeId first, const Change& change) {
  Node scratch;
  const auto wanted = [&](const Node& n) {
    scratch = n;
    return change(scratch);
  };
  return ReadsAny(ast, first, wanted) ? Rewritten(ast, first, change) : first;
}

// TOP n with ties compares each row's sort keys with the nth row's inside
// the limit, where an alias or a column number means nothing: the keys as
// the rows' own expressions, each the select item it names. None when a key
// names no expression (a number beyond the list, or a "*" item): TOP n is
// then the first n rows.
NodeId TiesKeys(Ast& ast, const SelectParts& select) {
  NodeId first = kNoNode;
  NodeId last = kNoNode;
  for (NodeId t = select.order_by; t != kNoNode; t = ast[t].next) {
    Node peer = ast[t];
    const Node& key = ast[peer.a];
    if (key.kind == NodeKind::kNumber) {
      long wanted = std::strtol(std::string(key.text).c_str(), nullptr, 10);
      peer.a = kNoNode;
      for (NodeId i = select.items; i != kNoNode && wanted > 0; i = ast[i].next) {
        if (--wanted == 0) peer.a = ast[i].a;
      }
      if (peer.a == kNoNode || ast[peer.a].kind == NodeKind::kStar) return kNoNode;
    } else if (key.kind == NodeKind::kColumn && key.text2.empty()) {
      for (NodeId i = select.items; i != kNoNode; i = ast[i].next) {
        if (rules::EqualsNoCase(ast[i].text2, key.text)) {
          peer.a = ast[i].a;
          break;
        }
      }
    }
    peer.next = kNoNode;
    const NodeId id = ast.Add(peer);
    (last == kNoNode ? first : ast[last].next) = id;
    last = id;
  }
  return first;
}

// The name a table of the sources goes by: its alias, else its own.
std::string_view NameOf(const Node& table) {
  return table.text2.empty() ? table.text : table.text2;
}

// The tables an expression takes columns from, by qualifier; false when a
// column is unqualified or an aggregate is involved (the rows are then not
// rows of tables).
bool QualifiersOf(const Ast& ast, NodeId id, std::vector<std::string_view>& tables) {
  if (id == kNoNode) return true;
  const Node& n = ast[id];
  switch (n.kind) {
    case NodeKind::kColumn:
    case NodeKind::kStar:
      if (n.text2.empty()) return false;
      tables.push_back(n.text2);
      return true;
    case NodeKind::kCall: {
      if (IsAggregate(static_cast<JetFunction>(n.op))) return false;
      for (NodeId a = n.a; a != kNoNode; a = ast[a].next) {
        if (!QualifiersOf(ast, a, tables)) return false;
      }
      return true;
    }
    case NodeKind::kSubquery:
    case NodeKind::kExists: return true;
    default:
      return QualifiersOf(ast, n.a, tables) && QualifiersOf(ast, n.b, tables) &&
             QualifiersOf(ast, n.c, tables);
  }
}

// Whether table lies on the side of an outer join among sources that may
// have no row (the right of a LEFT JOIN, the left of a RIGHT JOIN).
bool MayHaveNoRow(const Ast& ast, NodeId sources, NodeId table) {
  const auto holds = [&](NodeId side) {
    return AnySource(ast, side, [&](const Node&, NodeId id) { return id == table; });
  };
  std::vector<NodeId> pending{sources};
  while (!pending.empty()) {
    const NodeId id = pending.back();
    pending.pop_back();
    if (id == kNoNode) continue;
    const Node& n = ast[id];
    if (n.next != kNoNode) pending.push_back(n.next);
    if (n.kind != NodeKind::kJoin) continue;
    const auto kind = static_cast<JoinKind>(n.op);
    if ((kind == JoinKind::kLeft && holds(n.b)) || (kind == JoinKind::kRight && holds(n.a))) {
      return true;
    }
    pending.push_back(n.a);
    pending.push_back(n.b);
  }
  return false;
}

// DISTINCTROW over a join: one row for each combination of rows of the
// tables the select list takes its columns from, however many rows of the
// other tables matched them. The list of those tables (see
// SelectParts::distinct_tables), or none where it changes nothing: over one
// table, with an unqualified column, when every table is selected from, or
// when a selected table is a saved query (which has no row identity, so
// each of its joined rows stands alone). Where the engine's grouping by an
// identity reads no other column, the kept tables' rows alone are in FROM,
// so the sort must read them alone.
NodeId DistinctTables(Ast& ast, const SelectParts& select, const Dialect& dialect,
                      Catalog* names) {
  std::vector<std::pair<std::string_view, NodeId>> sources;
  // The names (alias, else table name) of the tables; none when a derived
  // table is among them.
  const bool derived = AnySource(ast, select.from, [&](const Node& n, NodeId id) {
    if (n.kind != NodeKind::kTable) return true;
    sources.emplace_back(NameOf(n), id);
    return false;
  });
  if (derived || sources.size() < 2) return kNoNode;
  std::vector<std::string_view> selected;
  for (NodeId i = select.items; i != kNoNode; i = ast[i].next) {
    if (!QualifiersOf(ast, ast[i].a, selected)) return kNoNode;
  }
  const size_t from_items = selected.size();
  const bool grouping = dialect.IdentityGroupsItsColumns();
  for (NodeId t = grouping ? kNoNode : select.order_by; t != kNoNode; t = ast[t].next) {
    const Node& key = ast[ast[t].a];
    if (key.kind == NodeKind::kNumber) continue;  // a select item
    bool alias = false;
    for (NodeId i = select.items; i != kNoNode && key.kind == NodeKind::kColumn; i = ast[i].next) {
      alias = alias || (key.text2.empty() && rules::EqualsNoCase(ast[i].text2, key.text));
    }
    if (!alias && !QualifiersOf(ast, ast[t].a, selected)) return kNoNode;
  }
  std::vector<Node> kept;
  std::string identity;
  for (size_t i = 0; i < selected.size(); ++i) {
    const auto source = std::find_if(sources.begin(), sources.end(), [&](const auto& s) {
      return rules::EqualsNoCase(s.first, selected[i]);
    });
    if (source == sources.end()) return kNoNode;
    if (std::any_of(kept.begin(), kept.end(),
                    [&](const Node& k) { return k.a == source->second; })) {
      continue;
    }
    if (i >= from_items) return kNoNode;  // the sort reads a table not selected from
    if (names != nullptr && names->Find(ast[source->second].text).saved_query) return kNoNode;
    if (!dialect.RowIdentity(source->first, identity)) return kNoNode;
    Node& table = kept.emplace_back();
    table.kind = NodeKind::kTable;
    table.a = source->second;
    table.flag = !grouping && MayHaveNoRow(ast, select.from, source->second);
  }
  if (kept.empty() || kept.size() >= sources.size()) return kNoNode;
  NodeId first = kNoNode;
  for (size_t i = kept.size(); i-- > 0;) {
    kept[i].next = first;
    first = ast.Add(kept[i]);
  }
  return first;
}

}  // namespace

void RewriteSelects(Ast& ast, NodeId root, const Dialect& dialect, Catalog* names) {
  // A crosstab reads its pivot's values under its WHERE as written: the
  // query of those values has no select list whose aliases it could read.
  if (ast[root].kind == NodeKind::kTransform) {
    ast[ast[root].c].c = ast.selects[ast[ast[root].b].a].where;
  }
  for (size_t s = 0; s < ast.selects.size(); ++s) {
    SelectParts select = ast.selects[s];
    if (select.distinct_row && select.group_by == kNoNode && select.from != kNoNode) {
      select.distinct_tables = DistinctTables(ast, select, dialect, names);
    }
    if (!select.top.empty() && select.order_by != kNoNode && !select.distinct) {
      select.ties = TiesKeys(ast, select);
    }
    // The sort names the select's result columns: an unqualified name is
    // spelled as the select spells the column it sorts by.
    select.order_by = RewrittenWhereRead(ast, select.order_by, [&](Node& column) {
      if (!column.text2.empty()) return false;
      const std::string_view spelled = ResultName(ast, select, column.text);
      if (spelled == column.text) return false;
      column.text = spelled;
      return true;
    });
    // WHERE, GROUP BY and HAVING read the source's columns, never the select
    // list's aliases (Jet takes an alias there for a parameter nobody gave).
    // The engine would read an alias where the source has no such column,
    // so over one table a name that is an alias is that table's column.
    bool named = false;
    for (NodeId i = select.items; i != kNoNode && !named; i = ast[i].next) {
      named = !ast[i].text2.empty();
    }
    if (const std::string_view table = OnlySourceName(ast, select); named && !table.empty()) {
      const auto qualify = [&](Node& column) {
        if (!column.text2.empty()) return false;
        for (NodeId i = select.items; i != kNoNode; i = ast[i].next) {
          if (ast[i].text2.empty() || !rules::EqualsNoCase(ast[i].text2, column.text)) continue;
          column.text2 = table;
          return true;
        }
        return false;
      };
      select.where = RewrittenWhereRead(ast, select.where, qualify);
      select.group_by = RewrittenWhereRead(ast, select.group_by, qualify);
      select.having = RewrittenWhereRead(ast, select.having, qualify);
    }
    ast.selects[s] = select;
  }
}

}  // namespace tessaly::db::jet
