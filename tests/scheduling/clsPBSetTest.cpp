// The schedule plans: 40 text columns keyed by the plan's name, renamed
// through FKey, and the check whether an employee still uses a plan.
#include "tessaly/scheduling/clsPBSet.h"

#include <gtest/gtest.h>

#include "support/TestDb.h"

namespace tessaly {
namespace {

using testing::Scalar;
using testing::Visible;

// Each day of the month holds "d" and its number.
void FillPlan(clsPBSet& p) {
  testing::Set(p, {{"F_Name", "P1"}, {"F_Type", "week"}, {"F_Mon", "M"}, {"F_Tue", "Tu"},
                   {"F_Wed", "W"}, {"F_Thu", "Th"}, {"F_Fri", "F"}, {"F_Sat", "Sa"},
                   {"F_Sun", "Su"}});
  for (int day = 1; day <= 31; ++day) {
    const std::string name = "F_D" + std::to_string(day);
    testing::Set(p, {{name, "d" + std::to_string(day)}});
  }
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
  std::string values = "'P1'\\r,'week'\\r,'M'\\r,'Tu'\\r,'W'\\r,'Th'\\r,'F'\\r,'Sa'\\r,'Su'\\r";
  for (int day = 1; day <= 31; ++day) values += ",'d" + std::to_string(day) + "'\\r";
  EXPECT_EQ(Visible(rec_.GetValuesString()), values);

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
