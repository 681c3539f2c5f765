#include "db/jet/Parser.h"

#include <iterator>
#include <optional>
#include <utility>

#include "db/Rules.h"
#include "db/jet/Grouping.h"
#include "tessaly/Error.h"

namespace tessaly::db::jet {
namespace {

constexpr const char* kSelectListMessage =
    "The SELECT statement includes a reserved word or an argument name that is misspelled or "
    "missing, or the punctuation is incorrect.";

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

std::string_view Parser::TrimBlanks(std::string_view s) {
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && blank(s.back())) s.remove_suffix(1);
  return s;
}

std::string_view Parser::NameOf(const Token& t) {
  return t.kind == TokenKind::kBracketName ? t.text.substr(1, t.text.size() - 2) : t.text;
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
  transform_ = kNoNode;
  aggregates_ = false;
  domain_calls_ = false;
  bracketed_.clear();
  try {
    const NodeId root = Statement();
    KeepUnreadQualifiers();
    return root;
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
  return root;
}

bool Parser::Check(ParseFailure* failure) {
  // A crosstab reads subqueries only as conditions of its WHERE: its cell
  // value and its columns' values are of the rows alone. (A domain function
  // counts too, being a subquery by now.)
  if (transform_ != kNoNode) {
    const Node& t = ast_[transform_];
    const Node& pivot = ast_[t.c];
    for (const Node* part : {&t, &pivot}) {
      if (HoldsSubquery(ast_, part->a)) {
        *failure = ParseFailure{
            errnum::kSyntax,
            "Subqueries cannot be used in the expression (" + std::string(part->text) + ").",
            ast_[part->a].offset};
        return false;
      }
    }
  }
  // Jet checks what a totals query shows once the whole statement is read.
  for (const SelectParts& select : ast_.selects) {
    if (std::optional<ParseFailure> refused = CheckGrouping(ast_, select, aggregates_)) {
      *failure = std::move(*refused);
      return false;
    }
  }
  // Jet binds names after reading the whole statement: a syntax error
  // anywhere wins over a name nobody can give a value for.
  if (needs_values_) {
    *failure =
        ParseFailure{errnum::kNoValue, "No value given for one or more required parameters.", 0};
    return false;
  }
  return true;
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
    bool field = false;
    const size_t words = TypeWords(tokens_, pos_, true, &type, &field);
    if (words == 0) Fail("Syntax error in PARAMETER clause.", Peek().offset);
    for (size_t k = 0; k < words; ++k) Take();
    // Text (255), Decimal (18, 4).
    if (Take(TokenKind::kLParen)) {
      if (!Take(TokenKind::kNumber) || (Take(TokenKind::kComma) && !Take(TokenKind::kNumber)) ||
          !Take(TokenKind::kRParen)) {
        Fail("Syntax error in PARAMETER clause.", Peek().offset);
      }
    }
  } while (Take(TokenKind::kComma));
  if (!Take(TokenKind::kSemicolon)) Fail("Syntax error in PARAMETER clause.", Peek().offset);
}

// TRANSFORM value SELECT ... GROUP BY ... PIVOT expression [IN (v, ...)]:
// a crosstab, one column for each value of the pivot expression.
NodeId Parser::Transform() {
  Node t = Opened(NodeKind::kTransform);  // TRANSFORM
  {
    Scope scope(*this, Clause::kSelectList);
    if (Peek().IsWord("SELECT") || StartsEmptyExpression()) FailClause(Clause::kTransform);
    const size_t first = pos_;
    t.a = Expr();
    t.text = Written(first);
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
  Node pivot = At(NodeKind::kPivot);
  {
    Scope scope(*this, Clause::kPivot);
    if (StartsEmptyExpression()) FailClause(Clause::kTransform);
    const size_t first = pos_;
    pivot.a = Concat();
    pivot.text = Written(first);
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
      Append(pivot.b, tail, value);
    } while (Take(TokenKind::kComma));
    if (!Take(TokenKind::kRParen)) FailClause(Clause::kTransform);
  }
  t.c = ast_.Add(pivot);
  transform_ = ast_.Add(t);
  return transform_;
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
    RefuseOtherDatabase();
  }
  if (TakeWord("FROM")) {
    parts.from = Sources();
    RefuseOtherDatabase();
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
    const size_t first = pos_;
    parts.where = ClauseExpr(Clause::kWhere);
    parts.where_text = Written(first);
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
    Node item = At(NodeKind::kSelectItem);
    const size_t first = pos_;
    if (Peek().kind == TokenKind::kStar ||
        (IsNameToken(Peek()) && Peek(1).kind == TokenKind::kDot &&
         Peek(2).kind == TokenKind::kStar)) {
      Node star = At(NodeKind::kStar);
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
    Append(head, tail, id);
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
      Node derived = Opened(NodeKind::kDerived);
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
  Node table = At(NodeKind::kTable);
  table.text = NameOf(Take());
  return ast_.Add(table);
}

NodeId Parser::ItemList(Clause clause, bool order) {
  NodeId head = kNoNode, tail = kNoNode;
  for (;;) {
    Scope scope(*this, clause);
    if (StartsEmptyExpression()) FailClause(clause);
    Node item = At(NodeKind::kOrderItem);
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
    Append(head, tail, id);
    if (!Take(TokenKind::kComma)) return head;
  }
}

NodeId Parser::Insert() {
  Node insert = Opened(NodeKind::kInsert);  // INSERT
  if (!TakeWord("INTO")) FailClause(Clause::kValues);
  insert.a = TableName(Clause::kValues);
  RefuseOtherDatabase();
  size_t column_count = 0;
  if (Take(TokenKind::kLParen)) {
    NodeId tail = kNoNode;
    do {
      if (!IsNameToken(Peek())) FailClause(Clause::kColumns);
      const NodeId column = ColumnRef(true);
      Append(insert.b, tail, column);
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
      Append(insert.c, tail, value);
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
  Node update = Opened(NodeKind::kUpdate);  // UPDATE
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
    Node assign = At(NodeKind::kAssign);
    assign.a = ColumnRef(true);
    if (ast_[assign.a].kind != NodeKind::kColumn) FailClause(Clause::kSet);
    if (!Take(TokenKind::kEq)) FailClause(Clause::kSet);
    assign.b = ClauseExpr(Clause::kSet);
    const NodeId id = ast_.Add(assign);
    Append(update.b, tail, id);
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
  Node del = Opened(NodeKind::kDelete);  // DELETE
  TakeWord("DISTINCTROW");
  // DELETE [* | t.* | columns] FROM sources: Jet always deletes whole rows;
  // the selection only says from which table when several are joined.
  std::string_view qualifier;
  if (!Peek().IsWord("FROM")) {
    do {
      // "*" may stand beside the fields: DELETE T.f, * FROM T.
      if (Take(TokenKind::kStar)) continue;
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

// IN 'file' [type] after the sources or the table INTO writes: tables of
// another database file. A connection reads and writes its own database
// only, so the file is one it cannot find, refused before anything runs.
void Parser::RefuseOtherDatabase() {
  if (!Peek().IsWord("IN") || Peek(1).kind != TokenKind::kText) return;
  const Token& file = Peek(1);
  const char quote = file.text.front();
  std::string name;
  for (size_t i = 1; i + 1 < file.text.size(); ++i) {
    name += file.text[i];
    if (file.text[i] == quote) ++i;  // a doubled quote stands for one
  }
  throw Failure{ParseFailure{errnum::kFail, "Could not find file '" + name + "'.", file.offset}};
}

NodeId Parser::Subquery() {
  Node sub = Opened(NodeKind::kSubquery);  // (
  ++structure_depth_;
  sub.a = Query();
  --structure_depth_;
  if (!Take(TokenKind::kRParen)) FailExpression("(missing operator)");
  return ast_.Add(sub);
}
}  // namespace tessaly::db::jet
