// The import log: the value list whose date item has no carriage return of
// its own, and the captioned listing by date and time.
#include "tessaly/punches/clsLog.h"

#include <gtest/gtest.h>

#include "support/TestDb.h"
#include "tessaly/db/Recordset.h"

namespace tessaly {
namespace {

using testing::Scalar;
using testing::Visible;

class LogDb : public ::testing::Test {
 protected:
  void SetUp() override {
    conn_ = testing::AttendanceDb();
    log_.HConnect(conn_);
  }
  static void Fill(clsLog& l, const std::string& date, const std::string& time) {
    l.FDate(date);
    l.FTime(time);
    l.FRecCnt(120);
    l.FOperator("OP");
    l.FNote("N");
  }
  void Add(const std::string& date, const std::string& time) {
    clsLog l;
    l.HConnect(conn_);
    Fill(l, date, time);
    std::string err;
    ASSERT_EQ(l.Add(err), RES_ADDOK) << err;
  }

  std::shared_ptr<db::Connection> conn_;
  clsLog log_;
  std::string err_;
};

TEST_F(LogDb, OperationsSendTheirStatementsByteForByte) {
  std::vector<std::string> sent;
  conn_->Trace([&sent](std::string_view sql) { sent.push_back(Visible(std::string(sql))); });
  Fill(log_, "2003-05-01", "08:30:00");
  ASSERT_EQ(log_.Add(err_), RES_ADDOK) << err_;
  log_.FID(1);
  ASSERT_EQ(log_.Update(err_, -1), RES_UPDOK) << err_;
  ASSERT_EQ(log_.DoSearch(err_, -1), RES_FOUND) << err_;
  const std::vector<std::string> expected = {
      "INSERT INTO T_Log\\r( F_Date,F_Time,F_RecCnt,F_Operator,F_Note \\r)\\rVALUES(\\r"
      "'2003-05-01','08:30:00'\\r,120\\r,'OP'\\r,'N'\\r)",
      "SELECT COUNT(*) AS C\\rFROM T_Log\\rWHERE  F_ID=1",
      "UPDATE T_Log\\rSET\\rF_Date='2003-05-01'\\r,F_Time='08:30:00'\\r,F_RecCnt=120\\r,"
      "F_Operator='OP'\\r,F_Note='N'\\rWHERE  F_ID=1",
      "SELECT  *  FROM T_Log\\rWHERE  1=1 ORDER BY F_ID ",
  };
  EXPECT_EQ(sent, expected);
}

TEST_F(LogDb, EntriesLoadAndANullCountFailsTheLoad) {
  Add("2003-05-02", "09:00:00");
  Add("2003-05-01", "10:00:00");
  log_.FID(2);
  ASSERT_EQ(log_.DoSearch(err_, 0), RES_FOUND) << err_;
  EXPECT_EQ(log_.FDate(), "2003-05-01");
  EXPECT_EQ(log_.FRecCnt(), 120);
  EXPECT_EQ(log_.FOperator(), "OP");
  conn_->Execute("update T_Log set F_RecCnt = null, F_Note = null where F_ID = 1");
  log_.FID(1);
  log_.FNote("before");
  std::string err;
  ASSERT_EQ(log_.DoSearch(err, 0), RES_FOUND);
  EXPECT_EQ(err, "Invalid use of Null");
  EXPECT_EQ(log_.FTime(), "09:00:00");  // read before the count
  EXPECT_EQ(log_.FNote(), "before");    // after it: not read
  log_.FID(1);
  EXPECT_EQ(log_.Delete(err_), RES_DELOK);
  EXPECT_EQ(log_.Delete(err_), RES_DELNOTFOUND);
}

TEST_F(LogDb, CaptionedListingIsOrderedByDateAndTime) {
  auto& conn = conn_;
  std::vector<std::string> sent;
  conn->Trace([&sent](std::string_view sql) { sent.push_back(std::string(sql)); });
  EXPECT_EQ(log_.ExeSearchWithRecord("1=1"), nullptr);
  EXPECT_EQ(sent.back(),
            "select F_Date as 日期 ,F_Time as 时间,  F_RecCnt as 记录数 ,F_Operator as 操作员,"
            "F_Note as 备注,F_ID from T_Log where 1=1 order by F_Date,F_Time");
  Add("2003-05-02", "08:00:00");
  Add("2003-05-01", "17:00:00");
  Add("2003-05-01", "09:00:00");
  auto rs = log_.ExeSearchWithRecord("F_Operator='OP'");
  ASSERT_NE(rs, nullptr);
  std::vector<std::string> names;
  for (int32_t i = 0; i < rs->Fields().Count(); ++i) names.push_back(rs->Fields().Item(i).Name());
  EXPECT_EQ(names, (std::vector<std::string>{"日期", "时间", "记录数", "操作员", "备注", "F_ID"}));
  std::string order;
  for (; !rs->IsEOF(); rs->MoveNext()) order += rs->Fields().Item("F_ID").Value().ToText();
  EXPECT_EQ(order, "321");
  EXPECT_EQ(log_.ExeSearchWithRecord(""), nullptr);
  EXPECT_TRUE(log_.LastError());
}

TEST(clsLogText, BuildersWidthsAndDescriptors) {
  clsLog l;
  l.FDate("2003-05-01xx");
  l.FTime("08:30:00.99");
  l.FRecCnt(-5);
  l.FOperator("it's me");
  l.FNote(std::string(150, 'n'));
  EXPECT_EQ(l.FDate(), "2003-05-01");
  EXPECT_EQ(l.FTime(), "08:30:00");
  EXPECT_EQ(l.FNote().size(), 100u);
  EXPECT_EQ(Visible(l.GetValuesString()),
            "'2003-05-01','08:30:00'\\r,-5\\r,'it''s me'\\r,'" + std::string(100, 'n') + "'\\r");
  l.FID(3);
  EXPECT_EQ(l.GetWhereString(-1), " 1=1 ORDER BY F_ID ");
  EXPECT_EQ(l.GetWhereString(9), " F_ID=3");
  std::vector<SQLField> fields;
  ASSERT_TRUE(l.GetSQLField(fields));
  const std::vector<SQLField> expected = {
      {"F_Date", "日期", 2},     {"F_Time", "时间", 1}, {"F_RecCnt", "记录数", 3},
      {"F_Operator", "操作员", 2}, {"F_Note", "备注", 1},
  };
  EXPECT_EQ(fields, expected);
}

}  // namespace
}  // namespace tessaly
