#include "db/jet/Emitter.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdlib>

#include "db/Rules.h"
#include "tessaly/Error.h"

namespace tessaly::db::jet {

namespace {

// Whether argument index of a call is what the call gives back as it is
// (a branch of Iif, a value of Switch or Choose, either of Nz): a
// comparison there is a kept value, Jet's -1 or 0, not a condition.
bool GivesBack(JetFunction function, size_t index) {
  switch (function) {
    case JetFunction::kIif: return index >= 1;
    case JetFunction::kSwitch: return index % 2 == 1;
    case JetFunction::kChoose: return index >= 1;
    case JetFunction::kNz: return true;
    default: return false;
  }
}

}  // namespace

// The children of a node, as a hook's operands.
class NodeOperands final : public Operands {
 public:
  NodeOperands(Emitter& emitter, const NodeId* ids, size_t count)
      : emitter_(emitter), ids_(ids), count_(count) {}
  // The arguments of a call to function.
  NodeOperands(Emitter& emitter, const NodeId* ids, size_t count, JetFunction function)
      : emitter_(emitter), ids_(ids), count_(count), function_(function), call_(true) {}
  size_t size() const override { return count_; }
  void Write(size_t index, std::string& out) const override {
    if (IsKeptTruth(index)) {
      out += '(';
      emitter_.Value(ids_[index], out);
      out += ')';
      return;
    }
    emitter_.Expression(ids_[index], true, out);
  }
  void WriteArgument(size_t index, std::string& out) const override {
    if (IsKeptTruth(index)) {
      emitter_.Value(ids_[index], out);
      return;
    }
    emitter_.Expression(ids_[index], false, out);
  }
  bool IsColumn(size_t index) const override {
    return emitter_.ast_[ids_[index]].kind == NodeKind::kColumn;
  }
  bool IsText(size_t index) const override {
    return emitter_.ast_[ids_[index]].kind == NodeKind::kText;
  }
  const std::string* TextValue(size_t index) const override {
    if (!IsText(index)) return nullptr;
    value_ = Emitter::TextOf(emitter_.ast_[ids_[index]]);
    return &value_;
  }

 private:
  bool IsKeptTruth(size_t index) const {
    return call_ && GivesBack(function_, index) && emitter_.IsTruthValue(ids_[index]);
  }

  Emitter& emitter_;
  const NodeId* ids_;
  size_t count_;
  JetFunction function_{};
  bool call_ = false;
  mutable std::string value_;
};

std::string TextOfLiteral(std::string_view literal) {
  std::string value;
  for (size_t i = 1; i + 1 < literal.size(); ++i) {
    value += literal[i];
    if (literal[i] == literal.front()) ++i;  // a doubled delimiter
  }
  return value;
}

bool NumberParameter(std::string_view text, Parameter& p) {
  const char* end = text.data() + text.size();
  if (text.find_first_not_of("0123456789") == std::string_view::npos) {
    auto [ptr, ec] = std::from_chars(text.data(), end, p.integer);
    p.kind = Parameter::Kind::kInteger;
    return ec == std::errc() && ptr == end;  // beyond 64 bits: left to the engine
  }
  const std::string copy(text);  // strtod wants a terminated text
  char* stop = nullptr;
  p.real = std::strtod(copy.c_str(), &stop);
  p.kind = Parameter::Kind::kReal;
  return stop == copy.c_str() + copy.size();
}

std::string Emitter::TextOf(const Node& text) { return TextOfLiteral(text.text); }

void Dialect::Operator(BinaryOp op, const Operands& operands, std::string& out) const {
  const char* spelling = " ? ";
  switch (op) {
    case BinaryOp::kAdd: spelling = " + "; break;
    case BinaryOp::kSub: spelling = " - "; break;
    case BinaryOp::kMul: spelling = " * "; break;
    case BinaryOp::kDiv:
    case BinaryOp::kIntDiv: spelling = " / "; break;
    case BinaryOp::kMod: spelling = " % "; break;
    case BinaryOp::kPow:
      out += "POWER(";
      operands.WriteArgument(0, out);
      out += ", ";
      operands.WriteArgument(1, out);
      out += ')';
      return;
    default: break;
  }
  for (size_t i = 0; i < operands.size(); ++i) {
    if (i != 0) out += spelling;
    operands.Write(i, out);
  }
}

void Dialect::TextBesideColumn(const Operands& operands, size_t text_index, size_t /*column_index*/,
                               std::string& out) const {
  operands.Write(text_index, out);
}

void Dialect::UnnamedSubquery(size_t /*n*/, std::string& /*out*/) const {}

void Dialect::Condition(const Operands& value, std::string& out) const { value.Write(0, out); }

void Dialect::RoundToWhole(const Operands& operands, size_t index, std::string& out) const {
  out += "round(";
  operands.WriteArgument(index, out);
  out += ')';
}

void Dialect::Call(std::string_view name, const Operands& args, std::string& out) {
  out += name;
  out += '(';
  for (size_t i = 0; i < args.size(); ++i) {
    if (i != 0) out += ", ";
    args.WriteArgument(i, out);
  }
  out += ')';
}

namespace {

// One operand of a list, seen as a list of its own (for the hooks that take
// their value as operand 0).
class OneOperand final : public Operands {
 public:
  OneOperand(const Operands& all, size_t index) : all_(all), index_(index) {}
  size_t size() const override { return 1; }
  void Write(size_t, std::string& out) const override { all_.Write(index_, out); }
  void WriteArgument(size_t, std::string& out) const override { all_.WriteArgument(index_, out); }
  bool IsColumn(size_t) const override { return all_.IsColumn(index_); }
  bool IsText(size_t) const override { return all_.IsText(index_); }
  const std::string* TextValue(size_t) const override { return all_.TextValue(index_); }

