// Data definition: CREATE, DROP and ALTER of tables and indexes.

#include "db/jet/Emitter.h"

#include <algorithm>

#include "db/Rules.h"
#include "tessaly/Error.h"

namespace tessaly::db::jet {

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
    case JetType::kDecimal: return JetFunction::kCDec;
    case JetType::kDateTime: return JetFunction::kCDate;
    case JetType::kYesNo: return JetFunction::kCBool;
    case JetType::kBinary:
    case JetType::kLongBinary: break;  // refused before
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
  // No conversion function gives a field's values as bytes.
  if (type == JetType::kBinary || type == JetType::kLongBinary) {
    throw Refused{errnum::kFail, "The database cannot make an existing column binary."};
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

}  // namespace tessaly::db::jet
