#include "db/jet/Emitter.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdlib>

namespace tessaly::db::jet {

// The children of a node, as a hook's operands.
class NodeOperands final : public Operands {
 public:
  NodeOperands(Emitter& emitter, const NodeId* ids, size_t count)
      : emitter_(emitter), ids_(ids), count_(count) {}
  size_t size() const override { return count_; }
  void Write(size_t index, std::string& out) const override {
    emitter_.Expression(ids_[index], true, out);
  }
  void WriteArgument(size_t index, std::string& out) const override {
    emitter_.Expression(ids_[index], false, out);
  }
  bool IsColumn(size_t index) const override {
    return emitter_.ast_[ids_[index]].kind == NodeKind::kColumn;
  }
  bool IsText(size_t index) const override {
    return emitter_.ast_[ids_[index]].kind == NodeKind::kText;
  }

 private:
  Emitter& emitter_;
  const NodeId* ids_;
  size_t count_;
};

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

void Dialect::Limit(std::string_view count, std::string& out) const {
  out += " LIMIT ";
  out += count;
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
    case NodeKind::kSelect: Select(ast_.selects[n.a], out); return;
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
      if (ast_[n.c].kind == NodeKind::kSelect) {
        out += ' ';
        Select(ast_.selects[ast_[n.c].a], out);
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
    case NodeKind::kUpdate:
      out += "UPDATE ";
      dialect_.Identifier(ast_[n.a].text, out);
      out += " SET ";
      for (NodeId s = n.b; s != kNoNode; s = ast_[s].next) {
        if (s != n.b) out += ", ";
        // SQL names the assigned column without a table qualifier.
        dialect_.Identifier(ast_[ast_[s].a].text, out);
        out += " = ";
        Value(ast_[s].b, out);
      }
      break;
    case NodeKind::kDelete:
      out += "DELETE FROM ";
      Source(n.a, out);
      break;
    default: return;
  }
  if (n.c != kNoNode) {
    out += " WHERE ";
    Expression(n.c, false, out);
  }
}

void Emitter::Select(const SelectParts& select, std::string& out) {
  out += select.distinct ? "SELECT DISTINCT " : "SELECT ";
  int unnamed = 1000;
  for (NodeId i = select.items; i != kNoNode; i = ast_[i].next) {
    if (i != select.items) out += ", ";
    const Node& item = ast_[i];
    const Node& e = ast_[item.a];
    Value(item.a, out);
    if (!item.text2.empty()) {
      out += " AS ";
      dialect_.Identifier(item.text2, out);
    } else if (e.kind != NodeKind::kColumn && e.kind != NodeKind::kStar) {
      out += " AS ";
      dialect_.Identifier("Expr" + std::to_string(unnamed++), out);
    }
  }
  if (select.from != kNoNode) {
    out += " FROM ";
    for (NodeId s = select.from; s != kNoNode; s = ast_[s].next) {
      if (s != select.from) out += ", ";
      Source(s, out);
    }
  }
  if (select.where != kNoNode) {
    out += " WHERE ";
    Expression(select.where, false, out);
  }
  if (select.group_by != kNoNode) {
    out += " GROUP BY ";
    Terms(select.group_by, out);
  }
  if (select.having != kNoNode) {
    out += " HAVING ";
    Expression(select.having, false, out);
  }
  if (select.order_by != kNoNode) {
    out += " ORDER BY ";
    Terms(select.order_by, out);
  }
  if (!select.top.empty()) dialect_.Limit(select.top, out);
}

void Emitter::Terms(NodeId first, std::string& out) {
  for (NodeId t = first; t != kNoNode; t = ast_[t].next) {
    if (t != first) out += ", ";
    const Node& term = ast_[t];
    if (ast_[term.a].kind == NodeKind::kNumber) {
      out += ast_[term.a].text;  // a column ordinal: never a parameter
    } else if (CaseMatters(term.a)) {
      NodeOperands operand(*this, &term.a, 1);
      dialect_.CaseInsensitive(operand, 0, out);
    } else {
      Expression(term.a, false, out);
    }
    if (term.flag) out += " DESC";
  }
}

void Emitter::Source(NodeId id, std::string& out) {
  Deeper deeper(*this);
  const Node& n = ast_[id];
  switch (n.kind) {
    case NodeKind::kTable: dialect_.Identifier(n.text, out); break;
    case NodeKind::kDerived:
      out += '(';
      Select(ast_.selects[ast_[n.a].a], out);
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
      Expression(n.c, false, out);
      return;
    }
    default: return;
  }
  if (!n.text2.empty()) {
    out += " AS ";
    dialect_.Identifier(n.text2, out);
  }
}

