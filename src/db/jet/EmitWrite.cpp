// UPDATE and DELETE, over one table or over joined ones.

#include "db/jet/Emitter.h"

#include <algorithm>

#include "db/Rules.h"
#include "tessaly/Error.h"

namespace tessaly::db::jet {

void Emitter::Update(const Node& n, std::string& out) {
  if (ast_[n.a].kind == NodeKind::kTable) {
    out += "UPDATE ";
    Source(n.a, out);
    out += " SET ";
    for (NodeId s = n.b; s != kNoNode; s = ast_[s].next) {
      if (s != n.b) out += ", ";
      // SQL names the assigned column without a table qualifier.
      dialect_.Identifier(ast_[ast_[s].a].text, out);
      out += " = ";
      Value(ast_[s].b, out);
    }
    if (n.c != kNoNode) {
      out += " WHERE ";
      Filter(n.c, out);
    }
    return;
  }
  // Over joined tables: the tables whose columns SET names change (the
  // first table when the columns are unqualified), each of their rows that
  // the join (and WHERE) keeps taking its values from its own row of the
  // join. The join is written whole inside subqueries, where its names mean
  // what they meant in Jet's statement.
  std::vector<NodeId> targets;
  bool unqualified = false;
  for (NodeId s = n.b; s != kNoNode; s = ast_[s].next) {
    const std::string_view q = ast_[ast_[s].a].text2;
    if (q.empty()) {
      unqualified = true;
      continue;
    }
    const NodeId target = SourceNamed(n.a, q);
    if (target == kNoNode) throw Refused{errnum::kFail, "Operation must use an updateable query."};
    if (std::find(targets.begin(), targets.end(), target) == targets.end()) {
      targets.push_back(target);
    }
  }
  if (targets.empty()) {
    const NodeId first = SourceNamed(n.a, {});
    if (first == kNoNode) throw Refused{errnum::kFail, "Operation must use an updateable query."};
    targets.push_back(first);
  }
  if (targets.size() == 1) {
    JoinedUpdate(n, targets.front(), true, {}, 0, out);
    return;
  }
  // The translator does not know the tables' columns, so it cannot tell
  // which of the changed tables an unqualified column belongs to.
  if (unqualified) {
    throw Refused{errnum::kFail,
                  "An UPDATE over joined tables that changes several of them names the table "
                  "of each column it sets here."};
  }
  JoinedUpdates(n, targets, out);
}

bool Emitter::Assigns(const Node& assignment, const Node& target, bool unqualified) const {
  const std::string_view q = ast_[assignment.a].text2;
  if (q.empty()) return unqualified;
  return rules::EqualsNoCase(q, NameOf(target));
}

void Emitter::JoinedUpdate(const Node& n, NodeId target, bool unqualified, std::string_view capture,
                           size_t captured, std::string& out) {
  const Node& table = ast_[target];
  const std::string_view name = NameOf(table);
  const std::string column = "jet_id" + std::to_string(captured);
  // The rows the new values come from: the join's (or the captured) rows
  // of this table's row.
  auto rows_of_the_row = [&] {
    out += " FROM ";
    if (captured != 0) {
      out += capture;
      out += " WHERE " + column;
    } else {
      Source(n.a, out);
      out += " WHERE ";
      if (n.c != kNoNode) {
        out += '(';
        Filter(n.c, out);
        out += ") AND ";
      }
      RowIdentity(name, out);
    }
    out += " = ";
    RowIdentity("jet_target", out);
    // A row the join matches more than once takes all its values from one
    // of those rows, the first the engine reads; a server refuses a value
    // subquery of more than one row.
    out += " LIMIT 1)";
  };
  out += "UPDATE ";
  dialect_.Identifier(table.text, out);
  out += " AS jet_target SET ";
  // A value that reads no row is the same from every joined row: written in
  // place, where the engine gives it the column's type (a Null or a text in
  // a number column). The others come from one joined row together.
  auto joined = [&](NodeId s) { return captured != 0 || !Constant(ast_[s].b); };
  size_t count = 0;
  bool first = true;
  for (NodeId s = n.b; s != kNoNode; s = ast_[s].next) {
    if (!Assigns(ast_[s], table, unqualified)) continue;
    if (joined(s)) {
      ++count;
      continue;
    }
    if (!first) out += ", ";
    first = false;
    dialect_.Identifier(ast_[ast_[s].a].text, out);
    out += " = ";
    Value(ast_[s].b, out);
  }
  if (count != 0) {
    if (!first) out += ", ";
    if (count > 1) out += '(';
    first = true;
    for (NodeId s = n.b; s != kNoNode; s = ast_[s].next) {
      if (!Assigns(ast_[s], table, unqualified) || !joined(s)) continue;
      if (!first) out += ", ";
      first = false;
      dialect_.Identifier(ast_[ast_[s].a].text, out);
    }
    out += count > 1 ? ") = (SELECT " : " = (SELECT ";
    first = true;
    size_t value = 0;  // the captured value's number
    for (NodeId s = n.b; s != kNoNode; s = ast_[s].next) {
      ++value;
      if (!Assigns(ast_[s], table, unqualified) || !joined(s)) continue;
      if (!first) out += ", ";
      first = false;
      if (captured != 0) {
        out += "jet_v" + std::to_string(value);
      } else {
        Value(ast_[s].b, out);
      }
    }
    rows_of_the_row();
  }
  out += " WHERE ";
  RowIdentity("jet_target", out);
  out += " IN (SELECT ";
  if (captured != 0) {
    out += column + " FROM ";
    out += capture;
    out += ')';
    return;
  }
  RowIdentity(name, out);
  out += " FROM ";
  Source(n.a, out);
  if (n.c != kNoNode) {
    out += " WHERE ";
    Filter(n.c, out);
  }
  out += ')';
}

// Every new value is computed from the rows as they were before the
// statement, as Jet computes them: a later assignment never reads an earlier
// one's result, and a table written second still reads the first table's
// old values through the join. The count is the joined rows'.
void Emitter::JoinedUpdates(const Node& n, const std::vector<NodeId>& targets, std::string& out) {
  // One table under two names would be written twice over.
  for (size_t i = 0; i < targets.size(); ++i) {
    for (size_t j = i + 1; j < targets.size(); ++j) {
      if (rules::EqualsNoCase(ast_[targets[i]].text, ast_[targets[j]].text)) {
        throw Refused{errnum::kFail,
                      "An UPDATE over joined tables changes each table under one name here; "
                      "write one UPDATE for each name of '" +
                          std::string(ast_[targets[i]].text) + "'."};
      }
    }
  }
  auto joined_rows = [&](std::string& text) {
    text += " FROM ";
    Source(n.a, text);
    if (n.c != kNoNode) {
      text += " WHERE ";
      Filter(n.c, text);
    }
  };
  if (dialect_.WritesReadOneSnapshot()) {
    out += "WITH ";
    for (size_t k = 0; k < targets.size(); ++k) {
      if (k != 0) out += ", ";
      out += "jet_write" + std::to_string(k + 1) + " AS (";
      JoinedUpdate(n, targets[k], false, {}, 0, out);
      out += ')';
    }
    out += " SELECT count(*)";
    joined_rows(out);
    answers_count_ = true;
    return;
  }
  // Captured first: each joined row's identity in every changed table
  // (jet_id1, ...) and every new value (jet_v1, ... in the order of SET),
  // in a table of the connection's own named by its shape. It is emptied,
  // never dropped: the engine drops no table while a host still reads
  // another statement's rows.
  size_t values = 0;
  for (NodeId s = n.b; s != kNoNode; s = ast_[s].next) ++values;
  const std::string capture =
      "jet_joined_" + std::to_string(targets.size()) + '_' + std::to_string(values);
  std::string columns;
  out += "INSERT INTO " + capture + " SELECT ";
  for (size_t k = 0; k < targets.size(); ++k) {
    const Node& table = ast_[targets[k]];
    if (k != 0) out += ", ";
    RowIdentity(NameOf(table), out);
    columns += (k != 0 ? ", jet_id" : "jet_id") + std::to_string(k + 1);
  }
  size_t value = 0;
  for (NodeId s = n.b; s != kNoNode; s = ast_[s].next) {
    out += ", ";
    Value(ast_[s].b, out);
    columns += ", jet_v" + std::to_string(++value);
  }
  joined_rows(out);
  before_.push_back("CREATE TEMP TABLE IF NOT EXISTS " + capture + " (" + columns + ")");
  for (size_t k = 0; k < targets.size(); ++k) {
    std::string& write = after_.emplace_back();
    JoinedUpdate(n, targets[k], false, capture, k + 1, write);
  }
  after_.push_back("DELETE FROM " + capture);
}

void Emitter::RowIdentity(std::string_view table, std::string& out) {
  std::string identity;
  if (!dialect_.RowIdentity(table, identity)) {
    throw Refused{errnum::kFail, "Operation must use an updateable query."};
  }
  out += identity;
}

void Emitter::Delete(const Node& n, std::string& out) {
  out += "DELETE FROM ";
  const Node& source = ast_[n.a];
  if (source.kind == NodeKind::kTable && source.next == kNoNode) {
    Source(n.a, out);
    if (n.c != kNoNode) {
      out += " WHERE ";
      Filter(n.c, out);
    }
    return;
  }
  // From one of joined tables: its rows that the join (and WHERE) keeps.
  const Node& table = ast_[n.b];
  dialect_.Identifier(table.text, out);
  out += " WHERE ";
  RowIdentity(table.text, out);
  out += " IN (SELECT ";
  RowIdentity(NameOf(table), out);
  Sources(n.a, out);
  if (n.c != kNoNode) {
    out += " WHERE ";
    Filter(n.c, out);
  }
  out += ')';
}

}  // namespace tessaly::db::jet
