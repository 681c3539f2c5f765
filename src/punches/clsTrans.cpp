#include "tessaly/punches/clsTrans.h"

#include "framework/RecordOf.inl.h"
#include "tessaly/db/Recordset.h"

namespace tessaly {

namespace {

using framework::ColumnList;

// The head both window questions share, up to the employee's condition.
std::string PunchesOf(std::string_view EmpID) {
  std::string sql = "select * ";
  sql.append(" from ").append(mdlConst::T_Trans).append(" where ");
  sql.append(" F_EmpID=").append(sql::Quoted(EmpID)).append(" and ");
  return sql;
}

// The direction word follows the ordering, so it orders the times only.
constexpr std::string_view kByDateAndTime = " order by F_Date,F_Time ";

}  // namespace

clsTrans::clsTrans() : RecordOf(mdlConst::T_Trans, mdlConst::T_Trans, TRANS_UPDTJ) {}

TESSALY_RECORD_INSTANCES(clsTrans)
TESSALY_COLUMNS_OF(clsTrans, TESSALY_CLSTRANS_COLUMNS(TESSALY_COLUMN))

std::string clsTrans::GetWhereString(int32_t Rev) {
  if (Rev == -1) return " F_IsTj=0 ORDER BY F_Date,F_CardID ";
  return RecordOf::GetWhereString(Rev);
}

eRESULT clsTrans::HasTrans(std::string StartDate, std::string EndDate, std::string EmpID,
                           std::string StartTime, std::string EndTime, bool IsIn, bool& HasIt,
                           std::string& RetTime, std::string) {
  std::string sql = PunchesOf(EmpID);
  if (EndDate != StartDate) {
    sql.append(" (F_Date & ' ' & F_Time )>=").append(sql::Quoted(StartDate + ' ' + StartTime));
    sql.append("  and (F_Date & ' ' & F_Time)<=").append(sql::Quoted(EndDate + ' ' + EndTime));
  } else {
    sql.append(" F_Date=").append(sql::Quoted(StartDate));
    sql.append(" and F_Time>=").append(sql::Quoted(StartTime));
    sql.append(" and F_Time<=").append(sql::Quoted(EndTime));
  }
  sql.append(kByDateAndTime).append(IsIn ? " ASC" : " DESC");
  return FirstPunchTime(sql, HasIt, RetTime);
}

eRESULT clsTrans::HasTransByFlag(std::string strDate, std::string EmpID, int16_t intFlag,
                                 bool& HasIt, std::string& RetTime, std::string) {
  std::string sql = PunchesOf(EmpID);
  sql.append(" F_Date=").append(sql::Quoted(strDate));
  sql.append(" and F_Flag=").append(sql::Number(intFlag));
  sql.append(kByDateAndTime).append(" ASC");
  return FirstPunchTime(sql, HasIt, RetTime);
}

eRESULT clsTrans::FirstPunchTime(const std::string& sql, bool& HasIt, std::string& RetTime) {
  return Trapped(framework::Operation::kTotals, nullptr, [&] {
    HasIt = false;
    RetTime.clear();
    const db::Recordset& rs = OpenQuery(sql);
    if (rs.RecordCount() > 0) {
      HasIt = true;
      // A Null time cannot become text: the question then fails with HasIt set.
      RetTime = rs.Fields().Item("F_Time").ValueRef().ToString();
    }
    return RES_OK;
  });
}

TESSALY_FIELD_ENTRIES(clsTrans, "F_EmpID", "F_Name", "F_Dept", "F_Date", "F_Time", "F_CardID",
                      "F_DcuID", "F_Door", "F_Flag")

// Both listings show the same columns; the text one writes a hand-entered
// punch without address and under "手工输入" (the column lines say so).
TESSALY_LISTING(clsTrans, SearchListing, mdlConst::Q_Trans, " order by F_Date,F_EmpID,F_Time",
                "F_Date", "F_Time", "F_CardID", "F_EmpID", "F_Name", "F_Dept", "F_Flag", "F_DcuID",
                "F_Door", "F_ID")
const framework::Listing& clsTrans::CaptionedListing() { return SearchListing(); }

}  // namespace tessaly
