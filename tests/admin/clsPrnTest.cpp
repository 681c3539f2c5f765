#include "tessaly/admin/clsPrn.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ScratchDb.h"
#include "support/TestDb.h"

namespace tessaly {
namespace {

using testing::Scalar;

class clsPrnDb : public ::testing::Test {
 protected:
  void SetUp() override {
    conn_ = testing::AttendanceDb();
    prn_.HConnect(conn_);
  }
  std::string Rows() {
    return Scalar(conn_, "select count(*) & ':' & max(F_ModeID) from T_Prn");
  }

  std::shared_ptr<db::Connection> conn_;
  clsPrn prn_;
  std::string err_;
  int16_t id_ = -9;
};

TEST_F(clsPrnDb, AKeyGetsItsIdOnceAndKeepsIt) {
  std::vector<std::string> sent;
  conn_->Trace([&sent](std::string_view sql) { sent.emplace_back(sql); });
  EXPECT_EQ(prn_.GetPrnModeID("A", id_, err_), RES_OK);
  EXPECT_EQ(id_, 1);
  const std::vector<std::string> first = {
      "select * from T_Prn where F_Key='A'",
      "select Max(F_ModeID) as F_Max from T_Prn",
      "Insert into T_Prn (F_Key,F_ModeID) Values ('A',1)",
  };
  EXPECT_EQ(sent, first);
  EXPECT_EQ(Scalar(conn_, "select F_Key & '=' & F_ModeID from T_Prn"), "A=1");

  sent.clear();
  id_ = 0;
  EXPECT_EQ(prn_.GetPrnModeID("A", id_, err_), RES_OK);
  EXPECT_EQ(id_, 1);
  EXPECT_EQ(sent, std::vector<std::string>{"select * from T_Prn where F_Key='A'"});
  EXPECT_EQ(Rows(), "1:1");
  EXPECT_EQ(err_, "");
}

TEST_F(clsPrnDb, ANewKeyGetsOneMoreThanTheLargestId) {
  conn_->Execute("insert into T_Prn (F_Key, F_ModeID) values ('one', 1)");
  conn_->Execute("insert into T_Prn (F_Key, F_ModeID) values ('seven', 7)");
  EXPECT_EQ(prn_.GetPrnModeID("B", id_), RES_OK);
  EXPECT_EQ(id_, 8);
  EXPECT_EQ(prn_.GetPrnModeID("seven", id_), RES_OK);
  EXPECT_EQ(id_, 7);
  EXPECT_EQ(Rows(), "3:8");
}

TEST_F(clsPrnDb, KeysAsUsersTypeThemAreKeptApart) {
  const std::string keys[] = {"O'Brien's report", "'", "", "考勤月报表", std::string(2000, 'k'),
                              "a' or 1=1 or 'a", "a"};
  int16_t expected = 0;
  for (const std::string& key : keys) {
    EXPECT_EQ(prn_.GetPrnModeID(key, id_, err_), RES_OK) << key << ": " << err_;
    EXPECT_EQ(id_, ++expected) << key;
  }
  expected = 0;
  for (const std::string& key : keys) {
    EXPECT_EQ(prn_.GetPrnModeID(key, id_, err_), RES_OK) << key;
    EXPECT_EQ(id_, ++expected) << key;
  }
  EXPECT_EQ(Rows(), "7:7");
  EXPECT_EQ(prn_.GetPrnModeID("A", id_, err_), RES_OK);  // keys compare without case
  EXPECT_EQ(id_, 7);
}

TEST_F(clsPrnDb, ConversionErrorsFillStrErrDatabaseErrorsDoNot) {
  // A Null id of the key asked for.
  conn_->Execute("insert into T_Prn (F_Key) values ('nullid')");
  err_ = "before";
  id_ = 3;
  EXPECT_EQ(prn_.GetPrnModeID("nullid", id_, err_), RES_ERROR);
  EXPECT_EQ(err_, "Invalid use of Null");
  EXPECT_EQ(prn_.LastError().number, errnum::kInvalidUseOfNull);
  EXPECT_EQ(id_, 3);

  // The next id would be 32768.
  conn_->Execute("insert into T_Prn (F_Key, F_ModeID) values ('top', 32767)");
  err_.clear();
  EXPECT_EQ(prn_.GetPrnModeID("new", id_, err_), RES_ERROR);
  EXPECT_EQ(err_, "Overflow");
  EXPECT_EQ(Scalar(conn_, "select count(*) from T_Prn where F_Key='new'"), "0");

}

TEST(clsPrn, DatabaseErrorsLeaveStrErrAsItWas) {
  testing::ScratchDb scratch("T_Prn");
  clsPrn prn;
  prn.HConnect(scratch.conn());
  std::string err = "before";
  int16_t id = 2;
  EXPECT_EQ(prn.GetPrnModeID("A", id, err), RES_ERROR);
  EXPECT_EQ(err, "before");
  EXPECT_EQ(id, 2);
  EXPECT_EQ(prn.LastError().number, errnum::kNoTable);
}

TEST(clsPrn, WithoutConnectionTheCallFails) {
  clsPrn prn;
  std::string err = "before";
  int16_t id = 4;
  EXPECT_EQ(prn.GetPrnModeID("A", id, err), RES_ERROR);
  EXPECT_EQ(id, 4);
  EXPECT_TRUE(prn.LastError());
}

}  // namespace
}  // namespace tessaly
