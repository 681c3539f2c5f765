#include "tessaly/leave/clsWQ.h"

#include "framework/RecordOf.inl.h"

namespace tessaly {

clsWQ::clsWQ() : RecordOf(mdlConst::T_WQ, mdlConst::T_WQ, WQ_UPDTJ) {}

TESSALY_RECORD_INSTANCES(clsWQ)
TESSALY_COLUMNS_OF(clsWQ, TESSALY_CLSWQ_COLUMNS(TESSALY_COLUMN)
                   TESSALY_EMPLOYEE_QUERY_COLUMNS(TESSALY_LISTED_COLUMN))

// The date is compared with a quoted text: it matches the yyyy-mm-dd form
// the date is stored and loaded in.
std::string clsWQ::GetWhereString(int32_t Rev) {
  if (Rev == WQ_BYEMPIDDATE) {
    return " F_EmpID=" + sql::Quoted(FEmpID_) + " and F_Date=" + sql::Quoted(FDate_);
  }
  return RecordOf::GetWhereString(Rev);
}

TESSALY_FIELD_ENTRIES(clsWQ, "F_EmpID", "F_EmpName", "F_Dept", "F_Date", "F_TimeFr", "F_TimeTo",
                      "F_Reason", "F_Ratify", "F_CancelIn1", "F_CancelOut1", "F_CancelIn2",
                      "F_CancelOut2", "F_CancelIn3", "F_CancelOut3")

TESSALY_LISTING(clsWQ, SearchListing, mdlConst::Q_WQ, "", "F_EmpID", "F_EmpName", "F_Date",
                "F_TimeFr", "F_TimeTo", "F_CancelIn1", "F_CancelOut1", "F_CancelIn2",
                "F_CancelOut2", "F_CancelIn3", "F_CancelOut3", "F_Reason", "F_Ratify", "F_Dept",
                "F_ID")

}  // namespace tessaly
