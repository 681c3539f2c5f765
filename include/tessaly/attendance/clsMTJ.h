// clsMTJ: the monthly attendance statistics, one row of T_MTJ per employee
// and month.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "tessaly/framework/Record.h"
#include "tessaly/interfaces/SQLField.h"

namespace tessaly {

enum eLOOK_MTJ : int32_t {
  MTJ_BYEMPIDANDDATE = 3,
};

// Columns in published property order, which is also the order a row is
// loaded in. Kind, property, column, width of a text (0: kept whole).
#define TESSALY_CLSMTJ_COLUMNS(X)          \
  X(Key, FID, "F_ID", 0)                   \
  X(Integer, FYear, "F_Year", 0)           \
  X(Integer, FMonth, "F_Month", 0)         \
  X(Text, FEmpID, "F_EmpID", 10)           \
  X(Text, FName, "F_Name", 20)             \
  X(Text, FDept, "F_Dept", 50)             \
  X(Single, FWK_Days, "F_WK_Days", 0)      \
  X(Single, FYC_Days, "F_YC_Days", 0)      \
  X(Single, FGX_Days, "F_GX_Days", 0)      \
  X(Single, FXJ_Days, "F_XJ_Days", 0)      \
  X(Single, FCC_Days, "F_CC_Days", 0)      \
  X(Single, FKG_Days, "F_KG_Days", 0)      \
  X(Single, FBJ_Days, "F_BJ_Days", 0)      \
  X(Single, FSJ_Days, "F_SJ_Days", 0)      \
  X(Single, FQT_Days, "F_QT_Days", 0)      \
  X(Single, FJBP_Hours, "F_JBP_Hours", 0)  \
  X(Single, FJBX_Hours, "F_JBX_Hours", 0)  \
  X(Single, FJB_Hours, "F_JB_Hours", 0)    \
  X(Integer, FCD_Num, "F_CD_Num", 0)       \
  X(Integer, FCD_Minute, "F_CD_Minute", 0) \
  X(Integer, FZT_Num, "F_ZT_Num", 0)       \
  X(Integer, FZT_Minute, "F_ZT_Minute", 0) \
  X(Single, FWK_Hours, "F_WK_Hours", 0)    \
  X(Single, FQJ_Hours, "F_QJ_Hours", 0)    \
  X(Text, FNote, "F_Note", 0)

// Add inserts every column but F_ID, without checking for a second row of the
// same employee and month; Update rewrites all 24 columns of the row
// F_ID = FID whatever the mode; DoSearch(MTJ_BYEMPIDANDDATE) finds FEmpID's
// row for FYear/FMonth, DoSearch(-1) every row by F_ID.
// Listings (RecordOf): GetSQLField gives indexes 0 to 24, the last one empty;
// ExeSearch lists T_MTJ by year, month, department and employee with figures as
// whole numbers (halves to even) and zeros as empty cells; ExeSearchWithRecord
// gives the same rows under Chinese captions with their fractions kept.
class clsMTJ final : public framework::RecordOf<clsMTJ> {
 public:
  clsMTJ();

  TESSALY_CLSMTJ_COLUMNS(TESSALY_PROPERTY)

 public:
  std::string GetValueFields(int32_t Rev = 0) override;
  std::string GetBodyString(int32_t Rev = 0) override;
  std::string GetValuesString(int32_t Rev = 0) override;
  std::string GetWhereString(int32_t Rev = 0) override;

  static std::span<const framework::ColumnDef<clsMTJ>> Columns();

  // What its listings (GetSQLField, ExeSearch, ExeSearchWithRecord, from
  // RecordOf) are made of.
  static std::span<const framework::FieldEntry> FieldEntries();
  static constexpr int32_t kFieldsUpperBound = 24;
  static const framework::Listing& SearchListing();
  static const framework::Listing& CaptionedListing() { return SearchListing(); }
};

}  // namespace tessaly
