// The PostgreSQL engine where it differs from a file: opening a session that
// cannot be opened, a session lost in the middle of work, several host
// processes writing punches to one database, and the database it creates.
// Skipped without a server (TESSALY_PG_TARGET).
#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <bit>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "db/DbContract.h"
#include "db/JetFunctionTable.h"
#include "db/jet/Ast.h"
#include "db/postgres/PgBackend.h"
#include "db/postgres/PgFunctions.h"
#include "db/postgres/PgValues.h"
#include "support/TestDb.h"
#include "tessaly/punches/clsTrans.h"

namespace tessaly::db::testing {
namespace {

using tessaly::testing::AsUser;
using tessaly::testing::AttendanceDb;
using tessaly::testing::MakeSchemaRole;
using tessaly::testing::SchemaTarget;
using tessaly::testing::ServerTarget;
using tessaly::testing::TestSchema;
using tessaly::testing::WithParameter;

class Server : public ::testing::Test {
 protected:
  void SetUp() override {
    if (ServerTarget().empty()) GTEST_SKIP() << "no PostgreSQL server: set TESSALY_PG_TARGET";
    conn_ = tessaly::testing::EmptyServerDb();
    CreateSchema(*conn_);
  }
  std::string Target() const { return SchemaTarget(ServerTarget(), TestSchema()); }
  // A target (the server's by default) with one more key=value or URI parameter.
  static std::string With(const std::string& parameter,
                          const std::string& target = ServerTarget()) {
    return WithParameter(target, parameter);
  }
  // Ends conn's session from the server's side, as a server going down does.
  void Terminate(Connection& conn) {
    const int pid =
        PQbackendPID(dynamic_cast<postgres::PgBackend&>(internal::BackendOf(conn)).handle());
    auto killer = Connection::Open(Target());
    internal::BackendOf(*killer).Run("SELECT pg_terminate_backend(" + std::to_string(pid) + ")",
                                     nullptr);
  }
  std::shared_ptr<Connection> conn_;
};

TEST_F(Server, ASessionThatCannotOpenSaysWhatFailedAndNeverCrashes) {
  auto admin = Connection::Open(Target());
  internal::BackendOf(*admin).Run(
      "DO $$ BEGIN CREATE ROLE tessaly_pw LOGIN PASSWORD 'right'; "
      "EXCEPTION WHEN duplicate_object THEN NULL; END $$",
      nullptr);
  const std::pair<std::string, std::string> cases[] = {
      {With("dbname=no_such_db"), "database \"no_such_db\" does not exist"},
      {With("password=wrong", With("user=tessaly_pw")),
       "password authentication failed for user \"tessaly_pw\""},
      {"host=/nonexistent-socket-dir dbname=x", "/nonexistent-socket-dir"},
  };
  for (const auto& [target, named] : cases) {
    const Error e = Caught([&] { Connection::Open(target); });
    EXPECT_EQ(e.number(), errnum::kFail) << target;
    EXPECT_NE(e.description().find(named), std::string::npos) << e.description();
    EXPECT_EQ(e.description().find("wrong"), std::string::npos) << "the password is shown";
  }
}

// Rows that surely fit their columns go without a savepoint each inside a
// host's transaction: every row past the table's first 8 has the
// transaction's own number (xmin), where a row under a savepoint has a
// subtransaction's, and past 64 of those every session's reading slows down. What a table's
// rows must meet is read again in each transaction, so a rule another host
// added since still refuses its row alone.
TEST_F(Server, RowsThatFitTakeNoSubtransactionEachAndTheTablesRulesAreReadEachTime) {
  conn_->Execute(
      "CREATE TABLE T_Row (F_ID COUNTER PRIMARY KEY, F_Name TEXT(10) NOT NULL, F_N SHORT, "
      "F_Day DATETIME)");
  auto other = Connection::Open(Target());
  auto row = [](const std::string& name, int n) {
    return "INSERT INTO T_Row (F_Name, F_N, F_Day) VALUES ('" + name + "', " + std::to_string(n) +
           ", #2024-05-01#)";
  };
  conn_->BeginTrans();
  for (int i = 0; i < 200; ++i) {
    conn_->Execute(row("n" + std::to_string(i), i));
    if (i == 100) {
      EXPECT_EQ(Caught([&] { conn_->Execute(row("eleven long", i)); }).number(), errnum::kFail);
      EXPECT_EQ(Caught([&] { conn_->Execute(row("n", 40000)); }).number(), errnum::kFail);
    }
  }
  conn_->CommitTrans();
  internal::ResultData rows;
  internal::BackendOf(*other).Run(R"(SELECT count(DISTINCT xmin::text) FROM "T_Row")", &rows);
  EXPECT_EQ(rows.cells.at(0).ToText(), "9");
  EXPECT_EQ(Scalar(other, "select count(*) from T_Row"), "200");

  internal::BackendOf(*other).Run(
      R"(ALTER TABLE "T_Row" ADD CONSTRAINT "F_Rule" CHECK ("F_N" < 1000))", nullptr);
  conn_->BeginTrans();
  for (int i = 0; i < 8; ++i) conn_->Execute(row("before", 1));
  const Error refused = Caught([&] { conn_->Execute(row("refused", 5000)); });
  EXPECT_EQ(refused.number(), errnum::kFail);
  EXPECT_NE(refused.description().find("validation rule 'F_Rule'"), std::string::npos)
      << refused.description();
  conn_->Execute(row("after", 2));
  conn_->CommitTrans();
  EXPECT_EQ(Scalar(other, "select count(*) from T_Row where F_Name in ('before', 'after')"), "9");
  EXPECT_EQ(Scalar(other, "select count(*) from T_Row"), "209");
}

// A row sent without its savepoint that fails after all (here, stopped by
// the host while it waits for another transaction's row of the same key)
// aborts the server's transaction: the statement reports its own error, and
// every later one and CommitTrans say that nothing of the transaction was
// kept, rather than the commit quietly rolling back.
TEST_F(Server, ARowStoppedWithoutItsSavepointUndoesTheTransactionAndSaysSo) {
  conn_->Execute("CREATE TABLE T_Key (F_ID LONG PRIMARY KEY, F_Name TEXT(10))");
  auto other = Connection::Open(Target());
  auto row = [](int id, const std::string& name) {
    return "INSERT INTO T_Key (F_ID, F_Name) VALUES (" + std::to_string(id) + ", '" + name + "')";
  };
  conn_->BeginTrans();
  conn_->SaveQuery("Q_Mine", "SELECT F_ID FROM T_Key");
  for (int id = 10; id < 18; ++id) conn_->Execute(row(id, "mine"));
  other->BeginTrans();
  other->Execute(row(2, "theirs"));
  const Error stopped = Interrupted(*conn_, [&] { conn_->Execute(row(2, "mine")); });
  EXPECT_EQ(stopped.number(), errnum::kOperationCancelled) << stopped.description();
  const Error after = Caught([&] { conn_->Execute(row(3, "mine")); });
  EXPECT_EQ(after.number(), errnum::kFail);
  EXPECT_NE(after.description().find("rolled back the transaction"), std::string::npos)
      << after.description();
  const Error commit = Caught([&] { conn_->CommitTrans(); });
  EXPECT_EQ(commit.description(), after.description());
  other->CommitTrans();
  conn_->Execute(row(4, "later"));
  EXPECT_EQ(Scalar(other, "select count(*) from T_Key where F_Name = 'mine'"), "0");
  EXPECT_EQ(Caught([&] { Scalar(conn_, "select count(*) from Q_Mine"); }).number(),
            errnum::kNoTable);
  EXPECT_EQ(Scalar(other, "select count(*) from T_Key"), "2");
}

// The session ends in the middle of a host transaction: the next call says
// so, the transaction's rows are gone, and nothing is retried behind the
// host's back (every later call fails too).
TEST_F(Server, ALostSessionIsReportedAndLeavesNoHalfWrittenRows) {
  clsTrans punch;
  punch.HConnect(conn_);
  std::string err;
  punch.FEmpID("0001");
  punch.FDate("2024-05-01");
  punch.FTime("08:00");
  ASSERT_EQ(punch.Add(err), RES_ADDOK) << err;
  conn_->BeginTrans();
  ASSERT_EQ(punch.Add(err), RES_ADDOK) << err;
  Terminate(*conn_);
  EXPECT_EQ(punch.Add(err), RES_ADDERR);
  EXPECT_NE(err.find("connection to the database server was lost"), std::string::npos) << err;
  for (int i = 0; i < 2; ++i) {
    const Error e = Caught([&] {
      conn_->CommitTrans();
      conn_->Execute("delete * from T_Trans");
    });
    EXPECT_EQ(e.number(), errnum::kFail);
    EXPECT_NE(e.description().find("lost"), std::string::npos) << e.description();
  }
  auto fresh = Connection::Open(Target());
  EXPECT_EQ(Scalar(fresh, "select count(*) from T_Trans"), "1");

  // Lost in autocommit: the write in flight is reported, not sent again.
  Terminate(*fresh);
  EXPECT_NE(Caught([&] { fresh->Execute("delete * from T_Trans"); }).number(), 0);
  EXPECT_EQ(Scalar(Connection::Open(Target()), "select count(*) from T_Trans"), "1");
}

// The Jet functions are the database's, in a schema of their own, recorded
// with their version. Each case runs in a database of its own, so that no
// other test meets a version it would refuse.
class Functions : public Server {
 protected:
  void SetUp() override {
    Server::SetUp();
    if (IsSkipped()) return;
    database_ = "tessaly_functions_" + std::to_string(getpid());
    Admin("DROP DATABASE IF EXISTS " + database_);
    Admin("CREATE DATABASE " + database_);
  }
  void TearDown() override {
    if (!database_.empty()) Admin("DROP DATABASE IF EXISTS " + database_ + " WITH (FORCE)");
  }
  void Admin(const std::string& sql) { internal::BackendOf(*conn_).Run(sql, nullptr); }
  std::string Database() const { return With("dbname=" + database_); }
  // Runs sql in the test's database outside the library, as its owner.
  void InDatabase(const std::string& sql) const {
    std::unique_ptr<PGconn, decltype(&PQfinish)> conn(PQconnectdb(Database().c_str()), PQfinish);
    std::unique_ptr<PGresult, decltype(&PQclear)> done(PQexec(conn.get(), sql.c_str()), PQclear);
    ASSERT_EQ(PQresultStatus(done.get()), PGRES_COMMAND_OK) << PQerrorMessage(conn.get());
  }
  // What the database records of its functions.
  static std::string Recorded(Connection& conn) {
    internal::ResultData rows;
    internal::BackendOf(conn).Run(
        "SELECT obj_description(oid, 'pg_namespace') FROM pg_namespace WHERE nspname = "
        "'tessaly_jet'",
        &rows);
    return rows.row_count == 1 ? rows.cells[0].ToText() : "";
  }
  std::string database_;
};

// Hosts opening a database that lacks them at once: the first installs them,
// the others wait for it and find them installed; a database holding an older
// version is brought up to this one, saved queries calling them kept; a newer
// one is refused, naming both versions.
TEST_F(Functions, AreInstalledOnceUpgradedAndANewerVersionRefused) {
  EXPECT_EQ(ExitedClean(6,
                        [&](int) {
                          auto conn = Connection::Open(Database());
                          return Scalar(conn, "select iif(1 > 0, 'yes', 'no')") == "yes" ? 0 : 1;
                        }),
            6);
  auto conn = Connection::Open(Database());
  const std::string current =
      std::to_string(postgres::kJetFunctionsVersion) + ' ' + postgres::JetFunctionsDigest();
  EXPECT_EQ(Recorded(*conn), current);
  conn->Execute("create table T (F integer)");
  conn->Execute("insert into T values (7)");
  internal::BackendOf(*conn).Run(
      R"(CREATE VIEW "Q" AS SELECT tessaly_jet.jet_text("F") AS "Shown" FROM "T")", nullptr);

  internal::BackendOf(*conn).Run("COMMENT ON SCHEMA tessaly_jet IS '0 older'", nullptr);
  auto upgraded = Connection::Open(Database());
  EXPECT_EQ(Recorded(*upgraded), current);
  EXPECT_EQ(Scalar(upgraded, "select Shown from Q"), "7");

  const std::string newer = std::to_string(postgres::kJetFunctionsVersion + 1);
  internal::BackendOf(*conn).Run("COMMENT ON SCHEMA tessaly_jet IS '" + newer + " x'", nullptr);
  const Error e = Caught([&] { Connection::Open(Database()); });
  EXPECT_EQ(e.number(), errnum::kFail);
  EXPECT_NE(e.description().find("version " + newer + ", newer than this library's (" +
                                 std::to_string(postgres::kJetFunctionsVersion) + ")"),
            std::string::npos)
      << e.description();
  EXPECT_EQ(Recorded(*conn), newer + " x") << "the refusing session changed the database";
}

// A user who may not replace the functions opens a database holding this
// version (even of another build), and is told what to do where it holds an
// older one.
TEST_F(Functions, AUserWhoMayNotInstallThemIsToldWhy) {
  auto conn = Connection::Open(Database());  // installs them
  Admin("DO $$ BEGIN CREATE ROLE tessaly_reader LOGIN; "
        "EXCEPTION WHEN duplicate_object THEN NULL; END $$");
  const std::string reader = With("user=tessaly_reader", Database());
  const std::string version = std::to_string(postgres::kJetFunctionsVersion);
  internal::BackendOf(*conn).Run("COMMENT ON SCHEMA tessaly_jet IS '" + version + " other'",
                                 nullptr);
  EXPECT_EQ(Scalar(Connection::Open(reader), "select left('abc', 2)"), "ab");
  EXPECT_EQ(Recorded(*conn), version + " other");

  internal::BackendOf(*conn).Run("COMMENT ON SCHEMA tessaly_jet IS '0 older'", nullptr);
  const Error e = Caught([&] { Connection::Open(reader); });
  EXPECT_EQ(e.number(), errnum::kFail);
  EXPECT_NE(e.description().find("user tessaly_reader may not install them"), std::string::npos)
      << e.description();
  EXPECT_EQ(Recorded(*conn), "0 older");
}

// The text type and the Yes/No and Byte domains are the database's, made in
// public though the first session's path starts with a site's own schema:
// dropping that site leaves the other sites' texts and fields as they were.
// A session whose path cannot see the text type is refused, naming its
// schema, instead of comparing texts with regard to case.
TEST_F(Functions, TheTextTypeLivesWhereEverySiteFindsIt) {
  InDatabase("CREATE SCHEMA site_a; CREATE SCHEMA site_b; CREATE SCHEMA elsewhere");
  const auto site = [&](const std::string& path) {
    return With("options=-csearch_path%3D" + path, Database());
  };
  for (const char* path : {"site_a%2Cpublic", "site_b%2Cpublic"}) {
    auto conn = Connection::Open(site(path));
    conn->Execute("create table T (F_T text(10), F_Y yesno, F_B byte)");
    conn->Execute("insert into T values ('Abc', True, 7)");
  }
  auto b = Connection::Open(site("site_b%2Cpublic"));
  EXPECT_EQ(Scalar(b,
                   "select count(*) from pg_type t, pg_namespace n where n.oid = t.typnamespace "
                   "and n.nspname = 'public' and t.typname in ('citext', 'yesno', 'tinyint')"),
            "3");
  InDatabase("DROP SCHEMA site_a CASCADE");
  EXPECT_EQ(Scalar(b, "select count(*) from T where F_T = 'ABC' and F_Y and F_B = 7"), "1");

  InDatabase("ALTER EXTENSION citext SET SCHEMA elsewhere");
  const Error e = Caught([&] { Connection::Open(site("site_b%2Cpublic")); });
  EXPECT_EQ(e.number(), errnum::kFail);
  EXPECT_NE(e.description().find("is in schema elsewhere, which the search path of user"),
            std::string::npos)
      << e.description();
  EXPECT_EQ(Scalar(Connection::Open(site("site_b%2Cpublic%2Celsewhere")),
                   "select count(*) from T where F_T = 'aBC'"),
            "1");
}

// Statements go unnamed unless the target asks for named ones; a named one
// whose table changed shape runs again as the new shape; a wrong value of
// the option is refused before any session opens. (Its sessions ask for
// themselves, whatever TESSALY_PG_STATEMENTS asks of the others.)
TEST_F(Server, StatementsArePreparedByNameOnlyWhenAsked) {
  auto prepared = [](Connection& conn) {
    internal::ResultData rows;
    internal::BackendOf(conn).Run("SELECT count(*) FROM pg_prepared_statements", &rows);
    return rows.cells[0].ToText();
  };
  const std::string plain = tessaly::testing::PlainSchemaTarget(ServerTarget(), TestSchema());
  auto unnamed = Connection::Open(plain);
  unnamed->Execute("create table T (A integer)");
  for (int i = 0; i < 3; ++i) unnamed->Execute("insert into T values (" + std::to_string(i) + ")");
  EXPECT_EQ(prepared(*unnamed), "0");

  auto named = Connection::Open(With("tessaly_statements=named", plain));
  EXPECT_EQ(Scalar(named, "select count(*) from T"), "3");
  const std::string made = prepared(*named);
  EXPECT_NE(made, "0");
  EXPECT_EQ(Scalar(named, "select count(*) from T"), "3");
  EXPECT_EQ(prepared(*named), made) << "a statement sent again was prepared again";
  Recordset rs;
  rs.Open("select * from T where A = 2", named, adOpenKeyset);
  EXPECT_EQ(rs.Fields().Count(), 1);
  rs.Close();
  unnamed->Execute("alter table T add column B text(5)");
  rs.Open("select * from T where A = 2", named, adOpenKeyset);
  EXPECT_EQ(rs.Fields().Count(), 2);

  const Error e = Caught([&] { Connection::Open(With("tessaly_statements=some", plain)); });
  EXPECT_EQ(e.number(), errnum::kFail);
  EXPECT_NE(e.description().find("tessaly_statements must be named or unnamed"),
            std::string::npos)
      << e.description();
}

// A forward-only walk reads its rows in batches from a cursor. Outside a host
// transaction the cursor is a session's of the walk's own, in a transaction
// that ends with the walk: the host's session meanwhile opens a second walk
// and writes, each write committed at once. Inside one the cursor is the
// transaction's: it sees the transaction's rows, a failing batch leaves the
// transaction as it stood, and a walk still open when the transaction ends
// goes on to its last row.
TEST_F(Server, AWalkReadsInBatchesAndLeavesTheSessionFree) {
  // More than the server's socket can hold at once, so a walk outside a
  // transaction stops it sending while the host is busy elsewhere; more than
  // one cursor's batch inside one.
  constexpr int kRows = 50000;
  conn_->Execute("create table W (N long, T text(10))");
  internal::BackendOf(*conn_).Run(
      R"(INSERT INTO "W" SELECT n, 't' || n FROM generate_series(1, )" + std::to_string(kRows) +
          ")  AS n",
      nullptr);
  auto other = Connection::Open(Target());
  // The host's sessions carry a name of this process's, which the walk's own
  // session takes from the target too.
  const std::string name = "walk_" + std::to_string(getpid());
  conn_ = Connection::Open(With("application_name=" + name, Target()));
  auto sessions = [&](const std::string& state) {
    return Scalar(other, "select count(*) from pg_stat_activity where state = '" + state +
                             "' and query like '%FROM \"W\" ORDER BY%' and application_name = '" +
                             name + "'");
  };
  Recordset walk, second;
  walk.Open("select N, T from W order by N", conn_, adOpenForwardOnly);
  int seen = 0;
  for (; !walk.IsEOF(); walk.MoveNext()) {
    ++seen;
    ASSERT_EQ(walk.Fields().Item("N").Value().ToText(), std::to_string(seen));
    if (seen == 3000) {
      // The server is still sending (the host holds a few rows, not the
      // answer), as a statement of its own, not in a transaction left open.
      EXPECT_EQ(sessions("active"), "1");
      EXPECT_EQ(Scalar(other, "select count(*) from pg_stat_activity where application_name = '" +
                                  name + "' and state like 'idle in transaction%'"),
                "0");
      second.Open("select count(*) from W", conn_, adOpenForwardOnly);
      EXPECT_EQ(second.Fields().Item(0).Value().ToText(), std::to_string(kRows));
      conn_->Execute("insert into W values (0, 'written')");
      EXPECT_EQ(Scalar(other, "select count(*) from W where T = 'written'"), "1");
    }
  }
  EXPECT_EQ(seen, kRows);
  EXPECT_EQ(sessions("active"), "0") << "the walk's statement outlived it";

  // Left early, while the server is still sending: the walk ends at once (its
  // session goes with the rest), and the next walk has its rows.
  walk.Close();
  walk.Open("select N, T from W order by N", conn_, adOpenForwardOnly);
  for (seen = 0; seen < 10; walk.MoveNext()) ++seen;
  walk.Close();
  std::string still = sessions("active");
  for (int wait = 0; wait < 100 && still != "0"; ++wait) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    still = sessions("active");
  }
  EXPECT_EQ(still, "0") << "a walk left early kept its query running";
  walk.Open("select N, T from W where N < 3 order by N", conn_, adOpenForwardOnly);
  EXPECT_EQ(walk.Fields().Item("T").Value().ToText(), "written");
  walk.MoveNext();
  EXPECT_EQ(walk.Fields().Item("T").Value().ToText(), "t1");

