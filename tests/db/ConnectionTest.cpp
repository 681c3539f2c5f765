// The connection: the engine's failures in Jet's numbers and words, statement
// atomicity, host transactions, durability and waiting for locks.
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "db/DbContract.h"
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
       "No value given for one or more required parameters."},
      {"UPDATE T_Emp SET F_Name = 'x' WHERE F_Nowhere = 1", errnum::kNoValue, nullptr},
      {"SELECT F_ID FROM T_Emp WHERE", errnum::kSyntax, nullptr},
      {"INSERT INTO T_Emp (F_ID, F_Name) VALUES (1, 'again')", errnum::kFail, kDuplicate},
      {"INSERT INTO T_Emp (F_ID) VALUES (2)", errnum::kFail,
       "The field 'T_Emp.F_Name' cannot contain a Null value because the Required property for "
       "this field is set to True.  Enter a value in this field."},
      {"INSERT INTO T_Emp (F_ID, F_Name, F_Shift) VALUES (2, 'a', 'early')", errnum::kTypeMismatch,
       "Data type mismatch in criteria expression."},
      {"INSERT INTO T_Emp (F_ID, F_Name) VALUES (2, 'a name far longer than twenty')",
       errnum::kFail,
       "The field is too small to accept the amount of data you attempted to add.  Try "
       "inserting or pasting less data."},
      {"UPDATE T_Emp SET F_Grade = 256", errnum::kFail, "Numeric field overflow."},
      // refused before anything runs: neither statement may take effect
      {"INSERT INTO T_Emp (F_ID, F_Name) VALUES (9, 'a'); DELETE FROM T_Emp", errnum::kSyntax,
       nullptr},
  };
  for (const Case& c : cases) {
    const Error e = Caught([&] { conn_->Execute(c.sql); });
    EXPECT_EQ(e.number(), c.number) << c.sql << ": " << e.description();
    if (c.description) EXPECT_EQ(e.description(), c.description) << c.sql;
    EXPECT_EQ(e.description().find("SQLite"), std::string::npos) << e.description();
  }
  EXPECT_EQ(Count(), 1);
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

TEST_P(ConnectionContract, ExecuteReturnsTheRowsThisStatementChanged) {
  AddEmployees(3);
  EXPECT_EQ(conn_->Execute("UPDATE T_Emp SET F_Shift = 1 WHERE F_ID < 3"), 2);
  // A statement that changes nothing must not report the previous one's count.
  EXPECT_EQ(conn_->Execute("SELECT * FROM T_Emp"), 0);
  EXPECT_EQ(conn_->Execute("UPDATE T_Emp SET F_Shift = 1 WHERE F_ID > 5"), 0);
  EXPECT_EQ(conn_->Execute("DELETE FROM T_Emp"), 3);
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
  internal::ResultData mode;
  internal::BackendOf(*conn_).Run("PRAGMA journal_mode", &mode);
  ASSERT_EQ(mode.cells.at(0).ToText(), "wal");
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
    } catch (...) {
      _exit(1);
    }
  }
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
  auto count = [this](const char* sql) {
    Recordset rs;
    rs.Open(sql, conn_, adOpenKeyset);
    return rs.Fields().Item(0).Value().ToText();
  };
  EXPECT_EQ(count("select count(*) from T_Emp"), "0");
  other->Execute("insert into T_Emp (F_ID, F_Name) values (1, 'a')");
  EXPECT_EQ(count("select count(*) from T_Emp where 1=1"), "1");
  EXPECT_EQ(count("select count(*) from T_Emp"), "1");
}

TEST_P(ConnectionContract, WritersWaitForAnotherConnectionsLockThenGiveUp) {
  if (!GetParam().file) GTEST_SKIP() << "a database in memory has one connection";
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
  sqlite3_busy_timeout(dynamic_cast<sqlite::SqliteBackend&>(internal::BackendOf(*conn_)).handle(), 50);
  other->BeginTrans();
  const Error locked = Caught([&] { conn_->Execute(InsertSql(5)); });
  other->RollbackTrans();
  EXPECT_EQ(locked.number(), errnum::kFail);
  EXPECT_EQ(locked.description(), "Could not update; currently locked.");
  EXPECT_EQ(Count(), 4);
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
  const Error e = Caught([&] { internal::BackendOf(*conn).Run("SELECT fails_like_jet()", nullptr); });
  EXPECT_EQ(e.number(), errnum::kTypeMismatch);
  EXPECT_EQ(e.description(), "Data type mismatch in criteria expression.");
}

TEST(SqliteConnection, OpenRefusesAMissingDirectoryAndAFileThatIsNoDatabase) {
  const std::string dir = ::testing::TempDir() + "tessaly-not-a-db";
  std::filesystem::create_directories(dir);
  std::ofstream(dir + "/junk.db") << std::string(4096, 'j');
  for (const std::string& target : {dir + "/missing/att.db", dir + "/junk.db"}) {
    const Error e = Caught([&] { Connection::Open(target); });
    EXPECT_EQ(e.number(), errnum::kFail) << target;
    EXPECT_NE(e.description().find(target), std::string::npos) << e.description();
  }
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace tessaly::db::testing
