#include "tessaly/scheduling/clsShift.h"

#include "tessaly/framework/SqlText.h"
#include "tessaly/framework/mdlConst.h"

namespace tessaly {

namespace {

// The column list, the value list and the assignment list all write the whole
// row in column order: an update rewrites the name too, which is how a shift
// is renamed.
const framework::ColumnList<clsShift>& RowColumns() {
  static const auto columns = framework::ColumnList<clsShift>::Declared();
  return columns;
}

}  // namespace

clsShift::clsShift() : RecordOf(mdlConst::T_Shift, mdlConst::T_Shift) {}

std::span<const framework::ColumnDef<clsShift>> clsShift::Columns() {
  using Self = clsShift;
  static constexpr framework::ColumnDef<clsShift> kColumns[] = {
      TESSALY_CLSSHIFT_COLUMNS(TESSALY_COLUMN)};
  return kColumns;
}

std::string clsShift::GetValueFields(int32_t) { return ColumnNames(RowColumns()); }
std::string clsShift::GetValuesString(int32_t) { return Values(RowColumns()); }
std::string clsShift::GetBodyString(int32_t) { return Assignments(RowColumns()); }

std::string clsShift::GetWhereString(int32_t Rev) {
  if (Rev == -1) return " 1=1 ORDER BY F_Name ";
  return " F_Name=" + sql::Quoted(FKey_);
}

}  // namespace tessaly