 private:
  const Operands& all_;
  size_t index_;
};

}  // namespace

bool Dialect::CommonFunction(JetFunction function, const Operands& args, std::string& out) const {
  switch (function) {
    case JetFunction::kAvg: Call("avg", args, out); return true;
    case JetFunction::kCount: Call("count", args, out); return true;
    case JetFunction::kMax: Call("max", args, out); return true;
    case JetFunction::kMin: Call("min", args, out); return true;
    case JetFunction::kSum: Call("sum", args, out); return true;
    case JetFunction::kAbs: Call("abs", args, out); return true;
    case JetFunction::kSwitch:
      // Pairs of condition and value; the first true condition's value,
      // Null when none is (or a value is missing its condition's pair).
      out += "CASE";
      for (size_t i = 0; i + 1 < args.size(); i += 2) {
        out += " WHEN ";
        Condition(OneOperand(args, i), out);
        out += " THEN ";
        args.WriteArgument(i + 1, out);
      }
      out += " ELSE NULL END";
      return true;
    case JetFunction::kChoose:
      // The index rounds to a whole number; outside the choices Null.
      out += "CASE ";
      RoundToWhole(args, 0, out);
      for (size_t i = 1; i < args.size(); ++i) {
        out += " WHEN " + std::to_string(i) + " THEN ";
        args.WriteArgument(i, out);
      }
      out += " ELSE NULL END";
      return true;
    default: return false;
  }
}

void Dialect::SortNulls(bool /*descending*/, std::string& /*out*/) const {}

void Dialect::BitNot(const Operands& operand, std::string& out) const {
  out += "~";
  operand.Write(0, out);
}

bool Dialect::RowIdentity(std::string_view, std::string&) const { return false; }

bool Dialect::IdentityGroupsItsColumns() const { return true; }
bool Dialect::MatchesGroupsAsWritten() const { return false; }

namespace {

// The rows of a TOP with ties: count(*) over the ordering counts a row's
// peers with it, so the last row within the limit has the count where the
// last row tied with it ends. With percent, count is in hundredths of the
// rows, rounded up to a whole row.
void PeerLimit(std::string_view count, bool percent, std::string_view order_terms,
               std::string_view source, std::string& out) {
  out += " LIMIT (SELECT coalesce(max(jet_peers), 0) FROM (SELECT count(*) OVER (ORDER BY ";
  out += order_terms;
  out += ") AS jet_peers, row_number() OVER (ORDER BY ";
  out += order_terms;
  out += ") AS jet_row";
  if (percent) out += ", count(*) OVER () AS jet_all";
  out += source;
  out += ") AS jet_top WHERE jet_row <= ";
  if (percent) out += "(jet_all * ";
  out += count;
  if (percent) out += " + 99) / 100";
  out += ')';
}

}  // namespace

void Dialect::Limit(std::string_view count, std::string_view order_terms, std::string_view source,
                    std::string& out) const {
  if (order_terms.empty()) {
    out += " LIMIT ";
    out += count;
    return;
  }
  PeerLimit(count, false, order_terms, source, out);
}

void Dialect::LimitPercent(std::string_view percent, std::string_view order_terms,
                           std::string_view source, std::string_view query,
                           std::string& out) const {
  if (!order_terms.empty()) {
    PeerLimit(percent, true, order_terms, source, out);
    return;
  }
  out += " LIMIT (SELECT (COUNT(*) * ";
  out += percent;
  out += " + 99) / 100 FROM (";
  out += query;
  out += ") AS jet_counted)";
}

bool Dialect::ColumnType(std::string_view /*name*/, JetType type, uint32_t width, bool /*key*/,
                         std::string& out) const {
  switch (type) {
    case JetType::kText: out += "VARCHAR(" + std::to_string(width) + ')'; break;
    case JetType::kMemo: out += "TEXT"; break;
    case JetType::kByte:
    case JetType::kShort: out += "SMALLINT"; break;
    case JetType::kLong:
    case JetType::kCounter: out += "INTEGER"; break;
    case JetType::kSingle: out += "REAL"; break;
    case JetType::kDouble: out += "DOUBLE PRECISION"; break;
    case JetType::kCurrency: out += "DECIMAL(19, 4)"; break;
    case JetType::kDateTime: out += "TIMESTAMP"; break;
    case JetType::kYesNo: out += "SMALLINT NOT NULL DEFAULT 0"; break;
  }
  return false;
}

bool Dialect::NumberedCounter(std::string_view /*table*/, std::string_view name, bool key,
                              int32_t /*seed*/, int32_t /*step*/, std::string& out,
                              std::vector<std::string>& /*after*/) const {
  return ColumnType(name, JetType::kCounter, 0, key, out);
}

std::string_view Dialect::CounterRefusal(bool /*key*/, int32_t seed, int32_t step) const {
  if (seed == 1 && step == 1) return {};
  return "The database numbers a counter from 1 in steps of 1.";
}

void Dialect::Qualifier(std::string_view name, std::string& out) const { Identifier(name, out); }

void Dialect::IndexName(std::string_view /*table*/, std::string_view index,
                        std::string& out) const {
  Identifier(index, out);
}

Emitter::Deeper::Deeper(Emitter& emitter) : emitter_(emitter) {
  constexpr int kMaxDepth = 1000;
  if (++emitter.depth_ > kMaxDepth) {
    --emitter.depth_;
    throw TooComplex{};
  }
}

void Emitter::Statement(NodeId root, std::string& out) {
  const Node& n = ast_[root];
  switch (n.kind) {
    case NodeKind::kSelect:
    case NodeKind::kUnion: Query(root, out); return;
    case NodeKind::kInsert: {
      out += "INSERT INTO ";
      dialect_.Identifier(ast_[n.a].text, out);
      if (n.b != kNoNode) {
        out += " (";
        for (NodeId c = n.b; c != kNoNode; c = ast_[c].next) {
          if (c != n.b) out += ", ";
          dialect_.Identifier(ast_[c].text, out);
        }
        out += ')';
      }
      if (ast_[n.c].kind == NodeKind::kSelect || ast_[n.c].kind == NodeKind::kUnion) {
        out += ' ';
        Query(n.c, out);
        return;
      }
      out += " VALUES (";
      for (NodeId v = n.c; v != kNoNode; v = ast_[v].next) {
        if (v != n.c) out += ", ";
        Value(v, out);
      }
      out += ')';
      return;
    }
    case NodeKind::kTransform: Transform(n, out); return;
    case NodeKind::kUpdate: Update(n, out); return;
    case NodeKind::kDelete: Delete(n, out); return;
    default: Definition(n, out); return;
  }
}

void Emitter::Query(NodeId id, std::string& out) {
  const Node& n = ast_[id];
  if (n.kind == NodeKind::kSelect) {
    Select(ast_.selects[n.a], out);
    return;
  }
  UnionMember(n.a, out);
  out += n.flag ? " UNION ALL " : " UNION ";
  UnionMember(n.b, out);
  if (n.c == kNoNode) return;
  // The sort of a union names the columns of its result: a qualified column
  // is the result column of that name.
  out += " ORDER BY ";
  for (NodeId t = n.c; t != kNoNode; t = ast_[t].next) {
    if (t != n.c) out += ", ";
    const Node& term = ast_[t];
    const Node& e = ast_[term.a];
    if (e.kind == NodeKind::kColumn) {
      NodeId first = id;
      while (ast_[first].kind == NodeKind::kUnion) first = ast_[first].a;
      dialect_.Identifier(ResultName(ast_.selects[ast_[first].a], e.text), out);
    } else if (e.kind == NodeKind::kNumber) {
      out += e.text;
    } else {
      Expression(term.a, false, out);
    }
    if (term.flag) out += " DESC";
    dialect_.SortNulls(term.flag, out);
  }
}

// A SELECT of a union that sorts or limits its own rows stands as a table,
// since a member of a compound select may do neither.
void Emitter::UnionMember(NodeId id, std::string& out) {
  const Node& n = ast_[id];
  if (n.kind == NodeKind::kUnion) {
    Query(id, out);
    return;
  }
  const SelectParts& select = ast_.selects[n.a];
  if (select.top.empty() && select.order_by == kNoNode) {
    Select(select, out);
    return;
  }
  out += "SELECT * FROM (";
  Select(select, out);
  out += ')';
}

bool Emitter::ReadsColumn(NodeId id, std::string_view name) const {
  std::vector<NodeId> pending{id};
  while (!pending.empty()) {
    const Node& n = ast_[pending.back()];
    pending.pop_back();
    if (n.kind == NodeKind::kColumn && rules::EqualsNoCase(n.text, name)) return true;
    // The expression's own operands and arguments; not a subquery's.
    if (n.kind == NodeKind::kSubquery || n.kind == NodeKind::kExists) continue;
    for (NodeId child : {n.a, n.b, n.c}) {
      if (child == kNoNode || n.kind == NodeKind::kDate) continue;
      pending.push_back(child);
      // Arguments and IN lists are chained through next.
      for (NodeId more = ast_[child].next; more != kNoNode; more = ast_[more].next) {
        pending.push_back(more);
      }
    }
  }
  return false;
}

bool Emitter::Constant(NodeId id) const {
  std::vector<NodeId> pending{id};
  while (!pending.empty()) {
    const Node& n = ast_[pending.back()];
    pending.pop_back();
    switch (n.kind) {
      case NodeKind::kColumn:
      case NodeKind::kStar:
      case NodeKind::kSubquery:
      case NodeKind::kExists: return false;
      case NodeKind::kDate: continue;  // a: the date's index, no node
      default: break;
    }
    for (NodeId child : {n.a, n.b, n.c}) {
      if (child == kNoNode) continue;
      pending.push_back(child);
      for (NodeId more = ast_[child].next; more != kNoNode; more = ast_[more].next) {
        pending.push_back(more);
      }
    }
  }
  return true;
}

NodeId Emitter::SourceNamed(NodeId sources, std::string_view name) const {
  NodeId found = kNoNode;
  AnySource(ast_, sources, [&](const Node& n, NodeId id) {
    if (n.kind != NodeKind::kTable || !(name.empty() || rules::EqualsNoCase(NameOf(n), name))) {
      return false;
    }
    found = id;
    return true;
  });
  return found;
}

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

void Emitter::Names(NodeId first, std::string& out) {
  out += " (";
  for (NodeId c = first; c != kNoNode; c = ast_[c].next) {
    if (c != first) out += ", ";
    dialect_.Identifier(ast_[c].text, out);
  }
  out += ')';
}

void Emitter::Constraint(const Node& c, std::string_view table, std::string& out) {
  if (!c.text.empty()) {
    out += " CONSTRAINT ";
    dialect_.IndexName(table, c.text, out);
  }
  switch (KindOf(c.op)) {
    case ConstraintKind::kPrimaryKey: out += " PRIMARY KEY"; break;
    case ConstraintKind::kUnique: out += " UNIQUE"; break;
    case ConstraintKind::kNotNull: out += " NOT NULL"; return;
    case ConstraintKind::kForeignKey:
      if (c.a != kNoNode) {
        out += " FOREIGN KEY";
        Names(c.a, out);
      }
      out += " REFERENCES ";
      dialect_.Identifier(c.text2, out);
      if (c.b != kNoNode) Names(c.b, out);
      if (c.op & kOnDeleteCascade) out += " ON DELETE CASCADE";
      if (c.op & kOnDeleteSetNull) out += " ON DELETE SET NULL";
      if (c.op & kOnUpdateCascade) out += " ON UPDATE CASCADE";
      if (c.op & kOnUpdateSetNull) out += " ON UPDATE SET NULL";
      return;
  }
  if (c.a != kNoNode) Names(c.a, out);
}

bool Emitter::ColumnDefinition(const Node& def, std::string_view table, bool key, std::string& out,
                               bool in_key) {
  dialect_.Identifier(def.text, out);
  out += ' ';
  const auto type = static_cast<JetType>(def.op);
  bool made_key;
  const auto seed = static_cast<int32_t>(def.a), step = static_cast<int32_t>(def.c);
  if (type != JetType::kCounter) {
    made_key = dialect_.ColumnType(def.text, type, def.a, key, out);
  } else if (const std::string_view refusal = dialect_.CounterRefusal(key, seed, step);
             !refusal.empty()) {
    throw Refused{errnum::kFail, std::string(refusal)};
  } else if (seed != 1 || step != 1) {
    made_key = dialect_.NumberedCounter(table, def.text, key, seed, step, out, after_);
  } else {
    made_key = dialect_.ColumnType(def.text, type, def.a, key, out);
  }
  bool wrote_key = made_key;
  // Jet refuses Null in a key's columns; SQLite would keep it, so the rule
  // is written out (a counter the engine made its key numbers a Null).
  bool required = def.flag || in_key;
  for (NodeId c = def.b; c != kNoNode; c = ast_[c].next) {
    required = required || KindOf(ast_[c].op) == ConstraintKind::kPrimaryKey;
  }
  if (required && !made_key) out += " NOT NULL";
  for (NodeId c = def.b; c != kNoNode; c = ast_[c].next) {
    const Node& constraint = ast_[c];
    const auto kind = KindOf(constraint.op);
    if (kind == ConstraintKind::kNotNull) continue;
    if (kind == ConstraintKind::kPrimaryKey) {
      if (made_key) continue;
      wrote_key = true;
    }
    // Named within the table, so DROP CONSTRAINT finds it there.
    Constraint(constraint, table, out);
  }
  return wrote_key;
}

std::vector<std::string> Emitter::ColumnNames(NodeId first) const {
  std::vector<std::string> names;
  for (NodeId c = first; c != kNoNode; c = ast_[c].next) {
    const Node& n = ast_[c];
    names.emplace_back(n.kind == NodeKind::kOrderItem ? ast_[n.a].text : n.text);
  }
  return names;
}

namespace {

// The column an ALTER COLUMN converts, as the one operand of Jet's
// conversion function.
class ColumnOperand final : public Operands {
 public:
  ColumnOperand(const Dialect& dialect, std::string_view name) : dialect_(dialect), name_(name) {}
  size_t size() const override { return 1; }
  void Write(size_t, std::string& out) const override { dialect_.Identifier(name_, out); }
  void WriteArgument(size_t, std::string& out) const override { dialect_.Identifier(name_, out); }
  bool IsColumn(size_t) const override { return true; }
  bool IsText(size_t) const override { return false; }
  const std::string* TextValue(size_t) const override { return nullptr; }

