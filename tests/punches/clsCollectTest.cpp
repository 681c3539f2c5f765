// Collected raw punches: a keyless staging table, rewritten by work number
// and emptied whole.
#include "tessaly/punches/clsCollect.h"

#include <gtest/gtest.h>

#include "support/TestDb.h"

namespace tessaly {
namespace {

using testing::Scalar;
using testing::Visible;

class CollectDb : public ::testing::Test {
 protected:
  void SetUp() override {
    conn_ = testing::AttendanceDb();
    collect_.HConnect(conn_);
  }
  void Add(const std::string& work_no, const std::string& date, const std::string& time) {
    clsCollect c;
    c.HConnect(conn_);
    c.FWorkNo(work_no);
    c.FKQDate(date);
    c.FKQTime(time);
    c.FDcuID("001");
    c.FDoor("Gate");
    c.FFlag("1");
    std::string err;
    ASSERT_EQ(c.Add(err), RES_ADDOK) << err;
  }
  std::string Walk() {
    std::string seen = collect_.FWorkNo() + " " + collect_.FKQDate() + " " + collect_.FKQTime();
    while (collect_.MoveNext()) {
      seen += "," + collect_.FWorkNo() + " " + collect_.FKQDate() + " " + collect_.FKQTime();
    }
    return seen;
  }

  std::shared_ptr<db::Connection> conn_;
  clsCollect collect_;
  std::string err_;
};

TEST_F(CollectDb, OperationsSendTheirStatementsByteForByte) {
  std::vector<std::string> sent;
  conn_->Trace([&sent](std::string_view sql) { sent.push_back(Visible(std::string(sql))); });
  collect_.FWorkNo("W1");
  collect_.FKQDate("2003-05-01");
  collect_.FKQTime("08:00");
  collect_.FDcuID("001");
  collect_.FDoor("Gate");
  collect_.FFlag("1");
  ASSERT_EQ(collect_.Add(err_), RES_ADDOK) << err_;
  ASSERT_EQ(collect_.Update(err_, 5), RES_UPDOK) << err_;
  ASSERT_EQ(collect_.DoSearch(err_, -1), RES_FOUND) << err_;
  ASSERT_EQ(collect_.DoSearch(err_, 1), RES_FOUND) << err_;
  ASSERT_EQ(collect_.Delete(err_, 3), RES_DELOK) << err_;
  const std::vector<std::string> expected = {
      "INSERT INTO T_Collect\\r( F_WorkNo,F_KQDate,F_KQTime,F_DcuID,F_Door,F_Flag \\r)\\r"
      "VALUES(\\r'W1','2003-05-01'\\r,'08:00'\\r,'001'\\r,'Gate'\\r,'1'\\r)",
      "SELECT COUNT(*) AS C\\rFROM T_Collect\\rWHERE  F_WorkNo='W1'",
      "UPDATE T_Collect\\rSET\\rF_WorkNo='W1'\\r,F_KQDate='2003-05-01'\\r,F_KQTime='08:00'\\r,"
      "F_DcuID='001'\\r,F_Door='Gate'\\r,F_Flag='1'\\rWHERE  F_WorkNo='W1'",
      "SELECT  *  FROM T_Collect\\rWHERE  1=1 ORDER BY F_WorkNo,F_KQDate,F_KQTime ",
      "SELECT  *  FROM T_Collect\\rWHERE  F_WorkNo='W1'",
      "SELECT COUNT(*) AS C\\rFROM T_Collect\\rWHERE  1=1 ",
      "DELETE FROM T_Collect\\rWHERE  1=1 ",
  };
  EXPECT_EQ(sent, expected);
}

TEST_F(CollectDb, AllRowsComeInCollectionOrderAndOneWorkNumberAlone) {
  Add("W2", "2003-05-01", "08:00");
  Add("W1", "2003-05-02", "07:00");
  Add("W1", "2003-05-01", "17:00");
  Add("W1", "2003-05-01", "08:00");
  ASSERT_EQ(collect_.DoSearch(err_, -1), RES_FOUND);
  EXPECT_EQ(Walk(),
            "W1 2003-05-01 08:00,W1 2003-05-01 17:00,W1 2003-05-02 07:00,W2 2003-05-01 08:00");
  collect_.FWorkNo("W2");
  ASSERT_EQ(collect_.DoSearch(err_, 0), RES_FOUND);
  EXPECT_EQ(Walk(), "W2 2003-05-01 08:00");
  collect_.FWorkNo("W9");
  EXPECT_EQ(collect_.DoSearch(err_, 0), RES_NOTFOUND);
  EXPECT_EQ(collect_.FWorkNo(), "W9");  // nothing loaded
}

TEST_F(CollectDb, UpdateRewritesEveryRowOfTheWorkNumber) {
  Add("W1", "2003-05-01", "08:00");
  Add("W1", "2003-05-01", "17:00");
  Add("W2", "2003-05-01", "08:00");
  collect_.FWorkNo("W1");
  collect_.FKQDate("2003-06-01");
  collect_.FKQTime("12:00");
  collect_.FFlag("x");
  ASSERT_EQ(collect_.Update(err_), RES_UPDOK) << err_;
  EXPECT_EQ(Scalar(conn_, "select count(*) from T_Collect where F_KQTime='12:00' and F_Flag='x'"),
            "2");
  collect_.FWorkNo("W3");
  EXPECT_EQ(collect_.Update(err_), RES_UPDNOTFOUND);
}

TEST_F(CollectDb, DeleteEmptiesTheTableWhateverItIsGiven) {
  Add("W1", "2003-05-01", "08:00");
  Add("W2", "2003-05-01", "08:00");
  collect_.FWorkNo("none");
  EXPECT_EQ(collect_.Delete(err_, 42), RES_DELOK) << err_;
  EXPECT_EQ(Scalar(conn_, "select count(*) from T_Collect"), "0");
  EXPECT_EQ(collect_.Delete(err_), RES_DELNOTFOUND);
}

TEST_F(CollectDb, ValuesKeepTheirWidthAndApostrophes) {
  collect_.FWorkNo("O'Neil-123456");
  collect_.FKQDate("2003-05-01x");
  collect_.FKQTime("08:00:59");
  collect_.FDoor(std::string(500, 'd'));
  collect_.FDcuID("门'一");
  EXPECT_EQ(collect_.FWorkNo(), "O'Neil-123");
  EXPECT_EQ(collect_.FKQDate(), "2003-05-01");
  EXPECT_EQ(collect_.FKQTime(), "08:00");
  ASSERT_EQ(collect_.Add(err_), RES_ADDOK) << err_;
  ASSERT_EQ(collect_.DoSearch(err_, 0), RES_FOUND) << err_;
  EXPECT_EQ(collect_.FDoor().size(), 500u);
  EXPECT_EQ(collect_.FDcuID(), "门'一");
}

}  // namespace
}  // namespace tessaly
