// Translated statements prepared on SQLite with the functions that stand for
// Jet's.
#include "db/sqlite/JetFunctions.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>

#include "db/jet/Ast.h"
#include "db/jet/Translator.h"
#include "db/sqlite/SqliteDialect.h"

namespace tessaly::db::sqlite {
namespace {

// What the translator writes must be SQL that SQLite, with the functions
// that stand for Jet's registered, accepts; what those functions answer is the
// corpus's (corpus/*.jet), on every engine.
class JetSql : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(sqlite3_open(":memory:", &db_), SQLITE_OK);
    RegisterJetFunctions(db_);
    ASSERT_EQ(sqlite3_exec(db_,
                           "CREATE TABLE T_Emp (F_EmpID VARCHAR(10), F_Name VARCHAR(20));"
                           "CREATE TABLE T_KQ (F_ID INTEGER PRIMARY KEY, F_Date DATETIME);",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
  }
  void TearDown() override { sqlite3_close(db_); }

  sqlite3* db_ = nullptr;
};

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
