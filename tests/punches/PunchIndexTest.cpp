// The attendance calculation's questions about punches are answered from an
// index, as the engine's own query plan shows, not by reading every punch.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "db/jet/Translator.h"
#include "db/sqlite/JetFunctions.h"
#include "db/sqlite/SqliteDialect.h"
#include "tessaly/db/Connection.h"
#include "tessaly/db/Schema.h"
#include "tessaly/punches/clsTrans.h"

namespace tessaly {
namespace {

const std::string kPath = "punch_index_test_" + std::to_string(getpid()) + ".db";

// The engine's plan of a Jet statement, translated as the connection sends
// it (its literals lifted into parameters): the plan's lines joined by "; ".
std::string PlanOf(const std::string& jet_sql) {
  const db::jet::Translation t =
      db::jet::Translate(jet_sql, db::sqlite::SqliteDialect(), /*lift_literals=*/true);
  EXPECT_TRUE(t.ok) << t.error_description;
  sqlite3* handle = nullptr;
  EXPECT_EQ(sqlite3_open_v2(kPath.c_str(), &handle, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
  db::sqlite::RegisterJetFunctions(handle);
  sqlite3_stmt* stmt = nullptr;
  sqlite3_prepare_v2(handle, ("EXPLAIN QUERY PLAN " + t.sql).c_str(), -1, &stmt, nullptr);
  std::string plan;
  while (sqlite3_step(stmt) == SQLITE_ROW) {
    if (!plan.empty()) plan += "; ";
    plan += reinterpret_cast<const char*>(sqlite3_column_text(stmt, 3));
  }
  sqlite3_finalize(stmt);
  sqlite3_close(handle);
  return plan;
}

TEST(PunchIndexes, WindowQuestionsAndUntalliedPunchesSeekAnIndex) {
  std::remove(kPath.c_str());
  std::vector<std::string> sent;
  {
    auto conn = db::Connection::Open(kPath);
    db::CreateSchema(*conn);
    clsTrans trans;
    trans.HConnect(conn);
    conn->Trace([&sent](std::string_view sql) { sent.emplace_back(sql); });
    bool has_it = false;
    std::string time, err;
    trans.HasTrans("2003-05-01", "2003-05-01", "0001", "07:00", "09:00", true, has_it, time);
    trans.HasTrans("2003-05-01", "2003-05-02", "0001", "22:00", "06:00", false, has_it, time);
    trans.HasTransByFlag("2003-05-01", "0001", 1, has_it, time);
    trans.DoSearch(err, -1);
  }
  ASSERT_EQ(sent.size(), 4u);
  const char* const expected[] = {
      "SEARCH T_Trans USING INDEX ix_T_Trans_F_EmpID_F_Date_F_Time "
      "(F_EmpID=? AND F_Date=? AND F_Time>? AND F_Time<?)",
      // Across dates the joined text narrows nothing: the employee's punches
      // are sought, then their moments compared.
      "SEARCH T_Trans USING INDEX ix_T_Trans_F_EmpID_F_Date_F_Time (F_EmpID=?)",
      "SEARCH T_Trans USING INDEX ix_T_Trans_F_EmpID_F_Date_F_Time (F_EmpID=? AND F_Date=?)",
      "SEARCH T_Trans USING INDEX ix_T_Trans_F_IsTJ_F_Date_F_CardID (F_IsTJ=?)",
  };
  for (size_t i = 0; i < sent.size(); ++i) {
    const std::string plan = PlanOf(sent[i]);
    EXPECT_EQ(plan.rfind(expected[i], 0), 0u) << sent[i] << "\n" << plan;
    EXPECT_EQ(plan.find("SCAN"), std::string::npos) << plan;
  }
  std::remove(kPath.c_str());
}

}  // namespace
}  // namespace tessaly
