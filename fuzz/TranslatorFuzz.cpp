// Fuzz target: one input is one Jet statement. It is translated with and
// without lifted literals; a statement that translates is run against a small
// in-memory database holding the Jet functions, so both the translator and
// the functions see hostile input. Any crash, sanitizer report or failed
// invariant is a finding; refusals with Jet's errors are expected answers.
#include <sqlite3.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "db/jet/Translator.h"
#include "db/postgres/PgDialect.h"
#include "db/sqlite/JetFunctions.h"
#include "db/sqlite/SqliteDialect.h"

namespace {

using namespace tessaly::db;

sqlite3* Database() {
  static sqlite3* db = [] {
    sqlite3* d = nullptr;
    if (sqlite3_open(":memory:", &d) != SQLITE_OK) std::abort();
    sqlite::RegisterJetFunctions(d);
    sqlite3_exec(d,
                 "CREATE TABLE T_KQ (F_ID INTEGER PRIMARY KEY, F_EmpID TEXT COLLATE NOCASE, "
                 "F_Name TEXT COLLATE NOCASE, F_Date TEXT, F_CDNum INTEGER, F_JBHours REAL);"
                 "INSERT INTO T_KQ VALUES (1, '0001', '张三', '2003-05-01', 2, 7.5),"
                 "(2, 'a''b', NULL, '2024-02-29 09:30:00', NULL, -1e300),"
                 "(3, '', 'x', NULL, -32768, 0);"
                 "CREATE TABLE T_BM (F_ID INTEGER PRIMARY KEY, F_Name TEXT COLLATE NOCASE);"
                 "INSERT INTO T_BM VALUES (2, 'b'), (-32768, NULL);",
                 nullptr, nullptr, nullptr);
    // Bounds the work of one statement (recursive or cross-joined queries).
    sqlite3_progress_handler(
        d, 10000, [](void*) { return 1; }, nullptr);
    return d;
  }();
  return db;
}

void Step(sqlite3* db, const std::string& sql) {
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &stmt, nullptr) ==
      SQLITE_OK) {
    for (int rows = 0; rows < 100 && sqlite3_step(stmt) == SQLITE_ROW; ++rows) {
      for (int c = 0; c < sqlite3_column_count(stmt); ++c) sqlite3_column_text(stmt, c);
    }
  }
  sqlite3_finalize(stmt);
}

// A statement with the ones the translator wrote around it (an UPDATE of
// several joined tables, a counter's seed), in one savepoint undone after.
void Run(const std::string& sql, std::span<const std::string> before = {},
         std::span<const std::string> after = {}) {
  sqlite3* db = Database();
  sqlite3_exec(db, "SAVEPOINT fuzz", nullptr, nullptr, nullptr);
  for (const std::string& s : before) Step(db, s);
  Step(db, sql);
  for (const std::string& s : after) Step(db, s);
  sqlite3_exec(db, "ROLLBACK TO fuzz; RELEASE fuzz", nullptr, nullptr, nullptr);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view jet(reinterpret_cast<const char*>(data), size);
  const jet::Translation inline_literals = jet::Translate(jet, sqlite::SqliteDialect(), false);
  const jet::Translation lifted = jet::Translate(jet, sqlite::SqliteDialect(), true);
  // Lifting changes how literals are written, never whether a statement is
  // accepted.
  if (inline_literals.ok != lifted.ok || inline_literals.error_number != lifted.error_number) {
    std::abort();
  }
  // An INSERT of a shape already written is not written again, only its
  // literals are read: the same statement again comes out the same.
  const jet::Translation again = jet::Translate(jet, sqlite::SqliteDialect(), true);
  if (again.ok != lifted.ok || again.sql != lifted.sql ||
      again.error_description != lifted.error_description ||
      again.parameters.size() != lifted.parameters.size()) {
    std::abort();
  }
  for (size_t i = 0; i < again.parameters.size(); ++i) {
    const Parameter &a = again.parameters[i], &b = lifted.parameters[i];
    if (a.kind != b.kind || a.text != b.text || a.integer != b.integer ||
        std::memcmp(&a.real, &b.real, sizeof a.real) != 0 || a.date.ToStored() != b.date.ToStored()) {
      std::abort();
    }
  }
  if (!inline_literals.ok &&
      (inline_literals.error_number == 0 || inline_literals.error_offset.value_or(0) > size ||
       !inline_literals.sql.empty())) {
    std::abort();
  }
  // The server's dialect reads the same grammar and writes its own SQL (not
  // run here): a refusal still carries Jet's number and no statement.
  for (const bool lift : {false, true}) {
    const jet::Translation server = jet::Translate(jet, postgres::PgDialect(), lift);
    if (!server.ok && (server.error_number == 0 || !server.sql.empty())) std::abort();
  }
  // Access's wildcards change what LIKE matches, never what is accepted.
  const jet::Translation ansi89 = jet::Translate(jet, sqlite::SqliteDialect(), true, true);
  if (ansi89.ok != lifted.ok || ansi89.error_number != lifted.error_number) std::abort();
  if (inline_literals.ok) Run(inline_literals.sql, inline_literals.before, inline_literals.after);
  if (const auto& edit = inline_literals.edit) {
    // A change of a table's definition is the backend's to make: no
    // statement of its own, a table to change, and its pieces in SQLite's SQL.
    if (!inline_literals.sql.empty() || edit->table.empty()) std::abort();
    if (!edit->conversion.empty()) Run("SELECT " + edit->conversion + " FROM T_KQ");
    if (!edit->then.empty()) Run(edit->then);
  }
  if (inline_literals.pivot) {
    // A crosstab whose columns come from the data: written from its plan with
    // a column of each kind a pivot value has.
    std::vector<jet::PivotValue> values(4);
    values[0].null = true;
    values[1].value.kind = Parameter::Kind::kText;
    values[1].value.text = values[1].name = "a'b";
    values[2].value.integer = -1;
    values[2].name = "-1";
    values[3].value.kind = Parameter::Kind::kDate;
    values[3].value.date = *Date::ParseStored("2003-05-01");
    values[3].name = "2003-05-01";
    const jet::Translation crosstab = inline_literals.pivot->Write(values);
    if (!crosstab.ok || crosstab.pivot) std::abort();
    Run(crosstab.sql);
  }
  if (ansi89.ok) {
    const jet::Translation t = jet::Translate(jet, sqlite::SqliteDialect(), false, true);
    Run(t.sql, t.before, t.after);
  }
  return 0;
}
