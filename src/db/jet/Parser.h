// Reads the tokens of one Jet statement into an Ast.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "db/jet/Ast.h"
#include "db/jet/Depth.h"
#include "db/jet/Token.h"

namespace tessaly::db::jet {

// Why a statement was refused, in Jet's number and wording.
struct ParseFailure {
  int32_t number = 0;
  std::string description;
  size_t offset = 0;  // byte offset of the token where reading failed
};

// How many word tokens from tokens[at] name a type (up to three: NATIONAL
// CHARACTER VARYING), or 0 when they name none. *field is whether a field
// may have it, with its JetType in *type; with parameter, the types only a
// PARAMETERS clause declares (VALUE, BINARY, GUID, ...) count too.
size_t TypeWords(std::span<const Token> tokens, size_t at, bool parameter, JetType* type,
                 bool* field);

// Words that cannot stand as a bare name (of a table, a column or an alias):
// an alias must not swallow the keyword that starts the next clause or join.
bool IsReserved(std::string_view word);

// The grammar: [PARAMETERS name type, ...;] then SELECT [DISTINCT |
// DISTINCTROW] [TOP n [PERCENT]] items [INTO t] [FROM sources] [WHERE] [GROUP
// BY] [HAVING] [ORDER BY] [UNION [ALL] SELECT ...] [WITH OWNERACCESS OPTION];
// INSERT INTO t [(cols)] VALUES (...) | SELECT ...; UPDATE sources SET c = e,
// ... [WHERE]; DELETE [* | t.* | cols] FROM sources [WHERE]; CREATE TABLE,
// CREATE [UNIQUE] INDEX, ALTER TABLE, DROP TABLE | INDEX; then an optional ";"
// and nothing else.
class Parser {
 public:
  // tokens must end with kEnd and view into sql; both must outlive the parser.
  Parser(std::string_view sql, std::span<const Token> tokens, Ast& ast)
      : sql_(sql), tokens_(tokens), ast_(ast) {}

  // Parses the statement into the (cleared) ast. Returns the statement node,
  // or kNoNode with *failure filled.
  NodeId Parse(ParseFailure* failure);

  // An expression written inside a text (a domain function's expression or
  // criteria), read as the statement's own: names the PARAMETERS clause
  // declares are parameters there too. kNoNode with *failure filled when it
  // cannot be read.
  NodeId Embedded(std::string_view text, ParseFailure* failure);

  // Whether the statement calls a domain function (DLookup, ...), which the
  // domain pass rewrites.
  bool domain_calls() const { return domain_calls_; }

  // s without the blanks, tabs and line ends around it.
  static std::string_view TrimBlanks(std::string_view s);

  // A rewrite pass met a name nobody gives a value for.
  void NeedsValues() { needs_values_ = true; }

  // What Jet checks once the whole statement is read, after the rewrite
  // passes: what each totals query shows, then that every name has a value.
  // False with *failure filled when the statement is refused.
  bool Check(ParseFailure* failure);

 private:
  enum class Clause : uint8_t {
    kStatement,
    kSelectList,
    kFrom,
    kOn,
    kWhere,
    kGroupBy,
    kHaving,
    kOrderBy,
    kSet,
    kValues,
    kColumns,
    kCreateTable,
    kField,
    kConstraint,
    kIndex,
    kDrop,
    kAlter,
    kUnion,
    kTransform,
    kPivot,
  };
  struct Failure {  // thrown inside, turned into ParseFailure by Parse
    ParseFailure info;
  };
  // Counts one level of nesting while alive.
  struct Nested : Depth {
    explicit Nested(Parser& parser);
  };
  // Marks the clause expression that starts at the current token, for the
  // messages; restores the enclosing one when it ends.
  class Scope {
   public:
    Scope(Parser& parser, Clause clause)
        : parser_(parser), start_(parser.expr_start_), clause_(parser.expr_clause_) {
      parser.expr_start_ = parser.pos_;
      parser.expr_clause_ = clause;
    }
    ~Scope() {
      parser_.expr_start_ = start_;
      parser_.expr_clause_ = clause_;
    }
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;

   private:
    Parser& parser_;
    size_t start_;
    Clause clause_;
  };

