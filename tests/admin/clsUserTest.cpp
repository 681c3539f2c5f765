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

TEST(clsUserText, BuildersProduceTheStatementFragmentsByteForByte) {
  clsUser user;
  Fill(user, 5, "ab");
  EXPECT_EQ(user.GetValueFields(), " F_ID,F_UserID,F_Name,F_Pwd,F_Right ");
  EXPECT_EQ(Visible(user.GetValuesString()), "5,'ab'\\r,'Name ab'\\r,'pw-ab'\\r,'rights-ab'\\r");
  for (int32_t mode : std::initializer_list<int32_t>{0, int32_t{USER_UPDATEPWD}, USER_UPDATERIGHT, -1}) {
    EXPECT_EQ(Visible(user.GetBodyString(mode)),
              "F_UserID='ab'\\r,F_Name='Name ab'\\r,F_Pwd='pw-ab'\\r,F_Right='rights-ab'\\r")
        << mode;
  }
  EXPECT_EQ(user.GetWhereString(-1), " 1=1 ORDER BY F_UserID ");
  EXPECT_EQ(user.GetWhereString(USER_BYUSERID), " F_UserID='ab'");
  for (int32_t mode : std::initializer_list<int32_t>{0, int32_t{USER_BYID}, USER_UPDATEPWD, USER_UPDATERIGHT, 7, -2}) {
    EXPECT_EQ(user.GetWhereString(mode), " F_ID=5") << mode;
  }
  user.FID(-32768);
  EXPECT_EQ(user.GetWhereString(), " F_ID=-32768");
  EXPECT_EQ(user.GetSelString(), " * ");
}

TEST(clsUserText, ApostrophesInValuesAreDoubled) {
  clsUser user;
  Fill(user, 1, "o'k");
  user.FPwd("p'w");
  EXPECT_EQ(user.GetWhereString(USER_BYUSERID), " F_UserID='o''k'");
  EXPECT_EQ(Visible(user.GetValuesString()), "1,'o''k'\\r,'Name o''k'\\r,'p''w'\\r,'rights-o''k'\\r");
}

TEST(clsUserProperties, SettersKeepTheirWidthInCharacters) {
  clsUser user;
  user.FUserID("abcdefghijkl");
  user.FName(std::string(25, 'n'));
  user.FPwd(std::string(200, 'p'));
  user.FRight(std::string(181, 'r'));
  user.FID(32767);
  EXPECT_EQ(user.FUserID(), "abcdefghij");
  EXPECT_EQ(user.FName(), std::string(20, 'n'));
  EXPECT_EQ(user.FPwd(), std::string(180, 'p'));
  EXPECT_EQ(user.FRight(), std::string(180, 'r'));
  EXPECT_EQ(user.FID(), 32767);
  user.FName("管理员管理员管理员管理员管理员管理员管理员管");  // 22 characters
  EXPECT_EQ(user.FName(), "管理员管理员管理员管理员管理员管理员管理");
}

class clsUserDb : public ::testing::Test {
 protected:
  void SetUp() override {
    conn_ = testing::AttendanceDb();
    user_.HConnect(conn_);
    for (auto [id, user_id] : {std::pair<int16_t, const char*>{1, "admin"}, {2, "bob"},
                               {3, "o'hara"}}) {
      clsUser user;
      user.HConnect(conn_);
      Fill(user, id, user_id);
      EXPECT_EQ(user.Add(err_), RES_ADDOK) << err_;
    }
  }
  // The user's row as "id|user ID|name|password|rights", or "" when none.
  std::string Row(const std::string& user_id) {
    db::Recordset rs;
    rs.Open("select F_ID & '|' & F_UserID & '|' & F_Name & '|' & F_Pwd & '|' & F_Right "
            "from T_User where F_UserID='" + user_id + "'",
            conn_, db::adOpenKeyset, db::adLockReadOnly);
    return rs.IsEOF() ? "" : rs.Fields().Item(0).Value().ToText();
  }

  std::shared_ptr<db::Connection> conn_;
  clsUser user_;
  std::string err_;
};

TEST_F(clsUserDb, SearchModesFindTheirUsers) {
  ASSERT_EQ(user_.DoSearch(err_, -1), RES_FOUND) << err_;
  std::string seen = user_.FUserID();
  while (user_.MoveNext()) seen += "," + user_.FUserID();
  EXPECT_EQ(seen, "admin,bob,o'hara");

  user_.FUserID("O'HARA");
  ASSERT_EQ(user_.DoSearch(err_, USER_BYUSERID), RES_FOUND) << err_;
  EXPECT_EQ(user_.FID(), 3);
  EXPECT_EQ(user_.FName(), "Name o'hara");
  EXPECT_EQ(user_.FPwd(), "pw-o'hara");
  EXPECT_EQ(user_.FRight(), "rights-o'hara");

  for (int32_t mode : std::initializer_list<int32_t>{0, int32_t{USER_BYID}, USER_UPDATEPWD, 9}) {
    user_.FID(2);
    ASSERT_EQ(user_.DoSearch(err_, mode), RES_FOUND) << mode;
    EXPECT_EQ(user_.FUserID(), "bob") << mode;
  }
  user_.FID(99);
  EXPECT_EQ(user_.DoSearch(err_), RES_NOTFOUND);
  EXPECT_EQ(user_.FUserID(), "bob");
}

