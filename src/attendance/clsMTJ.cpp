#include "tessaly/attendance/clsMTJ.h"

#include "framework/RecordOf.inl.h"

namespace tessaly {

namespace {

// The value list of an INSERT, its column list and the assignment list of an
// UPDATE name the same 24 columns in an order of their own: the note comes
// before the two hour totals, where the table has it after them.
const framework::ColumnList<clsMTJ>& BuilderColumns() {
  static const framework::ColumnList<clsMTJ> columns{
      "F_Year",      "F_Month",     "F_EmpID",     "F_Name",      "F_Dept",      "F_WK_Days",
      "F_YC_Days",   "F_GX_Days",   "F_XJ_Days",   "F_CC_Days",   "F_KG_Days",   "F_BJ_Days",
      "F_SJ_Days",   "F_QT_Days",   "F_JBP_Hours", "F_JBX_Hours", "F_JB_Hours",  "F_CD_Num",
      "F_CD_Minute", "F_ZT_Num",    "F_ZT_Minute", "F_Note",      "F_WK_Hours",  "F_QJ_Hours"};
  return columns;
}

}  // namespace

clsMTJ::clsMTJ() : RecordOf(mdlConst::T_MTJ, mdlConst::T_MTJ) {}

TESSALY_RECORD_INSTANCES(clsMTJ)
TESSALY_COLUMNS_OF(clsMTJ, TESSALY_CLSMTJ_COLUMNS(TESSALY_COLUMN))

std::string clsMTJ::GetValueFields(int32_t) { return ColumnNames(BuilderColumns()); }
std::string clsMTJ::GetValuesString(int32_t) { return Values(BuilderColumns()); }
std::string clsMTJ::GetBodyString(int32_t) { return Assignments(BuilderColumns()); }

std::string clsMTJ::GetWhereString(int32_t Rev) {
  if (Rev == MTJ_BYEMPIDANDDATE) {
    return " F_EmpID=" + sql::Quoted(FEmpID_) + " and F_Month=" + sql::Number(FMonth_) +
           " and F_Year=" + sql::Number(FYear_);
  }
  return RecordOf::GetWhereString(Rev);
}

  // The descriptors keep the letter case the host's forms were written against.
TESSALY_FIELD_ENTRIES(clsMTJ, "F_EmpID", "F_Name", "F_Dept", "F_Year", "F_Month", "F_WK_Days",
                      "F_YC_Days", "F_GX_Days", "F_XJ_Days", "F_CC_Days", "F_KG_Days", "F_BJ_Days",
                      "F_SJ_Days", "F_QT_Days", "F_WK_Hours", "F_CD_Num", "F_CD_Minute", "F_ZT_Num",
                      "F_ZT_Minute", "F_Note", "F_QJ_Hours", "F_JBP_Hours", "F_JBX_Hours",
                      "F_JB_Hours")

TESSALY_LISTING(clsMTJ, SearchListing, mdlConst::T_MTJ, " Order by F_Year,F_Month,F_Dept,F_EmpID",
                "F_Year", "F_Month", "F_Dept", "F_EmpID", "F_Name", "F_WK_Days", "F_YC_Days",
                "F_GX_Days", "F_XJ_Days", "F_CC_Days", "F_KG_Days", "F_BJ_Days", "F_SJ_Days",
                "F_QT_Days", "F_WK_Hours", "F_QJ_Hours", "F_JBP_Hours", "F_JBX_Hours", "F_JB_Hours",
                "F_CD_Num", "F_CD_Minute", "F_ZT_Num", "F_ZT_Minute", "F_Note", "F_ID")

}  // namespace tessaly