  conn_->BeginTrans();
  conn_->Execute("insert into W values (" + std::to_string(kRows + 1) + ", 'mine')");
  walk.Close();
  walk.Open("select N, T from W where N > 0 order by N", conn_, adOpenForwardOnly);
  for (seen = 0; seen < 10; walk.MoveNext()) ++seen;
  // Row 4000, past the first batch, fails (a division by zero): the rows
  // before it were read first.
  Recordset failing;
  int read = 0;
  const Error e = Caught([&] {
    failing.Open("select 1 / (N - 4000) from W where N > 0", conn_, adOpenForwardOnly);
    for (; !failing.IsEOF(); failing.MoveNext()) ++read;
  });
  EXPECT_EQ(e.number(), errnum::kDivisionByZero) << e.description();
  EXPECT_GT(read, 0);
  conn_->CommitTrans();
  for (; !walk.IsEOF(); walk.MoveNext()) ++seen;
  EXPECT_EQ(seen, kRows + 1);
  EXPECT_EQ(Scalar(other, "select count(*) from W where T = 'mine'"), "1");
}

// Through a pooler in transaction mode (TESSALY_PG_POOLED_TARGET, of
// scripts/pg-test-server.sh start --pooler), which hands each transaction to
// any of 4 server sessions: this process's schema is reached as its role.
class Pooled : public Server {
 protected:
  void SetUp() override {
    const char* pooled = getenv("TESSALY_PG_POOLED_TARGET");
    if (pooled == nullptr || *pooled == '\0') {
      GTEST_SKIP() << "no pooler: set TESSALY_PG_POOLED_TARGET";
    }
    Server::SetUp();
    if (IsSkipped()) return;
    MakeSchemaRole(ServerTarget(), TestSchema());
    pooled_ = AsUser(pooled, TestSchema());
    conn_.reset();  // no session may cross a fork
  }
  std::string pooled_;
};

// Hosts that open a session for each statement, as the command's sql does:
// every one of 6 processes' holidays arrives once.
TEST_F(Pooled, HostsOpeningASessionPerStatementLoseNothing) {
  constexpr int kProcesses = 6, kHolidays = 30;
  EXPECT_EQ(ExitedClean(kProcesses,
                        [&](int p) {
                          int failed = 0;
                          for (int i = 0; i < kHolidays; ++i) {
                            const std::string id = std::to_string(p * 1000 + i);
                            try {
                              Connection::Open(pooled_)->Execute(
                                  "insert into T_Holiday (F_ID, F_Name, F_DateFr, F_DateTo) "
                                  "values (" + id + ", 'h" + id + "', #2024-01-01#, #2024-01-02#)");
                            } catch (const Error&) {
                              ++failed;
                            }
                          }
                          return failed == 0 ? 0 : 1;
                        }),
            kProcesses);
  auto conn = Connection::Open(pooled_);
  EXPECT_EQ(Scalar(conn, "select count(*) from (select distinct F_ID from T_Holiday)"),
            std::to_string(kProcesses * kHolidays));
}

// 32 hosts write and read through 4 server sessions for a few seconds. Each
// adds its punches three to a host transaction, commits most and rolls back
// every fourth, and after each commit counts its own rows. Every committed
// punch is there once, no rolled-back or failed transaction left a row, each
// count saw what the host had committed, and every failure is a Jet error.
TEST_F(Pooled, ManyHostsAtOnceLoseNothingAndDoubleNothing) {
  constexpr int kProcesses = 32, kPerTransaction = 3;
  constexpr auto kFor = std::chrono::seconds(8);
  char scratch[] = "/tmp/tessaly-hosts-XXXXXX";
  ASSERT_NE(mkdtemp(scratch), nullptr);
  const std::string dir = scratch;
  const auto until = std::chrono::steady_clock::now() + kFor;
  // A child's ledger: "C t" for a committed transaction, "U t" for one whose
  // commit failed (either all of it or none may be there); its exit code 0,
  // or 1 for a failure that was no Jet error, 2 for a count that missed.
  const int clean = ExitedClean(kProcesses, [&](int p) {
    std::ofstream ledger(dir + "/" + std::to_string(p));
    auto conn = Connection::Open(pooled_);
    clsTrans punch;
    punch.HConnect(conn);
    std::string err;
    int committed = 0;
    for (int t = 0; std::chrono::steady_clock::now() < until; ++t) {
      try {
        conn->BeginTrans();
        bool added = true;
        for (int i = 0; i < kPerTransaction && added; ++i) {
          punch.FEmpID("h" + std::to_string(p));
          punch.FDate("2024-05-01");
          punch.FTime(std::to_string(t * 10 + i));
          added = punch.Add(err) == RES_ADDOK;
        }
        if (!added || t % 4 == 3) {
          conn->RollbackTrans();
          continue;
        }
        try {
          conn->CommitTrans();
        } catch (const Error&) {
          ledger << "U " << t << '\n' << std::flush;
          return 0;
        }
        ledger << "C " << t << '\n' << std::flush;
        committed += kPerTransaction;
        if (Scalar(conn, "select count(*) from T_Trans where F_EmpID = 'h" + std::to_string(p) +
                             "'") != std::to_string(committed)) {
          return 2;
        }
      } catch (const Error& e) {
        ledger << "E " << e.number() << ' ' << e.description() << '\n' << std::flush;
        return 0;
      } catch (...) {
        return 1;
      }
    }
    return 0;
  });
  EXPECT_EQ(clean, kProcesses);
  std::map<std::string, std::set<int>> expected, uncertain;
  int transactions = 0;
  for (int p = 0; p < kProcesses; ++p) {
    std::ifstream ledger(dir + "/" + std::to_string(p));
    std::string kind, rest;
    while (ledger >> kind && std::getline(ledger, rest)) {
      const std::string host = "h" + std::to_string(p);
      if (kind == "E") {
        ADD_FAILURE() << host << " failed with a Jet error:" << rest;
        continue;
      }
      const int t = std::stoi(rest);
      (kind == "C" ? expected : uncertain)[host].insert(t);
      ++transactions;
    }
    std::remove((dir + "/" + std::to_string(p)).c_str());
  }
  rmdir(dir.c_str());
  EXPECT_GT(transactions, kProcesses) << "too few transactions to show anything";
  Recordset rs;
  rs.Open("select F_EmpID, F_Time, count(*) as n from T_Trans group by F_EmpID, F_Time",
          Connection::Open(pooled_), adOpenForwardOnly);
  std::map<std::string, std::map<int, int>> found;  // host, transaction: rows
  for (; !rs.IsEOF(); rs.MoveNext()) {
    EXPECT_EQ(rs.Fields().Item("n").Value().ToText(), "1") << "a doubled punch";
    const int time = std::stoi(rs.Fields().Item("F_Time").Value().ToText());
    ++found[rs.Fields().Item("F_EmpID").Value().ToText()][time / 10];
  }
  for (const auto& [host, ts] : found) {
    for (const auto& [t, rows] : ts) {
      const bool sure = expected[host].contains(t);
      EXPECT_TRUE(sure || uncertain[host].contains(t)) << host << " " << t << ": not committed";
      EXPECT_EQ(rows, kPerTransaction) << host << " " << t << ": half-written";
      if (sure) expected[host].erase(t);
    }
  }
  for (const auto& [host, ts] : expected) EXPECT_TRUE(ts.empty()) << host << ": rows lost";
}

// Statements prepared by name (tessaly_statements=named) through a pooler
// that keeps track of them (TESSALY_PG_POOLED_STATEMENTS=named, which
// scripts/pg-test-server.sh prints for one): 8 hosts on 4 server sessions,
// so each host's statements are prepared again wherever its next
// transaction lands. Each round a host adds a holiday in a transaction,
// counts its own with a statement of a shape new to it (past the 64 it
// prepares, the rest go unnamed), and every third round sends a statement
// the server cannot prepare, which fails as Jet's error alone and leaves
// the session and the transaction going on; every fifth round rolls back.
// Every committed holiday is there once, and none rolled back.
TEST_F(Pooled, NamedStatementsThatFailToPrepareLeaveTheSessionGoingOn) {
  const char* statements = getenv("TESSALY_PG_POOLED_STATEMENTS");
  if (statements == nullptr || std::string_view(statements) != "named") {
    GTEST_SKIP() << "the pooler keeps no track of prepared statements "
                    "(TESSALY_PG_POOLED_STATEMENTS=named)";
  }
  const std::string named = With("tessaly_statements=named", pooled_);
  constexpr int kProcesses = 8, kRounds = 80;
  auto kept = [](int round) { return round % 5 != 4; };
  // Exit code 0, or 1 for a failure of another kind than expected, 2 for a
  // count that missed.
  const int clean = ExitedClean(kProcesses, [&](int p) {
    auto conn = Connection::Open(named);
    const std::string mine = " from T_Holiday where F_ID between " + std::to_string(p * 1000) +
                             " and " + std::to_string(p * 1000 + 999);
    int committed = 0;
    for (int i = 0; i < kRounds; ++i) {
      conn->BeginTrans();
      const std::string id = std::to_string(p * 1000 + i);
      conn->Execute("insert into T_Holiday (F_ID, F_Name, F_DateFr, F_DateTo) values (" + id +
                    ", 'h" + id + "', #2024-01-01#, #2024-01-02#)");
      if (i % 3 == 0) {
        const Error e = Caught([&] { Scalar(conn, "select F_Nowhere" + mine); });
        if (e.number() != errnum::kNoValue) return 1;
      }
      if (Scalar(conn, "select count(*) as n" + std::to_string(i) + mine) !=
          std::to_string(committed + 1)) {
        return 2;
      }
      if (kept(i)) {
        conn->CommitTrans();
        ++committed;
      } else {
        conn->RollbackTrans();
      }
    }
    return 0;
  });
  EXPECT_EQ(clean, kProcesses);
  int expected = 0;
  for (int i = 0; i < kRounds; ++i) expected += kept(i) ? kProcesses : 0;
  auto conn = Connection::Open(named);
  EXPECT_EQ(Scalar(conn, "select count(*) from (select distinct F_ID from T_Holiday)"),
            std::to_string(expected));
  EXPECT_EQ(Scalar(conn, "select count(*) from T_Holiday"), std::to_string(expected));
  // Named indeed: inside a transaction (one server session) the server holds
  // prepared statements, which an unnamed session never makes.
  conn->BeginTrans();
  internal::ResultData rows;
  internal::BackendOf(*conn).Run("SELECT count(*) FROM pg_prepared_statements", &rows);
  conn->CommitTrans();
  EXPECT_NE(rows.cells[0].ToText(), "0");
}

// The tables as the classes declare them: names in their own spelling
// whatever the statement's, flags that keep Jet's -1, keys the database
// numbers, saved queries that refuse writes, texts compared without case.
TEST_F(Server, TheDatabaseKeepsJetsNamesNumbersAndRules) {
  CreateSchema(*conn_);  // a second time adds nothing and fails nothing
  conn_->Execute("insert into t_kq (f_empid, F_DATE, f_iswq) values ('a', #2024-05-01#, -1)");
  conn_->Execute("insert into T_KQ (F_EmpID, F_Date, F_IsWq) values ('B', #2024-05-02#, 3)");
  Recordset rs;
  rs.Open("select * from Q_KQ where f_empid = 'A' or F_EMPID = 'b' order by F_ID", conn_,
          adOpenKeyset);
  ASSERT_EQ(rs.RecordCount(), 2);
  EXPECT_EQ(rs.Fields().Item(0).Name(), "F_ID");
  EXPECT_EQ(rs.Fields().Item("F_IsWq").Value(), Variant(int16_t{-1}));
  EXPECT_EQ(rs.Fields().Item("F_ID").Value(), Variant(int32_t{1}));
  rs.MoveNext();
  EXPECT_EQ(rs.Fields().Item("F_IsWq").Value(), Variant(int16_t{3}));
  EXPECT_EQ(rs.Fields().Item("F_ID").Value(), Variant(int32_t{2}));
  rs.Close();
  rs.Open(
      "select F_EmpID & '-' & F_Date as 键, iif(F_IsWq, '是', '') as 外勤 from T_KQ "
      "where F_Date = #2024-05-01#",
      conn_, adOpenKeyset);
  EXPECT_EQ(rs.Fields().Item(0).Name(), "键");
  EXPECT_EQ(rs.Fields().Item("键").Value().ToText(), "a-2024-05-01");
  EXPECT_EQ(rs.Fields().Item("外勤").Value().ToText(), "是");
  const Error e = Caught([&] { conn_->Execute("delete * from Q_KQ"); });
  EXPECT_EQ(e.description(), "Operation must use an updateable query.");
  EXPECT_EQ(Scalar(conn_, "select count(*) from T_KQ"), "2");
  // The punch's Byte column is the database's Byte.
  conn_->Execute("insert into T_Trans (F_EmpID, F_Flag) values ('a', 200)");
  EXPECT_EQ(Caught([&] { conn_->Execute("update T_Trans set F_Flag = 256"); }).description(),
            "Numeric field overflow.");
  rs.Close();
  rs.Open("select F_Flag from T_Trans", conn_, adOpenKeyset);
  EXPECT_EQ(rs.Fields().Item(0).Value(), Variant(uint8_t{200}));
}

// The cells of a listing (a date shown by a written pattern, a number shown
// blank when zero, a flag shown as a word, a part of a date, a trimmed text)
// are the server's own expressions
// once the planner has read the statement: no call per cell remains, and
// the statement may run on several processes.
TEST_F(Server, AListingsCellsAreTheServersOwnExpressions) {
  const std::string statement =
      conn_->Translate("select F_EmpID, Format(F_Date, 'yyyy-mm-dd') as D, iif(F_SBSJ = 0, '', "
                       "F_SBSJ) as H, iif(F_CDNum = 0, '', F_CDNum) as N, iif(F_IsWQ, '是', '') "
                       "as W, Year(F_Date) + Second(F_Date) as Y, Trim(F_EmpID) as E from Q_KQ "
                       "order by F_EmpID, F_Date");
  auto& server = internal::BackendOf(*conn_);
  for (const char* setting :
       {"SET parallel_setup_cost = 0", "SET parallel_tuple_cost = 0",
        "SET min_parallel_table_scan_size = 0", "SET max_parallel_workers_per_gather = 2"}) {
    server.Run(setting, nullptr);
  }
  internal::ResultData plan;
  server.Run("EXPLAIN (VERBOSE, COSTS OFF) " + statement, &plan);
  std::string text;
  for (size_t i = 0; i < plan.row_count; ++i) text += plan.cells[i].ToText() + '\n';
  server.Run("RESET ALL", nullptr);
  // A type's name may stand in the plan; a call is the name and a parenthesis.
  for (size_t at = text.find("tessaly_jet."); at != std::string::npos;
       at = text.find("tessaly_jet.", at + 1)) {
    const size_t end = text.find_first_not_of("abcdefghijklmnopqrstuvwxyz_.", at);
    EXPECT_NE(text[end], '(') << text;
  }
  EXPECT_NE(text.find("to_char("), std::string::npos) << text;
  EXPECT_NE(text.find("Gather"), std::string::npos) << text;
}

// A function the table of Jet's functions says reads the clock or draws
// anew is never one the server may answer once for a whole statement's
// plan (IMMUTABLE): Now() in a saved query would keep the time it was
// planned at.
TEST_F(Server, FunctionsThatReadTheClockAreNotFixedOnTheServer) {
  for (const JetFunctionInfo& f : kJetFunctions) {
    if (f.volatility == Volatility::kFixed) continue;
    internal::ResultData rows;
    internal::BackendOf(*conn_).Run(
        "SELECT count(*) FILTER (WHERE provolatile = 'i'), count(*) FROM pg_proc WHERE "
        "pronamespace = 'tessaly_jet'::regnamespace AND proname = 'jet_" +
            std::string(f.name) + "'",
        &rows);
    ASSERT_EQ(rows.row_count, 1u);
    EXPECT_EQ(rows.cells[0].ToText(), "0") << f.name;
    EXPECT_NE(rows.cells[1].ToText(), "0") << f.name << " is not on the server";
  }
}

// Each argument a function's kinds read as a date is read so from a text
// and a number too, and the first one read as a text from a number and a
// date: one value given as any of those types gives the answer (or the
// error) it gives as the type the function reads.
// Every value a statement binds reaches the server as the very value it is:
// each kind at the edges of its range and at random, the binary forms side
// by side with the kinds sent as text, read back by the server as text.
TEST_F(Server, BoundValuesReachTheServerAsTheyAre) {
  std::vector<Parameter> parameters;
  std::vector<std::string> expected;
  auto add = [&](Parameter p, std::string text) {
    parameters.push_back(std::move(p));
    expected.push_back(std::move(text));
  };
  auto whole = [&](int64_t v) {
    Parameter p;
    p.integer = v;
    add(p, std::to_string(v));
  };
  auto real = [&](double v) {
    Parameter p;
    p.kind = Parameter::Kind::kReal;
    p.real = v;
    add(p, "");  // compared as the Double it reads back as
  };
  auto date = [&](int y, int mo, int d, int h, int mi, int s) {
    Parameter p;
    p.kind = Parameter::Kind::kDate;
    p.date = Date{static_cast<int16_t>(y), static_cast<uint8_t>(mo), static_cast<uint8_t>(d),
                  static_cast<uint8_t>(h), static_cast<uint8_t>(mi), static_cast<uint8_t>(s)};
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", y, mo, d, h, mi, s);
    add(p, text);
  };
  for (const int64_t v : {int64_t{0}, int64_t{-1}, int64_t{INT32_MIN}, int64_t{INT32_MAX},
                          int64_t{INT32_MAX} + 1, int64_t{INT32_MIN} - 1, INT64_MIN, INT64_MAX}) {
    whole(v);
  }
  for (const double v : {0.5, 7.5, -7.5, 0.1, 1e-7, 2.675, 9007199254740993.0, 1e300, 5e-324, -0.0,
                         0.0, 1.0 / 3, -1e308}) {
    real(v);
  }
  date(100, 1, 1, 0, 0, 0);
  date(9999, 12, 31, 23, 59, 59);
  date(1899, 12, 30, 0, 0, 0);
  date(1899, 12, 29, 12, 0, 0);
  date(1900, 2, 28, 23, 59, 59);
  date(1900, 3, 1, 0, 0, 0);
  date(1999, 12, 31, 23, 59, 59);
  date(2000, 1, 1, 0, 0, 0);
  date(2000, 2, 29, 8, 1, 0);
  date(1600, 2, 29, 0, 0, 1);
  add(Parameter::Text("it's"), "it's");
  Parameter currency;
  currency.kind = Parameter::Kind::kCurrency;
  currency.integer = -123456789;
  add(currency, "-12345.6789");
  Parameter decimal;
  decimal.kind = Parameter::Kind::kDecimal;
  decimal.text = "123.4500";
  add(decimal, "123.4500");
  Parameter bytes;
  bytes.kind = Parameter::Kind::kBytes;
  bytes.text = std::string("\0\xab", 2);
  add(bytes, "\\x00ab");
  std::mt19937_64 random(11);
  const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  // A row holds at most 1664 columns.
  for (int i = 0; i < 500; ++i) {
    whole(static_cast<int64_t>(random()) >> (random() % 63));
    real(std::bit_cast<double>(random() & ~(uint64_t{0x7ff} << 52) |
                               (uint64_t{1023 + random() % 80 - 40} << 52)));
    const int month = 1 + static_cast<int>(random() % 12);
    date(100 + static_cast<int>(random() % 9900), month,
         1 + static_cast<int>(random() % days[month - 1]), static_cast<int>(random() % 24),
         static_cast<int>(random() % 60), static_cast<int>(random() % 60));
    if (i % 50 == 0)
      add(Parameter::Text("between " + std::to_string(i)), "between " + std::to_string(i));
  }
  std::string select = "SELECT ";
  for (size_t i = 0; i < parameters.size(); ++i) {
    select += (i == 0 ? "$" : ", $") + std::to_string(i + 1) + "::text";
  }
  const postgres::Bound bound(parameters);
  pg_conn* session = dynamic_cast<postgres::PgBackend&>(internal::BackendOf(*conn_)).handle();
  PGresult* read = PQexecParams(session, select.c_str(), bound.size(), bound.types(),
                                bound.values(), bound.lengths(), bound.formats(), 0);
  ASSERT_EQ(PQresultStatus(read), PGRES_TUPLES_OK) << PQresultErrorMessage(read);
  for (size_t i = 0; i < parameters.size(); ++i) {
    const std::string text = PQgetvalue(read, 0, static_cast<int>(i));
    if (parameters[i].kind == Parameter::Kind::kReal) {
      EXPECT_EQ(std::bit_cast<uint64_t>(std::strtod(text.c_str(), nullptr)),
                std::bit_cast<uint64_t>(parameters[i].real))
          << text << " for " << parameters[i].real;
    } else {
      EXPECT_EQ(text, expected[i]) << "parameter " << i + 1;
    }
  }
  PQclear(read);
}

TEST_F(Server, AFunctionReadsEveryTypeItsKindsName) {
  conn_->Execute("create table T (D datetime, T text(20), N double, S text(20))");
  conn_->Execute("insert into T values (#2003-05-01#, '2003-05-01', 37742, '37742')");
  auto answer = [&](const std::string& call) {
    try {
      return Scalar(conn_, "select " + call + ") from T");
    } catch (const Error& e) {
      return "error " + std::to_string(e.number()) + ": " + e.description();
    }
  };
  for (const JetFunctionInfo& f : kJetFunctions) {
    if (jet::IsDomain(f.function)) continue;
    // For each argument, groups of columns that hold one value, the first
    // of each the type the function reads.
    std::vector<std::vector<std::vector<std::string>>> groups;
    for (size_t i = 0; i < f.kinds.size(); ++i) {
      const char kind = f.kinds[i];
      if (kind == 'd') {
        groups.push_back({{"D", "T", "N"}});
      } else if (kind == 't' && i == 0) {
        groups.push_back({{"T", "D"}, {"S", "N"}});
      } else {
        groups.push_back({{kind == 'n' ? "2" : kind == 'p' ? "'d'" : kind == 't' ? "'0'" : "1"}});
      }
    }
    std::function<void(size_t, const std::string&, const std::string&)> walk =
        [&](size_t i, const std::string& call, const std::string& read) {
          if (i == groups.size()) {
            if (call != read) EXPECT_EQ(answer(call), answer(read)) << call;
            return;
          }
          const std::string comma = i == 0 ? "" : ", ";
          for (const auto& group : groups[i]) {
            for (const std::string& column : group) {
              walk(i + 1, call + comma + column, read + comma + group[0]);
            }
          }
        };
    walk(0, std::string(f.name) + "(", std::string(f.name) + "(");
  }
}

}  // namespace
}  // namespace tessaly::db::testing