 private:
  const Dialect& dialect_;
  std::string_view name_;
};

// Jet's conversion function to a field type.
JetFunction ConversionTo(JetType type) {
  switch (type) {
    case JetType::kText:
    case JetType::kMemo: return JetFunction::kCStr;
    case JetType::kByte: return JetFunction::kCByte;
    case JetType::kShort: return JetFunction::kCInt;
    case JetType::kLong:
    case JetType::kCounter: return JetFunction::kCLng;
    case JetType::kSingle: return JetFunction::kCSng;
    case JetType::kDouble: return JetFunction::kCDbl;
    case JetType::kCurrency: return JetFunction::kCCur;
    case JetType::kDateTime: return JetFunction::kCDate;
    case JetType::kYesNo: return JetFunction::kCBool;
  }
  return JetFunction::kCStr;
}

}  // namespace

// The column takes its new type as Jet converts a field's values: each
// value through the conversion function of the type, Null staying Null (a
// Yes/No field, never Null, takes No for it).
void Emitter::AlterColumn(const Node& alter, TableEdit& edit) {
  const Node& def = ast_[alter.a];
  const auto type = static_cast<JetType>(def.op);
  if (type == JetType::kCounter) {
    throw Refused{errnum::kFail, "The database cannot make an existing column a counter."};
  }
  edit.column = std::string(def.text);
  edit.type = type;
  edit.width = def.a;
  if (def.flag) edit.required.emplace_back(def.text);
  const ColumnOperand value(dialect_, def.text);
  std::string& out = edit.conversion;
  out += "CASE WHEN ";
  dialect_.Identifier(def.text, out);
  out += type == JetType::kYesNo ? " IS NULL THEN 0 ELSE " : " IS NULL THEN NULL ELSE ";
  dialect_.Function(ConversionTo(type), value, out);
  out += " END";
  // A constraint of the column's new definition becomes the table's.
  for (NodeId c = def.b; c != kNoNode; c = ast_[c].next) {
    Node constraint = ast_[c];
    const auto kind = KindOf(constraint.op);
    if (kind == ConstraintKind::kNotNull) continue;
    if (!edit.add.empty()) {
      throw Refused{errnum::kSyntax, "Syntax error in ALTER TABLE statement."};
    }
    // The column's own constraint, written for the table: its column is
    // the one altered.
    std::string columns;
    dialect_.Identifier(def.text, columns);
    if (!constraint.text.empty()) {
      edit.add += " CONSTRAINT ";
      dialect_.IndexName(alter.text, constraint.text, edit.add);
    }
    constraint.text = {};
    switch (kind) {
      case ConstraintKind::kPrimaryKey:
        edit.add += " PRIMARY KEY (" + columns + ")";
        edit.key = true;
        if (!def.flag) edit.required.emplace_back(def.text);
        break;
      case ConstraintKind::kUnique: edit.add += " UNIQUE (" + columns + ")"; break;
      default:
        edit.add += " FOREIGN KEY (" + columns + ")";
        Constraint(constraint, alter.text, edit.add);
        break;
    }
  }
}

void Emitter::CreateTable(const Node& n, std::string& out) {
  // The table's only key column, when its key is one column, so that an
  // engine can make a numbering column its key; a counter column of a table
  // without any key is made the key, as its numbers are unique anyway.
  std::string_view key;
  bool has_key = false;
  std::string_view counter;
  std::vector<std::string> key_columns;  // those of a key the table declares apart
  std::vector<std::string_view> fields;
  for (NodeId i = n.a; i != kNoNode; i = ast_[i].next) {
    const Node& item = ast_[i];
    if (item.kind == NodeKind::kColumnDef) {
      if (std::any_of(fields.begin(), fields.end(),
                      [&](std::string_view f) { return rules::EqualsNoCase(f, item.text); })) {
        throw Refused{errnum::kSyntax, "Cannot define field more than once."};
      }
      fields.push_back(item.text);
    }
    if (item.kind == NodeKind::kConstraint) {
      if (KindOf(item.op) != ConstraintKind::kPrimaryKey) continue;
      has_key = true;
      if (item.a != kNoNode && ast_[item.a].next == kNoNode) key = ast_[item.a].text;
      key_columns = ColumnNames(item.a);
      continue;
    }
    if (static_cast<JetType>(item.op) == JetType::kCounter && counter.empty()) counter = item.text;
    for (NodeId c = item.b; c != kNoNode; c = ast_[c].next) {
      if (KindOf(ast_[c].op) == ConstraintKind::kPrimaryKey) {
        has_key = true;
        key = item.text;
      }
    }
  }
  if (!has_key) key = counter;
  out += "CREATE TABLE ";
  dialect_.Identifier(n.text, out);
  out += " (";
  bool key_written = false;
  bool first = true;
  for (NodeId i = n.a; i != kNoNode; i = ast_[i].next) {
    const Node& item = ast_[i];
    if (item.kind != NodeKind::kColumnDef) continue;
    if (!first) out += ", ";
    first = false;
    const bool is_key = !key.empty() && rules::EqualsNoCase(item.text, key);
    const bool in_key =
        std::any_of(key_columns.begin(), key_columns.end(),
                    [&](const std::string& c) { return rules::EqualsNoCase(c, item.text); });
    if (ColumnDefinition(item, n.text, is_key, out, in_key) && is_key) key_written = true;
  }
  for (NodeId i = n.a; i != kNoNode; i = ast_[i].next) {
    const Node& item = ast_[i];
    if (item.kind != NodeKind::kConstraint) continue;
    if (key_written && KindOf(item.op) == ConstraintKind::kPrimaryKey && item.a != kNoNode &&
        ast_[item.a].next == kNoNode) {
      continue;
    }
    out += ',';
    // Named as Jet names it within its table.
    Constraint(item, n.text, out);
  }
  out += ')';
}

void Emitter::Definition(const Node& n, std::string& out) {
  switch (n.kind) {
    case NodeKind::kCreateTable: CreateTable(n, out); return;
    case NodeKind::kCreateIndex: {
      const auto option = static_cast<IndexOption>(n.op);
      if (option == IndexOption::kPrimary) {
        // The table's key, named as the index: its columns refuse Null.
        TableEdit& edit = edit_.emplace();
        edit.table = n.text2;
        edit.add = " CONSTRAINT ";
        dialect_.IndexName(n.text2, n.text, edit.add);
        edit.add += " PRIMARY KEY (";
        for (NodeId c = n.a; c != kNoNode; c = ast_[c].next) {
          if (c != n.a) edit.add += ", ";
          dialect_.Identifier(ast_[ast_[c].a].text, edit.add);
        }
        edit.add += ')';
        edit.key = true;
        edit.required = ColumnNames(n.a);
        return;
      }
      std::string& index = option == IndexOption::kDisallowNull ? edit_.emplace().then : out;
      index += n.flag ? "CREATE UNIQUE INDEX " : "CREATE INDEX ";
      dialect_.IndexName(n.text2, n.text, index);
      index += " ON ";
      dialect_.Identifier(n.text2, index);
      index += " (";
      for (NodeId c = n.a; c != kNoNode; c = ast_[c].next) {
        if (c != n.a) index += ", ";
        dialect_.Identifier(ast_[ast_[c].a].text, index);
        if (ast_[c].flag) index += " DESC";
      }
      index += ')';
      if (edit_) {
        // WITH DISALLOW NULL: the index's columns refuse Null from now on.
        edit_->table = n.text2;
        edit_->required = ColumnNames(n.a);
      }
      return;
    }
    case NodeKind::kDropTable:
      out += "DROP TABLE ";
      dialect_.Identifier(n.text, out);
      return;
    case NodeKind::kDropIndex:
      // The index may be the table's key, which only a change of the table
      // drops.
      edit_.emplace().table = n.text2;
      edit_->drop = n.text;
      return;
    case NodeKind::kAlterTable: {
      const auto action = static_cast<AlterAction>(n.op);
      switch (action) {
        case AlterAction::kAddColumn:
          out += "ALTER TABLE ";
          dialect_.Identifier(n.text, out);
          out += " ADD COLUMN ";
          ColumnDefinition(ast_[n.a], n.text, false, out);
          return;
        case AlterAction::kDropColumn:
          out += "ALTER TABLE ";
          dialect_.Identifier(n.text, out);
          out += " DROP COLUMN ";
          dialect_.Identifier(n.text2, out);
          return;
        case AlterAction::kAddConstraint: {
          const Node& c = ast_[n.a];
          const auto kind = KindOf(c.op);
          if (kind == ConstraintKind::kUnique) {
            // The unique index Jet makes for the constraint, under its name.
            out += "CREATE UNIQUE INDEX ";
            dialect_.IndexName(n.text, c.text, out);
            out += " ON ";
            dialect_.Identifier(n.text, out);
            Names(c.a, out);
            return;
          }
          TableEdit& edit = edit_.emplace();
          edit.table = n.text;
          Constraint(c, n.text, edit.add);
          if (kind == ConstraintKind::kPrimaryKey) {
            edit.key = true;
            edit.required = ColumnNames(c.a);
          }
          return;
        }
        case AlterAction::kDropConstraint:
          edit_.emplace().table = n.text;
          edit_->drop = n.text2;
          return;
        case AlterAction::kAlterColumn:
          edit_.emplace().table = n.text;
          AlterColumn(n, *edit_);
          return;
      }
      return;
    }
    default: return;
  }
}

// An aggregate's arguments in a crosstab's cell: the first one counts only
// on the rows of the cell's column (Count(*) counts those rows).
class FilteredOperands final : public Operands {
 public:
  FilteredOperands(Emitter& emitter, const NodeId* ids, size_t count)
      : emitter_(emitter), plain_(emitter, ids, count), ids_(ids) {}
  size_t size() const override { return plain_.size(); }
  void Write(size_t index, std::string& out) const override { WriteArgument(index, out); }
  void WriteArgument(size_t index, std::string& out) const override {
    if (index != 0) {
      plain_.WriteArgument(index, out);
      return;
    }
    out += "CASE WHEN ";
    emitter_.PivotCondition(out);
    out += " THEN ";
    if (emitter_.ast_[ids_[0]].kind == NodeKind::kStar) {
      out += '1';
    } else {
      plain_.WriteArgument(0, out);
    }
    out += " END";
  }
  bool IsColumn(size_t) const override { return false; }
  bool IsText(size_t index) const override { return index != 0 && plain_.IsText(index); }
  const std::string* TextValue(size_t index) const override {
    return index != 0 ? plain_.TextValue(index) : nullptr;
  }

