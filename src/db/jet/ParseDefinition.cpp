// Data definition: CREATE TABLE and INDEX, ALTER TABLE, DROP, and Jet's
// names of field types.

#include "db/jet/Parser.h"

#include <optional>

#include "db/Rules.h"

namespace tessaly::db::jet {

// ---------------------------------------------------------------------------
// Data definition

namespace {

// Jet's names of the field types and the synonyms its DDL accepts, the
// words of a name one blank apart.
struct TypeName {
  std::string_view words;
  JetType type;
};
constexpr TypeName kTypeNames[] = {
    {"TEXT", JetType::kText},
    {"CHAR", JetType::kText},
    {"VARCHAR", JetType::kText},
    {"CHARACTER", JetType::kText},
    {"CHARACTER VARYING", JetType::kText},
    {"CHAR VARYING", JetType::kText},
    {"NATIONAL CHARACTER", JetType::kText},
    {"NATIONAL CHAR", JetType::kText},
    {"NATIONAL CHARACTER VARYING", JetType::kText},
    {"NATIONAL CHAR VARYING", JetType::kText},
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
    {"DOUBLE PRECISION", JetType::kDouble},
    {"FLOAT", JetType::kDouble},
    {"FLOAT8", JetType::kDouble},
    {"NUMBER", JetType::kDouble},
    {"IEEEDOUBLE", JetType::kDouble},
    {"DECIMAL", JetType::kDecimal},
    {"NUMERIC", JetType::kDecimal},
    {"DEC", JetType::kDecimal},
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
    {"BINARY", JetType::kBinary},
    {"VARBINARY", JetType::kBinary},
    {"BINARY VARYING", JetType::kBinary},
    {"LONGBINARY", JetType::kLongBinary},
    {"OLEOBJECT", JetType::kLongBinary},
    {"GENERAL", JetType::kLongBinary},
    {"IMAGE", JetType::kLongBinary},
};

// The types a PARAMETERS clause may declare that no field here has: a
// value of any kind, bit strings and identifiers.
constexpr std::string_view kParameterOnlyTypes[] = {
    "VALUE", "BIT VARYING", "GUID", "UNIQUEIDENTIFIER",
};

// Whether words (separated by any blanks) are name, word for word.
bool SameWords(std::string_view words, std::string_view name) {
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  size_t i = 0, j = 0;
  while (i < words.size() && blank(words[i])) ++i;
  while (j < name.size()) {
    if (name[j] == ' ') {
      if (i >= words.size() || !blank(words[i])) return false;
      while (i < words.size() && blank(words[i])) ++i;
      ++j;
      continue;
    }
    if (i >= words.size() || rules::LowerAscii(words[i]) != rules::LowerAscii(name[j])) {
      return false;
    }
    ++i;
    ++j;
  }
  while (i < words.size() && blank(words[i])) ++i;
  return i == words.size();
}

}  // namespace

bool FindJetType(std::string_view words, JetType* type) {
  for (const TypeName& n : kTypeNames) {
    if (SameWords(words, n.words)) {
      *type = n.type;
      return true;
    }
  }
  return false;
}

size_t TypeWords(std::span<const Token> tokens, size_t at, bool parameter, JetType* type,
                 bool* field) {
  // The longest reading first: NATIONAL CHARACTER VARYING, not NATIONAL.
  for (size_t count = 3; count >= 1; --count) {
    if (at + count > tokens.size()) continue;
    bool words = true;
    for (size_t k = 0; k < count; ++k) words = words && tokens[at + k].kind == TokenKind::kWord;
    if (!words) continue;
    const std::string_view text = Spanning(tokens[at], tokens[at + count - 1]);
    if (FindJetType(text, type)) {
      *field = true;
      return count;
    }
    if (!parameter) continue;
    for (std::string_view name : kParameterOnlyTypes) {
      if (SameWords(text, name)) {
        *field = false;
        return count;
      }
    }
  }
  return 0;
}

NodeId Parser::NameList(Clause clause) {
  if (!Take(TokenKind::kLParen)) FailClause(clause);
  NodeId head = kNoNode, tail = kNoNode;
  do {
    if (!IsNameToken(Peek())) FailClause(clause);
    Node column = At(NodeKind::kColumn);
    column.text = NameOf(Take());
    const NodeId id = ast_.Add(column);
    Append(head, tail, id);
  } while (Take(TokenKind::kComma));
  if (!Take(TokenKind::kRParen)) FailClause(clause);
  return head;
}

// PRIMARY KEY, UNIQUE, NOT NULL, REFERENCES t [(c)] after a column (cols
// empty), or PRIMARY KEY (a, ...), UNIQUE (a, ...), FOREIGN KEY (a, ...)
// REFERENCES t [(b, ...)] for the table.
NodeId Parser::Constraint(Clause clause) {
  Node c = At(NodeKind::kConstraint);
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
  Node def = At(NodeKind::kColumnDef);
  if (!IsNameToken(Peek())) FailClause(clause);
  def.text = NameOf(Take());
  JetType type = JetType::kText;
  bool field = false;
  const size_t words = TypeWords(tokens_, pos_, false, &type, &field);
  if (words == 0) FailClause(Clause::kField);
  for (size_t k = 0; k < words; ++k) Take();
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
    const uint32_t first = WholeNumber();
    if (type == JetType::kText || type == JetType::kBinary) {
      // A text field holds 1 to 255 characters, a binary one 1 to 255 bytes.
      if (first == 0 || first > 255) FailClause(Clause::kField);
      def.a = first;
    } else if (type == JetType::kDecimal) {
      // DECIMAL(precision[, scale]): 1 to 28 digits, as many or fewer of
      // them after the point.
      const uint32_t scale = Take(TokenKind::kComma) ? WholeNumber() : 0;
      if (first == 0 || first > 28 || scale > first) FailClause(Clause::kField);
      def.a = DecimalWidth(first, scale);
    } else {
      FailClause(Clause::kField);
    }
    if (!Take(TokenKind::kRParen)) FailClause(Clause::kField);
  } else if (type == JetType::kText) {
    def.a = 255;  // Jet's TEXT without a width holds 255 characters
  } else if (type == JetType::kBinary) {
    def.a = 255;
  } else if (type == JetType::kDecimal) {
    def.a = DecimalWidth(18, 0);  // Jet's DECIMAL without a precision
  }
  return ColumnConstraints(def);
}

// A width, precision or scale: digits alone.
uint32_t Parser::WholeNumber() {
  if (Peek().kind != TokenKind::kNumber) FailClause(Clause::kField);
  uint32_t value = 0;
  for (char ch : Take().text) {
    if (ch < '0' || ch > '9' || value > 100000) FailClause(Clause::kField);
    value = value * 10 + static_cast<uint32_t>(ch - '0');
  }
  return value;
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
    Append(def.b, tail, c);
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
      Append(table.a, tail, item);
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
    Node item = At(NodeKind::kOrderItem);
    Node column = At(NodeKind::kColumn);
    column.text = NameOf(Take());
    item.a = ast_.Add(column);
    if (TakeWord("DESC")) {
      item.flag = true;
    } else {
      TakeWord("ASC");
    }
    const NodeId id = ast_.Add(item);
    Append(index.a, tail, id);
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
  Node alter = Opened(NodeKind::kAlterTable);  // ALTER
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
