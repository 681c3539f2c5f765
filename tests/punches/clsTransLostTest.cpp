// Rejected punches: the split moment, the delete that takes its condition
// from the mode, and the unordered text listing.
#include "tessaly/punches/clsTransLost.h"

#include <gtest/gtest.h>

#include "support/TestDb.h"

namespace tessaly {
namespace {

using testing::Scalar;
using testing::Visible;

class TransLostDb : public ::testing::Test {
 protected:
  void SetUp() override {
    conn_ = testing::AttendanceDb();
    lost_.HConnect(conn_);
  }
  static void Fill(clsTransLost& t, const std::string& emp) {
    t.FLoadDate("2003-05-03");
    t.FErrMsg("unknown card");
    t.FCardID("C1");
    t.FYear(2003);
    t.FMonth(5);
    t.FDay(1);
    t.FHour(8);
    t.FMinute(30);
    t.FDate("2003-05-01");
    t.FTime("08:30");
    t.FEmpID(emp);
    t.FName("Zhang");
    t.FDept("Sales");
    t.FFlag(1);
    t.FDcuID("001");
    t.FDoor("Gate");
    t.FIsEnter(1);
    t.FIsKQ(1);
  }
  void Add(const std::string& emp) {
    clsTransLost t;
    t.HConnect(conn_);
    Fill(t, emp);
    std::string err;
    ASSERT_EQ(t.Add(err), RES_ADDOK) << err;
  }
  std::string Count() { return Scalar(conn_, "select count(*) from T_TransLost"); }

