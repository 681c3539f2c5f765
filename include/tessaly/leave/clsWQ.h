// clsWQ: field-work entries, one per row of T_WQ: which of an employee's
// card punches of a date are waived because the employee worked outside.
#pragma once

#include "tessaly/framework/Record.h"
#include "tessaly/leave/EmployeeColumns.h"

namespace tessaly {

#define TESSALY_ELOOK_WQ_MEMBERS(X)                              \
  X(WQ_N0RMAL, 1)                                                \
  X(WQ_UPDTJ, 2) /* Update writes the tally flag F_IsTJ alone */ \
  X(WQ_BYEMPIDDATE, 3)
enum eLOOK_WQ : int32_t { TESSALY_ELOOK_WQ_MEMBERS(TESSALY_ENUMERATOR) };

// One line per column, in published property order (also the order a row is
// loaded in and the table's column order); framework/Column.h. The date and
// the two times are date-time columns: their properties hold them as text,
// written as #...# literals and loaded in the text form of a date-time value
// ("2003-05-01", "09:00:00"), which reads back inside #...#. The employee's
// name and department come from the saved query and are only listed.
#define TESSALY_CLSWQ_COLUMNS(X)                                                  \
  X(DirectLong, FID, "F_ID", 0, .PrimaryKey().InColumnList(" F_ID"))              \
  X(Text, FEmpID, "F_EmpID", 10, .Field("员工编号", 1))                           \
  X(Date, FDate, "F_Date", 0, .Field("日期", 2))                                  \
  X(Date, FTimeFr, "F_TimeFr", 0, .Field("时间起", 1))                            \
  X(Date, FTimeTo, "F_TimeTo", 0, .Field("时间止", 1))                            \
  X(Integer, FCancelIn1, "F_CancelIn1", 0, .Field("取消上班1", 4).ListedFlag())   \
  X(Integer, FCancelOut1, "F_CancelOut1", 0, .Field("取消下班1", 4).ListedFlag()) \
  X(Integer, FCancelIn2, "F_CancelIn2", 0, .Field("取消上班2", 4).ListedFlag())   \
  X(Integer, FCancelOut2, "F_CancelOut2", 0, .Field("取消下班2", 4).ListedFlag()) \
  X(Integer, FCancelIn3, "F_CancelIn3", 0, .Field("取消上班3", 4).ListedFlag())   \
  X(Integer, FCancelOut3, "F_CancelOut3", 0, .Field("取消下班3", 4).ListedFlag()) \
  X(Text, FReason, "F_Reason", 50, .Field("事由", 1))                             \
  X(Text, FRatify, "F_Ratify", 20, .InColumnList("F_Ratify ").Field("批准人", 6)) \
  X(Integer, FIsTJ, "F_IsTJ", 0, .ZeroDefault())

// A flag not 0 waives that punch: the clock-in or clock-out of work period
// 1, 2 or 3.
//   Add        inserts F_ID and the twelve entry columns (not F_IsTJ)
//   Update     rewrites the twelve entry columns of row FID; with WQ_UPDTJ
//              only F_IsTJ
//   Delete     removes row FID
//   DoSearch   row FID of T_WQ; with WQ_BYEMPIDDATE the entries of FEmpID on
//              FDate (compared with F_Date as a quoted text: it matches when
//              FDate is the yyyy-mm-dd form the date was stored and loads
//              in); with -1 every entry by F_ID
// Listings: GetSQLField (14 descriptors) and ExeSearch over Q_WQ, which adds
// the employee's name and department; each flag shows as "是" or nothing.
class clsWQ final : public framework::RecordOf<clsWQ, int32_t> {
  TESSALY_RECORD_CLASS(clsWQ, TESSALY_CLSWQ_COLUMNS)

 public:
  std::string GetWhereString(int32_t Rev = 0) override;

  // RetMaxID: the largest F_ID plus 1, or 1 when there is none. RES_OK;
  // strMsg is never written. No trap: errors throw tessaly::Error.

  // What its listings (GetSQLField, ExeSearch, from RecordOf) are made of.
  static std::span<const framework::FieldEntry> FieldEntries();
  static constexpr int32_t kFieldsUpperBound = 13;
  static const framework::Listing& SearchListing();
};

}  // namespace tessaly
