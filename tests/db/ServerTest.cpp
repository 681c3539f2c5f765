// The PostgreSQL engine where it differs from a file: opening a session that
// cannot be opened, a session lost in the middle of work, several host
// processes writing punches to one database, and the database it creates.
// Skipped without a server (TESSALY_PG_TARGET).
#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "db/DbContract.h"
#include "db/postgres/PgBackend.h"
#include "support/TestDb.h"
#include "tessaly/punches/clsTrans.h"

namespace tessaly::db::testing {
namespace {

using tessaly::testing::AttendanceDb;
using tessaly::testing::Scalar;
using tessaly::testing::SchemaTarget;
using tessaly::testing::ServerTarget;
using tessaly::testing::TestSchema;

class Server : public ::testing::Test {
 protected:
  void SetUp() override {
    if (ServerTarget().empty()) GTEST_SKIP() << "no PostgreSQL server: set TESSALY_PG_TARGET";
    conn_ = tessaly::testing::EmptyServerDb();
    CreateSchema(*conn_);
  }
  std::string Target() const { return SchemaTarget(ServerTarget(), TestSchema()); }
  // The target with one more key=value or URI parameter.
  static std::string With(const std::string& parameter) {
    const std::string target = ServerTarget();
    if (target.starts_with("postgres")) {
      return target + (target.find('?') == std::string::npos ? "?" : "&") + parameter;
    }
    return target + ' ' + parameter;
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
      {With("user=tessaly_pw") + (ServerTarget().starts_with("postgres") ? "&" : " ") +
           "password=wrong",
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

// Host processes on several machines add punches to one database at once;
// every punch arrives.
TEST_F(Server, SeveralProcessesAddingPunchesLoseNothing) {
  constexpr int kProcesses = 6, kPunches = 200;
  conn_.reset();  // no session may cross the fork
  std::vector<pid_t> children;
  for (int p = 0; p < kProcesses; ++p) {
    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
      alarm(120);
      int failed = 0;
      try {
        auto conn = Connection::Open(Target());
        clsTrans punch;
        punch.HConnect(conn);
        std::string err;
        for (int i = 0; i < kPunches; ++i) {
          punch.FEmpID(std::to_string(p));
          punch.FDate("2024-05-01");
          punch.FTime(std::to_string(10000 + i));
          if (i % 2 == 1) conn->BeginTrans();  // half of them inside a host transaction
          if (punch.Add(err) != RES_ADDOK) ++failed;
          if (i % 2 == 1) conn->CommitTrans();
        }
      } catch (...) {
        failed = kPunches;
      }
      _exit(failed == 0 ? 0 : 1);
    }
    children.push_back(child);
  }
  int clean = 0;
  for (const pid_t child : children) {
    int status = 0;
    waitpid(child, &status, 0);
    clean += WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }
  EXPECT_EQ(clean, kProcesses);
  auto conn = Connection::Open(Target());
  EXPECT_EQ(Scalar(conn, "select count(*) from T_Trans"), std::to_string(kProcesses * kPunches));
  EXPECT_EQ(Scalar(conn, "select count(*) from (select distinct F_EmpID, F_Time from T_Trans)"),
            std::to_string(kProcesses * kPunches));
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

// A Yes/No field made through Jet reads as True and False, also through a
// saved query and in a table SELECT ... INTO made, and a column a saved query reads is not dropped
// from under it: the refusal names the query, and the drop goes through once it is gone.
TEST_F(Server, SavedQueriesKeepTheFieldsTheyRead) {
  conn_->Execute("CREATE TABLE Pets (ID LONG, Name TEXT(20), Kind TEXT(20), Ok YESNO)");
  conn_->Execute("INSERT INTO Pets VALUES (1, 'Rex', 'dog', -1)");
  internal::BackendOf(*conn_).Run(R"(CREATE VIEW "PetNames" AS SELECT * FROM "Pets")", nullptr);
  EXPECT_EQ(Scalar(conn_, "SELECT Ok FROM PetNames"), "True");
  conn_->Execute("SELECT * INTO PetsCopy FROM Pets");
  EXPECT_EQ(Scalar(conn_, "SELECT Ok FROM PetsCopy"), "True");
  const Error e = Caught([&] { conn_->Execute("ALTER TABLE Pets DROP COLUMN Kind"); });
  EXPECT_EQ(e.number(), errnum::kFail);
  EXPECT_EQ(e.description(),
            "The field 'Kind' cannot be deleted: the saved query 'PetNames' reads it.  Change "
            "the saved query first.");
  EXPECT_EQ(Scalar(conn_, "SELECT Kind FROM Pets"), "dog");
  internal::BackendOf(*conn_).Run(R"(DROP VIEW "PetNames")", nullptr);
  conn_->Execute("ALTER TABLE Pets DROP COLUMN Kind");
  EXPECT_EQ(Scalar(conn_, "SELECT Ok FROM Pets WHERE Name = 'Rex'"), "True");
}

// Jet's functions as the server's session answers them, on the answers Jet
// gave (the same expressions the file engine's functions are held to).
TEST_F(Server, JetFunctionsAnswerAsJetDid) {
  const std::pair<const char*, const char*> cases[] = {
      {"left('张三李四', 2)", "张三"},
      {"right('张三李四', 1) & right('ab', 5)", "四ab"},
      {"mid('张三李四', 2, 2) & '|' & mid('abc', 5)", "三李|"},
      {"len('张三') & len(8)", "21"},
      {"left(Null, 2) & '|' & len(Null) & '|' & mid(Null, 1)", "||"},
      {"trim('  a b  ') & '|' & ltrim('  a ') & '|' & rtrim(' a  ')", "a b|a | a"},
      {"ucase('abcé') & lcase('ÀBC')", "ABCÉàbc"},
      {"instr(1, 'abcABC', 'B', 1) & instr(1, 'abcABC', 'B', 0)", "25"},
      {"instr(4, 'XXpXXpXXPXXP', 'P', 1)", "6"},
      {"instr('abc', 'c') & instr(3, 'abcabc', 'a')", "34"},
      {"instr(1, '', 'a') & instr(5, 'abc', '') & instr(2, 'abc', '')", "002"},
      {"format('2003-05-01 09:05:07', 'yyyy-mm-dd hh:nn:ss')", "2003-05-01 09:05:07"},
      {"format('1899-12-30 09:00:00', 'hh:mm')", "09:00"},
      {"format(#2003-05-01#, 'yyyy-mm-dd')", "2003-05-01"},
      {"format('no date', 'yyyy')", "no date"},
      {"format(5, '#.##') & ' ' & format(12, '000')", "5. 012"},
      {"year('2003-05-01') & month('2003-05-01 10:00:00') & day(#2003-5-7#)", "200357"},
      {"hour('1899-12-30 09:30:15') & minute('1899-12-30 09:30:15')", "930"},
      {"weekday('2003-05-04') & weekday('2003-05-04', 2)", "17"},
      {"clng(2.5) & clng(3.5) & cint('12')", "2412"},
      {"val('  12 34abc') & ',' & int(-7.5) & ',' & fix(-7.5) & ',' & sgn(-3)", "1234,-8,-7,-1"},
      {"round(2.5) & round(3.5) & ',' & abs(-3)", "24,3"},
      {"7/2 & ',' & 7\\2 & ',' & 7 mod 3 & ',' & 2^10", "3.5,3,1,1024"},
      {"iif(1 > 2, 'yes', 'no') & iif(3, 'non-zero', 'zero') & iif(Null, 'x', 'y')", "nonon-zeroy"},
      {"isnull(Null) & isnull(1)", "-10"},
  };
  for (const auto& [expression, expected] : cases) {
    std::string got;
    const Error e = Caught([&] { got = Scalar(conn_, std::string("select ") + expression); });
    EXPECT_EQ(e.number(), 0) << expression << ": " << e.description();
    EXPECT_EQ(got, expected) << expression;
  }
  EXPECT_EQ(Caught([&] { Scalar(conn_, "select 7 \\ 0"); }).number(), errnum::kDivisionByZero);
  EXPECT_EQ(Caught([&] { Scalar(conn_, "select year('abc')"); }).number(), errnum::kTypeMismatch);
  EXPECT_EQ(Caught([&] { Scalar(conn_, "select instr(0, 'abc', 'a')"); }).number(),
            errnum::kInvalidCall);
}

}  // namespace
}  // namespace tessaly::db::testing
