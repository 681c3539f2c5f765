// The import log: the value list whose date item has no carriage return of
// its own, and the captioned listing by date and time.
#include "tessaly/punches/clsLog.h"

#include "support/TestDb.h"
#include "tessaly/db/Recordset.h"

namespace tessaly {
namespace {

class LogDb : public testing::RecordDb<clsLog> {
 protected:
  void Add(const std::string& date, const std::string& time) {
    rec_.FDate(date);
    rec_.FTime(time);
    rec_.FRecCnt(120);
    rec_.FOperator("OP");
    rec_.FNote("N");
    ASSERT_EQ(rec_.Add(err_), RES_ADDOK) << err_;
  }
};

TEST_F(LogDb, ANullCountFailsTheLoadAfterTheColumnsBeforeIt) {
  Add("2003-05-02", "09:00:00");
  conn_->Execute("update T_Log set F_RecCnt = null, F_Time = '10:00:00'");
  rec_.FID(1);
  rec_.FTime("before");
  rec_.FNote("before");
  ASSERT_EQ(rec_.DoSearch(err_, 0), RES_FOUND);
  EXPECT_EQ(err_, "Invalid use of Null");
  EXPECT_EQ(rec_.FTime() + "/" + rec_.FNote(), "10:00:00/before");
  EXPECT_EQ(rec_.Delete(err_), RES_DELOK);
  EXPECT_EQ(rec_.Delete(err_), RES_DELNOTFOUND);
}

TEST_F(LogDb, CaptionedListingIsOrderedByDateAndTime) {
  Watch();
  EXPECT_EQ(rec_.ExeSearchWithRecord("1=1"), nullptr);
  EXPECT_EQ(sent_.back(),
            "select F_Date as 日期 ,F_Time as 时间,  F_RecCnt as 记录数 ,F_Operator as 操作员,"
            "F_Note as 备注,F_ID from T_Log where 1=1 order by F_Date,F_Time");
  Add("2003-05-02", "08:00:00");
  Add("2003-05-01", "17:00:00");
  Add("2003-05-01", "09:00:00");
  auto rs = rec_.ExeSearchWithRecord("F_Operator='OP'");
  ASSERT_NE(rs, nullptr);
  std::string order;
  for (; !rs->IsEOF(); rs->MoveNext()) order += rs->Fields().Item("F_ID").Value().ToText();
  EXPECT_EQ(order, "321");
}

}  // namespace
}  // namespace tessaly
