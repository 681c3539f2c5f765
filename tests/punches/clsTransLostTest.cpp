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

TEST_F(TransLostDb, AddAndUpdateSendTheNineteenColumnsByteForByte) {
  Watch();
  Add("0001");
  ASSERT_EQ(rec_.DoSearch(err_), RES_NOTFOUND);  // FID 0
  rec_.FID(1);
  ASSERT_EQ(rec_.DoSearch(err_, TRANSLOST_N0RMAL), RES_FOUND) << err_;
  rec_.FName("O'Hare");
  ASSERT_EQ(rec_.Update(err_, TRANSLOST_DELALL), RES_UPDOK) << err_;  // by key, whatever the mode
  const std::vector<std::string> expected = {
      "INSERT INTO T_TransLost\\r(F_LoadDate,F_ErrMsg,F_CardID, F_Year,F_Month,F_Day,F_Hour,"
      "F_Minute,F_Date,F_Time ,F_EmpID,F_Name,F_Dept,F_Flag, F_DCuID, F_Door, "
      "F_IsEnter,F_IsExit,F_IsKQ\\r)\\rVALUES(\\r'2003-05-03'\\r,'unknown card'\\r,'C1'\\r,"
      "2003\\r,5\\r,1\\r,8\\r,30\\r,'2003-05-01'\\r,'08:30'\\r,'0001'\\r,''\\r,''\\r,"
      "1\\r,'001'\\r,''\\r,1\\r,0\\r,-1\\r)",
      "SELECT  *  FROM T_TransLost\\rWHERE  F_ID=0",
      "SELECT  *  FROM T_TransLost\\rWHERE  F_ID=1",
      "SELECT COUNT(*) AS C\\rFROM T_TransLost\\rWHERE  F_ID=1",
      "UPDATE T_TransLost\\rSET\\rF_LoadDate='2003-05-03'\\r,F_ErrMsg='unknown card'\\r,"
      "F_CardID='C1'\\r,F_Year=2003\\r,F_Month=5\\r,F_Day=1\\r,F_Hour=8\\r,F_Minute=30\\r,"
      "F_Date='2003-05-01'\\r,F_Time='08:30'\\r,F_EmpID='0001'\\r,F_Name='O''Hare'\\r,"
      "F_Dept=''\\r,F_Flag=1\\r,F_DCuID='001'\\r,F_Door=''\\r,F_IsEnter=1\\r,"
      "F_IsExit=0\\r,F_IsKQ=-1\\rWHERE  F_ID=1",
  };
  EXPECT_EQ(sent_, expected);
  EXPECT_EQ(rec_.FIsKQ(), -1);  // loaded by the common rule, not folded to 1
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
  EXPECT_EQ(rec_.ExeSearch("", rows), "");
  EXPECT_EQ(rows, 1);
}

}  // namespace
}  // namespace tessaly