bool Emitter::IsTruthValue(NodeId id) const {
  const Node& n = ast_[id];
  switch (n.kind) {
    case NodeKind::kNot:
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

bool Emitter::LiftNumber(std::string_view text, std::string& out) {
  if (parameters_ == nullptr) return false;
  Parameter p;
  const char* end = text.data() + text.size();
  if (text.find_first_not_of("0123456789") == std::string_view::npos) {
    auto [ptr, ec] = std::from_chars(text.data(), end, p.integer);
    if (ec != std::errc() || ptr != end) return false;  // beyond 64 bits: leave it to the engine
    p.kind = Parameter::Kind::kInteger;
  } else {
    const std::string copy(text);  // strtod wants a terminated text
    char* stop = nullptr;
    p.real = std::strtod(copy.c_str(), &stop);
    if (stop != copy.c_str() + copy.size()) return false;
    p.kind = Parameter::Kind::kReal;
  }
  parameters_->push_back(std::move(p));
  dialect_.Placeholder(parameters_->size(), out);
  return true;
}

void Emitter::LiftText(std::string_view text, std::string& out) {
  Parameter& p = parameters_->emplace_back();
  p.kind = Parameter::Kind::kText;
  p.text.assign(text);
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
    dialect_.Identifier(n.text2, out);
    out += '.';
  }
  dialect_.Identifier(n.text, out);
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

void Emitter::Expression(NodeId id, bool wrap, std::string& out) {
  Deeper deeper(*this);
  const Node& n = ast_[id];
  switch (n.kind) {
    case NodeKind::kNumber:
      if (!LiftNumber(n.text, out)) out += n.text;
      return;
    case NodeKind::kText: {
      const char quote = n.text.front();
      std::string_view body = n.text.substr(1, n.text.size() - 2);
      if (body.find(quote) != std::string_view::npos) {
        scratch_.clear();
        for (size_t i = 0; i < body.size(); ++i) {
          scratch_ += body[i];
          if (body[i] == quote) ++i;  // the doubled delimiter
        }
        body = scratch_;
      }
      if (parameters_ != nullptr) {
        LiftText(body, out);
      } else {
        dialect_.TextLiteral(body, out);
      }
      return;
    }
    case NodeKind::kDate:
      if (parameters_ != nullptr) {
        LiftDate(ast_.dates[n.a], out);
      } else {
        dialect_.DateLiteral(ast_.dates[n.a], out);
      }
      return;
    case NodeKind::kBool: dialect_.BooleanLiteral(n.flag, out); return;
    case NodeKind::kNull: out += "NULL"; return;
    case NodeKind::kColumn: Column(n, out); return;
    case NodeKind::kStar:
      if (!n.text2.empty()) {
        dialect_.Identifier(n.text2, out);
        out += '.';
      }
      out += '*';
      return;
    case NodeKind::kCall: {
      std::array<NodeId, 4> args;
      size_t count = 0;
      for (NodeId a = n.a; a != kNoNode && count < args.size(); a = ast_[a].next) {
        args[count++] = a;
      }
      NodeOperands operands(*this, args.data(), count);
      const auto function = static_cast<JetFunction>(n.op);
      if (function == JetFunction::kIif) {
        dialect_.Iif(operands, out);
      } else {
        dialect_.Function(function, operands, out);
      }
      return;
    }
    case NodeKind::kSubquery:
      out += '(';
      Select(ast_.selects[ast_[n.a].a], out);
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
      out += '-';
      Expression(n.a, true, out);
      break;
    case NodeKind::kNot: dialect_.Not(NodeOperands(*this, &n.a, 1), out); break;
    case NodeKind::kIsNull:
      Expression(n.a, true, out);
      out += n.flag ? " IS NOT NULL" : " IS NULL";
      break;
    case NodeKind::kLike: {
      const NodeId ids[2] = {n.a, n.b};
      NodeOperands operands(*this, ids, 2);
      dialect_.Like(operands, n.flag, CaseMatters(n.a) && CaseMatters(n.b), out);
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