TEST_F(clsUserDb, PasswordAndRightsChangeByUserIdAlone) {
  std::vector<std::string> sent;
  conn_->Trace([&sent](std::string_view sql) { sent.push_back(Visible(std::string(sql))); });
  user_.FID(1);  // not used by these modes
  user_.FUserID("bob");
  user_.FName("not written");
  user_.FPwd("secret");
  user_.FRight("all");
  ASSERT_EQ(user_.Update(err_, USER_UPDATEPWD), RES_UPDOK) << err_;
  ASSERT_EQ(user_.Update(err_, USER_UPDATERIGHT), RES_UPDOK) << err_;
  const std::vector<std::string> expected = {
      "SELECT COUNT(*) AS C\\rFROM T_User\\rWHERE  F_UserID='bob'",
      "UPDATE T_User\\rSET\\rF_Pwd='secret'WHERE  F_UserID='bob'",
      "SELECT COUNT(*) AS C\\rFROM T_User\\rWHERE  F_UserID='bob'",
      "UPDATE T_User\\rSET\\rF_Right='all'WHERE  F_UserID='bob'",
  };
  EXPECT_EQ(sent, expected);
  EXPECT_EQ(Row("bob"), "2|bob|Name bob|secret|all");
  EXPECT_EQ(Row("admin"), "1|admin|Name admin|pw-admin|rights-admin");

  user_.FUserID("o'hara");
  user_.FPwd("it's");
  ASSERT_EQ(user_.Update(err_, USER_UPDATEPWD), RES_UPDOK) << err_;
  EXPECT_EQ(Row("o''hara"), "3|o'hara|Name o'hara|it's|rights-o'hara");

  user_.FUserID("nobody");
  EXPECT_EQ(user_.Update(err_, USER_UPDATERIGHT), RES_UPDNOTFOUND);
}

TEST_F(clsUserDb, DefaultUpdateRewritesTheFourTextsOfTheIdentifier) {
  Fill(user_, 2, "robert");
  for (int32_t mode : std::initializer_list<int32_t>{0, int32_t{USER_BYID}, USER_BYUSERID, 8}) {
    user_.FName("Robert " + std::to_string(mode));
    ASSERT_EQ(user_.Update(err_, mode), RES_UPDOK) << mode << err_;
    EXPECT_EQ(Row("robert"), "2|robert|Robert " + std::to_string(mode) + "|pw-robert|rights-robert");
  }
  EXPECT_EQ(Row("bob"), "");
  user_.FID(99);
  EXPECT_EQ(user_.Update(err_), RES_UPDNOTFOUND);
}

TEST_F(clsUserDb, DeleteTakesItsMode) {
  user_.FID(1);
  user_.FUserID("BOB");
  EXPECT_EQ(user_.Delete(err_, USER_BYUSERID), RES_DELOK) << err_;
  EXPECT_EQ(Scalar(conn_, "select count(*) from T_User where F_UserID='bob'"), "0");
  EXPECT_EQ(user_.Delete(err_, USER_BYUSERID), RES_DELNOTFOUND);
  EXPECT_EQ(user_.Delete(err_, USER_BYID), RES_DELOK) << err_;
  EXPECT_EQ(Scalar(conn_, "select F_UserID from T_User"), "o'hara");
  user_.FID(3);
  EXPECT_EQ(user_.Delete(err_, USER_UPDATERIGHT), RES_DELOK) << err_;
  EXPECT_EQ(Scalar(conn_, "select count(*) from T_User"), "0");
}

TEST_F(clsUserDb, DeleteWithTheListConditionRemovesNobody) {
  // The list condition of -1 carries an ordering that no DELETE takes: the
  // database refuses the statement.
  EXPECT_EQ(user_.Delete(err_, -1), RES_DELERR);
  EXPECT_NE(err_.find("(-2147217900)"), std::string::npos) << err_;
  EXPECT_EQ(Scalar(conn_, "select count(*) from T_User"), "3");
}

TEST_F(clsUserDb, GetMaxIdIsTheNextIdentifierAndOverflowsAtTheTop) {
  int16_t next = 0;
  std::string msg = "untouched";
  EXPECT_EQ(user_.GetMaxID(next, msg), RES_OK);
  EXPECT_EQ(next, 4);
  conn_->Execute("delete from T_User");
  EXPECT_EQ(user_.GetMaxID(next, msg), RES_OK);
  EXPECT_EQ(next, 1);
  conn_->Execute("insert into T_User (F_ID, F_UserID) values (32766, 'x')");
  EXPECT_EQ(user_.GetMaxID(next, msg), RES_OK);
  EXPECT_EQ(next, 32767);
  conn_->Execute("insert into T_User (F_ID, F_UserID) values (32767, 'y')");
  next = 5;
  try {
    user_.GetMaxID(next, msg);
    ADD_FAILURE() << "no overflow";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), errnum::kOverflow);
  }
  EXPECT_EQ(next, 5);
  EXPECT_EQ(msg, "untouched");
}

TEST_F(clsUserDb, AddOfAnIdentifierTakenIsRefusedByTheDatabase) {
  Fill(user_, 2, "twin");
  EXPECT_EQ(user_.Add(err_), RES_ADDERR);
  EXPECT_FALSE(err_.empty());
  EXPECT_EQ(Row("twin"), "");
}

TEST(clsUserWithoutConnection, OperationsFailAndGetMaxIdRaises) {
  clsUser user;
  std::string err;
  EXPECT_EQ(user.Update(err, USER_UPDATEPWD), RES_UPDERR);
  EXPECT_EQ(user.Delete(err, USER_BYUSERID), RES_DELERR);
  int16_t next = 0;
  EXPECT_THROW(user.GetMaxID(next, err), Error);
}

}  // namespace
}  // namespace tessaly
