// clsJB: overtime requests, one per row of T_JB.
#pragma once

#include "tessaly/framework/Record.h"
#include "tessaly/leave/EmployeeColumns.h"

namespace tessaly {

#define TESSALY_ELOOK_JB_MEMBERS(X)                              \
  X(JB_N0RMAL, 1)                                                \
  X(JB_UPDTJ, 2) /* Update writes the tally flag F_IsTJ alone */
enum eLOOK_JB : int32_t { TESSALY_ELOOK_JB_MEMBERS(TESSALY_ENUMERATOR) };

// One line per column, in published property order (also the order a row is
// loaded in and the table's column order); framework/Column.h. The
// employee's name and department come from the saved query and are only
// listed: the class holds no property for them.
#define TESSALY_CLSJB_COLUMNS(X)                                                     \
  X(DirectLong, FID, "F_ID", 0, .PrimaryKey().InColumnList(" F_ID"))                 \
  X(Text, FEmpID, "F_EmpID", 10, .Field("员工编号", 1))                              \
  X(Text, FDateFr, "F_DateFr", 0, .Field("起始日期", 2))                             \
  X(Text, FDateTo, "F_DateTo", 0, .Field("复核日期", 2))                             \
  X(Text, FTimeFr, "F_TimeFr", 0, .Field("起始时间", 1))                             \
  X(Text, FTimeTo, "F_TimeTo", 0, .Field("复核时间", 1))                             \
  X(Integer, FJBHours, "F_JBHours", 0, .Field("加班小时数", 3))                      \
  X(Text, FReason, "F_Reason", 50, .Field("事由", 1))                                \
  X(Text, FRatify, "F_Ratify", 20, .Field("批准人", 6))                              \
  X(Integer, FKQCheck, "F_KQCheck", 0,                                               \
    .InColumnList("F_KQCheck ").Field("是否复核刷卡", 4).ListedYesNo())              \
  X(Integer, FIsTJ, "F_IsTJ", 0, .ZeroDefault())

// A request is declared (FKQCheck 0: FJBHours hours on the single date
// FDateFr) or verified by card punches (FKQCheck not 0: overtime on every date
// from FDateFr to FDateTo, its hours following from its dates and times).
// Dates are quoted texts compared as texts: equality and ranges hold only for
// one fixed-width form (yyyy-mm-dd).
//   Add        inserts F_ID and the nine request columns (not F_IsTJ)
//   Update     rewrites the nine request columns of row FID; with JB_UPDTJ
//              only F_IsTJ
//   Delete     removes row FID
//   DoSearch   row FID of T_JB; with -1 every request by F_ID
// Listings: GetSQLField (11 descriptors) and ExeSearch over Q_JB, which adds
// the employee's name and department; the fifth cell is "否" for a declared
// and "是" for a verified request (empty where F_KQCheck is Null).
class clsJB final : public framework::RecordOf<clsJB, int32_t> {
  TESSALY_RECORD_CLASS(clsJB, TESSALY_CLSJB_COLUMNS)

 public:
  // RetMaxID: the largest F_ID plus 1, or 1 when there is none. RES_OK;
  // strMsg is never written. No trap: errors throw tessaly::Error.

  // Adds the overtime hours employee EmpID has on strDate to RetHour (an
  // accumulator: it is not cleared), in single precision. HasIt is set false
  // first and true when a request touches the date: a declared request dated
  // strDate adds its F_JBHours; a verified request whose range contains
  // strDate adds its share for that date by the rule below. RES_OK, or
  // RES_ERROR (LastError() tells; strErr is by value and never reaches the
  // caller) with HasIt and RetHour as far as they got: a verified request
  // whose dates or times are no date or time, or a sum that is no finite
  // number.
  //
  // The hours of a verified request. The request is one span from F_DateFr
  // F_TimeFr to F_DateTo F_TimeTo. Every whole day of it counts HoursPerDay
  // (the hours a working day counts), and the rest counts the whole hours
  // (complete hours only) between the two times of day. When F_TimeTo is
  // earlier than F_TimeFr the span ends the morning after a day: the rest is
  // the night's hours (24 added) and that morning's date is no whole day
  // (a request of one date whose end is earlier than its start ends the
  // next morning).
  // The span's hours are credited date by date: each whole day on its own
  // date, the rest on the date after them, nothing on the morning the span
  // ends in (HasIt is still set there). So summed over the dates of the
  // request they give the span's hours once.
  //   Worked example, HoursPerDay 8, request 2003-05-01 20:00 to 2003-05-03
  //   02:00: 2 days between the dates, 02:00 is earlier than 20:00, so one
  //   whole day and a rest of 6 hours (20:00 to 02:00): 1 x 8 + 6 = 14 hours,
  //   credited 8 on 2003-05-01, 6 on 2003-05-02 and 0 on 2003-05-03.
  //   A request 2003-05-01 18:00 to 2003-05-01 21:30 counts 3 on 2003-05-01;
  //   2003-05-01 22:00 to 2003-05-02 02:00 counts 4 on 2003-05-01 and 0 on
  //   2003-05-02.
  eRESULT HasTheHoliday(std::string strDate, int16_t HoursPerDay, std::string EmpID, bool& HasIt,
                        float& RetHour, std::string strErr = {});

  // What its listings (GetSQLField, ExeSearch, from RecordOf) are made of.
  static std::span<const framework::FieldEntry> FieldEntries();
  static constexpr int32_t kFieldsUpperBound = 10;
  static const framework::Listing& SearchListing();
};

}  // namespace tessaly
