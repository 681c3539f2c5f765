#include "db/jet/Parser.h"

#include <algorithm>
#include <iterator>
#include <optional>
#include <utility>

#include "db/jet/Grouping.h"
#include "db/jet/Lexer.h"
#include "tessaly/Error.h"

namespace tessaly::db::jet {

namespace {

constexpr JetFunctionInfo kFunctions[] = {
#define TESSALY_JET_FUNCTION_INFO(name, jet, min_args, max_args) \
  {JetFunction::k##name, jet, min_args, max_args},
    TESSALY_JET_FUNCTIONS(TESSALY_JET_FUNCTION_INFO)
#undef TESSALY_JET_FUNCTION_INFO
};

}  // namespace

bool IsReserved(std::string_view word) {
  // By length, so a name is compared with a handful of words at most.
  static constexpr std::string_view kReserved[][12] = {
      {},
      {},
      {"AS", "BY", "IN", "IS", "ON", "OR"},
      {"AND", "ASC", "EQV", "IMP", "MOD", "NOT", "SET", "TOP", "XOR"},
      {"DESC", "FROM", "FULL", "INTO", "JOIN", "LEFT", "LIKE", "NULL", "TRUE"},
      {"ALIKE", "FALSE", "GROUP", "INNER", "ORDER", "OUTER", "RIGHT", "UNION", "WHERE"},
      {"DELETE", "EXISTS", "HAVING", "INSERT", "SELECT", "UPDATE", "VALUES"},
      {"BETWEEN"},
      {"DISTINCT"},
  };
  if (word.size() >= std::size(kReserved)) return false;
  for (std::string_view k : kReserved[word.size()]) {
    if (k.empty()) return false;
    if (rules::EqualsNoCase(word, k)) return true;
  }
  return false;
}

namespace {

std::string_view TrimBlanks(std::string_view s) {
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && blank(s.back())) s.remove_suffix(1);
  return s;
}

std::string_view NameOf(const Token& t) {
  return t.kind == TokenKind::kBracketName ? t.text.substr(1, t.text.size() - 2) : t.text;
}

constexpr const char* kSelectListMessage =
    "The SELECT statement includes a reserved word or an argument name that is misspelled or "
    "missing, or the punctuation is incorrect.";

}  // namespace

const JetFunctionInfo* FindJetFunction(std::string_view name) {
  for (const JetFunctionInfo& f : kFunctions) {
    if (rules::EqualsNoCase(name, f.name)) return &f;
  }
  return nullptr;
}

// ---------------------------------------------------------------------------
// Failures

void Parser::Fail(std::string description, size_t offset) const {
  throw Failure{ParseFailure{errnum::kSyntax, std::move(description), offset}};
}

void Parser::FailClause(Clause clause) const {
  const char* text = nullptr;
  switch (clause) {
    case Clause::kStatement:
      text =
          "Invalid SQL statement; expected 'DELETE', 'INSERT', 'PROCEDURE', 'SELECT', or "
          "'UPDATE'.";
      break;
    case Clause::kSelectList: text = kSelectListMessage; break;
    case Clause::kFrom: text = "Syntax error in FROM clause."; break;
    case Clause::kOn: text = "Syntax error in JOIN operation."; break;
    // Jet's parser has its own sentence for a clause keyword with nothing
    // after it; the host meets it when a where-text is empty ("WHERE ").
    case Clause::kWhere: text = "Syntax error in WHERE clause."; break;
    case Clause::kGroupBy: text = "Syntax error in GROUP BY clause."; break;
    case Clause::kHaving: text = "Syntax error in HAVING clause."; break;
    case Clause::kOrderBy: text = "Syntax error in ORDER BY clause."; break;
    case Clause::kSet: text = "Syntax error in UPDATE statement."; break;
    case Clause::kValues:
    case Clause::kColumns: text = "Syntax error in INSERT INTO statement."; break;
    case Clause::kCreateTable: text = "Syntax error in CREATE TABLE statement."; break;
    case Clause::kField: text = "Syntax error in field definition."; break;
    case Clause::kConstraint: text = "Syntax error in CONSTRAINT clause."; break;
    case Clause::kIndex: text = "Syntax error in CREATE INDEX statement."; break;
    case Clause::kDrop: text = "Syntax error in DROP TABLE or DROP INDEX."; break;
    case Clause::kAlter: text = "Syntax error in ALTER TABLE statement."; break;
    case Clause::kUnion: text = "Syntax error in union query."; break;
    case Clause::kTransform:
    case Clause::kPivot: text = "Syntax error in TRANSFORM statement."; break;
  }
  Fail(text, Peek().offset);
}

// The clause expression that holds the current token, as written: from its
// first token to where the clause lets it end (at the same parenthesis
// depth), so "a=1 b=2" is reported whole.
std::string_view Parser::ExpressionText() const {
  const size_t start = expr_start_;
  size_t j = start;
  int depth = 0;
  for (; j < tokens_.size(); ++j) {
    const Token& t = tokens_[j];
    if (t.kind == TokenKind::kEnd) break;
    if (t.kind == TokenKind::kLParen) {
      ++depth;
    } else if (t.kind == TokenKind::kRParen) {
      if (depth == 0) break;
      --depth;
    } else if (depth == 0 && j >= pos_ && EndsExpression(j, expr_clause_)) {
      break;
    }
  }
  if (start >= tokens_.size()) return {};
  const size_t begin = tokens_[start].offset;
  const size_t end = j > start ? tokens_[j - 1].end() : begin;
  return TrimBlanks(sql_.substr(begin, end - begin));
}

void Parser::FailExpression(const char* kind) const {
  std::string text = "Syntax error ";
  text += kind;
  text += " in query expression '";
  text += ExpressionText();
  text += "'.";
  Fail(std::move(text), Peek().offset);
}

// ---------------------------------------------------------------------------
// Token classes

bool Parser::IsNameToken(const Token& t) const {
  return t.kind == TokenKind::kBracketName || (t.kind == TokenKind::kWord && !IsReserved(t.text));
}

bool Parser::EndsExpression(size_t index, Clause clause) const {
  const Token& t = tokens_[index];
  switch (t.kind) {
    case TokenKind::kEnd:
    case TokenKind::kSemicolon: return true;
    case TokenKind::kComma:
      return clause == Clause::kSelectList || clause == Clause::kGroupBy ||
             clause == Clause::kOrderBy || clause == Clause::kSet || clause == Clause::kValues ||
             clause == Clause::kColumns;
    case TokenKind::kWord: break;
    default: return false;
  }
  if (t.IsWord("FROM") || t.IsWord("WHERE") || t.IsWord("GROUP") || t.IsWord("HAVING") ||
      t.IsWord("ORDER") || t.IsWord("UNION")) {
    return true;
  }
  if (t.IsWord("WITH") && index + 1 < tokens_.size() && tokens_[index + 1].IsWord("OWNERACCESS")) {
    return true;
  }
  if (clause == Clause::kSelectList && t.IsWord("INTO")) return true;
  if (in_transform_ && t.IsWord("PIVOT")) return true;
  if (clause == Clause::kOn) {
    if (t.IsWord("INNER") || t.IsWord("JOIN") || t.IsWord("SET")) return true;
    if ((t.IsWord("LEFT") || t.IsWord("RIGHT")) && index + 1 < tokens_.size()) {
      const Token& n = tokens_[index + 1];
      return n.IsWord("JOIN") || n.IsWord("OUTER");
    }
  }
  return false;
}

bool Parser::FollowsExpression(Clause clause) const {
  if (Peek().kind == TokenKind::kRParen) return structure_depth_ > 0;
  return EndsExpression(pos_, clause);
}

bool Parser::StartsEmptyExpression() const {
  const Token& t = Peek();
  return t.kind == TokenKind::kRParen || EndsExpression(pos_, Clause::kSelectList);
}

// ---------------------------------------------------------------------------
// Statements

NodeId Parser::Parse(ParseFailure* failure) {
  ast_.Clear();
  pos_ = 0;
  expr_start_ = 0;
  expr_clause_ = Clause::kStatement;
  structure_depth_ = 0;
  nesting_ = 0;
  declared_.clear();
  needs_values_ = false;
  in_transform_ = false;
  try {
    return Statement();
  } catch (Failure& f) {
    *failure = std::move(f.info);
    return kNoNode;
  }
}

NodeId Parser::Statement() {
  if (Peek().IsWord("PARAMETERS")) Parameters();
  const Token& first = Peek();
  NodeId root;
  if (first.IsWord("SELECT")) {
    root = Query();
  } else if (first.IsWord("INSERT")) {
    root = Insert();
  } else if (first.IsWord("UPDATE")) {
    root = Update();
  } else if (first.IsWord("DELETE")) {
    root = Delete();
  } else if (first.IsWord("TRANSFORM")) {
    root = Transform();
  } else if (first.IsWord("CREATE") && declared_.empty()) {
    root = Create();
  } else if (first.IsWord("DROP") && declared_.empty()) {
    root = Drop();
  } else if (first.IsWord("ALTER") && declared_.empty()) {
    root = Alter();
  } else {
    FailClause(Clause::kStatement);
  }
  // Each statement reader stops only before ";", the end, or (after a value
  // list) anything: Jet runs exactly one statement per call.
  Take(TokenKind::kSemicolon);
  if (Peek().kind != TokenKind::kEnd) {
    Fail("Characters found after end of SQL statement.", Peek().offset);
  }
  // Jet checks what a totals query shows once the whole statement is read.
  for (const SelectParts& select : ast_.selects) {
    if (std::optional<ParseFailure> refused = CheckGrouping(ast_, select)) {
      throw Failure{std::move(*refused)};
    }
  }
  // Jet binds names after reading the whole statement: a syntax error
  // anywhere wins over a name nobody can give a value for.
  if (needs_values_) {
    throw Failure{
        ParseFailure{errnum::kNoValue, "No value given for one or more required parameters.", 0}};
  }
  return root;
}

// PARAMETERS name type [, name type] ...; declares names the statement may
// use. The data layer has no way to give them values, so a statement that
// uses one fails as Jet's provider fails when none was given.
void Parser::Parameters() {
  Take();  // PARAMETERS
  do {
    if (!IsNameToken(Peek())) FailClause(Clause::kStatement);
    declared_.push_back(NameOf(Take()));
    JetType type;
    if (Peek().kind != TokenKind::kWord || !FindJetType(Peek().text, &type)) {
      // Jet's own parameter type names beyond the field types.
      if (!(Peek().IsWord("VALUE") || Peek().IsWord("BINARY") || Peek().IsWord("NUMERIC") ||
            Peek().IsWord("GUID"))) {
        Fail("Syntax error in PARAMETER clause.", Peek().offset);
      }
    }
    Take();
    if (Take(TokenKind::kLParen)) {
      if (!Take(TokenKind::kNumber) || !Take(TokenKind::kRParen)) {
        Fail("Syntax error in PARAMETER clause.", Peek().offset);
      }
    }
  } while (Take(TokenKind::kComma));
  if (!Take(TokenKind::kSemicolon)) Fail("Syntax error in PARAMETER clause.", Peek().offset);
}

// TRANSFORM value SELECT ... GROUP BY ... PIVOT expression [IN (v, ...)]:
// a crosstab, one column for each value of the pivot expression.
NodeId Parser::Transform() {
  Node t;
  t.kind = NodeKind::kTransform;
  t.offset = Take().offset;  // TRANSFORM
  {
    Scope scope(*this, Clause::kSelectList);
    if (Peek().IsWord("SELECT") || StartsEmptyExpression()) FailClause(Clause::kTransform);
    t.a = Expr();
  }
  // TRANSFORM Sum(x) AS SumOfX: the name Access's designer gives the value
  // names no column of the result.
  if (TakeWord("AS") && !IsNameToken(Take())) FailClause(Clause::kTransform);
  if (!Peek().IsWord("SELECT")) FailClause(Clause::kTransform);
  in_transform_ = true;
  t.b = Select();
  in_transform_ = false;
  const SelectParts& select = ast_.selects[ast_[t.b].a];
  if (select.group_by == kNoNode || !select.into.empty() || !select.top.empty()) {
    FailClause(Clause::kTransform);
  }
  if (!TakeWord("PIVOT")) FailClause(Clause::kTransform);
  Node pivot;
  pivot.kind = NodeKind::kPivot;
  pivot.offset = Peek().offset;
  {
    Scope scope(*this, Clause::kPivot);
    if (StartsEmptyExpression()) FailClause(Clause::kTransform);
    pivot.a = Concat();
  }
  if (TakeWord("IN")) {
    if (!Take(TokenKind::kLParen)) FailClause(Clause::kTransform);
    NodeId tail = kNoNode;
    do {
      const TokenKind kind = Peek().kind;
      // The column values are constants.
      if (kind != TokenKind::kText && kind != TokenKind::kNumber && kind != TokenKind::kDateLit &&
          kind != TokenKind::kMinus) {
        FailClause(Clause::kTransform);
      }
      const NodeId value = Unary();
      if (tail == kNoNode) {
        pivot.b = value;
      } else {
        ast_[tail].next = value;
      }
      tail = value;
    } while (Take(TokenKind::kComma));
    if (!Take(TokenKind::kRParen)) FailClause(Clause::kTransform);
  }
  t.c = ast_.Add(pivot);
  return ast_.Add(t);
}

NodeId Parser::Query() {
  NodeId left = Select();
  NodeId last = left;
  while (TakeWord("UNION")) {
    Node u;
    u.kind = NodeKind::kUnion;
    u.offset = ast_[left].offset;
    u.flag = TakeWord("ALL");
    if (!Peek().IsWord("SELECT")) Fail("Syntax error in union query.", Peek().offset);
    if (ast_[left].kind == NodeKind::kSelect && !ast_.selects[ast_[left].a].into.empty()) {
      Fail("Syntax error in union query.", ast_[left].offset);
    }
    u.a = left;
    u.b = last = Select();
    left = ast_.Add(u);
  }
  if (left != last) {
    // The ORDER BY after the last SELECT sorts the whole union.
    SelectParts& tail = ast_.selects[ast_[last].a];
    ast_[left].c = tail.order_by;
    tail.order_by = kNoNode;
    if (!tail.into.empty()) Fail("Syntax error in union query.", ast_[last].offset);
  }
  return left;
}

NodeId Parser::Select() {
  const uint32_t offset = Take().offset;  // SELECT
  SelectParts parts;
  if (TakeWord("DISTINCT")) {
    parts.distinct = true;
  } else if (TakeWord("DISTINCTROW")) {
    parts.distinct_row = true;
  } else {
    TakeWord("ALL");
  }
  if (TakeWord("TOP")) {
    if (Peek().kind != TokenKind::kNumber) FailClause(Clause::kSelectList);
    parts.top = Take().text;
    parts.top_percent = TakeWord("PERCENT");
    // A share is counted in whole hundredths.
    if (parts.top_percent && parts.top.find_first_not_of("0123456789") != std::string_view::npos) {
      FailClause(Clause::kSelectList);
    }
  }
  parts.items = SelectItems();
  Clause last = Clause::kSelectList;
  if (TakeWord("INTO")) {
    if (!IsNameToken(Peek()) || structure_depth_ > 0) FailClause(Clause::kSelectList);
    parts.into = NameOf(Take());
  }
  if (TakeWord("FROM")) {
    parts.from = Sources();
    last = Clause::kFrom;
    const Token& t = Peek();
    if (!(t.kind == TokenKind::kEnd || t.kind == TokenKind::kSemicolon ||
          (t.kind == TokenKind::kRParen && structure_depth_ > 0) || t.IsWord("WHERE") ||
          t.IsWord("GROUP") || t.IsWord("HAVING") || t.IsWord("ORDER") || t.IsWord("UNION") ||
          t.IsWord("WITH") || (in_transform_ && t.IsWord("PIVOT")))) {
      FailClause(Clause::kFrom);
    }
  }
  if (TakeWord("WHERE")) {
    parts.where = ClauseExpr(Clause::kWhere);
    last = Clause::kWhere;
  }
  if (TakeWord("GROUP")) {
    if (!TakeWord("BY")) FailClause(Clause::kGroupBy);
    parts.group_by = ItemList(Clause::kGroupBy, false);
    last = Clause::kGroupBy;
  }
  if (TakeWord("HAVING")) {
    const size_t first = pos_;
    parts.having = ClauseExpr(Clause::kHaving);
    parts.having_text = Written(first);
    last = Clause::kHaving;
  }
  if (TakeWord("ORDER")) {
    if (!TakeWord("BY")) FailClause(Clause::kOrderBy);
    parts.order_by = ItemList(Clause::kOrderBy, true);
    last = Clause::kOrderBy;
  }
  // WITH OWNERACCESS OPTION asks for the query owner's permissions; the data
  // layer has no permissions, so it changes nothing.
  if (Peek().IsWord("WITH") && Peek(1).IsWord("OWNERACCESS")) {
    Take();
    Take();
    if (!TakeWord("OPTION")) FailClause(last);
  }
  const Token& t = Peek();
  const bool ends =
      t.IsWord("UNION") || (in_transform_ && t.IsWord("PIVOT")) ||
      (structure_depth_ > 0 ? t.kind == TokenKind::kRParen
                            : t.kind == TokenKind::kEnd || t.kind == TokenKind::kSemicolon);
  if (!ends) FailClause(last);
  ast_.selects.push_back(parts);
  Node node;
  node.kind = NodeKind::kSelect;
  node.offset = offset;
  node.a = static_cast<NodeId>(ast_.selects.size() - 1);
  return ast_.Add(node);
}

std::string_view Parser::Alias() {
  if (Peek().IsWord("WITH") && Peek(1).IsWord("OWNERACCESS")) return {};
  if (in_transform_ && Peek().IsWord("PIVOT")) return {};
  if (TakeWord("AS")) {
    if (!IsNameToken(Peek())) return {};
    return NameOf(Take());
  }
  if (IsNameToken(Peek())) return NameOf(Take());
  return {};
}

NodeId Parser::SelectItems() {
  NodeId head = kNoNode, tail = kNoNode;
  for (;;) {
    Node item;
    item.kind = NodeKind::kSelectItem;
    item.offset = Peek().offset;
    const size_t first = pos_;
    if (Peek().kind == TokenKind::kStar ||
        (IsNameToken(Peek()) && Peek(1).kind == TokenKind::kDot &&
         Peek(2).kind == TokenKind::kStar)) {
      Node star;
      star.kind = NodeKind::kStar;
      star.offset = Peek().offset;
      if (Peek().kind != TokenKind::kStar) {
        star.text2 = NameOf(Take());
        Take();  // .
      }
      Take();  // *
      item.a = ast_.Add(star);
      item.text = Written(first);
      if (!EndsExpression(pos_, Clause::kSelectList)) FailClause(Clause::kSelectList);
    } else {
      Scope scope(*this, Clause::kSelectList);
      if (StartsEmptyExpression()) FailClause(Clause::kSelectList);
      item.a = Expr();
      item.text = Written(first);
      const bool had_as = Peek().IsWord("AS");
      item.text2 = Alias();
      if (had_as && item.text2.empty()) FailClause(Clause::kSelectList);
      if (!FollowsExpression(Clause::kSelectList)) FailExpression("(missing operator)");
    }
    const NodeId id = ast_.Add(item);
    if (head == kNoNode) {
      head = id;
    } else {
      ast_[tail].next = id;
    }
    tail = id;
    if (!Take(TokenKind::kComma)) return head;
  }
}

NodeId Parser::Sources() {
  NodeId head = JoinedSource();
  NodeId tail = head;
  while (Take(TokenKind::kComma)) {
    const NodeId id = JoinedSource();
    ast_[tail].next = id;
    tail = id;
  }
  return head;
}

NodeId Parser::JoinedSource() {
  NodeId left = SourcePrimary();
  for (;;) {
    const uint32_t offset = Peek().offset;
    JoinKind kind;
    if (Peek().IsWord("INNER") && Peek(1).IsWord("JOIN")) {
      kind = JoinKind::kInner;
      Take();
    } else if (Peek().IsWord("LEFT") || Peek().IsWord("RIGHT")) {
      if (!(Peek(1).IsWord("JOIN") || (Peek(1).IsWord("OUTER") && Peek(2).IsWord("JOIN")))) {
        FailClause(Clause::kFrom);
      }
      kind = Peek().IsWord("LEFT") ? JoinKind::kLeft : JoinKind::kRight;
      Take();
      TakeWord("OUTER");
    } else if (Peek().IsWord("JOIN")) {
      kind = JoinKind::kInner;
    } else {
      return left;
    }
    Take();  // JOIN
    const NodeId right = SourcePrimary();
    if (!TakeWord("ON")) FailClause(Clause::kOn);
    Node join;
    join.kind = NodeKind::kJoin;
    join.op = static_cast<uint8_t>(kind);
    join.offset = offset;
    join.a = left;
    join.b = right;
    join.c = ClauseExpr(Clause::kOn);
    left = ast_.Add(join);
  }
}

NodeId Parser::SourcePrimary() {
  Nested nested(*this);
  if (Peek().kind == TokenKind::kLParen) {
    if (Peek(1).IsWord("SELECT")) {
      Node derived;
      derived.kind = NodeKind::kDerived;
      derived.offset = Take().offset;
      ++structure_depth_;
      derived.a = Query();
      --structure_depth_;
      if (!Take(TokenKind::kRParen)) FailClause(Clause::kFrom);
      derived.text2 = Alias();
      return ast_.Add(derived);
    }
    Take();
    ++structure_depth_;
    const NodeId inner = JoinedSource();
    --structure_depth_;
    if (!Take(TokenKind::kRParen)) FailClause(Clause::kFrom);
    return inner;
  }
  const NodeId table = TableName(Clause::kFrom);
  ast_[table].text2 = Alias();
  return table;
}

NodeId Parser::TableName(Clause clause) {
  if (!IsNameToken(Peek())) FailClause(clause);
  Node table;
  table.kind = NodeKind::kTable;
  table.offset = Peek().offset;
  table.text = NameOf(Take());
  return ast_.Add(table);
}

NodeId Parser::ItemList(Clause clause, bool order) {
  NodeId head = kNoNode, tail = kNoNode;
  for (;;) {
    Scope scope(*this, clause);
    if (StartsEmptyExpression()) FailClause(clause);
    Node item;
    item.kind = NodeKind::kOrderItem;
    item.offset = Peek().offset;
    const size_t first = pos_;
    item.a = Expr();
    item.text = Written(first);
    if (order) {
      if (TakeWord("DESC")) {
        item.flag = true;
      } else {
        TakeWord("ASC");
      }
    }
    if (!FollowsExpression(clause)) FailExpression("(missing operator)");
    const NodeId id = ast_.Add(item);
    if (head == kNoNode) {
      head = id;
    } else {
      ast_[tail].next = id;
    }
    tail = id;
    if (!Take(TokenKind::kComma)) return head;
  }
}

NodeId Parser::Insert() {
  Node insert;
  insert.kind = NodeKind::kInsert;
  insert.offset = Take().offset;  // INSERT
  if (!TakeWord("INTO")) FailClause(Clause::kValues);
  insert.a = TableName(Clause::kValues);
  size_t column_count = 0;
  if (Take(TokenKind::kLParen)) {
    NodeId tail = kNoNode;
    do {
      if (!IsNameToken(Peek())) FailClause(Clause::kColumns);
      const NodeId column = ColumnRef();
      if (tail == kNoNode) {
        insert.b = column;
      } else {
        ast_[tail].next = column;
      }
      tail = column;
      ++column_count;
    } while (Take(TokenKind::kComma));
    if (!Take(TokenKind::kRParen)) FailClause(Clause::kColumns);
  }
  if (TakeWord("VALUES")) {
    if (!Take(TokenKind::kLParen)) FailClause(Clause::kValues);
    ++structure_depth_;
    size_t value_count = 0;
    NodeId tail = kNoNode;
    do {
      const NodeId value = ClauseExpr(Clause::kValues);
      if (tail == kNoNode) {
        insert.c = value;
      } else {
        ast_[tail].next = value;
      }
      tail = value;
      ++value_count;
    } while (Take(TokenKind::kComma));
    --structure_depth_;
    if (!Take(TokenKind::kRParen)) FailClause(Clause::kValues);
    if (column_count != 0 && column_count != value_count) {
      // Jet's own check, before any row is touched (its number through the
      // data layer is not documented; the general failure number is used).
      throw Failure{ParseFailure{errnum::kFail,
                                 "Number of query values and destination fields are not the same.",
                                 insert.offset}};
    }
  } else if (Peek().IsWord("SELECT")) {
    insert.c = Query();
    if (ast_[insert.c].kind == NodeKind::kSelect && !ast_.selects[ast_[insert.c].a].into.empty()) {
      FailClause(Clause::kValues);
    }
  } else {
    FailClause(Clause::kValues);
  }
  return ast_.Add(insert);
}

NodeId Parser::Update() {
  Node update;
  update.kind = NodeKind::kUpdate;
  update.offset = Take().offset;  // UPDATE
  // Older designers wrote UPDATE DISTINCTROW over joins: each row of the
  // changed table changes once, as it does here anyway.
  TakeWord("DISTINCTROW");
  // UPDATE t, or UPDATE over joined tables: the SET list names the columns
  // of the table that changes.
  if (!IsNameToken(Peek()) && Peek().kind != TokenKind::kLParen) FailClause(Clause::kSet);
  if (IsNameToken(Peek(1)) && Peek(2).kind == TokenKind::kEq) {
    Take();
    FailClause(Clause::kSet);  // "UPDATE t c = 1": SET is missing, not an alias
  }
  update.a = JoinedSource();
  if (!TakeWord("SET")) FailClause(Clause::kSet);
  NodeId tail = kNoNode;
  do {
    if (!IsNameToken(Peek())) FailClause(Clause::kSet);
    Node assign;
    assign.kind = NodeKind::kAssign;
    assign.offset = Peek().offset;
    assign.a = ColumnRef();
    if (ast_[assign.a].kind != NodeKind::kColumn) FailClause(Clause::kSet);
    if (!Take(TokenKind::kEq)) FailClause(Clause::kSet);
    assign.b = ClauseExpr(Clause::kSet);
    const NodeId id = ast_.Add(assign);
    if (tail == kNoNode) {
      update.b = id;
    } else {
      ast_[tail].next = id;
    }
    tail = id;
  } while (Take(TokenKind::kComma));
  if (TakeWord("WHERE")) update.c = ClauseExpr(Clause::kWhere);
  if (Peek().kind != TokenKind::kEnd && Peek().kind != TokenKind::kSemicolon) {
    FailClause(Clause::kSet);
  }
  return ast_.Add(update);
}

// The table of sources that is named (by name or alias) qualifier, or the
// only table when qualifier is empty; kNoNode when there is none.
NodeId Parser::DeleteTarget(NodeId sources, std::string_view qualifier) {
  NodeId found = kNoNode;
  size_t tables = 0;
  AnySource(ast_, sources, [&](const Node& n, NodeId id) {
    ++tables;
    if (n.kind == NodeKind::kTable &&
        (qualifier.empty() || rules::EqualsNoCase(n.text2.empty() ? n.text : n.text2, qualifier))) {
      found = id;
    }
    return false;
  });
  if (qualifier.empty() && tables != 1) return kNoNode;
  return found;
}

NodeId Parser::Delete() {
  Node del;
  del.kind = NodeKind::kDelete;
  del.offset = Take().offset;  // DELETE
  TakeWord("DISTINCTROW");
  // DELETE [* | t.* | columns] FROM sources: Jet always deletes whole rows;
  // the selection only says from which table when several are joined.
  std::string_view qualifier;
  if (!Take(TokenKind::kStar) && !Peek().IsWord("FROM")) {
    do {
      if (!IsNameToken(Peek())) FailClause(Clause::kFrom);
      std::string_view name = NameOf(Take());
      if ((Peek().kind == TokenKind::kDot || Peek().kind == TokenKind::kBang) &&
          (Peek(1).kind == TokenKind::kStar || IsNameToken(Peek(1)))) {
        Take();
        Take();
        if (qualifier.empty()) qualifier = name;
      }
    } while (Take(TokenKind::kComma));
  }
  if (!TakeWord("FROM")) FailClause(Clause::kFrom);
  if (!IsNameToken(Peek()) && Peek().kind != TokenKind::kLParen) FailClause(Clause::kFrom);
  del.a = Sources();
  del.b = DeleteTarget(del.a, qualifier);
  if (TakeWord("WHERE")) {
    del.c = ClauseExpr(Clause::kWhere);
  } else if (Peek().kind != TokenKind::kEnd && Peek().kind != TokenKind::kSemicolon) {
    FailClause(Clause::kFrom);
  }
  if (del.b == kNoNode) {
    throw Failure{ParseFailure{
        errnum::kFail, "Specify the table containing the records you want to delete.", del.offset}};
  }
  return ast_.Add(del);
}

NodeId Parser::Subquery() {
  Node sub;
  sub.kind = NodeKind::kSubquery;
  sub.offset = Take().offset;  // (
  ++structure_depth_;
  sub.a = Query();
  --structure_depth_;
  if (!Take(TokenKind::kRParen)) FailExpression("(missing operator)");
  return ast_.Add(sub);
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

Parser::Nested::Nested(Parser& parser) : parser_(parser) {
  // Far beyond any statement the record classes or a host write, and
  // within a 256 KB thread stack even under the sanitizers (a level of
  // parentheses passes through every precedence level of the grammar).
  constexpr int kMaxNesting = 64;
  if (++parser.nesting_ > kMaxNesting) {
    --parser.nesting_;
    throw Failure{ParseFailure{errnum::kFail, "Query is too complex.", parser.Peek().offset}};
  }
}

NodeId Parser::Expr() {
  Nested nested(*this);
  return Logical(0);
}

std::string_view Parser::Written(size_t first) const {
  if (pos_ <= first) return {};
  const Token& a = tokens_[first];
  const Token& b = tokens_[pos_ - 1];
  return std::string_view(a.text.data(),
                          static_cast<size_t>(b.text.data() + b.text.size() - a.text.data()));
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
  Node n;
  n.kind = NodeKind::kNot;
  n.offset = Take().offset;
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
          if (tail == kNoNode) {
            n.b = item;
          } else {
            ast_[tail].next = item;
          }
          tail = item;
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
  if (IsReserved(t.text)) FailExpression("(missing operator)");
  return ColumnRef();
}

NodeId Parser::Call(const Token& name) {
  const JetFunctionInfo* info = FindJetFunction(name.text);
  if (info == nullptr) {
    Fail("Undefined function '" + std::string(name.text) + "' in expression.", name.offset);
  }
  Node call;
  call.kind = NodeKind::kCall;
  call.op = static_cast<uint8_t>(info->function);
  call.offset = name.offset;
  call.text = name.text;
  Take();  // the name
  Take();  // (
  size_t count = 0;
  if (!Take(TokenKind::kRParen)) {
    if (info->function == JetFunction::kCount && Peek().kind == TokenKind::kStar &&
        Peek(1).kind == TokenKind::kRParen) {
      Node star;
      star.kind = NodeKind::kStar;
      star.offset = Take().offset;
      Take();
      call.a = ast_.Add(star);
      count = 1;
    } else {
      NodeId tail = kNoNode;
      for (;;) {
        const NodeId arg = Expr();
        if (tail == kNoNode) {
          call.a = arg;
        } else {
          ast_[tail].next = arg;
        }
        tail = arg;
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
  switch (info->function) {
    case JetFunction::kDAvg:
    case JetFunction::kDCount:
    case JetFunction::kDFirst:
    case JetFunction::kDLast:
    case JetFunction::kDLookup:
    case JetFunction::kDMax:
    case JetFunction::kDMin:
    case JetFunction::kDSum: return DomainCall(info->function, call.a, count, name);
    default: return ast_.Add(call);
  }
}

NodeId Parser::Embedded(std::string_view text) {
  // The tokens of the text stand in for the statement's while it is read;
  // the nodes' views point into the statement all the same.
  std::vector<Token> tokens;
  Tokenize(text, tokens);
  const std::span<const Token> outer = tokens_;
  const size_t outer_pos = pos_, outer_start = expr_start_;
  tokens_ = tokens;
  pos_ = 0;
  expr_start_ = 0;
  if (Peek().kind == TokenKind::kEnd) FailExpression("(missing operator)");
  const NodeId e = Expr();
  if (Peek().kind != TokenKind::kEnd) FailExpression("(missing operator)");
  tokens_ = outer;
  pos_ = outer_pos;
  expr_start_ = outer_start;
  return e;
}

// DFunction(expression, domain[, criteria]), each a text: the aggregate of
// the expression over the domain's rows that meet the criteria, as a
// subquery (correlated when the criteria name the outer statement's
// columns). DLookup takes the first such row's value.
NodeId Parser::DomainCall(JetFunction function, NodeId args, size_t count, const Token& name) {
  std::string_view texts[3];
  NodeId arg = args;
  for (size_t i = 0; i < count; ++i, arg = ast_[arg].next) {
    const Node& n = ast_[arg];
    std::string_view body;
    if (n.kind == NodeKind::kText) body = n.text.substr(1, n.text.size() - 2);
    // A doubled delimiter inside would make the text differ from the
    // statement's own characters; such a text is refused with the rest.
    if (n.kind != NodeKind::kText || body.find(n.text.front()) != std::string_view::npos) {
      Fail(
          "The arguments of " + std::string(name.text) + " must be texts written in the statement.",
          n.offset);
    }
    texts[i] = TrimBlanks(body);
  }
  SelectParts parts;
  Node item;
  item.kind = NodeKind::kSelectItem;
  item.offset = name.offset;
  NodeId value;
  if (texts[0] == "*") {
    Node star;
    star.kind = NodeKind::kStar;
    star.offset = name.offset;
    value = ast_.Add(star);
  } else {
    value = Embedded(texts[0]);
  }
  JetFunction aggregate = JetFunction::kDLookup;
  switch (function) {
    case JetFunction::kDAvg: aggregate = JetFunction::kAvg; break;
    case JetFunction::kDCount: aggregate = JetFunction::kCount; break;
    case JetFunction::kDFirst: aggregate = JetFunction::kFirst; break;
    case JetFunction::kDLast: aggregate = JetFunction::kLast; break;
    case JetFunction::kDMax: aggregate = JetFunction::kMax; break;
    case JetFunction::kDMin: aggregate = JetFunction::kMin; break;
    case JetFunction::kDSum: aggregate = JetFunction::kSum; break;
    default: parts.top = "1"; break;
  }
  if (aggregate != JetFunction::kDLookup) {
    Node call;
    call.kind = NodeKind::kCall;
    call.op = static_cast<uint8_t>(aggregate);
    call.offset = name.offset;
    call.text = name.text;
    call.a = value;
    value = ast_.Add(call);
  }
  item.a = value;
  parts.items = ast_.Add(item);
  {
    std::vector<Token> tokens;
    Tokenize(texts[1], tokens);
    if (tokens.size() != 2 || !IsNameToken(tokens[0])) {
      throw Failure{ParseFailure{errnum::kNoTable,
                                 "The database engine cannot find the input table or query '" +
                                     std::string(texts[1]) +
                                     "'.  Make sure it exists and that its name is spelled "
                                     "correctly.",
                                 name.offset}};
    }
    Node table;
    table.kind = NodeKind::kTable;
    table.offset = name.offset;
    table.text = NameOf(tokens[0]);
    parts.from = ast_.Add(table);
  }
  if (count == 3 && !texts[2].empty()) parts.where = Embedded(texts[2]);
  ast_.selects.push_back(parts);
  Node select;
  select.kind = NodeKind::kSelect;
  select.offset = name.offset;
  select.a = static_cast<NodeId>(ast_.selects.size() - 1);
  Node subquery;
  subquery.kind = NodeKind::kSubquery;
  subquery.offset = name.offset;
  subquery.a = ast_.Add(select);
  return ast_.Add(subquery);
}

NodeId Parser::ColumnRef() {
  Node column;
  column.kind = NodeKind::kColumn;
  column.offset = Peek().offset;
  const Token& first = Peek();
  column.text = NameOf(Take());
  size_t parts = 1;
  // table.column, table!column, and the references to forms and reports
  // (Forms!Main!Start) that only Access could resolve.
  while ((Peek().kind == TokenKind::kDot || Peek().kind == TokenKind::kBang) &&
         IsNameToken(Peek(1))) {
    Take();
    column.text2 = column.text;
    column.text = NameOf(Take());
    ++parts;
  }
  const bool form = parts > 1 && (rules::EqualsNoCase(NameOf(first), "Forms") ||
                                  rules::EqualsNoCase(NameOf(first), "Reports"));
  const bool declared =
      parts == 1 && std::any_of(declared_.begin(), declared_.end(), [&](std::string_view name) {
        return rules::EqualsNoCase(name, column.text);
      });
  if (parts > 2 || form || declared) {
    column.kind = NodeKind::kParameter;
    column.text = sql_.substr(column.offset, tokens_[pos_ - 1].end() - column.offset);
    column.text2 = {};
    needs_values_ = true;
  }
  return ast_.Add(column);
}

// ---------------------------------------------------------------------------
// Data definition

bool FindJetType(std::string_view word, JetType* type) {
  struct Name {
    std::string_view word;
    JetType type;
  };
  // Jet's names and the synonyms its DDL accepts.
  static constexpr Name kNames[] = {
      {"TEXT", JetType::kText},
      {"CHAR", JetType::kText},
      {"VARCHAR", JetType::kText},
      {"CHARACTER", JetType::kText},
      {"STRING", JetType::kText},
      {"ALPHANUMERIC", JetType::kText},
      {"NCHAR", JetType::kText},
      {"NVARCHAR", JetType::kText},
      {"MEMO", JetType::kMemo},
      {"LONGTEXT", JetType::kMemo},
      {"LONGCHAR", JetType::kMemo},
      {"NOTE", JetType::kMemo},
      {"NTEXT", JetType::kMemo},
      {"BYTE", JetType::kByte},
      {"INTEGER1", JetType::kByte},
      {"TINYINT", JetType::kByte},
      {"SHORT", JetType::kShort},
      {"SMALLINT", JetType::kShort},
      {"INTEGER2", JetType::kShort},
      {"LONG", JetType::kLong},
      {"INT", JetType::kLong},
      {"INTEGER", JetType::kLong},
      {"INTEGER4", JetType::kLong},
      {"SINGLE", JetType::kSingle},
      {"REAL", JetType::kSingle},
      {"FLOAT4", JetType::kSingle},
      {"IEEESINGLE", JetType::kSingle},
      {"DOUBLE", JetType::kDouble},
      {"FLOAT", JetType::kDouble},
      {"FLOAT8", JetType::kDouble},
      {"NUMBER", JetType::kDouble},
      {"IEEEDOUBLE", JetType::kDouble},
      {"CURRENCY", JetType::kCurrency},
      {"MONEY", JetType::kCurrency},
      {"DATETIME", JetType::kDateTime},
      {"DATE", JetType::kDateTime},
      {"TIME", JetType::kDateTime},
      {"TIMESTAMP", JetType::kDateTime},
      {"YESNO", JetType::kYesNo},
      {"BIT", JetType::kYesNo},
      {"LOGICAL", JetType::kYesNo},
      {"LOGICAL1", JetType::kYesNo},
      {"BOOLEAN", JetType::kYesNo},
      {"COUNTER", JetType::kCounter},
      {"AUTOINCREMENT", JetType::kCounter},
  };
  for (const Name& n : kNames) {
    if (rules::EqualsNoCase(word, n.word)) {
      *type = n.type;
      return true;
    }
  }
  return false;
}

NodeId Parser::NameList(Clause clause) {
  if (!Take(TokenKind::kLParen)) FailClause(clause);
  NodeId head = kNoNode, tail = kNoNode;
  do {
    if (!IsNameToken(Peek())) FailClause(clause);
    Node column;
    column.kind = NodeKind::kColumn;
    column.offset = Peek().offset;
    column.text = NameOf(Take());
    const NodeId id = ast_.Add(column);
    if (head == kNoNode) {
      head = id;
    } else {
      ast_[tail].next = id;
    }
    tail = id;
  } while (Take(TokenKind::kComma));
  if (!Take(TokenKind::kRParen)) FailClause(clause);
  return head;
}

// PRIMARY KEY, UNIQUE, NOT NULL, REFERENCES t [(c)] after a column (cols
// empty), or PRIMARY KEY (a, ...), UNIQUE (a, ...), FOREIGN KEY (a, ...)
// REFERENCES t [(b, ...)] for the table.
NodeId Parser::Constraint(Clause clause) {
  Node c;
  c.kind = NodeKind::kConstraint;
  c.offset = Peek().offset;
  const bool table_level = clause == Clause::kConstraint;
  if (TakeWord("PRIMARY")) {
    if (!TakeWord("KEY")) FailClause(clause);
    c.op = static_cast<uint8_t>(ConstraintKind::kPrimaryKey);
    if (table_level) c.a = NameList(clause);
  } else if (TakeWord("UNIQUE")) {
    c.op = static_cast<uint8_t>(ConstraintKind::kUnique);
    if (table_level) c.a = NameList(clause);
  } else if (!table_level && TakeWord("NOT")) {
    if (!TakeWord("NULL")) FailClause(clause);
    c.op = static_cast<uint8_t>(ConstraintKind::kNotNull);
  } else {
    c.op = static_cast<uint8_t>(ConstraintKind::kForeignKey);
    if (table_level) {
      if (!TakeWord("FOREIGN") || !TakeWord("KEY")) FailClause(clause);
      if (Peek().IsWord("NO") && Peek(1).IsWord("INDEX")) {
        Take();
        Take();
      }
      c.a = NameList(clause);
    }
    if (!TakeWord("REFERENCES") || !IsNameToken(Peek())) FailClause(clause);
    c.text2 = NameOf(Take());
    if (Peek().kind == TokenKind::kLParen) c.b = NameList(clause);
    // Jet 4's referential actions.
    while (Peek().IsWord("ON") && (Peek(1).IsWord("UPDATE") || Peek(1).IsWord("DELETE"))) {
      Take();
      const bool on_delete = Take().IsWord("DELETE");
      uint8_t action;
      if (TakeWord("CASCADE")) {
        action = on_delete ? kOnDeleteCascade : kOnUpdateCascade;
      } else if (TakeWord("SET") && TakeWord("NULL")) {
        action = on_delete ? kOnDeleteSetNull : kOnUpdateSetNull;
      } else {
        FailClause(clause);
      }
      c.op |= action;
    }
  }
  return ast_.Add(c);
}

NodeId Parser::ColumnDef(Clause clause) {
  Node def;
  def.kind = NodeKind::kColumnDef;
  def.offset = Peek().offset;
  if (!IsNameToken(Peek())) FailClause(clause);
  def.text = NameOf(Take());
  JetType type;
  if (Peek().kind != TokenKind::kWord || !FindJetType(Peek().text, &type)) {
    FailClause(Clause::kField);
  }
  Take();
  def.op = static_cast<uint8_t>(type);
  if (type == JetType::kCounter) {
    // A counter numbers from 1 in steps of 1 unless COUNTER(seed, step) says
    // otherwise: kept in a and c.
    def.a = 1;
    def.c = 1;
  }
  if (Take(TokenKind::kLParen)) {
    // TEXT(n) is the width; COUNTER(seed, step) the numbering: whole Long
    // numbers, the step not 0 (it may count down).
    if (type == JetType::kCounter) {
      const int32_t seed = CounterNumber();
      if (!Take(TokenKind::kComma)) FailClause(Clause::kField);
      const int32_t step = CounterNumber();
      if (step == 0) FailClause(Clause::kField);
      def.a = static_cast<NodeId>(seed);
      def.c = static_cast<NodeId>(step);
      if (!Take(TokenKind::kRParen)) FailClause(Clause::kField);
      return ColumnConstraints(def);
    }
    if (Peek().kind != TokenKind::kNumber) FailClause(Clause::kField);
    const std::string_view first = Take().text;
    if (type == JetType::kText) {
      uint32_t width = 0;
      for (char ch : first) {
        if (ch < '0' || ch > '9' || width > 100000) FailClause(Clause::kField);
        width = width * 10 + static_cast<uint32_t>(ch - '0');
      }
      // A text field holds 1 to 255 characters.
      if (width == 0 || width > 255) FailClause(Clause::kField);
      def.a = width;
    } else {
      FailClause(Clause::kField);
    }
    if (!Take(TokenKind::kRParen)) FailClause(Clause::kField);
  } else if (type == JetType::kText && !rules::EqualsNoCase(tokens_[pos_ - 1].text, "MEMO")) {
    def.a = 255;  // Jet's TEXT without a width holds 255 characters
  }
  return ColumnConstraints(def);
}

int32_t Parser::CounterNumber() {
  const bool negative = Take(TokenKind::kMinus);
  if (Peek().kind != TokenKind::kNumber) FailClause(Clause::kField);
  int64_t value = 0;
  for (char ch : Take().text) {
    if (ch < '0' || ch > '9' || value > INT32_MAX) FailClause(Clause::kField);
    value = value * 10 + (ch - '0');
  }
  if (negative) value = -value;
  if (value < INT32_MIN || value > INT32_MAX) FailClause(Clause::kField);
  return static_cast<int32_t>(value);
}

NodeId Parser::ColumnConstraints(Node& def) {
  if (Peek().IsWord("WITH") && (Peek(1).IsWord("COMPRESSION") || Peek(1).IsWord("COMP"))) {
    Take();
    Take();
  }
  NodeId tail = kNoNode;
  for (;;) {
    if (Peek().IsWord("NOT") && Peek(1).IsWord("NULL")) {
      Take();
      Take();
      def.flag = true;
      continue;
    }
    std::string_view name;
    if (TakeWord("CONSTRAINT")) {
      if (!IsNameToken(Peek())) FailClause(Clause::kConstraint);
      name = NameOf(Take());
    } else if (!(Peek().IsWord("PRIMARY") || Peek().IsWord("UNIQUE") ||
                 Peek().IsWord("REFERENCES"))) {
      break;
    }
    const NodeId c = Constraint(Clause::kField);
    ast_[c].text = name;
    if (KindOf(ast_[c].op) == ConstraintKind::kNotNull) def.flag = true;
    if (tail == kNoNode) {
      def.b = c;
    } else {
      ast_[tail].next = c;
    }
    tail = c;
  }
  return ast_.Add(def);
}

NodeId Parser::Create() {
  const uint32_t offset = Take().offset;  // CREATE
  if (TakeWord("TABLE")) {
    Node table;
    table.kind = NodeKind::kCreateTable;
    table.offset = offset;
    if (!IsNameToken(Peek())) FailClause(Clause::kCreateTable);
    table.text = NameOf(Take());
    if (!Take(TokenKind::kLParen)) FailClause(Clause::kCreateTable);
    NodeId tail = kNoNode;
    do {
      NodeId item;
      if (TakeWord("CONSTRAINT")) {
        if (!IsNameToken(Peek())) FailClause(Clause::kConstraint);
        const std::string_view name = NameOf(Take());
        item = Constraint(Clause::kConstraint);
        ast_[item].text = name;
      } else if (Peek().IsWord("PRIMARY") || Peek().IsWord("UNIQUE") || Peek().IsWord("FOREIGN")) {
        item = Constraint(Clause::kConstraint);
      } else {
        item = ColumnDef(Clause::kCreateTable);
      }
      if (tail == kNoNode) {
        table.a = item;
      } else {
        ast_[tail].next = item;
      }
      tail = item;
    } while (Take(TokenKind::kComma));
    if (!Take(TokenKind::kRParen)) FailClause(Clause::kCreateTable);
    return ast_.Add(table);
  }
  Node index;
  index.kind = NodeKind::kCreateIndex;
  index.offset = offset;
  index.flag = TakeWord("UNIQUE");
  if (!TakeWord("INDEX")) {
    if (index.flag) FailClause(Clause::kIndex);
    FailClause(Clause::kStatement);
  }
  if (!IsNameToken(Peek())) FailClause(Clause::kIndex);
  index.text = NameOf(Take());
  if (!TakeWord("ON") || !IsNameToken(Peek())) FailClause(Clause::kIndex);
  index.text2 = NameOf(Take());
  if (!Take(TokenKind::kLParen)) FailClause(Clause::kIndex);
  NodeId tail = kNoNode;
  do {
    if (!IsNameToken(Peek())) FailClause(Clause::kIndex);
    Node item;
    item.kind = NodeKind::kOrderItem;
    item.offset = Peek().offset;
    Node column;
    column.kind = NodeKind::kColumn;
    column.offset = Peek().offset;
    column.text = NameOf(Take());
    item.a = ast_.Add(column);
    if (TakeWord("DESC")) {
      item.flag = true;
    } else {
      TakeWord("ASC");
    }
    const NodeId id = ast_.Add(item);
    if (tail == kNoNode) {
      index.a = id;
    } else {
      ast_[tail].next = id;
    }
    tail = id;
  } while (Take(TokenKind::kComma));
  if (!Take(TokenKind::kRParen)) FailClause(Clause::kIndex);
  if (TakeWord("WITH")) {
    IndexOption option;
    if (TakeWord("PRIMARY")) {
      option = IndexOption::kPrimary;
    } else if (TakeWord("DISALLOW")) {
      if (!TakeWord("NULL")) FailClause(Clause::kIndex);
      option = IndexOption::kDisallowNull;
    } else if (TakeWord("IGNORE")) {
      if (!TakeWord("NULL")) FailClause(Clause::kIndex);
      option = IndexOption::kIgnoreNull;
    } else {
      FailClause(Clause::kIndex);
    }
    index.op = static_cast<uint8_t>(option);
  }
  return ast_.Add(index);
}

NodeId Parser::Drop() {
  Node drop;
  drop.offset = Take().offset;  // DROP
  if (TakeWord("TABLE")) {
    drop.kind = NodeKind::kDropTable;
    if (!IsNameToken(Peek())) FailClause(Clause::kDrop);
    drop.text = NameOf(Take());
  } else if (TakeWord("INDEX")) {
    drop.kind = NodeKind::kDropIndex;
    if (!IsNameToken(Peek())) FailClause(Clause::kDrop);
    drop.text = NameOf(Take());
    if (!TakeWord("ON") || !IsNameToken(Peek())) FailClause(Clause::kDrop);
    drop.text2 = NameOf(Take());
  } else {
    FailClause(Clause::kDrop);
  }
  return ast_.Add(drop);
}

NodeId Parser::Alter() {
  Node alter;
  alter.kind = NodeKind::kAlterTable;
  alter.offset = Take().offset;  // ALTER
  if (!TakeWord("TABLE") || !IsNameToken(Peek())) FailClause(Clause::kAlter);
  alter.text = NameOf(Take());
  if (TakeWord("ADD")) {
    if (TakeWord("CONSTRAINT")) {
      if (!IsNameToken(Peek())) FailClause(Clause::kConstraint);
      const std::string_view name = NameOf(Take());
      alter.op = static_cast<uint8_t>(AlterAction::kAddConstraint);
      alter.a = Constraint(Clause::kConstraint);
      ast_[alter.a].text = name;
    } else {
      TakeWord("COLUMN");
      alter.op = static_cast<uint8_t>(AlterAction::kAddColumn);
      alter.a = ColumnDef(Clause::kAlter);
    }
  } else if (TakeWord("DROP")) {
    const bool constraint = TakeWord("CONSTRAINT");
    if (!constraint) TakeWord("COLUMN");
    if (!IsNameToken(Peek())) FailClause(Clause::kAlter);
    alter.op =
        static_cast<uint8_t>(constraint ? AlterAction::kDropConstraint : AlterAction::kDropColumn);
    alter.text2 = NameOf(Take());
  } else if (TakeWord("ALTER")) {
    TakeWord("COLUMN");
    alter.op = static_cast<uint8_t>(AlterAction::kAlterColumn);
    alter.a = ColumnDef(Clause::kAlter);
  } else {
    FailClause(Clause::kAlter);
  }
  return ast_.Add(alter);
}

}  // namespace tessaly::db::jet
