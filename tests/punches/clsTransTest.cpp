// Card punches: the builders' texts, the record operations, the window
// questions of the attendance calculation and the punch listings.
#include "tessaly/punches/clsTrans.h"

#include <gtest/gtest.h>

#include "support/TestDb.h"
#include "tessaly/db/Recordset.h"

namespace tessaly {
namespace {

using testing::Scalar;
using testing::Visible;

class TransDb : public ::testing::Test {
 protected:
  void SetUp() override {
    conn_ = testing::AttendanceDb();
    trans_.HConnect(conn_);
  }
  // Statements sent from now on, carriage returns shown as \r.
  std::vector<std::string>& Record() {
    conn_->Trace([this](std::string_view sql) { sent_.push_back(Visible(std::string(sql))); });
    return sent_;
  }
  void Punch(const std::string& emp, const std::string& date, const std::string& time,
             int flag = 1, int is_kq = 1) {
    clsTrans t;
    t.HConnect(conn_);
    t.FEmpID(emp);
    t.FDate(date);
    t.FTime(time);
    t.FCardID("C" + emp);
    t.FDcuID("001");
    t.FDoor("Gate");
    t.FName("Zhang");
    t.FDept("Sales");
    t.FFlag(static_cast<uint8_t>(flag));
    t.FIsKQ(static_cast<int16_t>(is_kq));
    std::string err;
    ASSERT_EQ(t.Add(err), RES_ADDOK) << err;
  }

