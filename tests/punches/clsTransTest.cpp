// Card punches: statement texts, the tally flag, the window questions of the
// attendance calculation and the punch listings.
#include "tessaly/punches/clsTrans.h"

#include "support/TestDb.h"
#include "tessaly/db/Recordset.h"

namespace tessaly {
namespace {

using testing::Scalar;
using testing::Visible;

class TransDb : public testing::RecordDb<clsTrans> {
 protected:
  void Punch(const std::string& emp, const std::string& date, const std::string& time, int flag = 1,
             int is_kq = 1) {
    conn_->Execute(
        "insert into T_Trans (F_EmpID, F_Date, F_Time, F_CardID, F_DcuID, F_Door, "
        "F_Name, F_Dept, F_Flag, F_IsKQ) values ('" +
        emp + "', '" + date + "', '" + time + "', 'C" + emp +
        "', '001', 'Gate', 'Zhang', 'Sales', " + std::to_string(flag) + ", " +
        std::to_string(is_kq) + ")");
  }
  // HasTrans's answer as "time" or "-" for none.
  std::string Window(const char* d1, const char* d2, const char* t1, const char* t2, bool in,
                     const std::string& emp = "0001") {
    bool has_it = false;
    std::string time = "stale";
    EXPECT_EQ(rec_.HasTrans(d1, d2, emp, t1, t2, in, has_it, time), RES_OK);
    return has_it ? time : time.empty() ? "-" : "stale!";
  }
};

// The window questions are the calculation's own texts, blanks included; the
// tally update writes the flag alone and an ordinary update leaves it.
TEST_F(TransDb, QuestionsKeepTheirTextsAndTheTallyUpdateWritesTheFlagAlone) {
  Punch("0001", "2003-05-01", "08:00");
  rec_.FID(1);
  rec_.FIsTJ(1);
  ASSERT_EQ(rec_.Update(err_, TRANS_UPDTJ), RES_UPDOK) << err_;
  rec_.FIsTJ(0);
  ASSERT_EQ(rec_.Update(err_, TRANS_N0RMAL), RES_UPDOK) << err_;
  EXPECT_EQ(Scalar(conn_, "select F_IsTJ from T_Trans"), "1");
  Watch();
  bool has_it = false;
  std::string time;
  rec_.HasTrans("2003-05-01", "2003-05-01", "0001", "07:00", "09:00", true, has_it, time);
  rec_.HasTrans("2003-05-01", "2003-05-02", "0001", "22:00", "06:00", false, has_it, time);
  rec_.HasTransByFlag("2003-05-01", "0001", 2, has_it, time);
  const std::vector<std::string> expected = {
      "select *  from T_Trans where  F_EmpID='0001' and  F_Date='2003-05-01' and "
      "F_Time>='07:00' and F_Time<='09:00' order by F_Date,F_Time  ASC",
      "select *  from T_Trans where  F_EmpID='0001' and  (F_Date & ' ' & F_Time )>='2003-05-01 "
      "22:00'  and (F_Date & ' ' & F_Time)<='2003-05-02 06:00' order by F_Date,F_Time  DESC",
      "select *  from T_Trans where  F_EmpID='0001' and  F_Date='2003-05-01' and F_Flag=2 "
      "order by F_Date,F_Time  ASC",
  };
  EXPECT_EQ(sent_, expected);
}

// The earliest punch of the date under the shift number; other numbers and
// other dates do not count.
TEST_F(TransDb, FlagQuestionTakesTheEarliestPunchOfItsShiftNumber) {
  Punch("0001", "2003-05-01", "09:00", 2);
  Punch("0001", "2003-05-01", "08:30", 2);
  Punch("0001", "2003-05-01", "07:00", 1);
  Punch("0001", "2003-04-30", "06:00", 2);
  Punch("0002", "2003-05-01", "08:00", 2);
  bool has_it = false;
  std::string time = "stale";
  EXPECT_EQ(rec_.HasTransByFlag("2003-05-01", "0001", 2, has_it, time), RES_OK);
  EXPECT_TRUE(has_it);
  EXPECT_EQ(time, "08:30");
  EXPECT_EQ(rec_.HasTransByFlag("2003-05-01", "0001", 3, has_it, time), RES_OK);
  EXPECT_FALSE(has_it);
  EXPECT_EQ(time, "");
}

// A punch without a time is found but cannot be told: the question fails
// with HasIt already set and no time.
TEST_F(TransDb, APunchWithoutTimeFailsTheQuestionWithHasItSet) {
  Punch("0001", "2003-05-01", "08:00", 2);
  conn_->Execute("update T_Trans set F_Time = null");
  bool has_it = false;
  std::string time = "stale";
  EXPECT_EQ(rec_.HasTransByFlag("2003-05-01", "0001", 2, has_it, time), RES_ERROR);
  EXPECT_TRUE(has_it);
  EXPECT_EQ(time, "");
  has_it = false;
  time = "stale";
  EXPECT_EQ(rec_.HasTrans("2003-04-30", "2003-05-02", "0001", "00:00", "00:00", true, has_it,
                          time),
            RES_ERROR);
  EXPECT_TRUE(has_it);
  EXPECT_EQ(time, "");
}

// Untallied punches come by date, then card number; the flags load as 0 or 1
// (Jet's True -1 and Null as 1), and a Null shift number fails the load.
TEST_F(TransDb, UntalliedPunchesLoadTheirFlags) {
  Punch("0003", "2003-05-02", "08:00");
  Punch("0002", "2003-05-01", "17:00", 255);
  Punch("0001", "2003-05-02", "07:00");
  Punch("0004", "2003-05-01", "09:00");
  conn_->Execute("update T_Trans set F_IsTJ = 1 where F_EmpID = '0004'");
  conn_->Execute("update T_Trans set F_IsEnter = -1, F_IsExit = null, F_Time = null");
  ASSERT_EQ(rec_.DoSearch(err_, -1), RES_FOUND) << err_;
  EXPECT_EQ(rec_.FFlag(), 255);
  EXPECT_EQ(rec_.FIsEnter() * 100 + rec_.FIsExit() * 10 + rec_.FIsKQ(), 111);
  EXPECT_EQ(rec_.FTime(), "");
  std::string seen = rec_.FCardID();
  while (rec_.MoveNext()) seen += "," + rec_.FCardID();
  EXPECT_EQ(seen, "C0002,C0001,C0003");
  conn_->Execute("update T_Trans set F_Flag = null, F_IsKQ = 0");
  EXPECT_EQ(rec_.DoSearch(err_, -1), RES_FOUND);
  EXPECT_EQ(err_, "Invalid use of Null");
  EXPECT_EQ(rec_.FIsKQ(), 1);  // the load stopped before it
}

TEST_F(TransDb, WindowOnOneDateIncludesBothBounds) {
  for (const char* t : {"06:59", "07:00", "08:10", "09:00", "09:01"})
    Punch("0001", "2003-05-01", t);
  Punch("0002", "2003-05-01", "07:30");
  Punch("0001", "2003-05-02", "07:30");
  EXPECT_EQ(Window("2003-05-01", "2003-05-01", "07:00", "09:00", true), "07:00");
  EXPECT_EQ(Window("2003-05-01", "2003-05-01", "07:00", "09:00", false), "09:00");
  EXPECT_EQ(Window("2003-05-01", "2003-05-01", "07:01", "08:09", true), "-");
}

// Across dates the direction orders the times only: the latest punch is the
// latest of the earliest date in the window that has one.
TEST_F(TransDb, WindowAcrossDatesComparesDateAndTimeJoined) {
  for (const char* t : {"21:59", "23:00"}) Punch("0001", "2003-05-01", t);
  for (const char* t : {"05:00", "06:01"}) Punch("0001", "2003-05-02", t);
  EXPECT_EQ(Window("2003-05-01", "2003-05-02", "22:00", "06:00", true), "23:00");
  EXPECT_EQ(Window("2003-05-01", "2003-05-02", "22:00", "06:00", false), "23:00");
  EXPECT_EQ(Window("2003-05-01", "2003-05-02", "23:01", "06:00", false), "05:00");
  // One day written without leading zeros is another text: the joined
  // comparison is used, and "2003-5-1 00:00" sorts after every punch.
  EXPECT_EQ(Window("2003-5-1", "2003-05-01", "00:00", "23:59", true), "-");
}

// Values are quoted with apostrophes doubled: they are found, and cannot
// reach into the statement around them.
TEST_F(TransDb, QuotedValuesCannotChangeTheQuestion) {
  Punch("O''Brien", "2003-05-01", "08:00");
  EXPECT_EQ(Window("2003-05-01", "2003-05-01", "07:00", "09:00", true, "O'Brien"), "08:00");
  EXPECT_EQ(Window("2003-05-01", "2003-05-01", "07:00", "09:00", true, "x' or '1'='1"), "-");
}

TEST_F(TransDb, ListingsMarkHandEnteredPunchesInTextOnly) {
  Punch("0002", "2003-05-01", "08:00", 1, 0);
  Punch("0001", "2003-05-01", "17:30", 3, 1);
  Punch("0001", "2003-05-01", "08:00", 2, -1);
  conn_->Execute("update T_Trans set F_Name = null where F_Time = '17:30'");
  Watch();
  int32_t rows = 5;
  EXPECT_EQ(Visible(rec_.ExeSearch("F_Date='2003-05-01'", rows)),
            "2003-05-01\\t08:00\\tC0001\\t0001\\tZhang\\tSales\\t2\\t001\\tGate\\t3\\r"
            "2003-05-01\\t17:30\\tC0001\\t0001\\t\\tSales\\t3\\t001\\tGate\\t2\\r"
            "2003-05-01\\t08:00\\tC0002\\t0002\\tZhang\\tSales\\t1\\t\\t手工输入\\t1\\r");
  EXPECT_EQ(rows, 8);
  auto rs = rec_.ExeSearchWithRecord("F_EmpID='0002'");
  ASSERT_NE(rs, nullptr);
  EXPECT_EQ(rs->Fields().Item("考勤机名称").Value().ToText(), "Gate");
  EXPECT_EQ(sent_.at(0),
            "select *  from Q_Trans where F_Date='2003-05-01' order by F_Date,F_EmpID,F_Time");
  EXPECT_EQ(sent_.back(),
            "select F_Date as 刷卡日期 ,F_Time as 刷卡时间,  F_CardID as 卡号 ,F_EmpID as "
            "员工编号,F_Name as 姓名,F_Dept as 部门,F_Flag as 班次,F_DCuID as 考勤机地址, F_Door "
            "as 考勤机名称,F_ID from Q_Trans where F_EmpID='0002' order by F_Date,F_EmpID,F_Time");
}

}  // namespace
}  // namespace tessaly
