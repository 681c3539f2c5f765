#include "tessaly/admin/clsUser.h"

#include <gtest/gtest.h>

#include "support/TestDb.h"

namespace tessaly {
namespace {

using testing::Scalar;
using testing::Visible;

void Fill(clsUser& user, int16_t id, const std::string& user_id) {
  user.FID(id);
  user.FUserID(user_id);
  user.FName("Name " + user_id);
  user.FPwd("pw-" + user_id);
  user.FRight("rights-" + user_id);
}

class clsUserDb : public testing::RecordDb<clsUser> {
 protected:
  void SetUp() override {
    RecordDb::SetUp();
    for (auto [id, user_id] : {std::pair<int16_t, const char*>{1, "admin"}, {2, "bob"},
                               {3, "o'hara"}}) {
      Fill(rec_, id, user_id);
      EXPECT_EQ(rec_.Add(err_), RES_ADDOK) << err_;
    }
  }
  // The number of users, and user 2 as "id|user ID|name|password|rights".
  std::string Users() {
    return Scalar(conn_, "select count(*) from T_User") + " " +
           Scalar(conn_, "select max(F_ID) & '|' & max(F_UserID) & '|' & max(F_Name) & '|' & "
                         "max(F_Pwd) & '|' & max(F_Right) from T_User where F_ID=2");
  }
};

TEST_F(clsUserDb, UpdateChangesPasswordOrRightsByUserIdOrAllTextsById) {
  std::vector<std::string> sent;
  conn_->Trace([&sent](std::string_view sql) { sent.push_back(Visible(std::string(sql))); });
  Fill(rec_, 1, "bob");  // FID is not used by the two single-column modes
  rec_.FPwd("it's");
  rec_.FRight("all");
  ASSERT_EQ(rec_.Update(err_, USER_UPDATEPWD), RES_UPDOK) << err_;
  ASSERT_EQ(rec_.Update(err_, USER_UPDATERIGHT), RES_UPDOK) << err_;
  EXPECT_EQ(sent, (std::vector<std::string>{
                      "SELECT COUNT(*) AS C\\rFROM T_User\\rWHERE  F_UserID='bob'",
                      "UPDATE T_User\\rSET\\rF_Pwd='it''s'WHERE  F_UserID='bob'",
                      "SELECT COUNT(*) AS C\\rFROM T_User\\rWHERE  F_UserID='bob'",
                      "UPDATE T_User\\rSET\\rF_Right='all'WHERE  F_UserID='bob'"}));
  EXPECT_EQ(Users(), "3 2|bob|Name bob|it's|all");
  rec_.FUserID("nobody");
  EXPECT_EQ(rec_.Update(err_, USER_UPDATERIGHT), RES_UPDNOTFOUND);

  // Any other mode rewrites the four texts of the user FID, the user ID too.
  Fill(rec_, 2, "robert");
  ASSERT_EQ(rec_.Update(err_, USER_BYUSERID), RES_UPDOK) << err_;
  EXPECT_EQ(Users(), "3 2|robert|Name robert|pw-robert|rights-robert");
}

// GetMaxID has no handler of its own: past 32767 the overflow reaches the
// host. A Null key fails the load instead of loading as 0.
TEST_F(clsUserDb, NextIdStopsAtTheTopOfSixteenBitsAndANullKeyFailsTheLoad) {
  int16_t next = 0;
  std::string msg = "kept";
  EXPECT_EQ(rec_.GetMaxID(next, msg), RES_OK);
  EXPECT_EQ(next, 4);
  Fill(rec_, 32766, "top");
  ASSERT_EQ(rec_.Add(err_), RES_ADDOK) << err_;
  EXPECT_EQ(rec_.GetMaxID(next, msg), RES_OK);
  EXPECT_EQ(next, 32767);
  conn_->Execute("update T_User set F_ID=32767 where F_ID=32766");
  EXPECT_EQ(testing::Caught([&] { rec_.GetMaxID(next, msg); }).number(), errnum::kOverflow);
  EXPECT_EQ(next, 32767);
  EXPECT_EQ(msg, "kept");

  auto rs = std::make_shared<db::Recordset>();
  rs->Open("select Null as F_ID, F_UserID, F_Name, F_Pwd, F_Right from T_User", conn_,
           db::adOpenKeyset, db::adLockReadOnly);
  rec_.HRecordset(rs);
  rec_.FID(5);
  EXPECT_EQ(rec_.LoadFieldValue(err_), RES_ERROR);
  EXPECT_EQ(err_, "Invalid use of Null");
  EXPECT_EQ(rec_.FID(), 5);
}

TEST_F(clsUserDb, DeleteTakesItsMode) {
  // The list condition of -1 carries an ordering no DELETE takes: refused.
  EXPECT_EQ(rec_.Delete(err_, -1), RES_DELERR);
  EXPECT_NE(err_.find("(-2147217900)"), std::string::npos) << err_;
  rec_.FUserID("O'HARA");  // found by user ID, without regard to case
  ASSERT_EQ(rec_.DoSearch(err_, USER_BYUSERID), RES_FOUND) << err_;
  EXPECT_EQ(rec_.FID(), 3);
  rec_.FID(1);
  rec_.FUserID("BOB");
  EXPECT_EQ(rec_.Delete(err_, USER_BYUSERID), RES_DELOK) << err_;
  EXPECT_EQ(rec_.Delete(err_, USER_BYUSERID), RES_DELNOTFOUND);
  EXPECT_EQ(rec_.Delete(err_, USER_UPDATERIGHT), RES_DELOK) << err_;
  EXPECT_EQ(Scalar(conn_, "select count(*) & F_UserID from T_User group by F_UserID"),
            "1o'hara");
}

}  // namespace
}  // namespace tessaly
