// UPDATE and DELETE over joined tables made the statements that do them on
// the engine, which changes one table at a time and joins nothing in an
// UPDATE or DELETE as Jet does.

#include <algorithm>
#include <string>
#include <vector>

#include "db/Rules.h"
#include "db/jet/Dialect.h"
#include "db/jet/Passes.h"
#include "tessaly/Error.h"

namespace tessaly::db::jet {

namespace {

// The name each UPDATE gives the table it changes, so that the subqueries
// it runs can read that row beside the same table under its own name.
constexpr std::string_view kTarget = "jet_target";

struct Refusal {
  std::string description;
};

[[noreturn]] void NotUpdateable() { throw Refusal{"Operation must use an updateable query."}; }

// True when expression id reads no column and holds no subquery.
bool Constant(const Ast& ast, NodeId id) {
  std::vector<NodeId> pending{id};
  while (!pending.empty()) {
    const Node& n = ast[pending.back()];
    pending.pop_back();
    switch (n.kind) {
      case NodeKind::kColumn:
      case NodeKind::kStar:
      case NodeKind::kSubquery:
      case NodeKind::kExists: return false;
      default: ForEachOperand(ast, n, [&](NodeId operand) { pending.push_back(operand); });
    }
  }
  return true;
}

// The table a name or alias of the sources names, the first table when
// name is empty (kNoNode when none).
NodeId SourceNamed(const Ast& ast, NodeId sources, std::string_view name) {
  NodeId found = kNoNode;
  AnySource(ast, sources, [&](const Node& n, NodeId id) {
    if (n.kind != NodeKind::kTable || !(name.empty() || rules::EqualsNoCase(NameOf(n), name))) {
      return false;
    }
    found = id;
    return true;
  });
  return found;
}

class JoinedWrites {
 public:
  JoinedWrites(Ast& ast, const Dialect& dialect) : ast_(ast), dialect_(dialect) {}

  NodeId Update(NodeId id);
  NodeId Delete(NodeId id);

 private:
  // UPDATE of one of the joined tables (target, a kTable of the source), for
  // the assignments that name it (and, with unqualified, those that name no
  // table): each changed row takes its new values from one of its rows of
  // the join that WHERE keeps. Read from the join itself, or, with a
  // capture table, from the joined rows captured there (its column
  // jet_id<captured> holding this table's identities).
  NodeId TargetUpdate(const Node& update, NodeId target, bool unqualified, std::string_view capture,
                      size_t captured);
  // Several joined tables changed by one UPDATE.
  NodeId TargetUpdates(const Node& update, const std::vector<NodeId>& targets);
  bool Assigns(const Node& assignment, const Node& target, bool unqualified) const;

  NodeId Add(NodeKind kind, NodeId a = kNoNode, NodeId b = kNoNode, NodeId c = kNoNode) {
    return ast_.Add(kind, a, b, c);
  }
  NodeId Named(NodeKind kind, std::string_view text, NodeId a = kNoNode) {
    const NodeId id = Add(kind, a);
    ast_[id].text = text;
    return id;
  }
  NodeId Made(std::string name) { return Named(NodeKind::kMadeName, ast_.Keep(std::move(name))); }
  // The rows of the statement's join that its WHERE keeps.
  NodeId JoinRows(const Node& statement) {
    return Add(NodeKind::kJoinedRows, statement.a, statement.c);
  }
  void Append(NodeId& head, NodeId& tail, NodeId id) {
    (head == kNoNode ? head : ast_[tail].next) = id;
    tail = id;
  }

