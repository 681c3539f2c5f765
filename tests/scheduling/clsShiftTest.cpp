// The shift definitions: 47 columns keyed by the shift's name, renamed
// through FKey, with flags that load as 0 or 1.
#include "tessaly/scheduling/clsShift.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/TestDb.h"

namespace tessaly {
namespace {

using testing::Scalar;
using testing::Visible;

// A distinct value in (nearly) every column, so that a column written or
// loaded out of its place shows.
void FillDay(clsShift& s) {
  s.FName("Day");
  s.FType("2");
  s.FUse1(1), s.FUse2(1), s.FUse3(0), s.FUse4(1);
  s.FLimitIn(10), s.FLimitOut(11), s.FLimitCD(5), s.FLimitZT(6);
  s.FIn1_H(8), s.FIn1_M(1), s.FOut1_H(12), s.FOut1_M(2);
  s.FIn2_H(13), s.FIn2_M(30), s.FOut2_H(17), s.FOut2_M(31);
  s.FIn3_H(19), s.FIn3_M(3), s.FOut3_H(21), s.FOut3_M(4);
  s.FZLIn_H(22), s.FZLIn_M(7), s.FZLOut_H(23), s.FZLOut_M(9);
  s.FIsOver1(0), s.FIsOver2(1), s.FIsOver3(0), s.FIsOver4(1);
  s.FOverLimit(120);
  s.FIn1Up(41), s.FIn1Down(-5), s.FOut1Up(42), s.FOut1Down(-6);
  s.FIn2Up(43), s.FIn2Down(-7), s.FOut2Up(44), s.FOut2Down(-8);
  s.FIn3Up(45), s.FIn3Down(-9), s.FOut3Up(46), s.FOut3Down(-10);
  s.FZLInUp(47), s.FZLInDown(-11), s.FZLOutUp(48), s.FZLOutDown(-12);
}

class clsShiftDb : public testing::RecordDb<clsShift> {
 protected:
  void AddShift(const std::string& name) {
    clsShift s;
    s.HConnect(conn_);
    FillDay(s);
    s.FName(name);
    ASSERT_EQ(s.Add(err_), RES_ADDOK) << err_;
  }
};

TEST_F(clsShiftDb, UpdateThroughFKeyRenamesTheShift) {
  AddShift("Day");
  FillDay(rec_);
  rec_.FKey("Day");
  rec_.FName("Night");
  rec_.FIn1_H(20);
  ASSERT_EQ(rec_.Update(err_), RES_UPDOK) << err_;
  EXPECT_EQ(Scalar(conn_, "select F_Name & '/' & F_In1_H from T_Shift"), "Night/20");

  clsShift found;
  found.HConnect(conn_);
  found.FKey("Day");
  EXPECT_EQ(found.DoSearch(err_, 0), RES_NOTFOUND);
  found.FKey("Night");
  ASSERT_EQ(found.DoSearch(err_, 0), RES_FOUND) << err_;
  EXPECT_EQ(found.FIn1_H(), 20);
  // The old name is gone, so a second update through it finds nothing; nor
  // does one through no name at all.
  EXPECT_EQ(rec_.Update(err_), RES_UPDNOTFOUND);
  rec_.FKey("");
  EXPECT_EQ(rec_.Update(err_), RES_UPDNOTFOUND);
  EXPECT_EQ(Scalar(conn_, "select count(*) & F_Name from T_Shift group by F_Name"), "1Night");
}

// Flags load as 0 when the stored value is 0 and as 1 otherwise, Null and
// Jet's True (-1) included; the other numbers take the numeric-text rule.
TEST_F(clsShiftDb, FlagsLoadAsFlagUnlessZeroAndNumbersByTheNumericTextRule) {
  conn_->Execute(
      "insert into T_Shift (F_Name, F_Use1, F_Use2, F_Use3, F_Use4, F_IsOver1, F_IsOver2, "
      "F_LimitCD, F_In1Down) values ('N', -1, null, 0, 2, 0, -1, null, -5)");
  rec_.FLimitCD(99);
  rec_.FKey("N");
  ASSERT_EQ(rec_.DoSearch(err_, 0), RES_FOUND) << err_;
  EXPECT_EQ(rec_.FType(), "");
  // Use1..4, IsOver1..3 (the third Null), LimitCD (Null), LimitIn, In1Down.
  const std::vector<int> loaded = {rec_.FUse1(),    rec_.FUse2(),    rec_.FUse3(),
                                   rec_.FUse4(),    rec_.FIsOver1(), rec_.FIsOver2(),
                                   rec_.FIsOver3(), rec_.FLimitCD(), rec_.FLimitIn(),
                                   rec_.FIn1Down()};
  EXPECT_EQ(loaded, (std::vector<int>{1, 1, 0, 1, 0, 1, 1, 0, 0, -5}));
}

TEST_F(clsShiftDb, LoadStopsAtAValueItCannotTakeKeepingWhatItRead) {
  auto rs = std::make_shared<db::Recordset>();
  rs->Open(
      "select 'N' as F_Name, 'T' as F_Type, -1 as F_Use1, 0 as F_Use2, 0.5 as F_Use3, "
      "'0' as F_Use4, '2.5' as F_LimitIn, '7.5 min' as F_LimitOut, 40000 as F_LimitCD",
      conn_, db::adOpenKeyset, db::adLockReadOnly);
  rec_.HRecordset(rs);
  rec_.FLimitZT(99);
  EXPECT_EQ(rec_.LoadFieldValue(err_), RES_ERROR);
  EXPECT_EQ(err_, "Overflow");
  EXPECT_EQ(rec_.FName(), "N");
  EXPECT_EQ(std::vector<int>({rec_.FUse1(), rec_.FUse2(), rec_.FUse3(), rec_.FUse4()}),
            (std::vector<int>{1, 0, 1, 0}));
  EXPECT_EQ(rec_.FLimitIn(), 2);   // halves to the even neighbour
  EXPECT_EQ(rec_.FLimitOut(), 8);  // the leading number of the text
  EXPECT_EQ(rec_.FLimitZT(), 99);  // after the failure: untouched
}

}  // namespace
}  // namespace tessaly
