#include "tessaly/framework/mdlConst.h"

#include <gtest/gtest.h>

#include "support/TestDb.h"
#include "tessaly/Error.h"

namespace tessaly {
namespace {

using testing::Scalar;

class StatementFunctions : public ::testing::Test {
 protected:
  void SetUp() override {
    conn_ = testing::AttendanceDb();
    conn_->Execute("insert into T_Dept (F_ID, F_Name) values (1, 'Sales')");
  }
  std::string Count() { return Scalar(conn_, "select count(*) from T_Dept"); }

  std::shared_ptr<db::Connection> conn_;
  db::Recordset rs_;
  std::string err_ = "untouched";
  ErrorInfo trapped_;
};

TEST_F(StatementFunctions, InsertChecksExistenceOnlyWhenAsked) {
  EXPECT_EQ(mdlConst::ExeInsertSQL("T_Dept", " F_Name='SALES'", "F_ID,F_Name", "2,'Sales'", conn_,
                                   &rs_, err_, true),
            RES_ADDEXIST);
  EXPECT_EQ(Count(), "1");
  EXPECT_EQ(mdlConst::ExeInsertSQL("T_Dept", " F_Name='Sales'", "F_ID,F_Name", "2,'Sales'", conn_,
                                   &rs_, err_, false),
            RES_ADDOK);
  EXPECT_EQ(Count(), "2");
  EXPECT_EQ(err_, "untouched");
}

TEST_F(StatementFunctions, UpdateAndDeleteLeaveTheRecordsetClosed) {
  ASSERT_EQ(mdlConst::ExeSelectSQL("T_Dept", " 1=1", " * ", conn_, &rs_, err_), RES_FOUND);
  EXPECT_EQ(rs_.State(), 1);
  EXPECT_EQ(mdlConst::ExeUpdateSQL("T_Dept", " F_ID=1", "F_Name='Ops'\r", conn_, &rs_, err_),
            RES_UPDOK);
  EXPECT_EQ(rs_.State(), 0);
  EXPECT_EQ(Scalar(conn_, "select F_Name from T_Dept"), "Ops");
  EXPECT_EQ(mdlConst::ExeDeleteSQL("T_Dept", " F_ID=1", conn_, &rs_, err_), RES_DELOK);
  EXPECT_EQ(Count(), "0");
}

TEST_F(StatementFunctions, SelectWithoutMatchLeavesAnEmptyOpenRecordset) {
  EXPECT_EQ(mdlConst::ExeSelectSQL("T_Dept", " F_ID=7", " * ", conn_, &rs_, err_), RES_NOTFOUND);
  EXPECT_EQ(rs_.State(), 1);
  EXPECT_TRUE(rs_.IsEOF() && rs_.IsBOF());
}

// The failure codes and which of them write "description(number)".
TEST_F(StatementFunctions, FailuresMapToTheirCodes) {
  // An empty where-text leaves "WHERE " dangling: a syntax error everywhere.
  EXPECT_EQ(mdlConst::ExeSelectSQL("T_Dept", "", " * ", conn_, &rs_, err_, &trapped_),
            RES_SEARCHERR);
  EXPECT_EQ(trapped_.number, errnum::kSyntax);
  EXPECT_EQ(err_, trapped_.description + "(-2147217900)");

  err_ = "untouched";
  EXPECT_EQ(mdlConst::ExeInsertSQL("T_Dept", "", "F_ID,F_Name", "3,", conn_, &rs_, err_, false,
                                   &trapped_),
            RES_CMDERR);
  EXPECT_EQ(err_, "untouched");
  EXPECT_EQ(mdlConst::ExeUpdateSQL("T_Dept", " F_ID=1", "F_Name=\r", conn_, &rs_, err_, &trapped_),
            RES_CMDERR);
  EXPECT_EQ(err_, "untouched");
  EXPECT_EQ(trapped_.number, errnum::kSyntax);

  // Any other insert failure: the duplicate key.
  EXPECT_EQ(
      mdlConst::ExeInsertSQL("T_Dept", "", "F_ID,F_Name", "1,'Dup'", conn_, &rs_, err_, false),
      RES_ADDERR);
  EXPECT_NE(err_.find("duplicate values"), std::string::npos) << err_;
  EXPECT_EQ(err_.substr(err_.size() - 13), "(-2147467259)");

  // A delete the database refuses is RES_DELREFUSED with ErrStr untouched;
  // one that fails otherwise (an unknown table) is RES_DELERR.
  err_ = "untouched";
  conn_->Execute("insert into T_KQ (F_EmpID, F_Date) values ('1', #2003-05-01#)");
  EXPECT_EQ(mdlConst::ExeDeleteSQL("Q_KQ", " 1=1", conn_, &rs_, err_), RES_DELREFUSED);
  EXPECT_EQ(err_, "untouched");
  EXPECT_EQ(mdlConst::ExeDeleteSQL("T_Nowhere", " 1=1", conn_, &rs_, err_), RES_DELERR);
  EXPECT_EQ(err_.substr(err_.size() - 13), "(-2147217865)");
}

TEST(StatementFunctionsWithoutConnection, EveryStatementFails) {
  db::Recordset rs;
  std::string err;
  EXPECT_EQ(mdlConst::ExeInsertSQL("T_Dept", "", "F_ID", "1", nullptr, &rs, err, false),
            RES_ADDERR);
  EXPECT_EQ(err, "Object variable or With block variable not set(91)");
  EXPECT_EQ(mdlConst::ExeSelectSQL("T_Dept", " 1=1", " * ", nullptr, &rs, err), RES_SEARCHERR);
  EXPECT_EQ(err.substr(err.size() - 6), "(3709)");
  EXPECT_EQ(mdlConst::ExeUpdateSQL("T_Dept", " 1=1", "F_ID=1\r", nullptr, nullptr, err),
            RES_UPDERR);
  EXPECT_EQ(err, "Object variable or With block variable not set(91)");
}

}  // namespace
}  // namespace tessaly