  NodeId Statement();
  NodeId Query();  // a SELECT and the SELECTs it is UNIONed with
  NodeId Select();
  void Parameters();
  NodeId Transform();
  NodeId Create();
  NodeId Drop();
  NodeId Alter();
  NodeId ColumnDef(Clause clause);
  // WITH COMPRESSION, NOT NULL and the constraints after a column's type.
  NodeId ColumnConstraints(Node& def);
  // A seed or step of COUNTER(seed, step): a whole Long, maybe negative.
  int32_t CounterNumber();
  uint32_t WholeNumber();
  NodeId Constraint(Clause clause);  // after CONSTRAINT name, or a bare key word
  NodeId NameList(Clause clause);    // (a, b, ...) of plain columns
  NodeId DeleteTarget(NodeId sources, std::string_view qualifier);
  NodeId Insert();
  NodeId Update();
  NodeId Delete();
  NodeId SelectItems();
  NodeId Sources();
  NodeId JoinedSource();
  NodeId SourcePrimary();
  NodeId TableName(Clause clause);
  std::string_view Alias();  // [AS] name, or empty
  bool StartsEmptyExpression() const;
  NodeId ItemList(Clause clause, bool order);
  NodeId Subquery();  // after "(" and at SELECT; consumes the ")"
  void RefuseOtherDatabase();

  // A whole expression of a clause, checked to end where the clause allows.
  NodeId ClauseExpr(Clause clause);
  NodeId Expr();
  NodeId Logical(size_t level);  // Imp, Eqv, Xor, Or, And
  NodeId Not();
  NodeId Comparison();
  NodeId Concat();
  NodeId Additive();
  NodeId Mod();
  NodeId IntDiv();
  NodeId Multiplicative();
  NodeId Unary();
  NodeId Signed(NodeId (Parser::*operand)());
  NodeId Power();
  NodeId PowerOperand();
  NodeId Primary();
  NodeId Call(const Token& name);
  // A column, or where a value may stand (written_column false) a name
  // PARAMETERS declares: an INSERT's column list and the columns SET writes
  // name columns whatever is declared.
  NodeId ColumnRef(bool written_column = false);
  void KeepUnreadQualifiers();
  NodeId Binary(BinaryOp op, NodeId a, NodeId b);
  // The tokens from first up to the current one, as written.
  std::string_view Written(size_t first) const;

  // A name as written, without its brackets.
  static std::string_view NameOf(const Token& t);
  // A node of kind that starts at the current token; Opened takes the token
  // (its keyword or parenthesis).
  Node At(NodeKind kind) const {
    Node n;
    n.kind = kind;
    n.offset = Peek().offset;
    return n;
  }
  Node Opened(NodeKind kind) {
    Node n = At(kind);
    Take();
    return n;
  }
  // Appends id to the list that starts at head and ends at tail (kNoNode
  // while the list is empty).
  void Append(NodeId& head, NodeId& tail, NodeId id) {
    (tail == kNoNode ? head : ast_[tail].next) = id;
    tail = id;
  }

  const Token& Peek(size_t ahead = 0) const {
    size_t i = pos_ + ahead;
    return tokens_[i < tokens_.size() ? i : tokens_.size() - 1];
  }
  const Token& Take() {
    const Token& t = tokens_[pos_];
    if (pos_ + 1 < tokens_.size()) ++pos_;
    return t;
  }
  bool TakeWord(std::string_view upper_keyword) {
    if (!Peek().IsWord(upper_keyword)) return false;
    Take();
    return true;
  }
  bool Take(TokenKind kind) {
    if (Peek().kind != kind) return false;
    Take();
    return true;
  }
  bool IsNameToken(const Token& t) const;
  bool EndsExpression(size_t index, Clause clause) const;
  bool FollowsExpression(Clause clause) const;

  [[noreturn]] void Fail(std::string description, size_t offset) const;
  [[noreturn]] void FailClause(Clause clause) const;
  [[noreturn]] void FailExpression(
      const char* kind) const;  // "(missing operator)", "in string", ...
  std::string_view ExpressionText() const;

  std::string_view sql_;
  std::span<const Token> tokens_;
  Ast& ast_;
  size_t pos_ = 0;
  // The clause expression being read, for Jet's "... in query expression
  // '<expr>'" messages: its first token and its clause.
  size_t expr_start_ = 0;
  Clause expr_clause_ = Clause::kStatement;
  // How deeply expressions and sources nest, bounded so a hostile statement
  // cannot exhaust the stack.
  int nesting_ = 0;
  // Open parentheses that belong to statement structure (subqueries, value
  // and column lists, nested joins); a ")" can end an expression only in one.
  int structure_depth_ = 0;
  // Names Jet cannot resolve (Forms!f!c and the names PARAMETERS declares):
  // a statement that uses one has a parameter nobody gave a value.
  std::vector<std::string_view> declared_;
  bool needs_values_ = false;
  // Columns read from [table.field], each with its name as written.
  std::vector<std::pair<NodeId, std::string_view>> bracketed_;
  bool in_transform_ = false;   // a PIVOT ends the SELECT
  NodeId transform_ = kNoNode;  // the crosstab read, checked once rewritten
  // Whether the statement calls an aggregate or a domain function (which
  // becomes one): only then can one stand where Jet refuses it.
  bool aggregates_ = false;
  bool domain_calls_ = false;
};

}  // namespace tessaly::db::jet
