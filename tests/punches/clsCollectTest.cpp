// Collected raw punches: a keyless staging table, rewritten by work number
// and emptied whole.
#include "tessaly/punches/clsCollect.h"

#include "support/TestDb.h"

namespace tessaly {
namespace {

using testing::Scalar;

class CollectDb : public testing::RecordDb<clsCollect> {
 protected:
  void Add(const std::string& work_no, const std::string& date, const std::string& time) {
    rec_.FWorkNo(work_no);
    rec_.FKQDate(date);
    rec_.FKQTime(time);
    rec_.FDcuID("001");
    rec_.FFlag("1");
    ASSERT_EQ(rec_.Add(err_), RES_ADDOK) << err_;
  }
  std::string Walk() {
    std::string seen = rec_.FWorkNo() + " " + rec_.FKQDate() + " " + rec_.FKQTime();
    while (rec_.MoveNext())
      seen += "," + rec_.FWorkNo() + " " + rec_.FKQDate() + " " + rec_.FKQTime();
    return seen;
  }
};

TEST_F(CollectDb, OperationsSendTheirStatementsByteForByte) {
  Watch();
  rec_.FDoor("门'一");
  Add("W1", "2003-05-01", "08:00");
  ASSERT_EQ(rec_.Update(err_, 5), RES_UPDOK) << err_;
  ASSERT_EQ(rec_.DoSearch(err_, -1), RES_FOUND) << err_;
  ASSERT_EQ(rec_.DoSearch(err_, 1), RES_FOUND) << err_;
  EXPECT_EQ(rec_.FDoor(), "门'一");
  ASSERT_EQ(rec_.Delete(err_, 3), RES_DELOK) << err_;
  const std::vector<std::string> expected = {
      "INSERT INTO T_Collect\\r( F_WorkNo,F_KQDate,F_KQTime,F_DcuID,F_Door,F_Flag \\r)\\r"
      "VALUES(\\r'W1','2003-05-01'\\r,'08:00'\\r,'001'\\r,'门''一'\\r,'1'\\r)",
      "SELECT COUNT(*) AS C\\rFROM T_Collect\\rWHERE  F_WorkNo='W1'",
      "UPDATE T_Collect\\rSET\\rF_WorkNo='W1'\\r,F_KQDate='2003-05-01'\\r,F_KQTime='08:00'\\r,"
      "F_DcuID='001'\\r,F_Door='门''一'\\r,F_Flag='1'\\rWHERE  F_WorkNo='W1'",
      "SELECT  *  FROM T_Collect\\rWHERE  1=1 ORDER BY F_WorkNo,F_KQDate,F_KQTime ",
      "SELECT  *  FROM T_Collect\\rWHERE  F_WorkNo='W1'",
      "SELECT COUNT(*) AS C\\rFROM T_Collect\\rWHERE  1=1 ",
      "DELETE FROM T_Collect\\rWHERE  1=1 ",
  };
  EXPECT_EQ(sent_, expected);
}

TEST_F(CollectDb, RowsComeInCollectionOrderAndUpdateRewritesAWorkNumber) {
  Add("W2", "2003-05-01", "08:00");
  Add("W1", "2003-05-02", "07:00");
  Add("W1", "2003-05-01", "17:00");
  Add("W1", "2003-05-01", "08:00:59");  // kept as hour:minute
  ASSERT_EQ(rec_.DoSearch(err_, -1), RES_FOUND);
  EXPECT_EQ(Walk(),
            "W1 2003-05-01 08:00,W1 2003-05-01 17:00,W1 2003-05-02 07:00,W2 2003-05-01 08:00");
  rec_.FWorkNo("W1");
  rec_.FKQTime("12:00");
  ASSERT_EQ(rec_.Update(err_), RES_UPDOK) << err_;
  EXPECT_EQ(Scalar(conn_, "select count(*) from T_Collect where F_KQTime='12:00'"), "3");
  rec_.FWorkNo("W3");
  EXPECT_EQ(rec_.Update(err_), RES_UPDNOTFOUND);
  EXPECT_EQ(rec_.DoSearch(err_, 0), RES_NOTFOUND);
}

}  // namespace
}  // namespace tessaly
