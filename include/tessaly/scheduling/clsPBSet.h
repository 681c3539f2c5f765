// clsPBSet: the schedule plans, one row of T_PBSet per plan, keyed by its
// name.
#pragma once

#include "tessaly/framework/Record.h"
#include "tessaly/scheduling/DayColumns.h"

namespace tessaly {

// One line per column, in published property order (also the order of the
// builders, the row load and the table): the plan's name and type, an entry
// for each weekday, Monday first, and one for each day of a month. All 40 are
// texts.
#define TESSALY_CLSPBSET_COLUMNS(X)                                   \
  X(Text, FName, "F_Name", 20, .PrimaryKey().InColumnList(" F_Name")) \
  X(Text, FType, "F_Type", 10)                                        \
  X(Text, FMon, "F_Mon", 10)                                          \
  X(Text, FTue, "F_Tue", 10)                                          \
  X(Text, FWed, "F_Wed", 10)                                          \
  X(Text, FThu, "F_Thu", 10)                                          \
  X(Text, FFri, "F_Fri", 10)                                          \
  X(Text, FSat, "F_Sat", 10)                                          \
  X(Text, FSun, "F_Sun", 10)                                          \
  TESSALY_DAY_OF_MONTH_COLUMNS(X)

// Add inserts all 40 columns; Update rewrites them all in the row whose name
// is FKey (so setting FName renames the plan), whatever the mode; Delete and
// DoSearch(0) address the plan FKey, DoSearch(-1) lists every plan by name.
// Delete does not ask whether an employee still uses the plan: that is
// ThePlanIsNeed.
class clsPBSet final : public framework::RecordOf<clsPBSet> {
  TESSALY_RECORD_CLASS(clsPBSet, TESSALY_CLSPBSET_COLUMNS)

 public:
  // The name of the plan Update, Delete and a single-row search act on; write
  // only, and no load changes it.
  void FKey(std::string value) { FKey_ = std::move(value); }

  // PlanIsNeed: whether some employee's F_Shift names the plan PlanID. RES_OK,
  // or RES_ERROR with the error's description in ErrStr (PlanIsNeed false).
  // The object's recordset is left on the employees found.
  eRESULT ThePlanIsNeed(std::string PlanID, std::string& ErrStr, bool& PlanIsNeed);

  std::string GetWhereString(int32_t Rev = 0) override;

 private:
  std::string FKey_;
};

}  // namespace tessaly
