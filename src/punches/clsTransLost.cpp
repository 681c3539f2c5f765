#include "tessaly/punches/clsTransLost.h"

#include "framework/RecordOf.inl.h"

namespace tessaly {

clsTransLost::clsTransLost() : RecordOf(mdlConst::T_TransLost, mdlConst::T_TransLost) {}

TESSALY_RECORD_INSTANCES(clsTransLost)
TESSALY_COLUMNS_OF(clsTransLost, TESSALY_CLSTRANSLOST_COLUMNS(TESSALY_COLUMN))

std::string clsTransLost::GetWhereString(int32_t Rev) {
  if (Rev == TRANSLOST_DELALL) return " 1=1  ";
  return RecordOf::GetWhereString(Rev);
}

// The mode chooses what goes: TRANSLOST_DELALL every rejected punch.
std::string clsTransLost::DeleteWhere(int32_t ExtraParam) { return GetWhereString(ExtraParam); }

TESSALY_FIELD_ENTRIES(clsTransLost, "F_LoadDate", "F_ErrMsg", "F_CardID", "F_Date", "F_Time",
                      "F_EmpID", "F_Name", "F_Dept", "F_DcuID", "F_Door", "F_Flag")

// Rows come in the database's order: the listing has no ordering.
TESSALY_LISTING(clsTransLost, SearchListing, mdlConst::T_TransLost, "", "F_LoadDate", "F_ErrMsg",
                "F_CardID", "F_Date", "F_Time", "F_EmpID", "F_Name", "F_Dept", "F_Flag", "F_DcuID",
                "F_Door", "F_ID")

}  // namespace tessaly