  std::shared_ptr<db::Connection> conn_;
  clsTrans trans_;
  std::string err_;
  std::vector<std::string> sent_;
};

TEST_F(TransDb, RecordOperationsSendTheirStatementsByteForByte) {
  auto& sent = Record();
  trans_.FDate("2003-05-01");
  trans_.FTime("08:00");
  trans_.FCardID("C1");
  trans_.FDcuID("001");
  trans_.FDoor("Gate");
  trans_.FEmpID("0001");
  trans_.FName("Zhang");
  trans_.FDept("Sales");
  trans_.FFlag(2);
  trans_.FIsEnter(1);
  trans_.FIsKQ(1);
  trans_.FIsTJ(1);
  ASSERT_EQ(trans_.Add(err_), RES_ADDOK) << err_;
  trans_.FID(1);
  ASSERT_EQ(trans_.Update(err_, TRANS_UPDTJ), RES_UPDOK) << err_;
  ASSERT_EQ(trans_.Update(err_, TRANS_N0RMAL), RES_UPDOK) << err_;
  ASSERT_EQ(trans_.DoSearch(err_, -1), RES_NOTFOUND) << err_;  // tallied now
  ASSERT_EQ(trans_.DoSearch(err_, 7), RES_FOUND) << err_;
  ASSERT_EQ(trans_.Delete(err_, -1), RES_DELOK) << err_;
  const std::vector<std::string> expected = {
      "INSERT INTO T_Trans\\r(F_Date,F_Time,F_CardID,F_DCuID,F_Door,F_EmpID,F_Name,F_Dept,"
      "F_Flag,F_IsEnter,F_IsExit,F_IsKQ\\r)\\rVALUES(\\r'2003-05-01'\\r,'08:00'\\r,'C1'\\r,"
      "'001'\\r,'Gate'\\r,'0001'\\r,'Zhang'\\r,'Sales'\\r,2\\r,1\\r,0\\r,1\\r)",
      "SELECT COUNT(*) AS C\\rFROM T_Trans\\rWHERE  F_ID=1",
      "UPDATE T_Trans\\rSET\\rF_IsTj=1\\rWHERE  F_ID=1",
      "SELECT COUNT(*) AS C\\rFROM T_Trans\\rWHERE  F_ID=1",
      "UPDATE T_Trans\\rSET\\rF_Date='2003-05-01'\\r,F_Time='08:00'\\r,F_CardID='C1'\\r,"
      "F_DCuID='001'\\r,F_Door='Gate'\\r,F_EmpID='0001'\\r,F_Name='Zhang'\\r,F_Dept='Sales'\\r,"
      "F_Flag=2\\r,F_IsEnter=1\\r,F_IsExit=0\\r,F_IsKQ=1\\rWHERE  F_ID=1",
      "SELECT  *  FROM T_Trans\\rWHERE  F_IsTj=0 ORDER BY F_Date,F_CardID ",
      "SELECT  *  FROM T_Trans\\rWHERE  F_ID=1",
      "SELECT COUNT(*) AS C\\rFROM T_Trans\\rWHERE  F_ID=1",
      "DELETE FROM T_Trans\\rWHERE  F_ID=1",
  };
  EXPECT_EQ(sent, expected);
}

TEST_F(TransDb, TallyUpdateWritesTheFlagAloneAndOtherModesKeepIt) {
  Punch("0001", "2003-05-01", "08:00");
  trans_.FID(1);
  ASSERT_EQ(trans_.DoSearch(err_), RES_FOUND);
  EXPECT_EQ(trans_.FIsTJ(), 0);  // the table's default: a new punch is untallied
  trans_.FTime("09:99");
  trans_.FIsTJ(1);
  ASSERT_EQ(trans_.Update(err_, TRANS_UPDTJ), RES_UPDOK) << err_;
  EXPECT_EQ(Scalar(conn_, "select F_Time & '/' & F_IsTJ from T_Trans"), "08:00/1");
  trans_.FIsTJ(0);
  ASSERT_EQ(trans_.Update(err_, 1), RES_UPDOK) << err_;
  EXPECT_EQ(Scalar(conn_, "select F_Time & '/' & F_IsTJ from T_Trans"), "09:99/1");
  trans_.FID(2);
  EXPECT_EQ(trans_.Update(err_), RES_UPDNOTFOUND);
  EXPECT_EQ(trans_.Delete(err_), RES_DELNOTFOUND);
}

TEST_F(TransDb, UntalliedPunchesComeByDateThenCardNumber) {
  Punch("0003", "2003-05-02", "08:00");
  Punch("0002", "2003-05-01", "17:00");
  Punch("0001", "2003-05-02", "07:00");
  Punch("0004", "2003-05-01", "09:00");
  conn_->Execute("update T_Trans set F_IsTJ = 1 where F_EmpID = '0004'");
  ASSERT_EQ(trans_.DoSearch(err_, -1), RES_FOUND) << err_;
  std::string seen = trans_.FCardID();
  while (trans_.MoveNext()) seen += "," + trans_.FCardID();
  EXPECT_EQ(seen, "C0002,C0001,C0003");
}

// The flags load as 0 or 1 whatever the row holds (Null and Jet's True -1 as
// 1); the shift number loads directly, so a Null one fails the load.
TEST_F(TransDb, FlagsLoadAsZeroOrOneAndANullShiftFailsTheLoad) {
  conn_->Execute(
      "insert into T_Trans (F_Date, F_Flag, F_IsEnter, F_IsExit, F_IsKQ) "
      "values ('2003-05-01', 255, -1, null, 0)");
  ASSERT_EQ(trans_.DoSearch(err_, -1), RES_FOUND) << err_;
  EXPECT_EQ(trans_.FIsEnter(), 1);
  EXPECT_EQ(trans_.FIsExit(), 1);
  EXPECT_EQ(trans_.FIsKQ(), 0);
  EXPECT_EQ(trans_.FFlag(), 255);
  EXPECT_EQ(trans_.FTime(), "");
  conn_->Execute("update T_Trans set F_Flag = null");
  trans_.FIsKQ(5);
  EXPECT_EQ(trans_.DoSearch(err_, -1), RES_FOUND);
  EXPECT_EQ(err_, "Invalid use of Null");
  EXPECT_EQ(trans_.FIsKQ(), 5);  // the load stopped before it
}

TEST(clsTransProperties, TextsKeepTheirWidthInCharacters) {
  clsTrans t;
  t.FCardID("12345678901");
  t.FDcuID("地址四字");
  t.FDoor(std::string(1000, 'd'));
  t.FEmpID("O'Brien-0001");
  t.FName("张三李四王五赵六钱七孙八周九吴十郑冯陈褚卫");
  t.FDept(std::string(51, 'x'));
  t.FDate(std::string(40, '2'));
  EXPECT_EQ(t.FCardID(), "1234567890");
  EXPECT_EQ(t.FDcuID(), "地址四");
  EXPECT_EQ(t.FDoor(), std::string(20, 'd'));
  EXPECT_EQ(t.FEmpID(), "O'Brien-00");
  EXPECT_EQ(t.FName(), "张三李四王五赵六钱七孙八周九吴十郑冯陈褚");
  EXPECT_EQ(t.FDept().size(), 50u);
  EXPECT_EQ(t.FDate().size(), 40u);
}

// --- the window questions ----------------------------------------------------

struct Window {
  const char* start_date;
  const char* end_date;
  const char* start_time;
  const char* end_time;
  bool is_in;
  bool has_it;
  const char* time;
};

TEST_F(TransDb, WindowOnOneDateIncludesBothBounds) {
  for (const char* t : {"06:59", "07:00", "08:10", "09:00", "09:01"}) Punch("0001", "2003-05-01", t);
  Punch("0002", "2003-05-01", "07:30");
  Punch("0001", "2003-05-02", "07:30");
  const Window cases[] = {
      {"2003-05-01", "2003-05-01", "07:00", "09:00", true, true, "07:00"},
      {"2003-05-01", "2003-05-01", "07:00", "09:00", false, true, "09:00"},
      {"2003-05-01", "2003-05-01", "07:01", "08:09", true, false, ""},
      {"2003-05-01", "2003-05-01", "08:10", "08:10", false, true, "08:10"},
      {"2003-05-03", "2003-05-03", "00:00", "23:59", true, false, ""},
  };
  for (const Window& w : cases) {
    bool has_it = !w.has_it;
    std::string time = "stale";
    EXPECT_EQ(trans_.HasTrans(w.start_date, w.end_date, "0001", w.start_time, w.end_time, w.is_in,
                              has_it, time),
              RES_OK);
    EXPECT_EQ(has_it, w.has_it) << w.start_time << "-" << w.end_time << " " << w.is_in;
    EXPECT_EQ(time, w.time) << w.start_time << "-" << w.end_time << " " << w.is_in;
  }
}

// Across dates the direction orders the times only: the latest punch returned
// is the latest of the earliest date that has one.
TEST_F(TransDb, WindowAcrossDatesComparesDateAndTimeJoined) {
  Punch("0001", "2003-05-01", "21:59");
  Punch("0001", "2003-05-01", "23:00");
  Punch("0001", "2003-05-02", "05:00");
  Punch("0001", "2003-05-02", "06:01");
  const Window cases[] = {
      {"2003-05-01", "2003-05-02", "22:00", "06:00", true, true, "23:00"},
      {"2003-05-01", "2003-05-02", "22:00", "06:00", false, true, "23:00"},
      {"2003-05-01", "2003-05-02", "23:01", "06:00", false, true, "05:00"},
      {"2003-05-01", "2003-05-02", "23:01", "04:59", true, false, ""},
      // The same day written without leading zeros is another text: the
      // joined comparison is used, and "2003-5-1 ..." sorts after every punch.
      {"2003-5-1", "2003-05-01", "00:00", "23:59", true, false, ""},
  };
  for (const Window& w : cases) {
    bool has_it = false;
    std::string time;
    EXPECT_EQ(trans_.HasTrans(w.start_date, w.end_date, "0001", w.start_time, w.end_time, w.is_in,
                              has_it, time),
              RES_OK);
    EXPECT_EQ(has_it, w.has_it) << w.start_time << "-" << w.end_time << " " << w.is_in;
    EXPECT_EQ(time, w.time) << w.start_time << "-" << w.end_time << " " << w.is_in;
  }
}

TEST_F(TransDb, WindowQuestionsSendTheirStatementsByteForByte) {
  auto& sent = Record();
  bool has_it = false;
  std::string time;
  trans_.HasTrans("2003-05-01", "2003-05-01", "0001", "07:00", "09:00", true, has_it, time);
  trans_.HasTrans("2003-05-01", "2003-05-02", "0001", "22:00", "06:00", false, has_it, time);
  trans_.HasTransByFlag("2003-05-01", "0001", 2, has_it, time);
  const std::vector<std::string> expected = {
      "select *  from T_Trans where  F_EmpID='0001' and  F_Date='2003-05-01' and "
      "F_Time>='07:00' and F_Time<='09:00' order by F_Date,F_Time  ASC",
      "select *  from T_Trans where  F_EmpID='0001' and  (F_Date & ' ' & F_Time )>='2003-05-01 "
      "22:00'  and (F_Date & ' ' & F_Time)<='2003-05-02 06:00' order by F_Date,F_Time  DESC",
      "select *  from T_Trans where  F_EmpID='0001' and  F_Date='2003-05-01' and F_Flag=2 "
      "order by F_Date,F_Time  ASC",
  };
  EXPECT_EQ(sent, expected);
}

TEST_F(TransDb, ByFlagAnswersTheEarliestPunchOfThatShift) {
  Punch("0001", "2003-05-01", "13:00", 2);
  Punch("0001", "2003-05-01", "12:00", 2);
  Punch("0001", "2003-05-01", "07:00", 1);
  Punch("0001", "2003-05-02", "06:00", 2);
  bool has_it = false;
  std::string time;
  EXPECT_EQ(trans_.HasTransByFlag("2003-05-01", "0001", 2, has_it, time), RES_OK);
  EXPECT_TRUE(has_it);
  EXPECT_EQ(time, "12:00");
  EXPECT_EQ(trans_.HasTransByFlag("2003-05-01", "0001", 3, has_it, time), RES_OK);
  EXPECT_FALSE(has_it);
  EXPECT_EQ(time, "");
}

// Values are quoted with their apostrophes doubled: a name with one is found,
// and a value cannot reach into the statement around it.
TEST_F(TransDb, QuotedValuesCannotChangeTheQuestion) {
  Punch("O'Brien", "2003-05-01", "08:00");
  Punch("张三", "2003-05-01", "08:00");
  bool has_it = false;
  std::string time;
  EXPECT_EQ(trans_.HasTrans("2003-05-01", "2003-05-01", "O'Brien", "07:00", "09:00", true, has_it,
                            time),
            RES_OK);
  EXPECT_TRUE(has_it);
  EXPECT_EQ(trans_.HasTrans("2003-05-01", "2003-05-01", "张三", "07:00", "09:00", true, has_it, time),
            RES_OK);
  EXPECT_TRUE(has_it);
  EXPECT_EQ(trans_.HasTrans("2003-05-01", "2003-05-01", "x' or '1'='1", "07:00", "09:00", true,
                            has_it, time),
            RES_OK);
  EXPECT_FALSE(has_it);
  EXPECT_EQ(trans_.HasTransByFlag("2003-05-01", "' or 1=1 or '", 1, has_it, time), RES_OK);
  EXPECT_FALSE(has_it);
}

TEST_F(TransDb, DatabaseErrorsAnswerErrorAndKeepTheAnswers) {
  clsTrans unconnected;
  bool has_it = true;
  std::string time = "kept";
  EXPECT_EQ(unconnected.HasTrans("a", "a", "e", "1", "2", true, has_it, time), RES_ERROR);
  EXPECT_FALSE(has_it);  // reset before the statement ran
  EXPECT_EQ(time, "");
  EXPECT_TRUE(unconnected.LastError());
  // A punch whose time is Null is found, but its time cannot become text.
  conn_->Execute("insert into T_Trans (F_EmpID, F_Date, F_Flag) values ('0001', '2003-05-01', 1)");
  EXPECT_EQ(trans_.HasTransByFlag("2003-05-01", "0001", 1, has_it, time), RES_ERROR);
  EXPECT_TRUE(has_it);
  EXPECT_EQ(time, "");
  EXPECT_EQ(trans_.LastError().number, errnum::kInvalidUseOfNull);
}

// --- the listings ------------------------------------------------------------

TEST_F(TransDb, TextListingMarksHandEnteredPunchesAndCountsOnFromRetRow) {
  Punch("0002", "2003-05-01", "08:00", 1, 0);
  Punch("0001", "2003-05-01", "17:30", 3, 1);
  Punch("0001", "2003-05-01", "08:00", 2, -1);
  conn_->Execute("update T_Trans set F_Name = null where F_Time = '17:30'");
  int32_t rows = 5;
  auto& sent = Record();
  const std::string text = trans_.ExeSearch("F_Date='2003-05-01'", rows);
  EXPECT_EQ(sent.back(),
            "select *  from Q_Trans where F_Date='2003-05-01' order by F_Date,F_EmpID,F_Time");
  EXPECT_EQ(Visible(text),
            "2003-05-01\\t08:00\\tC0001\\t0001\\tZhang\\tSales\\t2\\t001\\tGate\\t3\\r"
            "2003-05-01\\t17:30\\tC0001\\t0001\\t\\tSales\\t3\\t001\\tGate\\t2\\r"
            "2003-05-01\\t08:00\\tC0002\\t0002\\tZhang\\tSales\\t1\\t\\t手工输入\\t1\\r");
  EXPECT_EQ(rows, 8);
  EXPECT_EQ(trans_.ExeSearch("F_EmpID='0002'", rows), "2003-05-01\t08:00\tC0002\t0002\tZhang\tSales\t1\t\t手工输入\t1\r");
  EXPECT_EQ(rows, 9);
  EXPECT_EQ(trans_.ExeSearch("F_EmpID='none'", rows), "");
  EXPECT_EQ(rows, 9);
  EXPECT_EQ(trans_.ExeSearch("", rows), "");  // nothing between where and order by
  EXPECT_EQ(trans_.LastError().number, errnum::kSyntax);
}

TEST_F(TransDb, CaptionedListingNamesItsColumnsInChinese) {
  auto& sent = Record();
  EXPECT_EQ(trans_.ExeSearchWithRecord("1=1"), nullptr);
  Punch("0001", "2003-05-02", "08:00");
  Punch("0001", "2003-05-01", "09:00");
  auto rs = trans_.ExeSearchWithRecord("1=1");
  ASSERT_NE(rs, nullptr);
  EXPECT_EQ(sent.front(),
            "select F_Date as 刷卡日期 ,F_Time as 刷卡时间,  F_CardID as 卡号 ,F_EmpID as "
            "员工编号,F_Name as 姓名,F_Dept as 部门,F_Flag as 班次,F_DCuID as 考勤机地址, F_Door "
            "as 考勤机名称,F_ID from Q_Trans where 1=1 order by F_Date,F_EmpID,F_Time");
  std::vector<std::string> names;
  for (int32_t i = 0; i < rs->Fields().Count(); ++i) names.push_back(rs->Fields().Item(i).Name());
  const std::vector<std::string> expected = {"刷卡日期", "刷卡时间", "卡号",       "员工编号",
                                             "姓名",     "部门",     "班次",       "考勤机地址",
                                             "考勤机名称", "F_ID"};
  EXPECT_EQ(names, expected);
  EXPECT_EQ(rs->Fields().Item("刷卡时间").Value().ToText(), "09:00");
  // It is the object's own recordset: the next question reopens it under the host.
  bool has_it = false;
  std::string time;
  trans_.HasTrans("2003-05-02", "2003-05-02", "0001", "00:00", "23:59", true, has_it, time);
  EXPECT_EQ(rs->Fields().Item("F_Time").Value().ToText(), "08:00");
}

TEST(clsTransFields, DescriptorsHaveIndexes0To9TheLastEmpty) {
  clsTrans t;
  std::vector<SQLField> fields;
  ASSERT_TRUE(t.GetSQLField(fields));
  const std::vector<SQLField> expected = {
      {"F_EmpID", "员工编号", 1}, {"F_Name", "员工姓名", 1},     {"F_Dept", "部门", 5},
      {"F_Date", "刷卡日期", 2},  {"F_Time", "刷卡时间", 1},     {"F_CardID", "卡号", 1},
      {"F_DCuID", "考勤机地址", 1}, {"F_Door", "考勤机名称", 1}, {"F_Flag", "班次", 3},
      {"", "", 0},
  };
  EXPECT_EQ(fields, expected);
}

}  // namespace
}  // namespace tessaly
