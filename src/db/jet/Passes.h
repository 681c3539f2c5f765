// Rewrite passes: the steps from the tree the parser reads to the tree the
// emitter writes, each over the whole statement. The translator runs them
// in order between reading a statement and checking it (Parser::Check).
#pragma once

#include <unordered_map>
#include <utility>
#include <vector>

#include "db/jet/Ast.h"
#include "db/jet/Parser.h"
#include "db/jet/Translator.h"

namespace tessaly::db::jet {

class Catalog;
class Dialect;

// Makes each domain function (DLookup, DCount, ...) the subquery its
// arguments describe: the aggregate of the expression over the domain's
// rows that meet the criteria (DLookup the first such row's value). The
// expression and the domain are texts; the criteria may be built with "&"
// from texts and values of the row, each value standing in a place of its
// own: inside quotes (the value's text), between #s (the value as a date),
// or beside an operator (the value itself). A value read from a column is
// taken from the outer row, never from a field of the domain so named.
// False with *failure filled when a call cannot be made a subquery.
bool RewriteDomainCalls(Ast& ast, Parser& parser, ParseFailure* failure);

// Rewrites each select of the statement at root for the engine (see
// SelectParts::ties and distinct_tables): the sort keys of TOP with ties,
// the names ORDER BY sorts by spelled as the result columns it names, the
// columns that WHERE, GROUP BY and HAVING read under a select alias's name
// over one table qualified with it, and the tables DISTINCTROW keeps rows
// of, and each column that reads a select alias where the engine reads
// none given the alias's expression (see WithAliases). Runs once
// Parser::Check has taken the statement; names as for Translate. False,
// with *refusal filled, for aliases that read each other without end.
bool RewriteSelects(Ast& ast, NodeId root, const Dialect& dialect, Catalog* names,
                    ParseFailure* refusal);

// Makes an UPDATE or DELETE over joined tables (root) the statements that
// do it on the engine, each changing one table's rows by their identity:
// an UPDATE of each changed table whose rows take their values from one of
// their rows of the join (where the engine's writes read one snapshot, all
// in one statement that answers the joined rows' count; else from the
// joined rows captured first in a table of the connection's own), a DELETE
// of the table's rows the join keeps. Any other statement is left as it
// is. False, with *refusal filled, for an UPDATE whose changed tables
// cannot be told or written.
bool RewriteJoinedWrites(Ast& ast, NodeId& root, const Dialect& dialect, ParseFailure* refusal);

// Makes the crosstab at root (a kTransform), once Parser::Check and
// RewriteSelects have taken it, the grouping select that writes it: its row
// headings, then a column for each pivot value, those of its IN list or else
// values (read from the data, see PivotPlan), each a kCell named by its
// value ("<>" for Null); its rows sorted by their headings unless it sorts
// them itself. Returns the select's kSelect node.
NodeId RewriteCrosstab(Ast& ast, NodeId root, const std::vector<PivotValue>* values);
// The query of the values the pivot of the crosstab at root takes, once
// RewriteSelects has taken it (a kPivotValues).
NodeId PivotValuesQuery(Ast& ast, NodeId root);

// The expression at id (list: the list that starts there) with change
// applied to each node of kind (a column unless told) it holds outside its
// subqueries; a node with operands is asked before them, which are left as
// they are when change changes it. A node on the way to a changed one is
// copied rather than changed, so that what another clause shares (the sort
// keys of TOP with ties, the WHERE a crosstab reads its columns under, a
// select item an alias stands for, a crosstab's value in each column) stays
// as it was. Children first, without recursion: a chain of thousands of
// terms is a tree that deep.
template <class Change>
NodeId Rewritten(Ast& ast, NodeId id, bool list, const Change& change,
                 NodeKind kind = NodeKind::kColumn) {
  if (id == kNoNode) return id;
  std::unordered_map<NodeId, NodeId> copies;  // of the changed nodes
  std::unordered_map<NodeId, Node> whole;     // changed before their operands
  const auto copied = [&](NodeId& link) {
    const auto found = copies.find(link);
    if (found == copies.end()) return false;
    link = found->second;
    return true;
  };
  std::vector<std::pair<NodeId, bool>> pending{{id, false}};
  while (!pending.empty()) {
    const auto [at, ready] = pending.back();
    pending.pop_back();
    Node n = ast[at];
    const bool leaf = !HasOperands(n.kind);
    if (!ready) {
      pending.emplace_back(at, true);
      if (n.next != kNoNode && (list || at != id)) pending.emplace_back(n.next, false);
      if (leaf || (n.kind == kind && change(n) && whole.emplace(at, n).second)) continue;
      for (NodeId operand : {n.a, n.b, n.c}) {
        if (operand != kNoNode) pending.emplace_back(operand, false);
      }
      continue;
    }
    bool changed = (list || at != id) && copied(n.next);
    if (const auto changed_whole = whole.find(at); changed_whole != whole.end()) {
      changed_whole->second.next = n.next;
      n = changed_whole->second;
      changed = true;
    } else if (!leaf) {
      for (NodeId* operand : {&n.a, &n.b, &n.c}) changed = copied(*operand) || changed;
    }
    if (leaf && n.kind == kind) changed = change(n) || changed;
    if (changed) copies[at] = ast.Add(n);
  }
  const auto found = copies.find(id);
  return found == copies.end() ? id : found->second;
}

// The name a select item gives its column: its alias, else the field it
// reads; empty for an expression without an alias.
std::string_view ItemName(const Ast& ast, const Node& item);
// The result column of select that name (in any letter case) sorts by,
// spelled as the select names it; name itself when none is.
std::string_view ResultName(const Ast& ast, const SelectParts& select, std::string_view name);

// In a SELECT ... INTO over joined tables (root), makes each * and t.* of
// the select list the columns it stands for, as the catalog names them, so
// that the new table's fields are named as the select list's own are (a
// field two tables hold, with its table). The list stays as it is where a
// source is no table the catalog knows.
void ExpandStarsInto(Ast& ast, NodeId root, Catalog* names);

}  // namespace tessaly::db::jet