 private:
  Emitter& emitter_;
  NodeOperands plain_;
  const NodeId* ids_;
};

void Emitter::Transform(const Node& n, std::string& out) {
  const Node& pivot = ast_[n.c];
  const SelectParts& select = ast_.selects[ast_[n.b].a];
  if (pivot.b != kNoNode || pivot_values_ != nullptr) {
    transform_ = &n;
    Select(select, out);
    return;
  }
  // The columns are the values the pivot takes in the rows the crosstab
  // reads, in order: they are asked for first.
  wrote_pivot_query_ = true;
  const size_t lifted = parameters_ != nullptr ? parameters_->size() : 0;
  const size_t unnamed = unnamed_subqueries_;
  {
    // The crosstab is written once on trial, without columns, so that one
    // which cannot be written is refused now, not once its values are read.
    const std::vector<PivotValue> none;
    pivot_values_ = &none;
    transform_ = &n;
    std::string trial;
    Select(select, trial);
    pivot_values_ = nullptr;
  }
  // A sort key other than the value itself is selected beside it: an engine
  // may order DISTINCT rows only by what they hold, and the key is a
  // function of the value. Both are written once on trial to compare them.
  std::string value, key;
  Expression(pivot.a, false, value);
  SortKey(pivot.a, false, key);
  if (parameters_ != nullptr) parameters_->resize(lifted);
  unnamed_subqueries_ = unnamed;
  const bool keyed = value != key;
  out += "SELECT DISTINCT ";
  Expression(pivot.a, false, out);
  out += " AS jet_pivot";
  if (keyed) {
    out += ", ";
    SortKey(pivot.a, false, out);
    out += " AS jet_pivot_order";
  }
  if (select.from != kNoNode) Sources(select.from, out);
  if (select.where != kNoNode) {
    out += " WHERE ";
    Filter(select.where, out);
  }
  out += " ORDER BY ";
  if (keyed) {
    out += "jet_pivot_order";
  } else {
    SortKey(pivot.a, false, out);
  }
  dialect_.SortNulls(false, out);  // the column of Null rows comes first
}

void Emitter::PivotCondition(std::string& out) {
  const NodeId expression = ast_[transform_pivot_].a;
  if (pivot_value_ != nullptr && pivot_value_->null) {
    Expression(expression, true, out);
    out += " IS NULL";
    return;
  }
  SortKey(expression, true, out);
  out += " = ";
  if (pivot_value_ == nullptr) {
    Expression(pivot_node_, true, out);
    return;
  }
  const Parameter& value = pivot_value_->value;
  if (parameters_ != nullptr) {
    parameters_->push_back(value);
    dialect_.Placeholder(parameters_->size(), out);
    return;
  }
  switch (value.kind) {
    case Parameter::Kind::kText: dialect_.TextLiteral(value.text, out); break;
    case Parameter::Kind::kDate: dialect_.DateLiteral(value.date, out); break;
    case Parameter::Kind::kInteger: out += std::to_string(value.integer); break;
    case Parameter::Kind::kReal: {
      char buf[32];
      out.append(buf, std::to_chars(buf, buf + sizeof buf, value.real).ptr);
      break;
    }
  }
}

// The crosstab's columns after the row headings: for each pivot value, the
// TRANSFORM value over the group's rows of that value, Null when it has none.
void Emitter::PivotColumns(std::string& out) {
  const Node& t = *transform_;
  transform_pivot_ = t.c;
  const Node& pivot = ast_[t.c];
  auto column = [&](std::string_view name) {
    out += ", CASE WHEN count(CASE WHEN ";
    PivotCondition(out);
    out += " THEN 1 END) > 0 THEN ";
    filtering_ = true;
    Value(t.a, out);
    filtering_ = false;
    out += " END AS ";
    dialect_.Identifier(name, out);
  };
  if (pivot.b != kNoNode) {
    for (NodeId v = pivot.b; v != kNoNode; v = ast_[v].next) {
      pivot_node_ = v;
      const Node& value = ast_[v];
      std::string name;
      switch (value.kind) {
        case NodeKind::kText: name = TextOf(value); break;
        case NodeKind::kDate: name = ast_.dates[value.a].ToStored(); break;
        case NodeKind::kUnary: name = "-" + std::string(ast_[value.a].text); break;
        default: name = value.text; break;
      }
      column(name);
    }
  } else {
    for (const PivotValue& v : *pivot_values_) {
      pivot_value_ = &v;
      column(v.null ? "<>" : v.name);
    }
  }
  pivot_node_ = kNoNode;
  pivot_value_ = nullptr;
}

void Emitter::Select(const SelectParts& select, std::string& out) {
  const size_t start = out.size();
  // The crosstab this select belongs to; not the selects inside it.
  const bool crosstab = transform_ != nullptr;
  const Node* transform = transform_;
  transform_ = nullptr;
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
  folded_groups_ = grouped;  // as copy: back for GROUP BY after WHERE
  std::vector<std::pair<std::string_view, NodeId>> named;  // every alias of the list
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
    }
  }
  // The select list's aliases, for the ORDER BY of a TOP with ties.
  std::vector<std::pair<std::string_view, NodeId>> list_aliases;
  list_aliases.swap(aliases_);
  if (crosstab) {
    transform_ = transform;
    PivotColumns(out);
    transform_ = nullptr;
  }
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
  } else if (crosstab) {
    out += " ORDER BY ";  // a crosstab's rows come in the order of their headings
    Terms(select.group_by, true, out);
  }
  if (select.top.empty()) return;
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

