// The rewrites of each select for the engine, from tree to tree: the sort
// keys of TOP with ties, the result names ORDER BY sorts by, the columns
// WHERE, GROUP BY and HAVING read under a select alias's name over one
// table, and the tables DISTINCTROW keeps one row of each of.

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "db/Rules.h"
#include "db/jet/Dialect.h"
#include "db/jet/Passes.h"
#include "db/jet/Translator.h"
#include "tessaly/Error.h"

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

namespace {

// The name the only source of select goes by, when that is a table or a
// derived table with an alias; empty for any other.
std::string_view OnlySourceName(const Ast& ast, const SelectParts& select) {
  if (select.from == kNoNode) return {};
  const Node& source = ast[select.from];
  if (source.next != kNoNode) return {};
  if (source.kind == NodeKind::kTable) return NameOf(source);
  return source.kind == NodeKind::kDerived ? source.text2 : std::string_view();
}

// Select aliases a clause reads as the expressions of their items.
using Aliases = std::vector<std::pair<std::string_view, NodeId>>;

// Jet let a name read a select alias where the engine reads none: in the
// select list (a later item reading an earlier one's alias), and in WHERE,
// GROUP BY and HAVING over joined tables. Such a column keeps its place and
// kind; its c is the alias's expression, in which the aliases are read in
// turn. Thrown for aliases that read each other without end ("A AS b, B AS
// a, a + 1").
struct Circular {
  std::string_view alias;
};

NodeId WithAliases(Ast& ast, NodeId id, bool list, const Aliases& aliases) {
  if (aliases.empty()) return id;
  std::vector<NodeId> expanding;
  std::function<bool(Node&)> expand = [&](Node& column) {
    if (!column.text2.empty()) return false;
    for (const auto& [alias, expression] : aliases) {
      if (!rules::EqualsNoCase(alias, column.text)) continue;
      if (std::find(expanding.begin(), expanding.end(), expression) != expanding.end()) {
        throw Circular{alias};
      }
      expanding.push_back(expression);
      column.c = Rewritten(ast, expression, false, expand);
      expanding.pop_back();
      return true;
    }
    return false;
  };
  return Rewritten(ast, id, list, expand);
}

// Over joined tables Jet read a name in WHERE, GROUP BY and HAVING as a
// column of a table when one has it, else as the select alias; an engine
// that reads no alias there is told the database's tables (names), and the
// aliases no table has a column of stay in named. False when that cannot be
// known: without names, or when a source is a derived table or no table of
// the database.
bool KeepAliasesNoSourceHolds(const Ast& ast, NodeId sources, Catalog* names, Aliases& named) {
  if (names == nullptr) return false;
  std::vector<std::string_view> tables;
  if (AnySource(ast, sources, [&](const Node& n, NodeId) {
        if (n.kind != NodeKind::kTable) return true;
        tables.push_back(n.text);
        return false;
      })) {
    return false;
  }
  std::vector<std::string> columns;
  for (std::string_view table : tables) {
    const NamedObject& object = names->Find(table);
    if (!object.found) return false;
    columns.insert(columns.end(), object.columns.begin(), object.columns.end());
  }
  std::erase_if(named, [&](const auto& alias) {
    return std::any_of(columns.begin(), columns.end(), [&](const std::string& column) {
      return rules::EqualsNoCase(column, alias.first);
    });
  });
  return !named.empty();
}

// True when expression id reads a column called name.
bool ReadsColumn(const Ast& ast, NodeId id, std::string_view name) {
  std::vector<NodeId> pending{id};
  while (!pending.empty()) {
    const Node& n = ast[pending.back()];
    pending.pop_back();
    if (n.kind == NodeKind::kColumn && rules::EqualsNoCase(n.text, name)) return true;
    ForEachOperand(ast, n, [&](NodeId operand) { pending.push_back(operand); });
  }
  return false;
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

bool RewriteSelects(Ast& ast, NodeId root, const Dialect& dialect, Catalog* names,
                    ParseFailure* refusal) {
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
    select.order_by = Rewritten(ast, select.order_by, true, [&](Node& column) {
      if (!column.text2.empty()) return false;
      const std::string_view spelled = ResultName(ast, select, column.text);
      if (spelled == column.text) return false;
      column.text = spelled;
      return true;
    });
    // Each item reads the aliases of the items before it, but for an alias
    // that names a column its own expression reads ("Sum(F_X) AS F_X"): that
    // is the column wherever a later item reads it.
    Aliases listed, named;
    try {
      for (NodeId i = select.items; i != kNoNode; i = ast[i].next) {
        const NodeId as_written = ast[i].a;
        ast[i].a = WithAliases(ast, as_written, false, listed);
        const std::string_view alias = ast[i].text2;
        if (alias.empty()) continue;
        if (!ReadsColumn(ast, as_written, alias)) listed.emplace_back(alias, as_written);
        named.emplace_back(alias, as_written);
      }
      select.ties = WithAliases(ast, select.ties, true, listed);
      // WHERE, GROUP BY and HAVING read the source's columns, never the
      // select list's aliases (Jet takes an alias there for a parameter
      // nobody gave). The engine would read an alias where the source has
      // no such column, so over one table a name that is an alias is that
      // table's column; over joined tables, an alias no table has a column
      // of is its expression.
      if (const std::string_view table = OnlySourceName(ast, select);
          !named.empty() && !table.empty()) {
        const auto qualify = [&](Node& column) {
          if (!column.text2.empty()) return false;
          for (const auto& alias : named) {
            if (!rules::EqualsNoCase(alias.first, column.text)) continue;
            column.text2 = table;
            return true;
          }
          return false;
        };
        select.where = Rewritten(ast, select.where, false, qualify);
        select.group_by = Rewritten(ast, select.group_by, true, qualify);
        select.having = Rewritten(ast, select.having, false, qualify);
      } else if (!named.empty() && select.from != kNoNode &&
                 KeepAliasesNoSourceHolds(ast, select.from, names, named)) {
        select.where = WithAliases(ast, select.where, false, named);
        select.group_by = WithAliases(ast, select.group_by, true, named);
        select.having = WithAliases(ast, select.having, false, named);
      }
    } catch (const Circular& circular) {
      refusal->number = errnum::kSyntax;
      refusal->description = "Circular reference caused by alias '" + std::string(circular.alias) +
                             "' in query definition's SELECT list.";
      return false;
    }
    ast.selects[s] = select;
  }
  return true;
}

}  // namespace tessaly::db::jet
