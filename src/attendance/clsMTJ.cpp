#include "tessaly/attendance/clsMTJ.h"

#include "tessaly/framework/Listing.h"
#include "tessaly/framework/SqlText.h"
#include "tessaly/framework/mdlConst.h"

namespace tessaly {

namespace {

using framework::Cell;

// The value list of an INSERT and the assignment list of an UPDATE name the
// same 24 columns in the same order (the note before the two hour totals).
template <class Row>
std::string RowItems(const Row& row, bool assign) {
  sql::Items items(assign ? sql::Items::Form::kAssignments : sql::Items::Form::kValues);
  items.Number("F_Year=", row.FYear())
      .Number("F_Month=", row.FMonth())
      .Text("F_EmpID=", row.FEmpID())
      .Text("F_Name=", row.FName())
      .Text("F_Dept=", row.FDept())
      .Number("F_WK_Days=", row.FWK_Days())
      .Number("F_YC_Days=", row.FYC_Days())
      .Number("F_GX_Days=", row.FGX_Days())
      .Number("F_XJ_Days=", row.FXJ_Days())
      .Number("F_CC_Days=", row.FCC_Days())
      .Number("F_KG_Days=", row.FKG_Days())
      .Number("F_BJ_Days=", row.FBJ_Days())
      .Number("F_SJ_Days=", row.FSJ_Days())
      .Number("F_QT_Days=", row.FQT_Days())
      .Number("F_JBP_Hours=", row.FJBP_Hours())
      .Number("F_JBX_Hours=", row.FJBX_Hours())
      .Number("F_JB_Hours=", row.FJB_Hours())
      .Number("F_CD_Num=", row.FCD_Num())
      .Number("F_CD_Minute=", row.FCD_Minute())
      .Number("F_ZT_Num=", row.FZT_Num())
      .Number("F_ZT_Minute=", row.FZT_Minute())
      .Text("F_Note=", row.FNote())
      .Number("F_WK_Hours=", row.FWK_Hours())
      .Number("F_QJ_Hours=", row.FQJ_Hours());
  return std::move(items).str();
}

// The descriptors keep the letter case the host's forms were written against.
constexpr framework::FieldEntry kFields[] = {
    {"F_EmpID", "员工编号", 1},
    {"F_Name", "员工姓名", 1},
    {"F_Dept", "部门", 5},
    {"F_Year", "年", 3},
    {"F_Month", "月", 3},
    {"F_WK_DAYS", "上班天数", 3},
    {"F_YC_DAYS", "异常出勤", 3},
    {"F_GX_DAYS", "公休天数", 3},
    {"F_XJ_DAYS", "休假天数", 3},
    {"F_CC_DAYS", "出差天数", 3},
    {"F_KG_DAYS", "旷工天数", 3},
    {"F_BJ_DAYS", "病假天数", 3},
    {"F_SJ_DAYS", "事假天数", 3},
    {"F_QT_DAYS", "其他天数", 3},
    {"F_WK_HOURS", "总工作小时", 3},
    {"F_CD_Num", "迟到次数", 3},
    {"F_CD_Minute", "迟到分钟", 3},
    {"F_ZT_Num", "早退次数", 3},
    {"F_ZT_Minute", "早退分钟", 3},
    {"F_Note", "备注", 1},
    {"F_QJ_HOURS", "请假小时数", 3},
    {"F_JBP_HOURS", "平时加班小时", 3},
    {"F_JBX_HOURS", "公休加班小时", 3},
    {"F_JB_HOURS", "加班小时", 3},
};

constexpr framework::ListColumn kListRow[] = {
    {"F_Year", Cell::kText},      {"F_Month", Cell::kText},      {"F_Dept", Cell::kText},
    {"F_EmpID", Cell::kText},     {"F_Name", Cell::kText},       {"F_WK_Days", Cell::kWhole},
    {"F_YC_Days", Cell::kWhole},  {"F_GX_Days", Cell::kWhole},   {"F_XJ_Days", Cell::kWhole},
    {"F_CC_Days", Cell::kWhole},  {"F_KG_Days", Cell::kWhole},   {"F_BJ_Days", Cell::kWhole},
    {"F_SJ_Days", Cell::kWhole},  {"F_QT_Days", Cell::kWhole},   {"F_WK_Hours", Cell::kWhole},
    {"F_QJ_Hours", Cell::kWhole}, {"F_JBP_Hours", Cell::kWhole}, {"F_JBX_Hours", Cell::kWhole},
    {"F_JB_Hours", Cell::kWhole}, {"F_CD_Num", Cell::kWhole},    {"F_CD_Minute", Cell::kWhole},
    {"F_ZT_Num", Cell::kWhole},   {"F_ZT_Minute", Cell::kWhole}, {"F_Note", Cell::kText},
    {"F_ID", Cell::kText},
};

constexpr framework::Listing kListing = {
    mdlConst::T_MTJ,
    " Order by F_Year,F_Month,F_Dept,F_EmpID",
    kListRow,
    "select F_Year as 年 ,F_Month as 月, "
    "F_Dept as 部门, F_EmpID as 员工编号 ,"
    "F_Name as 姓名,iif(F_WK_Days=0,'',F_WK_Days) as 正常上班,"
    "iif(F_YC_Days=0,'',F_YC_Days) as 异常出勤,  "
    "iif(F_GX_Days=0,'',F_GX_Days) as 公休天数,"
    "iif(F_XJ_Days=0,'',F_XJ_Days) as 休假天数,"
    "iif(F_CC_Days=0,'',F_CC_Days) as 出差天数,iif(F_KG_Days=0,'',F_KG_Days) as 旷工天数,"
    "iif(F_BJ_Days=0,'',F_BJ_Days) as 病假天数,iif(F_SJ_Days=0,'',F_SJ_Days) as 事假天数,"
    "iif(F_QT_Days=0,'',F_QT_Days) as 其他天数,iif(F_WK_Hours=0,'',F_WK_Hours) as 总工作小时,"
    "iif(F_QJ_Hours=0,'',F_QJ_Hours) as 请假小时,iif(F_JBP_Hours=0,'',F_JBP_Hours) as 平时加班小时,"
    "iif(F_JBX_Hours=0,'',F_JBX_Hours) as 公休加班小时,iif(F_JB_Hours=0,'',F_JB_Hours) as "
    "加班小时合计,"
    "iif(F_CD_Num=0,'',F_CD_Num) as 迟到次数,iif(F_CD_Minute=0,'',F_CD_Minute) as 迟到分钟,"
    "iif(F_ZT_Num=0,'',F_ZT_Num) as 早退次数,iif(F_ZT_Minute=0,'',F_ZT_Minute) as "
    "早退分钟,F_Note as 备注 ,F_ID",
};

}  // namespace

clsMTJ::clsMTJ() : RecordOf(mdlConst::T_MTJ, mdlConst::T_MTJ) {}

std::span<const framework::ColumnDef<clsMTJ>> clsMTJ::Columns() {
  using Self = clsMTJ;
  static constexpr framework::ColumnDef<clsMTJ> kColumns[] = {
      TESSALY_CLSMTJ_COLUMNS(TESSALY_COLUMN)};
  return kColumns;
}

std::string clsMTJ::GetValueFields(int32_t) {
  return " F_Year,F_Month,F_EmpID,F_Name,F_Dept, "
         "F_WK_Days,F_YC_Days,F_GX_Days,F_XJ_Days,F_CC_Days,F_KG_Days,"
         "F_BJ_Days,F_SJ_Days,F_QT_Days,F_JBP_Hours,F_JBX_Hours,F_JB_Hours,"
         "F_CD_Num,F_CD_Minute,F_ZT_Num,F_ZT_Minute,F_Note,F_WK_Hours,F_QJ_Hours";
}

std::string clsMTJ::GetValuesString(int32_t) { return RowItems(*this, false); }
std::string clsMTJ::GetBodyString(int32_t) { return RowItems(*this, true); }

std::string clsMTJ::GetWhereString(int32_t Rev) {
  if (Rev == -1) return " 1=1 ORDER BY F_ID ";
  if (Rev == MTJ_BYEMPIDANDDATE) {
    return " F_EmpID=" + sql::Quoted(FEmpID_) + " and F_Month=" + sql::Number(FMonth_) +
           " and F_Year=" + sql::Number(FYear_);
  }
  return " F_ID=" + sql::Number(FID_);
}

std::span<const framework::FieldEntry> clsMTJ::FieldEntries() { return kFields; }
const framework::Listing& clsMTJ::SearchListing() { return kListing; }

}  // namespace tessaly
