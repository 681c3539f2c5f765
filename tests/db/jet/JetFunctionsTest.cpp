// Translated statements run on SQLite with the functions that stand for
// Jet's: what the attendance database answers must be what Jet answered.
#include "db/sqlite/JetFunctions.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>

#include "db/Parameter.h"
#include "db/jet/Ast.h"
#include "db/jet/Translator.h"
#include "db/sqlite/SqliteDialect.h"

namespace tessaly::db::sqlite {
namespace {

class JetSql : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(sqlite3_open(":memory:", &db_), SQLITE_OK);
    RegisterJetFunctions(db_);
    // Declared as the attendance schema declares its columns.
    ASSERT_EQ(Raw("CREATE TABLE T_Emp (F_EmpID VARCHAR(10) COLLATE NOCASE, "
                  "F_Name VARCHAR(20) COLLATE NOCASE, F_Spell VARCHAR(20) COLLATE NOCASE);"
                  "CREATE TABLE T_KQ (F_ID INTEGER PRIMARY KEY, F_EmpID VARCHAR(10) COLLATE "
                  "NOCASE, F_KQType VARCHAR(10) COLLATE NOCASE, F_Date DATETIME, "
                  "F_JBHours SINGLE, F_Note TEXT COLLATE NOCASE);"),
              "");
  }
  void TearDown() override { sqlite3_close(db_); }

  // Runs SQLite's own SQL; "" or the error message.
  std::string Raw(const char* sql) {
    char* error = nullptr;
    sqlite3_exec(db_, sql, nullptr, nullptr, &error);
    std::string message = error ? error : "";
    sqlite3_free(error);
    return message;
  }

  // Translates and runs a Jet statement. The rows as one text: cells joined
  // by "|", rows ended by ";", Null written <null>; or "error: ..." with
  // the translator's or the engine's message.
  // Literals are lifted and bound, as the connection runs statements.
  std::string Run(const std::string& jet) {
    const jet::Translation t = jet::Translate(jet, SqliteDialect(), true);
    if (!t.ok) return "error: " + t.error_description;
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db_, t.sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
      return std::string("error: ") + sqlite3_errmsg(db_);
    }
    for (size_t i = 0; i < t.parameters.size(); ++i) {
      const Parameter& p = t.parameters[i];
      const int n = static_cast<int>(i) + 1;
      switch (p.kind) {
        case Parameter::Kind::kInteger: sqlite3_bind_int64(stmt, n, p.integer); break;
        case Parameter::Kind::kReal: sqlite3_bind_double(stmt, n, p.real); break;
        case Parameter::Kind::kText:
          sqlite3_bind_text(stmt, n, p.text.c_str(), -1, SQLITE_TRANSIENT);
          break;
        case Parameter::Kind::kDate:
          sqlite3_bind_text(stmt, n, p.date.ToStored().c_str(), -1, SQLITE_TRANSIENT);
          break;
      }
    }
    std::string rows;
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
      for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
        if (i) rows += '|';
        const unsigned char* text = sqlite3_column_text(stmt, i);
        rows += text ? reinterpret_cast<const char*>(text) : "<null>";
      }
      rows += ';';
    }
    if (rc != SQLITE_DONE) rows = std::string("error: ") + sqlite3_errmsg(db_);
    sqlite3_finalize(stmt);
    return rows;
  }

  sqlite3* db_ = nullptr;
};

TEST_F(JetSql, ComparesThroughLeftWithoutRegardToCase) {
  Run("INSERT INTO T_Emp VALUES ('1', 'Zhang', 'ZSAN')");
  Run("INSERT INTO T_Emp VALUES ('2', 'Li', 'lisi')");
  Run("INSERT INTO T_Emp VALUES ('3', 'Zhao', 'xzs')");
  EXPECT_EQ(Run("select F_EmpID from T_Emp where left(F_Spell,2)='zs'"), "1;");
  EXPECT_EQ(Run("select F_EmpID from T_Emp where  instr(1,F_Spell,'zs',1)>0  order by F_EmpID"),
            "1;3;");
  EXPECT_EQ(Run("select F_EmpID from T_Emp where instr(1,F_Spell,'zs',0)>0"), "3;");
  EXPECT_EQ(Run("select F_EmpID from T_Emp where F_Spell like 'LI%'"), "2;");
  EXPECT_EQ(Run("select F_EmpID from T_Emp where ucase(F_Name) in ('li', 'zhao') order by 1"),
            "2;3;");
  EXPECT_EQ(Run("select F_Spell from T_Emp order by left(F_Spell, 1) & F_EmpID"), "lisi;xzs;ZSAN;");
}

