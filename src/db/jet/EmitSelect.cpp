// SELECT: its clauses, DISTINCTROW over joins, TOP with ties and sorting.

#include "db/jet/Emitter.h"

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <unordered_map>

#include "db/Rules.h"
#include "db/jet/EmitterOperands.h"

namespace tessaly::db::jet {

void Emitter::Select(const SelectParts& select, std::string& out, const Node* crosstab) {
  const size_t start = out.size();
  out += select.distinct ? "SELECT DISTINCT " : "SELECT ";
  int unnamed = 1000;
  // A subquery has its own select list; the enclosing one's aliases come
  // back when it is written.
  struct Restore {
    Emitter& emitter;
    std::vector<std::pair<std::string_view, NodeId>> outer;
    std::string_view outer_qualifier;
    const SelectParts* outer_sorted;
    std::vector<NodeId> outer_groups;
    ~Restore() {
      emitter.aliases_.swap(outer);
      emitter.alias_qualifier_ = outer_qualifier;
      emitter.sorted_ = outer_sorted;
      emitter.folded_groups_.swap(outer_groups);
    }
  } restore{*this, {}, alias_qualifier_, sorted_, {}};
  restore.outer.swap(aliases_);
  restore.outer_groups.swap(folded_groups_);
  alias_qualifier_ = {};
  sorted_ = nullptr;
  std::vector<NodeId> grouped;
  if (dialect_.MatchesGroupsAsWritten()) {
    for (NodeId g = select.group_by; g != kNoNode; g = ast_[g].next) {
      const NodeId term = ast_[g].a;
      if (ast_[term].kind != NodeKind::kNumber && CaseMatters(term)) grouped.push_back(term);
    }
  }
  folded_groups_ = grouped;                                // as copy: back for GROUP BY after WHERE
  std::vector<std::pair<std::string_view, NodeId>> named;  // every alias of the list
  // A new table's fields must differ in name: a field of one table beside a
  // field of another of the same name is named with its table, as Jet names
  // it ("Customers.ID" beside "Products.ID").
  std::optional<std::unordered_map<std::string, int>> field_names;
  if (!select.into.empty()) {
    field_names.emplace();
    for (NodeId i = select.items; i != kNoNode; i = ast_[i].next) {
      const std::string_view name = ItemName(ast_[i]);
      if (!name.empty()) ++(*field_names)[rules::LoweredAscii(name)];
    }
  }
  for (NodeId i = select.items; i != kNoNode; i = ast_[i].next) {
    if (i != select.items) out += ", ";
    const Node& item = ast_[i];
    const Node& e = ast_[item.a];
    Value(item.a, out);
    if (!item.text2.empty()) {
      out += " AS ";
      dialect_.Identifier(item.text2, out);
      // An alias that names a column its own expression reads ("Sum(F_X)
      // AS F_X") is that column wherever a later item reads it.
      if (!ReadsColumn(item.a, item.text2)) aliases_.emplace_back(item.text2, item.a);
      named.emplace_back(item.text2, item.a);
    } else if (e.kind != NodeKind::kColumn && e.kind != NodeKind::kStar) {
      out += " AS ";
      dialect_.Identifier("Expr" + std::to_string(unnamed++), out);
    } else if (field_names && e.kind == NodeKind::kColumn && !e.text2.empty() &&
               (*field_names)[rules::LoweredAscii(e.text)] > 1) {
      out += " AS ";
      dialect_.Identifier(std::string(e.text2) + "." + std::string(e.text), out);
    }
  }
  const size_t items_end = out.size();
  // The select list's aliases, for the ORDER BY of a TOP with ties.
  std::vector<std::pair<std::string_view, NodeId>> list_aliases;
  list_aliases.swap(aliases_);
  if (crosstab != nullptr) PivotColumns(*crosstab, out);
  // WHERE reads the rows' own expressions.
  folded_groups_.clear();
  const size_t source_start = out.size();
  // DISTINCTROW: the tables it keeps one row of each, and those of them an
  // outer join may leave out of a joined row.
  std::vector<NodeId> kept, missing;
  const bool distinct_rows =
      select.distinct_row && select.group_by == kNoNode && DistinctTables(select, kept, missing);
  const bool kept_rows = distinct_rows && !dialect_.IdentityGroupsItsColumns();
  // WHERE, GROUP BY and HAVING read the source's columns, never the select
  // list's aliases (Jet takes an alias there for a parameter nobody gave).
  // The engine would read an alias where the source has no such column, so
  // a name that is an alias is written as the only source's column.
  const Node& source = ast_[select.from == kNoNode ? 0 : select.from];
  std::string_view qualifier;
  bool read_aliases = false;
  if (!named.empty() && select.from != kNoNode && source.next == kNoNode &&
      (source.kind == NodeKind::kTable ||
       (source.kind == NodeKind::kDerived && !source.text2.empty()))) {
    read_aliases = true;
    qualifier = NameOf(source);
  } else if (!named.empty() && select.from != kNoNode) {
    read_aliases = KeepAliasesNoSourceHolds(select.from, named);  // written as their expressions
  }
  if (!kept_rows && select.from != kNoNode) Sources(select.from, out);
  if (read_aliases) {
    aliases_.swap(named);
    alias_qualifier_ = qualifier;
  }
  if (kept_rows) {
    KeptRows(select, kept, missing, out);
  } else if (select.where != kNoNode) {
    out += " WHERE ";
    Filter(select.where, out);
  }
  folded_groups_ = std::move(grouped);
  if (select.group_by != kNoNode) {
    out += " GROUP BY ";
    Terms(select.group_by, false, out);
  } else if (distinct_rows && !kept_rows) {
    out += " GROUP BY ";
    RowIdentities(kept, out);
  }
  if (select.having != kNoNode) {
    out += " HAVING ";
    Filter(select.having, out);
  }
  aliases_.clear();
  alias_qualifier_ = {};
  // TOP with ties: the source is written again inside the limit, with the
  // ORDER BY terms as the rows' own expressions (an alias or a column number
  // means nothing there). Without an ORDER BY, or where a term cannot be
  // resolved, TOP n is the first n rows. A crosstab's own ORDER BY (its
  // headings) is unique, so it has no ties.
  std::string peers;
  if (!select.top.empty() && select.order_by != kNoNode && !select.distinct) {
    aliases_.swap(list_aliases);
    if (!PeerTerms(select, peers)) peers.clear();
    aliases_.clear();
  }
  const std::string source_text = peers.empty() ? std::string() : out.substr(source_start);
  if (select.order_by != kNoNode) {
    out += " ORDER BY ";
    sorted_ = &select;
    Terms(select.order_by, true, out);
    sorted_ = nullptr;
  } else if (crosstab != nullptr) {
    out += " ORDER BY ";  // a crosstab's rows come in the order of their headings
    Terms(select.group_by, true, out);
  }
  if (select.top.empty()) return;
  // A limit cannot read the row around a subquery (an engine may not see
  // it there), so a subquery's single value with ties is the rows ranked
  // within the top ones: rank() counts the rows sorted before a row's peers.
  const Node& only = ast_[select.items];
  if (value_subquery_ && !peers.empty() && !select.top_percent && only.next == kNoNode &&
      ast_[only.a].kind != NodeKind::kStar) {
    const std::string_view own = ItemName(only);
    std::string ranked = "SELECT jet_ranked.";
    dialect_.Identifier(own.empty() ? std::string_view("Expr1000") : own, ranked);
    ranked += " FROM (";
    out.insert(items_end, ", rank() OVER (ORDER BY " + peers + ") AS jet_rank");
    out.insert(start, ranked);
    out += ") AS jet_ranked WHERE jet_rank <= ";
    out += select.top;
    out += " ORDER BY jet_rank";
    return;
  }
  if (select.top_percent) {
    const std::string query = peers.empty() ? out.substr(start) : std::string();
    dialect_.LimitPercent(select.top, peers, source_text, query, out);
  } else {
    dialect_.Limit(select.top, peers, source_text, out);
  }
}

namespace {

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

}  // namespace

// DISTINCTROW over a join: one row for each combination of rows of the
// tables the select list takes its columns from, however many rows of the
// other tables matched them. Fills kept with those tables (and missing with
// those an outer join may leave out); false where it changes nothing: over
// one table, with an unqualified column, when every table is selected from,
// or when a selected table is a saved query (which has no row identity, so
// each of its joined rows stands alone). Written as a grouping by the rows'
// identities or, for an engine whose grouping by an identity reads no other
// column, as the kept tables' rows the join yields (KeptRows); those rows
// alone are in FROM then, so the sort must read them alone.
bool Emitter::DistinctTables(const SelectParts& select, std::vector<NodeId>& kept,
                             std::vector<NodeId>& missing) {
  std::vector<std::pair<std::string_view, NodeId>> sources;
  // The names (alias, else table name) of the tables; none when a derived
  // table is among them.
  const bool derived = AnySource(ast_, select.from, [&](const Node& n, NodeId id) {
    if (n.kind != NodeKind::kTable) return true;
    sources.emplace_back(NameOf(n), id);
    return false;
  });
  if (derived || sources.size() < 2) return false;
  std::vector<std::string_view> selected;
  for (NodeId i = select.items; i != kNoNode; i = ast_[i].next) {
    if (!QualifiersOf(ast_, ast_[i].a, selected)) return false;
  }
  const size_t from_items = selected.size();
  const bool grouping = dialect_.IdentityGroupsItsColumns();
  for (NodeId t = grouping ? kNoNode : select.order_by; t != kNoNode; t = ast_[t].next) {
    const Node& key = ast_[ast_[t].a];
    if (key.kind == NodeKind::kNumber) continue;  // a select item
    bool alias = false;
    for (NodeId i = select.items; i != kNoNode && key.kind == NodeKind::kColumn; i = ast_[i].next) {
      alias = alias || (key.text2.empty() && rules::EqualsNoCase(ast_[i].text2, key.text));
    }
    if (!alias && !QualifiersOf(ast_, ast_[t].a, selected)) return false;
  }
  std::string identity;
  for (size_t i = 0; i < selected.size(); ++i) {
    const auto source = std::find_if(sources.begin(), sources.end(), [&](const auto& s) {
      return rules::EqualsNoCase(s.first, selected[i]);
    });
    if (source == sources.end()) return false;
    if (std::find(kept.begin(), kept.end(), source->second) != kept.end()) continue;
    if (i >= from_items) return false;  // the sort reads a table not selected from
    const Node& table = ast_[source->second];
    if (names_ != nullptr && names_->Find(table.text).saved_query) return false;
    if (!dialect_.RowIdentity(source->first, identity)) return false;
    if (!grouping && MayHaveNoRow(ast_, select.from, source->second)) {
      missing.push_back(source->second);
    }
    kept.push_back(source->second);
  }
  return !kept.empty() && kept.size() < sources.size();
}

// Over joined tables Jet read a name in WHERE, GROUP BY and HAVING as a
// column of a table when one has it, else as the select alias; an engine
// that reads no alias there is told the database's tables (names_), and the
// aliases no table has a column of stay in named, to be written as their
// expressions. False when that cannot be known: without names_, or when a
// source is a derived table or no table of the database.
bool Emitter::KeepAliasesNoSourceHolds(NodeId sources,
                                       std::vector<std::pair<std::string_view, NodeId>>& named) {
  if (names_ == nullptr) return false;
  std::vector<std::string_view> tables;
  if (AnySource(ast_, sources, [&](const Node& n, NodeId) {
        if (n.kind != NodeKind::kTable) return true;
        tables.push_back(n.text);
        return false;
      })) {
    return false;
  }
  std::vector<std::string> columns;
  for (std::string_view table : tables) {
    const NamedObject& object = names_->Find(table);
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

// FROM the kept tables' rows that the join and WHERE yield, each
// combination once: FROM (SELECT DISTINCT id(a) AS jet_row1, ... FROM <the
// join> WHERE ...) AS jet_rows INNER JOIN a ON id(a) = jet_rows.jet_row1 ...
// A joined row in which an outer join left a kept table out stands alone, as
// it does where the identity groups: those rows come apart, after UNION ALL,
// and their table is joined with LEFT JOIN.
void Emitter::KeptRows(const SelectParts& select, const std::vector<NodeId>& kept,
                       const std::vector<NodeId>& missing, std::string& out) {
  auto rows = [&](bool left_out) {
    out += left_out ? " UNION ALL SELECT " : "SELECT DISTINCT ";
    for (size_t i = 0; i < kept.size(); ++i) {
      if (i != 0) out += ", ";
      dialect_.RowIdentity(NameOf(ast_[kept[i]]), out);
      out += " AS jet_row" + std::to_string(i + 1);
    }
    Sources(select.from, out);
    const char* glue = " WHERE ";
    if (select.where != kNoNode) {
      out += " WHERE (";
      Filter(select.where, out);
      out += ')';
      glue = " AND ";
    }
    for (NodeId table : missing) {
      out += table == missing.front() ? glue : left_out ? " OR " : " AND ";
      if (left_out && table == missing.front()) out += '(';
      dialect_.RowIdentity(NameOf(ast_[table]), out);
      out += left_out ? " IS NULL" : " IS NOT NULL";
    }
    if (left_out) out += ')';
  };
  out += " FROM (";
  rows(false);
  if (!missing.empty()) rows(true);
  out += ") AS jet_rows";
  for (size_t i = 0; i < kept.size(); ++i) {
    const bool may_miss = std::find(missing.begin(), missing.end(), kept[i]) != missing.end();
    out += may_miss ? " LEFT JOIN " : " INNER JOIN ";
    Source(kept[i], out);
    out += " ON ";
    dialect_.RowIdentity(NameOf(ast_[kept[i]]), out);
    out += " = jet_rows.jet_row" + std::to_string(i + 1);
  }
}

void Emitter::RowIdentities(const std::vector<NodeId>& tables, std::string& out) {
  for (NodeId table : tables) {
    if (table != tables.front()) out += ", ";
    dialect_.RowIdentity(NameOf(ast_[table]), out);
  }
}

// The ORDER BY terms with select aliases and column numbers replaced by the
// select items' expressions; false when a term names no expression (a
// number beyond the list, or a "*" item).
bool Emitter::PeerTerms(const SelectParts& select, std::string& out) {
  for (NodeId t = select.order_by; t != kNoNode; t = ast_[t].next) {
    if (t != select.order_by) out += ", ";
    const Node& term = ast_[t];
    NodeId e = term.a;
    const Node& key = ast_[e];
    if (key.kind == NodeKind::kNumber) {
      long wanted = std::strtol(std::string(key.text).c_str(), nullptr, 10);
      e = kNoNode;
      for (NodeId i = select.items; i != kNoNode && wanted > 0; i = ast_[i].next) {
        if (--wanted == 0) e = ast_[i].a;
      }
      if (e == kNoNode || ast_[e].kind == NodeKind::kStar) return false;
    } else if (key.kind == NodeKind::kColumn && key.text2.empty()) {
      for (NodeId i = select.items; i != kNoNode; i = ast_[i].next) {
        if (rules::EqualsNoCase(ast_[i].text2, key.text)) {
          e = ast_[i].a;
          break;
        }
      }
    }
    SortKey(e, false, out);
    if (term.flag) out += " DESC";
    dialect_.SortNulls(term.flag, out);
  }
  return true;
}

void Emitter::Terms(NodeId first, bool sorting, std::string& out) {
  for (NodeId t = first; t != kNoNode; t = ast_[t].next) {
    if (t != first) out += ", ";
    const Node& term = ast_[t];
    if (ast_[term.a].kind == NodeKind::kNumber) {
      out += ast_[term.a].text;  // a column ordinal: never a parameter
    } else {
      SortKey(term.a, false, out);
    }
    if (term.flag) out += " DESC";
    if (sorting) dialect_.SortNulls(term.flag, out);
  }
}

void Emitter::SortKey(NodeId id, bool wrap, std::string& out) {
  if (CaseMatters(id) && !IsFoldedGroup(id)) {
    NodeOperands operand(*this, &id, 1);
    dialect_.CaseInsensitive(operand, 0, out);
  } else {
    Expression(id, wrap, out);
  }
}

}  // namespace tessaly::db::jet
