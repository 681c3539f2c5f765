// clsRoster: the rosters, one row of T_Roster per month's schedule made in one
// of four scheduling modes, keyed by its number.
#pragma once

#include "tessaly/framework/Record.h"
#include "tessaly/scheduling/DayColumns.h"

namespace tessaly {

// One line per column, in published property order (also the order of the
// builders, the row load and the table). The first seven columns are spelt in
// capitals and their properties keep the underscore; the numbers load
// directly, so a Null one fails the load. ROST_TYPE holds a mode code "1" to
// "4"; DEPT_ID and ROST_CODE the F_ID of a department and a rotation code.
#define TESSALY_CLSROSTER_COLUMNS(X)                                      \
  X(DirectLong, FRoster_Num, "ROSTER_NUM", 0, .PrimaryKey())              \
  X(Text, FFscl_Month, "FSCL_MONTH", 0, .Field("年月", 1))                \
  X(Text, FRost_Type, "ROST_TYPE", 0, .Field("排班方式", 7))              \
  X(DirectInteger, FDept_ID, "DEPT_ID", 0, .Field("部门", 5))             \
  X(Text, FEmp_ID, "EMP_ID", 0, .Field("员工ID", 1))                      \
  X(DirectInteger, FRost_Code, "ROST_CODE", 0, .Field("轮值组合编号", 8)) \
  X(DirectInteger, FMon_Work_Hours, "MON_WORK_HOURS", 0)                  \
  TESSALY_DAY_OF_MONTH_COLUMNS(X)

// Add inserts all 38 columns; Update rewrites the 37 after the roster number
// in the roster FKey, whatever the mode; Delete and DoSearch(0) address the
// roster FKey, DoSearch(-1) lists every roster by month and mode code.
// Listings (RecordOf): GetSQLField gives indexes 0 to 5, the last one empty;
// ExeSearch lists rosters over the join with the employee, department and
// rotation-code names, 41 tab-separated fields a line.
class clsRoster final : public framework::RecordOf<clsRoster, int32_t> {
  TESSALY_RECORD_CLASS(clsRoster, TESSALY_CLSROSTER_COLUMNS)

 public:
  // The roster number Update, Delete and a single-row search act on; write
  // only, and no load changes it.
  void FKey(int32_t value) { FKey_ = value; }

  // RetMaxID: the largest ROSTER_NUM + 1, or 1 when there is none. RES_OK;
  // no trap: a failing statement or a largest number of 2147483647 raises
  // tessaly::Error. strMsg is never written.

  std::string GetWhereString(int32_t Rev = 0) override;

  // What its listings (GetSQLField, ExeSearch, from RecordOf) are made of.
  static std::span<const framework::FieldEntry> FieldEntries();
  static constexpr int32_t kFieldsUpperBound = 5;
  static const framework::Listing& SearchListing();

 private:
  int32_t FKey_ = 0;
};

}  // namespace tessaly
