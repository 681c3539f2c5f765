// Every declared record class against the database CreateSchema makes: the
// same columns, of the same kinds, in the same order. A column added, renamed
// or retyped on one side only fails here.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tessaly/attendance/clsKQ.h"
#include "tessaly/attendance/clsMTJ.h"
#include "tessaly/punches/clsCollect.h"
#include "tessaly/punches/clsKQJ.h"
#include "tessaly/punches/clsLog.h"
#include "tessaly/punches/clsTrans.h"
#include "tessaly/punches/clsTransLost.h"
#include "tessaly/db/Connection.h"
#include "tessaly/db/Schema.h"

namespace tessaly {
namespace {

// "F_Name VARCHAR(20)" for every column of a table of the created database,
// with " pk" and " notnull default=0" where they apply.
class CreatedDatabase : public ::testing::Test {
 protected:
  void SetUp() override {
    // The process id too: other builds may run the same test in the same
    // temporary directory at the same time.
    path_ = ::testing::TempDir() + "declaration_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name() + "_" +
            std::to_string(getpid()) + ".db";
    std::remove(path_.c_str());
    db::CreateSchema(*db::Connection::Open(path_));
  }
  void TearDown() override { std::remove(path_.c_str()); }

  std::vector<std::string> Columns(const std::string& table) const {
    sqlite3* handle = nullptr;
    EXPECT_EQ(sqlite3_open_v2(path_.c_str(), &handle, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    sqlite3_stmt* stmt = nullptr;
    const std::string sql =
        "SELECT name || ' ' || type || iif(pk, ' pk', '') || "
        "iif(\"notnull\" AND NOT pk, ' notnull', '') || ifnull(' default=' || dflt_value, '') "
        "FROM pragma_table_info('" + table + "')";
    EXPECT_EQ(sqlite3_prepare_v2(handle, sql.c_str(), -1, &stmt, nullptr), SQLITE_OK);
    std::vector<std::string> columns;
    while (sqlite3_step(stmt) == SQLITE_ROW) {
      columns.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)));
    }
    sqlite3_finalize(stmt);
    sqlite3_close(handle);
    return columns;
  }

  // The same shape from a class's declarations, each kind spelt as the
  // database names it.
  template <class Record>
  static std::vector<std::string> Declared() {
    std::vector<std::string> columns;
    for (const auto& column : Record::Columns()) {
      const framework::ColumnSpec& spec = column.spec;
      std::string type;
      switch (spec.kind) {
        case db::ColumnKind::kText:
          type = spec.width > 0 ? "VARCHAR(" + std::to_string(spec.width) + ")" : "TEXT";
          break;
        case db::ColumnKind::kByte: type = "TINYINT"; break;
        case db::ColumnKind::kInt16: type = "SMALLINT"; break;
        case db::ColumnKind::kInt32: type = "INTEGER"; break;
        case db::ColumnKind::kSingle: type = "SINGLE"; break;
        case db::ColumnKind::kDate: type = "DATETIME"; break;
      }
      std::string shape = std::string(spec.name) + " " + type;
      if (spec.flags & db::kPrimaryKey) shape += " pk";
      if (spec.flags & db::kZeroDefault) shape += " notnull default=0";
      columns.push_back(shape);
    }
    return columns;
  }

  std::string path_;
};

TEST_F(CreatedDatabase, HoldsEveryDeclaredClassAsDeclared) {
  EXPECT_EQ(Declared<clsKQ>(), Columns("T_KQ"));
  EXPECT_EQ(Declared<clsMTJ>(), Columns("T_MTJ"));
  EXPECT_EQ(Declared<clsTrans>(), Columns("T_Trans"));
  EXPECT_EQ(Declared<clsTransLost>(), Columns("T_TransLost"));
  EXPECT_EQ(Declared<clsCollect>(), Columns("T_Collect"));
  EXPECT_EQ(Declared<clsKQJ>(), Columns("T_KQJ"));
  EXPECT_EQ(Declared<clsLog>(), Columns("T_Log"));
}

// The kinds spelt literally for the two tables, so the mapping above cannot
// drift with the code it checks.
TEST_F(CreatedDatabase, DailyAndMonthlyTablesHaveTheirKinds) {
  const std::vector<std::string> kq = Columns("T_KQ");
  ASSERT_EQ(kq.size(), 25u);
  EXPECT_EQ(kq[0], "F_ID INTEGER pk");
  EXPECT_EQ(kq[4], "F_KQType VARCHAR(10)");
  EXPECT_EQ(kq[5], "F_Date DATETIME");
  EXPECT_EQ(kq[17], "F_ZTNum SMALLINT");
  EXPECT_EQ(kq[21], "F_IsTJ SMALLINT notnull default=0");
  EXPECT_EQ(kq[24], "F_Shift TEXT");
  const std::vector<std::string> mtj = Columns("T_MTJ");
  ASSERT_EQ(mtj.size(), 25u);
  EXPECT_EQ(mtj[1], "F_Year SMALLINT");
  EXPECT_EQ(mtj[6], "F_WK_Days SINGLE");
  EXPECT_EQ(mtj[24], "F_Note TEXT");
}

TEST_F(CreatedDatabase, PunchTablesHaveTheirKinds) {
  const std::vector<std::string> trans = {
      "F_ID INTEGER pk",      "F_Date TEXT",          "F_Time TEXT",
      "F_CardID VARCHAR(10)", "F_DcuID VARCHAR(3)",   "F_Door VARCHAR(20)",
      "F_EmpID VARCHAR(10)",  "F_Name VARCHAR(20)",   "F_Dept VARCHAR(50)",
      "F_Flag TINYINT",       "F_IsEnter SMALLINT",   "F_IsExit SMALLINT",
      "F_IsKQ SMALLINT",      "F_IsTJ SMALLINT notnull default=0"};
  EXPECT_EQ(Columns("T_Trans"), trans);
  const std::vector<std::string> lost = Columns("T_TransLost");
  ASSERT_EQ(lost.size(), 20u);
  EXPECT_EQ(lost[1], "F_LoadDate TEXT");
  EXPECT_EQ(lost[4], "F_Year SMALLINT");
  EXPECT_EQ(lost[14], "F_Flag TINYINT");
  EXPECT_EQ(Columns("T_Collect"),
            (std::vector<std::string>{"F_WorkNo VARCHAR(10)", "F_KQDate VARCHAR(10)",
                                      "F_KQTime VARCHAR(5)", "F_DcuID TEXT", "F_Door TEXT",
                                      "F_Flag TEXT"}));
  EXPECT_EQ(Columns("T_KQJ"), (std::vector<std::string>{"F_Name VARCHAR(20) pk",
                                                        "F_Address VARCHAR(3)",
                                                        "F_State VARCHAR(10)"}));
  EXPECT_EQ(Columns("T_Log"),
            (std::vector<std::string>{"F_ID INTEGER pk", "F_Date VARCHAR(10)",
                                      "F_Time VARCHAR(8)", "F_RecCnt INTEGER",
                                      "F_Operator VARCHAR(10)", "F_Note VARCHAR(100)"}));
}

}  // namespace
}  // namespace tessaly
