// The statement corpus: Jet statements as Access users write them, each with
// the outcome the dialect documents, run against a small fixture database.
//
// Every file tests/db/jet/corpus/<feature>.jet is read at start-up and each
// statement in it becomes one test, JetCorpus.<feature>/<name>
// (--gtest_filter='JetCorpus.like/*' runs one file). The file format:
//
//   # a comment line      ("#" and a blank, anywhere)
//   @ansi89                 first line, optional: the file's statements run on a
//                           connection opened with the ANSI-89 wildcard option
//   @region=zh-CN           first line, optional: the same with the regional setting
//   -- name                 a statement's name, unique in its file
//   @sqlite-only why        right after the name, optional: the statement is not
//                           run on the PostgreSQL server (its test is skipped
//                           there, saying why)
//   @postgres-only why      the same for SQLite: the statement runs on the
//                           PostgreSQL server only
//   > ALTER TABLE ...       before the statement, optional, one line each: a
//                           statement run first, which must run ("> !" before it:
//                           which must fail), so the statement shows its effect
//   SELECT ...              the statement; it may span lines up to the first line
//                           starting with "=", "~", "!" or "--"
//   = a | b                 an expected row: cells separated by " | ", Null
//                           written Null, numbers and truth values as the
//                           runtime writes a Variant joined to a text ("7.5",
//                           "-1", "True" for a yes/no column), dates as
//                           yyyy-mm-dd or yyyy-mm-dd hh:nn:ss; rows compare in order
//   = (none)                the statement returns no rows
//   ~ 3                     the statement returns no rows and affected 3 records
//   ! 3085 Undefined function 'Foo' in expression.
//                           the statement fails: Jet's error number, then the
//                           description exactly. A Jet number (3000-3999) is
//                           checked against the number the host sees for it
//                           (kHostNumbers below); any other number (a runtime
//                           error such as 13, or a provider number) is compared
//                           as it is.
//   > SELECT ...            after the outcome, optional and repeatable: a
//                           statement run next on the same database, to show
//                           what a write did (or, after a failure, that it
//                           changed nothing); the rows of a query follow it as
//                           "=" lines, a write has none
//
// Each statement runs on a fresh in-memory database holding the fixture, so a
// statement that writes does not disturb the next. When TESSALY_PG_TARGET
// names a PostgreSQL server, every statement runs there too, as
// JetCorpusPostgres.<feature>/<name>, on the same fixture made afresh in a
// schema of the process's own: one statement must give one answer on both
// engines.
//
// The fixture, created with each engine's own SQL (not through the translator):
//
// Customers (ID counter key, Name text(50), City text(30), Born datetime,
//            Balance double, Active yes/no)
//   ID | Name     | City   | Born                | Balance | Active
//    1 | Abbott   | London | 1970-03-15          |  120.5  | -1
//    2 | baker    | Paris  | 1985-11-02          |    0    |  0
//    3 | Carter   | Null   | 1962-07-30          |  -45.25 | -1
//    4 | DAVIS    | London | Null                | 1000    | -1
//    5 | evans    | Berlin | 1990-01-01          |   75    |  0
//    6 | Foster   | paris  | 1978-12-31          |  300    | -1
//    7 | O'Brien  | Dublin | 1980-05-05          |  200    | -1
//    8 | Xu       | Tokyo  | 1995-06-15 08:30:00 |   50    | -1
//    9 | young    | Null   | Null                |    0    |  0
//   10 | Zimmer   | Madrid | 2001-02-28          |   12.75 |  0
//
// Orders (OrderID long key, CustomerID long, OrderDate datetime,
//         Amount currency, Shipped yes/no)
//   OrderID | CustomerID | OrderDate           | Amount  | Shipped
//     1     |  1         | 2005-01-15          |  250    | -1
//     2     |  1         | 2005-02-01          |   99.99 | -1
//     3     |  2         | 2005-02-14          |   15.5  |  0
//     4     |  3         | 2005-03-01          |  250    | -1
//     5     |  4         | 2005-03-01 14:30:00 | 1200    | -1
//     6     |  4         | 2005-04-10          |   80    |  0
//     7     |  5         | 2005-05-05          |  250    | -1
//     8     |  6         | 2005-06-30          |   42    |  0
//     9     |  7         | 2005-07-04          |  310    | -1
//    10     |  8         | 2005-12-31 23:59:59 |    5    | -1
//    11     |  1         | 2006-01-01          |   75.25 |  0
//    12     | 99         | 2006-02-28          |   60    |  0   (no such customer)
//
// Products (ID long key, Name text(50), Price double, Category text(20))
//   ID | Name        | Price | Category
//    1 | Widget      |  2.5  | Tools
//    2 | Gadget 2000 | 19.99 | Toys
//    3 | Part #7     |  0.75 | Tools
//    4 | Star*Bright |  5    | Toys
//    5 | 100% Juice  |  1.2  | Food
//    6 | Under_score |  3    | Null
//
// Scratch (A long, B text(20)), empty.
//
// ActiveCustomers, a saved query: SELECT * FROM Customers WHERE Active <> 0
// (customers 1, 3, 4, 6, 7, 8).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "db/Backend.h"
#include "support/TestDb.h"
#include "tessaly/Error.h"
#include "tessaly/db/Connection.h"
#include "tessaly/db/Recordset.h"

