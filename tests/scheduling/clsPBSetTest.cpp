// The schedule plans: 40 text columns keyed by the plan's name, renamed
// through FKey, and the check whether an employee still uses a plan.
#include "tessaly/scheduling/clsPBSet.h"

#include <gtest/gtest.h>

#include "support/TestDb.h"

namespace tessaly {
namespace {

using testing::Scalar;
using testing::Visible;

constexpr const char* kPlanValues =
    "'P1'\\r,'week'\\r,'M'\\r,'Tu'\\r,'W'\\r,'Th'\\r,'F'\\r,'Sa'\\r,'Su'\\r,"
    "'d1'\\r,'d2'\\r,'d3'\\r,'d4'\\r,'d5'\\r,'d6'\\r,'d7'\\r,'d8'\\r,'d9'\\r,'d10'\\r,"
    "'d11'\\r,'d12'\\r,'d13'\\r,'d14'\\r,'d15'\\r,'d16'\\r,'d17'\\r,'d18'\\r,'d19'\\r,'d20'\\r,"
    "'d21'\\r,'d22'\\r,'d23'\\r,'d24'\\r,'d25'\\r,'d26'\\r,'d27'\\r,'d28'\\r,'d29'\\r,'d30'\\r,"
    "'d31'\\r";

using DaySetter = void (clsPBSet::*)(std::string);
const DaySetter kDays[] = {
    &clsPBSet::FD1,  &clsPBSet::FD2,  &clsPBSet::FD3,  &clsPBSet::FD4,  &clsPBSet::FD5,
    &clsPBSet::FD6,  &clsPBSet::FD7,  &clsPBSet::FD8,  &clsPBSet::FD9,  &clsPBSet::FD10,
    &clsPBSet::FD11, &clsPBSet::FD12, &clsPBSet::FD13, &clsPBSet::FD14, &clsPBSet::FD15,
    &clsPBSet::FD16, &clsPBSet::FD17, &clsPBSet::FD18, &clsPBSet::FD19, &clsPBSet::FD20,
    &clsPBSet::FD21, &clsPBSet::FD22, &clsPBSet::FD23, &clsPBSet::FD24, &clsPBSet::FD25,
    &clsPBSet::FD26, &clsPBSet::FD27, &clsPBSet::FD28, &clsPBSet::FD29, &clsPBSet::FD30,
    &clsPBSet::FD31,
};

void FillPlan(clsPBSet& p) {
  p.FName("P1");
  p.FType("week");
  p.FMon("M"), p.FTue("Tu"), p.FWed("W"), p.FThu("Th"), p.FFri("F"), p.FSat("Sa"), p.FSun("Su");
  int day = 0;
  for (const DaySetter set : kDays) (p.*set)("d" + std::to_string(++day));
}

class clsPBSetDb : public testing::RecordDb<clsPBSet> {
 protected:
  void AddPlan(const std::string& name) {
    clsPBSet p;
    p.HConnect(conn_);
    FillPlan(p);
    p.FName(name);
    ASSERT_EQ(p.Add(err_), RES_ADDOK) << err_;
  }
};

TEST_F(clsPBSetDb, AddedPlanLoadsBackWholeAndRenamesThroughFKey) {
  AddPlan("P1");
  rec_.FKey("P1");
  ASSERT_EQ(rec_.DoSearch(err_, 0), RES_FOUND) << err_;
  EXPECT_EQ(Visible(rec_.GetValuesString()), kPlanValues);

  rec_.FName("P2");
  rec_.FD31("night");
  ASSERT_EQ(rec_.Update(err_), RES_UPDOK) << err_;
  EXPECT_EQ(Scalar(conn_, "select F_Name & '/' & F_D31 & '/' & F_D30 from T_PBSet"),
            "P2/night/d30");
  EXPECT_EQ(rec_.DoSearch(err_, 0), RES_NOTFOUND);  // FKey still names P1
  rec_.FKey("P2");
  EXPECT_EQ(rec_.DoSearch(err_, 0), RES_FOUND);
}

TEST_F(clsPBSetDb, NullEntriesLoadAsEmptyTextsAndAreWrittenBackEmpty) {
  conn_->Execute("insert into T_PBSet (F_Name, F_D1) values ('Bare', 'x')");
  FillPlan(rec_);
  rec_.FKey("Bare");
  ASSERT_EQ(rec_.DoSearch(err_, 0), RES_FOUND) << err_;
  EXPECT_EQ(rec_.FD1(), "x");
  EXPECT_EQ(rec_.FD31(), "");
  EXPECT_EQ(rec_.FType(), "");
  const std::string body = Visible(rec_.GetBodyString());
  EXPECT_TRUE(body.ends_with(",F_D30=''\\r,F_D31=''\\r")) << body;
  ASSERT_EQ(rec_.Update(err_), RES_UPDOK) << err_;
  EXPECT_EQ(Scalar(conn_, "select count(*) from T_PBSet where F_D31 = ''"), "1");
}

TEST_F(clsPBSetDb, ThePlanIsNeedWhileAnEmployeeUsesIt) {
  testing::Sent sent(conn_);
  bool need = true;
  ASSERT_EQ(rec_.ThePlanIsNeed("P1", err_, need), RES_OK) << err_;
  EXPECT_FALSE(need);
  EXPECT_EQ(sent.last(), "select * from  T_EMP WHERE F_Shift='P1'");

  conn_->Execute("insert into T_Emp (F_EmpID, F_Shift) values ('0001', 'P1')");
  ASSERT_EQ(rec_.ThePlanIsNeed("p1", err_, need), RES_OK) << err_;
  EXPECT_TRUE(need);
  ASSERT_EQ(rec_.ThePlanIsNeed("P2", err_, need), RES_OK) << err_;
  EXPECT_FALSE(need);

  // A quote in the name stays inside the literal.
  conn_->Execute("insert into T_Emp (F_EmpID, F_Shift) values ('0002', 'it''s')");
  ASSERT_EQ(rec_.ThePlanIsNeed("it's", err_, need), RES_OK) << err_;
  EXPECT_TRUE(need);
  EXPECT_EQ(sent.last(), "select * from  T_EMP WHERE F_Shift='it''s'");
  ASSERT_EQ(rec_.ThePlanIsNeed("x' or 'a'='a", err_, need), RES_OK) << err_;
  EXPECT_FALSE(need);
  EXPECT_EQ(err_, "");
}

}  // namespace
}  // namespace tessaly
