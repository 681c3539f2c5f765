// Attendance terminals: renames through FKey and the address check that
// ignores the terminal being edited.
#include "tessaly/punches/clsKQJ.h"

#include <gtest/gtest.h>

#include "support/TestDb.h"

namespace tessaly {
namespace {

using testing::Scalar;
using testing::Visible;

class KQJDb : public ::testing::Test {
 protected:
  void SetUp() override {
    conn_ = testing::AttendanceDb();
    kqj_.HConnect(conn_);
  }
  void Add(const std::string& name, const std::string& address) {
    clsKQJ k;
    k.HConnect(conn_);
    k.FName(name);
    k.FAddress(address);
    k.FState("on");
    std::string err;
    ASSERT_EQ(k.Add(err), RES_ADDOK) << err;
  }

  std::shared_ptr<db::Connection> conn_;
  clsKQJ kqj_;
  std::string err_;
};

TEST_F(KQJDb, OperationsSendTheirStatementsByteForByte) {
  std::vector<std::string> sent;
  conn_->Trace([&sent](std::string_view sql) { sent.push_back(Visible(std::string(sql))); });
  kqj_.FName("A");
  kqj_.FAddress("001");
  kqj_.FState("on");
  ASSERT_EQ(kqj_.Add(err_), RES_ADDOK) << err_;
  kqj_.FKey("A");
  kqj_.FName("B");
  ASSERT_EQ(kqj_.Update(err_), RES_UPDOK) << err_;
  bool taken = true;
  ASSERT_EQ(kqj_.TheAddrIsExist("001", "B", taken, err_), RES_OK) << err_;
  ASSERT_EQ(kqj_.TheAddrIsExist("001", "  ", taken, err_), RES_OK) << err_;
  ASSERT_EQ(kqj_.DoSearch(err_, -1), RES_FOUND) << err_;
  const std::vector<std::string> expected = {
      "INSERT INTO T_KQJ\\r( F_Name,F_Address,F_State\\r)\\rVALUES(\\r'A'\\r,'001'\\r,'on'\\r)",
      "SELECT COUNT(*) AS C\\rFROM T_KQJ\\rWHERE  F_Name='A'",
      "UPDATE T_KQJ\\rSET\\rF_Name='B'\\r,F_Address='001'\\r,F_State='on'\\rWHERE  F_Name='A'",
      "select * from T_KQJ where F_AddRess='001' and F_Name<>'B'",
      "select * from T_KQJ where F_AddRess='001'",
      "SELECT  *  FROM T_KQJ\\rWHERE  1=1 ORDER BY F_Name ",
  };
  EXPECT_EQ(sent, expected);
}

TEST_F(KQJDb, RenameThroughTheKeyAndFindByIt) {
  Add("Gate", "001");
  kqj_.FKey("Gate");
  ASSERT_EQ(kqj_.DoSearch(err_), RES_FOUND) << err_;
  EXPECT_EQ(kqj_.FAddress(), "001");
  kqj_.FName("North gate");
  ASSERT_EQ(kqj_.Update(err_), RES_UPDOK) << err_;
  EXPECT_EQ(Scalar(conn_, "select F_Name from T_KQJ"), "North gate");
  EXPECT_EQ(kqj_.DoSearch(err_), RES_NOTFOUND);  // the key still names the old row
  kqj_.FKey("North gate");
  ASSERT_EQ(kqj_.DoSearch(err_, 1), RES_FOUND) << err_;
  kqj_.FKey("Nowhere");
  EXPECT_EQ(kqj_.Update(err_), RES_UPDNOTFOUND);
  EXPECT_EQ(kqj_.Delete(err_), RES_DELNOTFOUND);
  kqj_.FKey("north GATE");  // names compare without letter case
  EXPECT_EQ(kqj_.Delete(err_), RES_DELOK) << err_;
  EXPECT_EQ(kqj_.DoSearch(err_, -1), RES_NOTFOUND);
}

TEST_F(KQJDb, AddressCheckIgnoresTheTerminalBeingEdited) {
  Add("A", "001");
  Add("B", "002");
  Add("O'Hare", "003");
  struct Case {
    const char* address;
    const char* key;
    bool taken;
  };
  const Case cases[] = {
      {"001", "", true},   {"001", "   ", true},  {"001", "A", false},     {"001", "B", true},
      {"002", " A ", true}, {"004", "", false},    {"003", "O'Hare", false}, {"003", "A", true},
      {"0'1", "", false},
  };
  for (const Case& c : cases) {
    bool taken = !c.taken;
    EXPECT_EQ(kqj_.TheAddrIsExist(c.address, c.key, taken, err_), RES_OK) << err_;
    EXPECT_EQ(taken, c.taken) << c.address << " / '" << c.key << "'";
  }
}

TEST_F(KQJDb, AddressCheckReportsADatabaseError) {
  clsKQJ unconnected;
  bool taken = true;
  std::string err;
  EXPECT_EQ(unconnected.TheAddrIsExist("001", "", taken, err), RES_ERROR);
  EXPECT_FALSE(taken);
  EXPECT_FALSE(err.empty());
  EXPECT_EQ(err, unconnected.LastError().description);
}

TEST_F(KQJDb, TextsKeepTheirWidthAndTheKeyNone) {
  kqj_.FAddress("0012");
  kqj_.FName("终端一二三四五六七八九十甲乙丙丁戊己庚辛壬癸");
  kqj_.FState("running-and-more");
  EXPECT_EQ(kqj_.FAddress(), "001");
  EXPECT_EQ(kqj_.FName(), "终端一二三四五六七八九十甲乙丙丁戊己庚辛");
  EXPECT_EQ(kqj_.FState(), "running-an");
  const std::string long_key(300, 'k');
  kqj_.FKey(long_key);
  EXPECT_EQ(kqj_.GetWhereString(0), " F_Name='" + long_key + "'");
  EXPECT_EQ(kqj_.GetWhereString(-1), " 1=1 ORDER BY F_Name ");
}

}  // namespace
}  // namespace tessaly
