// The leave requests: business trips (clsCC), personal leave (clsSJ),
// vacation (clsXJ) and sick leave (clsBJ) are one design under four names.
// Each class keeps its own table, saved query and mode enumeration; all the
// rest is written once here, the four classes included.
#pragma once

#include "tessaly/framework/Record.h"
#include "tessaly/framework/mdlConst.h"
#include "tessaly/leave/EmployeeColumns.h"

namespace tessaly {

// One line per column, in the order a row is loaded in (also the table's
// column order): kind, property, column, width of a text (0: kept whole),
// then what the statements, descriptors and listings need of it
// (framework/Column.h).
#define TESSALY_LEAVE_COLUMNS(X)                                          \
  X(DirectLong, FID, "F_ID", 0, .PrimaryKey())                            \
  X(Text, FEmpID, "F_EmpID", 10, .Field("员工编号", 1))                   \
  X(Text, FDateFr, "F_DateFr", 0, .Field("起始日期", 2))                  \
  X(Text, FTimeFr, "F_TimeFr", 0, .Field("起始时间", 1))                  \
  X(Text, FDateTo, "F_DateTo", 0, .Field("结束日期", 2))                  \
  X(Text, FTimeTo, "F_TimeTo", 0, .Field("结束时间", 1))                  \
  X(Text, FReason, "F_Reason", 50, .Field("事由", 1))                     \
  X(Text, FRatify, "F_Ratify", 20, .Field("批准人", 6))                   \
  X(Integer, FIsTJ, "F_IsTJ", 0, .ZeroDefault())                          \
  X(Integer, FHour, "F_Hour", 0, .InColumnList("F_Hour ").Field("每天统计小时数", 3))

namespace leave {

// One request of one employee: a range of dates, a daily time window, a
// reason, the approver, and the hours each day of the range counts.
// Writes go to Self::kTable; DoSearch and ExeSearch read Self::kQuery, which
// adds the employee's name and department. Dates are quoted texts compared as
// texts: ranges order correctly only for one fixed-width form (yyyy-mm-dd).
// Each class's modes enumeration has N0RMAL 1 and UPDTJ 2; only 2 and -1
// mean anything, every other value (N0RMAL included) takes the plain form:
//   Add        inserts F_ID and the eight request columns (not F_IsTJ)
//   Update     rewrites the eight request columns of row FID; with UPDTJ
//              only F_IsTJ
//   Delete     removes row FID
//   DoSearch   row FID; with -1 every request by F_ID
// Listings: GetSQLField (10 descriptors) and ExeSearch over the saved query,
// eleven cells a row.
template <class Self>
class LeaveRequest : public framework::RecordOf<Self, int32_t> {
 public:
  TESSALY_LEAVE_COLUMNS(TESSALY_PROPERTY)
  // FEmpName, FDept: the employee's name and department as the saved query
  // gave them, blanks at both ends removed; "" until a search loaded a row.
  TESSALY_EMPLOYEE_QUERY_COLUMNS(TESSALY_READONLY_PROPERTY)

 public:
  // The hours of this absence the employee EmpID has on strDate: the sum of
  // F_Hour over the employee's requests whose range contains strDate, both
  // ends included. HasIt is set false first and true when a request covers
  // the date; RetHour receives the sum then and is left as it was otherwise.
  // RES_OK, or RES_ERROR (LastError() tells; strErr is by value and never
  // reaches the caller) with HasIt and RetHour as far as they got: a sum
  // outside 16 bits fails after HasIt was set.
  eRESULT HasTheHoliday(std::string strDate, std::string EmpID, bool& HasIt, int16_t& RetHour,
                        std::string strErr = {});

  static std::span<const framework::ColumnDef<Self>> Columns();
  // What its listings (GetSQLField, ExeSearch, from RecordOf) are made of.
  static std::span<const framework::FieldEntry> FieldEntries();
  static constexpr int32_t kFieldsUpperBound = 9;
  static const framework::Listing& SearchListing();

 protected:
  LeaveRequest();
};

}  // namespace leave

// A leave class: its mode enumeration eLOOK_XX (XX_N0RMAL 1, XX_UPDTJ 2,
// with which Update writes the tally flag F_IsTJ alone) and the class clsXX
// over T_XX, searched through Q_XX.
#define TESSALY_ELOOK_LEAVE_MEMBERS(XX, X) \
  X(XX##_N0RMAL, 1)                        \
  X(XX##_UPDTJ, 2)
#define TESSALY_LEAVE_CLASS(XX)                                                 \
  enum eLOOK_##XX : int32_t { TESSALY_ELOOK_LEAVE_MEMBERS(XX, TESSALY_ENUMERATOR) }; \
  class cls##XX final : public leave::LeaveRequest<cls##XX> {                   \
   public:                                                                      \
    static constexpr std::string_view kTable = mdlConst::T_##XX;                \
    static constexpr std::string_view kQuery = mdlConst::Q_##XX;                \
    cls##XX() = default;                                                        \
  };

TESSALY_LEAVE_CLASS(CC)  // business trips
TESSALY_LEAVE_CLASS(SJ)  // personal leave
TESSALY_LEAVE_CLASS(XJ)  // vacation
TESSALY_LEAVE_CLASS(BJ)  // sick leave

}  // namespace tessaly