void Emitter::Sources(NodeId first, std::string& out) {
  out += " FROM ";
  for (NodeId s = first; s != kNoNode; s = ast_[s].next) {
    if (s != first) out += ", ";
    Source(s, out);
  }
}

void Emitter::Source(NodeId id, std::string& out) {
  Deeper deeper(*this);
  const Node& n = ast_[id];
  switch (n.kind) {
    case NodeKind::kTable: dialect_.Identifier(n.text, out); break;
    case NodeKind::kDerived:
      out += '(';
      Query(n.a, out);
      out += ')';
      if (n.text2.empty()) dialect_.UnnamedSubquery(++unnamed_subqueries_, out);
      break;
    case NodeKind::kJoin: {
      // Jet nests joins in parentheses; a chain that grows on the left reads
      // the same without them, a join nested on the right keeps them.
      Source(n.a, out);
      const auto kind = static_cast<JoinKind>(n.op);
      out += kind == JoinKind::kInner  ? " INNER JOIN "
             : kind == JoinKind::kLeft ? " LEFT JOIN "
                                       : " RIGHT JOIN ";
      const bool nested = ast_[n.b].kind == NodeKind::kJoin;
      if (nested) out += '(';
      Source(n.b, out);
      if (nested) out += ')';
      out += " ON ";
      Filter(n.c, out);
      return;
    }
    default: return;
  }
  if (!n.text2.empty()) {
    out += " AS ";
    dialect_.Qualifier(n.text2, out);
  }
}

