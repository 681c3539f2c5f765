#include "tessaly/admin/clsPrn.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/TestDb.h"

namespace tessaly {
namespace {

using testing::Scalar;

TEST(clsPrn, AKeyGetsOneMoreThanTheLargestIdOnceAndKeepsIt) {
  auto conn = testing::AttendanceDb();
  clsPrn prn;
  prn.HConnect(conn);
  std::vector<std::string> sent;
  conn->Trace([&sent](std::string_view sql) { sent.emplace_back(sql); });
  std::string err;
  int16_t id = -9;
  EXPECT_EQ(prn.GetPrnModeID("A", id, err), RES_OK);
  EXPECT_EQ(id, 1);
  EXPECT_EQ(sent, (std::vector<std::string>{"select * from T_Prn where F_Key='A'",
                                            "select Max(F_ModeID) as F_Max from T_Prn",
                                            "Insert into T_Prn (F_Key,F_ModeID) Values ('A',1)"}));
  sent.clear();
  EXPECT_EQ(prn.GetPrnModeID("a", id, err), RES_OK);  // keys compare without case
  EXPECT_EQ(id, 1);
  EXPECT_EQ(sent.size(), 1u);

  // Ids are never reused; keys as users type them are kept apart.
  conn->Execute("insert into T_Prn (F_Key, F_ModeID) values ('seven', 7)");
  int16_t expected = 8;
  for (const std::string& key : {std::string("O'Brien's report"), std::string("'"),
                                 std::string(), std::string("考勤月报表"), std::string(2000, 'k'),
                                 std::string("a' or 1=1 or 'a")}) {
    EXPECT_EQ(prn.GetPrnModeID(key, id, err), RES_OK) << key << ": " << err;
    EXPECT_EQ(id, expected) << key;
    EXPECT_EQ(prn.GetPrnModeID(key, id), RES_OK) << key;
    EXPECT_EQ(id, expected++) << key;
  }
  EXPECT_EQ(Scalar(conn, "select count(*) & ':' & max(F_ModeID) from T_Prn"), "8:13");
  EXPECT_EQ(err, "");
}

TEST(clsPrn, ConversionErrorsFillStrErrDatabaseErrorsDoNot) {
  clsPrn prn;
  prn.HConnect(testing::AttendanceDbWithout("T_Prn"));
  std::string err = "before";
  int16_t id = 2;
  EXPECT_EQ(prn.GetPrnModeID("A", id, err), RES_ERROR);  // no table: negative number
  EXPECT_EQ(err, "before");
  EXPECT_EQ(prn.LastError().number, errnum::kNoTable);

  auto conn = testing::AttendanceDb();
  prn.HConnect(conn);
  conn->Execute("insert into T_Prn (F_Key) values ('nullid')");
  EXPECT_EQ(prn.GetPrnModeID("nullid", id, err), RES_ERROR);
  EXPECT_EQ(err, "Invalid use of Null");
  EXPECT_EQ(id, 2);
  conn->Execute("insert into T_Prn (F_Key, F_ModeID) values ('top', 32767)");
  EXPECT_EQ(prn.GetPrnModeID("new", id, err), RES_ERROR);  // the next id would be 32768
  EXPECT_EQ(err, "Overflow");
  EXPECT_EQ(Scalar(conn, "select count(*) from T_Prn where F_Key='new'"), "0");
}

// The new id is handed back before it is stored: a refused insert leaves it in
// RetModeID though nothing was kept.
TEST(clsPrn, ARefusedInsertLeavesTheNewIdWithoutStoringIt) {
  auto conn = testing::AttendanceDb();
  conn->Execute("insert into T_Prn (F_Key, F_ModeID) values ('seven', 7)");
  db::internal::BackendOf(*conn).Run(
      testing::OnServer()
          ? "ALTER TABLE \"T_Prn\" ADD CONSTRAINT refused CHECK (false) NOT VALID"
          : "CREATE TRIGGER refused BEFORE INSERT ON T_Prn BEGIN SELECT RAISE(ABORT, 'no'); END",
      nullptr);
  clsPrn prn;
  prn.HConnect(conn);
  std::string err = "before";
  int16_t id = 2;
  EXPECT_EQ(prn.GetPrnModeID("new", id, err), RES_ERROR);
  EXPECT_EQ(id, 8);
  EXPECT_EQ(err, "before");
  EXPECT_EQ(Scalar(conn, "select count(*) from T_Prn"), "1");
}

}  // namespace
}  // namespace tessaly
