// Field-work entries: punches waived by date, written as date literals.
#include "tessaly/leave/clsWQ.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/TestDb.h"

namespace tessaly {
namespace {

using testing::Scalar;
using testing::Visible;

// The worked example: entry 4, flags 1, 0, 0, 1, 0, 0.
void Fill(clsWQ& wq, int32_t id = 4, const std::string& emp = "0001",
          const std::string& date = "2003-05-01") {
  wq.FID(id);
  wq.FEmpID(emp);
  wq.FDate(date);
  wq.FTimeFr("09:00");
  wq.FTimeTo("15:00");
  wq.FCancelIn1(1);
  wq.FCancelOut1(0);
  wq.FCancelIn2(0);
  wq.FCancelOut2(1);
  wq.FCancelIn3(0);
  wq.FCancelOut3(0);
  wq.FReason("R");
  wq.FRatify("A");
}

class WQDb : public testing::RecordDb<clsWQ> {
 protected:
  void Add(int32_t id, const std::string& emp, const std::string& date) {
    clsWQ wq;
    wq.HConnect(conn_);
    Fill(wq, id, emp, date);
    std::string err;
    ASSERT_EQ(wq.Add(err), RES_ADDOK) << err;
  }
};

TEST(clsWQText, ValuesCannotLeaveTheirLiterals) {
  clsWQ wq;
  Fill(wq);
  wq.FEmpID("O'Brien");
  wq.FDate("2003-05-01' or '1'='1");
  EXPECT_EQ(wq.GetWhereString(WQ_BYEMPIDDATE),
            " F_EmpID='O''Brien' and F_Date='2003-05-01'' or ''1''=''1'");
  wq.FDate("2003-05-01# or #1");
  EXPECT_NE(Visible(wq.GetBodyString()).find("F_EmpID='O''Brien'\\r,F_Date=#2003-05-01? or ?1#\\r"),
            std::string::npos);
}

TEST_F(WQDb, TheEntryOfADateLoadsInAFormThatWritesBack) {
  Add(4, "0001", "2003-05-01");
  Add(5, "0001", "2003-05-02");
  Add(6, "0002", "2003-05-01");
  rec_.FEmpID("0001");
  rec_.FDate("2003-05-02");
  ASSERT_EQ(rec_.DoSearch(err_, WQ_BYEMPIDDATE), RES_FOUND) << err_;
  EXPECT_EQ(rec_.HRecordCount(), 1);
  EXPECT_EQ(rec_.FID(), 5);
  EXPECT_EQ(rec_.FDate() + "/" + rec_.FTimeFr() + "/" + rec_.FTimeTo(),
            "2003-05-02/09:00:00/15:00:00");
  // What was loaded is written back unchanged, and found again by itself.
  rec_.FReason("again");
  ASSERT_EQ(rec_.Update(err_), RES_UPDOK) << err_;
  ASSERT_EQ(rec_.DoSearch(err_, WQ_BYEMPIDDATE), RES_FOUND) << err_;
  EXPECT_EQ(rec_.FTimeTo(), "15:00:00");

  rec_.FDate("2003-05-03");
  EXPECT_EQ(rec_.DoSearch(err_, WQ_BYEMPIDDATE), RES_NOTFOUND);
  EXPECT_EQ(rec_.FID(), 5);
}

TEST_F(WQDb, UpdateRewritesTheEntryOrOnlyTheTallyFlag) {
  Add(4, "0001", "2003-05-01");
  const std::string row =
      "select F_Date & '/' & F_CancelIn1 & F_CancelOut3 & '/' & F_IsTJ from T_WQ where F_ID=4";
  Fill(rec_, 4, "0001", "2003-05-09");
  rec_.FCancelIn1(0);
  rec_.FCancelOut3(1);
  rec_.FIsTJ(1);
  EXPECT_EQ(rec_.Update(err_, WQ_UPDTJ), RES_UPDOK) << err_;
  EXPECT_EQ(Scalar(conn_, row), "2003-05-01/10/1");
  EXPECT_EQ(rec_.Update(err_, WQ_BYEMPIDDATE), RES_UPDOK) << err_;  // the row by FID still
  EXPECT_EQ(Scalar(conn_, row), "2003-05-09/01/1");
  rec_.FID(9);
  EXPECT_EQ(rec_.Update(err_), RES_UPDNOTFOUND);
  EXPECT_EQ(rec_.Delete(err_), RES_DELNOTFOUND);
}

TEST_F(WQDb, DateTextsTheDatabaseCannotReadAreRefused) {
  std::string err = "untouched";
  Fill(rec_);
  for (const char* bad : {"2003-13-45", "", "15:00# or #1"}) {  // "##" is no date
    rec_.FTimeTo(bad);
    EXPECT_EQ(rec_.Add(err), RES_CMDERR) << bad;
  }
  EXPECT_EQ(err, "untouched");
  EXPECT_EQ(rec_.LastError().number, errnum::kSyntax);
  EXPECT_EQ(Scalar(conn_, "select count(*) from T_WQ"), "0");
}

TEST_F(WQDb, ListingMarksTheWaivedPunches) {
  conn_->Execute("insert into T_Emp (F_EmpID, F_Name, F_Dept) values ('0001', '张三', 'Sales')");
  Add(4, "0001", "2003-05-01");
  conn_->Execute("insert into T_WQ (F_ID, F_EmpID, F_CancelIn3) values (5, '0009', -1)");
  int32_t rows = 10;
  EXPECT_EQ(Visible(rec_.ExeSearch("1=1 ORDER BY F_ID", rows)),
            "0001\\t张三\\t2003-05-01\\t09:00:00\\t15:00:00\\t是\\t\\t\\t是\\t\\t\\tR\\tA\\tSales\\t4\\r"
            "0009\\t\\t\\t\\t\\t\\t\\t\\t\\t是\\t\\t\\t\\t\\t5\\r");
  EXPECT_EQ(rows, 12);
  // Null flags load as 0; the others as stored.
  rec_.FID(5);
  ASSERT_EQ(rec_.DoSearch(err_, 0), RES_FOUND) << err_;
  EXPECT_EQ(std::vector<int>({rec_.FCancelIn1(), rec_.FCancelOut2(), rec_.FCancelIn3()}),
            (std::vector<int>{0, 0, -1}));
}

TEST_F(WQDb, NextIdentifierIsOneMoreThanTheLargest) {
  Add(7, "0001", "2003-05-07");
  int32_t next = 0;
  std::string msg;
  EXPECT_EQ(rec_.GetMaxID(next, msg), RES_OK);
  EXPECT_EQ(next, 8);
}

}  // namespace
}  // namespace tessaly