bool Emitter::IsTruthValue(NodeId id) const {
  const Node& n = ast_[id];
  switch (n.kind) {
    case NodeKind::kNot: return IsTruthValue(n.a);
    case NodeKind::kLike:
    case NodeKind::kIsNull:
    case NodeKind::kIn:
    case NodeKind::kBetween:
    case NodeKind::kExists: return true;
    case NodeKind::kBinary: {
      const auto op = static_cast<BinaryOp>(n.op);
      return IsComparison(op) || op <= BinaryOp::kAnd;
    }
    default: return false;
  }
}

void Emitter::Value(NodeId id, std::string& out) {
  if (!IsTruthValue(id)) {
    Expression(id, false, out);
    return;
  }
  dialect_.TruthValue(NodeOperands(*this, &id, 1), out);
}

bool Emitter::CaseMatters(NodeId id) const {
  const Node& n = ast_[id];
  switch (n.kind) {
    case NodeKind::kColumn:
    case NodeKind::kNumber:
    case NodeKind::kBool:
    case NodeKind::kNull: return false;
    case NodeKind::kUnary: return ast_[n.a].kind != NodeKind::kNumber;
    default: return true;
  }
}

bool Emitter::IsFoldedGroup(NodeId id) {
  if (folded_groups_.empty()) return false;
  const uint64_t hash = shapes_.Hash(id);
  for (NodeId g : folded_groups_) {
    if (shapes_.Hash(g) == hash && shapes_.Same(id, g)) return true;
  }
  return false;
}

bool Emitter::LiftNumber(std::string_view text, std::string& out) {
  if (parameters_ == nullptr) return false;
  Parameter p;
  if (!NumberParameter(text, p)) return false;
  parameters_->push_back(std::move(p));
  dialect_.Placeholder(parameters_->size(), out);
  return true;
}

void Emitter::LiftText(std::string_view text, std::string& out) {
  parameters_->push_back(Parameter::Text(std::string(text)));
  dialect_.Placeholder(parameters_->size(), out);
}

void Emitter::LiftDate(const Date& date, std::string& out) {
  Parameter& p = parameters_->emplace_back();
  p.kind = Parameter::Kind::kDate;
  p.date = date;
  dialect_.Placeholder(parameters_->size(), out);
}

void Emitter::Column(const Node& n, std::string& out) {
  if (!n.text2.empty()) {
    dialect_.Qualifier(n.text2, out);
    out += '.';
  }
  dialect_.Identifier(n.text2.empty() && sorted_ != nullptr ? ResultName(*sorted_, n.text) : n.text,
                      out);
}

std::string_view Emitter::ResultName(const SelectParts& select, std::string_view name) const {
  for (NodeId i = select.items; i != kNoNode; i = ast_[i].next) {
    const Node& item = ast_[i];
    const Node& e = ast_[item.a];
    const std::string_view own = !item.text2.empty()            ? item.text2
                                 : e.kind == NodeKind::kColumn ? e.text
                                                               : std::string_view();
    if (!own.empty() && rules::EqualsNoCase(own, name)) return own;
  }
  return name;
}