  Ast& ast_;
  const Dialect& dialect_;
};

NodeId JoinedWrites::Update(NodeId id) {
  const Node n = ast_[id];
  if (ast_[n.a].kind == NodeKind::kTable) return id;
  // The tables whose columns SET names change (the first table when the
  // columns are unqualified).
  std::vector<NodeId> targets;
  bool unqualified = false;
  for (NodeId s = n.b; s != kNoNode; s = ast_[s].next) {
    const std::string_view q = ast_[ast_[s].a].text2;
    if (q.empty()) {
      unqualified = true;
      continue;
    }
    const NodeId target = SourceNamed(ast_, n.a, q);
    if (target == kNoNode) NotUpdateable();
    if (std::find(targets.begin(), targets.end(), target) == targets.end()) {
      targets.push_back(target);
    }
  }
  if (targets.empty()) {
    const NodeId first = SourceNamed(ast_, n.a, {});
    if (first == kNoNode) NotUpdateable();
    targets.push_back(first);
  }
  if (targets.size() == 1) return TargetUpdate(n, targets.front(), true, {}, 0);
  // The translator does not know the tables' columns, so it cannot tell
  // which of the changed tables an unqualified column belongs to.
  if (unqualified) {
    throw Refusal{
        "An UPDATE over joined tables that changes several of them names the table of each "
        "column it sets here."};
  }
  return TargetUpdates(n, targets);
}

bool JoinedWrites::Assigns(const Node& assignment, const Node& target, bool unqualified) const {
  const std::string_view q = ast_[assignment.a].text2;
  if (q.empty()) return unqualified;
  return rules::EqualsNoCase(q, NameOf(target));
}

NodeId JoinedWrites::TargetUpdate(const Node& update, NodeId target, bool unqualified,
                                  std::string_view capture, size_t captured) {
  const Node table = ast_[target];
  const std::string_view name = NameOf(table);
  // The key a captured row is found by, else the row's own identity.
  const NodeId key = captured != 0 ? Made("jet_id" + std::to_string(captured))
                                   : Named(NodeKind::kRowIdentity, name);
  // A value that reads no row is the same from every joined row: set in
  // place, where the engine gives it the column's type (a Null or a text in
  // a number column). The others come from one joined row together.
  NodeId settings = kNoNode, last = kNoNode;
  NodeId joined = kNoNode, joined_last = kNoNode;
  size_t value = 0;  // the captured value's number
  for (NodeId s = update.b; s != kNoNode; s = ast_[s].next) {
    ++value;
    const Node assignment = ast_[s];
    if (!Assigns(assignment, table, unqualified)) continue;
    if (captured == 0 && Constant(ast_, assignment.b)) {
      Append(settings, last, Add(NodeKind::kAssign, assignment.a, assignment.b));
      continue;
    }
    const NodeId from = captured != 0 ? Made("jet_v" + std::to_string(value)) : assignment.b;
    Append(joined, joined_last, Add(NodeKind::kAssign, assignment.a, from));
  }
  if (joined != kNoNode) {
    // A row the join matches more than once takes all its values from one
    // of those rows, the first the engine reads; a server refuses a value
    // subquery of more than one row.
    const NodeId rows = captured != 0 ? Named(NodeKind::kJoinedRows, capture) : JoinRows(update);
    ast_[rows].c = key;
    ast_[rows].text2 = kTarget;
    Append(settings, last, Add(NodeKind::kAssignRow, joined, rows));
  }
  const NodeId rows = captured != 0 ? Named(NodeKind::kJoinedRows, capture) : JoinRows(update);
  const NodeId in = Named(NodeKind::kRowIn, kTarget, key);
  ast_[in].b = rows;
  const NodeId write = Named(NodeKind::kRowUpdate, table.text, settings);
  ast_[write].text2 = kTarget;
  ast_[write].b = in;
  return write;
}

// Every new value is computed from the rows as they were before the
// statement, as Jet computes them: a later assignment never reads an earlier
// one's result, and a table written second still reads the first table's
// old values through the join. The count is the joined rows'.
NodeId JoinedWrites::TargetUpdates(const Node& update, const std::vector<NodeId>& targets) {
  // One table under two names would be written twice over.
  for (size_t i = 0; i < targets.size(); ++i) {
    for (size_t j = i + 1; j < targets.size(); ++j) {
      if (rules::EqualsNoCase(ast_[targets[i]].text, ast_[targets[j]].text)) {
        throw Refusal{
            "An UPDATE over joined tables changes each table under one name here; write one "
            "UPDATE for each name of '" +
            std::string(ast_[targets[i]].text) + "'."};
      }
    }
  }
  if (dialect_.WritesReadOneSnapshot()) {
    NodeId writes = kNoNode, last = kNoNode;
    for (const NodeId target : targets) {
      Append(writes, last, TargetUpdate(update, target, false, {}, 0));
    }
    return Add(NodeKind::kEachUpdate, writes, JoinRows(update));
  }
  // Captured first: each joined row's identity in every changed table
  // (jet_id1, ...) and every new value (jet_v1, ... in the order of SET),
  // in a table of the connection's own named by its shape. It is emptied,
  // never dropped: the engine drops no table while a host still reads
  // another statement's rows.
  size_t values = 0;
  for (NodeId s = update.b; s != kNoNode; s = ast_[s].next) ++values;
  const std::string_view capture =
      ast_.Keep("jet_joined_" + std::to_string(targets.size()) + '_' + std::to_string(values));
  NodeId columns = kNoNode, last = kNoNode;
  for (size_t k = 0; k < targets.size(); ++k) {
    const NodeId identity = Named(NodeKind::kRowIdentity, NameOf(ast_[targets[k]]));
    Append(columns, last, Add(NodeKind::kAssign, Made("jet_id" + std::to_string(k + 1)), identity));
  }
  size_t value = 0;
  for (NodeId s = update.b; s != kNoNode; s = ast_[s].next) {
    const NodeId held = ast_[s].b;
    Append(columns, last, Add(NodeKind::kAssign, Made("jet_v" + std::to_string(++value)), held));
  }
  const NodeId fill = Named(NodeKind::kCapture, capture, columns);
  ast_[fill].b = JoinRows(update);
  NodeId after = kNoNode, after_last = kNoNode;
  for (size_t k = 0; k < targets.size(); ++k) {
    Append(after, after_last, TargetUpdate(update, targets[k], false, capture, k + 1));
  }
  Append(after, after_last, Named(NodeKind::kClearCapture, capture));
  return Add(NodeKind::kPlan, Add(NodeKind::kCreateCapture, fill), fill, after);
}

// From one of joined tables: its rows that the join (and WHERE) keeps.
NodeId JoinedWrites::Delete(NodeId id) {
  const Node n = ast_[id];
  const Node& source = ast_[n.a];
  if (source.kind == NodeKind::kTable && source.next == kNoNode) return id;
  const Node table = ast_[n.b];
  const NodeId in =
      Named(NodeKind::kRowIn, table.text, Named(NodeKind::kRowIdentity, NameOf(table)));
  ast_[in].b = JoinRows(n);
  return Named(NodeKind::kRowDelete, table.text, in);
}

}  // namespace

bool RewriteJoinedWrites(Ast& ast, NodeId& root, const Dialect& dialect, ParseFailure* refusal) {
  JoinedWrites writes(ast, dialect);
  try {
    switch (ast[root].kind) {
      case NodeKind::kUpdate: root = writes.Update(root); break;
      case NodeKind::kDelete: root = writes.Delete(root); break;
      default: break;
    }
  } catch (Refusal& refused) {
    refusal->number = errnum::kFail;
    refusal->description = std::move(refused.description);
    return false;
  }
  return true;
}

}  // namespace tessaly::db::jet
