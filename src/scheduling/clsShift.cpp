#include "tessaly/scheduling/clsShift.h"

#include "tessaly/framework/SqlText.h"
#include "tessaly/framework/mdlConst.h"

namespace tessaly {

clsShift::clsShift() : RecordOf(mdlConst::T_Shift, mdlConst::T_Shift) {}

std::span<const framework::ColumnDef<clsShift>> clsShift::Columns() {
  using Self = clsShift;
  static constexpr framework::ColumnDef<clsShift> kColumns[] = {
      TESSALY_CLSSHIFT_COLUMNS(TESSALY_COLUMN)};
  return kColumns;
}

std::string clsShift::GetWhereString(int32_t Rev) {
  if (Rev == -1) return " 1=1 ORDER BY F_Name ";
  return " F_Name=" + sql::Quoted(FKey_);
}

}  // namespace tessaly
