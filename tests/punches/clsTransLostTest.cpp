// Rejected punches: the nineteen columns, the delete that takes its condition
// from the mode, and the unordered text listing.
#include "tessaly/punches/clsTransLost.h"

#include "support/TestDb.h"

namespace tessaly {
namespace {

using testing::Scalar;
using testing::Visible;

class TransLostDb : public testing::RecordDb<clsTransLost> {
 protected:
  void Add(const std::string& emp) {
    clsTransLost t;
    t.HConnect(conn_);
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
    t.FFlag(1);
    t.FDcuID("001");
    t.FIsEnter(1);
    t.FIsKQ(-1);
    std::string err;
    ASSERT_EQ(t.Add(err), RES_ADDOK) << err;
  }
};

// An update rewrites the row of the key, whatever the mode; the flags load by
// the common rule (-1 stays -1).
TEST_F(TransLostDb, UpdateRewritesTheRowOfItsKeyWhateverTheMode) {
  Add("0001");
  Add("0002");
  rec_.FID(1);
  ASSERT_EQ(rec_.DoSearch(err_, TRANSLOST_N0RMAL), RES_FOUND) << err_;
  EXPECT_EQ(rec_.FIsKQ(), -1);
  rec_.FName("O'Hare");
  ASSERT_EQ(rec_.Update(err_, TRANSLOST_DELALL), RES_UPDOK) << err_;
  EXPECT_EQ(Scalar(conn_, "select count(*) & max(F_EmpID) from T_TransLost where F_Name='O''Hare'"),
            "10001");
}

TEST_F(TransLostDb, DeleteRemovesOneRowOrAllByMode) {
  for (const char* emp : {"0001", "0002", "0003"}) Add(emp);
  rec_.FID(2);
  EXPECT_EQ(rec_.Delete(err_, TRANSLOST_N0RMAL), RES_DELOK) << err_;
  rec_.FID(1);
  EXPECT_EQ(rec_.Delete(err_, 0), RES_DELOK) << err_;
  EXPECT_EQ(rec_.Delete(err_, 5), RES_DELNOTFOUND);
  EXPECT_EQ(Scalar(conn_, "select F_EmpID from T_TransLost"), "0003");
  Add("0004");
  Watch();
  EXPECT_EQ(rec_.Delete(err_, TRANSLOST_DELALL), RES_DELOK) << err_;
  EXPECT_EQ(Count("T_TransLost"), "0");
  EXPECT_EQ(rec_.Delete(err_, TRANSLOST_DELALL), RES_DELNOTFOUND);
  EXPECT_EQ(sent_.at(1), "DELETE FROM T_TransLost\\rWHERE  1=1  ");
}

TEST_F(TransLostDb, SearchesByModeAndTheTextListing) {
  Add("0002");
  Add("0001");
  conn_->Execute("update T_TransLost set F_Minute = null, F_ErrMsg = null where F_EmpID = '0001'");
  ASSERT_EQ(rec_.DoSearch(err_, -1), RES_FOUND) << err_;
  EXPECT_EQ(rec_.FMinute(), 30);
  ASSERT_TRUE(rec_.MoveNext());
  EXPECT_EQ(rec_.FEmpID() + "/" + std::to_string(rec_.FMinute()) + "/" + rec_.FErrMsg(), "0001/0/");
  int32_t rows = 0;
  EXPECT_EQ(Visible(rec_.ExeSearch("F_EmpID='0001'", rows)),
            "2003-05-03\\t\\tC1\\t2003-05-01\\t08:30\\t0001\\t\\t\\t1\\t001\\t\\t2\\r");
  EXPECT_EQ(rows, 1);
}

}  // namespace
}  // namespace tessaly
