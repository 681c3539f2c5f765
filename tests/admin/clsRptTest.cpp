#include "tessaly/admin/clsRpt.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "support/TestDb.h"

namespace tessaly {
namespace {

using testing::Scalar;

// A database with rows in every working table, around August 2001, and in
// every master table.
class clsRptDb : public testing::RecordDb<clsRpt> {
 protected:
  void SetUp() override {
    conn_ = testing::AttendanceDb();
    int id = 0;
    // Requests, by first and last day: before the window, across its start,
    // inside it, on both its bounds, across its end.
    const char* requests[][2] = {{"2001-07-01", "2001-07-02"}, {"2001-07-30", "2001-08-02"},
                                 {"2001-08-10", "2001-08-12"}, {"2001-08-01", "2001-08-31"},
                                 {"2001-08-31", "2001-09-02"}};
    for (const char* table : {"T_BJ", "T_CC", "T_XJ", "T_SJ", "T_JB"}) {
      for (const auto& r : requests) {
        conn_->Execute("insert into " + std::string(table) +
                       " (F_ID, F_EmpID, F_DateFr, F_DateTo) values (" + std::to_string(++id) +
                       ", 'e', '" + r[0] + "', '" + r[1] + "')");
      }
    }
    for (const char* day : {"2001-07-31", "2001-08-01", "2001-08-31", "2001-09-01"}) {
      conn_->Execute("insert into T_WQ (F_ID, F_EmpID, F_Date) values (" + std::to_string(++id) +
                     ", 'e', #" + day + "#)");
      conn_->Execute("insert into T_KQ (F_EmpID, F_Date) values ('e', #" + std::string(day) + "#)");
      conn_->Execute("insert into T_Trans (F_EmpID, F_Date, F_Time) values ('e', '" +
                     std::string(day) + "', '08:00')");
      conn_->Execute("insert into T_TransLost (F_EmpID, F_Date) values ('e', '" +
                     std::string(day) + "')");
    }
    for (const char* ym : {"2000, 12", "2001, 1", "2001, 7", "2001, 8", "2001, 9", "2001, 11",
                           "2002, 2", "2002, 3"}) {
      conn_->Execute("insert into T_MTJ (F_EmpID, F_Year, F_Month) values ('e', " +
                     std::string(ym) + ")");
    }
    for (int i = 0; i < 2; ++i) {
      conn_->Execute("insert into T_Collect (F_WorkNo, F_KQDate) values ('w', '2001-01-01')");
      conn_->Execute("insert into T_Log (F_Date, F_Time) values ('2001-01-01', '08:00')");
    }
    // Master data, users (one with an apostrophe), schedule plans and templates.
    for (const char* row :
         {"T_Holiday (F_ID) values (1)", "T_Emp (F_EmpID) values ('e')",
          "T_Dept (F_ID) values (1)", "T_KQJ (F_Name) values ('gate')",
          "T_Shift (F_Name) values ('Day')", "T_BCType (F_ID) values (1)",
          "T_RostCode (F_ID) values (1)", "T_Roster (ROSTER_NUM) values (1)",
          "T_PBSet (F_Name) values ('plan')", "T_Prn (F_Key) values ('report')",
          "T_User (F_ID, F_UserID) values (1, 'admin')", "T_User (F_ID, F_UserID) values (2, 'bob')",
          "T_User (F_ID, F_UserID) values (3, 'o''hara')"}) {
      conn_->Execute(std::string("insert into ") + row);
    }
    rec_.HConnect(conn_);
    sent_.clear();
    conn_->Trace([this](std::string_view sql) { sent_.emplace_back(sql); });
  }