namespace tessaly::db::testing {
namespace {

// The fixture's rows, one text for both engines' statements.
#define TESSALY_CUSTOMER_ROWS                                  \
  "(1, 'Abbott', 'London', '1970-03-15', 120.5, -1), "         \
  "(2, 'baker', 'Paris', '1985-11-02', 0, 0), "                \
  "(3, 'Carter', NULL, '1962-07-30', -45.25, -1), "            \
  "(4, 'DAVIS', 'London', NULL, 1000, -1), "                   \
  "(5, 'evans', 'Berlin', '1990-01-01', 75, 0), "              \
  "(6, 'Foster', 'paris', '1978-12-31', 300, -1), "            \
  "(7, 'O''Brien', 'Dublin', '1980-05-05', 200, -1), "         \
  "(8, 'Xu', 'Tokyo', '1995-06-15 08:30:00', 50, -1), "        \
  "(9, 'young', NULL, NULL, 0, 0), "                           \
  "(10, 'Zimmer', 'Madrid', '2001-02-28', 12.75, 0)"
#define TESSALY_ORDER_ROWS                                                    \
  "(1, 1, '2005-01-15', 250, -1), (2, 1, '2005-02-01', 99.99, -1), "        \
  "(3, 2, '2005-02-14', 15.5, 0), (4, 3, '2005-03-01', 250, -1), "          \
  "(5, 4, '2005-03-01 14:30:00', 1200, -1), (6, 4, '2005-04-10', 80, 0), "  \
  "(7, 5, '2005-05-05', 250, -1), (8, 6, '2005-06-30', 42, 0), "            \
  "(9, 7, '2005-07-04', 310, -1), (10, 8, '2005-12-31 23:59:59', 5, -1), "  \
  "(11, 1, '2006-01-01', 75.25, 0), (12, 99, '2006-02-28', 60, 0)"
#define TESSALY_PRODUCT_ROWS                                                      \
  "(1, 'Widget', 2.5, 'Tools'), (2, 'Gadget 2000', 19.99, 'Toys'), "            \
  "(3, 'Part #7', 0.75, 'Tools'), (4, 'Star*Bright', 5, 'Toys'), "              \
  "(5, '100% Juice', 1.2, 'Food'), (6, 'Under_score', 3, NULL)"

const char* const kFixture[] = {
    "CREATE TABLE Customers (ID INTEGER PRIMARY KEY AUTOINCREMENT, "
    "Name VARCHAR(50) COLLATE NOCASE, City VARCHAR(30) COLLATE NOCASE, Born DATETIME, "
    "Balance DOUBLE, Active YESNO)",
    "INSERT INTO Customers VALUES "
    TESSALY_CUSTOMER_ROWS,
    "CREATE TABLE Orders (OrderID INTEGER PRIMARY KEY, CustomerID INTEGER, OrderDate DATETIME, "
    "Amount CURRENCY, Shipped YESNO)",
    "INSERT INTO Orders VALUES "
    TESSALY_ORDER_ROWS,
    "CREATE TABLE Products (ID INTEGER PRIMARY KEY, Name VARCHAR(50) COLLATE NOCASE, "
    "Price DOUBLE, Category VARCHAR(20) COLLATE NOCASE)",
    "INSERT INTO Products VALUES " TESSALY_PRODUCT_ROWS,
    "CREATE TABLE Scratch (A INTEGER, B VARCHAR(20) COLLATE NOCASE)",
    "CREATE VIEW ActiveCustomers AS SELECT * FROM Customers WHERE Active <> 0",
};

// The same fixture in PostgreSQL's SQL, typed as the server's dialect types
// Jet's columns (texts are citext; the counter goes on after the rows given).
const char* const kServerFixture[] = {
    R"(CREATE TABLE "Customers" ("ID" integer GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY, )"
    R"("Name" citext CHECK (length("Name") <= 50), "City" citext CHECK (length("City") <= 30), )"
    R"("Born" timestamp(0), "Balance" double precision, "Active" yesno NOT NULL DEFAULT 0))",
    R"(INSERT INTO "Customers" VALUES )" TESSALY_CUSTOMER_ROWS,
    R"(SELECT setval(pg_get_serial_sequence('"Customers"', 'ID'), 10))",
    R"(CREATE TABLE "Orders" ("OrderID" integer PRIMARY KEY, "CustomerID" integer, )"
    R"("OrderDate" timestamp(0), "Amount" numeric(19, 4), "Shipped" yesno NOT NULL DEFAULT 0))",
    R"(INSERT INTO "Orders" VALUES )" TESSALY_ORDER_ROWS,
    R"(CREATE TABLE "Products" ("ID" integer PRIMARY KEY, )"
    R"("Name" citext CHECK (length("Name") <= 50), "Price" double precision, )"
    R"("Category" citext CHECK (length("Category") <= 20)))",
    R"(INSERT INTO "Products" VALUES )" TESSALY_PRODUCT_ROWS,
    R"(CREATE TABLE "Scratch" ("A" integer, "B" citext CHECK (length("B") <= 20)))",
    R"(CREATE VIEW "ActiveCustomers" AS SELECT * FROM "Customers" WHERE "Active" <> 0)",
};

// The number a host sees in Err.Number for each Jet engine error, as the
// provider reports it: errors in the command text, an unknown table, a
// parameter nobody gave, a type mismatch; everything else fails generally.
struct HostNumber {
  int jet;
  int32_t host;
};
constexpr HostNumber kHostNumbers[] = {
    {3075, errnum::kSyntax},        // syntax error (missing operator) in query expression
    {3085, errnum::kSyntax},        // undefined function
    {3129, errnum::kSyntax},        // invalid SQL statement
    {3131, errnum::kSyntax},        // syntax error in FROM clause
    {3134, errnum::kSyntax},        // syntax error in INSERT INTO
    {3141, errnum::kSyntax},        // SELECT includes a reserved word or is misspelled
    {3142, errnum::kSyntax},        // characters found after end of SQL statement
    {3144, errnum::kSyntax},        // syntax error in UPDATE
    {3145, errnum::kSyntax},        // syntax error in WHERE clause
    {3289, errnum::kSyntax},        // syntax error in CONSTRAINT clause
    {3290, errnum::kSyntax},        // syntax error in CREATE TABLE
    {3291, errnum::kSyntax},        // syntax error in CREATE INDEX
    {3292, errnum::kSyntax},        // syntax error in field definition
    {3293, errnum::kSyntax},        // syntax error in ALTER TABLE
    {3295, errnum::kSyntax},        // syntax error in DROP TABLE or DROP INDEX
    {3319, errnum::kSyntax},        // syntax error in union query
    {3078, errnum::kNoTable},       // cannot find the input table or query
    {3061, errnum::kNoValue},       // too few parameters / no value given
    {3464, errnum::kTypeMismatch},  // data type mismatch in criteria expression
    {3022, errnum::kFail},          // duplicate values in the index
    {3024, errnum::kFail},          // could not find file (another database)
    {3010, errnum::kSyntax},        // table already exists (as the data layer reports it)
    {3103, errnum::kSyntax},        // circular reference caused by an alias
    {3095, errnum::kSyntax},        // aggregate inside an aggregate's argument
    {3096, errnum::kSyntax},        // aggregate in WHERE
    {3098, errnum::kSyntax},        // aggregate in GROUP BY
    {3120, errnum::kSyntax},        // cannot group on fields selected with '*'
    {3203, errnum::kSyntax},        // subqueries cannot be used in the expression
    {3122, errnum::kSyntax},        // expression not part of an aggregate function
    {3191, errnum::kSyntax},        // field defined more than once (likewise)
    {3380, errnum::kSyntax},        // field already exists in the table (likewise)
    {3376, errnum::kFail},          // table does not exist
    {3071, errnum::kFail},          // expression typed incorrectly or too complex
    {3360, errnum::kFail},          // query is too complex
};

struct Statement {
  std::string file;  // the feature: the file's name without ".jet"
  std::string name;
  int line = 0;  // of the "--" line, for messages
  std::string options;      // the connection's options ("?ansi89", "?region=en-US") or ""
  std::string sqlite_only;  // why the statement is not run on the server, or ""
  std::vector<std::string> before;  // statements run first; "!" before one that fails
  std::string sql;
  enum class Expect { kRows, kAffected, kError } expect = Expect::kRows;
  std::vector<std::string> rows;  // kRows: each row's cells joined by " | "
  int32_t affected = 0;
  int32_t error_number = 0;
  std::string error_description;
  std::string postgres_only;  // why the statement is not run on SQLite, or ""
  struct Check {
    std::string sql;
    bool query = false;  // "=" lines follow it
    std::vector<std::string> rows;
  };
  std::vector<Check> checks;  // the "> " queries after the outcome
  std::string malformed;  // set when the file could not be read as the format says
};

std::string Trimmed(std::string s) {
  while (!s.empty() && (s.back() == ' ' || s.back() == '\r' || s.back() == '\t')) s.pop_back();
  size_t start = 0;
  while (start < s.size() && (s[start] == ' ' || s[start] == '\t')) ++start;
  return s.substr(start);
}

std::vector<Statement> ReadFile(const std::filesystem::path& path) {
  std::vector<Statement> out;
  std::ifstream in(path);
  const std::string file = path.stem().string();
  std::string line;
  int number = 0;
  std::string options;
  bool in_statement = false;  // reading the statement's lines
  auto fail = [&](const std::string& why) {
    Statement bad;
    bad.file = file;
    bad.name = "line" + std::to_string(number);
    bad.line = number;
    bad.malformed = why;
    out.push_back(std::move(bad));
  };
  while (std::getline(in, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (number == 1 && (Trimmed(line) == "@ansi89" || Trimmed(line).starts_with("@region="))) {
      options = "?" + Trimmed(line).substr(1);
      continue;
    }
    // "# " starts a comment anywhere ("#1/2/2005#" may start a statement's line).
    if (line == "#" || line.starts_with("# ")) continue;
    if (line.starts_with("--")) {
      Statement s;
      s.file = file;
      s.name = Trimmed(line.substr(2));
      s.line = number;
      s.options = options;
      for (const Statement& other : out) {
        if (other.name == s.name) fail("the name " + s.name + " is used twice");
      }
      out.push_back(std::move(s));
      in_statement = true;
      continue;
    }
    if (out.empty() || !out.back().malformed.empty()) {
      if (line.starts_with("#") || Trimmed(line).empty()) continue;
      fail("text outside a statement: " + line);
      continue;
    }
    Statement& s = out.back();
    bool marked = false;
    for (auto [marker, why] : {std::pair{std::string("@sqlite-only"), &s.sqlite_only},
                               std::pair{std::string("@postgres-only"), &s.postgres_only}}) {
      if (!line.starts_with(marker)) continue;
      marked = true;
      if (!in_statement || !s.sql.empty()) {
        fail(marker + " of " + s.name + " is not right after its name");
        break;
      }
      *why = Trimmed(line.substr(marker.size()));
      if (why->empty()) fail(marker + " of " + s.name + " says not why");
      break;
    }
    if (marked) continue;
    const char mark = line.empty() ? '\0' : line[0];
    if (mark == '>') {
      if (in_statement && s.sql.empty()) {
        s.before.push_back(Trimmed(line.substr(1)));
      } else if (in_statement) {
        fail("a line \">\" of " + s.name + " comes inside its text");
      } else {
        s.checks.push_back({Trimmed(line.substr(1)), false, {}});
      }
      continue;
    }
    if (mark == '=' && !s.checks.empty()) {
      const std::string rest = line.size() > 1 && line[1] == ' ' ? line.substr(2) : line.substr(1);
      s.checks.back().query = true;
      if (rest != "(none)") s.checks.back().rows.push_back(rest);
      continue;
    }
    if (mark == '=' || mark == '~' || mark == '!') {
      const std::string rest = line.size() > 1 && line[1] == ' ' ? line.substr(2) : line.substr(1);
      if (in_statement) {
        in_statement = false;
        if (Trimmed(s.sql).empty()) fail("statement " + s.name + " has no text");
        s.expect = mark == '='   ? Statement::Expect::kRows
                   : mark == '~' ? Statement::Expect::kAffected
                                 : Statement::Expect::kError;
      } else if ((mark == '=') != (s.expect == Statement::Expect::kRows) ||
                 s.expect != Statement::Expect::kRows) {
        fail("statement " + s.name + " has more than one outcome");
        continue;
      }
      if (mark == '=') {
        if (rest != "(none)") s.rows.push_back(rest);
      } else if (mark == '~') {
        s.affected = std::atoi(rest.c_str());
      } else {
        const size_t space = rest.find(' ');
        s.error_number = std::atoi(rest.substr(0, space).c_str());
        s.error_description = space == std::string::npos ? "" : rest.substr(space + 1);
      }
      continue;
    }
    if (in_statement) {
      if (!s.sql.empty()) s.sql += '\n';
      s.sql += line;
    } else if (!line.starts_with("#") && !Trimmed(line).empty()) {
      fail("text after the outcome of " + s.name + ": " + line);
    }
  }
  if (in_statement && !out.empty() && out.back().malformed.empty()) {
    fail("statement " + out.back().name + " has no outcome");
  }
  return out;
}

// A cell as the file writes it.
std::string CellText(const Variant& v) {
  if (v.IsNull()) return "Null";
  if (const Date* d = v.AsDate()) return d->ToStored();
  return v.ToText();
}

std::string Joined(const std::vector<std::string>& rows) {
  if (rows.empty()) return "(none)\n";
  std::string out;
  for (const std::string& r : rows) out += r + "\n";
  return out;
}

class CorpusStatement : public ::testing::Test {
 public:
  CorpusStatement(Statement s, bool server) : s_(std::move(s)), server_(server) {}

  void TestBody() override {
    ASSERT_TRUE(s_.malformed.empty()) << s_.file << ".jet:" << s_.line << ": " << s_.malformed;
    if (server_ && !s_.sqlite_only.empty()) GTEST_SKIP() << "sqlite-only: " << s_.sqlite_only;
    if (!server_ && !s_.postgres_only.empty()) {
      GTEST_SKIP() << "postgres-only: " << s_.postgres_only;
    }
    std::shared_ptr<Connection> conn;
    if (server_) {
      conn = tessaly::testing::EmptyServerDb();
      for (const char* sql : kServerFixture) internal::BackendOf(*conn).Run(sql, nullptr);
      if (!s_.options.empty()) {
        conn = Connection::Open(tessaly::testing::SchemaTarget(tessaly::testing::ServerTarget(),
                                                               tessaly::testing::TestSchema()) +
                                s_.options);
      }
    } else {
      conn = Connection::Open(":memory:" + s_.options);
      for (const char* sql : kFixture) internal::BackendOf(*conn).Run(sql, nullptr);
    }
    SCOPED_TRACE(s_.file + ".jet:" + std::to_string(s_.line) + "\n" + s_.sql);
    for (const std::string& sql : s_.before) {
      const bool fails = sql.starts_with("! ");
      try {
        conn->Execute(fails ? sql.substr(2) : sql);
        ASSERT_FALSE(fails) << "ran: " << sql;
      } catch (const Error& e) {
        ASSERT_TRUE(fails) << sql << "\nfailed: " << e.number() << " " << e.description();
      }
    }
    Outcome(conn);
    for (const Statement::Check& check : s_.checks) {
      SCOPED_TRACE("then " + check.sql);
      try {
        std::vector<std::string> rows;
        ASSERT_EQ(Rows(check.sql, conn, &rows), check.query)
            << (check.query ? "the check returned no recordset" : "the write returned rows");
        if (check.query) EXPECT_EQ(Joined(rows), Joined(check.rows));
      } catch (const Error& e) {
        ADD_FAILURE() << "the check failed: " << e.number() << " " << e.description();
      }
    }
  }

 private:
  // The rows of a query, each as the file writes it; false when it opened
  // no recordset.
  static bool Rows(const std::string& sql, const std::shared_ptr<Connection>& conn,
                   std::vector<std::string>* rows) {
    Recordset rs;
    rs.Open(sql, conn, adOpenStatic, adLockReadOnly);
    if (rs.State() == 0) return false;
    for (; !rs.IsEOF(); rs.MoveNext()) {
      std::string row;
      const Fields fields = rs.Fields();
      for (int32_t i = 0; i < fields.Count(); ++i) {
        if (i > 0) row += " | ";
        row += CellText(fields.Item(i).Value());
      }
      rows->push_back(std::move(row));
    }
    return true;
  }

  // The statement's own outcome, as its "=", "~" or "!" lines give it.
  void Outcome(const std::shared_ptr<Connection>& conn) {
    try {
      switch (s_.expect) {
        case Statement::Expect::kAffected: EXPECT_EQ(conn->Execute(s_.sql), s_.affected); return;
        case Statement::Expect::kRows:
        case Statement::Expect::kError: {
          std::vector<std::string> rows;
          const bool opened = Rows(s_.sql, conn, &rows);
          ASSERT_EQ(s_.expect, Statement::Expect::kRows)
              << "ran, expected the error " << s_.error_number << " " << s_.error_description;
          ASSERT_TRUE(opened) << "the statement returned no recordset";
          EXPECT_EQ(Joined(rows), Joined(s_.rows));
          return;
        }
      }
    } catch (const Error& e) {
      ASSERT_EQ(s_.expect, Statement::Expect::kError)
          << "failed: " << e.number() << " " << e.description();
      int32_t expected = s_.error_number;
      if (s_.error_number >= 3000 && s_.error_number < 4000) {
        const auto* known =
            std::find_if(std::begin(kHostNumbers), std::end(kHostNumbers),
                         [&](const HostNumber& h) { return h.jet == s_.error_number; });
        ASSERT_NE(known, std::end(kHostNumbers))
            << "the runner does not know Jet error " << s_.error_number;
        expected = known->host;
      }
      EXPECT_EQ(e.number(), expected) << e.description();
      EXPECT_EQ(e.description(), s_.error_description);
    }
  }

 private:
  Statement s_;
  bool server_;
};

// Registers every statement of every file before the tests run.
const bool kRegistered = [] {
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(TESSALY_CORPUS_DIR)) {
    if (entry.path().extension() == ".jet") files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  const bool server = !tessaly::testing::ServerTarget().empty();
  for (const auto& path : files) {
    for (const Statement& s : ReadFile(path)) {
      const std::string test = s.file + "/" + s.name;
      ::testing::RegisterTest(
          "JetCorpus", test.c_str(), nullptr, nullptr, path.string().c_str(), s.line,
          [s]() -> ::testing::Test* { return new CorpusStatement(s, false); });
      if (!server) continue;
      ::testing::RegisterTest(
          "JetCorpusPostgres", test.c_str(), nullptr, nullptr, path.string().c_str(), s.line,
          [s]() -> ::testing::Test* { return new CorpusStatement(s, true); });
    }
  }
  return true;
}();

}  // namespace
}  // namespace tessaly::db::testing
