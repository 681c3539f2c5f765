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

// The keyless table: a delete with a mode empties it whole.
TEST_F(CollectDb, ADeleteWithAModeEmptiesTheTable) {
  Add("W1", "2003-05-01", "08:00");
  Add("W2", "2003-05-01", "09:00");
  ASSERT_EQ(rec_.Delete(err_, 3), RES_DELOK) << err_;
  EXPECT_EQ(Count("T_Collect"), "0");
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
