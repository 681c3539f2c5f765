// The leave requests: business trips (clsCC), personal leave (clsSJ),
// vacation (clsXJ) and sick leave (clsBJ) are one design under four names.
// Each class keeps its own table, saved query and mode enumeration; all the
// rest is written once here.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "tessaly/framework/Listing.h"
#include "tessaly/framework/Record.h"
#include "tessaly/interfaces/SQLField.h"

namespace tessaly {

// The modes of every leave class: its enumeration's N0RMAL is 1, UPDTJ 2.
// Only 2 (Update writes the tally flag alone) and -1 (DoSearch lists every
// request by F_ID) mean anything; every other value takes the plain form.
namespace leave {
inline constexpr int32_t kUpdateTally = 2;
}

// Columns in loading order. The last two come from the saved query only
// (the employee's name and department), are read-only and trimmed.
#define TESSALY_LEAVE_COLUMNS(X)         \
  X(Key, FID, "F_ID", 0)                 \
  X(Text, FEmpID, "F_EmpID", 10)         \
  X(Text, FDateFr, "F_DateFr", 0)        \
  X(Text, FTimeFr, "F_TimeFr", 0)        \
  X(Text, FDateTo, "F_DateTo", 0)        \
  X(Text, FTimeTo, "F_TimeTo", 0)        \
  X(Text, FReason, "F_Reason", 50)       \
  X(Text, FRatify, "F_Ratify", 20)       \
  X(Integer, FIsTJ, "F_IsTJ", 0)         \
  X(Integer, FHour, "F_Hour", 0)

namespace leave {

// One request of one employee: a range of dates, a daily time window, a
// reason, the approver, and the hours each day of the range counts.
// Writes go to Self::kTable; DoSearch and ExeSearch read Self::kQuery, which
// adds the employee's name and department. Dates are quoted texts compared as
// texts: ranges order correctly only for one fixed-width form (yyyy-mm-dd).
//   Add        inserts F_ID and the eight request columns (not F_IsTJ)
//   Update     rewrites the eight request columns of row FID; with mode 2
//              only F_IsTJ
//   Delete     removes row FID
//   DoSearch   row FID; with -1 every request by F_ID
template <class Self>
class LeaveRequest : public framework::RecordOf<Self> {
 public:
  TESSALY_LEAVE_COLUMNS(TESSALY_PROPERTY)

 public:
  // The employee's name and department as the saved query gave them, blanks
  // at both ends removed; "" until a search loaded a row.
  const std::string& FEmpName() const { return FEmpName_; }
  const std::string& FDept() const { return FDept_; }

  std::string GetValueFields(int32_t Rev = 0) override;
  std::string GetBodyString(int32_t Rev = 0) override;
  std::string GetValuesString(int32_t Rev = 0) override;
  std::string GetWhereString(int32_t Rev = 0) override;

  // RetMaxID: the largest F_ID of the table plus 1, or 1 when there is none.
  // RES_OK; strMsg is never written. No trap: a failing statement or a
  // largest key of 2147483647 throws tessaly::Error.
  eRESULT GetMaxID(int32_t& RetMaxID, std::string& strMsg);

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
  static std::span<const framework::FieldEntry> FieldEntries();
  static constexpr int32_t kFieldsUpperBound = 9;
  static const framework::Listing& SearchListing();

 protected:
  LeaveRequest();

 private:
  std::string FEmpName_;
  std::string FDept_;
};

}  // namespace leave
}  // namespace tessaly