void Emitter::Comparison(const Node& n, std::string& out) {
  static constexpr const char* kSpelling[] = {" = ", " <> ", " < ", " > ", " <= ", " >= "};
  const NodeId ids[2] = {n.a, n.b};
  NodeOperands operands(*this, ids, 2);
  const bool fold = CaseMatters(n.a) && CaseMatters(n.b);
  auto side = [&](size_t i) {
    if (fold) {
      dialect_.CaseInsensitive(operands, i, out);
    } else if (operands.IsText(i) && operands.IsColumn(1 - i)) {
      dialect_.TextBesideColumn(operands, i, 1 - i, out);
    } else {
      operands.Write(i, out);
    }
  };
  side(0);
  out += kSpelling[n.op - static_cast<uint8_t>(BinaryOp::kEq)];
  side(1);
}

bool Emitter::IsChain(BinaryOp op) {
  switch (op) {
    case BinaryOp::kAnd:
    case BinaryOp::kOr:
    case BinaryOp::kConcat:
    case BinaryOp::kAdd:
    case BinaryOp::kSub:
    case BinaryOp::kMul: return true;
    default: return false;
  }
}

// a op b op c ... is parsed as ((a op b) op c) ...: its terms are gathered
// along the left edge without recursion and handed to the dialect as one
// list, so a chain of thousands of terms neither deepens the emitter nor
// nests a parenthesis per operator in the SQL.
void Emitter::Chain(NodeId id, BinaryOp op, std::string& out) {
  std::vector<NodeId> terms;
  NodeId left = id;
  for (;;) {
    const Node& n = ast_[left];
    if (n.kind != NodeKind::kBinary || static_cast<BinaryOp>(n.op) != op) break;
    terms.push_back(n.b);
    left = n.a;
  }
  terms.push_back(left);
  std::reverse(terms.begin(), terms.end());
  NodeOperands operands(*this, terms.data(), terms.size());
  if (op == BinaryOp::kConcat) {
    dialect_.Concat(operands, out);
  } else if (op == BinaryOp::kAnd || op == BinaryOp::kOr) {
    dialect_.Logical(op, operands, out);
  } else {
    dialect_.Operator(op, operands, out);
  }
}

void Emitter::Filter(NodeId id, std::string& out) {
  const NodeKind kind = ast_[id].kind;
  if (kind != NodeKind::kColumn && kind != NodeKind::kCall && kind != NodeKind::kParameter &&
      kind != NodeKind::kNot) {
    Expression(id, false, out);
    return;
  }
  NodeOperands operand(*this, &id, 1);
  dialect_.Condition(operand, out);
}

// Operands already written, for the dialect's Evaluate.
class WrittenOperands final : public Operands {
 public:
  explicit WrittenOperands(const std::vector<std::string>& texts) : texts_(texts) {}
  size_t size() const override { return texts_.size(); }
  void Write(size_t index, std::string& out) const override { out += texts_[index]; }
  void WriteArgument(size_t index, std::string& out) const override { out += texts_[index]; }
  bool IsColumn(size_t) const override { return false; }
  bool IsText(size_t) const override { return false; }
  const std::string* TextValue(size_t) const override { return nullptr; }

 private:
  const std::vector<std::string>& texts_;
};

void Dialect::Evaluate(const Operands& query_and_values, std::string& out) const {
  Call("jet_eval", query_and_values, out);
}

bool Emitter::IsLiteral(NodeKind kind) {
  return kind == NodeKind::kNumber || kind == NodeKind::kText || kind == NodeKind::kDate ||
         kind == NodeKind::kBool || kind == NodeKind::kNull;
}

bool Emitter::IsPieceValue(const Node& n) const {
  auto column = [&](NodeId id) { return id != kNoNode && ast_[id].kind == NodeKind::kColumn; };
  switch (n.kind) {
    case NodeKind::kColumn:
    case NodeKind::kParameter:
    case NodeKind::kStar:
    case NodeKind::kSubquery:
    case NodeKind::kExists: return true;
    case NodeKind::kCall: return IsAggregate(static_cast<JetFunction>(n.op));
    case NodeKind::kBinary:
      return IsComparison(static_cast<BinaryOp>(n.op)) && (column(n.a) || column(n.b));
    case NodeKind::kLike:
    case NodeKind::kIn:
    case NodeKind::kBetween: return column(n.a) || column(n.b);
    default: return false;
  }
}

void Emitter::PieceValue(const std::function<void(std::string&)>& write, std::string& out) {
  if (piece_ == nullptr) {
    write(out);
    return;
  }
  Piece* piece = piece_;
  dialect_.Placeholder(piece->values.size() + 1, out);
  std::string value;
  const int level = level_;
  piece_ = piece->enclosing;
  level_ = piece->enclosing_level;
  PieceValue(write, value);
  piece_ = piece;
  level_ = level;
  piece->values.push_back(std::move(value));
}

void Emitter::WritePiece(NodeId id, std::string& out) {
  Piece piece{piece_, level_, {}};
  std::string query = "SELECT ";
  piece_ = &piece;
  level_ = 0;
  Expression(id, false, query);
  piece_ = piece.enclosing;
  level_ = piece.enclosing_level;
  // The engine's calls take at most 127 arguments.
  if (piece.values.size() > 120) throw TooComplex{};
  std::vector<std::string> operands;
  operands.reserve(piece.values.size() + 1);
  // The query's text is a value of the text the piece stands in like any
  // other, so a piece inside a piece is no text inside a text.
  PieceValue([&](std::string& o) { dialect_.TextLiteral(query, o); }, operands.emplace_back());
  for (std::string& value : piece.values) operands.push_back(std::move(value));
  dialect_.Evaluate(WrittenOperands(operands), out);
}

void Emitter::Expression(NodeId id, bool wrap, std::string& out) {
  Deeper deeper(*this);
  const Node& n = ast_[id];
  if (IsFoldedGroup(id)) {
    // Written once wrapped; inside, the expression is itself again. Its
    // literals stay in the text: a placeholder of its own at each place
    // would make the engine see different expressions.
    std::vector<NodeId> groups;
    groups.swap(folded_groups_);
    std::vector<Parameter>* parameters = std::exchange(parameters_, nullptr);
    dialect_.CaseInsensitive(NodeOperands(*this, &id, 1), 0, out);
    parameters_ = parameters;
    folded_groups_.swap(groups);
    return;
  }
  // Only an engine that limits how deeply its statements nest writes deep
  // expressions in pieces; the others never get past this test.
  if (levels_ > 0) {
    if (piece_ != nullptr && IsPieceValue(n)) {
      PieceValue([&](std::string& o) { Expression(id, false, o); }, out);
      return;
    }
    // Past the limit only what writes no level below it is written here.
    if (level_ >= levels_ && !IsLiteral(n.kind) && !IsPieceValue(n)) {
      WritePiece(id, out);
      return;
    }
    ++level_;
    struct Restore {
      int& level;
      ~Restore() { --level; }
    } restore{level_};
    ExpressionAt(n, id, wrap, out);
    return;
  }
  ExpressionAt(n, id, wrap, out);
}

