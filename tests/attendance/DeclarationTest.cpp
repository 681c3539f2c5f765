// Every declared record class against the database CreateSchema makes: the
// same columns, of the same kinds, in the same order. A column added, renamed
// or retyped on one side only fails here.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdio>
#include <string>
#include <vector>

#include <unistd.h>

#include "tessaly/admin/clsEmp.h"
#include "tessaly/admin/clsUser.h"
#include "tessaly/attendance/clsKQ.h"
#include "tessaly/attendance/clsMTJ.h"
#include "tessaly/db/Connection.h"
#include "tessaly/punches/clsCollect.h"
#include "tessaly/punches/clsKQJ.h"
#include "tessaly/punches/clsLog.h"
#include "tessaly/punches/clsTrans.h"
#include "tessaly/punches/clsTransLost.h"
#include "tessaly/leave/clsBJ.h"
#include "tessaly/leave/clsCC.h"
#include "tessaly/leave/clsJB.h"
#include "tessaly/leave/clsSJ.h"
#include "tessaly/leave/clsWQ.h"
#include "tessaly/leave/clsXJ.h"
#include "tessaly/db/Schema.h"
#include "tessaly/scheduling/clsHoliday.h"
#include "tessaly/scheduling/clsItem.h"
#include "tessaly/scheduling/clsPBSet.h"
#include "tessaly/scheduling/clsRoster.h"
#include "tessaly/scheduling/clsShift.h"

namespace tessaly {
namespace {

// "F_Name VARCHAR(20)" for every column of a table of the created database,
// with " pk" and " notnull default=0" where they apply.
class CreatedDatabase : public ::testing::Test {
 protected:
  void SetUp() override {
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
      const framework::ColumnSpec& decl = column.decl;
      if (!decl.in_table) continue;
      std::string type;
      switch (decl.kind) {
        case db::ColumnKind::kText:
          type = decl.width > 0 ? "VARCHAR(" + std::to_string(decl.width) + ")" : "TEXT";
          break;
        case db::ColumnKind::kByte: type = "TINYINT"; break;
        case db::ColumnKind::kInt16: type = "SMALLINT"; break;
        case db::ColumnKind::kInt32: type = "INTEGER"; break;
        case db::ColumnKind::kSingle: type = "SINGLE"; break;
        case db::ColumnKind::kDate: type = "DATETIME"; break;
      }
      std::string shape = std::string(decl.name) + " " + type;
      if (decl.flags & db::kPrimaryKey) shape += " pk";
      if (decl.flags & db::kZeroDefault) shape += " notnull default=0";
      columns.push_back(shape);
    }
    return columns;
  }

  std::string path_;
};

TEST_F(CreatedDatabase, HoldsEveryDeclaredClassAsDeclared) {
  EXPECT_EQ(Declared<clsKQ>(), Columns("T_KQ"));
  EXPECT_EQ(Declared<clsMTJ>(), Columns("T_MTJ"));
  EXPECT_EQ(Declared<clsEmp>(), Columns("T_Emp"));
  EXPECT_EQ(Declared<clsUser>(), Columns("T_User"));
  EXPECT_EQ(Declared<clsShift>(), Columns("T_Shift"));
  EXPECT_EQ(Declared<clsPBSet>(), Columns("T_PBSet"));
  EXPECT_EQ(Declared<clsRoster>(), Columns("T_Roster"));
  for (const char* table : {"T_BCType", "T_Dept", "T_RostCode"}) {
    EXPECT_EQ(Declared<clsItem>(), Columns(table)) << table;
  }
  EXPECT_EQ(Declared<clsHoliday>(), Columns("T_Holiday"));
  EXPECT_EQ(Declared<clsCC>(), Columns("T_CC"));
  EXPECT_EQ(Declared<clsSJ>(), Columns("T_SJ"));
  EXPECT_EQ(Declared<clsXJ>(), Columns("T_XJ"));
  EXPECT_EQ(Declared<clsBJ>(), Columns("T_BJ"));
  EXPECT_EQ(Declared<clsJB>(), Columns("T_JB"));
  EXPECT_EQ(Declared<clsWQ>(), Columns("T_WQ"));
  EXPECT_EQ(Declared<clsTrans>(), Columns("T_Trans"));
  EXPECT_EQ(Declared<clsTransLost>(), Columns("T_TransLost"));
  EXPECT_EQ(Declared<clsCollect>(), Columns("T_Collect"));
  EXPECT_EQ(Declared<clsKQJ>(), Columns("T_KQJ"));
  EXPECT_EQ(Declared<clsLog>(), Columns("T_Log"));
}

// The keys and flags of the people tables spelt literally.
TEST_F(CreatedDatabase, PeopleTablesHaveTheirKeysAndKinds) {
  const std::vector<std::string> emp = Columns("T_Emp");
  ASSERT_EQ(emp.size(), 18u);
  EXPECT_EQ(emp[0], "F_EmpID VARCHAR(10) pk");
  EXPECT_EQ(emp[7], "F_IsKQ SMALLINT");
  EXPECT_EQ(emp[12], "F_JoinDate TEXT");
  EXPECT_EQ(emp[17], "F_Note VARCHAR(50)");
  const std::vector<std::string> user = Columns("T_User");
  ASSERT_EQ(user.size(), 5u);
  EXPECT_EQ(user[0], "F_ID SMALLINT pk");
  EXPECT_EQ(user[4], "F_Right VARCHAR(180)");
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

TEST_F(CreatedDatabase, SchedulingTablesHaveTheirKinds) {
  const std::vector<std::string> shift = Columns("T_Shift");
  ASSERT_EQ(shift.size(), 47u);
  EXPECT_EQ(shift[0], "F_Name VARCHAR(10) pk");
  EXPECT_EQ(shift[1], "F_Type VARCHAR(20)");
  EXPECT_EQ(shift[2], "F_Use1 SMALLINT");
  EXPECT_EQ(shift[46], "F_ZLOutDown SMALLINT");
  const std::vector<std::string> plan = Columns("T_PBSet");
  ASSERT_EQ(plan.size(), 40u);
  EXPECT_EQ(plan[0], "F_Name VARCHAR(20) pk");
  EXPECT_EQ(plan[39], "F_D31 VARCHAR(10)");
  const std::vector<std::string> roster = Columns("T_Roster");
  ASSERT_EQ(roster.size(), 38u);
  const std::vector<std::string> first(roster.begin(), roster.begin() + 8);
  EXPECT_EQ(first, (std::vector<std::string>{"ROSTER_NUM INTEGER pk", "FSCL_MONTH TEXT",
                                             "ROST_TYPE TEXT", "DEPT_ID SMALLINT", "EMP_ID TEXT",
                                             "ROST_CODE SMALLINT", "MON_WORK_HOURS SMALLINT",
                                             "F_D1 VARCHAR(10)"}));
  EXPECT_EQ(roster[37], "F_D31 VARCHAR(10)");
  EXPECT_EQ(Columns("T_RostCode"), (std::vector<std::string>{"F_ID SMALLINT pk",
                                                             "F_Name VARCHAR(50)",
                                                             "F_Note VARCHAR(50)"}));
  EXPECT_EQ(Columns("T_Holiday"),
            (std::vector<std::string>{"F_ID SMALLINT pk", "F_Name VARCHAR(20)",
                                      "F_DateFr DATETIME", "F_DateTo DATETIME"}));
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
