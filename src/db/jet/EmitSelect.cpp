// SELECT: its clauses, DISTINCTROW over joins, TOP with ties and sorting.

#include "db/jet/Emitter.h"

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <unordered_map>

#include "db/Rules.h"
#include "db/jet/EmitterOperands.h"
#include "db/jet/Passes.h"

namespace tessaly::db::jet {

void Emitter::Select(const SelectParts& select, std::string& out) {
  const size_t start = out.size();
  out += select.distinct ? "SELECT DISTINCT " : "SELECT ";
  int unnamed = 1000;
  // A subquery has its own GROUP BY; the enclosing one's come back when it
  // is written.
  struct Restore {
    Emitter& emitter;
    std::vector<NodeId> outer_groups;
    ~Restore() { emitter.folded_groups_.swap(outer_groups); }
  } restore{*this, {}};
  restore.outer_groups.swap(folded_groups_);
  std::vector<NodeId> grouped;
  if (dialect_.MatchesGroupsAsWritten()) {
    for (NodeId g = select.group_by; g != kNoNode; g = ast_[g].next) {
      const NodeId term = ast_[g].a;
      if (ast_[term].kind != NodeKind::kNumber && CaseMatters(term)) grouped.push_back(term);
    }
  }
  folded_groups_ = grouped;  // as copy: back for GROUP BY after WHERE
  // A new table's fields must differ in name: a field of one table beside a
  // field of another of the same name is named with its table, as Jet names
  // it ("Customers.ID" beside "Products.ID").
  std::optional<std::unordered_map<std::string, int>> field_names;
  if (!select.into.empty()) {
    field_names.emplace();
    for (NodeId i = select.items; i != kNoNode; i = ast_[i].next) {
      const std::string_view name = ItemName(ast_, ast_[i]);
      if (!name.empty()) ++(*field_names)[rules::LoweredAscii(name)];
    }
  }
  for (NodeId i = select.items; i != kNoNode; i = ast_[i].next) {
    if (i != select.items) out += ", ";
    const Node& item = ast_[i];
    const Node& e = ast_[item.a];
    Value(item.a, out);
    if (!item.text2.empty() || e.kind == NodeKind::kCell) {  // a crosstab's value may be ''
      out += " AS ";
      dialect_.Identifier(item.text2, out);
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
  // WHERE reads the rows' own expressions.
  folded_groups_.clear();
  const size_t source_start = out.size();
  // DISTINCTROW over joined tables: a grouping by the kept tables' rows'
  // identities or, for an engine whose grouping by an identity reads no
  // other column, the kept tables' rows the join yields (KeptRows).
  const bool kept_rows = select.distinct_tables != kNoNode && !dialect_.IdentityGroupsItsColumns();
  if (!kept_rows && select.from != kNoNode) Sources(select.from, out);
  if (kept_rows) {
    KeptRows(select, out);
  } else if (select.where != kNoNode) {
    out += " WHERE ";
    Filter(select.where, out);
  }
  folded_groups_ = std::move(grouped);
  if (select.group_by != kNoNode) {
    out += " GROUP BY ";
    Terms(select.group_by, false, out);
  } else if (select.distinct_tables != kNoNode && !kept_rows) {
    out += " GROUP BY ";
    for (NodeId t = select.distinct_tables; t != kNoNode; t = ast_[t].next) {
      if (t != select.distinct_tables) out += ", ";
      dialect_.RowIdentity(NameOf(ast_[ast_[t].a]), out);
    }
  }
  if (select.having != kNoNode) {
    out += " HAVING ";
    Filter(select.having, out);
  }
  // TOP with ties: the source is written again inside the limit, with the
  // sort keys as the rows' own expressions.
  std::string peers;
  if (select.ties != kNoNode) Terms(select.ties, true, peers, false);
  const std::string source_text = peers.empty() ? std::string() : out.substr(source_start);
  if (select.order_by != kNoNode) {
    out += " ORDER BY ";
    Terms(select.order_by, true, out);
  }
  if (select.top.empty()) return;
  // A limit cannot read the row around a subquery (an engine may not see
  // it there), so a subquery's single value with ties is the rows ranked
  // within the top ones: rank() counts the rows sorted before a row's peers.
  const Node& only = ast_[select.items];
  if (value_subquery_ && !peers.empty() && !select.top_percent && only.next == kNoNode &&
      ast_[only.a].kind != NodeKind::kStar) {
    const std::string_view own = ItemName(ast_, only);
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

void Emitter::PivotValues(const Node& n, std::string& out) {
  // A sort key other than the value itself is selected beside it: an engine
  // may order DISTINCT rows only by what they hold, and the key is a
  // function of the value. Both are written once on trial to compare them.
  const size_t lifted = parameters_ != nullptr ? parameters_->size() : 0;
  std::string value, key;
  Expression(n.a, false, value);
  SortKey(n.a, false, key);
  if (parameters_ != nullptr) parameters_->resize(lifted);
  const bool keyed = value != key;
  out += "SELECT DISTINCT ";
  Expression(n.a, false, out);
  out += " AS jet_pivot";
  if (keyed) {
    out += ", ";
    SortKey(n.a, false, out);
    out += " AS jet_pivot_order";
  }
  if (n.b != kNoNode) Sources(n.b, out);
  if (n.c != kNoNode) {
    out += " WHERE ";
    Filter(n.c, out);
  }
  out += " ORDER BY ";
  if (keyed) {
    out += "jet_pivot_order";
  } else {
    SortKey(n.a, false, out);
  }
  dialect_.SortNulls(false, out);  // the column of Null rows comes first
}

// FROM the kept tables' rows that the join and WHERE yield, each
// combination once: FROM (SELECT DISTINCT id(a) AS jet_row1, ... FROM <the
// join> WHERE ...) AS jet_rows INNER JOIN a ON id(a) = jet_rows.jet_row1 ...
// A joined row in which an outer join left a kept table out stands alone, as
// it does where the identity groups: those rows come apart, after UNION ALL,
// and their table is joined with LEFT JOIN.
void Emitter::KeptRows(const SelectParts& select, std::string& out) {
  std::vector<NodeId> kept, missing;
  for (NodeId t = select.distinct_tables; t != kNoNode; t = ast_[t].next) {
    kept.push_back(ast_[t].a);
    if (ast_[t].flag) missing.push_back(ast_[t].a);
  }
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

void Emitter::Terms(NodeId first, bool sorting, std::string& out, bool ordinals) {
  for (NodeId t = first; t != kNoNode; t = ast_[t].next) {
    if (t != first) out += ", ";
    const Node& term = ast_[t];
    if (ordinals && ast_[term.a].kind == NodeKind::kNumber) {
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
