#include "tessaly/leave/LeaveRequest.h"

#include "framework/RecordOf.inl.h"
#include "tessaly/db/Recordset.h"
#include "tessaly/leave/clsBJ.h"
#include "tessaly/leave/clsCC.h"
#include "tessaly/leave/clsSJ.h"
#include "tessaly/leave/clsXJ.h"

namespace tessaly::leave {

// UPDTJ of every leave class's enumeration: Update writes F_IsTJ alone.
constexpr int32_t kUpdateTally = 2;

template <class Self>
LeaveRequest<Self>::LeaveRequest()
    : framework::RecordOf<Self, int32_t>(Self::kTable, Self::kQuery, kUpdateTally) {}

template <class Self>
std::span<const framework::ColumnDef<Self>> LeaveRequest<Self>::Columns() {
  static constexpr framework::ColumnDef<Self> kColumns[] = {
      TESSALY_LEAVE_COLUMNS(TESSALY_COLUMN) TESSALY_EMPLOYEE_QUERY_COLUMNS(TESSALY_COLUMN)};
  return kColumns;
}

template <class Self>
eRESULT LeaveRequest<Self>::HasTheHoliday(std::string strDate, std::string EmpID, bool& HasIt,
                                          int16_t& RetHour, std::string) {
  return this->Trapped(framework::Operation::kTotals, nullptr, [&] {
    HasIt = false;
    std::string sql = "select sum(F_Hour) as F_HourSum  from ";
    sql.append(Self::kTable).append(" where  F_EmpID=").append(sql::Quoted(EmpID));
    sql.append(" and  F_DateFr<=").append(sql::Quoted(strDate));
    sql.append(" and F_DateTo>=").append(sql::Quoted(strDate));
    const db::Recordset& rs = this->OpenQuery(sql);
    const db::Variant& sum = rs.Fields().Item("F_HourSum").ValueRef();
    if (!sum.IsNull()) {
      HasIt = true;
      RetHour = sum.ToInteger();
    }
    return RES_OK;
  });
}

template <class Self>
std::span<const framework::FieldEntry> LeaveRequest<Self>::FieldEntries() {
  static const std::vector<framework::FieldEntry> entries = framework::FieldEntriesOf<Self>(
      {"F_EmpID", "F_EmpName", "F_Dept", "F_DateFr", "F_TimeFr", "F_DateTo", "F_TimeTo",
       "F_Reason", "F_Ratify", "F_Hour"});
  return entries;
}

template <class Self>
const framework::Listing& LeaveRequest<Self>::SearchListing() {
  static const framework::Listing listing = framework::ListingOf<Self>(
      Self::kQuery, "",
      {"F_EmpID", "F_EmpName", "F_DateFr", "F_TimeFr", "F_DateTo", "F_TimeTo", "F_Hour",
       "F_Reason", "F_Ratify", "F_Dept", "F_ID"});
  return listing;
}

template class LeaveRequest<clsCC>;
template class LeaveRequest<clsSJ>;
template class LeaveRequest<clsXJ>;
template class LeaveRequest<clsBJ>;

}  // namespace tessaly::leave

namespace tessaly {
TESSALY_RECORD_INSTANCES(clsCC)
TESSALY_RECORD_INSTANCES(clsSJ)
TESSALY_RECORD_INSTANCES(clsXJ)
TESSALY_RECORD_INSTANCES(clsBJ)
}  // namespace tessaly