  // What is left of the working tables, as "table:rows" lines.
  std::string WorkingLeft() {
    std::string left;
    for (const char* table : {"T_BJ", "T_CC", "T_XJ", "T_SJ", "T_JB", "T_WQ", "T_KQ", "T_MTJ",
                              "T_Trans", "T_TransLost", "T_Collect", "T_Log"}) {
      left += std::string(table) + ":" + Count(table) + " ";
    }
    return left;
  }
};

TEST_F(clsRptDb, TheAugustWindowDeletesWhatLiesWhollyInsideBoundsIncluded) {
  EXPECT_TRUE(rec_.ClearWorkData("2001-08-01", "2001-08-31"));
  EXPECT_EQ(sent_, (std::vector<std::string>{
      "delete * from  T_BJ where F_DateFr>='2001-08-01' and  F_DateTo<='2001-08-31'",
      "delete * from  T_CC where F_DateFr>='2001-08-01' and  F_DateTo<='2001-08-31'",
      "delete * from  T_XJ where F_DateFr>='2001-08-01' and  F_DateTo<='2001-08-31'",
      "delete * from  T_SJ where F_DateFr>='2001-08-01' and  F_DateTo<='2001-08-31'",
      "delete * from  T_JB where F_DateFr>='2001-08-01' and  F_DateTo<='2001-08-31'",
      "delete * from  T_WQ where F_Date>=#2001-08-01# and  F_Date<=#2001-08-31#",
      "delete * from  T_KQ where F_Date>=#2001-08-01# and  F_Date<=#2001-08-31#",
      "delete * from  T_MTJ where F_Year>=2001 and F_Month>=8 and   F_Year<=2001 and F_Month<=8",
      "delete * from  T_Trans where F_Date>='2001-08-01' and  F_Date<='2001-08-31'",
      "delete * from  T_TransLost where F_Date>='2001-08-01' and  F_Date<='2001-08-31'",
      "delete * from  T_Collect", "delete * from  T_Log"}));
  // Requests from 07-30 (starts before) and to 09-02 (ends after) stay; days
  // 08-01 and 08-31 go (both bounds inclusive); the log and staging go whole.
  EXPECT_EQ(Scalar(conn_, "select min(F_DateFr) & ' ' & max(F_DateTo) from T_SJ"),
            "2001-07-01 2001-09-02");
  EXPECT_EQ(WorkingLeft(),
            "T_BJ:3 T_CC:3 T_XJ:3 T_SJ:3 T_JB:3 T_WQ:2 T_KQ:2 T_MTJ:7 T_Trans:2 T_TransLost:2 "
            "T_Collect:0 T_Log:0 ");
}

// Windows open at one end, and one across a year end. Statements by their
// place in the run: 0 a request table, 5/6 a date-literal table, 7 the
// monthly statistics, 8/9 a date-text table.
TEST_F(clsRptDb, WindowsOpenAtOneEndOrAcrossTheYearEnd) {
  const struct {
    const char* start;
    const char* end;
    std::map<size_t, std::string> statements;
    const char* left;
  } cases[] = {
      // Requests go by their last day; monthly rows need a month up to August
      // too, so December 2000 stays with the later ones.
      {"",
       "2001-08-31",
       {{0, "delete * from  T_BJ where  F_DateTo<='2001-08-31'"},
        {5, "delete * from  T_WQ where  F_Date<=#2001-08-31#"},
        {7, "delete * from  T_MTJ where   F_Year<=2001 and F_Month<=8"},
        {9, "delete * from  T_TransLost where  F_Date<='2001-08-31'"}},
       "T_BJ:1 T_CC:1 T_XJ:1 T_SJ:1 T_JB:1 T_WQ:1 T_KQ:1 T_MTJ:5 T_Trans:1 T_TransLost:1 "
       "T_Collect:0 T_Log:0 "},
      // From August 2001 on, month by month: 2002-02 and 2002-03 stay.
      {"2001-08-01",
       "",
       {{0, "delete * from  T_BJ where F_DateFr>='2001-08-01'"},
        {6, "delete * from  T_KQ where F_Date>=#2001-08-01#"},
        {7, "delete * from  T_MTJ where F_Year>=2001 and F_Month>=8"},
        {8, "delete * from  T_Trans where F_Date>='2001-08-01'"}},
       "T_BJ:2 T_CC:2 T_XJ:2 T_SJ:2 T_JB:2 T_WQ:1 T_KQ:1 T_MTJ:5 T_Trans:1 T_TransLost:1 "
       "T_Collect:0 T_Log:0 "},
      // November to February: no month is both >= 11 and <= 2, so every
      // monthly row stays, November 2001 and February 2002 included.
      {"2001-11-01",
       "2002-02-28",
       {{7, "delete * from  T_MTJ where F_Year>=2001 and F_Month>=11 and   F_Year<=2002 and "
            "F_Month<=2"}},
       "T_BJ:5 T_CC:5 T_XJ:5 T_SJ:5 T_JB:5 T_WQ:4 T_KQ:4 T_MTJ:8 T_Trans:4 T_TransLost:4 "
       "T_Collect:0 T_Log:0 "},
  };
  for (const auto& c : cases) {
    if (&c != cases) SetUp();  // a freshly seeded database for each window
    EXPECT_TRUE(rec_.ClearWorkData(c.start, c.end)) << c.start << ".." << c.end;
    ASSERT_EQ(sent_.size(), 12u);
    for (const auto& [at, statement] : c.statements) EXPECT_EQ(sent_[at], statement);
    EXPECT_EQ(WorkingLeft(), c.left) << c.start << ".." << c.end;
  }
}
TEST_F(clsRptDb, TypedApostrophesStayInsideTheirLiterals) {
  // Quoted windows keep the apostrophe inside the literal; the date literal
  // refuses it as no date, so the run stops there.
  EXPECT_FALSE(rec_.ClearWorkData("x' or 1=1 or 'x", "x'"));
  EXPECT_EQ(sent_[0], "delete * from  T_BJ where F_DateFr>='x'' or 1=1 or ''x' and  "
                      "F_DateTo<='x'''");
  EXPECT_EQ(sent_.size(), 6u);
  EXPECT_EQ(Count("T_BJ"), "5");
}

TEST_F(clsRptDb, ClearAllDataKeepsExactlyTheAdministratorPlansAndTemplates) {
  // All the working data first, with no window, then the master data.
  EXPECT_TRUE(rec_.ClearAllData("admin"));
  EXPECT_EQ(sent_, (std::vector<std::string>{
                       "delete * from  T_BJ", "delete * from  T_CC", "delete * from  T_XJ",
                       "delete * from  T_SJ", "delete * from  T_JB", "delete * from  T_WQ",
                       "delete * from  T_KQ", "delete * from  T_MTJ", "delete * from  T_Trans",
                       "delete * from  T_TransLost", "delete * from  T_Collect",
                       "delete * from  T_Log", "delete * from  T_Holiday", "delete * from  T_Emp",
                       "delete * from  T_Dept", "delete * from  T_KQJ", "delete * from  T_Shift",
                       "delete * from  T_BCType", "delete * from  T_RostCode",
                       "delete * from  T_Roster",
                       "Delete * from T_User where F_UserID<>'admin'"}));
  EXPECT_EQ(WorkingLeft(),
            "T_BJ:0 T_CC:0 T_XJ:0 T_SJ:0 T_JB:0 T_WQ:0 T_KQ:0 T_MTJ:0 T_Trans:0 T_TransLost:0 "
            "T_Collect:0 T_Log:0 ");
  std::string left;
  for (const char* table : {"T_Holiday", "T_Emp", "T_Dept", "T_KQJ", "T_Shift", "T_BCType",
                            "T_RostCode", "T_Roster", "T_User", "T_PBSet", "T_Prn"}) {
    left += Count(table);
  }
  EXPECT_EQ(left, "00000000111");
  EXPECT_EQ(Scalar(conn_, "select F_UserID from T_User"), "admin");

  conn_->Execute("insert into T_User (F_ID, F_UserID) values (3, 'o''hara')");
  EXPECT_TRUE(rec_.ClearAllData("O'HARA"));  // user IDs compare without case
  EXPECT_EQ(sent_.back(), "Delete * from T_User where F_UserID<>'O''HARA'");
  EXPECT_EQ(Scalar(conn_, "select F_UserID from T_User"), "o'hara");
  EXPECT_TRUE(rec_.ClearAllData("nobody"));  // no user is kept then
  EXPECT_EQ(Count("T_User"), "0");
}

TEST(clsRpt, AFailedWorkingStepDeletesNoMasterData) {
  // A database whose import log table is missing: the working step fails at
  // its last table, after the others are cleared.
  const auto conn = testing::AttendanceDbWithout("T_Log");
  conn->Execute("insert into T_Emp (F_EmpID) values ('e')");
  conn->Execute("insert into T_User (F_ID, F_UserID) values (1, 'bob')");
  conn->Execute("insert into T_KQ (F_EmpID, F_Date) values ('e', #2001-08-01#)");
  clsRpt rpt;
  EXPECT_FALSE(rpt.ClearWorkData());  // no connection yet
  EXPECT_EQ(rpt.LastError().number, errnum::kObjectNotSet);
  rpt.HConnect(conn);
  EXPECT_FALSE(rpt.ClearAllData("admin", "by value"));
  EXPECT_EQ(rpt.LastError().number, errnum::kNoTable);
  EXPECT_EQ(Scalar(conn, "select count(*) from T_KQ"), "0");  // not undone
  EXPECT_EQ(Scalar(conn, "select count(*) from T_Emp"), "1");
  EXPECT_EQ(Scalar(conn, "select count(*) from T_User"), "1");
}

}  // namespace
}  // namespace tessaly