void Emitter::ExpressionAt(const Node& n, NodeId id, bool wrap, std::string& out) {
  switch (n.kind) {
    // A literal is written into a piece's text (the text is a value of its
    // own, so its quotes are doubled once), not lifted out of it.
    case NodeKind::kNumber:
      if (piece_ != nullptr || !LiftNumber(n.text, out)) out += n.text;
      return;
    case NodeKind::kText: {
      std::string_view body = n.text.substr(1, n.text.size() - 2);
      if (body.find(n.text.front()) != std::string_view::npos) {
        scratch_ = TextOf(n);
        body = scratch_;
      }
      if (parameters_ != nullptr && piece_ == nullptr) {
        LiftText(body, out);
      } else {
        dialect_.TextLiteral(body, out);
      }
      return;
    }
    case NodeKind::kDate:
      if (parameters_ != nullptr && piece_ == nullptr) {
        LiftDate(ast_.dates[n.a], out);
      } else {
        dialect_.DateLiteral(ast_.dates[n.a], out);
      }
      return;
    case NodeKind::kBool: dialect_.BooleanLiteral(n.flag, out); return;
    case NodeKind::kNull: out += "NULL"; return;
    case NodeKind::kColumn:
      if (n.text2.empty()) {
        for (const auto& [alias, expression] : aliases_) {
          if (!rules::EqualsNoCase(alias, n.text)) continue;
          if (alias_qualifier_.empty()) {
            // Aliases that read each other ("A AS b, B AS a, a + 1") never end.
            if (std::find(expanding_.begin(), expanding_.end(), expression) != expanding_.end()) {
              throw Refused{errnum::kSyntax, "Circular reference caused by alias '" +
                                                 std::string(alias) +
                                                 "' in query definition's SELECT list."};
            }
            expanding_.push_back(expression);
            Expression(expression, true, out);
            expanding_.pop_back();
          } else {
            dialect_.Qualifier(alias_qualifier_, out);
            out += '.';
            dialect_.Identifier(n.text, out);
          }
          return;
        }
      }
      Column(n, out);
      return;
    case NodeKind::kParameter: out += "NULL"; return;  // refused by the parser
    case NodeKind::kStar:
      if (!n.text2.empty()) {
        dialect_.Qualifier(n.text2, out);
        out += '.';
      }
      out += '*';
      return;
    case NodeKind::kCall: {
      // The parser allows at most 30 arguments (Switch and Choose).
      std::array<NodeId, 32> args;
      size_t count = 0;
      for (NodeId a = n.a; a != kNoNode && count < args.size(); a = ast_[a].next) {
        args[count++] = a;
      }
      const auto function = static_cast<JetFunction>(n.op);
      NodeOperands operands(*this, args.data(), count, function);
      if (filtering_ && IsAggregate(function) && count > 0) {
        // In a crosstab's cell each aggregate takes the rows of its column
        // alone. Others' rows become Null, which the aggregates skip; First
        // and Last take Null like any value, so they leave the rows out.
        filtering_ = false;  // aggregates do not nest
        if (function == JetFunction::kFirst || function == JetFunction::kLast) {
          dialect_.Function(function, operands, out);
          out += " FILTER (WHERE ";
          PivotCondition(out);
          out += ')';
        } else {
          dialect_.Function(function, FilteredOperands(*this, args.data(), count), out);
        }
        filtering_ = true;
        return;
      }
      if (function == JetFunction::kIif) {
        dialect_.Iif(operands, out);
      } else {
        dialect_.Function(function, operands, out);
      }
      return;
    }
    case NodeKind::kSubquery:
      out += '(';
      Query(n.a, out);
      out += ')';
      return;
    case NodeKind::kExists:
      out += "EXISTS ";
      Expression(n.a, false, out);
      return;
    default: break;
  }

  // Operator expressions.
  if (wrap) out += '(';
  switch (n.kind) {
    case NodeKind::kUnary:
      // -Null is Null; the server finds no one minus for an untyped NULL.
      if (ast_[n.a].kind == NodeKind::kNull) {
        out += "NULL";
        break;
      }
      out += '-';
      Expression(n.a, true, out);
      break;
    case NodeKind::kNot:
      if (IsTruthValue(n.a)) {
        dialect_.Not(NodeOperands(*this, &n.a, 1), out);
      } else {
        dialect_.BitNot(NodeOperands(*this, &n.a, 1), out);
      }
      break;
    case NodeKind::kIsNull:
      Expression(n.a, true, out);
      out += n.flag ? " IS NOT NULL" : " IS NULL";
      break;
    case NodeKind::kLike: {
      const NodeId ids[2] = {n.a, n.b};
      NodeOperands operands(*this, ids, 2);
      dialect_.Like(operands, n.flag, ansi89_ && n.op == 0, out);
      break;
    }
    case NodeKind::kIn: {
      const bool subquery = ast_[n.b].kind == NodeKind::kSubquery;
      NodeOperands lhs(*this, &n.a, 1);
      if (CaseMatters(n.a) && (subquery || CaseMatters(n.b))) {
        dialect_.CaseInsensitive(lhs, 0, out);
      } else {
        lhs.Write(0, out);
      }
      out += n.flag ? " NOT IN " : " IN ";
      if (subquery) {
        Expression(n.b, false, out);
        break;
      }
      out += '(';
      for (NodeId item = n.b; item != kNoNode; item = ast_[item].next) {
        if (item != n.b) out += ", ";
        if (ast_[item].kind == NodeKind::kText && ast_[n.a].kind == NodeKind::kColumn) {
          const NodeId pair[2] = {n.a, item};
          dialect_.TextBesideColumn(NodeOperands(*this, pair, 2), 1, 0, out);
        } else {
          Expression(item, false, out);
        }
      }
      out += ')';
      break;
    }
    case NodeKind::kBetween: {
      NodeOperands lhs(*this, &n.a, 1);
      if (CaseMatters(n.a) && CaseMatters(n.b) && CaseMatters(n.c)) {
        dialect_.CaseInsensitive(lhs, 0, out);
      } else {
        lhs.Write(0, out);
      }
      out += n.flag ? " NOT BETWEEN " : " BETWEEN ";
      Expression(n.b, true, out);
      out += " AND ";
      Expression(n.c, true, out);
      break;
    }
    case NodeKind::kBinary: {
      const auto op = static_cast<BinaryOp>(n.op);
      if (IsComparison(op)) {
        Comparison(n, out);
        break;
      }
      if (IsChain(op)) {
        Chain(id, op, out);
        break;
      }
      const NodeId ids[2] = {n.a, n.b};
      NodeOperands operands(*this, ids, 2);
      if (op == BinaryOp::kXor || op == BinaryOp::kEqv || op == BinaryOp::kImp) {
        dialect_.Logical(op, operands, out);
      } else {
        dialect_.Operator(op, operands, out);
      }
      break;
    }
    default: break;
  }
  if (wrap) out += ')';
}

}  // namespace tessaly::db::jet