  std::shared_ptr<db::Connection> conn_;
  clsTransLost lost_;
  std::string err_;
};

TEST_F(TransLostDb, AddAndUpdateSendTheNineteenColumnsByteForByte) {
  std::vector<std::string> sent;
  conn_->Trace([&sent](std::string_view sql) { sent.push_back(Visible(std::string(sql))); });
  Fill(lost_, "0001");
  ASSERT_EQ(lost_.Add(err_), RES_ADDOK) << err_;
  lost_.FID(1);
  ASSERT_EQ(lost_.Update(err_, TRANSLOST_DELALL), RES_UPDOK) << err_;
  const std::vector<std::string> expected = {
      "INSERT INTO T_TransLost\\r(F_LoadDate,F_ErrMsg,F_CardID, F_Year,F_Month,F_Day,F_Hour,"
      "F_Minute,F_Date,F_Time ,F_EmpID,F_Name,F_Dept,F_Flag, F_DCuID, F_Door, "
      "F_IsEnter,F_IsExit,F_IsKQ\\r)\\rVALUES(\\r'2003-05-03'\\r,'unknown card'\\r,'C1'\\r,"
      "2003\\r,5\\r,1\\r,8\\r,30\\r,'2003-05-01'\\r,'08:30'\\r,'0001'\\r,'Zhang'\\r,'Sales'\\r,"
      "1\\r,'001'\\r,'Gate'\\r,1\\r,0\\r,1\\r)",
      "SELECT COUNT(*) AS C\\rFROM T_TransLost\\rWHERE  F_ID=1",
      "UPDATE T_TransLost\\rSET\\rF_LoadDate='2003-05-03'\\r,F_ErrMsg='unknown card'\\r,"
      "F_CardID='C1'\\r,F_Year=2003\\r,F_Month=5\\r,F_Day=1\\r,F_Hour=8\\r,F_Minute=30\\r,"
      "F_Date='2003-05-01'\\r,F_Time='08:30'\\r,F_EmpID='0001'\\r,F_Name='Zhang'\\r,"
      "F_Dept='Sales'\\r,F_Flag=1\\r,F_DCuID='001'\\r,F_Door='Gate'\\r,F_IsEnter=1\\r,"
      "F_IsExit=0\\r,F_IsKQ=1\\rWHERE  F_ID=1",
  };
  EXPECT_EQ(sent, expected);
}

TEST_F(TransLostDb, ModesChooseTheCondition) {
  lost_.FID(7);
  const std::pair<int32_t, const char*> cases[] = {
      {-1, " 1=1 ORDER BY F_ID "}, {TRANSLOST_DELALL, " 1=1  "}, {TRANSLOST_N0RMAL, " F_ID=7"},
      {0, " F_ID=7"},              {3, " F_ID=7"},               {-2, " F_ID=7"},
  };
  for (const auto& [mode, where] : cases) EXPECT_EQ(lost_.GetWhereString(mode), where) << mode;
}

TEST_F(TransLostDb, DeleteRemovesOneRowOrAllByMode) {
  for (const char* emp : {"0001", "0002", "0003"}) Add(emp);
  lost_.FID(2);
  EXPECT_EQ(lost_.Delete(err_, TRANSLOST_N0RMAL), RES_DELOK) << err_;
  EXPECT_EQ(Scalar(conn_, "select min(F_EmpID) & max(F_EmpID) from T_TransLost"), "00010003");
  lost_.FID(1);
  EXPECT_EQ(lost_.Delete(err_, 0), RES_DELOK) << err_;
  EXPECT_EQ(Count(), "1");
  EXPECT_EQ(lost_.Delete(err_), RES_DELNOTFOUND);
  Add("0004");
  Add("0005");
  EXPECT_EQ(lost_.Delete(err_, TRANSLOST_DELALL), RES_DELOK) << err_;
  EXPECT_EQ(Count(), "0");
  EXPECT_EQ(lost_.Delete(err_, TRANSLOST_DELALL), RES_DELNOTFOUND);
}

TEST_F(TransLostDb, SearchLoadsTheSplitMomentAndWalksByKey) {
  Add("0002");
  Add("0001");
  conn_->Execute("update T_TransLost set F_Minute = null, F_ErrMsg = null where F_EmpID = '0001'");
  ASSERT_EQ(lost_.DoSearch(err_, -1), RES_FOUND) << err_;
  EXPECT_EQ(lost_.FEmpID(), "0002");
  EXPECT_EQ(lost_.FYear(), 2003);
  EXPECT_EQ(lost_.FMinute(), 30);
  ASSERT_TRUE(lost_.MoveNext());
  EXPECT_EQ(lost_.FEmpID(), "0001");
  EXPECT_EQ(lost_.FMinute(), 0);  // Null reads as 0
  EXPECT_EQ(lost_.FErrMsg(), "");
  EXPECT_FALSE(lost_.MoveNext());
  EXPECT_EQ(lost_.DoSearch(err_, TRANSLOST_DELALL), RES_FOUND);
  EXPECT_EQ(lost_.HRecordCount(), 2);
}

TEST_F(TransLostDb, TextListingWritesTwelveFieldsInTheDatabaseOrder) {
  Add("0001");
  conn_->Execute("update T_TransLost set F_ErrMsg = null");
  int32_t rows = 0;
  EXPECT_EQ(Visible(lost_.ExeSearch("F_EmpID='0001'", rows)),
            "2003-05-03\\t\\tC1\\t2003-05-01\\t08:30\\t0001\\tZhang\\tSales\\t1\\t001\\tGate\\t1\\r");
  EXPECT_EQ(rows, 1);
  EXPECT_EQ(lost_.ExeSearch("", rows), "");
  EXPECT_EQ(rows, 1);
  EXPECT_TRUE(lost_.LastError());
}

TEST(clsTransLostProperties, WidthsAndDescriptors) {
  clsTransLost t;
  t.FErrMsg(std::string(60, 'e'));
  t.FDate("2003-05-01 08:30");
  t.FTime(std::string(30, 't'));
  t.FLoadDate(std::string(30, 'l'));
  EXPECT_EQ(t.FErrMsg(), std::string(50, 'e'));
  EXPECT_EQ(t.FDate(), "2003-05-01");
  EXPECT_EQ(t.FTime().size(), 30u);
  EXPECT_EQ(t.FLoadDate().size(), 30u);
  std::vector<SQLField> fields;
  ASSERT_TRUE(t.GetSQLField(fields));
  const std::vector<SQLField> expected = {
      {"F_LoadDate", "提取日期", 2}, {"F_ErrMsg", "错误原因", 1}, {"F_CardID", "卡号", 1},
      {"F_Date", "刷卡日期", 2},     {"F_Time", "刷卡时间", 1},   {"F_EmpID", "员工编号", 1},
      {"F_Name", "员工姓名", 1},     {"F_Dept", "部门", 5},       {"F_DCuID", "考勤机地址", 1},
      {"F_Door", "考勤机名称", 1},   {"F_Flag", "班次", 3},
  };
  EXPECT_EQ(fields, expected);
}

}  // namespace
}  // namespace tessaly