TEST_F(JetSql, StoresDateLiteralsAsComparableText) {
  Run("INSERT INTO "
      "T_KQ\r(F_EmpID,F_KQType,F_Date,F_JBHours\r)\rVALUES(\r'1'\r,'A'\r,#2003-5-1#\r,8)");
  Run("INSERT INTO T_KQ (F_EmpID,F_KQType,F_Date,F_JBHours) VALUES ('1','B',#5/31/2003#,7.5)");
  Run("INSERT INTO T_KQ (F_EmpID,F_KQType,F_Date,F_JBHours) VALUES ('1','A',#2003/6/1#,1)");
  EXPECT_EQ(Run("select Format(F_Date,'yyyy-mm-dd'), Format(F_Date, 'mmm d') from T_KQ "
                "order by F_Date"),
            "2003-05-01|May 1;2003-05-31|May 31;2003-06-01|Jun 1;");
  EXPECT_EQ(Run("select count(F_KQType) as F_KQDays from T_KQ where  F_EmpID='1' and  "
                "year(F_Date)=2003 and month(F_Date)=5 and F_KQType='a'"),
            "1;");
  EXPECT_EQ(Run("select sum(F_JBHours) as F_Sum_JBHours from T_KQ where year(F_Date)=2003 and "
                "month(F_Date)=5"),
            "15.5;");
  EXPECT_EQ(Run("select F_KQType from T_KQ where F_Date>=#2003-05-01# and F_Date<=#5/31/2003#"
                " order by F_Date"),
            "A;B;");
  EXPECT_EQ(Run("select F_KQType from T_KQ where F_Date=#2003-06-01#"), "A;");
}

TEST_F(JetSql, PassesLiteralsThatLookLikeJetThrough) {
  const std::string note = "a & b # left(x) delete * from T_KQ iif(";
  ASSERT_EQ(Run("INSERT INTO T_KQ (F_EmpID, F_Note) VALUES ('1', '" + note + "')"), "");
  EXPECT_EQ(Run("select F_Note from T_KQ"), note + ";");
  EXPECT_EQ(Run("select count(*) from T_KQ where F_Note = '" + note + "'"), "1;");
}

TEST_F(JetSql, NamesUnaliasedExpressionsAsJetDoes) {
  const jet::Translation t = jet::Translate(
      "select F_EmpID, count(*), F_Name & '' from T_Emp group by F_EmpID, F_Name", SqliteDialect());
  sqlite3_stmt* stmt = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(db_, t.sql.c_str(), -1, &stmt, nullptr), SQLITE_OK);
  EXPECT_STREQ(sqlite3_column_name(stmt, 0), "F_EmpID");
  EXPECT_STREQ(sqlite3_column_name(stmt, 1), "Expr1000");
  EXPECT_STREQ(sqlite3_column_name(stmt, 2), "Expr1001");
  sqlite3_finalize(stmt);
}

// Single expressions without a table are statements of the corpus
// (corpus/expressions.jet), answered on every engine.

// An unknown name fails as one; it never becomes a text constant.
TEST_F(JetSql, UnknownNamesFailNamingThem) {
  Run("INSERT INTO T_KQ (F_ID) VALUES (1)");
  EXPECT_EQ(Run("select 姓名 from T_KQ"), "error: no such column: 姓名");
  EXPECT_EQ(Run("select * from T_KQ where 张='x'"), "error: no such column: 张");
  EXPECT_EQ(Run("select [F Name] from T_KQ"), "error: no such column: F Name");
}

// Weekday counts from the first day given: 0 is the system's (Sunday), one
// beyond 0 to 7 raises 5 and a Null one 94, while a Null date gives Null.
TEST_F(JetSql, WeekdayCountsFromTheFirstDayGiven) {
  // 2005-01-01 was a Saturday.
  EXPECT_EQ(Run("SELECT Weekday(#1/1/2005#, 0), Weekday(#1/1/2005#, 7), Weekday(#1/1/2005#, 2)"),
            "7|1|6;");
  EXPECT_EQ(Run("SELECT Weekday(Null, 8)"), "<null>;");
  EXPECT_EQ(Run("SELECT Weekday(#1/1/2005#, 8)"),
            "error: jet-error 5: Invalid procedure call or argument");
  EXPECT_EQ(Run("SELECT Weekday(#1/1/2005#, Null)"), "error: jet-error 94: Invalid use of Null");
}

TEST_F(JetSql, EveryJetFunctionHasItsSqliteCounterpart) {
  for (const JetFunctionInfo& f : kJetFunctions) {
    for (int n = f.min_args; n <= f.max_args; ++n) {
      if (f.function == JetFunction::kSwitch && n % 2 != 0) continue;  // pairs only
      std::string call = "select " + std::string(f.name) + "(";
      // A domain function reads its texts as a column, a table and a condition.
      const bool domain = jet::IsDomain(f.function);
      static constexpr const char* kDomainArgs[] = {"'F_ID'", ", 'T_KQ'", ", 'F_ID > 1'"};
      for (int i = 0; i < n; ++i) call += domain ? kDomainArgs[i] : i ? ", 1" : "'2003-05-01'";
      call += ") from T_KQ";
      const jet::Translation t = jet::Translate(call, SqliteDialect());
      ASSERT_TRUE(t.ok) << call << ": " << t.error_description;
      sqlite3_stmt* stmt = nullptr;
      EXPECT_EQ(sqlite3_prepare_v2(db_, t.sql.c_str(), -1, &stmt, nullptr), SQLITE_OK)
          << t.sql << ": " << sqlite3_errmsg(db_);
      sqlite3_finalize(stmt);
    }
  }
}

}  // namespace
}  // namespace tessaly::db::sqlite
