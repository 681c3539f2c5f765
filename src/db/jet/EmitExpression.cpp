// Expressions: operators, calls, literals lifted into parameters, and the
// pieces a deep expression is cut into.

#include "db/jet/Emitter.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <utility>

#include "db/Rules.h"
#include "db/jet/EmitterOperands.h"
#include "tessaly/Error.h"
#include "tessaly/db/Variant.h"

namespace tessaly::db::jet {

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

bool Emitter::IsWrittenNumber(NodeId id) const {
  const Node& n = ast_[id];
  return n.kind == NodeKind::kNumber || (n.kind == NodeKind::kUnary && IsWrittenNumber(n.a));
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

bool Emitter::IsComputed(NodeId id) const {
  switch (ast_[id].kind) {
    case NodeKind::kCall:
    case NodeKind::kBinary:
    case NodeKind::kSubquery: return true;
    default: return false;
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
    } else if (operands.IsColumn(1 - i) && IsComputed(ids[i])) {
      dialect_.BesideColumn(operands, i, out);
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

bool Emitter::IsLiteral(NodeKind kind) {
  return kind == NodeKind::kNumber || kind == NodeKind::kText || kind == NodeKind::kDate ||
         kind == NodeKind::kValue || kind == NodeKind::kBool || kind == NodeKind::kNull;
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

void Emitter::CellPart(const Node& n, std::string& out) {
  if (n.kind == NodeKind::kCell) {
    out += "CASE WHEN count(CASE WHEN ";
    CellPart(ast_[n.b], out);
    out += " THEN 1 END) > 0 THEN ";
    Value(n.a, out);
    out += " END";
  } else if (n.kind == NodeKind::kOnRows) {
    out += "CASE WHEN ";
    CellPart(ast_[n.a], out);
    out += " THEN ";
    if (n.b == kNoNode) {
      out += '1';
    } else {
      Expression(n.b, false, out);
    }
    out += " END";
  } else if (n.b == kNoNode) {
    Expression(n.a, true, out);
    out += " IS NULL";
  } else {
    SortKey(n.a, true, out);
    out += " = ";
    Expression(n.b, true, out);
  }
}

void Emitter::Expression(NodeId id, bool wrap, std::string& out) {
  const Node& n = ast_[id];
  if (n.kind == NodeKind::kCell || n.kind == NodeKind::kPivotIs || n.kind == NodeKind::kOnRows) {
    CellPart(n, out);
    return;
  }
  Deeper deeper(*this);
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
    case NodeKind::kValue: {
      const Parameter& value = ast_.values[n.a];
      if (parameters_ != nullptr && piece_ == nullptr) {
        parameters_->push_back(value);
        dialect_.Placeholder(parameters_->size(), out);
        return;
      }
      switch (value.kind) {
        case Parameter::Kind::kText:
        case Parameter::Kind::kBytes: dialect_.TextLiteral(value.text, out); return;
        case Parameter::Kind::kDate: dialect_.DateLiteral(value.date, out); return;
        case Parameter::Kind::kInteger: out += std::to_string(value.integer); return;
        case Parameter::Kind::kReal: {
          char buf[32];
          out.append(buf, std::to_chars(buf, buf + sizeof buf, value.real).ptr);
          return;
        }
        // Values of the kinds only the migration writes; the data read
        // for a crosstab's columns holds none of them.
        case Parameter::Kind::kCurrency: out += Currency{value.integer}.ToText(); return;
        case Parameter::Kind::kDecimal: out += value.text; return;
      }
      return;
    }
    case NodeKind::kBool: dialect_.BooleanLiteral(n.flag, out); return;
    case NodeKind::kNull: out += "NULL"; return;
    case NodeKind::kColumn:
      if (n.c != kNoNode) {
        Expression(n.c, true, out);  // a select alias's expression
        return;
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
      if (n.c != kNoNode) {  // First or Last of a crosstab's cell
        dialect_.Function(function, operands, out);
        out += " FILTER (WHERE ";
        Expression(n.c, false, out);
        out += ')';
        return;
      }
      if (function == JetFunction::kIif) {
        dialect_.Iif(operands, out);
      } else {
        dialect_.Function(function, operands, out);
      }
      return;
    }
    case NodeKind::kSubquery: {
      out += '(';
      const bool outer = std::exchange(value_subquery_, true);
      Query(n.a, out);
      value_subquery_ = outer;
      out += ')';
      return;
    }
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
      // A number written in the statement (lifted or not) is negated as it
      // stands: only a value read or computed needs Jet's reading.
      // A truth value negates as the number Jet holds it as (-1 or 0).
      if (IsWrittenNumber(n.a)) {
        out += '-';
        Expression(n.a, true, out);
      } else if (IsTruthValue(n.a)) {
        out += "-(";
        Value(n.a, out);
        out += ')';
      } else {
        dialect_.Negate(NodeOperands(*this, &n.a, 1), out);
      }
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
        dialect_.InSubquery(NodeOperands(*this, &n.b, 1), out);
        break;
      }
      out += '(';
      for (NodeId item = n.b; item != kNoNode; item = ast_[item].next) {
        if (item != n.b) out += ", ";
        if (ast_[item].kind == NodeKind::kText && ast_[n.a].kind == NodeKind::kColumn) {
          const NodeId pair[2] = {n.a, item};
          dialect_.TextBesideColumn(NodeOperands(*this, pair, 2), 1, 0, out);
        } else if (ast_[n.a].kind == NodeKind::kColumn && IsComputed(item)) {
          dialect_.BesideColumn(NodeOperands(*this, &item, 1), 0, out);
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
      const bool column = ast_[n.a].kind == NodeKind::kColumn;
      for (const NodeId bound : {n.b, n.c}) {
        if (bound == n.c) out += " AND ";
        if (column && IsComputed(bound)) {
          dialect_.BesideColumn(NodeOperands(*this, &bound, 1), 0, out);
        } else {
          Expression(bound, true, out);
        }
      }
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
