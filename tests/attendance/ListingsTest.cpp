// The captioned listings of the daily records and the monthly statistics.
#include <gtest/gtest.h>

#include "support/TestDb.h"
#include "tessaly/attendance/clsKQ.h"
#include "tessaly/attendance/clsMTJ.h"
#include "tessaly/db/Recordset.h"
#include "tessaly/leave/clsBJ.h"
#include "tessaly/leave/clsCC.h"
#include "tessaly/leave/clsJB.h"
#include "tessaly/leave/clsSJ.h"
#include "tessaly/leave/clsWQ.h"
#include "tessaly/leave/clsXJ.h"
#include "tessaly/punches/clsLog.h"
#include "tessaly/punches/clsTrans.h"
#include "tessaly/punches/clsTransLost.h"
#include "tessaly/scheduling/clsRoster.h"

namespace tessaly {
namespace {

using testing::Visible;

std::string Cell(db::Recordset& rs, const char* name) {
  return rs.Fields().Item(name).Value().ToText();
}

class KQListing : public testing::RecordDb<clsKQ> {
 protected:
  void SetUp() override {
    RecordDb::SetUp();
    // The host's forms write the flag as Jet's True, -1: still "是".
    Day("0002", "B", "2003-05-02", 7.5f, -1, "n2");
    Day("0001", "B", "2003-05-01", 0, 0, "");
    Day("0003", "A", "2003-05-01", 2.5f, 0, "n3");
  }
  void Day(const char* emp, const char* dept, const char* date, float sbsj, int16_t iswq,
           const char* note) {
    clsKQ kq;
    kq.HConnect(conn_);
    testing::Set(kq, {{"F_EmpID", emp}, {"F_Name", "N" + std::string(emp)}, {"F_Dept", dept},
                      {"F_Date", date}, {"F_KQType", "normal"}, {"F_In1", "08:00"},
                      {"F_SBSJ", sbsj}, {"F_JBHours", sbsj}, {"F_IsWQ", iswq}, {"F_CDNum", iswq},
                      {"F_Note", note}, {"F_Shift", "S1"}});
    std::string err;
    ASSERT_EQ(kq.Add(err), RES_ADDOK) << err;
  }
};

// A date another program stored with a time of day is listed as its date.
TEST_F(KQListing, ADateHoldingATimeOfDayIsListedAsTheDate) {
  conn_->Execute("update T_KQ set F_Date = #2003-05-04 08:30:00# where F_EmpID = '0003'");
  int32_t rows = 0;
  EXPECT_TRUE(rec_.ExeSearch("F_EmpID='0003'", rows).starts_with("A\t0003\tN0003\tS1\t2003-05-04\t"));
  EXPECT_EQ(rows, 1);
}

// A recordset the host gave the object is the one its listings open and
// hand back.
TEST_F(KQListing, CaptionedListingOpensTheRecordsetTheHostGave) {
  auto mine = std::make_shared<db::Recordset>();
  rec_.HRecordset(mine);
  const auto listed = rec_.ExeSearchWithRecord("F_Dept='B'");
  EXPECT_EQ(listed, mine);
  EXPECT_EQ(mine->RecordCount(), 2);
}

TEST_F(KQListing, SearchTextHasWholeNumbersFlagsAndEmptyZeros) {
  int32_t rows = 5;
  const std::string text = rec_.ExeSearch("F_Date>=#2003-05-01#", rows);
  EXPECT_EQ(rows, 8);
  // Ordered by department, employee, date; 24 cells a line.
  EXPECT_EQ(Visible(text),
            "A\\t0003\\tN0003\\tS1\\t2003-05-01\\tnormal\\t08:00\\t\\t\\t\\t\\t\\t\\t\\t"
            "\\t2\\t2\\t\\t\\t\\t\\t\\tn3\\t3\\r"
            "B\\t0001\\tN0001\\tS1\\t2003-05-01\\tnormal\\t08:00\\t\\t\\t\\t\\t\\t\\t\\t"
            "\\t\\t\\t\\t\\t\\t\\t\\t\\t2\\r"
            "B\\t0002\\tN0002\\tS1\\t2003-05-02\\tnormal\\t08:00\\t\\t\\t\\t\\t\\t\\t\\t"
            "是\\t8\\t8\\t\\t-1\\t\\t\\t\\tn2\\t1\\r");
}

// A row another program wrote with most columns left Null: every such cell is
// empty, and a fraction still rounds half to even.
TEST_F(KQListing, SearchTextLeavesNullCellsEmpty) {
  conn_->Execute("INSERT INTO T_KQ (F_EmpID, F_SBSJ, F_JBHours) VALUES ('0009', 1.5, 0.5)");
  int32_t rows = 0;
  const std::string text = rec_.ExeSearch("F_EmpID='0009'", rows);
  EXPECT_EQ(rows, 1);
  EXPECT_EQ(Visible(text),
            "\\t0009\\t\\t\\t\\t\\t\\t\\t\\t\\t\\t\\t\\t\\t"
            "\\t2\\t\\t\\t\\t\\t\\t\\t\\t4\\r");
}

TEST_F(KQListing, SearchWithoutMatchOrWithABadConditionReturnsNothing) {
  int32_t rows = 5;
  EXPECT_EQ(rec_.ExeSearch("F_EmpID='none'", rows), "");
  EXPECT_EQ(rows, 5);
  EXPECT_EQ(rec_.LastError().number, 0);
  EXPECT_EQ(rec_.ExeSearch("F_Nowhere=1", rows, "ignored"), "");
  EXPECT_EQ(rows, 5);
  EXPECT_EQ(rec_.LastError().number, errnum::kNoValue);
  EXPECT_EQ(rec_.ExeSearch("", rows), "");
  EXPECT_EQ(rec_.LastError().number, errnum::kSyntax);
}

TEST_F(KQListing, RowCountOverflowKeepsTheCountReached) {
  int32_t rows = 2147483646;
  EXPECT_EQ(rec_.ExeSearch("1=1", rows), "");
  EXPECT_EQ(rows, 2147483647);
  EXPECT_EQ(rec_.LastError().number, errnum::kOverflow);
}

TEST_F(KQListing, ListingStatementsAreExact) {
  std::vector<std::string> sent;
  conn_->Trace([&sent](std::string_view sql) { sent.emplace_back(sql); });
  int32_t rows = 0;
  rec_.ExeSearch("F_EmpID='0002'", rows);
  rec_.ExeSearchWithRecord("F_EmpID='0002'");
  const std::vector<std::string> expected = {
      "select *  from Q_KQ where F_EmpID='0002' Order by F_Dept,F_EmpID,F_Date",
      "select F_Dept as 部门 ,F_EmpID as 员工编号,  F_Name as 姓名 ,F_Shift as 班次,"
      "Format(F_Date,'yyyy-mm-dd') as 日期,F_KqType as 考勤类型,F_In1 as 上班1,F_Out1 as 下班1, "
      "F_In2 as 上班2,F_Out2 as 下班2, F_In3 as 上班3,F_Out3 as 下班3,F_ZLIn as 加班上班,"
      "F_ZLOut as 加班下班,iif(F_ISWQ,'是','') AS 外勤否,IIF(F_SBSJ=0,'',F_SBSJ) as 上班小时,"
      "iif(F_JBHours=0,'',F_JBHours) as 加班小时 ,iif(F_QJSJ=0,'',F_QJSJ) as 请假小时,"
      "iif(F_CDNum=0,'',F_CDNum) as 迟到次数 ,iif(F_CDMinute=0,'',F_CDMinute) as 迟到分钟,"
      "iif(F_ZTNum=0,'',F_ZTNum) as 早退次数 ,iif(F_ZTMinute=0,'',F_ZTMinute) as 早退分钟,"
      "F_Note as 备注,F_ID from Q_KQ where F_EmpID='0002' Order by F_Dept,F_EmpID,F_Date",
  };
  EXPECT_EQ(sent, expected);
}

TEST_F(KQListing, CaptionedRecordsetKeepsFractionsUnderChineseCaptions) {
  auto rs = rec_.ExeSearchWithRecord("F_EmpID='0002'");
  ASSERT_NE(rs, nullptr);
  EXPECT_EQ(Cell(*rs, "日期"), "2003-05-02");
  EXPECT_EQ(Cell(*rs, "外勤否"), "是");
  EXPECT_EQ(Cell(*rs, "上班小时"), "7.5");
  EXPECT_EQ(Cell(*rs, "请假小时"), "");
  EXPECT_EQ(Cell(*rs, "迟到次数"), "-1");
  EXPECT_EQ(rec_.ExeSearchWithRecord("F_EmpID='none'"), nullptr);
  EXPECT_EQ(rec_.ExeSearchWithRecord("F_EmpID=="), nullptr);
  EXPECT_EQ(rec_.LastError().number, errnum::kSyntax);
}

// The error a read of the column raises where the recordset stands; 0 when it
// reads a value.
int32_t ReadError(const db::Recordset& rs, const char* column) {
  return testing::Caught([&] { rs.Fields().Item(column).Value(); }).number();
}

// ExeSearch leaves its result open at its end as a keyset recordset: the host
// counts it and walks it back, and the object's moves load the rows.
TEST_F(KQListing, SearchResultIsCountedAndWalkedBackFromItsEnd) {
  rec_.FEmpID("0001");
  rec_.FDate("2003-05-01");
  ASSERT_EQ(rec_.DoSearch(err_, KQ_BYEMPIDANDDATE), RES_FOUND) << err_;
  int32_t rows = 0;
  const std::string text = rec_.ExeSearch("1=1", rows);
  ASSERT_EQ(rows, 3);
  EXPECT_EQ(rec_.HRecordCount(), 3);
  EXPECT_TRUE(rec_.ISEOF());
  EXPECT_FALSE(rec_.ISBOF());
  EXPECT_EQ(ReadError(*rec_.HRecordset(), "F_EmpID"), errnum::kNoCurrentRecord);
  EXPECT_EQ(rec_.GetClipString(), "");
  // Ordered by department, employee and date: 0003, 0001, 0002. Each move
  // and where it leaves the properties; a move off the rows answers False
  // and keeps them.
  const std::pair<bool (clsKQ::*)(), std::pair<bool, const char*>> walk[] = {
      {&clsKQ::MovePrevious, {true, "0002"}}, {&clsKQ::MovePrevious, {true, "0001"}},
      {&clsKQ::MoveFirst, {true, "0003"}},    {&clsKQ::MovePrevious, {false, "0003"}},
      {&clsKQ::MoveNext, {true, "0003"}},     {&clsKQ::MoveLast, {true, "0002"}},
      {&clsKQ::MoveNext, {false, "0002"}},    {&clsKQ::MovePrevious, {true, "0002"}}};
  for (size_t i = 0; i < std::size(walk); ++i) {
    const auto& [move, expected] = walk[i];
    EXPECT_EQ((rec_.*move)(), expected.first) << "step " << i;
    EXPECT_EQ(rec_.FEmpID(), expected.second) << "step " << i;
  }
  EXPECT_TRUE(rec_.ISBOF() == false && rec_.ISEOF() == false);
  EXPECT_EQ(rec_.HRecordCount(), 3);

  // A result found empty counts 0 and refuses every move.
  EXPECT_EQ(rec_.ExeSearch("F_EmpID='none'", rows), "");
  EXPECT_EQ(rec_.HRecordCount(), 0);
  EXPECT_TRUE(rec_.ISBOF() && rec_.ISEOF());
  EXPECT_FALSE(rec_.MoveLast() || rec_.MoveFirst() || rec_.MovePrevious() || rec_.MoveNext());
}

// The recordset ExeSearchWithRecord handed the host is the one the next
// ExeSearch opens again: the host sees that listing counted and movable too.
TEST_F(KQListing, RecordsetHandedOutCountsTheNextSearchAndMovesBack) {
  auto rs = rec_.ExeSearchWithRecord("1=1");
  ASSERT_NE(rs, nullptr);
  int32_t rows = 0;
  rec_.ExeSearch("F_Dept='B'", rows);
  ASSERT_EQ(rows, 2);
  EXPECT_EQ(rs->RecordCount(), 2);
  rs->MoveLast();
  EXPECT_EQ(Cell(*rs, "F_EmpID"), "0002");
  rs->MovePrevious();
  EXPECT_EQ(Cell(*rs, "F_EmpID"), "0001");
  rs->MovePrevious();
  EXPECT_TRUE(rs->IsBOF());
  EXPECT_EQ(ReadError(*rs, "F_EmpID"), errnum::kNoCurrentRecord);
}

class MTJListing : public testing::RecordDb<clsMTJ> {
 protected:
  void Month(const char* emp, int16_t year, int16_t month, float wk_days, float sj_days) {
    clsMTJ mtj;
    mtj.HConnect(conn_);
    testing::Set(mtj, {{"F_EmpID", emp}, {"F_Name", "N" + std::string(emp)}, {"F_Dept", "D"},
                       {"F_Year", year}, {"F_Month", month}, {"F_WK_Days", wk_days},
                       {"F_SJ_Days", sj_days}, {"F_CD_Num", 2}, {"F_WK_Hours", 171.5f},
                       {"F_Note", "it's fine"}});
    std::string err;
    ASSERT_EQ(mtj.Add(err), RES_ADDOK) << err;
  }
};

TEST_F(MTJListing, SearchByEmployeeAndMonthThenUpdateThroughTheKey) {
  Month("0001", 2003, 7, 20, 0);
  Month("0001", 2003, 8, 21.5f, 0.5f);
  Month("0001", 2003, 8, 1, 1);  // a second row for the same month is not refused
  rec_.FEmpID("0001");
  rec_.FYear(2003);
  rec_.FMonth(8);
  ASSERT_EQ(rec_.DoSearch(err_, MTJ_BYEMPIDANDDATE), RES_FOUND) << err_;
  EXPECT_EQ(rec_.HRecordCount(), 2);
  EXPECT_FLOAT_EQ(rec_.FWK_Days(), 21.5f);
  EXPECT_EQ(rec_.FNote(), "it's fine");
  rec_.FKG_Days(3);
  ASSERT_EQ(rec_.Update(err_, 99), RES_UPDOK) << err_;
  EXPECT_EQ(testing::Scalar(conn_, "select count(*) from T_MTJ where F_KG_Days=3"), "1");
  ASSERT_EQ(rec_.DoSearch(err_, -1), RES_FOUND);
  EXPECT_EQ(rec_.FMonth(), 7);
  EXPECT_EQ(rec_.HRecordCount(), 3);
}

TEST_F(MTJListing, SearchTextRoundsHalvesToEvenAndHidesZeros) {
  Month("0001", 2003, 8, 21.5f, 0.5f);
  Month("0002", 2003, 8, 2.5f, 2.5f);
  int32_t rows = 0;
  EXPECT_EQ(Visible(rec_.ExeSearch("F_Year=2003", rows)),
            "2003\\t8\\tD\\t0001\\tN0001\\t22\\t\\t\\t\\t\\t\\t\\t\\t\\t172\\t\\t\\t\\t\\t2\\t"
            "\\t\\t\\tit's fine\\t1\\r"
            "2003\\t8\\tD\\t0002\\tN0002\\t2\\t\\t\\t\\t\\t\\t\\t2\\t\\t172\\t\\t\\t\\t\\t2\\t"
            "\\t\\t\\tit's fine\\t2\\r");
  EXPECT_EQ(rows, 2);
}

TEST_F(MTJListing, CaptionedStatisticsKeepFractionsAndStandOnTheFirstRow) {
  Month("0001", 2003, 8, 21.5f, 0.5f);
  std::vector<std::string> sent;
  conn_->Trace([&sent](std::string_view sql) { sent.emplace_back(sql); });
  auto rs = rec_.ExeSearchWithRecord("F_EmpID='0001'");
  ASSERT_NE(rs, nullptr);
  EXPECT_FALSE(rs->IsBOF());
  EXPECT_EQ(Cell(*rs, "正常上班"), "21.5");
  EXPECT_EQ(Cell(*rs, "旷工天数"), "");
  EXPECT_EQ(Cell(*rs, "事假天数"), "0.5");
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(
      sent[0],
      "select F_Year as 年 ,F_Month as 月, F_Dept as 部门, F_EmpID as 员工编号 ,"
      "F_Name as 姓名,iif(F_WK_Days=0,'',F_WK_Days) as 正常上班,"
      "iif(F_YC_Days=0,'',F_YC_Days) as 异常出勤,  iif(F_GX_Days=0,'',F_GX_Days) as 公休天数,"
      "iif(F_XJ_Days=0,'',F_XJ_Days) as 休假天数,iif(F_CC_Days=0,'',F_CC_Days) as 出差天数,"
      "iif(F_KG_Days=0,'',F_KG_Days) as 旷工天数,iif(F_BJ_Days=0,'',F_BJ_Days) as 病假天数,"
      "iif(F_SJ_Days=0,'',F_SJ_Days) as 事假天数,iif(F_QT_Days=0,'',F_QT_Days) as 其他天数,"
      "iif(F_WK_Hours=0,'',F_WK_Hours) as 总工作小时,iif(F_QJ_Hours=0,'',F_QJ_Hours) as "
      "请假小时,iif(F_JBP_Hours=0,'',F_JBP_Hours) as 平时加班小时,"
      "iif(F_JBX_Hours=0,'',F_JBX_Hours) as 公休加班小时,iif(F_JB_Hours=0,'',F_JB_Hours) as "
      "加班小时合计,iif(F_CD_Num=0,'',F_CD_Num) as 迟到次数,iif(F_CD_Minute=0,'',F_CD_Minute) "
      "as 迟到分钟,iif(F_ZT_Num=0,'',F_ZT_Num) as 早退次数,iif(F_ZT_Minute=0,'',F_ZT_Minute) "
      "as 早退分钟,F_Note as 备注 ,F_ID from T_MTJ where F_EmpID='0001' Order by "
      "F_Year,F_Month,F_Dept,F_EmpID");
}

// The descriptors a host builds its grid headers and query forms from, written
// out as the host reads them: "name caption kind" per entry, empty entries
// included. Names keep their own letter case (F_IsWq, F_WK_DAYS, F_DCuID), and
// the statistics come in an order of their own, unlike the properties'.
template <class C>
std::string Descriptors() {
  C rec;
  std::vector<SQLField> fields(3);  // what the host passes is replaced
  if (!rec.GetSQLField(fields)) return "failed";
  std::string out;
  for (const SQLField& f : fields) {
    out.append(out.empty() ? "" : ",").append(f.FieldName).append(" ").append(f.Caption);
    out.append(" ").append(std::to_string(f.FieldType));
  }
  return out;
}

TEST(FieldDescriptors, NameCaptionAndKindOfEveryEntryEmptyOnesIncluded) {
  EXPECT_EQ(Descriptors<clsKQ>(),
            "F_EmpID 员工编号 1,F_Name 员工姓名 1,F_Dept 部门 5,F_Date 日期 2,F_KQType 考勤类型 1,"
            "F_In1 上班1 1,F_Out1 下班1 1,F_In2 上班2 1,F_Out2 下班2 1,F_In3 上班3 1,"
            "F_Out3 下班3 1,F_IsWq 是否有外勤 4,F_SBSJ 上班小时 3,F_JBHours 加班小时 3,"
            "F_QJSJ 病事假小时 3,F_CDNum 迟到次数 3,F_CDMinute 迟到分钟 3,F_ZTNum 早退次数 3,"
            "F_ZTMinute 早退分钟 3,F_Note 备注 1,F_Shift 班次 1,F_ZLIn 加班上班 1,"
            "F_ZLOut 加班下班 1,  0");
  EXPECT_EQ(Descriptors<clsMTJ>(),
            "F_EmpID 员工编号 1,F_Name 员工姓名 1,F_Dept 部门 5,F_Year 年 3,F_Month 月 3,"
            "F_WK_DAYS 上班天数 3,F_YC_DAYS 异常出勤 3,F_GX_DAYS 公休天数 3,F_XJ_DAYS 休假天数 3,"
            "F_CC_DAYS 出差天数 3,F_KG_DAYS 旷工天数 3,F_BJ_DAYS 病假天数 3,F_SJ_DAYS 事假天数 3,"
            "F_QT_DAYS 其他天数 3,F_WK_HOURS 总工作小时 3,F_CD_Num 迟到次数 3,"
            "F_CD_Minute 迟到分钟 3,F_ZT_Num 早退次数 3,F_ZT_Minute 早退分钟 3,F_Note 备注 1,"
            "F_QJ_HOURS 请假小时数 3,F_JBP_HOURS 平时加班小时 3,F_JBX_HOURS 公休加班小时 3,"
            "F_JB_HOURS 加班小时 3,  0");
  EXPECT_EQ(Descriptors<clsTrans>(),
            "F_EmpID 员工编号 1,F_Name 员工姓名 1,F_Dept 部门 5,F_Date 刷卡日期 2,"
            "F_Time 刷卡时间 1,F_CardID 卡号 1,F_DCuID 考勤机地址 1,F_Door 考勤机名称 1,"
            "F_Flag 班次 3,  0");
  EXPECT_EQ(Descriptors<clsTransLost>(),
            "F_LoadDate 提取日期 2,F_ErrMsg 错误原因 1,F_CardID 卡号 1,F_Date 刷卡日期 2,"
            "F_Time 刷卡时间 1,F_EmpID 员工编号 1,F_Name 员工姓名 1,F_Dept 部门 5,"
            "F_DCuID 考勤机地址 1,F_Door 考勤机名称 1,F_Flag 班次 3");
  EXPECT_EQ(Descriptors<clsLog>(),
            "F_Date 日期 2,F_Time 时间 1,F_RecCnt 记录数 3,F_Operator 操作员 2,F_Note 备注 1");
  EXPECT_EQ(Descriptors<clsRoster>(), "FSCL_MONTH 年月 1,ROST_TYPE 排班方式 7,DEPT_ID 部门 5,"
                                      "EMP_ID 员工ID 1,ROST_CODE 轮值组合编号 8,  0");
  const std::string requests = "F_EmpID 员工编号 1,F_EmpName 员工姓名 1,F_Dept 部门 5,";
  for (const std::string& leave : {Descriptors<clsCC>(), Descriptors<clsSJ>(),
                                   Descriptors<clsXJ>(), Descriptors<clsBJ>()}) {
    EXPECT_EQ(leave, requests + "F_DateFr 起始日期 2,F_TimeFr 起始时间 1,F_DateTo 结束日期 2,"
                                "F_TimeTo 结束时间 1,F_Reason 事由 1,F_Ratify 批准人 6,"
                                "F_Hour 每天统计小时数 3");
  }
  EXPECT_EQ(Descriptors<clsJB>(),
            requests + "F_DateFr 起始日期 2,F_TimeFr 起始时间 1,F_DateTo 复核日期 2,"
                       "F_TimeTo 复核时间 1,F_Reason 事由 1,F_Ratify 批准人 6,"
                       "F_JBHours 加班小时数 3,F_KQCheck 是否复核刷卡 4");
  EXPECT_EQ(Descriptors<clsWQ>(),
            requests + "F_Date 日期 2,F_TimeFr 时间起 1,F_TimeTo 时间止 1,F_Reason 事由 1,"
                       "F_Ratify 批准人 6,F_CancelIn1 取消上班1 4,F_CancelOut1 取消下班1 4,"
                       "F_CancelIn2 取消上班2 4,F_CancelOut2 取消下班2 4,"
                       "F_CancelIn3 取消上班3 4,F_CancelOut3 取消下班3 4");
}

}  // namespace
}  // namespace tessaly
