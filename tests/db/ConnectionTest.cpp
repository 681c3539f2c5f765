// The connection: the engine's failures in Jet's numbers and words, statement
// atomicity, host transactions, durability and waiting for locks.
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iostream>
#include <thread>
#include <utility>
#include <vector>

#include "db/DbContract.h"
#include "db/jet/Dialect.h"
#include "db/sqlite/SqliteBackend.h"

namespace tessaly::db::testing {
namespace {

using namespace std::chrono_literals;

class ConnectionContract : public DbContract {};
TESSALY_INSTANTIATE_DB_CONTRACT(ConnectionContract);

constexpr char kDuplicate[] =
    "The changes you requested to the table were not successful because they would create "
    "duplicate values in the index, primary key, or relationship.  Change the data in the field "
    "or fields that contain duplicate data, remove the index, or redefine the index to permit "
    "duplicate entries and try again.";
constexpr char kRequired[] =
    "The field 'T_Emp.F_Name' cannot contain a Null value because the Required property for this "
    "field is set to True.  Enter a value in this field.";

TEST_P(ConnectionContract, EngineFailuresCarryJetNumbersAndWording) {
  AddEmployees(1);
  struct Case {
    const char* sql;
    int32_t number;
    const char* description;  // nullptr: any text of Jet's (the engine's name never shows)
  };
  const Case cases[] = {
      {"SELECT * FROM T_Nowhere", errnum::kNoTable,
       "The database engine cannot find the input table or query 'T_Nowhere'.  Make sure it "
       "exists and that its name is spelled correctly."},
      {"SELECT F_Nowhere FROM T_Emp", errnum::kNoValue,
       "No value given for one or more required parameters.  Unknown name 'F_Nowhere'."},
      {"UPDATE T_Emp SET F_Name = 'x' WHERE F_Nowhere = 1", errnum::kNoValue, nullptr},
      {"SELECT F_ID FROM T_Emp WHERE", errnum::kSyntax, nullptr},
      {"INSERT INTO T_Emp (F_ID, F_Name) VALUES (1, 'again')", errnum::kFail, kDuplicate},
      {"INSERT INTO T_Emp (F_ID) VALUES (2)", errnum::kFail, kRequired},
      {"INSERT INTO T_Emp (F_ID, F_Name, F_Shift) VALUES (2, 'a', 'early')", errnum::kTypeMismatch,
       "Data type mismatch in criteria expression."},
      {"INSERT INTO T_Emp (F_ID, F_Name) VALUES (2, 'a name far longer than twenty')",
       errnum::kFail,
       "The field is too small to accept the amount of data you attempted to add.  Try "
       "inserting or pasting less data."},
      {"UPDATE T_Emp SET F_Grade = 256", errnum::kFail, "Numeric field overflow."},
      {"INSERT INTO T_Emp (F_ID, F_Name, F_Grade) VALUES (3, 'a', 256)", errnum::kFail,
       "Numeric field overflow."},
      {"INSERT INTO T_Emp (F_ID, F_Name, F_Grade) VALUES (3, 'a', -1)", errnum::kFail,
       "Numeric field overflow."},
      {"INSERT INTO T_Emp (F_ID, F_Name) VALUES (3, NULL)", errnum::kFail, kRequired},
      // refused before anything runs: neither statement may take effect
      {"INSERT INTO T_Emp (F_ID, F_Name) VALUES (9, 'a'); DELETE FROM T_Emp", errnum::kSyntax,
       nullptr},
  };
  // Alone, and inside a host's transaction after rows written in it: each
  // failure takes its row with it and nothing else, and the transaction goes on.
  int next = 100;
  for (const bool in_transaction : {false, true}) {
    if (in_transaction) conn_->BeginTrans();
    // Past a table's first few rows in a transaction the server writes a row
    // that fits without a savepoint.
    const int first = next;
    for (int i = 0; i < 8; ++i) conn_->Execute(InsertSql(next++));
    for (const Case& c : cases) {
      const Error e = Caught([&] { conn_->Execute(c.sql); });
      EXPECT_EQ(e.number(), c.number) << c.sql << ": " << e.description();
      if (c.description) EXPECT_EQ(e.description(), c.description) << c.sql;
      EXPECT_EQ(e.description().find("SQLite"), std::string::npos) << e.description();
      conn_->Execute(InsertSql(next++));
    }
    // A key this transaction wrote.
    const Error again = Caught([&] { conn_->Execute(InsertSql(first)); });
    EXPECT_EQ(again.number(), errnum::kFail);
    EXPECT_EQ(again.description(), kDuplicate);
    if (in_transaction) conn_->CommitTrans();
  }
  EXPECT_EQ(Count(), 1 + next - 100);
  EXPECT_EQ(Count(conn_, "T_Emp WHERE F_ID = 3 OR F_ID = 9 OR F_Grade IS NOT NULL"), 0);
}

// A text holding character 0, written in the statement or a host's
// parameter, is refused whole on either engine: the server would store the
// text cut short at it.
TEST_P(ConnectionContract, ATextHoldingCharacterZeroIsRefusedAndWritesNothing) {
  AddEmployees(1);
  using namespace std::string_literals;
  const std::string statement = "UPDATE T_Emp SET F_Name = 'a\0b'"s;
  EXPECT_EQ(Caught([&] { conn_->Execute(statement); }).number(), errnum::kInvalidCall);
  internal::Backend& backend = internal::BackendOf(*conn_);
  std::string update = NativeSql("UPDATE T_Emp SET F_Name = ");
  backend.dialect().Placeholder(1, update);
  EXPECT_EQ(Caught([&] { backend.Texts(update, {"a\0b"s}); }).number(), errnum::kInvalidCall);
  EXPECT_EQ(Count(), 1);
  Recordset rs;
  rs.Open("SELECT F_Name FROM T_Emp", conn_, adOpenStatic, adLockReadOnly);
  EXPECT_EQ(rs.Fields().Item(0).Value().ToText().find('\0'), std::string::npos);
  EXPECT_NE(rs.Fields().Item(0).Value().ToText(), "a");
}

TEST_P(ConnectionContract, FailedStatementChangesNothingEvenInsideATransaction) {
  AddEmployees(3);
  Native("INSERT INTO T_Src VALUES (11, 'a'), (12, 'b'), (3, 'clash')");
  const char* failing[] = {"INSERT INTO T_Emp (F_ID, F_Name) SELECT F_ID, F_Name FROM T_Src",
                           "UPDATE T_Emp SET F_ID = 4 WHERE F_ID > 1"};
  for (const char* sql : failing) {
    EXPECT_EQ(Caught([&] { conn_->Execute(sql); }).number(), errnum::kFail) << sql;
    EXPECT_EQ(Count(), 3) << sql;
  }
  conn_->BeginTrans();
  conn_->Execute(InsertSql(4));
  EXPECT_NE(Caught([&] { conn_->Execute(failing[0]); }).number(), 0);
  conn_->CommitTrans();
  EXPECT_EQ(Count(), 4);
}

// The statements the translator writes around one of Jet's (the update of
// several joined tables on SQLite): all of them or none, in a host's
// transaction or not, the count that of the statement with the parameters.
TEST_P(ConnectionContract, AGroupOfStatementsRunsWhollyOrNotAtAll) {
  internal::Backend& backend = internal::BackendOf(*conn_);
  AddEmployees(2);
  const std::string before[] = {NativeSql("INSERT INTO T_Src VALUES (7, 'src')")};
  std::string rename = NativeSql("UPDATE T_Emp SET F_Name = ");
  backend.dialect().Placeholder(1, rename);
  const Parameter parameters[] = {Parameter::Text("renamed")};
  const std::string clash[] = {NativeSql("INSERT INTO T_Emp (F_ID, F_Name) VALUES (1, 'again')")};
  const std::string fine[] = {NativeSql("DELETE FROM T_Src WHERE F_ID = 7")};
  for (bool in_transaction : {false, true}) {
    if (in_transaction) conn_->BeginTrans();
    EXPECT_NE(Caught([&] { backend.RunGroup(before, rename, parameters, clash); }).number(), 0);
    EXPECT_EQ(Count(conn_, "T_Src"), 0);
    EXPECT_EQ(Count(conn_, "T_Emp WHERE F_Name = 'renamed'"), 0);
    EXPECT_EQ(backend.RunGroup(before, rename, parameters, fine), 2);
    EXPECT_EQ(Count(conn_, "T_Emp WHERE F_Name = 'renamed'"), 2);
    if (in_transaction) conn_->CommitTrans();
    Native("UPDATE T_Emp SET F_Name = 'e'");
  }
}

TEST_P(ConnectionContract, ExecuteReturnsTheRowsThisStatementChanged) {
  AddEmployees(3);
  EXPECT_EQ(conn_->Execute("UPDATE T_Emp SET F_Shift = 1 WHERE F_ID < 3"), 2);
  // A statement that changes nothing must not report the previous one's count.
  EXPECT_EQ(conn_->Execute("SELECT * FROM T_Emp"), 0);
  EXPECT_EQ(conn_->Execute("UPDATE T_Emp SET F_Shift = 1 WHERE F_ID > 5"), 0);
  // A make-table query counts the rows it wrote into the new table.
  EXPECT_EQ(conn_->Execute("SELECT F_ID, F_Name INTO T_Copy FROM T_Emp WHERE F_ID > 1"), 2);
  EXPECT_EQ(conn_->Execute("DELETE FROM T_Emp"), 3);
}

// A row written with its own number past the counter's next one: the rows
// the counter numbers afterwards are not refused, however they are added
// (alone, in a host's transaction past the rows that take savepoints, many
// in one statement), and a number written twice still is.
TEST_P(ConnectionContract, RowsTheCounterNumbersAreNotRefusedAfterOnesWrittenWithTheirOwn) {
  conn_->Execute("CREATE TABLE T_Counted (F_ID COUNTER, F_Note TEXT(10))");
  auto numbered = [&](int rows) {
    for (int i = 0; i < rows; ++i) conn_->Execute("INSERT INTO T_Counted (F_Note) VALUES ('n')");
  };
  // The next number past the largest, where a counter that did not move
  // past the rows written with their own numbers would number next.
  auto own_next = [&] {
    Recordset rs;
    rs.Open("SELECT Max(F_ID) AS n FROM T_Counted", conn_, adOpenStatic, adLockReadOnly);
    const int32_t top = rs.Fields().Item("n").Value().ToLong();
    conn_->Execute("INSERT INTO T_Counted (F_ID, F_Note) VALUES (" + std::to_string(top + 1) +
                   ", 'own')");
  };
  conn_->Execute("INSERT INTO T_Counted (F_ID, F_Note) VALUES (10, 'own')");
  conn_->BeginTrans();
  numbered(14);
  conn_->CommitTrans();
  own_next();
  numbered(3);
  own_next();
  conn_->BeginTrans();
  numbered(1);
  conn_->CommitTrans();
  own_next();
  EXPECT_EQ(conn_->Execute("INSERT INTO T_Counted (F_Note) SELECT F_Note FROM T_Counted"), 22);
  EXPECT_EQ(Count(conn_, "T_Counted"), 44);
  EXPECT_EQ(Count(conn_, "(SELECT DISTINCT F_ID FROM T_Counted)"), 44);
  const Error twice =
      Caught([&] { conn_->Execute("INSERT INTO T_Counted (F_ID, F_Note) VALUES (10, 'again')"); });
  EXPECT_EQ(twice.number(), errnum::kFail);
  EXPECT_EQ(twice.description(), kDuplicate);
  EXPECT_EQ(Count(conn_, "T_Counted"), 44);
}

// A record class adds its rows with one shape of INSERT, translated once;
// the names it writes follow the table when it is made again or a column is
// renamed (the server spells a name as its catalog does).
TEST_P(ConnectionContract, AnInsertOfAKnownShapeFollowsTheTablesChangedNames) {
  auto amounts = [&] {
    Recordset rs;
    rs.Open("SELECT F_Amount FROM T_Shape ORDER BY F_Amount", conn_, adOpenStatic,
            adLockReadOnly);
    std::vector<int32_t> read;
    for (; !rs.IsEOF(); rs.MoveNext()) read.push_back(rs.Fields().Item(0).Value().ToLong());
    return read;
  };
  conn_->Execute("CREATE TABLE T_Shape (F_Amount LONG, F_Note TEXT(10))");
  conn_->Execute("INSERT INTO T_Shape (f_amount, f_note) VALUES (1, 'a')");
  conn_->Execute("INSERT INTO T_Shape (f_amount, f_note) VALUES (2, 'b')");
  conn_->Execute("DROP TABLE T_Shape");
  conn_->Execute("CREATE TABLE T_Shape (F_AMOUNT LONG, F_NOTE TEXT(10))");
  conn_->Execute("INSERT INTO T_Shape (f_amount, f_note) VALUES (3, 'c')");
  EXPECT_EQ(amounts(), std::vector<int32_t>({3}));
  Native("ALTER TABLE T_Shape RENAME COLUMN F_AMOUNT TO F_Amount");
  conn_->Execute("INSERT INTO T_Shape (f_amount, f_note) VALUES (4, 'd')");
  EXPECT_EQ(amounts(), std::vector<int32_t>({3, 4}));
}

TEST_P(ConnectionContract, ExplainTellsWhatAStatementBecomesAndItsKindWithoutRunningIt) {
  const std::string select = "SELECT F_Name FROM T_Emp WHERE F_ID = 7 AND F_Name = 'it''s'";
  const Connection::Explanation query = conn_->Explain(select);
  EXPECT_TRUE(query.returns_rows);
  EXPECT_FALSE(query.defines);
  EXPECT_EQ(query.sql, conn_->Translate(select));
  EXPECT_NE(query.sql.find("'it''s'"), std::string::npos) << query.sql;
  EXPECT_EQ(query.prepared.find("it"), std::string::npos) << query.prepared;
  ASSERT_EQ(query.parameters.size(), 2u);
  EXPECT_EQ(query.parameters[0].Type(), VarType::kLong);
  EXPECT_EQ(query.parameters[0].ToText(), "7");
  EXPECT_EQ(query.parameters[1].ToText(), "it's");

  const Connection::Explanation into = conn_->Explain("SELECT F_ID INTO T_Copy FROM T_Emp");
  EXPECT_FALSE(into.returns_rows);
  EXPECT_FALSE(into.defines);
  EXPECT_EQ(into.make_table, "T_Copy");
  for (const char* definition :
       {"CREATE TABLE T_New (F_A LONG)", "DROP TABLE T_Src", "CREATE INDEX ix ON T_Emp (F_Name)",
        "ALTER TABLE T_Emp ADD COLUMN F_New TEXT(10)"}) {
    const Connection::Explanation e = conn_->Explain(definition);
    EXPECT_TRUE(e.defines) << definition;
    EXPECT_FALSE(e.returns_rows) << definition;
  }
  EXPECT_FALSE(conn_->Explain("DELETE FROM T_Emp WHERE F_ID = 1").defines);
  EXPECT_EQ(Caught([&] { conn_->Explain("SELECT FROM"); }).number(), errnum::kSyntax);
  // Nothing of it ran.
  EXPECT_EQ(Count(conn_, "T_Src"), 0);
  EXPECT_EQ(Caught([&] { Count(conn_, "T_Copy"); }).number(), errnum::kNoTable);
}

// A statement that would run for many seconds, stopped from another thread:
// it fails with the cancel error, leaves no row of a write behind, and the
// connection goes on.
TEST_P(ConnectionContract, AnInterruptedStatementFailsChangesNothingAndTheConnectionGoesOn) {
  Native(GetParam().server
             ? "INSERT INTO T_Src SELECT g, 'n' || g FROM generate_series(1, 600) AS g"
             : "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 600) "
               "INSERT INTO T_Src SELECT i, 'n' || i FROM n");
  auto interrupted = [this](const std::function<void()>& s) { return Interrupted(*conn_, s); };
  // Rows where a + b + c = 3a come all through the 216 million combinations,
  // so an interrupt at any moment finds some already written.
  const std::string rows =
      " FROM T_Src AS a, T_Src AS b, T_Src AS c WHERE a.F_ID + b.F_ID + c.F_ID = 3 * a.F_ID";
  const std::string insert =
      "INSERT INTO T_Emp (F_ID, F_Name) SELECT a.F_ID * 1000000 + b.F_ID * 1000 + c.F_ID, "
      "a.F_Name" + rows;
  const Error write = interrupted([&] { conn_->Execute(insert); });
  EXPECT_EQ(write.number(), 3712);
  EXPECT_EQ(write.description(), "Operation has been cancelled by the user.");
  EXPECT_EQ(Count(), 0);
  // A make-table query is undone whole: no table is left.
  const Error make = interrupted([&] { conn_->Execute("SELECT a.F_ID INTO T_Made" + rows); });
  EXPECT_EQ(make.number(), 3712) << make.description();
  EXPECT_EQ(Caught([&] { Count(conn_, "T_Made"); }).number(), errnum::kNoTable);
  // Inside a host's transaction the server undoes the statement alone.
  // SQLite undoes the whole transaction when it stops a write, as for every
  // write it stops, and the commit then says so; a statement stopped while
  // still being read, before it wrote, leaves the transaction as it was.
  conn_->BeginTrans();
  conn_->Execute(InsertSql(2));
  EXPECT_EQ(interrupted([&] { conn_->Execute(insert); }).number(), 3712);
  const Error commit = Caught([&] { conn_->CommitTrans(); });
  if (GetParam().server || commit.number() == 0) {
    EXPECT_EQ(commit.number(), 0) << commit.description();
    EXPECT_EQ(Count(), 1);
    Native("DELETE FROM T_Emp");
  } else {
    EXPECT_EQ(commit.number(), errnum::kFail);
    EXPECT_EQ(Count(), 0);
  }

  const Error read = interrupted([this] {
    Recordset rs;
    rs.Open("SELECT Count(*) AS n FROM T_Src AS a, T_Src AS b, T_Src AS c", conn_,
            adOpenForwardOnly, adLockReadOnly);
  });
  EXPECT_EQ(read.number(), 3712);
  EXPECT_EQ(conn_->Execute(InsertSql(1)), 1);
  EXPECT_EQ(Count(), 1);
  // Nothing running: an interrupt is lost, not kept for the next statement.
  conn_->Interrupt();
  EXPECT_EQ(Count(), 1);
}

TEST_P(ConnectionContract, RollbackDiscardsAndCommitKeeps) {
  conn_->BeginTrans();
  conn_->Execute(InsertSql(1));
  EXPECT_EQ(Count(), 1);
  conn_->RollbackTrans();
  EXPECT_EQ(Count(), 0);
  conn_->BeginTrans();
  conn_->Execute(InsertSql(2));
  conn_->CommitTrans();
  EXPECT_EQ(Count(), 1);
  for (auto end : {&Connection::CommitTrans, &Connection::RollbackTrans}) {
    const Error e = Caught([&] { ((*conn_).*end)(); });
    EXPECT_EQ(e.number(), errnum::kFail);
    EXPECT_NE(e.description().find("without an open transaction"), std::string::npos);
  }
}

TEST_P(ConnectionContract, CommittedWritesSurviveAKilledProcess) {
  if (!GetParam().file) GTEST_SKIP() << "a database in memory dies with its process";
  if (!GetParam().server) {
    internal::ResultData mode;
    internal::BackendOf(*conn_).Run("PRAGMA journal_mode", &mode);
    ASSERT_EQ(mode.cells.at(0).ToText(), "wal");
  }
  conn_.reset();  // no connection may cross the fork
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t child = fork();
  ASSERT_NE(child, -1);
  if (child == 0) {
    try {
      auto conn = Connection::Open(Path());
      conn->Execute(InsertSql(1));  // autocommit
      conn->BeginTrans();
      conn->Execute(InsertSql(2));
      conn->CommitTrans();
      conn->BeginTrans();
      conn->Execute(InsertSql(3));  // never committed
      (void)!write(ready[1], "x", 1);
      for (;;) pause();  // killed here, the connection still open
    } catch (const std::exception& e) {
      std::cerr << e.what() << '\n';
      _exit(1);
    }
  }
  close(ready[1]);  // a child that fails closes the pipe
  char byte = 0;
  const bool committed = read(ready[0], &byte, 1) == 1;
  kill(child, SIGKILL);
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(committed && WIFSIGNALED(status)) << "the child failed before committing";
  conn_ = Connection::Open(Path());
  EXPECT_EQ(Count(), 2);
}

// Compiled statements are kept for reuse; running one again reads the
// database as it is now, with what other connections wrote since.
TEST_P(ConnectionContract, ReusedStatementsSeeOtherConnectionsWrites) {
  if (!GetParam().file) GTEST_SKIP() << "a database in memory has one connection";
  auto other = Connection::Open(Path());
  EXPECT_EQ(Scalar(conn_, "select count(*) from T_Emp"), "0");
  other->Execute("insert into T_Emp (F_ID, F_Name) values (1, 'a')");
  EXPECT_EQ(Scalar(conn_, "select count(*) from T_Emp where 1=1"), "1");
  EXPECT_EQ(Scalar(conn_, "select count(*) from T_Emp"), "1");
}

TEST_P(ConnectionContract, WritersWaitForAnotherConnectionsLockThenGiveUp) {
  if (!GetParam().file) GTEST_SKIP() << "a database in memory has one connection";
  if (GetParam().server) GTEST_SKIP() << "the server locks rows, not the database";
  auto other = Connection::Open(Path());
  // The other connection holds the write lock for 200 ms; the host waits.
  other->BeginTrans();
  other->Execute(InsertSql(1));
  std::thread release([&] {
    std::this_thread::sleep_for(200ms);
    other->CommitTrans();
  });
  const auto start = std::chrono::steady_clock::now();
  const Error waited = Caught([&] { conn_->Execute(InsertSql(2)); });
  const auto elapsed = std::chrono::steady_clock::now() - start;
  release.join();
  EXPECT_EQ(waited.number(), 0) << waited.description();
  EXPECT_GE(elapsed, 150ms);

  // A host transaction that reads first still gets to write: the other writer
  // waits for it instead of slipping in and leaving it a stale snapshot.
  conn_->BeginTrans();
  EXPECT_EQ(Count(), 2);
  std::thread writer([&] { other->Execute(InsertSql(3)); });
  std::this_thread::sleep_for(100ms);
  const Error host = Caught([&] { conn_->Execute(InsertSql(4)); });
  conn_->CommitTrans();
  writer.join();
  EXPECT_EQ(host.number(), 0) << host.description();

  // With the wait cut short, a lock held throughout is Jet's locked error.
  dynamic_cast<sqlite::SqliteBackend&>(internal::BackendOf(*conn_)).LockWait(50ms);
  other->BeginTrans();
  const Error locked = Caught([&] { conn_->Execute(InsertSql(5)); });
  other->RollbackTrans();
  EXPECT_EQ(locked.number(), errnum::kFail);
  EXPECT_EQ(locked.description(), "Could not update; currently locked.");
  EXPECT_EQ(Count(), 4);
}

// Many processes adding rows one statement at a time: each add waits its turn
// for the write lock, and none gives up while the others keep writing.
TEST_P(ConnectionContract, ConcurrentWritersInOtherProcessesAllGetTheirTurn) {
  if (!GetParam().file) GTEST_SKIP() << "a database in memory has one connection";
  constexpr int kProcesses = 8, kRows = 500;
  conn_.reset();  // no connection may cross the fork
  // A child that gave up an add, or hangs, does not exit clean.
  EXPECT_EQ(ExitedClean(kProcesses,
                        [&](int p) {
                          auto conn = Connection::Open(Path());
                          for (int i = 1; i <= kRows; ++i) {
                            if (Caught([&] { conn->Execute(InsertSql(p * kRows + i)); }).number()) {
                              return 1;
                            }
                          }
                          return 0;
                        }),
            kProcesses);
  conn_ = Connection::Open(Path());
  EXPECT_EQ(Count(), kProcesses * kRows);
}

// --- SQLite only ------------------------------------------------------------

TEST(SqliteConnection, JetErrorsRaisedInsideFunctionsKeepTheirNumberAndText) {
  auto conn = Connection::Open(":memory:");
  auto& engine = dynamic_cast<sqlite::SqliteBackend&>(internal::BackendOf(*conn));
  sqlite3_create_function(
      engine.handle(), "fails_like_jet", 0, SQLITE_UTF8, nullptr,
      [](sqlite3_context* ctx, int, sqlite3_value**) {
        sqlite3_result_error(
            ctx, "jet-error -2147217913: Data type mismatch in criteria expression.", -1);
      },
      nullptr, nullptr);
  const Error e =
      Caught([&] { internal::BackendOf(*conn).Run("SELECT fails_like_jet()", nullptr); });
  EXPECT_EQ(e.number(), errnum::kTypeMismatch);
  EXPECT_EQ(e.description(), "Data type mismatch in criteria expression.");
}

// The options after a target, alone or joined by '&' in either order; an
// unknown regional setting is refused by name.
TEST(SqliteConnection, OpensWithARegionalSettingAndTheWildcardOption) {
  const char* kLongDate = "select Format(#2005-03-04#, 'Long Date')";
  const char* kWildcards = "select 'abc' like 'a*'";
  EXPECT_EQ(Scalar(Connection::Open(":memory:"), kLongDate), "Friday, 2005 March 4");
  EXPECT_EQ(Scalar(Connection::Open(":memory:?region=en-US"), kLongDate), "Friday, March 4, 2005");
  for (const char* target : {":memory:?region=zh-CN&ansi89", ":memory:?ansi89&region=zh-cn"}) {
    auto conn = Connection::Open(target);
    EXPECT_EQ(Scalar(conn, kLongDate), "2005年3月4日") << target;
    EXPECT_EQ(Scalar(conn, kWildcards), "-1") << target;
  }
  EXPECT_EQ(Scalar(Connection::Open(":memory:?region=en-US"), kWildcards), "0");
  const Error e = Caught([] { Connection::Open(":memory:?region=fr-FR"); });
  EXPECT_EQ(e.number(), errnum::kInvalidArgument);
  EXPECT_NE(e.description().find("'fr-FR'"), std::string::npos);
}

// The texts of the statements the engine holds compiled: the cache's.
std::vector<std::string> CompiledTexts(sqlite3* db) {
  std::vector<std::string> texts;
  for (sqlite3_stmt* s = sqlite3_next_stmt(db, nullptr); s; s = sqlite3_next_stmt(db, s)) {
    texts.emplace_back(sqlite3_sql(s));
  }
  return texts;
}

// A full cache makes room by dropping the statement used longest ago; one
// used again since it was compiled counts as new.
TEST(SqliteConnection, AFullStatementCacheDropsTheLeastRecentlyUsed) {
  auto conn = Connection::Open(":memory:");
  auto& engine = dynamic_cast<sqlite::SqliteBackend&>(internal::BackendOf(*conn));
  engine.Run("CREATE TABLE T_A (F_ID INTEGER)", nullptr);
  auto select = [&](int alias) {
    char sql[48];
    std::snprintf(sql, sizeof sql, "SELECT F_ID AS a%02d FROM T_A", alias);
    conn->Execute(sql);
  };
  for (int alias = 0; alias < 64; ++alias) select(alias);
  select(0);   // used again: now the most recent
  select(64);  // the cache is full: a01 goes
  auto held = [&](int alias) {
    char name[8];
    std::snprintf(name, sizeof name, "a%02d ", alias);
    int found = 0;
    for (const std::string& text : CompiledTexts(engine.handle())) {
      found += text.find(name) != std::string::npos;
    }
    return found;
  };
  EXPECT_EQ(engine.CachedStatements(), 64u);
  EXPECT_EQ(CompiledTexts(engine.handle()).size(), 64u);
  EXPECT_EQ(held(0), 1);
  EXPECT_EQ(held(1), 0);
  for (int alias = 2; alias <= 64; ++alias) EXPECT_EQ(held(alias), 1) << alias;
}

TEST(SqliteConnection, OpenRefusesAMissingFolderADirectoryAndAFileThatIsNoDatabase) {
  const std::string dir = ::testing::TempDir() + "tessaly-not-a-db";
  std::filesystem::create_directories(dir + "/folder.db");
  std::ofstream(dir + "/junk.db") << std::string(4096, 'j');
  const std::pair<std::string, std::string> cases[] = {
      {dir + "/missing/att.db", "Could not find file '" + dir + "/missing/att.db'."},
      {dir + "/junk.db", "Unrecognized database format '" + dir + "/junk.db'."},
      {dir + "/folder.db", "The database engine cannot open the file '" + dir +
                               "/folder.db'.  It is a directory, not a database file."},
  };
  for (const auto& [target, description] : cases) {
    const Error e = Caught([&] { Connection::Open(target); });
    EXPECT_EQ(e.number(), errnum::kFail) << target;
    EXPECT_EQ(e.description(), description);
  }
  std::filesystem::remove_all(dir);
}

// A database the process may only read: reading works, a write is refused
// as a write to a read-only database, whether or not the folder lets the
// engine keep its shared index beside the file.
TEST(SqliteConnection, AFileThatMayOnlyBeReadIsReadAndRefusesWrites) {
  namespace fs = std::filesystem;
  for (const fs::perms folder : {fs::perms::all, fs::perms(0555)}) {
    const std::string dir = ::testing::TempDir() + "tessaly-read-only";
    fs::remove_all(dir);
    fs::create_directories(dir);
    const std::string path = dir + "/att.db";
    sqlite3* writer = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &writer), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(writer,
                           "PRAGMA journal_mode=WAL; CREATE TABLE T_A (F_ID INTEGER); "
                           "INSERT INTO T_A VALUES (7)",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(writer);
    fs::permissions(path, fs::perms(0444));
    fs::permissions(dir, folder);
    EXPECT_EXIT(
        {
          // The superuser writes any file, so the reader is an ordinary user.
          if (geteuid() == 0 && setuid(65534) != 0) _exit(2);
          Recordset rs;
          rs.Open("SELECT F_ID FROM T_A", Connection::Open(path), adOpenKeyset);
          const std::string read = rs.Fields().Item(0).Value().ToText();
          const Error write =
              Caught([&] { rs.ActiveConnection()->Execute("INSERT INTO T_A VALUES (8)"); });
          std::cerr << read << ' ' << write.number() << ' ' << write.description();
          _exit(read == "7" && write.number() == errnum::kFail &&
                        write.description() == "Cannot update.  Database or object is read-only."
                    ? 0
                    : 1);
        },
        ::testing::ExitedWithCode(0), "");
    fs::permissions(dir, fs::perms::all);
    fs::remove_all(dir);
  }
}

}  // namespace
}  // namespace tessaly::db::testing
