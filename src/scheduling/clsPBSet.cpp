#include "tessaly/scheduling/clsPBSet.h"

#include "framework/RecordOf.inl.h"

namespace tessaly {

clsPBSet::clsPBSet() : RecordOf(mdlConst::T_PBSet, mdlConst::T_PBSet) {}

TESSALY_RECORD_INSTANCES(clsPBSet)
TESSALY_COLUMNS_OF(clsPBSet, TESSALY_CLSPBSET_COLUMNS(TESSALY_COLUMN))

std::string clsPBSet::GetWhereString(int32_t Rev) {
  if (Rev == -1) return " 1=1 ORDER BY F_Name ";
  return " F_Name=" + sql::Quoted(FKey_);
}

eRESULT clsPBSet::ThePlanIsNeed(std::string PlanID, std::string& ErrStr, bool& PlanIsNeed) {
  return FindsRows("select * from  T_EMP WHERE F_Shift=" + sql::Quoted(PlanID), ErrStr, PlanIsNeed);
}

}  // namespace tessaly
