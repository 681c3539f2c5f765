// clsMTJ: the monthly attendance statistics, one row of T_MTJ per employee
// and month.
#pragma once

#include "tessaly/framework/Record.h"

namespace tessaly {

#define TESSALY_ELOOK_MTJ_MEMBERS(X) \
  X(MTJ_BYEMPIDANDDATE, 3)
enum eLOOK_MTJ : int32_t { TESSALY_ELOOK_MTJ_MEMBERS(TESSALY_ENUMERATOR) };

// One line per column, in published property order (also the order a row is
// loaded in and the table's column order): kind, property, column, width of a
// text (0: kept whole), then what the statements, descriptors and listings
// need of it (framework/Column.h).
#define TESSALY_CLSMTJ_COLUMNS(X)                                                              \
  X(Key, FID, "F_ID", 0)                                                                       \
  X(Integer, FYear, "F_Year", 0,                                                               \
    .InColumnList(" F_Year").Field("年", 3).ListedAs("F_Year as 年 "))                        \
  X(Integer, FMonth, "F_Month", 0, .Field("月", 3))                                            \
  X(Text, FEmpID, "F_EmpID", 10, .Field("员工编号", 1).ListedAs(" F_EmpID as 员工编号 "))      \
  X(Text, FName, "F_Name", 20, .Field("员工姓名", 1).Listed("姓名"))                           \
  X(Text, FDept, "F_Dept", 50, .Field("部门", 5).ListedAs(" F_Dept as 部门"))                  \
  X(Single, FWK_Days, "F_WK_Days", 0,                                                          \
    .InColumnList(" F_WK_Days").Field("上班天数", 3, "F_WK_DAYS").ListedWhole("正常上班"))     \
  X(Single, FYC_Days, "F_YC_Days", 0, .Field("异常出勤", 3, "F_YC_DAYS").ListedWhole())        \
  X(Single, FGX_Days, "F_GX_Days", 0,                                                          \
    .Field("公休天数", 3, "F_GX_DAYS").ListedWhole().ListedAs(                                 \
        "  iif(F_GX_Days=0,'',F_GX_Days) as 公休天数"))                                         \
  X(Single, FXJ_Days, "F_XJ_Days", 0, .Field("休假天数", 3, "F_XJ_DAYS").ListedWhole())        \
  X(Single, FCC_Days, "F_CC_Days", 0, .Field("出差天数", 3, "F_CC_DAYS").ListedWhole())        \
  X(Single, FKG_Days, "F_KG_Days", 0, .Field("旷工天数", 3, "F_KG_DAYS").ListedWhole())        \
  X(Single, FBJ_Days, "F_BJ_Days", 0, .Field("病假天数", 3, "F_BJ_DAYS").ListedWhole())        \
  X(Single, FSJ_Days, "F_SJ_Days", 0, .Field("事假天数", 3, "F_SJ_DAYS").ListedWhole())        \
  X(Single, FQT_Days, "F_QT_Days", 0, .Field("其他天数", 3, "F_QT_DAYS").ListedWhole())        \
  X(Single, FJBP_Hours, "F_JBP_Hours", 0,                                                      \
    .Field("平时加班小时", 3, "F_JBP_HOURS").ListedWhole())                                    \
  X(Single, FJBX_Hours, "F_JBX_Hours", 0,                                                      \
    .Field("公休加班小时", 3, "F_JBX_HOURS").ListedWhole())                                    \
  X(Single, FJB_Hours, "F_JB_Hours", 0,                                                        \
    .Field("加班小时", 3, "F_JB_HOURS").ListedWhole("加班小时合计"))                           \
  X(Integer, FCD_Num, "F_CD_Num", 0, .Field("迟到次数", 3).ListedWhole())                      \
  X(Integer, FCD_Minute, "F_CD_Minute", 0, .Field("迟到分钟", 3).ListedWhole())                \
  X(Integer, FZT_Num, "F_ZT_Num", 0, .Field("早退次数", 3).ListedWhole())                      \
  X(Integer, FZT_Minute, "F_ZT_Minute", 0, .Field("早退分钟", 3).ListedWhole())                \
  X(Single, FWK_Hours, "F_WK_Hours", 0,                                                        \
    .Field("总工作小时", 3, "F_WK_HOURS").ListedWhole())                                       \
  X(Single, FQJ_Hours, "F_QJ_Hours", 0,                                                        \
    .Field("请假小时数", 3, "F_QJ_HOURS").ListedWhole("请假小时"))                             \
  X(Text, FNote, "F_Note", 0, .Field("备注", 1).ListedAs("F_Note as 备注 "))

// Add inserts every column but F_ID, without checking for a second row of the
// same employee and month; Update rewrites all 24 columns of the row
// F_ID = FID whatever the mode; DoSearch(MTJ_BYEMPIDANDDATE) finds FEmpID's
// row for FYear/FMonth, DoSearch(-1) every row by F_ID.
// Listings (RecordOf): GetSQLField gives indexes 0 to 24, the last one empty;
// ExeSearch lists T_MTJ by year, month, department and employee with figures as
// whole numbers (halves to even) and zeros as empty cells; ExeSearchWithRecord
// gives the same rows under Chinese captions with their fractions kept.
class clsMTJ final : public framework::RecordOf<clsMTJ> {
  TESSALY_RECORD_CLASS(clsMTJ, TESSALY_CLSMTJ_COLUMNS)

 public:
  std::string GetValueFields(int32_t Rev = 0) override;
  std::string GetBodyString(int32_t Rev = 0) override;
  std::string GetValuesString(int32_t Rev = 0) override;
  std::string GetWhereString(int32_t Rev = 0) override;

  // What its listings (GetSQLField, ExeSearch, ExeSearchWithRecord, from
  // RecordOf) are made of.
  static std::span<const framework::FieldEntry> FieldEntries();
  static constexpr int32_t kFieldsUpperBound = 24;
  static const framework::Listing& SearchListing();
  static const framework::Listing& CaptionedListing() { return SearchListing(); }
};

}  // namespace tessaly
