// The monthly totals over daily records, against hand-computed months.
#include <gtest/gtest.h>

#include "support/TestDb.h"
#include "tessaly/attendance/clsKQ.h"

namespace tessaly {
namespace {

class KQTotals : public testing::RecordDb<clsKQ> {
 protected:
  void SetUp() override {
    RecordDb::SetUp();
    // Employee 0001 in May 2003, with April 30 and June 1 around it.
    Day("0001", "2003-04-30", "normal", 9, 3, 2);
    Day("0001", "2003-05-01", "normal", 1.5f, 1, 10);
    Day("0001", "2003-05-02", "normal", 2.5f, 0, 0);
    Day("0001", "2003-05-03", "rest", 0, 2, 5);
    Day("0001", "2003-06-01", "rest", 4, 1, 1);
    Day("0002", "2003-05-01", "normal", 7, 1, 1);
  }
  void Day(const char* emp, const char* date, const char* type, float jb, int16_t cd,
           int16_t cd_minutes) {
    clsKQ kq;
    kq.HConnect(conn_);
    testing::Set(kq, {{"F_EmpID", emp}, {"F_Date", date}, {"F_KQType", type}, {"F_JBHours", jb},
                      {"F_CDNum", cd}, {"F_CDMinute", cd_minutes}, {"F_SBSJ", 8}, {"F_QJSJ", 0.5f}});
    std::string err;
    ASSERT_EQ(kq.Add(err), RES_ADDOK) << err;
  }
};

TEST_F(KQTotals, StatementsAreTheMonthFilterWithTheirSums) {
  std::vector<std::string> sent;
  conn_->Trace([&sent](std::string_view sql) { sent.emplace_back(sql); });
  float figure = 0;
  rec_.CalcKaoQinDays(2003, 5, "normal", "0001", figure);
  rec_.CalcJBHours(2003, 5, "rest", "0001", figure, 0);
  rec_.CalcQTMTJ(2003, 5, "O'B", 0, 0, 0, 0, 0, 0);
  const std::string filter = " where  F_EmpID='0001' and  year(F_Date)=2003 and month(F_Date)=5";
  const std::vector<std::string> expected = {
      "select count(F_KQType) as F_KQDays  from T_KQ" + filter + " and F_KQType='normal'",
      "select sum(F_JBHours) as F_Sum_JBHours  from T_KQ" + filter,
      "select sum(F_JBHours) as F_Sum_JBHours  from T_KQ" + filter + " and F_KQType='rest'",
      "select sum(F_CDNum) as F_Sum_CDNum,sum(F_CDMinute) as F_Sum_CDMinute, sum(F_ZTNum) as "
      "F_Sum_ZTNum, sum(F_ZTMinute) as F_Sum_ZTMinute, sum(F_SBSJ) as F_Sum_WK_Hours,"
      "sum(F_QJSJ) as F_Sum_QJ_Hours from T_KQ where  F_EmpID='O''B' and  year(F_Date)=2003 "
      "and month(F_Date)=5",
  };
  EXPECT_EQ(sent, expected);
}

TEST_F(KQTotals, OvertimeNeedsRowsAndADayOfTheRestType) {
  float hours = -1;
  EXPECT_EQ(rec_.CalcJBHours(2003, 5, "rest", "0001", hours, 0), RES_OK);
  EXPECT_FLOAT_EQ(hours, 4.0f);
  // Overtime on ordinary days, no day of the named type: fails, sum kept.
  EXPECT_EQ(rec_.CalcJBHours(2003, 5, "holiday", "0001", hours, 0), RES_ERROR);
  EXPECT_FLOAT_EQ(hours, 4.0f);
  EXPECT_EQ(rec_.LastError().number, errnum::kInvalidUseOfNull);
  // No rows at all: fails with zero.
  EXPECT_EQ(rec_.CalcJBHours(2003, 8, "rest", "0001", hours, 0), RES_ERROR);
  EXPECT_EQ(hours, 0.0f);
}

TEST_F(KQTotals, OtherSumsFailForAnEmptyMonthOrBeyondSixteenBits) {
  EXPECT_EQ(rec_.CalcQTMTJ(2003, 5, "0001", 0, 0, 0, 0, 0, 0), RES_OK);
  EXPECT_EQ(rec_.CalcQTMTJ(2003, 9, "0001", 0, 0, 0, 0, 0, 0), RES_ERROR);
  for (int i = 0; i < 2; ++i)
    Day("0003", i == 0 ? "2003-05-01" : "2003-05-02", "normal", 0, 1, 20000);
  EXPECT_EQ(rec_.CalcQTMTJ(2003, 5, "0003", 0, 0, 0, 0, 0, 0), RES_ERROR);
  EXPECT_EQ(rec_.LastError().number, errnum::kOverflow);

  KQMonthSums sums;
  ASSERT_EQ(rec_.CalcMonthSums(2003, 5, "0003", "normal", "rest", sums), RES_OK);
  EXPECT_EQ(sums.CDMinute, 40000);
}

TEST_F(KQTotals, MonthSumsHandBackEveryFigure) {
  KQMonthSums sums;
  ASSERT_EQ(rec_.CalcMonthSums(2003, 5, "0001", "normal", "rest", sums), RES_OK);
  KQMonthSums expected;
  expected.KQDays = 2;
  expected.JBHours = 4;
  expected.JBXHours = 0;
  expected.CDNum = 3;
  expected.CDMinute = 15;
  expected.WKHours = 24;
  expected.QJHours = 1.5f;
  EXPECT_EQ(sums, expected);

  ASSERT_EQ(rec_.CalcMonthSums(2003, 6, "0001", "normal", "rest", sums), RES_OK);
  EXPECT_FLOAT_EQ(sums.JBXHours, 4.0f);
  EXPECT_EQ(sums.KQDays, 0.0f);

  ASSERT_EQ(rec_.CalcMonthSums(2003, 12, "0001", "normal", "rest", sums), RES_OK);
  EXPECT_EQ(sums, KQMonthSums{});
}

TEST_F(KQTotals, TotalsEndAnEarlierWalk) {
  std::string err;
  ASSERT_EQ(rec_.DoSearch(err, -1), RES_FOUND);
  float days = 0;
  rec_.CalcKaoQinDays(2003, 5, "normal", "0001", days);
  // The object's recordset now holds the count, not the search.
  EXPECT_EQ(rec_.HRecordCount(), 1);
  EXPECT_EQ(rec_.LoadFieldValue(err), RES_ERROR);
}

// Without a connection every total fails: the figures reset before the first
// statement stay reset, and the sums handed in are left as they were.
TEST(KQTotalsAlone, WithoutAConnectionEachTotalFails) {
  clsKQ kq;
  float days = 3, hours = 4;
  KQMonthSums sums;
  sums.CDNum = 7;
  EXPECT_EQ(kq.CalcKaoQinDays(2003, 5, "normal", "0001", days), RES_ERROR);
  EXPECT_EQ(kq.CalcJBHours(2003, 5, "rest", "0001", hours, 0), RES_ERROR);
  EXPECT_EQ(kq.CalcQTMTJ(2003, 5, "0001", 0, 0, 0, 0, 0, 0), RES_ERROR);
  EXPECT_EQ(kq.CalcMonthSums(2003, 5, "0001", "normal", "rest", sums), RES_ERROR);
  EXPECT_EQ(days, 0);
  EXPECT_EQ(hours, 0);
  EXPECT_EQ(sums.CDNum, 7);
}

}  // namespace
}  // namespace tessaly
