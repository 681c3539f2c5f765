// Expressions: operators by Jet's precedence, calls, domain functions and
// columns.

#include "db/jet/Parser.h"

#include <algorithm>
#include <iterator>
#include <optional>

#include "db/Rules.h"
#include "db/jet/Lexer.h"
#include "tessaly/Error.h"

namespace tessaly::db::jet {

const JetFunctionInfo* FindJetFunction(std::string_view name) {
  for (const JetFunctionInfo& f : kJetFunctions) {
    if (rules::EqualsNoCase(name, f.name)) return &f;
  }
  return nullptr;
}

// ---------------------------------------------------------------------------
// Expressions

NodeId Parser::ClauseExpr(Clause clause) {
  Scope scope(*this, clause);
  if (StartsEmptyExpression()) FailClause(clause);
  const NodeId e = Expr();
  if (!FollowsExpression(clause)) FailExpression("(missing operator)");
  return e;
}

// Far beyond any statement the record classes or a host write, and within a
// 256 KB thread stack even under the sanitizers (a level of parentheses
// passes through every precedence level of the grammar).
Parser::Nested::Nested(Parser& parser)
    : Depth(parser.nesting_, 64, [&parser] {
        return Failure{ParseFailure{errnum::kFail, "Query is too complex.", parser.Peek().offset}};
      }) {}

NodeId Parser::Expr() {
  Nested nested(*this);
  return Logical(0);
}

std::string_view Parser::Written(size_t first) const {
  if (pos_ <= first) return {};
  return Spanning(tokens_[first], tokens_[pos_ - 1]);
}

NodeId Parser::Binary(BinaryOp op, NodeId a, NodeId b) {
  Node n;
  n.kind = NodeKind::kBinary;
  n.op = static_cast<uint8_t>(op);
  n.offset = ast_[a].offset;
  n.a = a;
  n.b = b;
  return ast_.Add(n);
}

// The operators spelled as words, loosest first: Imp, Eqv, Xor, Or, And.
// Each level is a left-associative chain of the next; below And comes Not.
NodeId Parser::Logical(size_t level) {
  struct WordOperator {
    std::string_view word;
    BinaryOp op;
  };
  static constexpr WordOperator kLevels[] = {
      {"IMP", BinaryOp::kImp}, {"EQV", BinaryOp::kEqv}, {"XOR", BinaryOp::kXor},
      {"OR", BinaryOp::kOr},   {"AND", BinaryOp::kAnd},
  };
  if (level == std::size(kLevels)) return Not();
  NodeId l = Logical(level + 1);
  while (TakeWord(kLevels[level].word)) l = Binary(kLevels[level].op, l, Logical(level + 1));
  return l;
}

NodeId Parser::Not() {
  if (!Peek().IsWord("NOT")) return Comparison();
  Nested nested(*this);
  Node n = Opened(NodeKind::kNot);
  n.a = Not();
  return ast_.Add(n);
}

NodeId Parser::Comparison() {
  NodeId l = Concat();
  for (;;) {
    std::optional<BinaryOp> op;
    switch (Peek().kind) {
      case TokenKind::kEq: op = BinaryOp::kEq; break;
      case TokenKind::kNe: op = BinaryOp::kNe; break;
      case TokenKind::kLt: op = BinaryOp::kLt; break;
      case TokenKind::kGt: op = BinaryOp::kGt; break;
      case TokenKind::kLe: op = BinaryOp::kLe; break;
      case TokenKind::kGe: op = BinaryOp::kGe; break;
      default: break;
    }
    if (op) {
      Take();
      l = Binary(*op, l, Concat());
      continue;
    }
    Node n;
    n.offset = ast_[l].offset;
    n.a = l;
    if (Peek().IsWord("NOT") && (Peek(1).IsWord("LIKE") || Peek(1).IsWord("ALIKE") ||
                                 Peek(1).IsWord("IN") || Peek(1).IsWord("BETWEEN"))) {
      Take();
      n.flag = true;
    }
    if (Peek().IsWord("LIKE") || Peek().IsWord("ALIKE")) {
      n.kind = NodeKind::kLike;
      n.op = Take().text.size() == 5 ? 1 : 0;  // ALIKE
      n.b = Concat();
    } else if (!n.flag && TakeWord("IS")) {
      n.kind = NodeKind::kIsNull;
      n.flag = TakeWord("NOT");
      if (!TakeWord("NULL")) FailExpression("(missing operator)");
    } else if (TakeWord("IN")) {
      n.kind = NodeKind::kIn;
      if (Peek().kind != TokenKind::kLParen) FailExpression("(missing operator)");
      if (Peek(1).IsWord("SELECT")) {
        n.b = Subquery();
      } else {
        Take();
        NodeId tail = kNoNode;
        do {
          const NodeId item = Expr();
          Append(n.b, tail, item);
        } while (Take(TokenKind::kComma));
        if (!Take(TokenKind::kRParen)) FailExpression("(missing operator)");
      }
    } else if (TakeWord("BETWEEN")) {
      n.kind = NodeKind::kBetween;
      n.b = Concat();
      if (!TakeWord("AND")) FailExpression("(missing operator)");
      n.c = Concat();
    } else {
      return l;
    }
    l = ast_.Add(n);
  }
}

NodeId Parser::Concat() {
  NodeId l = Additive();
  while (Take(TokenKind::kAmp)) l = Binary(BinaryOp::kConcat, l, Additive());
  return l;
}

NodeId Parser::Additive() {
  NodeId l = Mod();
  for (;;) {
    if (Take(TokenKind::kPlus)) {
      l = Binary(BinaryOp::kAdd, l, Mod());
    } else if (Take(TokenKind::kMinus)) {
      l = Binary(BinaryOp::kSub, l, Mod());
    } else {
      return l;
    }
  }
}

NodeId Parser::Mod() {
  NodeId l = IntDiv();
  while (TakeWord("MOD")) l = Binary(BinaryOp::kMod, l, IntDiv());
  return l;
}

NodeId Parser::IntDiv() {
  NodeId l = Multiplicative();
  while (Take(TokenKind::kBackslash)) l = Binary(BinaryOp::kIntDiv, l, Multiplicative());
  return l;
}

NodeId Parser::Multiplicative() {
  NodeId l = Unary();
  for (;;) {
    if (Take(TokenKind::kStar)) {
      l = Binary(BinaryOp::kMul, l, Unary());
    } else if (Take(TokenKind::kSlash)) {
      l = Binary(BinaryOp::kDiv, l, Unary());
    } else {
      return l;
    }
  }
}

// Leading signs: a "+" is dropped, a "-" negates the operand read after it
// (by `operand`, once the signs are taken).
NodeId Parser::Signed(NodeId (Parser::*operand)()) {
  while (Take(TokenKind::kPlus)) {
  }
  if (Peek().kind != TokenKind::kMinus) return (this->*operand)();
  Nested nested(*this);
  Node n;
  n.kind = NodeKind::kUnary;
  n.op = static_cast<uint8_t>(BinaryOp::kSub);
  n.offset = Take().offset;
  n.a = Signed(operand);
  return ast_.Add(n);
}

NodeId Parser::Unary() { return Signed(&Parser::Power); }

NodeId Parser::Power() {
  NodeId l = Primary();
  while (Take(TokenKind::kCaret)) l = Binary(BinaryOp::kPow, l, PowerOperand());
  return l;
}

// The right side of "^" may carry its own sign: 2^-1.
NodeId Parser::PowerOperand() { return Signed(&Parser::Primary); }

NodeId Parser::Primary() {
  const Token& t = Peek();
  Node n;
  n.offset = t.offset;
  switch (t.kind) {
    case TokenKind::kNumber:
      n.kind = NodeKind::kNumber;
      n.text = Take().text;
      return ast_.Add(n);
    case TokenKind::kText:
      n.kind = NodeKind::kText;
      n.text = Take().text;
      return ast_.Add(n);
    case TokenKind::kDateLit: {
      const std::optional<Date> date = Date::ParseLiteral(t.text.substr(1, t.text.size() - 2));
      if (!date) FailExpression("in date");
      Take();
      n.kind = NodeKind::kDate;
      n.a = static_cast<NodeId>(ast_.dates.size());
      ast_.dates.push_back(*date);
      return ast_.Add(n);
    }
    case TokenKind::kBadText: FailExpression("in string");
    case TokenKind::kBadDate: FailExpression("in date");
    case TokenKind::kBadBracket:
      Fail("Invalid bracketing of name '" + std::string(t.text) + "'.", t.offset);
    case TokenKind::kLParen: {
      if (Peek(1).IsWord("SELECT")) return Subquery();
      Take();
      const NodeId inner = Expr();
      if (!Take(TokenKind::kRParen)) FailExpression("(missing operator)");
      return inner;
    }
    case TokenKind::kBracketName: return ColumnRef();
    case TokenKind::kWord: break;
    default: FailExpression("(missing operator)");
  }
  if (t.IsWord("NULL")) {
    Take();
    n.kind = NodeKind::kNull;
    return ast_.Add(n);
  }
  // Jet's truth values under all their names; a column so named is written
  // in brackets ([Yes]).
  if (t.IsWord("TRUE") || t.IsWord("FALSE") || t.IsWord("YES") || t.IsWord("NO") ||
      t.IsWord("ON") || t.IsWord("OFF")) {
    n.kind = NodeKind::kBool;
    n.flag = t.IsWord("TRUE") || t.IsWord("YES") || t.IsWord("ON");
    Take();
    return ast_.Add(n);
  }
  if (t.IsWord("EXISTS") && Peek(1).kind == TokenKind::kLParen) {
    Take();
    if (!Peek(1).IsWord("SELECT")) FailExpression("(missing operator)");
    n.kind = NodeKind::kExists;
    n.a = Subquery();
    return ast_.Add(n);
  }
  if (Peek(1).kind == TokenKind::kLParen) return Call(t);
  // Now, Date and Time are called without their parentheses too, as VBA
  // calls them (Year(Now)); a field of such a name is read written [Date] or
  // after its table (T.Date), as a field named Yes is.
  if (t.IsWord("NOW") || t.IsWord("DATE") || t.IsWord("TIME")) {
    n.kind = NodeKind::kCall;
    n.op = static_cast<uint8_t>(FindJetFunction(t.text)->function);
    n.text = Take().text;
    return ast_.Add(n);
  }
  if (IsReserved(t.text)) FailExpression("(missing operator)");
  return ColumnRef();
}

namespace {

// The functions with a $ form: the same function giving a String, so that a
// Null result is an invalid use of Null (94) instead of Null; the clock's
// Date$ and Time$ give its text.
bool HasTextForm(JetFunction f) {
  switch (f) {
    case JetFunction::kChr:
    case JetFunction::kChrW:
    case JetFunction::kFormat:
    case JetFunction::kHex:
    case JetFunction::kLCase:
    case JetFunction::kLeft:
    case JetFunction::kLTrim:
    case JetFunction::kMid:
    case JetFunction::kOct:
    case JetFunction::kRight:
    case JetFunction::kRTrim:
    case JetFunction::kSpace:
    case JetFunction::kStr:
    case JetFunction::kString:
    case JetFunction::kTrim:
    case JetFunction::kUCase:
    case JetFunction::kDate:
    case JetFunction::kTime: return true;
    default: return false;
  }
}

}  // namespace

NodeId Parser::Call(const Token& name) {
  const bool text_form = name.text.ends_with('$');
  const JetFunctionInfo* info =
      FindJetFunction(text_form ? name.text.substr(0, name.text.size() - 1) : name.text);
  if (info == nullptr || (text_form && !HasTextForm(info->function))) {
    Fail("Undefined function '" + std::string(name.text) + "' in expression.", name.offset);
  }
  Node call;
  call.kind = NodeKind::kCall;
  call.op = static_cast<uint8_t>(info->function);
  call.offset = name.offset;
  call.text = name.text;
  const size_t first = pos_;
  Take();  // the name
  Take();  // (
  size_t count = 0;
  if (!Take(TokenKind::kRParen)) {
    if (info->function == JetFunction::kCount && Peek().kind == TokenKind::kStar &&
        Peek(1).kind == TokenKind::kRParen) {
      Node star = Opened(NodeKind::kStar);
      Take();
      call.a = ast_.Add(star);
      count = 1;
    } else {
      NodeId tail = kNoNode;
      for (;;) {
        const NodeId arg = Expr();
        Append(call.a, tail, arg);
        ++count;
        if (Take(TokenKind::kComma)) continue;
        if (Take(TokenKind::kRParen)) break;
        FailExpression("(missing operator)");
      }
    }
  }
  // Switch takes its conditions and values in pairs.
  const bool unpaired = info->function == JetFunction::kSwitch && count % 2 != 0;
  if (count < info->min_args || count > info->max_args || unpaired) {
    Fail("Wrong number of arguments used with function in query expression '" +
             std::string(ExpressionText()) + "'.",
         call.offset);
  }
  // A domain function keeps its call as written: the domain pass makes it
  // the subquery it stands for, and names it in what it refuses.
  if (IsDomain(info->function)) {
    call.text2 = Written(first);
    domain_calls_ = true;
  }
  aggregates_ = aggregates_ || IsAggregate(info->function) || IsDomain(info->function);
  if (!text_form) return ast_.Add(call);
  // Date$() and Time$() are the clock's text in one form whatever the
  // setting: mm-dd-yyyy and hh:nn:ss on the 24-hour clock.
  if (info->function == JetFunction::kDate || info->function == JetFunction::kTime) {
    Node pattern = call;
    pattern.kind = NodeKind::kText;
    pattern.a = kNoNode;
    pattern.text = info->function == JetFunction::kDate ? "'mm-dd-yyyy'" : "'hh:nn:ss'";
    Node format = call;
    format.op = static_cast<uint8_t>(JetFunction::kFormat);
    call.next = ast_.Add(pattern);
    format.a = ast_.Add(call);
    return ast_.Add(format);
  }
  // F$(...) is CStr(F(...)): every such F gives a text or Null, which CStr
  // keeps or refuses with 94.
  Node wrapper = call;
  wrapper.op = static_cast<uint8_t>(JetFunction::kCStr);
  wrapper.a = ast_.Add(call);
  return ast_.Add(wrapper);
}

NodeId Parser::Embedded(std::string_view text, ParseFailure* failure) {
  // The tokens of the text stand in for the statement's while it is read.
  std::vector<Token> tokens;
  Tokenize(text, tokens);
  const std::span<const Token> outer = tokens_;
  const std::string_view outer_sql = sql_;
  const size_t outer_pos = pos_, outer_start = expr_start_;
  const Clause outer_clause = expr_clause_;
  tokens_ = tokens;
  sql_ = text;
  pos_ = 0;
  expr_start_ = 0;
  expr_clause_ = Clause::kStatement;
  NodeId e = kNoNode;
  try {
    if (Peek().kind == TokenKind::kEnd) FailExpression("(missing operator)");
    const NodeId read = Expr();
    if (Peek().kind != TokenKind::kEnd) FailExpression("(missing operator)");
    e = read;
  } catch (Failure& f) {
    *failure = std::move(f.info);
  }
  tokens_ = outer;
  sql_ = outer_sql;
  pos_ = outer_pos;
  expr_start_ = outer_start;
  expr_clause_ = outer_clause;
  return e;
}

NodeId Parser::ColumnRef(bool written_column) {
  Node column = At(NodeKind::kColumn);
  const Token& first = Peek();
  column.text = NameOf(Take());
  size_t parts = 1;
  // table.column, table!column, and the references to forms and reports
  // (Forms!Main!Start) that only Access could resolve. After the dot the
  // word names a field whatever it spells: T.Desc and T.Top are fields.
  while ((Peek().kind == TokenKind::kDot || Peek().kind == TokenKind::kBang) &&
         (Peek(1).kind == TokenKind::kWord || Peek(1).kind == TokenKind::kBracketName)) {
    Take();
    column.text2 = column.text;
    column.text = NameOf(Take());
    ++parts;
  }
  const bool form = parts > 1 && (rules::EqualsNoCase(NameOf(first), "Forms") ||
                                  rules::EqualsNoCase(NameOf(first), "Reports"));
  const bool declared =
      parts == 1 && !written_column && std::any_of(declared_.begin(), declared_.end(), [&](std::string_view name) {
        return rules::EqualsNoCase(name, column.text);
      });
  // No name a user gives holds a period, so [Orders.Amount] is the table
  // and its field in one pair of brackets, as Access's designer writes them
  // (KeepUnreadQualifiers undoes it where no table is so named); a declared
  // name is looked for as written first.
  std::string_view bracketed;
  if (parts == 1 && !declared && first.kind == TokenKind::kBracketName) {
    const size_t dot = column.text.find('.');
    if (dot != std::string_view::npos && dot > 0 && dot + 1 < column.text.size() &&
        column.text.find('.', dot + 1) == std::string_view::npos &&
        column.text[dot + 1] != ' ') {
      bracketed = column.text;
      column.text2 = column.text.substr(0, dot);
      column.text = column.text.substr(dot + 1);
    }
  }
  if (parts > 2 || form || declared) {
    column.kind = NodeKind::kParameter;
    column.text = sql_.substr(column.offset, tokens_[pos_ - 1].end() - column.offset);
    column.text2 = {};
    needs_values_ = true;
  }
  const NodeId id = ast_.Add(column);
  if (!bracketed.empty()) bracketed_.emplace_back(id, bracketed);
  return id;
}

// A name made of a table's name and a field's holds a period: SELECT INTO
// names a field "Customers.ID" when two of its fields share the name ID.
// [Customers.ID] is that field where the statement reads no table (or
// alias) named Customers.
void Parser::KeepUnreadQualifiers() {
  for (const auto& [id, written] : bracketed_) {
    Node& column = ast_[id];
    const bool read = std::any_of(ast_.nodes.begin(), ast_.nodes.end(), [&](const Node& n) {
      return (n.kind == NodeKind::kTable && rules::EqualsNoCase(n.text, column.text2)) ||
             ((n.kind == NodeKind::kTable || n.kind == NodeKind::kDerived) &&
              rules::EqualsNoCase(n.text2, column.text2));
    });
    if (!read) {
      column.text = written;
      column.text2 = {};
    }
  }
}

}  // namespace tessaly::db::jet
