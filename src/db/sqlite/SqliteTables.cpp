// Tables made, changed and dropped on the file database: what SQLite does
// not do as Jet did (a column's type or rule changed in place, a table read
// by a relationship dropped) is done by rebuilding the table in one unit.
#include "db/sqlite/SqliteBackend.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "db/JetErrors.h"
#include "db/Rules.h"
#include "db/sqlite/SqliteDialect.h"
#include "db/sqlite/SqliteShared.h"
#include "db/sqlite/TableDefinition.h"
#include "tessaly/Error.h"

namespace tessaly::db::sqlite {

using jeterr::Quoted;

namespace {

// The table a statement of the translator's names first, after its verb.
std::string TableNamed(std::string_view rest) {
  std::string table;
  if (!rest.empty() && rest.front() == '`') {
    for (size_t i = 1; i < rest.size(); ++i) {
      if (rest[i] == '`' && (i + 1 == rest.size() || rest[i + 1] != '`')) break;
      if (rest[i] == '`') ++i;
      table += rest[i];
    }
  } else {
    table = rest.substr(0, rest.find_first_of(" ("));
  }
  return table;
}

}  // namespace

// Jet refuses to drop a table another table refers to, whether rows refer
// to it or not; SQLite would drop it and leave the reference pointing
// nowhere.
void SqliteBackend::DropTable(const std::string& table, const std::string& sql) {
  if (!Texts("SELECT 1 FROM sqlite_master AS m, pragma_foreign_key_list(m.name) AS f "
             "WHERE m.type = 'table' AND f.\"table\" = ?1 COLLATE NOCASE "
             "AND m.name <> ?1 COLLATE NOCASE LIMIT 1",
             {table})
           .empty()) {
    throw jeterr::UsedInRelationship();
  }
  Run(sql, nullptr);
}

// A write that breaks a reference between tables, in Jet's words, which name
// the other table of the relationship: the table a row needs (a new or
// changed row of the referring table) or the table whose rows need it (a
// deleted or changed row of the referred one).
Error SqliteBackend::RelationshipError(const std::string& sql) {
  std::string_view rest = sql;
  const bool deleting = Consume(&rest, "DELETE FROM ");
  if (!deleting && !Consume(&rest, "INSERT INTO ")) Consume(&rest, "UPDATE ");
  const std::string table = TableNamed(rest);
  auto first = [&](const char* query) {
    StatementPtr stmt(Compile(query));
    sqlite3_bind_text(stmt.get(), 1, table.data(), static_cast<int>(table.size()),
                      SQLITE_TRANSIENT);
    return sqlite3_step(stmt.get()) == SQLITE_ROW ? std::string(TextOf(stmt.get(), 0))
                                                  : std::string();
  };
  if (!deleting) {
    const std::string parent = first("SELECT \"table\" FROM pragma_foreign_key_list(?1) LIMIT 1");
    if (!parent.empty()) {
      return jeterr::RelatedRequired(parent);
    }
  }
  const std::string child = first(
      "SELECT m.name FROM sqlite_master AS m, pragma_foreign_key_list(m.name) AS f "
      "WHERE m.type = 'table' AND f.\"table\" = ?1 COLLATE NOCASE LIMIT 1");
  return jeterr::RelatedRecords(child);
}

// The new table's columns have the declared types of the columns they come
// from (so their values read back as the same kinds, and texts compare
// without case as Jet's do); a computed column has none and keeps each
// value's own kind.
int32_t SqliteBackend::MakeTable(const std::string& table, const std::string& sql,
                                 std::span<const Parameter> parameters) {
  const jet::Dialect& dialect = SqliteDialect();
  std::string create = "CREATE TABLE ";
  dialect.Identifier(table, create);
  create += " (";
  {
    StatementPtr query(Compile(sql));
    if (query == nullptr) throw Error(errnum::kSyntax, "Syntax error in query.");
    const int columns = sqlite3_column_count(query.get());
    for (int c = 0; c < columns; ++c) {
      if (c > 0) create += ", ";
      const char* name = sqlite3_column_name(query.get(), c);
      dialect.Identifier(name != nullptr ? name : "", create);
      const char* declared = sqlite3_column_decltype(query.get(), c);
      if (declared == nullptr) continue;
      create += ' ';
      create += declared;
      if (KindOfDeclaredType(declared) == Kind::kString) create += " COLLATE NOCASE";
    }
  }
  create += ')';
  std::string fill = "INSERT INTO ";
  dialect.Identifier(table, fill);
  fill += ' ';
  fill += sql;
  int32_t rows = 0;
  InSavepoint("tessaly_make_table", [&] {
    Run(create, nullptr);
    rows = Run(fill, parameters, nullptr);
  });
  return rows;
}

void SqliteBackend::InSavepoint(const std::string& name, const std::function<void()>& body) {
  Exec(("SAVEPOINT " + name).c_str());
  try {
    body();
    // Outside a host's transaction the release commits; a commit that fails
    // undoes the whole as well, leaving no transaction open.
    Exec(("RELEASE " + name).c_str());
  } catch (...) {
    // A write the engine stopped (interrupted, or out of room) has undone
    // the whole transaction, savepoint and all.
    if (!sqlite3_get_autocommit(db_.get())) {
      Restore(("ROLLBACK TO " + name).c_str());
      Restore(("RELEASE " + name).c_str());
    }
    throw;
  }
}

namespace {

// The name a definition's word gives, compared as the engine compares names.
bool NameIs(std::string_view word, std::string_view name) {
  return rules::EqualsNoCase(Unquoted(word), name);
}

// The checks and collation SqliteDialect::ColumnType writes for a type: a
// column's new type brings its own.
bool IsTypeRule(std::string_view piece) {
  const std::vector<Word> words = WordsOf(piece);
  if (words.empty()) return true;
  if (rules::EqualsNoCase(words[0].text, "COLLATE") ||
      rules::EqualsNoCase(words[0].text, "CHECK")) {
    return true;
  }
  if (!rules::EqualsNoCase(words[0].text, "CONSTRAINT") || words.size() < 2) return false;
  const std::string name = Unquoted(words[1].text);
  for (std::string_view prefix : {"ck_type_", "ck_range_", "ck_size_"}) {
    if (name.starts_with(prefix)) return true;
  }
  return false;
}

bool IsNotNull(std::string_view piece) {
  const std::vector<Word> words = WordsOf(piece);
  const size_t at = !words.empty() && rules::EqualsNoCase(words[0].text, "CONSTRAINT") ? 2 : 0;
  return words.size() == at + 2 && rules::EqualsNoCase(words[at].text, "NOT") &&
         rules::EqualsNoCase(words[at + 1].text, "NULL");
}

}  // namespace

// SQLite changes no constraint and no type of an existing table: the table
// is made anew from its kept CREATE TABLE text, edited, and the rows copied
// over (Rebuild). An index, or a constraint Jet added as one, is dropped as
// an index.
void SqliteBackend::AlterTable(const jet::TableEdit& edit) {
  const jet::Dialect& dialect = SqliteDialect();
  const std::vector<std::string> table_name = {edit.table};
  if (!edit.drop.empty()) {
    const std::vector<std::string> index = {edit.table + "." + edit.drop};
    if (!Texts("SELECT name FROM sqlite_master WHERE type = 'index' AND name = ?1 COLLATE NOCASE "
               "AND sql IS NOT NULL",
               index)
             .empty()) {
      std::string drop = "DROP INDEX ";
      dialect.IndexName(edit.table, edit.drop, drop);
      Run(drop, nullptr);
      return;
    }
  }
  const auto found =
      Texts("SELECT name, sql FROM sqlite_master WHERE type = 'table' AND name = ?1 COLLATE NOCASE",
            table_name);
  if (found.empty()) throw jeterr::NoTable(edit.table);
  const std::string& table = found[0][0];
  std::optional<TableDefinition> definition = ReadDefinition(found[0][1]);
  if (!definition)
    throw Error(errnum::kFail, "The definition of table " + Quoted(table) + " cannot be read.");

  std::string quoted;
  dialect.Identifier(table, quoted);
  // The rows to copy: every column as it is, the altered one converted.
  std::string select_list;
  bool column_found = edit.column.empty();
  for (const std::string& column : ColumnsOf(table)) {
    if (!select_list.empty()) select_list += ", ";
    if (!edit.column.empty() && rules::EqualsNoCase(column, edit.column)) {
      select_list += edit.conversion;
      column_found = true;
    } else {
      dialect.Identifier(column, select_list);
    }
  }
  if (!column_found) throw jeterr::UnknownName(edit.column);

  if (!edit.drop.empty()) {
    // Jet's constraint names live within the table's definition as
    // "table.name": the table's own constraint, or a column's.
    const std::string name = table + "." + edit.drop;
    bool dropped = false;
    std::vector<std::string> kept;
    for (const std::string& item : definition->items) {
      const std::vector<Word> words = WordsOf(item);
      if (words.size() > 1 && rules::EqualsNoCase(words[0].text, "CONSTRAINT") &&
          NameIs(words[1].text, name)) {
        dropped = true;
        continue;
      }
      const std::vector<std::string_view> pieces = ColumnPieces(item);
      std::string rest;
      for (size_t p = 0; p < pieces.size(); ++p) {
        const std::vector<Word> piece = WordsOf(pieces[p]);
        if (p > 0 && piece.size() > 1 && rules::EqualsNoCase(piece[0].text, "CONSTRAINT") &&
            NameIs(piece[1].text, name)) {
          dropped = true;
          continue;
        }
        if (!rest.empty()) rest += ' ';
        rest += pieces[p];
      }
      kept.push_back(pieces.empty() ? item : rest);
    }
    if (!dropped) throw Error(errnum::kFail, Quoted(edit.drop) + " is not an index in this table.");
    definition->items = std::move(kept);
  }

  if (!edit.column.empty()) {
    for (std::string& item : definition->items) {
      const std::vector<Word> words = WordsOf(item);
      const std::vector<std::string_view> pieces = ColumnPieces(item);
      if (pieces.empty() || !NameIs(words[0].text, edit.column)) continue;
      // A Yes/No column's own rule (never Null, No by default) goes with its type.
      const bool yes_no = words.size() > 1 && rules::EqualsNoCase(words[1].text, "YESNO");
      // A counter that was the key stops numbering: its key is then one the
      // rows write, which refuses Null instead of being SQLite's row number.
      const bool counter = std::any_of(words.begin(), words.end(), [](const Word& w) {
        return rules::EqualsNoCase(w.text, "AUTOINCREMENT");
      });
      std::string altered;
      dialect.Identifier(edit.column, altered);
      altered += ' ';
      dialect.ColumnType(edit.column, edit.type, edit.width, counter, altered);
      if (counter) altered += " NOT NULL PRIMARY KEY";
      for (size_t p = 1; p < pieces.size(); ++p) {
        if (IsTypeRule(pieces[p])) continue;
        if (counter && rules::EqualsNoCase(WordsOf(pieces[p])[0].text, "PRIMARY")) continue;
        if (yes_no &&
            (IsNotNull(pieces[p]) || rules::EqualsNoCase(WordsOf(pieces[p])[0].text, "DEFAULT"))) {
          continue;
        }
        altered += ' ';
        altered += pieces[p];
      }
      item = std::move(altered);
    }
  }

  if (edit.key && !Texts("SELECT 1 FROM pragma_table_info(?1) WHERE pk > 0", table_name).empty()) {
    throw jeterr::KeyExists();
  }
  if (!edit.required.empty()) {
    // A key, or an index that disallows Null, over a Null is refused whole.
    std::string nulls = "SELECT 1 FROM " + quoted + " WHERE ";
    for (size_t i = 0; i < edit.required.size(); ++i) {
      if (i > 0) nulls += " OR ";
      dialect.Identifier(edit.required[i], nulls);
      nulls += " IS NULL";
    }
    if (!Texts(nulls + " LIMIT 1").empty()) throw jeterr::NullInKey();
    for (std::string& item : definition->items) {
      const std::vector<std::string_view> pieces = ColumnPieces(item);
      if (pieces.empty()) continue;
      const std::vector<Word> words = WordsOf(item);
      bool required = false;
      for (const std::string& column : edit.required) {
        required = required || NameIs(words[0].text, column);
      }
      if (!required) continue;
      // A key of one column declared INTEGER would be SQLite's row number,
      // which numbers a Null instead of refusing it; INT reads the same.
      if (edit.key && edit.required.size() == 1 && words.size() > 1 &&
          rules::EqualsNoCase(words[1].text, "INTEGER")) {
        item.replace(words[1].at, words[1].text.size(), "INT");
      }
      for (size_t p = 1; p < pieces.size() && required; ++p) required = !IsNotNull(pieces[p]);
      if (required) item += " NOT NULL";
    }
  }
  if (!edit.add.empty()) {
    std::string_view add = edit.add;
    while (add.starts_with(' ')) add.remove_prefix(1);
    definition->items.emplace_back(add);
  }
  Rebuild(table, definition->Body(), select_list, edit.then);
}

// The way SQLite documents a change of a table: a new table of the edited
// definition, the rows copied into it, the old table dropped and the new one
// given its name, then the old one's indexes and triggers made again, all
// in one savepoint. References are not enforced meanwhile (SQLite allows
// that outside a transaction only), so dropping the old table neither
// cascades to the rows that refer to it nor counts them as broken; the
// references are checked once the new table stands. Renaming the legacy way
// leaves the views that read the table as they are, reading the new one.
void SqliteBackend::Rebuild(const std::string& table, const std::string& definition,
                            const std::string& select_list, const std::string& then) {
  const jet::Dialect& dialect = SqliteDialect();
  const std::vector<std::string> name = {table};
  const auto children = Texts(
      "SELECT DISTINCT m.name FROM sqlite_master AS m, pragma_foreign_key_list(m.name) AS f "
      "WHERE m.type = 'table' AND f.\"table\" = ?1 COLLATE NOCASE",
      name);
  const bool outside = sqlite3_get_autocommit(db_.get()) != 0;
  if (!outside) {
    for (const auto& child : children) {
      if (rules::EqualsNoCase(child[0], table)) continue;
      // Inside a transaction references stay enforced, and dropping the old
      // table would delete or orphan the rows of the tables that refer to it.
      throw Error(errnum::kFail, "Table " + Quoted(table) +
                                     " cannot be changed inside a transaction while table " +
                                     Quoted(child[0]) + " refers to it.");
    }
  }
  const auto objects = Texts(
      "SELECT sql FROM sqlite_master WHERE tbl_name = ?1 AND type IN ('index', 'trigger') "
      "AND sql IS NOT NULL ORDER BY type, rowid",
      name);
  // A counter numbers on from the highest number it ever gave.
  const bool counts =
      !Texts("SELECT 1 FROM sqlite_master WHERE name = 'sqlite_sequence'").empty();
  const auto sequence = counts ? Texts("SELECT seq FROM sqlite_sequence WHERE name = ?1", name)
                               : std::vector<std::vector<std::string>>();
  std::string quoted;
  dialect.Identifier(table, quoted);
  if (outside) Exec("PRAGMA foreign_keys=OFF");
  Exec("PRAGMA legacy_alter_table=ON");
  auto restore = [&] {
    Restore("PRAGMA legacy_alter_table=OFF");
    if (outside) Restore("PRAGMA foreign_keys=ON");
  };
  try {
    InSavepoint("tessaly_alter", [&] {
      Run("CREATE TABLE jet_rebuild " + definition, nullptr);
      Run("INSERT INTO jet_rebuild SELECT " + select_list + " FROM " + quoted, nullptr);
      Run("DROP TABLE " + quoted, nullptr);
      Run("ALTER TABLE jet_rebuild RENAME TO " + quoted, nullptr);
      for (const auto& object : objects) Run(object[0], nullptr);
      if (!sequence.empty()) {
        const Parameter counted[] = {Parameter::Text(table)};
        Run("UPDATE sqlite_sequence SET seq = max(seq, " + sequence[0][0] + ") WHERE name = ?1",
            counted, nullptr);
      }
      if (outside) {
        const auto broken =
            Texts("SELECT \"parent\" FROM pragma_foreign_key_check(?1) LIMIT 1", name);
        if (!broken.empty()) throw jeterr::RelatedRequired(broken[0][0]);
        for (const auto& child : children) {
          if (!Texts("SELECT 1 FROM pragma_foreign_key_check(?1) LIMIT 1", {child[0]}).empty()) {
            throw jeterr::RelatedRecords(child[0]);
          }
        }
      }
      if (!then.empty()) Run(then, nullptr);
    });
  } catch (...) {
    restore();
    throw;
  }
  restore();
}

}  // namespace tessaly::db::sqlite
