#include "tessaly/scheduling/clsShift.h"

#include "framework/RecordOf.inl.h"

namespace tessaly {

clsShift::clsShift() : RecordOf(mdlConst::T_Shift, mdlConst::T_Shift) {}

TESSALY_RECORD_INSTANCES(clsShift)
TESSALY_COLUMNS_OF(clsShift, TESSALY_CLSSHIFT_COLUMNS(TESSALY_COLUMN))

std::string clsShift::GetWhereString(int32_t Rev) {
  if (Rev == -1) return " 1=1 ORDER BY F_Name ";
  return " F_Name=" + sql::Quoted(FKey_);
}

}  // namespace tessaly
